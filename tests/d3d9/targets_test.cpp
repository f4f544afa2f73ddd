// Render targets, render-to-texture orientation, copies, present.
#include "device_fixture.h"

namespace d3d9test {
namespace {

class Targets : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        MakeDevice();
        m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    }
};

// v = 0 is the top row of a texture that was drawn into, as of a loaded one.
TEST_F(Targets, RenderToTextureKeepsTheTopRowAtVZero)
{
    IDirect3DTexture9* rt = nullptr;
    ASSERT_EQ(m_dev->CreateTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &rt, nullptr),
              S_OK);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(rt->GetSurfaceLevel(0, &level), S_OK);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(m_dev->GetRenderTarget(0, &back), S_OK);
    ASSERT_EQ(m_dev->SetRenderTarget(0, level), S_OK);
    D3DVIEWPORT9 vp;
    m_dev->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 32u);
    EXPECT_EQ(vp.Height, 32u);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    Quad(0, 0, 32, 8, 0xFFFF0000);  // the top quarter red
    // Culling goes by the winding on the target as on the back buffer:
    // the same quad wound the other way is culled.
    Quad(32, 8, 0, 16, 0xFF00FF00);
    ASSERT_EQ(m_dev->SetRenderTarget(0, back), S_OK);
    m_dev->GetViewport(&vp);
    EXPECT_EQ(vp.Width, (DWORD)kWidth);

    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    m_dev->SetTexture(0, rt);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    Quad(0, 0, 64, 64, 0xFFFFFFFF);
    EXPECT_TRUE(Near(Pixel(10, 5), 0xFFFF0000, 0));
    EXPECT_TRUE(Near(Pixel(10, 24), 0xFF0000FF, 0));
    EXPECT_TRUE(Near(Pixel(10, 40), 0xFF0000FF, 0));

    // Read back through a system-memory surface: the first row is the top.
    IDirect3DSurface9* sys = nullptr;
    ASSERT_EQ(m_dev->CreateOffscreenPlainSurface(32, 32, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &sys, nullptr), S_OK);
    ASSERT_EQ(m_dev->GetRenderTargetData(level, sys), S_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(sys->LockRect(&lr, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(((DWORD*)lr.pBits)[0], 0xFFFF0000u);
    EXPECT_EQ(((DWORD*)((uint8_t*)lr.pBits + 31 * lr.Pitch))[0], 0xFF0000FFu);
    sys->UnlockRect();
    sys->Release();
    m_dev->SetTexture(0, nullptr);
    level->Release();
    back->Release();
    rt->Release();
}

TEST_F(Targets, StretchRectScalesBetweenTargets)
{
    IDirect3DSurface9* rt = nullptr;
    ASSERT_EQ(m_dev->CreateRenderTarget(16, 16, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &rt, nullptr), S_OK);
    RECT top = {0, 0, 16, 8};
    ASSERT_EQ(m_dev->ColorFill(rt, nullptr, 0xFF00FF00), S_OK);
    ASSERT_EQ(m_dev->ColorFill(rt, &top, 0xFFFF0000), S_OK);
    IDirect3DSurface9* back = nullptr;
    m_dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    ASSERT_EQ(m_dev->StretchRect(rt, nullptr, back, nullptr, D3DTEXF_POINT), S_OK);
    EXPECT_TRUE(Near(Pixel(5, 5), 0xFFFF0000, 0));
    EXPECT_TRUE(Near(Pixel(5, 40), 0xFF00FF00, 0));
    // Rectangles count from the top-left on both sides.
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    RECT bottom = {0, 8, 16, 16}, right = {32, 0, 64, 16};
    ASSERT_EQ(m_dev->StretchRect(rt, &bottom, back, &right, D3DTEXF_POINT), S_OK);
    EXPECT_TRUE(Near(Pixel(40, 2), 0xFF00FF00, 0));
    EXPECT_TRUE(Near(Pixel(40, 14), 0xFF00FF00, 0));
    EXPECT_TRUE(Near(Pixel(40, 20), 0xFF000000, 0));
    EXPECT_TRUE(Near(Pixel(20, 2), 0xFF000000, 0));
    RECT outside = {0, 8, 16, 17};
    EXPECT_EQ(m_dev->StretchRect(rt, &outside, back, nullptr, D3DTEXF_POINT), D3DERR_INVALIDCALL);
    EXPECT_EQ(m_dev->StretchRect(rt, nullptr, rt, nullptr, D3DTEXF_POINT), D3DERR_INVALIDCALL);
    back->Release();
    rt->Release();
}

TEST_F(Targets, StretchRectCopiesDefaultPoolPlainSurfaces)
{
    IDirect3DSurface9* plain = nullptr;
    ASSERT_EQ(m_dev->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &plain, nullptr), S_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(plain->LockRect(&lr, nullptr, 0), S_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ((DWORD*)((uint8_t*)lr.pBits + y * lr.Pitch))[x] = y < 4 ? 0x00FF0000 : 0x000000FF;
    plain->UnlockRect();
    // Into a target with alpha: the unused byte of the source reads as opaque.
    IDirect3DSurface9* rt = nullptr;
    ASSERT_EQ(m_dev->CreateRenderTarget(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &rt, nullptr), S_OK);
    ASSERT_EQ(m_dev->StretchRect(plain, nullptr, rt, nullptr, D3DTEXF_POINT), S_OK);
    IDirect3DSurface9* sys = nullptr;
    ASSERT_EQ(m_dev->CreateOffscreenPlainSurface(16, 16, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &sys, nullptr), S_OK);
    ASSERT_EQ(m_dev->GetRenderTargetData(rt, sys), S_OK);
    ASSERT_EQ(sys->LockRect(&lr, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_TRUE(Near(((DWORD*)lr.pBits)[0], 0xFFFF0000, 0, true));
    EXPECT_TRUE(Near(((DWORD*)((uint8_t*)lr.pBits + 15 * lr.Pitch))[15], 0xFF0000FF, 0, true));
    sys->UnlockRect();
    // Rectangles count from the top-left, as between targets.
    IDirect3DSurface9* back = nullptr;
    m_dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    RECT src = {0, 4, 8, 8}, dst = {32, 32, 48, 48};
    ASSERT_EQ(m_dev->StretchRect(plain, &src, back, &dst, D3DTEXF_POINT), S_OK);
    EXPECT_TRUE(Near(Pixel(40, 40), 0xFF0000FF, 0));
    // A plain surface in system memory is no source.
    EXPECT_EQ(m_dev->StretchRect(sys, nullptr, back, nullptr, D3DTEXF_POINT), D3DERR_INVALIDCALL);
    back->Release();
    sys->Release();
    rt->Release();
    plain->Release();
}

TEST_F(Targets, BackBufferAfterPresentHoldsTheFrameShown)
{
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF336699, 1.0f, 0);
    m_dev->BeginScene();
    Quad(0, 0, 4, 4, 0xFFFFFFFF);
    m_dev->EndScene();
    ASSERT_EQ(m_dev->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_TRUE(Near(Pixel(1, 1), 0xFFFFFFFF, 0));
    EXPECT_TRUE(Near(Pixel(10, 10), 0xFF336699, 0));
    IDirect3DSurface9* bb = nullptr;
    ASSERT_EQ(m_dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb), S_OK);
    D3DSURFACE_DESC d;
    bb->GetDesc(&d);
    EXPECT_EQ(d.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(d.Width, (UINT)kWidth);
    // A back buffer beyond the count fails.
    IDirect3DSurface9* none = nullptr;
    EXPECT_EQ(m_dev->GetBackBuffer(0, 5, D3DBACKBUFFER_TYPE_MONO, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);
    bb->Release();
}

TEST_F(Targets, BeginAndEndSceneNest)
{
    EXPECT_EQ(m_dev->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(m_dev->BeginScene(), S_OK);
    EXPECT_EQ(m_dev->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(m_dev->EndScene(), S_OK);
}

TEST_F(Targets, AutoGeneratedMipsFollowTheTopLevel)
{
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(m_dev->CreateTexture(16, 16, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
              S_OK);
    EXPECT_EQ(t->GetLevelCount(), 1u);
    D3DLOCKED_RECT lr;
    t->LockRect(0, &lr, nullptr, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) ((DWORD*)((uint8_t*)lr.pBits + y * lr.Pitch))[x] = 0xFF00FF00;
    t->UnlockRect(0);
    m_dev->SetTexture(0, t);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_dev->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    Quad(0, 0, 2, 2, 0xFFFFFFFF);
    EXPECT_TRUE(Near(Pixel(0, 0), 0xFF00FF00, 0));
    m_dev->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(Targets, DepthStencilSurfacesCanBeSwapped)
{
    IDirect3DSurface9* ds = nullptr;
    ASSERT_EQ(m_dev->CreateDepthStencilSurface(kWidth, kHeight, D3DFMT_D24X8, D3DMULTISAMPLE_NONE, 0, TRUE, &ds,
                                               nullptr),
              S_OK);
    IDirect3DSurface9* original = nullptr;
    ASSERT_EQ(m_dev->GetDepthStencilSurface(&original), S_OK);
    ASSERT_EQ(m_dev->SetDepthStencilSurface(ds), S_OK);
    EXPECT_EQ(m_dev->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 0.3f, 0);
    Quad(0, 0, 8, 8, 0xFFFFFFFF, 0.5f);
    EXPECT_TRUE(Near(Pixel(4, 4), 0xFF000000, 0));
    ASSERT_EQ(m_dev->SetDepthStencilSurface(nullptr), S_OK);
    Quad(0, 0, 8, 8, 0xFFFFFFFF, 0.5f);
    EXPECT_TRUE(Near(Pixel(4, 4), 0xFFFFFFFF, 0));
    m_dev->SetDepthStencilSurface(original);
    original->Release();
    ds->Release();
}

} // namespace
} // namespace d3d9test

namespace d3d9test {
namespace {

struct SixteenBitTargetCase {
    D3DFORMAT format;
    DWORD clear, drawn;          // ARGB
    WORD clearBits, drawnBits;   // as the format stores them
    DWORD sampledClear;          // ARGB, sampling the texture
};

class SixteenBitTargets : public Targets, public ::testing::WithParamInterface<SixteenBitTargetCase> {};

// Textures of 16-bit formats with alpha are render targets: what is cleared
// and drawn into them reads back in the format's bits and samples as its colour.
TEST_P(SixteenBitTargets, RenderAndSampleInTheFormat)
{
    const SixteenBitTargetCase& c = GetParam();
    D3DCAPS9 caps;
    m_dev->GetDeviceCaps(&caps);
    IDirect3D9* d3d = nullptr;
    m_dev->GetDirect3D(&d3d);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE,
                                     c.format),
              S_OK);
    d3d->Release();
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(m_dev->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, c.format, D3DPOOL_DEFAULT, &tex, nullptr), S_OK);
    IDirect3DSurface9* level = nullptr;
    IDirect3DSurface9* back = nullptr;
    tex->GetSurfaceLevel(0, &level);
    m_dev->GetRenderTarget(0, &back);
    ASSERT_EQ(m_dev->SetRenderTarget(0, level), S_OK);
    ASSERT_EQ(m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, c.clear, 1.0f, 0), S_OK);
    Quad(0, 0, 8, 8, c.drawn);
    IDirect3DSurface9* sys = nullptr;
    ASSERT_EQ(m_dev->CreateOffscreenPlainSurface(16, 16, c.format, D3DPOOL_SYSTEMMEM, &sys, nullptr), S_OK);
    ASSERT_EQ(m_dev->GetRenderTargetData(level, sys), S_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(sys->LockRect(&lr, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(((const WORD*)lr.pBits)[0], c.drawnBits);
    EXPECT_EQ(((const WORD*)((const uint8_t*)lr.pBits + 12 * lr.Pitch))[12], c.clearBits);
    sys->UnlockRect();
    // Sampled on the back buffer, alpha included.
    m_dev->SetRenderTarget(0, back);
    m_dev->SetTexture(0, tex);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    m_dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Quad(0, 0, 16, 16, 0xFFFFFFFF);
    EXPECT_TRUE(Near(Pixel(12, 12), c.sampledClear, 2));
    m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    m_dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCALPHA);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    Quad(0, 0, 16, 16, 0xFFFFFFFF);
    EXPECT_NEAR((int)(Pixel(12, 12) & 0xFF), (int)(c.sampledClear >> 24), 2);
    m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    m_dev->SetTexture(0, nullptr);
    sys->Release();
    level->Release();
    back->Release();
    tex->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SixteenBitTargets,
    ::testing::Values(
        // One bit of alpha: the upper half of the range sets it.
        SixteenBitTargetCase{D3DFMT_A1R5G5B5, 0xC0FF0000, 0x4000FF00, 0xFC00, 0x03E0, 0xFFFF0000},
        // Four bits a channel.
        SixteenBitTargetCase{D3DFMT_A4R4G4B4, 0x88FF8800, 0x440088FF, 0x8F80, 0x408F, 0x88FF8800}));

TEST_F(Targets, TheImplicitSwapChainHoldsTheBackBufferAndPresents)
{
    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_EQ(m_dev->GetSwapChain(0, &chain), S_OK);
    ASSERT_NE(chain, nullptr);
    IDirect3DSwapChain9* none = chain;
    EXPECT_EQ(m_dev->GetSwapChain(1, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);
    // Holding it holds the device.
    EXPECT_EQ(m_dev->AddRef(), 3u);
    m_dev->Release();
    IDirect3DSurface9* fromChain = nullptr;
    IDirect3DSurface9* fromDevice = nullptr;
    ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &fromChain), S_OK);
    m_dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &fromDevice);
    EXPECT_EQ(fromChain, fromDevice);
    fromChain->Release();
    fromDevice->Release();
    D3DPRESENT_PARAMETERS pp;
    ASSERT_EQ(chain->GetPresentParameters(&pp), S_OK);
    EXPECT_EQ(pp.BackBufferWidth, (UINT)kWidth);
    EXPECT_EQ(pp.BackBufferHeight, (UINT)kHeight);
    EXPECT_EQ(pp.BackBufferFormat, D3DFMT_X8R8G8B8);
    IDirect3DDevice9* owner = nullptr;
    ASSERT_EQ(chain->GetDevice(&owner), S_OK);
    EXPECT_EQ(owner, m_dev);
    owner->Release();
    void* same = nullptr;
    ASSERT_EQ(chain->QueryInterface(IID_IDirect3DSwapChain9, &same), S_OK);
    EXPECT_EQ(same, chain);
    chain->Release();
    // Presenting through it shows the frame, as the device's Present does.
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    EXPECT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr, 0), S_OK);
    IDirect3DSurface9* front = nullptr;
    ASSERT_EQ(m_dev->CreateOffscreenPlainSurface(kWidth, kHeight, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &front, nullptr),
              S_OK);
    ASSERT_EQ(chain->GetFrontBufferData(front), S_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(front->LockRect(&lr, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_TRUE(Near(((const DWORD*)lr.pBits)[0], 0xFF00FF00, 0));
    front->UnlockRect();
    front->Release();
    // Released by the application, the device no longer counts it.
    EXPECT_EQ(chain->Release(), 0u);
    EXPECT_EQ(m_dev->AddRef(), 2u);
    m_dev->Release();
}

} // namespace
} // namespace d3d9test
