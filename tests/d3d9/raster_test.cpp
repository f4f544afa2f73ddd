// Alpha test, blending, depth, culling, stencil, colour mask, points.
#include "device_fixture.h"

namespace d3d9test {
namespace {

class Raster : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        MakeDevice();
        m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        m_dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        m_dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
        m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1.0f, 0);
    }
    bool Drawn(int x, int y) { return (Pixel(x, y) & 0xFFFFFF) != 0; }
};

struct AlphaCase {
    DWORD func;
    int alpha, ref;
    bool passes;
};

class AlphaTest : public Raster, public ::testing::WithParamInterface<AlphaCase> {};

TEST_P(AlphaTest, ComparesAlphaWithTheReferenceIn0To255)
{
    const AlphaCase& c = GetParam();
    m_dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_ALPHAFUNC, c.func);
    m_dev->SetRenderState(D3DRS_ALPHAREF, (DWORD)c.ref);
    Quad(0, 0, 8, 8, ((DWORD)c.alpha << 24) | 0xFFFFFF);
    EXPECT_EQ(Drawn(4, 4), c.passes) << "func " << c.func << " alpha " << c.alpha << " ref " << c.ref;
}

INSTANTIATE_TEST_SUITE_P(
    Funcs, AlphaTest,
    ::testing::Values(AlphaCase{D3DCMP_NEVER, 255, 0, false}, AlphaCase{D3DCMP_ALWAYS, 0, 255, true},
                      AlphaCase{D3DCMP_LESS, 99, 100, true}, AlphaCase{D3DCMP_LESS, 100, 100, false},
                      AlphaCase{D3DCMP_EQUAL, 100, 100, true}, AlphaCase{D3DCMP_EQUAL, 101, 100, false},
                      AlphaCase{D3DCMP_LESSEQUAL, 100, 100, true}, AlphaCase{D3DCMP_LESSEQUAL, 101, 100, false},
                      AlphaCase{D3DCMP_GREATER, 101, 100, true}, AlphaCase{D3DCMP_GREATER, 100, 100, false},
                      AlphaCase{D3DCMP_NOTEQUAL, 99, 100, true}, AlphaCase{D3DCMP_NOTEQUAL, 100, 100, false},
                      AlphaCase{D3DCMP_GREATEREQUAL, 1, 1, true}, AlphaCase{D3DCMP_GREATEREQUAL, 0, 1, false},
                      AlphaCase{D3DCMP_GREATEREQUAL, 255, 255, true}));

struct BlendCase {
    const char* name;
    DWORD src, dst, op;
    DWORD expected;
    D3DFORMAT target = D3DFMT_A8R8G8B8;  // X8R8G8B8: the back buffer
};

// Source 0x80FF8000 over destination 0x400080FF.
class Blending : public Raster, public ::testing::WithParamInterface<BlendCase> {};

