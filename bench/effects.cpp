// D3DX effects: the cost of creating the skinned-mesh effect (parsing and
// compiling both shaders through glslang and SPIRV-Cross, and the device's
// GL compile), and of drawing one skinned subset through it as the skinned
// model does: palette, texture and bone count set, Begin, BeginPass,
// CommitChanges, the draw, EndPass, End.
//
//     build/bench/bench_effects [subsets]
//
// Run from the build folder (it reads run/data/shaders/SkinnedMesh.fx).
// Headless unless SDL_VIDEODRIVER is set; one llvmpipe thread unless
// LP_NUM_THREADS is set. Each figure is the best of several rounds, the
// cores being shared. Exits non-zero when the effect cannot be made.
#include <windows.h>
#include <d3dx9.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const int kRounds = 5;
const char* const kEffectFile = "run/data/shaders/SkinnedMesh.fx";

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

LRESULT CALLBACK WndProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    return DefWindowProcA(h, m, w, l);
}

struct SkinVertex {
    float x, y, z;
    float weight;
    DWORD indices;
    float nx, ny, nz;
    float u, v;
};

} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("LP_NUM_THREADS", "1", 0);
    const int subsets = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;

    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "bench_effects";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "bench", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, nullptr,
                                nullptr, wc.hInstance, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    IDirect3DDevice9* dev = nullptr;
    if (hwnd && d3d) {
        D3DPRESENT_PARAMETERS pp{};
        pp.Windowed = TRUE;
        pp.BackBufferWidth = 320;
        pp.BackBufferHeight = 240;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = hwnd;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev);
    }
    if (!dev) {
        std::printf("device: not available\n");
        return 1;
    }

    // Creation: the whole D3DXCreateEffectFromFile, best of the rounds.
    double create = 1e9;
    ID3DXEffect* effect = nullptr;
    for (int r = 0; r < kRounds; ++r) {
        if (effect)
            effect->Release();
        effect = nullptr;
        ID3DXBuffer* errors = nullptr;
        const Clock::time_point t0 = Clock::now();
        HRESULT hr = D3DXCreateEffectFromFile(dev, kEffectFile, nullptr, nullptr, D3DXSHADER_DEBUG, nullptr, &effect,
                                              &errors);
        const Clock::time_point t1 = Clock::now();
        if (FAILED(hr)) {
            std::printf("effect: %s\n", errors ? (const char*)errors->GetBufferPointer() : "not created");
            return 1;
        }
        create = std::min(create, Seconds(t0, t1));
    }

    // A subset of 2,000 triangles on a 41 x 51 grid, bones 0 and 1.
    std::vector<SkinVertex> vertices;
    std::vector<WORD> indices;
    const int cols = 41, rows = 51;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            vertices.push_back({-0.8f + 1.6f * x / (cols - 1), -0.8f + 1.6f * y / (rows - 1), 0.5f,
                                (float)x / (cols - 1), 0x00000100u, 0, 0, -1, 0, 0});
    for (int y = 0; y + 1 < rows; ++y)
        for (int x = 0; x + 1 < cols; ++x) {
            const WORD a = (WORD)(y * cols + x), b = (WORD)(a + 1), c = (WORD)(a + cols), d = (WORD)(c + 1);
            indices.insert(indices.end(), {a, b, c, b, d, c});
        }
    const D3DVERTEXELEMENT9 decl[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT1, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDWEIGHT, 0},
        {0, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDINDICES, 0},
        {0, 20, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
        {0, 32, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END()};
    IDirect3DVertexDeclaration9* vdecl = nullptr;
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    IDirect3DTexture9* tex = nullptr;
    dev->CreateVertexDeclaration(decl, &vdecl);
    dev->CreateVertexBuffer((UINT)(vertices.size() * sizeof(SkinVertex)), 0, 0, D3DPOOL_MANAGED, &vb, nullptr);
    dev->CreateIndexBuffer((UINT)(indices.size() * 2), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr);
    dev->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr);
    void* p = nullptr;
    vb->Lock(0, 0, &p, 0);
    std::memcpy(p, vertices.data(), vertices.size() * sizeof(SkinVertex));
    vb->Unlock();
    ib->Lock(0, 0, &p, 0);
    std::memcpy(p, indices.data(), indices.size() * 2);
    ib->Unlock();

    D3DXMATRIX palette[26], proj;
    D3DXMatrixIdentity(&proj);
    const D3DXVECTOR4 light(0, 0.70710677f, -0.70710677f, 0);
    double perSubset = 1e9;
    for (int r = 0; r < kRounds; ++r) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        dev->BeginScene();
        const Clock::time_point t0 = Clock::now();
        for (int s = 0; s < subsets; ++s) {
            for (int i = 0; i < 26; ++i)
                D3DXMatrixTranslation(&palette[i], 0, 0.001f * (float)((s + i) % 7), 0);
            effect->SetMatrix("mViewProj", &proj);
            effect->SetVector("vLightDir", &light);
            effect->SetMatrixArray("mWorldMatrixArray", palette, 26);
            effect->SetTexture("tDiffuse", tex);
            effect->SetInt("CurNumBones", 1);
            UINT passes = 0;
            effect->Begin(&passes, D3DXFX_DONOTSAVESTATE);
            for (UINT pass = 0; pass < passes; ++pass) {
                effect->BeginPass(pass);
                effect->CommitChanges();
                dev->SetVertexDeclaration(vdecl);
                dev->SetStreamSource(0, vb, 0, sizeof(SkinVertex));
                dev->SetIndices(ib);
                dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, (UINT)vertices.size(), 0,
                                          (UINT)indices.size() / 3);
                effect->EndPass();
            }
            effect->End();
            dev->SetVertexShader(nullptr);
            dev->SetPixelShader(nullptr);
        }
        dev->EndScene();
        // Reading a pixel back waits for the GPU to finish the frame.
        IDirect3DSurface9* bb = nullptr;
        dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
        D3DLOCKED_RECT lr;
        if (bb && SUCCEEDED(bb->LockRect(&lr, nullptr, D3DLOCK_READONLY)))
            bb->UnlockRect();
        if (bb)
            bb->Release();
        perSubset = std::min(perSubset, Seconds(t0, Clock::now()) / subsets);
    }

    std::printf("effect creation (SkinnedMesh.fx, both shaders): %.1f ms\n", create * 1e3);
    std::printf("skinned subset (2000 triangles, 26-matrix palette) set+CommitChanges+draw: %.1f us\n",
                perSubset * 1e6);
    dev->SetStreamSource(0, nullptr, 0, 0);
    dev->SetIndices(nullptr);
    dev->SetVertexDeclaration(nullptr);
    effect->Release();
    tex->Release();
    ib->Release();
    vb->Release();
    vdecl->Release();
    dev->Release();
    d3d->Release();
    DestroyWindow(hwnd);
    return 0;
}
