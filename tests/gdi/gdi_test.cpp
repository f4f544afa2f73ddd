// GDI text into DIB sections: placement, colours, background modes,
// clipping and the code-page-1252 characters.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1; // inclusive
    bool empty() const { return right < 0; }
};

// A memory DC with a 32-bit DIB section and an Arial font selected.
class GdiText : public ::testing::Test {
protected:
    static constexpr int W = 128, H = 64;

    void SetUp() override { make(W, H, true, 32, 700); }

    void TearDown() override { destroy(); }

    void make(int w, int h, bool topDown, int bpp, int weight, const char* face = "Arial")
    {
        width = w;
        height = h;
        dc = CreateCompatibleDC(nullptr);
        ASSERT_NE(dc, nullptr);
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = topDown ? -h : h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = (WORD)bpp;
        bi.bmiHeader.biCompression = BI_RGB;
        bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bmp, nullptr);
        ASSERT_NE(bits, nullptr);
        stride = ((w * bpp + 31) / 32) * 4;
        bytesPerPixel = bpp / 8;
        this->topDown = topDown;
        font = CreateFontA(-MulDiv(13, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                           VARIABLE_PITCH, face);
        ASSERT_NE(font, nullptr);
        oldBmp = SelectObject(dc, bmp);
        oldFont = SelectObject(dc, font);
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkColor(dc, 0x00000000);
        SetTextAlign(dc, TA_TOP | TA_LEFT);
    }

    void destroy()
    {
        if (!dc)
            return;
        SelectObject(dc, oldBmp);
        SelectObject(dc, oldFont);
        EXPECT_TRUE(DeleteObject(bmp));
        EXPECT_TRUE(DeleteObject(font));
        EXPECT_TRUE(DeleteDC(dc));
        dc = nullptr;
    }

    // Pixel (x, y) counted from the top, as B, G, R bytes.
    const BYTE* pixel(int x, int y) const
    {
        int row = topDown ? y : height - 1 - y;
        return static_cast<const BYTE*>(bits) + (size_t)row * stride + (size_t)x * bytesPerPixel;
    }

    Box litBox(int threshold = 0) const
    {
        Box b;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (pixel(x, y)[0] > threshold || pixel(x, y)[1] > threshold || pixel(x, y)[2] > threshold) {
                    b.left = std::min(b.left, x);
                    b.right = std::max(b.right, x);
                    b.top = std::min(b.top, y);
                    b.bottom = std::max(b.bottom, y);
                }
        return b;
    }

    std::vector<BYTE> snapshot() const
    {
        const BYTE* p = static_cast<const BYTE*>(bits);
        return std::vector<BYTE>(p, p + (size_t)stride * height);
    }

    void clear(BYTE v) { std::memset(bits, v, (size_t)stride * height); }

    HDC dc = nullptr;
    HBITMAP bmp = nullptr;
    HFONT font = nullptr;
    HGDIOBJ oldBmp = nullptr, oldFont = nullptr;
    void* bits = nullptr;
    int width = 0, height = 0, stride = 0, bytesPerPixel = 4;
    bool topDown = true;
};

} // namespace