TEST_P(Blending, FactorsAndOperations)
{
    const BlendCase& c = GetParam();
    IDirect3DSurface9* back = nullptr;
    IDirect3DSurface9* rt = nullptr;
    m_dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    if (c.target != D3DFMT_X8R8G8B8) {
        ASSERT_EQ(m_dev->CreateRenderTarget(kWidth, kHeight, c.target, D3DMULTISAMPLE_NONE, 0, FALSE, &rt, nullptr),
                  S_OK);
        m_dev->SetRenderTarget(0, rt);
    }
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0x400080FF, 1.0f, 0);
    m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_SRCBLEND, c.src);
    m_dev->SetRenderState(D3DRS_DESTBLEND, c.dst);
    m_dev->SetRenderState(D3DRS_BLENDOP, c.op);
    m_dev->SetRenderState(D3DRS_BLENDFACTOR, 0x40404040);
    Quad(0, 0, 8, 8, 0x80FF8000);
    if (rt) {
        ASSERT_EQ(m_dev->StretchRect(rt, nullptr, back, nullptr, D3DTEXF_POINT), S_OK);
        m_dev->SetRenderTarget(0, back);
        rt->Release();
    }
    back->Release();
    EXPECT_TRUE(Near(Pixel(4, 4), c.expected, 2)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Blending,
    ::testing::Values(
        BlendCase{"one zero", D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0xFFFF8000},
        BlendCase{"zero one", D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLENDOP_ADD, 0xFF0080FF},
        BlendCase{"additive", D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_ADD, 0xFFFFFFFF},
        BlendCase{"srcalpha invsrcalpha", D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, 0xFF80807F},
        BlendCase{"bothsrcalpha ignores the destination factor", D3DBLEND_BOTHSRCALPHA, D3DBLEND_ONE,
                  D3DBLENDOP_ADD, 0xFF80807F},
        BlendCase{"bothinvsrcalpha", D3DBLEND_BOTHINVSRCALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0xFF7F8080},
        BlendCase{"destalpha", D3DBLEND_DESTALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0xFF402000},
        BlendCase{"invdestalpha", D3DBLEND_INVDESTALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0xFFBF6000},
        BlendCase{"destalpha of a target without alpha is 1", D3DBLEND_DESTALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD,
                  0xFFFF8000, D3DFMT_X8R8G8B8},
        BlendCase{"invdestalpha of a target without alpha is 0", D3DBLEND_INVDESTALPHA, D3DBLEND_DESTALPHA,
                  D3DBLENDOP_ADD, 0xFF0080FF, D3DFMT_X8R8G8B8},
        BlendCase{"srcalpha invsrcalpha on the back buffer", D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD,
                  0xFF80807F, D3DFMT_X8R8G8B8},
        BlendCase{"srccolor", D3DBLEND_SRCCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0xFFFF4000},
        BlendCase{"invsrccolor", D3DBLEND_ZERO, D3DBLEND_INVSRCCOLOR, D3DBLENDOP_ADD, 0xFF0040FF},
        BlendCase{"destcolor", D3DBLEND_DESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0xFF004000},
        BlendCase{"invdestcolor", D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0xFFFF4000},
        BlendCase{"blend factor", D3DBLEND_BLENDFACTOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0xFF402000},
        BlendCase{"subtract", D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_SUBTRACT, 0xFFFF0000},
        BlendCase{"revsubtract", D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT, 0xFF0000FF},
        BlendCase{"min", D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MIN, 0xFF008000},
        BlendCase{"max", D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MAX, 0xFFFF80FF}));

TEST_F(Raster, ATargetWithoutAlphaKeepsOneThereWhateverIsDrawn)
{
    // A transparent quad drawn without blending stores no alpha on the back buffer.
    Quad(0, 0, 8, 8, 0x00FF0000);
    m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    m_dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_DESTALPHA);
    Quad(0, 0, 8, 8, 0xFF00FF00);
    EXPECT_TRUE(Near(Pixel(4, 4), 0xFFFF0000, 0));
}

TEST_F(Raster, DepthTestWriteAndFunction)
{
    Quad(0, 0, 16, 16, 0xFFFF0000, 0.5f);
    Quad(0, 0, 16, 16, 0xFF00FF00, 0.7f);  // behind: LESSEQUAL fails
    EXPECT_TRUE(Near(Pixel(4, 4), 0xFFFF0000, 0));
    Quad(0, 0, 16, 16, 0xFF0000FF, 0.5f);  // equal depth passes LESSEQUAL
    EXPECT_TRUE(Near(Pixel(4, 4), 0xFF0000FF, 0));
    m_dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
    Quad(0, 0, 16, 16, 0xFF00FF00, 0.7f);
    EXPECT_TRUE(Near(Pixel(4, 4), 0xFF00FF00, 0));
    // Without depth writes the buffer keeps 0.7.
    m_dev->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    m_dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    Quad(0, 0, 16, 16, 0xFFFFFFFF, 0.6f);
    Quad(0, 0, 16, 16, 0xFFFF00FF, 0.65f);
    EXPECT_TRUE(Near(Pixel(4, 4), 0xFFFF00FF, 0));
    // Depth testing off draws regardless.
    m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    Quad(0, 0, 16, 16, 0xFF123456, 0.99f);
    EXPECT_TRUE(Near(Pixel(4, 4), 0xFF123456, 0));
}

struct CullCase {
    DWORD mode;
    bool clockwiseDrawn, counterClockwiseDrawn;
};

class Culling : public Raster, public ::testing::WithParamInterface<CullCase> {};

