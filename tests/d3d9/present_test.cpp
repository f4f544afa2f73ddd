// The back buffer drawn in place in the window, and in a texture of its own
// copied to the window at Present: every use of it as a surface reads the
// same on both, with row 0 at the top.
#include "device_fixture.h"

#include "d3d9/d3d9_device.h"
#include "d3d9/gl_api.h"

namespace d3d9test {
namespace {

enum class Where { Window, Copy };

const DWORD kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF, kBlack = 0xFF000000;

class BackBuffer : public DeviceTest, public ::testing::WithParamInterface<Where> {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        Make(kWidth, kHeight, D3DSWAPEFFECT_DISCARD);
        ASSERT_EQ(Device()->BackBufferInWindow(), GetParam() == Where::Window);
    }

    void Make(UINT width, UINT height, D3DSWAPEFFECT swap)
    {
        D3DPRESENT_PARAMETERS pp;
        std::memset(&pp, 0, sizeof(pp));
        pp.Windowed = TRUE;
        pp.SwapEffect = swap;
        pp.BackBufferWidth = width;
        pp.BackBufferHeight = height;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.hDeviceWindow = m_hwnd;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        d3d9gl::SetPresentPath(GetParam() == Where::Copy ? d3d9gl::PresentPath::Copy : d3d9gl::PresentPath::Auto,
                               true);
        HRESULT hr = m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, m_hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &m_dev);
        d3d9gl::SetPresentPath(d3d9gl::PresentPath::Auto, false);
        ASSERT_EQ(hr, S_OK);
        m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    }

    d3d9gl::Device* Device() { return static_cast<d3d9gl::Device*>(m_dev); }
    bool InWindow() { return Device()->BackBufferInWindow(); }

    // What the window shows after Present (its framebuffer), top row first.
    std::vector<DWORD> Shown(int width = kWidth, int height = kHeight)
    {
        using namespace d3d9gl;
        const GLenum kReadBinding = 0x8CAA;
        GLint was = 0;
        gl.glGetIntegerv(kReadBinding, &was);
        gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        std::vector<DWORD> rows((size_t)width * height), out((size_t)width * height);
        gl.glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
        gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, (GLuint)was);
        for (int y = 0; y < height; ++y)
            std::memcpy(&out[(size_t)y * width], &rows[(size_t)(height - 1 - y) * width], (size_t)width * 4);
        return out;
    }

    IDirect3DSurface9* Back()
    {
        IDirect3DSurface9* bb = nullptr;
        m_dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
        return bb;
    }

    // A render-target texture and its top level.
    IDirect3DTexture9* Target(UINT size, IDirect3DSurface9** level)
    {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(m_dev->CreateTexture(size, size, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &t,
                                       nullptr),
                  S_OK);
        if (t) t->GetSurfaceLevel(0, level);
        return t;
    }

    // The pixels of a render target, through a system-memory surface.
    std::vector<DWORD> TargetData(IDirect3DSurface9* rt, UINT size)
    {
        std::vector<DWORD> out(size * size);
        IDirect3DSurface9* sys = nullptr;
        if (FAILED(m_dev->CreateOffscreenPlainSurface(size, size, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &sys, nullptr)))
            return out;
        EXPECT_EQ(m_dev->GetRenderTargetData(rt, sys), S_OK);
        D3DLOCKED_RECT lr;
        if (SUCCEEDED(sys->LockRect(&lr, nullptr, D3DLOCK_READONLY))) {
            for (UINT y = 0; y < size; ++y) std::memcpy(&out[y * size], (uint8_t*)lr.pBits + y * lr.Pitch, size * 4);
            sys->UnlockRect();
        }
        sys->Release();
        return out;
    }

    void Present() { ASSERT_EQ(m_dev->Present(nullptr, nullptr, nullptr, nullptr), S_OK); }
};

struct Expected {
    int x, y;
    DWORD color;
};