TEST(GdiCalls, MulDivRoundsToNearest)
{
    struct {
        int a, b, c, expected;
    } cases[] = {{13, 96, 72, 17}, {24, 96, 72, 32}, {14, 96, 72, 19}, {5, 3, 2, 8},
                 {-5, 3, 2, -8}, {5, -3, 2, -8}, {7, 1, -2, -4}, {1, 1, 0, -1}, {0x40000000, 8, 1, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(GdiCalls, BadArgumentsFailCleanly)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = 16;
    bi.bmiHeader.biHeight = 16;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 8; // palettes are not offered
    void* bits = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biWidth = 0;
    EXPECT_EQ(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    // 32-bit bit fields: only the usual blue-green-red layout is drawn in.
    struct {
        BITMAPINFOHEADER h;
        DWORD masks[3];
    } fields = {};
    fields.h = bi.bmiHeader;
    fields.h.biWidth = 4;
    fields.h.biCompression = BI_BITFIELDS;
    DWORD odd[3] = {0xFF, 0xFF00, 0xFF0000};
    std::memcpy(fields.masks, odd, sizeof(odd));
    EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&fields), DIB_RGB_COLORS, &bits, nullptr, 0),
              nullptr);
    DWORD usual[3] = {0xFF0000, 0xFF00, 0xFF};
    std::memcpy(fields.masks, usual, sizeof(usual));
    HBITMAP ok = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&fields), DIB_RGB_COLORS, &bits, nullptr, 0);
    EXPECT_NE(ok, nullptr);
    EXPECT_TRUE(DeleteObject(ok));
    EXPECT_EQ(SelectObject(nullptr, nullptr), nullptr);
    EXPECT_FALSE(DeleteObject(nullptr));
    EXPECT_FALSE(DeleteDC(nullptr));
    SIZE sz;
    EXPECT_FALSE(GetTextExtentPoint32A(nullptr, "a", 1, &sz));
    EXPECT_FALSE(TextOutA(nullptr, 0, 0, "a", 1));
}

TEST_F(GdiText, SelectReturnsPreviousAndGuardsSelectedObjects)
{
    EXPECT_EQ(SelectObject(dc, font), font);
    EXPECT_FALSE(DeleteObject(bmp)) << "a selected bitmap must not be deleted";
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, bmp), nullptr) << "a bitmap lives in one DC at a time";
    DeleteDC(other);
    EXPECT_EQ(SetMapMode(dc, MM_TEXT), MM_TEXT);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(dc, OPAQUE), TRANSPARENT);
    EXPECT_EQ(SetTextColor(dc, RGB(1, 2, 3)), RGB(255, 255, 255));
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
}

TEST_F(GdiText, CellMetricsFollowTheFont)
{
    SIZE space, h, hh;
    ASSERT_TRUE(GetTextExtentPoint32A(dc, " ", 1, &space));
    ASSERT_TRUE(GetTextExtentPoint32A(dc, "H", 1, &h));
    ASSERT_TRUE(GetTextExtentPoint32A(dc, "HH", 2, &hh));
    TEXTMETRICA tm;
    ASSERT_TRUE(GetTextMetricsA(dc, &tm));
    // A 17-pixel em of Arial's metrics gives a 19-pixel cell: 15 up, 4 down.
    EXPECT_EQ(tm.tmAscent, 15);
    EXPECT_EQ(tm.tmDescent, 4);
    EXPECT_EQ(space.cy, 19);
    EXPECT_EQ(h.cy, 19);
    EXPECT_GT(space.cx, 2);
    EXPECT_GT(h.cx, space.cx);
    EXPECT_EQ(hh.cx, 2 * h.cx);
    SIZE none;
    ASSERT_TRUE(GetTextExtentPoint32A(dc, "", 0, &none));
    EXPECT_EQ(none.cx, 0);
    EXPECT_EQ(none.cy, 19);
}

TEST_F(GdiText, GlyphLandsInItsCellOnTheBaseline)
{
    SIZE h;
    GetTextExtentPoint32A(dc, "H", 1, &h);
    SetBkMode(dc, TRANSPARENT);
    ASSERT_TRUE(ExtTextOutA(dc, 10, 20, ETO_OPAQUE, nullptr, "H", 1, nullptr));
    Box b = litBox();
    ASSERT_FALSE(b.empty());
    EXPECT_GE(b.left, 10);
    EXPECT_LT(b.right, 10 + h.cx);
    // "H" stands on the baseline (top + ascent) and is about 12 pixels tall.
    EXPECT_EQ(b.bottom, 20 + 15 - 1);
    EXPECT_NEAR(b.top, 20 + 15 - 12, 1);
    // Its stems are fully covered: white on black, every channel equal.
    bool full = false;
    for (int y = b.top; y <= b.bottom; ++y)
        for (int x = b.left; x <= b.right; ++x) {
            const BYTE* p = pixel(x, y);
            EXPECT_EQ(p[0], p[1]);
            EXPECT_EQ(p[1], p[2]);
            full = full || p[0] == 255;
        }
    EXPECT_TRUE(full);
}

