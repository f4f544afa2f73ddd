// Bitmaps made from the caller's rows, their description, and their pixels
// read back as device-independent rows.
#include "gdi_internal.h"

#include <algorithm>
#include <climits>
#include <cstring>

using namespace gdi;

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitCount, const void* bits)
{
    if (width <= 0 || height <= 0 || width > 32768 || height > 32768 || planes != 1 ||
        (bitCount != 1 && bitCount != 24 && bitCount != 32))
        return nullptr;
    Bitmap* bmp = new Bitmap();
    bmp->width = width;
    bmp->height = height;
    bmp->bpp = (int)bitCount;
    bmp->topDown = true;
    bmp->stride = (((size_t)width * bitCount + 31) / 32) * 4;
    bmp->bits.assign(bmp->stride * height, 0);
    if (bits) {
        // The caller's rows are word-aligned, top row first.
        const size_t source = (((size_t)width * bitCount + 15) / 16) * 2;
        const size_t used = ((size_t)width * bitCount + 7) / 8;
        for (int y = 0; y < height; ++y)
            std::memcpy(bmp->row(y), static_cast<const BYTE*>(bits) + source * (size_t)y, used);
    }
    registerObject(bmp);
    return reinterpret_cast<HBITMAP>(static_cast<Object*>(bmp));
}

int GetObjectA(HGDIOBJ object, int size, LPVOID out)
{
    Object* obj = toObject(object);
    if (!obj || obj->kind != Kind::Bitmap)
        return 0;
    if (!out)
        return (int)sizeof(BITMAP);
    if (size < (int)sizeof(BITMAP))
        return 0;
    Bitmap* bmp = static_cast<Bitmap*>(obj);
    BITMAP info = {};
    info.bmWidth = bmp->width;
    info.bmHeight = bmp->height;
    // Sections keep their rows 32-bit aligned; other bitmaps report word-aligned rows.
    info.bmWidthBytes =
        bmp->section ? (LONG)bmp->stride : (LONG)((((size_t)bmp->width * bmp->bpp + 15) / 16) * 2);
    info.bmPlanes = 1;
    info.bmBitsPixel = (WORD)bmp->bpp;
    info.bmBits = bmp->section ? bmp->bits.data() : nullptr;
    std::memcpy(out, &info, sizeof(info));
    return (int)sizeof(BITMAP);
}

int GetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO info, UINT usage)
{
    Object* obj = toObject(bitmap);
    if (!toDc(hdc) || !obj || obj->kind != Kind::Bitmap || !info || usage != DIB_RGB_COLORS ||
        info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER))
        return 0;
    Bitmap* bmp = static_cast<Bitmap*>(obj);
    BITMAPINFOHEADER& h = info->bmiHeader;
    if (!bits) {
        // Only the description is asked for.
        h.biWidth = bmp->width;
        h.biHeight = bmp->height;
        h.biPlanes = 1;
        if (h.biBitCount == 0)
            h.biBitCount = (WORD)bmp->bpp;
        h.biCompression = BI_RGB;
        h.biSizeImage = (DWORD)((((size_t)bmp->width * h.biBitCount + 31) / 32) * 4 * bmp->height);
        return bmp->height;
    }
    if ((h.biBitCount != 24 && h.biBitCount != 32) || h.biCompression != BI_RGB || h.biWidth != bmp->width ||
        h.biHeight == 0 || h.biHeight == LONG_MIN)
        return 0;
    const bool topDown = h.biHeight < 0;
    const UINT total = (UINT)bmp->height;
    if (start >= total)
        return 0;
    const UINT count = std::min(lines, total - start);
    const size_t stride = (((size_t)bmp->width * h.biBitCount + 31) / 32) * 4;
    const int outBytes = h.biBitCount / 8;
    for (UINT i = 0; i < count; ++i) {
        // Scan lines count from the bottom of a bottom-up picture.
        const int y = topDown ? (int)(start + i) : bmp->height - 1 - (int)(start + i);
        BYTE* dst = static_cast<BYTE*>(bits) + stride * i;
        for (int x = 0; x < bmp->width; ++x) {
            const COLORREF c = bmp->get(x, y);
            BYTE* q = dst + (size_t)x * outBytes;
            q[0] = GetBValue(c);
            q[1] = GetGValue(c);
            q[2] = GetRValue(c);
            if (outBytes == 4)
                q[3] = bmp->bpp == 32 ? bmp->row(y)[(size_t)x * 4 + 3] : 0;
        }
    }
    return (int)count;
}
