// The Direct3D object: version check, test hook, format checks, device
// creation and capabilities.
#include "device_fixture.h"

#include "d3d9/d3d9_testing.h"

#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace d3d9test {
namespace {

IDirect3D9* g_hooked = nullptr;
IDirect3D9* Hook(UINT) { return g_hooked; }

TEST(Direct3DCreate9, AcceptsTheSdkVersionWithTheDebugBitAndHonoursTheHook)
{
    IDirect3D9* d3d = Direct3DCreate9(0x80000020);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(Direct3DCreate9(31), nullptr);
    g_hooked = d3d;
    SetDirect3DCreate9Hook(Hook);
    EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), d3d);
    SetDirect3DCreate9Hook(nullptr);
    IDirect3D9* other = Direct3DCreate9(D3D_SDK_VERSION);
    EXPECT_NE(other, d3d);
    EXPECT_EQ(other->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
}

struct TypeCase {
    D3DFORMAT adapter, backBuffer;
    BOOL windowed;
    bool ok;
};

class CheckDeviceType : public ::testing::TestWithParam<TypeCase> {};

TEST_P(CheckDeviceType, AcceptsDisplayFormatsThatMatch)
{
    const TypeCase& c = GetParam();
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    HRESULT hr = d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, c.adapter, c.backBuffer, c.windowed);
    EXPECT_EQ(SUCCEEDED(hr), c.ok) << c.adapter << " " << c.backBuffer;
    d3d->Release();
}

// The renderer's full-screen walk tries these in this order.
INSTANTIATE_TEST_SUITE_P(
    Formats, CheckDeviceType,
    ::testing::Values(TypeCase{D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE, true},
                      TypeCase{D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, FALSE, false},
                      TypeCase{D3DFMT_A2B10G10R10, D3DFMT_A2B10G10R10, FALSE, false},
                      TypeCase{D3DFMT_R5G6B5, D3DFMT_R5G6B5, FALSE, true},
                      TypeCase{D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5, FALSE, true},
                      TypeCase{D3DFMT_A1R5G5B5, D3DFMT_A1R5G5B5, FALSE, false},
                      TypeCase{D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, TRUE, true},
                      TypeCase{D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, FALSE, false}));

class Creation : public DeviceTest {};

TEST_F(Creation, EveryDepthFormatOfTheRendererCreatesADevice)
{
    const D3DFORMAT formats[] = {D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D15S1, D3DFMT_D32,
                                 D3DFMT_D24X8, D3DFMT_D16_LOCKABLE, D3DFMT_D16};
    for (D3DFORMAT f : formats) {
        MakeDevice(f);
        IDirect3DSurface9* ds = nullptr;
        ASSERT_EQ(m_dev->GetDepthStencilSurface(&ds), S_OK);
        D3DSURFACE_DESC d;
        ds->GetDesc(&d);
        EXPECT_EQ(d.Format, f);
        ds->Release();
        EXPECT_EQ(m_dev->Release(), 0u);
        m_dev = nullptr;
    }
}

// The rasteriser frees its binning memory after every frame and takes it
// again for the next: with a device, what was freed stays mapped, and taking
// it again faults in no new pages.
TEST_F(Creation, FreedHeapMemoryStaysMappedForTheNextFrame)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator has its own policy";
#endif
    MakeDevice(D3DFMT_D24S8);
    // 20 MiB in blocks of 64 KiB, the size of the rasteriser's.
    const size_t kBlock = 64 * 1024, kBlocks = 320;
    auto round = [&]() {
        std::vector<char*> blocks;
        for (size_t i = 0; i < kBlocks; ++i) {
            char* b = static_cast<char*>(std::malloc(kBlock));
            std::memset(b, 1, kBlock);
            asm volatile("" : : "r"(b) : "memory");
            blocks.push_back(b);
        }
        for (char* b : blocks)
            std::free(b);
    };
    round();
    rusage before, after;
    getrusage(RUSAGE_THREAD, &before);
    round();
    getrusage(RUSAGE_THREAD, &after);
    EXPECT_LT(after.ru_minflt - before.ru_minflt, 32) << "of " << kBlock * kBlocks / 4096 << " pages";
}

