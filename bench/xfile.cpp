// .x reader: parse speed of a large mesh in text and binary form, then a
// mutation fuzz run over small files (every mutant must parse or fail with a
// D3DX error, never crash; build with NIMB_SANITIZE=ON to catch memory
// faults). With a device, the mutants that parse then go through the mesh
// and hierarchy loaders, the skin conversion and the animation controller:
// each load succeeds or fails with an error code and leaves nothing behind.
//
//     SDL_VIDEODRIVER=offscreen bench_xfile [fuzz iterations, default 200000] [seed]
#include "d3dx9/xfile_tree.h"

#include <windows.h>
#include <d3dx9.h>

#include "../tests/d3dx9anim/hierarchy_allocator.h"
#include "bench_device.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

double msSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// A grid mesh of n x n quads as text, with normals, texture coordinates and a material.
std::string gridText(int n)
{
    std::string s = "xof 0303txt 0032\nMesh Grid {\n" + std::to_string((n + 1) * (n + 1)) + ";\n";
    char buf[128];
    for (int r = 0; r <= n; ++r)
        for (int c = 0; c <= n; ++c) {
            std::snprintf(buf, sizeof(buf), "%d.0;%f;%d.0;%s\n", c, 0.01 * ((r * c) % 17), r,
                          r == n && c == n ? ";" : ",");
            s += buf;
        }
    s += std::to_string(n * n) + ";\n";
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            const int a = r * (n + 1) + c;
            std::snprintf(buf, sizeof(buf), "4;%d,%d,%d,%d;%s\n", a, a + n + 1, a + n + 2, a + 1,
                          r == n - 1 && c == n - 1 ? ";" : ",");
            s += buf;
        }
    s += "MeshTextureCoords {\n" + std::to_string((n + 1) * (n + 1)) + ";\n";
    for (int i = 0; i < (n + 1) * (n + 1); ++i)
        s += i + 1 == (n + 1) * (n + 1) ? "0.5;0.5;;\n" : "0.5;0.5;,\n";
    s += "}\nMeshMaterialList { 1; 1; 0;; Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; "
         "TextureFilename { \"grid.png\"; } } }\n}\n";
    return s;
}

const char* kSeeds[] = {
    R"(xof 0303txt 0032
template Pair { <A0000000-0000-0000-0000-000000000001> WORD a; DOUBLE b; }
Frame Root {
  FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 2.0,3.0,4.0,1.0;; }
  Mesh M {
    3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;;
    1; 3;0,1,2;;
    MeshNormals { 1; 0.0;0.0;1.0;; 1; 3;0,0,0;; }
    MeshMaterialList { 1; 1; 0;; { Red } }
    SkinWeights { "Root"; 2; 0, 1; 0.5, 0.5; 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; }
  }
}
Material Red { 1.0;0.0;0.0;1.0;; 8.0; 0.5;0.5;0.5;; 0.0;0.0;0.0;; TextureFilename { "red.png"; } }
AnimationSet Walk { Animation { { Root } AnimationKey { 2; 1; 0; 3; 1.0, 2.0, 3.0;;; } } }
)",
    R"(xof 0303txt 0032
AnimTicksPerSecond { 24; }
Frame Root {
  Frame Arm {
    FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,1.5,0.0,1.0;; }
  }
  Mesh Skinned {
    4; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 1.0;1.0;0.0;, 0.0;1.0;0.0;;
    2; 3;0,1,2;, 4;0,2,3,1;;
    MeshNormals { 2; 0.0;0.0;-1.0;, 0.0;0.0;1.0;; 2; 3;0,0,0;, 4;1,1,1,1;; }
    MeshTextureCoords { 4; 0.0;1.0;, 1.0;1.0;, 1.0;0.0;, 0.0;0.0;; }
    MeshVertexColors { 2; 0; 1.0;0.5;0.25;1.0;;, 3; 0.0;1.0;0.0;0.5;;; }
    MeshMaterialList { 2; 2; 0, 1;; Material { 1.0;0.0;0.0;1.0;; 8.0; 0.5;0.5;0.5;; 0.0;0.0;0.0;; }
                                    Material { 0.0;0.0;1.0;0.5;; 1.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } }
    XSkinMeshHeader { 2; 3; 2; }
    VertexDuplicationIndices { 4; 4; 0, 1, 2, 3; }
    SkinWeights { "Root"; 3; 0, 1, 3; 0.25, 0.75, 1.0;
      1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,-1.0,0.0,1.0;; }
    SkinWeights { "Arm"; 2; 1, 2; 0.25, 1.0;
      1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; }
  }
}
AnimationSet Wave {
  Animation {
    { Arm }
    AnimationOptions { 1; 0; }
    AnimationKey { 0; 2; 0; 4; 1.0, 0.0, 0.0, 0.0;;, 10; 4; 0.7071, 0.0, 0.7071, 0.0;;; }
    AnimationKey { 1; 2; 0; 3; 1.0, 1.0, 1.0;;, 10; 3; 2.0, 1.0, 0.5;;; }
    AnimationKey { 2; 2; 0; 3; 0.0, 0.0, 0.0;;, 10; 3; 1.0, 2.0, 3.0;;; }
  }
  Animation Other {
    { Root }
    AnimationKey { 4; 1; 5; 16; 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,1.0,0.0,1.0;;; }
  }
}
)",
};

