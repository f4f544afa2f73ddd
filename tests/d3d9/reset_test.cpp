// Reset and TestCooperativeLevel of a windowed device: a failed Reset leaves
// the device "not reset" until one succeeds; a successful one makes a new
// swap chain and puts every state back to its default.
#include "device_fixture.h"

#include <functional>

namespace d3d9test {
namespace {

class Reset : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        MakeDevice();
    }
    D3DPRESENT_PARAMETERS Params(UINT width, UINT height)
    {
        D3DPRESENT_PARAMETERS pp;
        std::memset(&pp, 0, sizeof(pp));
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.BackBufferWidth = width;
        pp.BackBufferHeight = height;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.hDeviceWindow = m_hwnd;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        return pp;
    }
    // Whether the device is "not reset", as the application can tell.
    void ExpectNotReset(const char* why)
    {
        EXPECT_EQ(m_dev->TestCooperativeLevel(), D3DERR_DEVICENOTRESET) << why;
        EXPECT_EQ(m_dev->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST) << why;
    }
    void ExpectOperational(const char* why)
    {
        EXPECT_EQ(m_dev->TestCooperativeLevel(), S_OK) << why;
        EXPECT_EQ(m_dev->Present(nullptr, nullptr, nullptr, nullptr), S_OK) << why;
    }
    // The back buffer's pixel, whatever its size.
    DWORD BackPixel(int x, int y)
    {
        IDirect3DSurface9* bb = nullptr;
        if (FAILED(m_dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb))) return 0xDEADBEEF;
        D3DLOCKED_RECT lr;
        DWORD p = 0xDEADBEEF;
        if (SUCCEEDED(bb->LockRect(&lr, nullptr, D3DLOCK_READONLY))) {
            p = ((const DWORD*)((const uint8_t*)lr.pBits + y * lr.Pitch))[x];
            bb->UnlockRect();
        }
        bb->Release();
        return p;
    }
};

TEST_F(Reset, ANewDeviceIsOperational) { ExpectOperational("new"); }

struct BadParamsCase {
    const char* name;
    std::function<void(D3DPRESENT_PARAMETERS&)> change;
    bool null;
};

class ResetParams : public Reset, public ::testing::WithParamInterface<BadParamsCase> {};