// Winding as the triangle appears on the screen, y down.
TEST_P(Culling, ByTheWindingOnScreen)
{
    const CullCase& c = GetParam();
    m_dev->SetRenderState(D3DRS_CULLMODE, c.mode);
    RhwVertex cw[3] = {{2, 2, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {20, 2, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                       {2, 20, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    RhwVertex ccw[3] = {{40, 2, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {40, 20, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                        {58, 2, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    m_dev->SetFVF(kRhwFvf);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof(RhwVertex));
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(RhwVertex));
    EXPECT_EQ(Drawn(5, 5), c.clockwiseDrawn);
    EXPECT_EQ(Drawn(43, 5), c.counterClockwiseDrawn);
    // The same through a projection: world y up, so the screen order is kept.
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    struct V { float x, y, z; DWORD c; } tcw[3] = {
        {-1, 1, 0.5f, 0xFFFFFFFF}, {0, 1, 0.5f, 0xFFFFFFFF}, {-1, 0, 0.5f, 0xFFFFFFFF}};
    m_dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tcw, sizeof(V));
    EXPECT_EQ(Drawn(3, 3), c.clockwiseDrawn);
}

INSTANTIATE_TEST_SUITE_P(Modes, Culling,
                         ::testing::Values(CullCase{D3DCULL_NONE, true, true}, CullCase{D3DCULL_CCW, true, false},
                                           CullCase{D3DCULL_CW, false, true}));

TEST_F(Raster, StencilCountsAndMasks)
{
    m_dev->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    m_dev->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
    Quad(0, 0, 16, 16, 0xFF000000);
    Quad(0, 0, 8, 8, 0xFF000000);
    // Draw where stencil == 2 only.
    m_dev->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    m_dev->SetRenderState(D3DRS_STENCILREF, 2);
    m_dev->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    Quad(0, 0, 32, 32, 0xFFFFFFFF);
    EXPECT_TRUE(Drawn(4, 4));
    EXPECT_FALSE(Drawn(12, 12));
    EXPECT_FALSE(Drawn(20, 20));
}

TEST_F(Raster, ColourWriteMaskAndScissor)
{
    m_dev->SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_BLUE);
    Quad(0, 0, 8, 8, 0xFFFFFFFF);
    EXPECT_TRUE(Near(Pixel(4, 4), 0xFFFF00FF, 0));
    m_dev->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    RECT r = {20, 20, 24, 22};
    m_dev->SetScissorRect(&r);
    m_dev->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    Quad(0, 0, 64, 64, 0xFF00FF00);
    EXPECT_TRUE(Drawn(20, 20));
    EXPECT_TRUE(Drawn(23, 21));
    EXPECT_FALSE(Drawn(24, 21));
    EXPECT_FALSE(Drawn(20, 22));
    EXPECT_FALSE(Drawn(4, 4) && (Pixel(4, 4) & 0xFF00) != 0);
}

TEST_F(Raster, WireframeDrawsEdgesOnly)
{
    m_dev->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    Quad(4, 4, 40, 40, 0xFFFFFFFF);
    EXPECT_TRUE(Drawn(20, 4));
    EXPECT_FALSE(Drawn(30, 12));
}

struct PointCase {
    const char* name;
    float size;
    bool scale;
    float a, b, c;
    float eyeDistance;
    int expectedSide;
    float minSize;  // POINTSIZE_MIN
};

class Points : public Raster, public ::testing::WithParamInterface<PointCase> {};

// The side of the square a point covers, from POINTSIZE, the scale factors
// and POINTSIZE_MIN/MAX.
TEST_P(Points, SpriteSizes)
{
    const PointCase& c = GetParam();
    D3DMATRIX persp = PerspectiveFovLH(1.5707964f, 1.0f, 0.5f, 100.0f);
    m_dev->SetTransform(D3DTS_PROJECTION, &persp);
    m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    m_dev->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_POINTSCALEENABLE, c.scale);
    m_dev->SetRenderState(D3DRS_POINTSIZE, Bits(c.size));
    m_dev->SetRenderState(D3DRS_POINTSIZE_MIN, Bits(c.minSize));
    m_dev->SetRenderState(D3DRS_POINTSIZE_MAX, Bits(20.0f));
    m_dev->SetRenderState(D3DRS_POINTSCALE_A, Bits(c.a));
    m_dev->SetRenderState(D3DRS_POINTSCALE_B, Bits(c.b));
    m_dev->SetRenderState(D3DRS_POINTSCALE_C, Bits(c.c));
    // Centred between pixels 31 and 32 so that an even size covers whole pixels.
    struct V { float x, y, z; DWORD col; } p = {-0.5f / 32 * c.eyeDistance, 0.5f / 32 * c.eyeDistance,
                                               c.eyeDistance, 0xFFFFFFFF};
    m_dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &p, sizeof(V)), S_OK);
    std::vector<DWORD> f = Frame();
    int count = 0;
    for (int x = 0; x < kWidth; ++x) count += (f[31 * kWidth + x] & 0xFFFFFF) != 0;
    EXPECT_EQ(count, c.expectedSide) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Points,
    ::testing::Values(PointCase{"fixed 8", 8, false, 1, 0, 0, 4, 8, 0},
                      PointCase{"fixed, clamped to max", 40, false, 1, 0, 0, 4, 20, 0},
                      PointCase{"fixed, raised to min", 2, false, 1, 0, 0, 4, 6, 6.0f},
                      // Scaled: viewport height 64 x size x sqrt(1 / (A + B d + C d^2)).
                      PointCase{"scaled by A", 0.125f, true, 1, 0, 0, 4, 8, 0},
                      PointCase{"scaled by C at distance 2", 0.25f, true, 0, 0, 1, 2, 8, 0},
                      PointCase{"scaled by B at distance 4", 0.25f, true, 0, 1, 0, 4, 8, 0},
                      PointCase{"scaled by A, B and C together", 0.5f, true, 6, 3, 1, 2, 8, 0},
                      PointCase{"scaled, then raised to min", 0.0625f, true, 1, 0, 0, 4, 6, 6.0f},
                      PointCase{"scaled, then clamped to max", 1.0f, true, 1, 0, 0, 4, 20, 0},
                      PointCase{"not scaled: the distance does not count", 8, false, 0, 0, 1, 16, 8, 0}));

TEST_F(Raster, PointSpriteTextureCoordinatesRunFromTheTopLeft)
{
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(m_dev->CreateTexture(2, 2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), S_OK);
    D3DLOCKED_RECT lr;
    t->LockRect(0, &lr, nullptr, 0);
    ((DWORD*)lr.pBits)[0] = 0xFFFF0000;
    ((DWORD*)lr.pBits)[1] = 0xFF00FF00;
    ((DWORD*)((uint8_t*)lr.pBits + lr.Pitch))[0] = 0xFF0000FF;
    ((DWORD*)((uint8_t*)lr.pBits + lr.Pitch))[1] = 0xFFFFFFFF;
    t->UnlockRect(0);
    m_dev->SetTexture(0, t);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_dev->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_POINTSIZE, Bits(16.0f));
    RhwVertex p = {31.5f, 31.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0};
    m_dev->SetFVF(kRhwFvf);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &p, sizeof(RhwVertex)), S_OK);
    EXPECT_TRUE(Near(Pixel(26, 26), 0xFFFF0000, 0));
    EXPECT_TRUE(Near(Pixel(37, 26), 0xFF00FF00, 0));
    EXPECT_TRUE(Near(Pixel(26, 37), 0xFF0000FF, 0));
    m_dev->SetTexture(0, nullptr);
    t->Release();
}

} // namespace
} // namespace d3d9test

