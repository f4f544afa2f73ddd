// A mesh on the real GL device: the subsets its attribute table names are
// what gets drawn.
#include <windows.h>
#include <d3dx9.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

LRESULT CALLBACK TestProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

struct ColorVertex {
    float x, y, z;
    DWORD color;
};

TEST(MeshOnTheDevice, DrawSubsetDrawsOnlyItsSubset)
{
    const int kSize = 32;
    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof(wc));
    wc.lpfnWndProc = TestProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "mesh test";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, "mesh test", "mesh test", WS_POPUP, 0, 0, kSize, kSize, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(hwnd, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof(pp));
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferWidth = kSize;
    pp.BackBufferHeight = kSize;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.hDeviceWindow = hwnd;
    IDirect3DDevice9* dev = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev), S_OK);

    // Left half red (subset 2), right half green (subset 5), faces interleaved.
    ID3DXMesh* m = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(4, 8, D3DXMESH_MANAGED, D3DFVF_XYZ | D3DFVF_DIFFUSE, dev, &m), S_OK);
    const ColorVertex v[8] = {{-1, -1, 0.5f, 0xFFFF0000}, {-1, 1, 0.5f, 0xFFFF0000}, {0, 1, 0.5f, 0xFFFF0000},
                              {0, -1, 0.5f, 0xFFFF0000},  {0, -1, 0.5f, 0xFF00FF00}, {0, 1, 0.5f, 0xFF00FF00},
                              {1, 1, 0.5f, 0xFF00FF00},   {1, -1, 0.5f, 0xFF00FF00}};
    void* p = nullptr;
    ASSERT_EQ(m->LockVertexBuffer(0, &p), S_OK);
    std::memcpy(p, v, sizeof(v));
    m->UnlockVertexBuffer();
    const WORD idx[12] = {4, 5, 6, 0, 1, 2, 4, 6, 7, 0, 2, 3};
    ASSERT_EQ(m->LockIndexBuffer(0, &p), S_OK);
    std::memcpy(p, idx, sizeof(idx));
    m->UnlockIndexBuffer();
    DWORD* attr = nullptr;
    ASSERT_EQ(m->LockAttributeBuffer(0, &attr), S_OK);
    attr[0] = 5;
    attr[1] = 2;
    attr[2] = 5;
    attr[3] = 2;
    m->UnlockAttributeBuffer();
    ASSERT_EQ(m->OptimizeInplace(D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE, nullptr, nullptr, nullptr, nullptr),
              S_OK);

    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), S_OK);
    ASSERT_EQ(dev->BeginScene(), S_OK);
    ASSERT_EQ(m->DrawSubset(5), S_OK);
    ASSERT_EQ(dev->EndScene(), S_OK);

    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), S_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), S_OK);
    auto pixel = [&](int x, int y) { return ((const DWORD*)((const BYTE*)lr.pBits + y * lr.Pitch))[x] & 0xFFFFFF; };
    EXPECT_EQ(pixel(24, 16), 0x00FF00u) << "subset 5 is drawn";
    EXPECT_EQ(pixel(8, 16), 0x0000FFu) << "subset 2 is not";
    back->UnlockRect();
    back->Release();
    m->Release();
    EXPECT_EQ(dev->Release(), 0u);
    d3d->Release();
    DestroyWindow(hwnd);
}

} // namespace