TEST_P(ResetParams, InvalidOnesLeaveTheDeviceNotResetUntilAResetSucceeds)
{
    const BadParamsCase& c = GetParam();
    D3DPRESENT_PARAMETERS pp = Params(kWidth, kHeight);
    if (c.change) c.change(pp);
    EXPECT_EQ(m_dev->Reset(c.null ? nullptr : &pp), D3DERR_INVALIDCALL) << c.name;
    ExpectNotReset(c.name);
    // Failing again keeps it so.
    EXPECT_EQ(m_dev->Reset(c.null ? nullptr : &pp), D3DERR_INVALIDCALL) << c.name;
    ExpectNotReset(c.name);
    D3DPRESENT_PARAMETERS good = Params(kWidth, kHeight);
    EXPECT_EQ(m_dev->Reset(&good), S_OK) << c.name;
    ExpectOperational(c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResetParams,
    ::testing::Values(
        BadParamsCase{"no parameters", nullptr, true},
        BadParamsCase{"full screen without a width",
                      [](D3DPRESENT_PARAMETERS& p) {
                          p.Windowed = FALSE;
                          p.BackBufferWidth = 0;
                      },
                      false},
        BadParamsCase{"full screen without a height",
                      [](D3DPRESENT_PARAMETERS& p) {
                          p.Windowed = FALSE;
                          p.BackBufferHeight = 0;
                      },
                      false},
        BadParamsCase{"a depth buffer of no depth format",
                      [](D3DPRESENT_PARAMETERS& p) { p.AutoDepthStencilFormat = D3DFMT_X8R8G8B8; }, false},
        BadParamsCase{"too many back buffers",
                      [](D3DPRESENT_PARAMETERS& p) { p.BackBufferCount = D3DPRESENT_BACK_BUFFERS_MAX + 1; }, false},
        BadParamsCase{"a back buffer of a depth format",
                      [](D3DPRESENT_PARAMETERS& p) { p.BackBufferFormat = D3DFMT_D24S8; }, false}));

// What the application made and still holds; it returns what to release.
struct HeldCase {
    const char* name;
    std::function<IUnknown*(IDirect3DDevice9*)> make;
};

class ResetHeld : public Reset, public ::testing::WithParamInterface<HeldCase> {};

TEST_P(ResetHeld, DefaultPoolResourcesMustBeReleasedFirst)
{
    const HeldCase& c = GetParam();
    IUnknown* held = c.make(m_dev);
    ASSERT_NE(held, nullptr) << c.name;
    D3DPRESENT_PARAMETERS pp = Params(kWidth, kHeight);
    EXPECT_EQ(m_dev->Reset(&pp), D3DERR_INVALIDCALL) << c.name;
    ExpectNotReset(c.name);
    held->Release();
    pp = Params(kWidth, kHeight);
    EXPECT_EQ(m_dev->Reset(&pp), S_OK) << c.name;
    ExpectOperational(c.name);
}

IUnknown* MadeTexture(IDirect3DDevice9* d, DWORD usage)
{
    IDirect3DTexture9* t = nullptr;
    d->CreateTexture(8, 8, 1, usage, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &t, nullptr);
    return t;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResetHeld,
    ::testing::Values(
        HeldCase{"a default-pool texture", [](IDirect3DDevice9* d) { return MadeTexture(d, 0); }},
        HeldCase{"a render-target texture",
                 [](IDirect3DDevice9* d) { return MadeTexture(d, D3DUSAGE_RENDERTARGET); }},
        HeldCase{"a level of a default-pool texture",
                 [](IDirect3DDevice9* d) -> IUnknown* {
                     IUnknown* t = MadeTexture(d, D3DUSAGE_RENDERTARGET);
                     IDirect3DSurface9* level = nullptr;
                     static_cast<IDirect3DTexture9*>(t)->GetSurfaceLevel(0, &level);
                     t->Release();
                     return level;
                 }},
        HeldCase{"a default-pool vertex buffer",
                 [](IDirect3DDevice9* d) -> IUnknown* {
                     IDirect3DVertexBuffer9* b = nullptr;
                     d->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &b, nullptr);
                     return b;
                 }},
        HeldCase{"a default-pool index buffer",
                 [](IDirect3DDevice9* d) -> IUnknown* {
                     IDirect3DIndexBuffer9* b = nullptr;
                     d->CreateIndexBuffer(64, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &b, nullptr);
                     return b;
                 }},
        HeldCase{"a render target",
                 [](IDirect3DDevice9* d) -> IUnknown* {
                     IDirect3DSurface9* s = nullptr;
                     d->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &s, nullptr);
                     return s;
                 }},
        HeldCase{"a depth-stencil surface",
                 [](IDirect3DDevice9* d) -> IUnknown* {
                     IDirect3DSurface9* s = nullptr;
                     d->CreateDepthStencilSurface(8, 8, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE, &s, nullptr);
                     return s;
                 }},
        HeldCase{"a default-pool off-screen surface",
                 [](IDirect3DDevice9* d) -> IUnknown* {
                     IDirect3DSurface9* s = nullptr;
                     d->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &s, nullptr);
                     return s;
                 }},
        HeldCase{"the back buffer",
                 [](IDirect3DDevice9* d) -> IUnknown* {
                     IDirect3DSurface9* s = nullptr;
                     d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &s);
                     return s;
                 }},
        HeldCase{"the implicit depth-stencil surface", [](IDirect3DDevice9* d) -> IUnknown* {
                     IDirect3DSurface9* s = nullptr;
                     d->GetDepthStencilSurface(&s);
                     return s;
                 }}));

