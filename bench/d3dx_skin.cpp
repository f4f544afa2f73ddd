// Timings of the skinned-model path: loading a 5,000-face skinned, animated
// .x hierarchy, converting its mesh for indexed blending with a palette of
// 26, and one frame of animation for 30 bones (AdvanceTime, the frames'
// combined matrices and the bone palette).
//   SDL_VIDEODRIVER=offscreen build/bench/bench_d3dx_skin
#include <windows.h>
#include <d3dx9.h>

#include "bench_device.h"

#include <chrono>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kBones = 30;
constexpr int kAround = 50;     // quads around the tube
constexpr int kAlong = 50;      // quads along it: 2 x 50 x 50 = 5,000 faces
constexpr float kLength = 30.0f; // one unit per bone

double millis(const std::function<void()>& fn, int runs)
{
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i)
        fn();
    auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(t1 - t0).count() / runs;
}

void append(std::string& s, const char* format, ...) __attribute__((format(printf, 2, 3)));
void append(std::string& s, const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    s += line;
}

// A tube along y in a chain of 30 bone frames; each ring follows the two
// nearest bones, and every bone sways about z over two seconds.
std::string skinnedTube()
{
    std::string x = "xof 0303txt 0032\nFrame Root {\n";
    for (int b = 0; b < kBones; ++b)
        append(x, "Frame Bone%d { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,%d,0,1;; }\n", b, b ? 1 : 0);
    for (int b = 0; b < kBones; ++b)
        x += "}\n";
    int rings = kAlong + 1, columns = kAround + 1;
    append(x, "Mesh Tube {\n%d;\n", rings * columns);
    for (int r = 0; r < rings; ++r) {
        for (int c = 0; c < columns; ++c) {
            float a = 6.2831853f * c / kAround;
            append(x, "%f;%f;%f;%s\n", std::cos(a), kLength * r / kAlong, std::sin(a),
                   r == rings - 1 && c == columns - 1 ? ";" : ",");
        }
    }
    append(x, "%d;\n", 2 * kAround * kAlong);
    for (int r = 0; r < kAlong; ++r) {
        for (int c = 0; c < kAround; ++c) {
            int v = r * columns + c;
            bool last = r == kAlong - 1 && c == kAround - 1;
            append(x, "3;%d,%d,%d;,3;%d,%d,%d;%s\n", v, v + columns, v + columns + 1, v, v + columns + 1, v + 1,
                   last ? ";" : ",");
        }
    }
    for (int b = 0; b < kBones; ++b) {
        std::vector<int> vertices;
        std::vector<float> weights;
        for (int r = 0; r < rings; ++r) {
            float y = kLength * r / kAlong - 0.5f;
            float w = 1.0f - std::fabs(y - b);
            if (b == 0 && y < 0.0f)
                w = 1.0f;
            if (b == kBones - 1 && y > b)
                w = 1.0f;
            if (w <= 0.0f)
                continue;
            for (int c = 0; c < columns; ++c) {
                vertices.push_back(r * columns + c);
                weights.push_back(w);
            }
        }
        append(x, "SkinWeights { \"Bone%d\"; %zu;\n", b, vertices.size());
        for (size_t i = 0; i < vertices.size(); ++i)
            append(x, "%d%s", vertices[i], i + 1 < vertices.size() ? "," : ";\n");
        for (size_t i = 0; i < weights.size(); ++i)
            append(x, "%f%s", weights[i], i + 1 < weights.size() ? "," : ";\n");
        append(x, "1,0,0,0, 0,1,0,0, 0,0,1,0, 0,%d,0,1;; }\n", -b);
    }
    x += "}\n}\nAnimTicksPerSecond { 4800; }\nAnimationSet Sway {\n";
    for (int b = 0; b < kBones; ++b) {
        append(x, "Animation { {Bone%d} AnimationKey { 0; 5;\n", b);
        for (int k = 0; k < 5; ++k) {
            float angle = 0.1f * std::sin(1.5707963f * k + b);
            append(x, "%d;4;%f,0,0,%f;;%s\n", k * 2400, std::cos(angle / 2), std::sin(angle / 2), k < 4 ? "," : ";");
        }
        x += "} }\n";
    }
    x += "}\n";
    return x;
}

struct Frame : D3DXFRAME {
    D3DXMATRIX combined;
};

