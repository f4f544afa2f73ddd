// GDI bitmaps for tests: 1-bit bitmaps drawn as text or by a rule, and any
// bitmap's pixels read back through GetDIBits.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

// Pixels of a bitmap as 0x00RRGGBB, top row first.
inline std::vector<uint32_t> BitmapPixels(HBITMAP bitmap, int width, int height)
{
    std::vector<uint32_t> out((size_t)width * height, 0xDEADBEEF);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(GetDIBits(dc, bitmap, 0, (UINT)height, out.data(), &bmi, DIB_RGB_COLORS), height);
    DeleteDC(dc);
    for (uint32_t& p : out)
        p &= 0xFFFFFF;
    return out;
}

// A 1-bit bitmap whose pixel (x, y) is on(x, y).
template <typename On>
HBITMAP MonoBitmap(int width, int height, On on)
{
    const size_t stride = ((size_t)width + 15) / 16 * 2;
    std::vector<BYTE> bits(stride * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (on(x, y))
                bits[stride * y + x / 8] |= (BYTE)(0x80 >> (x % 8));
    return CreateBitmap(width, height, 1, 1, bits.data());
}

// A 1-bit bitmap from rows of '#' (1) and '.' (0).
inline HBITMAP MonoBitmap(const std::vector<const char*>& rows)
{
    return MonoBitmap((int)std::strlen(rows[0]), (int)rows.size(),
                      [&](int x, int y) { return rows[y][x] == '#'; });
}