TEST_F(Reset, MakesTheBackBufferAndDepthStencilSurfaceAtTheNewSize)
{
    D3DPRESENT_PARAMETERS pp = Params(40, 24);
    ASSERT_EQ(m_dev->Reset(&pp), S_OK);
    ExpectOperational("resized");
    IDirect3DSurface9* bb = nullptr;
    IDirect3DSurface9* ds = nullptr;
    IDirect3DSurface9* rt = nullptr;
    ASSERT_EQ(m_dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb), S_OK);
    ASSERT_EQ(m_dev->GetDepthStencilSurface(&ds), S_OK);
    ASSERT_EQ(m_dev->GetRenderTarget(0, &rt), S_OK);
    EXPECT_EQ(rt, bb);
    D3DSURFACE_DESC d;
    bb->GetDesc(&d);
    EXPECT_EQ(d.Width, 40u);
    EXPECT_EQ(d.Height, 24u);
    ds->GetDesc(&d);
    EXPECT_EQ(d.Width, 40u);
    EXPECT_EQ(d.Height, 24u);
    EXPECT_EQ(d.Format, D3DFMT_D24S8);
    bb->Release();
    ds->Release();
    rt->Release();
    D3DPRESENT_PARAMETERS got;
    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_EQ(m_dev->GetSwapChain(0, &chain), S_OK);
    chain->GetPresentParameters(&got);
    chain->Release();
    EXPECT_EQ(got.BackBufferWidth, 40u);
    EXPECT_EQ(got.BackBufferHeight, 24u);
    // The whole new back buffer is drawn, depth tested against the new surface.
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    ASSERT_EQ(m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 0.5f, 0), S_OK);
    m_dev->BeginScene();
    Quad(0, 0, 40, 24, 0xFFFF0000, 0.25f);
    Quad(20, 0, 40, 24, 0xFF00FF00, 0.75f);  // behind the cleared depth
    m_dev->EndScene();
    EXPECT_TRUE(Near(BackPixel(39, 23), 0xFFFF0000, 0));
    EXPECT_TRUE(Near(BackPixel(0, 0), 0xFFFF0000, 0));
}

TEST_F(Reset, AWindowedBackBufferWithoutASizeTakesTheWindowsClientArea)
{
    D3DPRESENT_PARAMETERS pp = Params(0, 0);
    pp.BackBufferFormat = D3DFMT_UNKNOWN;
    ASSERT_EQ(m_dev->Reset(&pp), S_OK);
    EXPECT_EQ(pp.BackBufferWidth, (UINT)kWidth);
    EXPECT_EQ(pp.BackBufferHeight, (UINT)kHeight);
    IDirect3DSurface9* bb = nullptr;
    ASSERT_EQ(m_dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb), S_OK);
    D3DSURFACE_DESC d;
    bb->GetDesc(&d);
    EXPECT_EQ(d.Width, (UINT)kWidth);
    EXPECT_EQ(d.Height, (UINT)kHeight);
    EXPECT_NE(d.Format, D3DFMT_UNKNOWN);
    bb->Release();
}

// A state, the value the test sets, and how it is read back.
struct StateCase {
    const char* name;
    std::function<void(IDirect3DDevice9*)> set;
    std::function<bool(IDirect3DDevice9*)> isDefault;
};

DWORD Rs(IDirect3DDevice9* d, D3DRENDERSTATETYPE s)
{
    DWORD v = 0xDEADBEEF;
    d->GetRenderState(s, &v);
    return v;
}

bool IsIdentity(const D3DMATRIX& m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m.m[r][c] != (r == c ? 1.0f : 0.0f)) return false;
    return true;
}

class ResetStates : public Reset, public ::testing::WithParamInterface<StateCase> {};

TEST_P(ResetStates, GoBackToTheirDefaults)
{
    const StateCase& c = GetParam();
    c.set(m_dev);
    ASSERT_FALSE(c.isDefault(m_dev)) << c.name << ": the test sets it";
    D3DPRESENT_PARAMETERS pp = Params(32, 48);
    ASSERT_EQ(m_dev->Reset(&pp), S_OK);
    EXPECT_TRUE(c.isDefault(m_dev)) << c.name;
}