namespace d3d9test {
namespace {

TEST_F(Raster, TwoSidedStencilUsesTheCounterClockwiseOpsForBackFaces)
{
    m_dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    m_dev->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, TRUE);
    m_dev->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    m_dev->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
    m_dev->SetRenderState(D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS);
    m_dev->SetRenderState(D3DRS_CCW_STENCILPASS, D3DSTENCILOP_REPLACE);
    m_dev->SetRenderState(D3DRS_STENCILREF, 5);
    RhwVertex cw[3] = {{0, 0, 0.5f, 1, 0, 0, 0}, {32, 0, 0.5f, 1, 0, 0, 0}, {0, 32, 0.5f, 1, 0, 0, 0}};
    RhwVertex ccw[3] = {{32, 32, 0.5f, 1, 0, 0, 0}, {32, 64, 0.5f, 1, 0, 0, 0}, {64, 32, 0.5f, 1, 0, 0, 0}};
    m_dev->SetFVF(kRhwFvf);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof(RhwVertex));   // stencil 1
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(RhwVertex));  // stencil 5
    m_dev->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, FALSE);
    m_dev->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    m_dev->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    m_dev->SetRenderState(D3DRS_STENCILREF, 1);
    Quad(0, 0, 64, 64, 0xFFFF0000);
    m_dev->SetRenderState(D3DRS_STENCILREF, 5);
    Quad(0, 0, 64, 64, 0xFF00FF00);
    EXPECT_TRUE(Near(Pixel(4, 4), 0xFFFF0000, 0));
    EXPECT_TRUE(Near(Pixel(36, 36), 0xFF00FF00, 0));
}

} // namespace
} // namespace d3d9test

