// GDI drawing into bitmaps: pixels, fills, outlines, lines, block transfers
// between depths, text layout with DrawText, and which objects may go.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Draw : public ::testing::Test {
protected:
    void SetUp() override
    {
        dc = CreateCompatibleDC(nullptr);
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = W;
        bi.bmiHeader.biHeight = -H;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, (void**)&bits, nullptr, 0);
        old = SelectObject(dc, bmp);
    }
    void TearDown() override
    {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
    COLORREF At(int x, int y) const
    {
        DWORD p = bits[y * W + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // The pixels of colour c, as "x,y" strings in row order.
    std::vector<std::string> Where(COLORREF c) const
    {
        std::vector<std::string> out;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (At(x, y) == c)
                    out.push_back(std::to_string(x) + "," + std::to_string(y));
        return out;
    }
    RECT InkBox(COLORREF background) const
    {
        RECT r = {W, H, -1, -1};
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (At(x, y) != background) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x + 1);
                    r.bottom = std::max<LONG>(r.bottom, y + 1);
                }
        return r;
    }
    static constexpr int W = 40, H = 30;
    HDC dc = nullptr;
    HBITMAP bmp = nullptr;
    HGDIOBJ old = nullptr;
    DWORD* bits = nullptr;
};

const COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255), kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255);

TEST_F(Draw, PixelsFillsAndFramesLeaveOutTheRightAndBottomEdges)
{
    EXPECT_EQ(SetPixel(dc, 3, 4, kRed), kRed);
    EXPECT_EQ(GetPixel(dc, 3, 4), kRed);
    EXPECT_EQ(SetPixel(dc, W, 0, kRed), CLR_INVALID);
    EXPECT_EQ(GetPixel(dc, -1, 0), CLR_INVALID);
    HBRUSH blue = CreateSolidBrush(kBlue);
    RECT r = {10, 10, 13, 12};
    FillRect(dc, &r, blue);
    EXPECT_EQ(Where(kBlue), (std::vector<std::string>{"10,10", "11,10", "12,10", "10,11", "11,11", "12,11"}));
    FillRect(dc, &r, (HBRUSH)(COLOR_WINDOW + 1)); // a system colour as a brush
    EXPECT_TRUE(Where(kBlue).empty());
    RECT frame = {20, 20, 23, 23};
    FrameRect(dc, &frame, blue);
    EXPECT_EQ(Where(kBlue).size(), 8u);
    EXPECT_NE(At(21, 21), kBlue);
    DeleteObject(blue);
}

TEST_F(Draw, RectangleOutlinesWithThePenAndFillsWithTheBrushFromEitherCorner)
{
    RECT all = {0, 0, W, H};
    FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    HBRUSH blue = CreateSolidBrush(kBlue);
    HGDIOBJ oldBrush = SelectObject(dc, blue);
    EXPECT_FALSE(DeleteObject(blue)) << "a selected brush stays";
    Rectangle(dc, 2, 8, 6, 3); // corners in any order
    RECT ink = InkBox(kWhite);
    EXPECT_EQ(ink.left, 2);
    EXPECT_EQ(ink.top, 3);
    EXPECT_EQ(ink.right, 6);
    EXPECT_EQ(ink.bottom, 8);
    EXPECT_EQ(Where(kBlack).size(), 14u) << "the outline, in the default black pen";
    EXPECT_EQ(Where(kBlue), (std::vector<std::string>{"3,4", "4,4", "3,5", "4,5", "3,6", "4,6"}));
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    HPEN red = CreatePen(PS_SOLID, 1, kRed);
    HGDIOBJ oldPen = SelectObject(dc, red);
    Rectangle(dc, 10, 10, 14, 13);
    EXPECT_EQ(Where(kRed).size(), 10u);
    EXPECT_EQ(At(11, 11), kWhite) << "hollow brush";
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    EXPECT_TRUE(DeleteObject(blue));
    EXPECT_TRUE(DeleteObject(red));
}

TEST_F(Draw, LinesRunFromTheCurrentPositionAndLeaveOutTheirEnd)
{
    HPEN red = CreatePen(PS_SOLID, 1, kRed);
    HGDIOBJ oldPen = SelectObject(dc, red);
    POINT was;
    MoveToEx(dc, 1, 1, nullptr);
    LineTo(dc, 5, 1);
    EXPECT_EQ(Where(kRed), (std::vector<std::string>{"1,1", "2,1", "3,1", "4,1"}));
    LineTo(dc, 5, 4); // on from where the last line ended
    EXPECT_EQ(Where(kRed).size(), 7u);
    EXPECT_EQ(At(5, 3), kRed);
    EXPECT_NE(At(5, 4), kRed);
    MoveToEx(dc, 10, 10, &was);
    EXPECT_EQ(was.x, 5);
    EXPECT_EQ(was.y, 4);
    LineTo(dc, 14, 14);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(At(10 + i, 10 + i), kRed);
    EXPECT_NE(At(14, 14), kRed);
    SelectObject(dc, oldPen);
    DeleteObject(red);
}