TEST_F(Creation, WindowedTakesTheClientAreaAndFullScreenTheGivenSize)
{
    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof(pp));
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = m_hwnd;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    pp.BackBufferCount = 3;
    pp.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    ASSERT_EQ(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, m_hwnd, D3DCREATE_MIXED_VERTEXPROCESSING, &pp, &m_dev), S_OK);
    IDirect3DSurface9* bb = nullptr;
    m_dev->GetBackBuffer(0, 2, D3DBACKBUFFER_TYPE_MONO, &bb);
    ASSERT_NE(bb, nullptr);
    D3DSURFACE_DESC d;
    bb->GetDesc(&d);
    EXPECT_EQ(d.Width, (UINT)kWidth);
    EXPECT_EQ(d.Height, (UINT)kHeight);
    EXPECT_EQ(d.Format, D3DFMT_X8R8G8B8);
    bb->Release();
    // Mixed vertex processing may switch to software and back.
    EXPECT_EQ(m_dev->SetSoftwareVertexProcessing(TRUE), S_OK);
    EXPECT_EQ(m_dev->GetSoftwareVertexProcessing(), TRUE);
    EXPECT_EQ(m_dev->SetSoftwareVertexProcessing(FALSE), S_OK);
    EXPECT_EQ(m_dev->Release(), 0u);
    m_dev = nullptr;

    pp.Windowed = FALSE;
    pp.BackBufferWidth = 96;
    pp.BackBufferHeight = 48;
    pp.BackBufferFormat = D3DFMT_R5G6B5;
    ASSERT_EQ(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, m_hwnd, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &m_dev), S_OK);
    m_dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    bb->GetDesc(&d);
    EXPECT_EQ(d.Width, 96u);
    EXPECT_EQ(d.Format, D3DFMT_R5G6B5);
    // The back buffer reads in its own format: pure red is 0xF800.
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(bb->LockRect(&lr, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(((WORD*)lr.pBits)[5], 0xF800);
    bb->UnlockRect();
    bb->Release();
    EXPECT_EQ(m_dev->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
}

TEST_F(Creation, RefusesWhatItCannotDo)
{
    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof(pp));
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = m_hwnd;
    IDirect3DDevice9* dev = reinterpret_cast<IDirect3DDevice9*>(1);
    EXPECT_EQ(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, m_hwnd, 0, &pp, &dev), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev, nullptr);
    EXPECT_EQ(m_d3d->CreateDevice(1, D3DDEVTYPE_HAL, m_hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev),
              D3DERR_INVALIDCALL);
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_X8R8G8B8;
    EXPECT_EQ(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, m_hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev),
              D3DERR_INVALIDCALL);
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    pp.hDeviceWindow = nullptr;
    EXPECT_EQ(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev),
              D3DERR_INVALIDCALL);
    // The Direct3D object holds no device after the failures.
    EXPECT_EQ(m_d3d->AddRef(), 2u);
    m_d3d->Release();
}