// Defaults as the documentation lists them.
INSTANTIATE_TEST_SUITE_P(
    Cases, ResetStates,
    ::testing::Values(
        StateCase{"lighting", [](IDirect3DDevice9* d) { d->SetRenderState(D3DRS_LIGHTING, FALSE); },
                  [](IDirect3DDevice9* d) { return Rs(d, D3DRS_LIGHTING) == TRUE; }},
        StateCase{"cull mode", [](IDirect3DDevice9* d) { d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE); },
                  [](IDirect3DDevice9* d) { return Rs(d, D3DRS_CULLMODE) == D3DCULL_CCW; }},
        StateCase{"alpha blending", [](IDirect3DDevice9* d) { d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE); },
                  [](IDirect3DDevice9* d) { return Rs(d, D3DRS_ALPHABLENDENABLE) == FALSE; }},
        StateCase{"source blend", [](IDirect3DDevice9* d) { d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA); },
                  [](IDirect3DDevice9* d) { return Rs(d, D3DRS_SRCBLEND) == D3DBLEND_ONE; }},
        StateCase{"depth test with an implicit depth buffer",
                  [](IDirect3DDevice9* d) { d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE); },
                  [](IDirect3DDevice9* d) { return Rs(d, D3DRS_ZENABLE) == D3DZB_TRUE; }},
        StateCase{"fog colour", [](IDirect3DDevice9* d) { d->SetRenderState(D3DRS_FOGCOLOR, 0xFF102030); },
                  [](IDirect3DDevice9* d) { return Rs(d, D3DRS_FOGCOLOR) == 0; }},
        StateCase{"texture factor", [](IDirect3DDevice9* d) { d->SetRenderState(D3DRS_TEXTUREFACTOR, 0); },
                  [](IDirect3DDevice9* d) { return Rs(d, D3DRS_TEXTUREFACTOR) == 0xFFFFFFFF; }},
        StateCase{"stage 0 colour operation",
                  [](IDirect3DDevice9* d) { d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2); },
                  [](IDirect3DDevice9* d) {
                      DWORD v = 0;
                      d->GetTextureStageState(0, D3DTSS_COLOROP, &v);
                      return v == D3DTOP_MODULATE;
                  }},
        StateCase{"stage 1 colour operation",
                  [](IDirect3DDevice9* d) { d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE); },
                  [](IDirect3DDevice9* d) {
                      DWORD v = 0;
                      d->GetTextureStageState(1, D3DTSS_COLOROP, &v);
                      return v == D3DTOP_DISABLE;
                  }},
        StateCase{"sampler filter",
                  [](IDirect3DDevice9* d) { d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR); },
                  [](IDirect3DDevice9* d) {
                      DWORD v = 0;
                      d->GetSamplerState(0, D3DSAMP_MAGFILTER, &v);
                      return v == D3DTEXF_POINT;
                  }},
        StateCase{"sampler addressing",
                  [](IDirect3DDevice9* d) { d->SetSamplerState(3, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP); },
                  [](IDirect3DDevice9* d) {
                      DWORD v = 0;
                      d->GetSamplerState(3, D3DSAMP_ADDRESSU, &v);
                      return v == D3DTADDRESS_WRAP;
                  }},
        StateCase{"world transform",
                  [](IDirect3DDevice9* d) {
                      D3DMATRIX m = Translation(1, 2, 3);
                      d->SetTransform(D3DTS_WORLD, &m);
                  },
                  [](IDirect3DDevice9* d) {
                      D3DMATRIX m;
                      d->GetTransform(D3DTS_WORLD, &m);
                      return IsIdentity(m);
                  }},
        StateCase{"projection transform",
                  [](IDirect3DDevice9* d) {
                      D3DMATRIX m = Scaling(2, 2, 2);
                      d->SetTransform(D3DTS_PROJECTION, &m);
                  },
                  [](IDirect3DDevice9* d) {
                      D3DMATRIX m;
                      d->GetTransform(D3DTS_PROJECTION, &m);
                      return IsIdentity(m);
                  }},
        StateCase{"viewport: the whole new back buffer",
                  [](IDirect3DDevice9* d) {
                      D3DVIEWPORT9 v = {2, 3, 10, 10, 0.25f, 0.5f};
                      d->SetViewport(&v);
                  },
                  [](IDirect3DDevice9* d) {
                      D3DVIEWPORT9 v = {};
                      d->GetViewport(&v);
                      return v.X == 0 && v.Y == 0 && v.Width == 32 && v.Height == 48 && v.MinZ == 0.0f &&
                             v.MaxZ == 1.0f;
                  }},
        StateCase{"scissor rectangle: the whole new back buffer",
                  [](IDirect3DDevice9* d) {
                      RECT r = {1, 1, 4, 4};
                      d->SetScissorRect(&r);
                  },
                  [](IDirect3DDevice9* d) {
                      RECT r = {};
                      d->GetScissorRect(&r);
                      return r.left == 0 && r.top == 0 && r.right == 32 && r.bottom == 48;
                  }},
        StateCase{"a light",
                  [](IDirect3DDevice9* d) {
                      D3DLIGHT9 l = {};
                      l.Type = D3DLIGHT_DIRECTIONAL;
                      l.Direction = {0, 0, 1};
                      d->SetLight(0, &l);
                      d->LightEnable(0, TRUE);
                  },
                  [](IDirect3DDevice9* d) {
                      D3DLIGHT9 l;
                      return d->GetLight(0, &l) == D3DERR_INVALIDCALL;
                  }},
        StateCase{"the material",
                  [](IDirect3DDevice9* d) {
                      D3DMATERIAL9 m = {};
                      m.Power = 8;
                      d->SetMaterial(&m);
                  },
                  [](IDirect3DDevice9* d) {
                      D3DMATERIAL9 m = {};
                      d->GetMaterial(&m);
                      return m.Power == 0.0f;
                  }},
        StateCase{"the vertex format",
                  [](IDirect3DDevice9* d) { d->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE); },
                  [](IDirect3DDevice9* d) {
                      DWORD fvf = 1;
                      d->GetFVF(&fvf);
                      return fvf == 0;
                  }},
        StateCase{"a vertex shader constant",
                  [](IDirect3DDevice9* d) {
                      const float c[4] = {1, 2, 3, 4};
                      d->SetVertexShaderConstantF(5, c, 1);
                  },
                  [](IDirect3DDevice9* d) {
                      float c[4] = {9, 9, 9, 9};
                      d->GetVertexShaderConstantF(5, c, 1);
                      return c[0] == 0 && c[3] == 0;
                  }}));