// Drawing, clearing with rectangles, the scissor and viewport rectangles, and
// every way of reading the back buffer agree on where row 0 is.
TEST_P(BackBuffer, DrawsClearsAndReadsWithRowZeroAtTheTop)
{
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    // Edges on pixel centres: the top and left ones are in, the others out.
    Quad(0, 0, 64, 1, kRed);
    Quad(0, 63, 64, 64, kGreen);
    Quad(10, 20, 11, 21, kBlue);
    const D3DRECT rect = {5, 40, 9, 44};
    m_dev->Clear(1, &rect, D3DCLEAR_TARGET, kWhite, 1.0f, 0);
    const RECT scissor = {48, 50, 56, 54};
    m_dev->SetScissorRect(&scissor);
    m_dev->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    Quad(0, 0, 64, 64, 0xFFFFFF00);
    m_dev->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
    // Clip space fills the viewport.
    const D3DVIEWPORT9 vp = {32, 8, 16, 8, 0.0f, 1.0f};
    m_dev->SetViewport(&vp);
    struct V { float x, y, z; DWORD c; } quad[4] = {
        {-1, 1, 0.5f, 0xFF00FFFF}, {1, 1, 0.5f, 0xFF00FFFF}, {-1, -1, 0.5f, 0xFF00FFFF}, {1, -1, 0.5f, 0xFF00FFFF}};
    m_dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V)), S_OK);
    // A clear without rectangles clears the viewport.
    const D3DVIEWPORT9 strip = {0, 24, 8, 4, 0.0f, 1.0f};
    m_dev->SetViewport(&strip);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, kWhite, 1.0f, 0);
    const D3DVIEWPORT9 full = {0, 0, kWidth, kHeight, 0.0f, 1.0f};
    m_dev->SetViewport(&full);

    const Expected expected[] = {
        {0, 0, kRed},     {63, 0, kRed},    {0, 1, kBlack},   {0, 62, kBlack},  {0, 63, kGreen},  {10, 20, kBlue},
        {11, 20, kBlack}, {10, 21, kBlack}, {5, 40, kWhite},  {8, 43, kWhite},  {9, 43, kBlack},  {5, 44, kBlack},
        {48, 50, 0xFFFFFF00}, {55, 53, 0xFFFFFF00}, {55, 54, kBlack}, {47, 50, kBlack},
        {32, 8, 0xFF00FFFF}, {47, 15, 0xFF00FFFF}, {48, 15, kBlack}, {32, 16, kBlack}, {31, 8, kBlack},
        {32, 7, kBlack},  {0, 24, kWhite},  {7, 27, kWhite},  {8, 24, kBlack},  {0, 28, kBlack},  {0, 23, kBlack},
    };
    IDirect3DSurface9* bb = Back();
    ASSERT_NE(bb, nullptr);
    const std::vector<DWORD> locked = Frame();
    const std::vector<DWORD> copied = TargetData(bb, kWidth);
    for (const Expected& e : expected) {
        EXPECT_TRUE(Near(locked[e.y * kWidth + e.x], e.color, 0)) << "lock at " << e.x << "," << e.y;
        EXPECT_TRUE(Near(copied[e.y * kWidth + e.x], e.color, 0)) << "copy at " << e.x << "," << e.y;
    }
    // A lock of a rectangle starts at its corner.
    const RECT one = {10, 20, 11, 21};
    D3DLOCKED_RECT lr;
    ASSERT_EQ(bb->LockRect(&lr, &one, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(*(const DWORD*)lr.pBits, kBlue);
    bb->UnlockRect();
    // The window shows the frame the right way up.
    Present();
    const std::vector<DWORD> shown = Shown();
    for (const Expected& e : expected)
        EXPECT_TRUE(Near(shown[e.y * kWidth + e.x], e.color, 0)) << "shown at " << e.x << "," << e.y;
    EXPECT_EQ(InWindow(), GetParam() == Where::Window);
    bb->Release();
}

// Only a back buffer drawn into its own storage is copied at Present.
TEST_P(BackBuffer, PresentCopiesOnlyWhenTheBackBufferIsNotInTheWindow)
{
    const uint64_t before = Device()->Counters().presentCopies;
    for (int i = 0; i < 5; ++i) {
        m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0);
        Quad(0, 0, 8, 8, kRed);
        Present();
    }
    EXPECT_EQ(Device()->Counters().presentCopies - before, GetParam() == Where::Window ? 0u : 5u);
    EXPECT_EQ(Device()->Counters().windowMoves, 0u);
}

