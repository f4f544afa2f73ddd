// .x reader: parse speed of a large mesh in text and binary form, then a
// mutation fuzz run over small files (every mutant must parse or fail with a
// D3DX error, never crash; build with NIMB_SANITIZE=ON to catch memory
// faults).
//
//     bench_xfile [fuzz iterations, default 200000] [seed]
#include "d3dx9/xfile_tree.h"

#include <d3dx9.h>

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
        std::vector<uint8_t> m = seeds[rng() % seeds.size()];
        const int edits = 1 + (int)(rng() % 4);
        for (int e = 0; e < edits && !m.empty(); ++e) {
            const size_t at = 16 + rng() % std::max<size_t>(1, m.size() - 16);
            switch (rng() % 5) {
            case 0: m[std::min(at, m.size() - 1)] = (uint8_t)rng(); break;
            case 1: m.erase(m.begin() + (ptrdiff_t)std::min(at, m.size()), m.begin() + (ptrdiff_t)std::min(at + 1 + rng() % 8, m.size())); break;
            case 2: m.insert(m.begin() + (ptrdiff_t)std::min(at, m.size()), (uint8_t)"0123456789;,{}\"<>-.xAZ"[rng() % 22]); break;
            case 3: m.resize(std::min(m.size(), at)); break;
            default: {
                // Copy a run from elsewhere in the file over this place.
                const size_t from = rng() % m.size(), n = 1 + rng() % 16;
                for (size_t k = 0; k < n && from + k < m.size() && at + k < m.size(); ++k)
                    m[at + k] = m[from + k];
            }
            }
        }
        hr = XFileParse(m.data(), m.size(), nullptr, &tree);
        if (SUCCEEDED(hr)) {
            ++parsed;
        } else {
            ++failed;
            if ((hr & 0xFFFF0000) != 0x88760000 && hr != E_OUTOFMEMORY) {
                std::printf("mutant %ld failed with an unexpected code 0x%08X\n", i, (unsigned)hr);
                return 1;
            }
        }
    }
    const double fuzzMs = msSince(t0);
    std::printf("fuzz: %ld mutants (%ld parsed, %ld refused) in %.0f ms, %.1f us each\n", iterations, parsed, failed,
                fuzzMs, iterations ? 1000.0 * fuzzMs / iterations : 0.0);
    return 0;
}