TEST_F(Reset, UnbindsTexturesAndStreamsWhileManagedAndSystemMemoryResourcesSurvive)
{
    IDirect3DTexture9* t = SolidTexture(0xFF20C040);
    ASSERT_NE(t, nullptr);
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(m_dev->CreateVertexBuffer(4 * sizeof(RhwVertex), 0, kRhwFvf, D3DPOOL_SYSTEMMEM, &vb, nullptr), S_OK);
    RhwVertex* v = nullptr;
    vb->Lock(0, 0, (void**)&v, 0);
    const RhwVertex quad[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {16, 0, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                               {0, 16, 0.5f, 1, 0xFFFFFFFF, 0, 1}, {16, 16, 0.5f, 1, 0xFFFFFFFF, 1, 1}};
    std::memcpy(v, quad, sizeof(quad));
    vb->Unlock();
    IDirect3DSurface9* plain = nullptr;
    ASSERT_EQ(m_dev->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &plain, nullptr), S_OK);
    m_dev->SetTexture(0, t);
    m_dev->SetStreamSource(0, vb, 0, sizeof(RhwVertex));
    D3DPRESENT_PARAMETERS pp = Params(kWidth, kHeight);
    ASSERT_EQ(m_dev->Reset(&pp), S_OK);
    IDirect3DBaseTexture9* bound = t;
    m_dev->GetTexture(0, &bound);
    EXPECT_EQ(bound, nullptr);
    IDirect3DVertexBuffer9* stream = vb;
    UINT offset = 1, stride = 1;
    m_dev->GetStreamSource(0, &stream, &offset, &stride);
    EXPECT_EQ(stream, nullptr);
    // The texture and the buffer draw as before.
    m_dev->SetTexture(0, t);
    m_dev->SetStreamSource(0, vb, 0, sizeof(RhwVertex));
    m_dev->SetFVF(kRhwFvf);
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), S_OK);
    EXPECT_TRUE(Near(Pixel(8, 8), 0xFF20C040, 1));
    D3DLOCKED_RECT lr;
    EXPECT_EQ(plain->LockRect(&lr, nullptr, 0), S_OK);
    plain->UnlockRect();
    m_dev->SetTexture(0, nullptr);
    m_dev->SetStreamSource(0, nullptr, 0, 0);
    plain->Release();
    vb->Release();
    t->Release();
}

TEST_F(Reset, ResourcesReleasedButStillBoundDoNotHoldItBack)
{
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(m_dev->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &t, nullptr),
              S_OK);
    IDirect3DSurface9* level = nullptr;
    t->GetSurfaceLevel(0, &level);
    m_dev->SetTexture(0, t);
    m_dev->SetRenderTarget(0, level);
    level->Release();
    t->Release();
    D3DPRESENT_PARAMETERS pp = Params(kWidth, kHeight);
    EXPECT_EQ(m_dev->Reset(&pp), S_OK);
    IDirect3DSurface9* rt = nullptr;
    IDirect3DSurface9* bb = nullptr;
    m_dev->GetRenderTarget(0, &rt);
    m_dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    EXPECT_EQ(rt, bb);
    rt->Release();
    bb->Release();
}

} // namespace
} // namespace d3d9test