TEST_F(GdiText, AlignmentMovesTheReferencePoint)
{
    SIZE ext;
    GetTextExtentPoint32A(dc, "Ag", 2, &ext);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(0, 0, 255));
    struct {
        UINT align;
        int left, top;
    } cases[] = {{TA_LEFT | TA_TOP, 40, 30},
                 {TA_RIGHT | TA_TOP, 40 - ext.cx, 30},
                 {TA_CENTER | TA_TOP, 40 - ext.cx / 2, 30},
                 {TA_LEFT | TA_BOTTOM, 40, 30 - 19},
                 {TA_LEFT | TA_BASELINE, 40, 30 - 15}};
    for (const auto& c : cases) {
        clear(0);
        SetTextAlign(dc, c.align);
        TextOutA(dc, 40, 30, "Ag", 2);
        // The opaque cell shows exactly where the text was placed.
        Box b = litBox();
        EXPECT_EQ(b.left, c.left) << c.align;
        EXPECT_EQ(b.top, c.top) << c.align;
        EXPECT_EQ(b.right, c.left + ext.cx - 1) << c.align;
        EXPECT_EQ(b.bottom, c.top + 18) << c.align;
    }
}

TEST_F(GdiText, TextAndBackgroundColours)
{
    clear(0x40);
    SetTextColor(dc, RGB(255, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, 4, 4, "M", 1);
    int red = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const BYTE* p = pixel(x, y);
            if (p[2] != 0x40) {
                ++red;
                EXPECT_GT(p[2], 0x40); // blended toward red
                EXPECT_LE(p[0], 0x40);
            }
        }
    EXPECT_GT(red, 10);
    // Outside the glyph a transparent background leaves the pixels alone.
    EXPECT_EQ(pixel(100, 50)[0], 0x40);
    EXPECT_EQ(pixel(5, 5)[1], 0x40);

    clear(0x40);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(0, 0, 255));
    TextOutA(dc, 4, 4, "M", 1);
    // The cell's top-left pixel is background; outside the cell is untouched.
    EXPECT_EQ(pixel(4, 4)[0], 255);
    EXPECT_EQ(pixel(4, 4)[1], 0);
    EXPECT_EQ(pixel(4, 4)[2], 0);
    EXPECT_EQ(pixel(3, 4)[0], 0x40);
    EXPECT_EQ(pixel(4, 4 + 19)[0], 0x40);
}

TEST_F(GdiText, BottomUpSectionsHoldTheSameImageFlipped)
{
    TextOutA(dc, 5, 7, "Hola", 4);
    std::vector<BYTE> top = snapshot();
    destroy();
    make(W, H, false, 32, 700);
    TextOutA(dc, 5, 7, "Hola", 4);
    std::vector<BYTE> bottom = snapshot();
    for (int y = 0; y < H; ++y)
        ASSERT_EQ(0, std::memcmp(&top[(size_t)y * stride], &bottom[(size_t)(H - 1 - y) * stride], stride))
            << "row " << y;
}

TEST_F(GdiText, TwentyFourBitSectionsPadTheirRows)
{
    destroy();
    make(13, 20, true, 24, 400);
    EXPECT_EQ(stride, 40);
    clear(0);
    TextOutA(dc, 0, 0, "WWW", 3);
    // Padding bytes at the end of each row stay untouched.
    for (int y = 0; y < 20; ++y)
        EXPECT_EQ(static_cast<BYTE*>(bits)[(size_t)y * stride + 39], 0);
    EXPECT_FALSE(litBox().empty());
}