// StretchRect from and to the back buffer keeps its rows, and a texture
// drawn into samples with v = 0 at its top.
TEST_P(BackBuffer, StretchRectFromAndToTheBackBufferKeepsItsRows)
{
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    Quad(0, 0, 64, 16, kRed);
    IDirect3DSurface9* level = nullptr;
    IDirect3DTexture9* tex = Target(32, &level);
    ASSERT_NE(level, nullptr);
    IDirect3DSurface9* bb = Back();
    ASSERT_EQ(m_dev->StretchRect(bb, nullptr, level, nullptr, D3DTEXF_POINT), S_OK);
    std::vector<DWORD> t = TargetData(level, 32);
    EXPECT_TRUE(Near(t[0], kRed, 0));
    EXPECT_TRUE(Near(t[7 * 32 + 5], kRed, 0));
    EXPECT_TRUE(Near(t[8 * 32 + 5], kBlue, 0));
    EXPECT_TRUE(Near(t[31 * 32 + 31], kBlue, 0));
    // Sampled, the top of the texture is the top of the quad.
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    m_dev->SetTexture(0, tex);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    Quad(0, 0, 64, 64, kWhite);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    m_dev->SetTexture(0, nullptr);
    EXPECT_TRUE(Near(Pixel(5, 2), kRed, 0));
    EXPECT_TRUE(Near(Pixel(5, 60), kBlue, 0));
    // Into a corner of the back buffer.
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    const RECT corner = {0, 48, 16, 64};
    ASSERT_EQ(m_dev->StretchRect(level, nullptr, bb, &corner, D3DTEXF_POINT), S_OK);
    EXPECT_TRUE(Near(Pixel(2, 48), kRed, 0));
    EXPECT_TRUE(Near(Pixel(2, 51), kRed, 0));
    EXPECT_TRUE(Near(Pixel(2, 52), kBlue, 0));
    EXPECT_TRUE(Near(Pixel(2, 63), kBlue, 0));
    EXPECT_TRUE(Near(Pixel(2, 47), kBlack, 0));
    EXPECT_TRUE(Near(Pixel(16, 60), kBlack, 0));
    // ColorFill of a rectangle of it.
    const RECT fill = {60, 0, 64, 2};
    ASSERT_EQ(m_dev->ColorFill(bb, &fill, kGreen), S_OK);
    EXPECT_TRUE(Near(Pixel(61, 1), kGreen, 0));
    EXPECT_TRUE(Near(Pixel(61, 2), kBlack, 0));
    EXPECT_EQ(InWindow(), GetParam() == Where::Window);
    bb->Release();
    level->Release();
    tex->Release();
}

// A texture target drawn with the implicit depth surface tests against the
// depth the back buffer's draws left, and the back buffer is whole when it
// is set again; the back buffer goes back to the window some frames later,
// with its depth.
TEST_P(BackBuffer, ATextureTargetSharesTheImplicitDepthSurface)
{
    m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0);
    Quad(0, 0, 32, 64, kGreen, 0.2f);
    IDirect3DSurface9* level = nullptr;
    IDirect3DTexture9* tex = Target(64, &level);
    ASSERT_NE(level, nullptr);
    IDirect3DSurface9* bb = Back();
    ASSERT_EQ(m_dev->SetRenderTarget(0, level), S_OK);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    Quad(0, 0, 64, 32, kRed, 0.5f);
    EXPECT_FALSE(InWindow());
    std::vector<DWORD> t = TargetData(level, 64);
    EXPECT_TRUE(Near(t[10 * 64 + 10], kBlack, 0));
    EXPECT_TRUE(Near(t[10 * 64 + 50], kRed, 0));
    EXPECT_TRUE(Near(t[40 * 64 + 50], kBlack, 0));
    ASSERT_EQ(m_dev->SetRenderTarget(0, bb), S_OK);
    EXPECT_TRUE(Near(Pixel(10, 10), kGreen, 0));
    EXPECT_TRUE(Near(Pixel(50, 10), kBlack, 0));
    // The red quad's depth (0.5) is in the surface now.
    Quad(0, 0, 64, 64, kBlue, 0.3f);
    EXPECT_TRUE(Near(Pixel(10, 10), kGreen, 0));
    EXPECT_TRUE(Near(Pixel(50, 10), kBlue, 0));
    EXPECT_TRUE(Near(Pixel(50, 40), kBlue, 0));
    Present();
    EXPECT_TRUE(Near(Shown()[10 * kWidth + 50], kBlue, 0));
    // Frames that need no storage of its own bring the back buffer back to
    // the window (where it can go), depth and all.
    for (int i = 0; i < 40; ++i) Present();
    EXPECT_EQ(InWindow(), GetParam() == Where::Window);
    Quad(0, 0, 64, 64, kRed, 0.25f);
    EXPECT_TRUE(Near(Pixel(10, 10), kGreen, 0));
    EXPECT_TRUE(Near(Pixel(50, 10), kRed, 0));
    EXPECT_TRUE(Near(Pixel(50, 40), kRed, 0));
    m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    bb->Release();
    level->Release();
    tex->Release();
}