TEST_F(Draw, BlitsCopyCombineAndConvertBetweenDepths)
{
    HDC src = CreateCompatibleDC(dc);
    HBITMAP colour = CreateCompatibleBitmap(dc, 4, 4); // as the DC: 32 bits
    HGDIOBJ oldSrc = SelectObject(src, colour);
    RECT all = {0, 0, 4, 4};
    HBRUSH red = CreateSolidBrush(kRed);
    FillRect(src, &all, red);
    SetPixel(src, 1, 1, kBlue);
    EXPECT_TRUE(BitBlt(dc, 5, 5, 4, 4, src, 0, 0, SRCCOPY));
    EXPECT_EQ(At(5, 5), kRed);
    EXPECT_EQ(At(6, 6), kBlue);
    EXPECT_EQ(At(9, 9), kBlack);
    BitBlt(dc, 5, 5, 4, 4, src, 0, 0, SRCINVERT); // x ^ x = 0
    EXPECT_EQ(At(6, 6), kBlack);
    // Source pixels outside the source leave the destination alone.
    SetPixel(dc, 20, 20, kWhite);
    BitBlt(dc, 18, 18, 4, 4, src, 2, 2, SRCCOPY);
    EXPECT_EQ(At(18, 18), kRed);
    EXPECT_EQ(At(20, 20), kWhite);
    SelectObject(dc, red);
    PatBlt(dc, 0, 0, 2, 2, PATCOPY);
    EXPECT_EQ(At(1, 1), kRed);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));

    // A memory DC's first bitmap is 1-bit: so are bitmaps made like it.
    HDC mono = CreateCompatibleDC(nullptr);
    HBITMAP oneBit = CreateCompatibleBitmap(mono, 4, 4);
    SelectObject(mono, oneBit);
    SetPixel(mono, 0, 0, kWhite);
    EXPECT_EQ(GetPixel(mono, 0, 0), kWhite);
    EXPECT_EQ(GetPixel(mono, 1, 0), kBlack);
    EXPECT_EQ(SetPixel(mono, 2, 0, RGB(200, 200, 200)), kWhite);
    // 1 bit to colour: 0 takes the text colour, 1 the background colour.
    SetTextColor(dc, kRed);
    SetBkColor(dc, kBlue);
    BitBlt(dc, 30, 0, 2, 1, mono, 0, 0, SRCCOPY);
    EXPECT_EQ(At(30, 0), kBlue);
    EXPECT_EQ(At(31, 0), kRed);
    DeleteDC(mono);
    DeleteObject(oneBit);
    SelectObject(src, oldSrc);
    DeleteDC(src);
    DeleteObject(colour);
    DeleteObject(red);
}

TEST_F(Draw, DrawTextPlacesMeasuresClipsAndUnderlinesPrefixes)
{
    SetTextColor(dc, kWhite);
    SetBkMode(dc, TRANSPARENT);
    RECT calc = {0, 0, 0, 0};
    int h = DrawTextA(dc, "Ab", -1, &calc, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_GT(calc.right, 8);
    EXPECT_EQ(calc.bottom, h);
    EXPECT_EQ(InkBox(kBlack).right, -1) << "measuring draws nothing";

    RECT r = {0, 0, W, H};
    DrawTextA(dc, "i", 1, &r, DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
    RECT ink = InkBox(kBlack);
    EXPECT_GT(ink.left, W / 2);
    EXPECT_GT(ink.top, H - h);
    FillRect(dc, &r, (HBRUSH)GetStockObject(BLACK_BRUSH));

    RECT small = {0, 0, 6, 30};
    DrawTextA(dc, "WWW", 3, &small, DT_SINGLELINE);
    EXPECT_LE(InkBox(kBlack).right, 6) << "clipped to the rectangle";
    DrawTextA(dc, "WWW", 3, &small, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_GT(InkBox(kBlack).right, 6);
    FillRect(dc, &r, (HBRUSH)GetStockObject(BLACK_BRUSH));

    // "&&" is an ampersand; a single "&" underlines the next letter below
    // the baseline.
    RECT plain = {0, 0, W, H}, marked = {0, 0, W, H};
    DrawTextA(dc, "_", 1, &plain, DT_CALCRECT | DT_SINGLELINE);
    DrawTextA(dc, "&&", 2, &marked, DT_CALCRECT | DT_SINGLELINE);
    RECT amp = {0, 0, W, H};
    DrawTextA(dc, "&", 1, &amp, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(marked.right, amp.right);
    DrawTextA(dc, "&l", 2, &r, DT_SINGLELINE);
    RECT underlined = InkBox(kBlack);
    FillRect(dc, &r, (HBRUSH)GetStockObject(BLACK_BRUSH));
    DrawTextA(dc, "l", 1, &r, DT_SINGLELINE);
    EXPECT_GT(underlined.bottom, InkBox(kBlack).bottom);
}

} // namespace