namespace d3d9test {
namespace {

struct StencilCase {
    const char* name;
    DWORD func, ref, mask, writeMask;
    DWORD passOp, failOp, zfailOp;
    DWORD initial;
    bool behind;  // the quad fails the depth test
    bool drawn;
    DWORD expected;  // stencil value afterwards
};

class StencilOps : public Raster, public ::testing::WithParamInterface<StencilCase> {};

// One quad with the case's test and operations over a cleared stencil; the
// value left is found by drawing where it equals the expected one.
TEST_P(StencilOps, TestAndOperationsGiveTheDirect3DValue)
{
    const StencilCase& c = GetParam();
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 0.5f, c.initial);
    m_dev->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_STENCILFUNC, c.func);
    m_dev->SetRenderState(D3DRS_STENCILREF, c.ref);
    m_dev->SetRenderState(D3DRS_STENCILMASK, c.mask);
    m_dev->SetRenderState(D3DRS_STENCILWRITEMASK, c.writeMask);
    m_dev->SetRenderState(D3DRS_STENCILPASS, c.passOp);
    m_dev->SetRenderState(D3DRS_STENCILFAIL, c.failOp);
    m_dev->SetRenderState(D3DRS_STENCILZFAIL, c.zfailOp);
    Quad(0, 0, 16, 16, 0xFFFF0000, c.behind ? 0.75f : 0.25f);
    EXPECT_EQ(Drawn(8, 8), c.drawn) << c.name;
    m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    m_dev->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    m_dev->SetRenderState(D3DRS_STENCILREF, c.expected);
    m_dev->SetRenderState(D3DRS_STENCILMASK, 0xFF);
    m_dev->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    m_dev->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Quad(0, 0, 16, 16, 0xFF00FF00);
    EXPECT_TRUE(Near(Pixel(8, 8), 0xFF00FF00, 0)) << c.name << ": stencil is not " << c.expected;
}

const DWORD kAll = 0xFFFFFFFF;
INSTANTIATE_TEST_SUITE_P(
    Cases, StencilOps,
    ::testing::Values(
        StencilCase{"always replace", D3DCMP_ALWAYS, 5, kAll, kAll, D3DSTENCILOP_REPLACE, D3DSTENCILOP_KEEP,
                    D3DSTENCILOP_KEEP, 0, false, true, 5},
        StencilCase{"never: the fail operation", D3DCMP_NEVER, 5, kAll, kAll, D3DSTENCILOP_REPLACE,
                    D3DSTENCILOP_ZERO, D3DSTENCILOP_KEEP, 7, false, false, 0},
        StencilCase{"equal under the read mask", D3DCMP_EQUAL, 0x13, 0x0F, kAll, D3DSTENCILOP_INCR,
                    D3DSTENCILOP_KEEP, D3DSTENCILOP_KEEP, 0x03, false, true, 0x04},
        StencilCase{"less: the reference below the stored value passes", D3DCMP_LESS, 3, kAll, kAll,
                    D3DSTENCILOP_DECR, D3DSTENCILOP_KEEP, D3DSTENCILOP_KEEP, 5, false, true, 4},
        StencilCase{"greater fails and inverts", D3DCMP_GREATER, 3, kAll, kAll, D3DSTENCILOP_KEEP,
                    D3DSTENCILOP_INVERT, D3DSTENCILOP_KEEP, 5, false, false, 0xFA},
        StencilCase{"incrsat holds at 255", D3DCMP_ALWAYS, 0, kAll, kAll, D3DSTENCILOP_INCRSAT, D3DSTENCILOP_KEEP,
                    D3DSTENCILOP_KEEP, 255, false, true, 255},
        StencilCase{"incr wraps at 255", D3DCMP_ALWAYS, 0, kAll, kAll, D3DSTENCILOP_INCR, D3DSTENCILOP_KEEP,
                    D3DSTENCILOP_KEEP, 255, false, true, 0},
        StencilCase{"decrsat holds at 0", D3DCMP_ALWAYS, 0, kAll, kAll, D3DSTENCILOP_DECRSAT, D3DSTENCILOP_KEEP,
                    D3DSTENCILOP_KEEP, 0, false, true, 0},
        StencilCase{"decr wraps at 0", D3DCMP_ALWAYS, 0, kAll, kAll, D3DSTENCILOP_DECR, D3DSTENCILOP_KEEP,
                    D3DSTENCILOP_KEEP, 0, false, true, 255},
        StencilCase{"the write mask keeps the other bits", D3DCMP_ALWAYS, 0xFF, kAll, 0x0F, D3DSTENCILOP_REPLACE,
                    D3DSTENCILOP_KEEP, D3DSTENCILOP_KEEP, 0x30, false, true, 0x3F},
        StencilCase{"a depth failure takes the z-fail operation", D3DCMP_ALWAYS, 9, kAll, kAll,
                    D3DSTENCILOP_ZERO, D3DSTENCILOP_ZERO, D3DSTENCILOP_REPLACE, 1, true, false, 9}));