// A depth surface of its own with the back buffer also needs the back
// buffer's own storage; the implicit one is whole when it comes back.
TEST_P(BackBuffer, AnotherDepthSurfaceWithTheBackBuffer)
{
    m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0);
    Quad(0, 0, 32, 64, kGreen, 0.2f);
    IDirect3DSurface9* own = nullptr;
    ASSERT_EQ(m_dev->CreateDepthStencilSurface(64, 64, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE, &own, nullptr),
              S_OK);
    IDirect3DSurface9* implicit = nullptr;
    ASSERT_EQ(m_dev->GetDepthStencilSurface(&implicit), S_OK);
    ASSERT_EQ(m_dev->SetDepthStencilSurface(own), S_OK);
    m_dev->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    Quad(0, 0, 64, 32, kRed, 0.5f);
    EXPECT_FALSE(InWindow());
    EXPECT_TRUE(Near(Pixel(10, 10), kRed, 0));
    ASSERT_EQ(m_dev->SetDepthStencilSurface(implicit), S_OK);
    Quad(0, 0, 64, 64, kBlue, 0.3f);
    EXPECT_TRUE(Near(Pixel(10, 10), kRed, 0));
    EXPECT_TRUE(Near(Pixel(10, 40), kGreen, 0));
    EXPECT_TRUE(Near(Pixel(50, 40), kBlue, 0));
    // No depth surface at all: no depth test, in the window or not.
    ASSERT_EQ(m_dev->SetDepthStencilSurface(nullptr), S_OK);
    Quad(0, 48, 64, 64, kWhite, 0.9f);
    EXPECT_TRUE(Near(Pixel(10, 50), kWhite, 0));
    ASSERT_EQ(m_dev->SetDepthStencilSurface(implicit), S_OK);
    m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    implicit->Release();
    own->Release();
}

// A lock that writes the back buffer: rows as read, and written where asked.
TEST_P(BackBuffer, AWriteLockPutsRowsWhereTheyWereRead)
{
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    Quad(0, 0, 64, 2, kRed);
    IDirect3DSurface9* bb = Back();
    const RECT rows = {0, 60, 64, 64};
    D3DLOCKED_RECT lr;
    ASSERT_EQ(bb->LockRect(&lr, &rows, 0), S_OK);
    for (int x = 0; x < 4; ++x) ((DWORD*)lr.pBits)[x] = kWhite;
    bb->UnlockRect();
    EXPECT_TRUE(Near(Pixel(2, 60), kWhite, 0));
    EXPECT_TRUE(Near(Pixel(2, 1), kRed, 0));
    EXPECT_TRUE(Near(Pixel(2, 59), kBlack, 0));
    EXPECT_TRUE(Near(Pixel(5, 60), kBlack, 0));
    EXPECT_FALSE(InWindow());
    Present();
    EXPECT_TRUE(Near(Shown()[60 * kWidth + 2], kWhite, 0));
    bb->Release();
}