struct Allocator : ID3DXAllocateHierarchy {
    HRESULT CreateFrame(LPCSTR name, LPD3DXFRAME* out) override
    {
        Frame* f = new Frame();
        if (name) {
            f->Name = new char[std::strlen(name) + 1];
            std::strcpy(f->Name, name);
        }
        *out = f;
        return S_OK;
    }
    HRESULT CreateMeshContainer(LPCSTR, const D3DXMESHDATA* data, const D3DXMATERIAL*, const D3DXEFFECTINSTANCE*,
                                DWORD, const DWORD* adjacency, LPD3DXSKININFO skin, LPD3DXMESHCONTAINER* out) override
    {
        D3DXMESHCONTAINER* c = new D3DXMESHCONTAINER();
        c->MeshData = *data;
        data->pMesh->AddRef();
        DWORD n = data->pMesh->GetNumFaces() * 3;
        c->pAdjacency = new DWORD[n];
        std::memcpy(c->pAdjacency, adjacency, n * sizeof(DWORD));
        c->pSkinInfo = skin;
        if (skin)
            skin->AddRef();
        *out = c;
        return S_OK;
    }
    HRESULT DestroyFrame(LPD3DXFRAME f) override
    {
        delete[] f->Name;
        delete static_cast<Frame*>(f);
        return S_OK;
    }
    HRESULT DestroyMeshContainer(LPD3DXMESHCONTAINER c) override
    {
        c->MeshData.pMesh->Release();
        if (c->pSkinInfo)
            c->pSkinInfo->Release();
        delete[] c->pAdjacency;
        delete c;
        return S_OK;
    }
};

void combine(D3DXFRAME* frame, const D3DXMATRIX& parent)
{
    for (; frame; frame = frame->pFrameSibling) {
        Frame* f = static_cast<Frame*>(frame);
        D3DXMatrixMultiply(&f->combined, &f->TransformationMatrix, &parent);
        combine(f->pFrameFirstChild, f->combined);
    }
}

D3DXMESHCONTAINER* firstContainer(D3DXFRAME* frame)
{
    for (; frame; frame = frame->pFrameSibling) {
        if (frame->pMeshContainer)
            return frame->pMeshContainer;
        if (D3DXMESHCONTAINER* c = firstContainer(frame->pFrameFirstChild))
            return c;
    }
    return nullptr;
}

} // namespace

int main()
{
    BenchDevice device("skin bench");
    IDirect3DDevice9* dev = device.Get();
    if (!dev) {
        std::printf("no device\n");
        return 1;
    }

    const std::string file = skinnedTube();
    Allocator alloc;
    D3DXFRAME* root = nullptr;
    ID3DXAnimationController* controller = nullptr;
    auto load = [&] {
        if (root) {
            D3DXFrameDestroy(root, &alloc);
            controller->Release();
        }
        if (FAILED(D3DXLoadMeshHierarchyFromXInMemory(file.data(), (DWORD)file.size(), D3DXMESH_MANAGED, dev, &alloc,
                                                      nullptr, &root, &controller))) {
            std::printf("load failed\n");
            std::exit(1);
        }
    };
    std::printf(".x text of %zu KiB\n", file.size() / 1024);
    std::printf("load hierarchy (5,000 skinned faces, 30 bones): %.2f ms\n", millis(load, 10));

    D3DXMESHCONTAINER* c = firstContainer(root);
    DWORD maxInfl = 0, numCombos = 0;
    auto convert = [&] {
        ID3DXBuffer* table = nullptr;
        ID3DXMesh* blended = nullptr;
        if (FAILED(c->pSkinInfo->ConvertToIndexedBlendedMesh(c->MeshData.pMesh, D3DXMESHOPT_VERTEXCACHE |
                                                             D3DXMESH_MANAGED, 26, c->pAdjacency, nullptr, nullptr,
                                                             nullptr, &maxInfl, &numCombos, &table, &blended))) {
            std::printf("conversion failed\n");
            std::exit(1);
        }
        table->Release();
        blended->Release();
    };
    double convertMs = millis(convert, 10);
    std::printf("indexed blended conversion, palette 26: %.2f ms (%lu combinations, %lu influences)\n", convertMs,
                (unsigned long)numCombos, (unsigned long)maxInfl);

    // One frame: the animation, the frames' combined matrices, the palette.
    ID3DXSkinInfo* skin = c->pSkinInfo;
    std::vector<D3DXMATRIX*> links(skin->GetNumBones());
    for (DWORD b = 0; b < skin->GetNumBones(); ++b)
        links[b] = &static_cast<Frame*>(D3DXFrameFind(root, skin->GetBoneName(b)))->combined;
    std::vector<D3DXMATRIX> palette(skin->GetNumBones());
    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    const int frames = 20000;
    double ms = millis([&] {
        controller->AdvanceTime(1.0 / 60.0, nullptr);
        combine(root, world);
        for (DWORD b = 0; b < palette.size(); ++b)
            D3DXMatrixMultiply(&palette[b], skin->GetBoneOffsetMatrix(b), links[b]);
    }, frames);
    std::printf("per frame, AdvanceTime + frame update + palette for %d bones: %.2f us\n", kBones, ms * 1000.0);

    D3DXFrameDestroy(root, &alloc);
    controller->Release();
    return 0;
}
