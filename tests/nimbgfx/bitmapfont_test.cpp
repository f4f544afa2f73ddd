// The bitmap font: glyph atlas, extents, batching, and where its pixels land
// on the real device (screen text and text in the world).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <utility>

#include <d3dx9.h>

#include "bitmapfont.h"
#include "bmp_file.h"
#include "renderer_device.h"

namespace {

// Coverage (0-15) of a texel of the font's texture, level 0.
class GlyphTexels {
public:
    explicit GlyphTexels(const BitmapFont& font)
    {
        IDirect3DSurface9* s = nullptr;
        font.m_pTexture->GetSurfaceLevel(0, &s);
        D3DSURFACE_DESC desc;
        s->GetDesc(&desc);
        s->Release();
        w_ = desc.Width;
        h_ = desc.Height;
        alpha_.assign((size_t)w_ * h_, 0);
        D3DLOCKED_RECT lr;
        if (FAILED(font.m_pTexture->LockRect(0, &lr, nullptr, D3DLOCK_READONLY)))
            return;
        for (UINT y = 0; y < h_; y++) {
            const BYTE* row = static_cast<const BYTE*>(lr.pBits) + y * lr.Pitch;
            for (UINT x = 0; x < w_; x++) {
                unsigned a = 0;
                if (desc.Format == D3DFMT_A4R4G4B4)
                    a = reinterpret_cast<const WORD*>(row)[x] >> 12;
                else if (desc.Format == D3DFMT_A8R8G8B8)
                    a = row[x * 4 + 3] >> 4;
                alpha_[(size_t)y * w_ + x] = (unsigned char)a;
            }
        }
        font.m_pTexture->UnlockRect(0);
    }
    unsigned At(UINT x, UINT y) const { return alpha_[(size_t)y * w_ + x]; }

private:
    UINT w_ = 0, h_ = 0;
    std::vector<unsigned char> alpha_;
};

// Texel rectangle of a code's cell.
struct Cell {
    int left, top, right, bottom;
};
Cell CellOf(const BitmapFont& f, unsigned char c)
{
    return {(int)std::lround(f.m_texCoords[c][0] * f.m_texWidth), (int)std::lround(f.m_texCoords[c][1] * f.m_texHeight),
            (int)std::lround(f.m_texCoords[c][2] * f.m_texWidth), (int)std::lround(f.m_texCoords[c][3] * f.m_texHeight)};
}

bool SameCell(const BitmapFont& f, unsigned char a, unsigned char b)
{
    return std::equal(f.m_texCoords[a], f.m_texCoords[a] + 4, f.m_texCoords[b]);
}

int InkTexels(const BitmapFont& f, const GlyphTexels& t, unsigned char c)
{
    Cell cell = CellOf(f, c);
    int n = 0;
    for (int y = cell.top; y < cell.bottom; y++)
        for (int x = cell.left; x < cell.right; x++)
            n += t.At(x, y) > 0;
    return n;
}

const unsigned char kExtra[] = {225, 233, 237, 243, 250, 193, 201, 205, 211, 218,
                                241, 209, 191, 161, 128, 186, 170, 172, 252, 220};

struct SideCase {
    DWORD height;
    DWORD side;
};

class FontAtlas : public ::testing::TestWithParam<SideCase> {};

// The texture side follows the height and every cell lies inside it.
TEST_P(FontAtlas, SideFollowsHeightAndEveryCellFits)
{
    ScratchFolder folder;
    TestDevice dev(DeviceKind::Fake, false, false);
    ASSERT_TRUE(dev.ok());
    BitmapFont font("Arial", GetParam().height, FontBold);
    ASSERT_EQ(font.InitDeviceObjects(dev.device()), S_OK);
    EXPECT_EQ(font.m_texWidth, font.m_texHeight);
    // The show's face fits the side its height picks; growing is for faces
    // that do not (below).
    EXPECT_EQ(font.m_texWidth, GetParam().side);
    EXPECT_EQ(font.m_textScale, 1.0f);
    for (int c = 0; c < 256; c++) {
        for (int i = 0; i < 4; i++) {
            EXPECT_GE(font.m_texCoords[c][i], 0.0f) << c;
            EXPECT_LE(font.m_texCoords[c][i], 1.0f) << c;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Heights, FontAtlas,
                         ::testing::Values(SideCase{13, 256}, SideCase{14, 512}, SideCase{24, 512},
                                           SideCase{27, 512}, SideCase{28, 1024}, SideCase{55, 1024},
                                           SideCase{56, 2048}, SideCase{110, 2048}, SideCase{111, 4096}),
                         [](const ::testing::TestParamInfo<SideCase>& i) {
                             return "H" + std::to_string(i.param.height);
                         });

// A wide face whose glyph rows would run past the texture the height picks.
TEST(FontOnFake, RowsPastTheTextureMakeItGrow)
{
    ScratchFolder folder;
    TestDevice dev(DeviceKind::Fake, false, false);
    ASSERT_TRUE(dev.ok());
    BitmapFont font("DejaVu Sans", 55, 0);
    ASSERT_EQ(font.InitDeviceObjects(dev.device()), S_OK);
    EXPECT_EQ(font.m_texWidth, 2048u);
    EXPECT_EQ(font.m_textScale, 1.0f);
    GlyphTexels texels(font);
    for (int c = 33; c < 127; c++) {
        EXPECT_LE(font.m_texCoords[c][3], 1.0f) << c;
        EXPECT_GT(InkTexels(font, texels, (unsigned char)c), 0) << c;
    }
    for (unsigned char c : kExtra)
        EXPECT_GT(InkTexels(font, texels, c), 0) << (int)c;
}

// Where the device allows no larger texture, the glyphs that do not fit
// show the space's cell; nothing lies outside the texture.
TEST(FontOnFake, GlyphsPastTheLargestTextureShowTheSpace)
{
    ScratchFolder folder;
    TestDevice dev(DeviceKind::Fake, false, false);
    ASSERT_TRUE(dev.ok());
    dev.fake()->Caps().MaxTextureWidth = 1024;
    dev.fake()->Caps().MaxTextureHeight = 1024;
    BitmapFont font("DejaVu Sans", 55, 0);
    ASSERT_EQ(font.InitDeviceObjects(dev.device()), S_OK);
    EXPECT_EQ(font.m_texWidth, 1024u);
    int blank = 0;
    for (int c = 0; c < 256; c++) {
        for (int i = 0; i < 4; i++) {
            EXPECT_GE(font.m_texCoords[c][i], 0.0f) << c;
            EXPECT_LE(font.m_texCoords[c][i], 1.0f) << c;
        }
        if (c > 32 && c < 127)
            blank += SameCell(font, (unsigned char)c, ' ');
    }
    for (unsigned char c : kExtra)
        blank += SameCell(font, c, ' ');
    EXPECT_GT(blank, 0);
    EXPECT_TRUE(SameCell(font, 220, ' '));  // painted last
    EXPECT_FALSE(SameCell(font, 'A', ' '));
}

TEST(FontOnFake, SmallMaximumTextureWidthScalesTheFontDown)
{
    ScratchFolder folder;
    TestDevice dev(DeviceKind::Fake, false, false);
    ASSERT_TRUE(dev.ok());
    dev.fake()->Caps().MaxTextureWidth = 2048;
    BitmapFont big("Arial", 200, 0);
    ASSERT_EQ(big.InitDeviceObjects(dev.device()), S_OK);
    EXPECT_EQ(big.m_texWidth, 2048u);
    EXPECT_EQ(big.m_texHeight, 2048u);
    EXPECT_EQ(big.m_textScale, 0.5f);

    BitmapFont half("Arial", 100, 0);
    ASSERT_EQ(half.InitDeviceObjects(dev.device()), S_OK);
    SIZE a, b;
    big.GetTextExtent("Hg", &a);
    half.GetTextExtent("Hg", &b);
    EXPECT_NEAR(a.cy, b.cy, 2);  // rasterised at half the pixel height
}

TEST(FontOnFake, CodesWithoutGlyphShareTheSpaceCell)
{
    ScratchFolder folder;
    TestDevice dev(DeviceKind::Fake, false, false);
    ASSERT_TRUE(dev.ok());
    BitmapFont font("Arial", 24, FontBold | FontZEnable);
    ASSERT_EQ(font.InitDeviceObjects(dev.device()), S_OK);
    GlyphTexels texels(font);
    for (int c : {0, 10, 31, 127, 129, 130, 160, 255})
        EXPECT_TRUE(SameCell(font, (unsigned char)c, ' ')) << c;
    EXPECT_EQ(InkTexels(font, texels, ' '), 0);
    for (int c = 33; c < 127; c++)
        EXPECT_GT(InkTexels(font, texels, (unsigned char)c), 0) << c;
    for (unsigned char c : kExtra) {
        EXPECT_FALSE(SameCell(font, c, ' ')) << (int)c;
        EXPECT_GT(InkTexels(font, texels, c), 0) << (int)c;
    }
    // Accented letters are not their plain letters.
    EXPECT_NE(InkTexels(font, texels, 225), InkTexels(font, texels, 'a'));
}

// The glyph margin is the ceiling of a single-precision product: 50 * 0.3f
// lies just above 15, while 10 and 20 times 0.3f round back to 3 and 6.
TEST(FontOnFake, SpacingIsTheCeilingOfTheSinglePrecisionProduct)
{
    const struct {
        LONG cell;
        DWORD spacing;
    } cases[] = {{0, 0}, {1, 1}, {10, 3}, {13, 4}, {16, 5}, {20, 6}, {50, 16}};
    for (const auto& c : cases)
        EXPECT_EQ(GlyphSpacing(c.cell), c.spacing) << c.cell;

    ScratchFolder folder;
    TestDevice dev(DeviceKind::Fake, false, false);
    ASSERT_TRUE(dev.ok());
    BitmapFont font("Arial", 24, FontBold);
    ASSERT_EQ(font.InitDeviceObjects(dev.device()), S_OK);
    Cell space = CellOf(font, ' ');
    EXPECT_EQ(font.m_spacing, GlyphSpacing(space.bottom - space.top));
}

TEST(FontOnFake, ExtentsCountTheLineBreakAsASpace)
{
    ScratchFolder folder;
    TestDevice dev(DeviceKind::Fake, false, false);
    ASSERT_TRUE(dev.ok());
    BitmapFont font("Arial", 24, FontBold);
    ASSERT_EQ(font.InitDeviceObjects(dev.device()), S_OK);
    auto advance = [&](unsigned char c) {
        return (font.m_texCoords[c][2] - font.m_texCoords[c][0]) * font.m_texWidth - 2.0f * font.m_spacing;
    };
    float row = (font.m_texCoords[32][3] - font.m_texCoords[32][1]) * font.m_texHeight;
    SIZE text, line;
    ASSERT_EQ(font.GetTextExtent("W\nW", &text), S_OK);
    ASSERT_EQ(font.GetLineExtent("W\nW", &line), S_OK);
    EXPECT_EQ(text.cy, (LONG)(2 * row));
    EXPECT_EQ(text.cx, (LONG)(advance(' ') + advance('W')));
    EXPECT_EQ(line.cx, (LONG)advance('W'));
    EXPECT_EQ(line.cy, (LONG)row);
    EXPECT_EQ(font.GetTextExtent(nullptr, &text), E_FAIL);
    EXPECT_EQ(font.GetLineExtent("x", nullptr), E_FAIL);
}

TEST(FontOnFake, LongTextIsDrawnInBatchesAndStatesComeBack)
{
    ScratchFolder folder;
    TestDevice dev(DeviceKind::Fake, false, false);
    ASSERT_TRUE(dev.ok());
    BitmapFont font("Arial", 13, FontBold);
    ASSERT_EQ(font.InitDeviceObjects(dev.device()), S_OK);
    ASSERT_EQ(font.RestoreDeviceObjects(), S_OK);
    FakeDevice* fd = dev.fake()->LastDevice();
    const FakeStates before = fd->States();

    dev.device()->BeginScene();
    dev.fake()->ClearLog();
    EXPECT_EQ(font.DrawTextScaled(-1.0f, -1.0f, 0.0f, 0.05f, 0.05f, 0xFFFFFFFF, "", 0), S_OK);
    EXPECT_EQ(dev.fake()->Count("DrawPrimitive"), 0u);

    std::string text(51, 'x');
    text.insert(10, " ");  // spaces write no quad
    EXPECT_EQ(font.DrawTextScaled(-1.0f, -1.0f, 0.0f, 0.05f, 0.05f, 0xFFFFFFFF, text.c_str(), TextFiltered), S_OK);
    std::vector<const FakeCall*> draws = dev.fake()->Find("DrawPrimitive");
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0]->Arg("PrimitiveCount"), 100u);
    EXPECT_EQ(draws[1]->Arg("PrimitiveCount"), 2u);
    // What the text turned on during the draws is off again afterwards.
    EXPECT_EQ(dev.fake()->Draws()[0].renderStates[D3DRS_ALPHABLENDENABLE], (DWORD)TRUE);
    EXPECT_EQ(fd->States().rs, before.rs);
    EXPECT_EQ(fd->States().samp[0], before.samp[0]);
    EXPECT_EQ(fd->States().tss[0], before.tss[0]);
    dev.device()->EndScene();
    EXPECT_TRUE(dev.fake()->Problems().empty()) << ::testing::PrintToString(dev.fake()->Problems());
}

TEST(FontOnFake, TextAtAPointMovesTheCallersMatrixAndScalesTheWorld)
{
    ScratchFolder folder;
    TestDevice dev(DeviceKind::Fake, false, false);
    ASSERT_TRUE(dev.ok());
    BitmapFont font("Arial", 24, FontBold | FontZEnable);
    ASSERT_EQ(font.InitDeviceObjects(dev.device()), S_OK);
    ASSERT_EQ(font.RestoreDeviceObjects(), S_OK);
    D3DXMATRIX m;
    D3DXMatrixRotationY(&m, 0.5f);
    m._41 = 100.0f;
    D3DXMATRIX rotation = m;
    dev.device()->BeginScene();
    EXPECT_EQ(font.Render3DTextAt("Nombre", 1.0f, 2.0f, 3.0f, 2.0f, &m), S_OK);
    dev.device()->EndScene();
    EXPECT_EQ(m._41, 1.0f);
    EXPECT_EQ(m._42, 2.0f);
    EXPECT_EQ(m._43, 3.0f);
    EXPECT_EQ(m._11, rotation._11);
    const D3DMATRIX& world = dev.fake()->LastDevice()->Transform(D3DTS_WORLD);
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(world.m[r][c], 0.4f * rotation.m[r][c], 1e-6f) << r << c;
    EXPECT_EQ(world._41, 1.0f);
    EXPECT_EQ(world._43, 3.0f);
    ASSERT_FALSE(dev.fake()->Draws().empty());
    const FakeDraw& draw = dev.fake()->Draws().back();
    EXPECT_EQ(draw.fvf, (DWORD)(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    EXPECT_EQ(draw.renderStates[D3DRS_ZENABLE], (DWORD)TRUE);
    EXPECT_EQ(draw.stageStates[0][D3DTSS_COLOROP], (DWORD)D3DTOP_MODULATE);
}

TEST(FontOnFake, DrawingWithoutDeviceObjectsFails)
{
    BitmapFont font("Arial", 13, 0);
    EXPECT_EQ(font.DrawTextScaled(0, 0, 0, 0.1f, 0.1f, 0xFFFFFFFF, "x", 0), E_FAIL);
    EXPECT_EQ(font.Render3DText("x", 0), E_FAIL);
    EXPECT_EQ(font.DrawText(0, 0, 0xFFFFFFFF, "x", 0), E_FAIL);
}

// ---- Pixels on the real device --------------------------------------------

using PixelSet = std::set<std::pair<int, int>>;

class FontPixels : public ::testing::Test {
protected:
    void SetUp() override
    {
        dev_.reset(new TestDevice(DeviceKind::Real, false, false));
        ASSERT_TRUE(dev_->ok());
        font_.reset(new BitmapFont("Arial", 24, FontBold));
        ASSERT_EQ(font_->InitDeviceObjects(dev_->device()), S_OK);
        ASSERT_EQ(font_->RestoreDeviceObjects(), S_OK);
        texels_.reset(new GlyphTexels(*font_));
    }
    void TearDown() override
    {
        font_.reset();
        dev_.reset();
    }

    // Clears, runs `draw` inside a scene, presents and reads the frame back.
    template <class F> BmpImage Frame(F draw)
    {
        IDirect3DDevice9* d = dev_->device();
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00BFFF, 1.0f, 0);
        d->BeginScene();
        draw();
        d->EndScene();
        d->Present(nullptr, nullptr, nullptr, nullptr);
        dev_->gfx()->SaveBackBuffer("frame.bmp");
        BmpImage img;
        EXPECT_TRUE(ReadBmp("frame.bmp", &img));
        return img;
    }

    static PixelSet Ink(const BmpImage& img)
    {
        PixelSet out;
        for (int y = 0; y < img.height; y++)
            for (int x = 0; x < img.width; x++)
                if (((img.At(x, y) >> 16) & 0xFF) > 0)  // the background has no red
                    out.insert({x, y});
        return out;
    }

    // Where the ink of the text's glyphs must land when texels map one to
    // one on pixels, the first glyph's cell starting at (x0, y0).
    PixelSet Expected(const char* text, int x0, int y0, int lineStep, bool yUp)
    {
        PixelSet out;
        int px = x0, py = y0;
        for (const unsigned char* p = (const unsigned char*)text; *p; p++) {
            if (*p == '\n') {
                px = x0;
                py += lineStep;
            }
            Cell c = CellOf(*font_, *p);
            if (*p != ' ') {
                for (int ty = c.top; ty < c.bottom; ty++)
                    for (int tx = c.left; tx < c.right; tx++)
                        if (texels_->At(tx, ty) > 0)
                            out.insert({px + tx - c.left, yUp ? py - (c.bottom - 1 - ty) : py + ty - c.top});
            }
            px += c.right - c.left - 2 * (int)font_->m_spacing;
        }
        return out;
    }

    static size_t Mismatches(const PixelSet& a, const PixelSet& b)
    {
        size_t n = 0;
        for (const auto& p : a)
            n += b.count(p) == 0;
        for (const auto& p : b)
            n += a.count(p) == 0;
        return n;
    }

    float RowHeight() const
    {
        return (font_->m_texCoords[32][3] - font_->m_texCoords[32][1]) * font_->m_texHeight;
    }

    ScratchFolder folder_;
    std::unique_ptr<TestDevice> dev_;
    std::unique_ptr<BitmapFont> font_;
    std::unique_ptr<GlyphTexels> texels_;
};

TEST_F(FontPixels, ScreenTextLandsWhereThePlacementSays)
{
    const float W = TestDevice::kClientWidth, H = TestDevice::kClientHeight;
    const float scale = RowHeight() / H;  // one texel per pixel
    const int x0 = 20, y0 = 30;
    // The pen starts one margin left of x, so that x is the glyph's own edge.
    const float x = 2.0f * (x0 + font_->m_spacing) / W - 1.0f;
    const float y = 2.0f * y0 / H - 1.0f;
    const char* text = "Hola\xE1\x80\xD1?\n\xBF\xFC" "e\x81";
    BmpImage img = Frame([&] {
        EXPECT_EQ(font_->DrawTextScaled(x, y, 0.0f, scale, scale, 0xFFFFFFFF, text, 0), S_OK);
    });
    PixelSet ink = Ink(img);
    PixelSet expected = Expected(text, x0, y0, (int)std::lround(RowHeight()), false);
    ASSERT_GT(expected.size(), 100u);
    EXPECT_EQ(Mismatches(ink, expected), 0u) << "ink " << ink.size() << " expected " << expected.size();
}

TEST_F(FontPixels, CentredScreenTextIgnoresItsPosition)
{
    const float H = TestDevice::kClientHeight;
    const float scale = RowHeight() / H;
    BmpImage a = Frame([&] {
        font_->DrawTextScaled(-0.9f, 0.4f, 0.0f, scale, scale, 0xFFFFFFFF, "Centro", TextCenterX | TextCenterY);
    });
    BmpImage b = Frame([&] {
        font_->DrawTextScaled(0.5f, -0.7f, 0.0f, scale, scale, 0xFFFFFFFF, "Centro", TextCenterX | TextCenterY);
    });
    PixelSet ia = Ink(a), ib = Ink(b);
    ASSERT_FALSE(ia.empty());
    EXPECT_EQ(ia, ib);
    int minX = 1 << 20, maxX = -1;
    for (const auto& p : ia) {
        minX = std::min(minX, p.first);
        maxX = std::max(maxX, p.first);
    }
    EXPECT_NEAR((minX + maxX) / 2.0, TestDevice::kClientWidth / 2.0, 4.0);
}

TEST_F(FontPixels, WorldTextLandsWhereThePlacementSays)
{
    const float W = TestDevice::kClientWidth, H = TestDevice::kClientHeight;
    const int left = 40, baseline = 150;  // pixel column of the first cell, pixel row below it
    IDirect3DDevice9* d = dev_->device();
    // Ten pixels per unit, y up; texel edges half a pixel off the pixel centres.
    D3DXMATRIX proj, view, world;
    D3DXMatrixOrthoOffCenterLH(&proj, 0.0f, W / 10.0f, 0.0f, H / 10.0f, 0.0f, 1.0f);
    D3DXMatrixIdentity(&view);
    D3DXMatrixTranslation(&world, (left - 0.5f + font_->m_spacing) / 10.0f, (H - baseline - 0.5f) / 10.0f, 0.5f);
    BmpImage img = Frame([&] {
        d->SetTransform(D3DTS_PROJECTION, &proj);
        d->SetTransform(D3DTS_VIEW, &view);
        d->SetTransform(D3DTS_WORLD, &world);
        EXPECT_EQ(font_->Render3DText("Ver\xE9", TextTwoSided), S_OK);
    });
    PixelSet ink = Ink(img);
    PixelSet expected = Expected("Ver\xE9", left, baseline, 0, true);
    ASSERT_GT(expected.size(), 50u);
    EXPECT_LE(Mismatches(ink, expected), expected.size() / 20) << "ink " << ink.size();
}

}  // namespace