// Point sprites and a shader's window position count rows from the top.
TEST_P(BackBuffer, SpritesAndWindowPositionsCountRowsFromTheTop)
{
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(m_dev->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), S_OK);
    D3DLOCKED_RECT lr;
    t->LockRect(0, &lr, nullptr, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) ((DWORD*)((uint8_t*)lr.pBits + y * lr.Pitch))[x] = y < 2 ? kRed : kBlue;
    t->UnlockRect(0);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    m_dev->SetTexture(0, t);
    m_dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    m_dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_dev->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_POINTSIZE, Bits(16.0f));
    RhwVertex p = {32.0f, 32.0f, 0.5f, 1.0f, kWhite, 0, 0};
    m_dev->SetFVF(kRhwFvf);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &p, sizeof(p)), S_OK);
    EXPECT_TRUE(Near(Pixel(32, 27), kRed, 0));
    EXPECT_TRUE(Near(Pixel(32, 37), kBlue, 0));
    m_dev->SetRenderState(D3DRS_POINTSPRITEENABLE, FALSE);
    m_dev->SetTexture(0, nullptr);
    t->Release();

    std::vector<DWORD> vs = ShaderTokens(D3DVS_VERSION(3, 0),
                                         "layout(location = 0) in vec4 a_pos;\n"
                                         "void main() { gl_Position = vec4(a_pos.xyz, 1.0); }\n");
    // Red above row 16, and where the y derivative of the row is positive.
    std::vector<DWORD> ps = ShaderTokens(D3DPS_VERSION(3, 0),
                                         "out vec4 oC0;\n"
                                         "void main() { float row = gl_FragCoord.y;\n"
                                         "  oC0 = vec4(row < 16.0 ? 1.0 : 0.0, dFdy(row) > 0.0 ? 1.0 : 0.0, 0.0, 1.0); }\n");
    IDirect3DVertexShader9* v = nullptr;
    IDirect3DPixelShader9* f = nullptr;
    ASSERT_EQ(m_dev->CreateVertexShader(vs.data(), &v), S_OK);
    ASSERT_EQ(m_dev->CreatePixelShader(ps.data(), &f), S_OK);
    m_dev->SetVertexShader(v);
    m_dev->SetPixelShader(f);
    struct V { float x, y, z; } quad[4] = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}, {1, -1, 0.5f}};
    m_dev->SetFVF(D3DFVF_XYZ);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V)), S_OK);
    EXPECT_TRUE(Near(Pixel(5, 15), 0xFFFFFF00, 0));
    EXPECT_TRUE(Near(Pixel(5, 16), 0xFF00FF00, 0));
    m_dev->SetVertexShader(nullptr);
    m_dev->SetPixelShader(nullptr);
    v->Release();
    f->Release();
}

// Rectangles at Present belong to swap chains that copy; those present the
// part asked for, from a back buffer kept in its own storage.
TEST_P(BackBuffer, PresentRectanglesNeedACopyingSwapChain)
{
    const RECT half = {0, 0, 32, 64};
    EXPECT_EQ(m_dev->Present(&half, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(m_dev->Present(nullptr, &half, nullptr, nullptr), D3DERR_INVALIDCALL);
    m_dev->Release();
    m_dev = nullptr;
    Make(kWidth, kHeight, D3DSWAPEFFECT_COPY);
    EXPECT_FALSE(InWindow());
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    Present();
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    Quad(0, 0, 64, 8, kRed);
    // The back buffer's top-left quarter, stretched over the window's left half.
    const RECT source = {0, 0, 32, 32};
    ASSERT_EQ(m_dev->Present(&source, &half, nullptr, nullptr), S_OK);
    const std::vector<DWORD> shown = Shown();
    EXPECT_TRUE(Near(shown[2 * kWidth + 5], kRed, 0));
    EXPECT_TRUE(Near(shown[12 * kWidth + 5], kRed, 0));
    EXPECT_TRUE(Near(shown[19 * kWidth + 5], kBlue, 0));
    EXPECT_TRUE(Near(shown[60 * kWidth + 30], kBlue, 0));
    // The back buffer is kept.
    EXPECT_TRUE(Near(Pixel(5, 2), kRed, 0));
}

// A back buffer of another size than the window (full screen over a larger
// desktop) is drawn in its own storage and stretched over the window.
TEST_P(BackBuffer, ABackBufferOfAnotherSizeIsStretchedOverTheWindow)
{
    m_dev->Release();
    m_dev = nullptr;
    Make(32, 32, D3DSWAPEFFECT_DISCARD);
    EXPECT_FALSE(InWindow());
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    Quad(0, 0, 32, 8, kRed);
    Present();
    const std::vector<DWORD> shown = Shown();
    EXPECT_TRUE(Near(shown[2 * kWidth + 5], kRed, 0));
    EXPECT_TRUE(Near(shown[13 * kWidth + 60], kRed, 0));
    EXPECT_TRUE(Near(shown[19 * kWidth + 5], kBlue, 0));
    EXPECT_TRUE(Near(shown[62 * kWidth + 62], kBlue, 0));
    for (int i = 0; i < 40; ++i) Present();
    EXPECT_FALSE(InWindow());
}

INSTANTIATE_TEST_SUITE_P(Paths, BackBuffer, ::testing::Values(Where::Window, Where::Copy),
                         [](const ::testing::TestParamInfo<Where>& i) {
                             return i.param == Where::Window ? "InTheWindow" : "Copied";
                         });

} // namespace
} // namespace d3d9test