TEST_F(Creation, CapabilitiesDescribeWhatTheDeviceDoes)
{
    MakeDevice();
    D3DCAPS9 c, fromObject;
    ASSERT_EQ(m_dev->GetDeviceCaps(&c), S_OK);
    ASSERT_EQ(m_d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &fromObject), S_OK);
    EXPECT_EQ(std::memcmp(&c, &fromObject, sizeof(c)), 0);
    EXPECT_EQ(c.AlphaCmpCaps & 0xFF, 0xFFu);
    EXPECT_EQ(c.ZCmpCaps & 0xFF, 0xFFu);
    const DWORD ops = D3DTEXOPCAPS_MODULATE | D3DTEXOPCAPS_DOTPRODUCT3 | D3DTEXOPCAPS_LERP |
                      D3DTEXOPCAPS_MULTIPLYADD | D3DTEXOPCAPS_BLENDTEXTUREALPHA;
    EXPECT_EQ(c.TextureOpCaps & ops, ops);
    EXPECT_EQ(c.TextureOpCaps & D3DTEXOPCAPS_BUMPENVMAP, 0u);
    EXPECT_EQ(c.MaxTextureBlendStages, 8u);
    EXPECT_EQ(c.MaxSimultaneousTextures, 8u);
    EXPECT_GE(c.MaxTextureWidth, 2048u);
    EXPECT_GE(c.MaxVertexBlendMatrices, 4u);
    EXPECT_GE(c.MaxVertexBlendMatrixIndex, 25u);  // a 26-matrix palette
    EXPECT_GE(c.VertexShaderVersion, (DWORD)D3DVS_VERSION(1, 1));
    EXPECT_GE(c.MaxActiveLights, 8u);
    EXPECT_GT(c.MaxPointSize, 1.0f);
    EXPECT_EQ(c.TextureCaps & D3DPTEXTURECAPS_CUBEMAP, 0u);  // cube maps are not made
    IDirect3DCubeTexture9* cube = nullptr;
    EXPECT_EQ(m_dev->CreateCubeTexture(8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3DERR_NOTAVAILABLE);
    DWORD passes = 0;
    EXPECT_EQ(m_dev->ValidateDevice(&passes), S_OK);
    EXPECT_EQ(passes, 1u);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
    EXPECT_EQ(m_dev->ValidateDevice(&passes), D3DERR_UNSUPPORTEDCOLOROPERATION);
}

TEST_F(Creation, TexturesRefuseBadParameters)
{
    MakeDevice();
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(m_dev->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(m_dev->CreateTexture(4, 4, 1, 0, D3DFMT_D24S8, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(m_dev->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(m_dev->CreateTexture(4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(t, nullptr);
    ASSERT_EQ(m_dev->CreateTexture(4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &t, nullptr), S_OK);
    D3DLOCKED_RECT lr;
    RECT outside = {0, 0, 5, 5};
    EXPECT_EQ(t->LockRect(0, &lr, &outside, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->LockRect(1, &lr, nullptr, 0), D3DERR_INVALIDCALL);
    RECT sub = {1, 2, 3, 4};
    ASSERT_EQ(t->LockRect(0, &lr, &sub, D3DLOCK_DISCARD), S_OK);
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);  // already locked
    EXPECT_EQ(t->UnlockRect(0), S_OK);
    EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL);
    t->Release();
}

} // namespace
} // namespace d3d9test

#include <SDL.h>

namespace d3d9test {
namespace {

// Each device draws into its own context, whatever was current before.
TEST_F(Creation, DevicesKeepToTheirOwnContexts)
{
    MakeDevice();
    HWND other = TestWindow(32, 32);
    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof(pp));
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = other;
    IDirect3DDevice9* second = nullptr;
    ASSERT_EQ(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, other, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &second), S_OK);
    second->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF445566, 1.0f, 0);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF112233, 1.0f, 0);
    // A context of someone else's.
    SDL_Window* w = SDL_CreateWindow("foreign", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    ASSERT_NE(w, nullptr);
    SDL_GLContext foreign = SDL_GL_CreateContext(w);
    ASSERT_NE(foreign, nullptr);
    SDL_GL_MakeCurrent(w, foreign);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF778899, 1.0f, 0);
    EXPECT_TRUE(Near(Pixel(3, 3), 0xFF778899, 0));
    IDirect3DSurface9* bb = nullptr;
    second->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(bb->LockRect(&lr, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(((DWORD*)lr.pBits)[0], 0xFF445566u);
    bb->UnlockRect();
    bb->Release();
    EXPECT_EQ(second->Release(), 0u);
    SDL_GL_DeleteContext(foreign);
    SDL_DestroyWindow(w);
    DestroyWindow(other);
}

} // namespace
} // namespace d3d9test