struct CullWorldCase {
    const char* name;
    DWORD mode;
    bool mirrored;   // a world matrix with a negative scale
    bool twoSided;   // two-sided stencil counting the faces drawn
    bool drawn;
    DWORD stencil;
};

class CullingTransformed : public Raster, public ::testing::WithParamInterface<CullWorldCase> {};

// A triangle clockwise in the world: the winding on the screen decides, so a
// mirroring world matrix turns it around; two-sided stencil takes the
// counter-clockwise operations for what then faces away.
TEST_P(CullingTransformed, TheWindingOnTheScreenDecides)
{
    const CullWorldCase& c = GetParam();
    D3DMATRIX world = c.mirrored ? Scaling(-1, 1, 1) : Identity();
    m_dev->SetTransform(D3DTS_WORLD, &world);
    m_dev->SetRenderState(D3DRS_CULLMODE, c.mode);
    m_dev->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, c.twoSided);
    m_dev->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    m_dev->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
    m_dev->SetRenderState(D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS);
    m_dev->SetRenderState(D3DRS_CCW_STENCILPASS, D3DSTENCILOP_REPLACE);
    m_dev->SetRenderState(D3DRS_STENCILREF, 7);
    // Clockwise on the screen (y up in the world), and symmetric about x = 0, so
    // that the mirror covers the same pixels wound the other way.
    struct V { float x, y, z; DWORD c; } t[3] = {
        {-1, -1, 0.5f, 0xFFFFFFFF}, {0, 1, 0.5f, 0xFFFFFFFF}, {1, -1, 0.5f, 0xFFFFFFFF}};
    m_dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, t, sizeof(V)), S_OK);
    EXPECT_EQ(Drawn(32, 48), c.drawn) << c.name;
    m_dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    m_dev->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, FALSE);
    m_dev->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    m_dev->SetRenderState(D3DRS_STENCILREF, c.stencil);
    m_dev->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Quad(0, 0, 64, 64, 0xFF00FF00);
    EXPECT_TRUE(Near(Pixel(32, 48), 0xFF00FF00, 0)) << c.name << ": stencil is not " << c.stencil;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CullingTransformed,
    ::testing::Values(
        CullWorldCase{"counter-clockwise culling keeps it", D3DCULL_CCW, false, false, true, 1},
        CullWorldCase{"clockwise culling removes it", D3DCULL_CW, false, false, false, 0},
        CullWorldCase{"a mirrored world turns it counter-clockwise", D3DCULL_CCW, true, false, false, 0},
        CullWorldCase{"and clockwise culling keeps it then", D3DCULL_CW, true, false, true, 1},
        CullWorldCase{"two-sided: the front takes the clockwise operation", D3DCULL_NONE, false, true, true, 1},
        CullWorldCase{"two-sided: the back takes the counter-clockwise one", D3DCULL_NONE, true, true, true, 7}));

} // namespace
} // namespace d3d9test
