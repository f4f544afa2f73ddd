// Pixel coverage of pre-transformed and transformed geometry, clears.
#include "device_fixture.h"

namespace d3d9test {
namespace {

class Pixels : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        MakeDevice();
        m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, kBack, 1.0f, 0);
    }
    static const DWORD kBack = 0xFF000000, kFill = 0xFFFFFFFF;
    // The covered box of the frame: first and last covered column and row.
    void Covered(int& x0, int& y0, int& x1, int& y1)
    {
        std::vector<DWORD> f = Frame();
        x0 = y0 = 1000;
        x1 = y1 = -1;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if ((f[y * kWidth + x] & 0xFFFFFF) != 0) {
                    x0 = std::min(x0, x);
                    y0 = std::min(y0, y);
                    x1 = std::max(x1, x);
                    y1 = std::max(y1, y);
                }
    }
};

struct EdgeCase {
    float x0, y0, x1, y1;
    int cx0, cy0, cx1, cy1;  // covered pixel box
};

class PretransformedEdges : public Pixels, public ::testing::WithParamInterface<EdgeCase> {};

// Pixel centres sit at integer coordinates; the top-left fill rule takes
// a pixel whose centre lies on a left or top edge.
TEST_P(PretransformedEdges, CoverExactlyThePixelsWhoseCentresAreInside)
{
    const EdgeCase& c = GetParam();
    Quad(c.x0, c.y0, c.x1, c.y1, kFill);
    int x0, y0, x1, y1;
    Covered(x0, y0, x1, y1);
    EXPECT_EQ(x0, c.cx0);
    EXPECT_EQ(y0, c.cy0);
    EXPECT_EQ(x1, c.cx1);
    EXPECT_EQ(y1, c.cy1);
}

INSTANTIATE_TEST_SUITE_P(Quads, PretransformedEdges,
                         ::testing::Values(EdgeCase{10, 10, 20, 20, 10, 10, 19, 19},
                                           EdgeCase{-0.5f, -0.5f, 63.5f, 63.5f, 0, 0, 63, 63},
                                           EdgeCase{9.5f, 9.5f, 19.5f, 19.5f, 10, 10, 19, 19},
                                           EdgeCase{10.4f, 10.6f, 12.4f, 12.6f, 11, 11, 12, 12},
                                           EdgeCase{0, 40, 64, 64, 0, 40, 63, 63},
                                           EdgeCase{30, 5, 31, 6, 30, 5, 30, 5}));

TEST_F(Pixels, TransformedFullScreenQuadMatchesTheViewport)
{
    // Clip-space corners (-1, 1) .. (1, -1) cover the whole target; y up is the top row.
    struct V { float x, y, z; DWORD c; } v[4] = {
        {-1, 1, 0.5f, 0xFFFF0000}, {1, 1, 0.5f, 0xFFFF0000}, {-1, 0, 0.5f, 0xFF0000FF}, {1, 0, 0.5f, 0xFF0000FF}};
    m_dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    m_dev->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), S_OK);
    int x0, y0, x1, y1;
    Covered(x0, y0, x1, y1);
    EXPECT_EQ(x0, 0);
    EXPECT_EQ(y0, 0);
    EXPECT_EQ(x1, kWidth - 1);
    EXPECT_EQ(y1, kHeight / 2 - 1);
    // Flat shading takes the first vertex of each triangle.
    EXPECT_TRUE(Near(Pixel(2, 2), 0xFFFF0000, 0));
}

TEST_F(Pixels, ViewportMapsClipSpaceAndBoundsDrawing)
{
    D3DVIEWPORT9 vp = {16, 8, 32, 16, 0.0f, 1.0f};
    ASSERT_EQ(m_dev->SetViewport(&vp), S_OK);
    struct V { float x, y, z; DWORD c; } v[4] = {
        {-2, 2, 0.5f, kFill}, {2, 2, 0.5f, kFill}, {-2, -2, 0.5f, kFill}, {2, -2, 0.5f, kFill}};
    m_dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), S_OK);
    int x0, y0, x1, y1;
    Covered(x0, y0, x1, y1);
    EXPECT_EQ(x0, 16);
    EXPECT_EQ(y0, 8);
    EXPECT_EQ(x1, 47);
    EXPECT_EQ(y1, 23);
    D3DVIEWPORT9 bad = {60, 0, 32, 16, 0.0f, 1.0f};
    EXPECT_EQ(m_dev->SetViewport(&bad), D3DERR_INVALIDCALL);
}

TEST_F(Pixels, ClearWithRectanglesClearsOnlyThemWithinTheViewport)
{
    D3DRECT r[2] = {{2, 2, 6, 6}, {60, 60, 70, 70}};
    ASSERT_EQ(m_dev->Clear(2, r, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), S_OK);
    EXPECT_TRUE(Near(Pixel(2, 2), 0xFF00FF00, 0));
    EXPECT_TRUE(Near(Pixel(5, 5), 0xFF00FF00, 0));
    EXPECT_TRUE(Near(Pixel(6, 6), kBack, 0));
    EXPECT_TRUE(Near(Pixel(63, 63), 0xFF00FF00, 0));
    EXPECT_TRUE(Near(Pixel(59, 59), kBack, 0));
    D3DVIEWPORT9 vp = {0, 0, 32, 32, 0.0f, 1.0f};
    m_dev->SetViewport(&vp);
    ASSERT_EQ(m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), S_OK);
    EXPECT_TRUE(Near(Pixel(31, 31), 0xFF0000FF, 0));
    EXPECT_TRUE(Near(Pixel(32, 32), kBack, 0));
}