namespace d3d9test {
namespace {

d3d9gl::TextureImpl* Impl(IDirect3DTexture9* t) { return static_cast<d3d9gl::TextureImpl*>(t); }

// Textures written since a Present are uploaded after the next one, so that
// what an application loads is uploaded while it loads; one still locked
// waits for the Present after its unlock, and one released meanwhile is
// forgotten.
TEST_F(DeviceTest, TexturesWrittenBeforeAPresentAreUploadedAfterIt)
{
    MakeDevice();
    IDirect3DTexture9* written = SolidTexture(0xFF00FF00);
    IDirect3DTexture9* locked = SolidTexture(0xFF0000FF);
    IDirect3DTexture9* released = SolidTexture(0xFFFF0000);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(locked->LockRect(0, &lr, nullptr, 0), S_OK);
    EXPECT_EQ(released->Release(), 0u);
    EXPECT_TRUE(Impl(written)->NeedsPrepare());
    ASSERT_EQ(m_dev->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_FALSE(Impl(written)->NeedsPrepare());
    EXPECT_TRUE(Impl(locked)->NeedsPrepare());
    ASSERT_EQ(locked->UnlockRect(0), S_OK);
    ASSERT_EQ(m_dev->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_FALSE(Impl(locked)->NeedsPrepare());
    // What was uploaded is what draws.
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    m_dev->BeginScene();
    m_dev->SetTexture(0, written);
    Quad(0, 0, 32, 32, 0xFFFFFFFF);
    m_dev->SetTexture(0, locked);
    Quad(32, 32, 64, 64, 0xFFFFFFFF);
    m_dev->EndScene();
    m_dev->SetTexture(0, nullptr);
    EXPECT_TRUE(Near(Pixel(8, 8), 0xFF00FF00));
    EXPECT_TRUE(Near(Pixel(48, 48), 0xFF0000FF));
    written->Release();
    locked->Release();
}

// So are buffers, but not dynamic ones (written again each frame, they are
// uploaded by the draw that follows).
TEST_F(DeviceTest, StaticBuffersWrittenBeforeAPresentAreUploadedAfterIt)
{
    MakeDevice();
    IDirect3DVertexBuffer9 *vb = nullptr, *dynamic = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(m_dev->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), S_OK);
    ASSERT_EQ(m_dev->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &dynamic, nullptr),
              S_OK);
    ASSERT_EQ(m_dev->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), S_OK);
    void* p = nullptr;
    for (IDirect3DVertexBuffer9* b : {vb, dynamic}) {
        ASSERT_EQ(b->Lock(0, 0, &p, 0), S_OK);
        std::memset(p, 1, 64);
        b->Unlock();
    }
    ASSERT_EQ(ib->Lock(0, 0, &p, 0), S_OK);
    ASSERT_EQ(m_dev->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
    auto* v = static_cast<d3d9gl::VertexBufferImpl*>(vb);
    auto* d = static_cast<d3d9gl::VertexBufferImpl*>(dynamic);
    auto* i = static_cast<d3d9gl::IndexBufferImpl*>(ib);
    EXPECT_NE(v->glBuffer, 0u);
    EXPECT_EQ(v->dirtyLo, v->dirtyHi);
    EXPECT_EQ(d->glBuffer, 0u);
    EXPECT_EQ(i->glBuffer, 0u);  // still locked
    ib->Unlock();
    ASSERT_EQ(m_dev->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_NE(i->glBuffer, 0u);
    vb->Release();
    dynamic->Release();
    ib->Release();
}

} // namespace
} // namespace d3d9test