TEST_F(GdiText, OutputClipsToTheBitmapAndTheClipRectangle)
{
    destroy();
    make(16, 12, true, 32, 700);
    // Partly and wholly outside: nothing written past the section (ASan).
    const int positions[][2] = {{-10, -8}, {10, 5}, {-400, 0}, {0, 300}, {14, -3}, {-2147483000, 2147483000}};
    for (const auto& p : positions)
        EXPECT_TRUE(TextOutA(dc, p[0], p[1], "WgWgWg", 6));
    EXPECT_FALSE(litBox().empty());

    destroy();
    make(W, H, true, 32, 700);
    RECT r = {20, 10, 30, 20};
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(0, 255, 0));
    ExtTextOutA(dc, 15, 5, ETO_CLIPPED, &r, "WWWW", 4, nullptr);
    Box b = litBox();
    ASSERT_FALSE(b.empty());
    EXPECT_EQ(b.left, 20);
    EXPECT_EQ(b.top, 10);
    EXPECT_EQ(b.right, 29);
    EXPECT_EQ(b.bottom, 19);
}

TEST_F(GdiText, BoldIsWiderThanRegular)
{
    SIZE bold, regular;
    GetTextExtentPoint32A(dc, "Hello", 5, &bold);
    destroy();
    make(W, H, true, 32, 400);
    GetTextExtentPoint32A(dc, "Hello", 5, &regular);
    EXPECT_GT(bold.cx, regular.cx);
    EXPECT_EQ(bold.cy, regular.cy);
}

TEST_F(GdiText, Cp1252CharactersHaveTheirOwnGlyphs)
{
    // The accented letters, tildes, diaereses, inverted signs, euro,
    // ordinals and not sign, each against a look-alike that differs.
    const struct {
        unsigned char code;
        char base;
    } chars[] = {{225, 'a'}, {233, 'e'}, {237, 'i'}, {243, 'o'}, {250, 'u'}, {193, 'A'}, {201, 'E'},
                 {205, 'I'}, {211, 'O'}, {218, 'U'}, {241, 'n'}, {209, 'N'}, {191, '?'}, {161, '!'},
                 {128, 'C'}, {186, 'o'}, {170, 'a'}, {172, '-'}, {252, 'u'}, {220, 'U'}};
    SetBkMode(dc, TRANSPARENT);
    for (const auto& c : chars) {
        clear(0);
        char s[2] = {(char)c.code, 0};
        SIZE ext;
        ASSERT_TRUE(GetTextExtentPoint32A(dc, s, 1, &ext));
        EXPECT_GT(ext.cx, 0) << (int)c.code;
        TextOutA(dc, 8, 8, s, 1);
        std::vector<BYTE> glyph = snapshot();
        EXPECT_FALSE(litBox().empty()) << (int)c.code;
        clear(0);
        char b[2] = {c.base, 0};
        TextOutA(dc, 8, 8, b, 1);
        EXPECT_NE(glyph, snapshot()) << (int)c.code << " looks like " << c.base;
    }
    // Accents sit above the plain letter's x-height.
    clear(0);
    TextOutA(dc, 8, 8, "e", 1);
    int plainTop = litBox().top;
    clear(0);
    TextOutA(dc, 8, 8, "\xE9", 1);
    EXPECT_LT(litBox().top, plainTop);
}

TEST(GdiFonts, MissingFaceIsReportedOnceAndSubstituted)
{
    testing::internal::CaptureStderr();
    HFONT arial = CreateFontA(-17, 0, 0, 0, 700, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY,
                              VARIABLE_PITCH, "Arial");
    std::string quiet = testing::internal::GetCapturedStderr();
    ASSERT_NE(arial, nullptr);
    EXPECT_EQ(quiet, "") << "Arial is served by Liberation Sans";

    testing::internal::CaptureStderr();
    HFONT missing1 = CreateFontA(-17, 0, 0, 0, 400, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY,
                                 VARIABLE_PITCH, "Nimb No Such Face");
    HFONT missing2 = CreateFontA(-30, 0, 0, 0, 400, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY,
                                 VARIABLE_PITCH, "Nimb No Such Face");
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(missing1, nullptr);
    EXPECT_NE(missing2, nullptr);
    size_t first = log.find("Nimb No Such Face");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("Nimb No Such Face", first + 1), std::string::npos) << "reported once: " << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
    DeleteObject(arial);
    DeleteObject(missing1);
    DeleteObject(missing2);
}