struct ClearCase {
    const char* name;
    DWORD count;
    bool rects;
    bool clears;  // the whole viewport
};

class ClearRects : public Pixels, public ::testing::WithParamInterface<ClearCase> {};

TEST_P(ClearRects, CountAndRectanglesTogetherSayWhatIsCleared)
{
    const ClearCase& c = GetParam();
    D3DRECT r[2] = {{0, 0, 64, 64}, {0, 0, 64, 64}};
    ASSERT_EQ(m_dev->Clear(c.count, c.rects ? r : nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), S_OK) << c.name;
    EXPECT_TRUE(Near(Pixel(1, 1), c.clears ? 0xFF00FF00 : kBack, 0)) << c.name;
    EXPECT_TRUE(Near(Pixel(62, 62), c.clears ? 0xFF00FF00 : kBack, 0)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, ClearRects,
                         ::testing::Values(ClearCase{"no count, no rectangles", 0, false, true},
                                           ClearCase{"a count without rectangles clears everything", 1, false, true},
                                           ClearCase{"rectangles without a count clear nothing", 0, true, false},
                                           ClearCase{"a count of rectangles", 2, true, true}));

struct RhwDepthCase {
    BOOL clipping;
    DWORD zenable;
    float z;
    bool drawn;
};

class PretransformedDepth : public Pixels, public ::testing::WithParamInterface<RhwDepthCase> {};

// Pre-transformed vertices outside 0..1 in z are clipped only while clipping
// and the depth test are both on.
TEST_P(PretransformedDepth, OutsideZeroToOneIsClippedOnlyWithClippingAndDepth)
{
    const RhwDepthCase& c = GetParam();
    m_dev->SetRenderState(D3DRS_CLIPPING, c.clipping);
    m_dev->SetRenderState(D3DRS_ZENABLE, c.zenable);
    Quad(0, 0, 16, 16, kFill, c.z);
    EXPECT_EQ(Pixel(8, 8) == kFill, c.drawn) << "clipping " << c.clipping << " zenable " << c.zenable << " z " << c.z;
}

INSTANTIATE_TEST_SUITE_P(Cases, PretransformedDepth,
                         ::testing::Values(RhwDepthCase{TRUE, D3DZB_TRUE, 1.5f, false},
                                           RhwDepthCase{TRUE, D3DZB_TRUE, -0.5f, false},
                                           RhwDepthCase{TRUE, D3DZB_TRUE, 0.5f, true},
                                           RhwDepthCase{FALSE, D3DZB_TRUE, -0.5f, true},
                                           RhwDepthCase{TRUE, D3DZB_FALSE, 1.5f, true},
                                           RhwDepthCase{TRUE, D3DZB_FALSE, -0.5f, true},
                                           RhwDepthCase{FALSE, D3DZB_FALSE, 7.0f, true}));

TEST_F(Pixels, ClearColourIgnoresTheColourWriteMask)
{
    m_dev->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    ASSERT_EQ(m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0), S_OK);
    EXPECT_TRUE(Near(Pixel(1, 1), 0xFF123456, 0));
    // Drawing respects it.
    Quad(0, 0, 8, 8, kFill);
    EXPECT_TRUE(Near(Pixel(1, 1), 0xFF123456, 0));
}

struct DepthFormatCase {
    D3DFORMAT format;
    bool stencil;
};

class ClearFlags : public DeviceTest, public ::testing::WithParamInterface<DepthFormatCase> {};

// A depth format without stencil makes a clear that names the stencil fail
// and leaves the target untouched; the same clear without it succeeds.
TEST_P(ClearFlags, StencilClearNeedsAStencilFormat)
{
    MakeDevice(GetParam().format);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    HRESULT hr = m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF00BFFF, 1.0f, 0);
    if (GetParam().stencil) {
        EXPECT_EQ(hr, S_OK);
        EXPECT_TRUE(Near(Pixel(0, 0), 0xFF00BFFF, 0));
    } else {
        EXPECT_EQ(hr, D3DERR_INVALIDCALL);
        EXPECT_TRUE(Near(Pixel(0, 0), 0xFF000000, 0));
        EXPECT_EQ(m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00BFFF, 1.0f, 0), S_OK);
        EXPECT_TRUE(Near(Pixel(0, 0), 0xFF00BFFF, 0));
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ClearFlags,
                         ::testing::Values(DepthFormatCase{D3DFMT_D24S8, true}, DepthFormatCase{D3DFMT_D24X4S4, true},
                                           DepthFormatCase{D3DFMT_D15S1, true}, DepthFormatCase{D3DFMT_D32, false},
                                           DepthFormatCase{D3DFMT_D24X8, false},
                                           DepthFormatCase{D3DFMT_D16_LOCKABLE, false},
                                           DepthFormatCase{D3DFMT_D16, false}));

TEST_F(DeviceTest, ClearOfAMissingDepthBufferFails)
{
    MakeDevice(D3DFMT_UNKNOWN);
    EXPECT_EQ(m_dev->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), S_OK);
    DWORD z = 99;
    m_dev->GetRenderState(D3DRS_ZENABLE, &z);
    EXPECT_EQ(z, (DWORD)D3DZB_FALSE);
}

} // namespace
} // namespace d3d9test