// Binary encoding of one seed: a hand-written Header object and a template.
std::vector<uint8_t> binarySeed()
{
    std::vector<uint8_t> b = {'x', 'o', 'f', ' ', '0', '3', '0', '3', 'b', 'i', 'n', ' ', '0', '0', '3', '2'};
    auto w16 = [&](uint32_t v) {
        b.push_back((uint8_t)v);
        b.push_back((uint8_t)(v >> 8));
    };
    auto w32 = [&](uint32_t v) {
        w16(v & 0xFFFF);
        w16(v >> 16);
    };
    auto name = [&](const char* s) {
        w16(1);
        w32((uint32_t)std::strlen(s));
        b.insert(b.end(), s, s + std::strlen(s));
    };
    name("Header");
    w16(10);
    w16(6);
    w32(3);
    w32(1);
    w32(0);
    w32(1);
    w16(11);
    name("Mesh");
    w16(10);
    w16(6);
    w32(1);
    w32(3);
    w16(7);
    w32(9);
    for (int i = 0; i < 9; ++i)
        w32(0x3F800000u * (i % 2));
    w16(6);
    w32(5);
    w32(1);
    w32(3);
    w32(0);
    w32(1);
    w32(2);
    w16(11);
    return b;
}

bool isD3DXError(HRESULT hr)
{
    return (hr & 0xFFFF0000) == 0x88760000 || hr == E_OUTOFMEMORY;
}

// Replaces the run of digits at or after `at` by a count or index that
// tends to break things; the text still parses.
void replaceNumber(std::vector<uint8_t>& m, size_t at, std::mt19937& rng)
{
    static const char* const kNumbers[] = {"0", "1", "2", "3", "7", "255", "65535", "65536", "4294967295", "100000"};
    while (at < m.size() && !(m[at] >= '0' && m[at] <= '9'))
        ++at;
    size_t end = at;
    while (end < m.size() && m[end] >= '0' && m[end] <= '9')
        ++end;
    if (at == end)
        return;
    const char* n = kNumbers[rng() % (sizeof(kNumbers) / sizeof(kNumbers[0]))];
    m.erase(m.begin() + (ptrdiff_t)at, m.begin() + (ptrdiff_t)end);
    m.insert(m.begin() + (ptrdiff_t)at, n, n + std::strlen(n));
}

// One to four edits of a random seed: a byte changed, a run cut out, a
// character that means something inserted, the tail cut off, a run copied
// from elsewhere in the file, or a number replaced.
std::vector<uint8_t> mutant(const std::vector<std::vector<uint8_t>>& seeds, std::mt19937& rng)
{
    std::vector<uint8_t> m = seeds[rng() % seeds.size()];
    const int edits = 1 + (int)(rng() % 4);
    for (int e = 0; e < edits && !m.empty(); ++e) {
        const size_t at = 16 + rng() % std::max<size_t>(1, m.size() - 16);
        switch (rng() % 6) {
        case 0: m[std::min(at, m.size() - 1)] = (uint8_t)rng(); break;
        case 1:
            m.erase(m.begin() + (ptrdiff_t)std::min(at, m.size()),
                    m.begin() + (ptrdiff_t)std::min(at + 1 + rng() % 8, m.size()));
            break;
        case 2:
            m.insert(m.begin() + (ptrdiff_t)std::min(at, m.size()), (uint8_t) "0123456789;,{}\"<>-.xAZ"[rng() % 22]);
            break;
        case 3: m.resize(std::min(m.size(), at)); break;
        case 4: replaceNumber(m, at, rng); break;
        default: {
            const size_t from = rng() % m.size(), n = 1 + rng() % 16;
            for (size_t k = 0; k < n && from + k < m.size() && at + k < m.size(); ++k)
                m[at + k] = m[from + k];
        }
        }
    }
    return m;
}

// Each skinned container converted for a palette of 26, the animation run a
// few steps either way.
bool exercise(D3DXFRAME* frame, ID3DXAnimationController* controller)
{
    for (; frame; frame = frame->pFrameSibling) {
        for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer) {
            if (!c->pSkinInfo || !c->MeshData.pMesh)
                continue;
            DWORD influences = 0, combinations = 0;
            ID3DXBuffer* table = nullptr;
            ID3DXMesh* blended = nullptr;
            const HRESULT hr = c->pSkinInfo->ConvertToIndexedBlendedMesh(c->MeshData.pMesh, D3DXMESH_MANAGED, 26,
                                                                         c->pAdjacency, nullptr, nullptr, nullptr,
                                                                         &influences, &combinations, &table, &blended);
            if (FAILED(hr) && !isD3DXError(hr)) {
                std::printf("skin conversion failed with an unexpected code 0x%08X\n", (unsigned)hr);
                return false;
            }
            if (table)
                table->Release();
            if (blended)
                blended->Release();
        }
        if (!exercise(frame->pFrameFirstChild, nullptr))
            return false;
    }
    if (controller) {
        for (double step : {0.1, 0.7, -2.5, 100.0})
            controller->AdvanceTime(step, nullptr);
    }
    return true;
}

