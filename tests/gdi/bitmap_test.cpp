// Bitmaps made from rows, their description, and their pixels read back.
#include <windows.h>

#include <gtest/gtest.h>

#include "bitmap_pixels.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

TEST(GdiBitmaps, OneBitBitmapReadsAsBlackAndWhiteInEitherRowOrder)
{
    HBITMAP bmp = MonoBitmap({"#..", ".#.", "..#", "###"});
    ASSERT_NE(bmp, nullptr);
    BITMAP bm = {};
    ASSERT_EQ(GetObjectA(bmp, sizeof(bm), &bm), (int)sizeof(BITMAP));
    EXPECT_EQ(bm.bmWidth, 3);
    EXPECT_EQ(bm.bmHeight, 4);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(bm.bmWidthBytes, 2);
    EXPECT_EQ(bm.bmBits, nullptr);
    EXPECT_EQ(BitmapPixels(bmp, 3, 4), (std::vector<uint32_t>{0xFFFFFF, 0, 0, 0, 0xFFFFFF, 0, 0, 0, 0xFFFFFF, 0xFFFFFF,
                                                         0xFFFFFF, 0xFFFFFF}));
    // Bottom-up: scan line 0 is the bottom row; here lines 1 and 2 only.
    std::vector<uint32_t> two(6, 7);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = 3;
    bmi.bmiHeader.biHeight = 4;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(GetDIBits(dc, bmp, 1, 2, two.data(), &bmi, DIB_RGB_COLORS), 2);
    EXPECT_EQ(two, (std::vector<uint32_t>{0, 0, 0xFFFFFF, 0, 0xFFFFFF, 0}));
    // Lines past the bottom are not copied; a width that is not the bitmap's is refused.
    EXPECT_EQ(GetDIBits(dc, bmp, 3, 5, two.data(), &bmi, DIB_RGB_COLORS), 1);
    EXPECT_EQ(GetDIBits(dc, bmp, 4, 1, two.data(), &bmi, DIB_RGB_COLORS), 0);
    bmi.bmiHeader.biWidth = 2;
    EXPECT_EQ(GetDIBits(dc, bmp, 0, 1, two.data(), &bmi, DIB_RGB_COLORS), 0);
    // Without bits only the header is filled in.
    BITMAPINFO query = {};
    query.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    EXPECT_EQ(GetDIBits(dc, bmp, 0, 0, nullptr, &query, DIB_RGB_COLORS), 4);
    EXPECT_EQ(query.bmiHeader.biWidth, 3);
    EXPECT_EQ(query.bmiHeader.biBitCount, 1);
    DeleteDC(dc);
    EXPECT_TRUE(DeleteObject(bmp));
    EXPECT_EQ(GetObjectA(bmp, sizeof(bm), &bm), 0);
}

TEST(GdiBitmaps, BadBitmapRequestsAreRefused)
{
    EXPECT_EQ(CreateBitmap(0, 4, 1, 32, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(4, 4, 2, 32, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(4, 4, 1, 8, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(100000, 4, 1, 32, nullptr), nullptr);
    HBITMAP bmp = CreateBitmap(2, 2, 1, 32, nullptr);
    ASSERT_NE(bmp, nullptr);
    BITMAP bm;
    EXPECT_EQ(GetObjectA(bmp, 4, &bm), 0); // too small a record
    EXPECT_EQ(GetObjectA(bmp, 0, nullptr), (int)sizeof(BITMAP));
    std::vector<uint32_t> px(4);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = 2;
    bmi.bmiHeader.biHeight = 2;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    EXPECT_EQ(GetDIBits(nullptr, bmp, 0, 2, px.data(), &bmi, DIB_RGB_COLORS), 0); // no device context
    DeleteObject(bmp);
}

} // namespace