// The mutants that parse, through the loaders.
int fuzzLoaders(const std::vector<std::vector<uint8_t>>& seeds, long iterations, unsigned seed)
{
    BenchDevice device("xfile bench");
    IDirect3DDevice9* dev = device.Get();
    if (!dev) {
        std::printf("no device: the loaders are not fuzzed\n");
        return 0;
    }
    std::mt19937 rng(seed + 1);
    long meshes = 0, hierarchies = 0, tried = 0;
    XFileTree tree;
    const auto t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < iterations; ++i) {
        const std::vector<uint8_t> m = mutant(seeds, rng);
        if (FAILED(XFileParse(m.data(), m.size(), nullptr, &tree)))
            continue;
        ++tried;
        ID3DXMesh* mesh = nullptr;
        ID3DXBuffer* adjacency = nullptr;
        ID3DXBuffer* materials = nullptr;
        DWORD numMaterials = 0;
        HRESULT hr = D3DXLoadMeshFromXInMemory(m.data(), (DWORD)m.size(), D3DXMESH_MANAGED, dev, &adjacency, &materials,
                                               nullptr, &numMaterials, &mesh);
        if (SUCCEEDED(hr)) {
            ++meshes;
            mesh->Release();
            adjacency->Release();
            materials->Release();
        } else if (!isD3DXError(hr) || mesh || adjacency || materials) {
            std::printf("mutant %ld: mesh load failed with 0x%08X or left something behind\n", i, (unsigned)hr);
            return 1;
        }

        CountingAllocator alloc;
        D3DXFRAME* root = nullptr;
        ID3DXAnimationController* controller = nullptr;
        hr = D3DXLoadMeshHierarchyFromXInMemory(m.data(), (DWORD)m.size(), D3DXMESH_MANAGED, dev, &alloc, nullptr,
                                                &root, &controller);
        if (SUCCEEDED(hr)) {
            ++hierarchies;
            if (!exercise(root, controller))
                return 1;
            D3DXFrameDestroy(root, &alloc);
            if (controller)
                controller->Release();
        } else if (!isD3DXError(hr) || root || controller) {
            std::printf("mutant %ld: hierarchy load failed with 0x%08X or left something behind\n", i, (unsigned)hr);
            return 1;
        }
        if (alloc.frames != 0 || alloc.containers != 0) {
            std::printf("mutant %ld: %d frames and %d containers left\n", i, alloc.frames, alloc.containers);
            return 1;
        }
    }
    std::printf("load fuzz: %ld mutants parsed of %ld (%ld meshes, %ld hierarchies loaded) in %.0f ms\n", tried,
                iterations, meshes, hierarchies, msSince(t0));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const long iterations = argc > 1 ? std::atol(argv[1]) : 200000;
    const unsigned seed = argc > 2 ? (unsigned)std::atol(argv[2]) : 1;

    const std::string big = gridText(300);
    XFileTree tree;
    auto t0 = std::chrono::steady_clock::now();
    HRESULT hr = XFileParse(big.data(), big.size(), nullptr, &tree);
    const double textMs = msSince(t0);
    std::printf("text mesh of %d vertices, %.1f MB: %s in %.1f ms\n", 301 * 301, big.size() / 1e6,
                SUCCEEDED(hr) ? "parsed" : "FAILED", textMs);

    std::vector<std::vector<uint8_t>> seeds;
    for (const char* s : kSeeds)
        seeds.emplace_back(s, s + std::strlen(s));
    seeds.push_back(binarySeed());
    for (const auto& s : seeds) {
        hr = XFileParse(s.data(), s.size(), nullptr, &tree);
        if (FAILED(hr)) {
            std::printf("seed does not parse: 0x%08X\n", (unsigned)hr);
            return 1;
        }
    }

    std::mt19937 rng(seed);
    long parsed = 0, failed = 0;
    t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < iterations; ++i) {
        const std::vector<uint8_t> m = mutant(seeds, rng);
        hr = XFileParse(m.data(), m.size(), nullptr, &tree);
        if (SUCCEEDED(hr)) {
            ++parsed;
        } else {
            ++failed;
            if (!isD3DXError(hr)) {
                std::printf("mutant %ld failed with an unexpected code 0x%08X\n", i, (unsigned)hr);
                return 1;
            }
        }
    }
    const double fuzzMs = msSince(t0);
    std::printf("fuzz: %ld mutants (%ld parsed, %ld refused) in %.0f ms, %.1f us each\n", iterations, parsed, failed,
                fuzzMs, iterations ? 1000.0 * fuzzMs / iterations : 0.0);
    return fuzzLoaders(seeds, iterations / 10, seed);
}
