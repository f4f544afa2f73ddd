// Timings of the D3DX picture work and the GDI glyph rasterising the font
// does at load: glyph atlases at 13 and 24 points, decoding PNG and JPEG,
// loading a texture with its full mip chain on the GL device, and the BMP
// round trip of a mip rebuild.
//   SDL_VIDEODRIVER=offscreen build/bench/bench_d3dx_images
#include <windows.h>
#include <d3dx9.h>

#include "d3dx9/d3dx9_image.h"
#include "bench_device.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

double millis(const std::function<void()>& fn, int runs)
{
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i)
        fn();
    auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(t1 - t0).count() / runs;
}

// Paints the printable ASCII range and the 20 further glyphs into a
// side x side 32-bit section, as the bitmap font does.
void glyphAtlas(int points, int side)
{
    HDC dc = CreateCompatibleDC(nullptr);
    SetMapMode(dc, MM_TEXT);
    HFONT font = CreateFontA(-MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_BOLD, FALSE, FALSE,
                             FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                             VARIABLE_PITCH, "Arial");
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = side;
    bi.bmiHeader.biHeight = -side;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBmp = SelectObject(dc, bmp);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkColor(dc, 0);
    std::string chars;
    for (int c = 32; c < 127; ++c)
        chars += (char)c;
    chars += "\xE1\xE9\xED\xF3\xFA\xC1\xC9\xCD\xD3\xDA\xF1\xD1\xBF\xA1\x80\xBA\xAA\xAC\xFC\xDC";
    int x = 0, y = 0;
    for (char c : chars) {
        SIZE sz;
        GetTextExtentPoint32A(dc, &c, 1, &sz);
        if (x + sz.cx > side) {
            x = 0;
            y += sz.cy + 1;
        }
        ExtTextOutA(dc, x, y, ETO_OPAQUE, nullptr, &c, 1, nullptr);
        x += sz.cx + 2;
    }
    SelectObject(dc, oldBmp);
    SelectObject(dc, oldFont);
    DeleteObject(bmp);
    DeleteObject(font);
    DeleteDC(dc);
}

d3dx::Image photo(UINT w, UINT h)
{
    d3dx::Image img(w, h);
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x)
            img.at(x, y) = 0xFF000000u | (((x * 7 + y) & 0xFF) << 16) | (((x ^ y) & 0xFF) << 8) | ((x * y) & 0xFF);
    return img;
}

} // namespace

int main()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    std::printf("glyph atlas 13 pt, 256x256: %.2f ms\n", millis([] { glyphAtlas(13, 256); }, 20));
    std::printf("glyph atlas 24 pt, 512x512: %.2f ms\n", millis([] { glyphAtlas(24, 512); }, 20));

    d3dx::Image img = photo(512, 512);
    std::vector<uint8_t> png, jpg, bmp;
    d3dx::EncodePng(img, false, png);
    d3dx::EncodeJpeg(img, jpg);
    d3dx::EncodeBmp(img, true, bmp);
    d3dx::DecodedFile f;
    std::printf("decode 512x512 PNG: %.2f ms\n", millis([&] { d3dx::DecodeImage(png.data(), png.size(), f); }, 20));
    std::printf("decode 512x512 JPEG: %.2f ms\n", millis([&] { d3dx::DecodeImage(jpg.data(), jpg.size(), f); }, 20));
    std::printf("box mip chain of 512x512: %.2f ms\n", millis([&] {
                    d3dx::Image level = img;
                    for (UINT s = 256; s >= 1; s /= 2)
                        level = d3dx::Resample(level, s, s, D3DX_FILTER_BOX);
                }, 20));

    BenchDevice device("d3dx bench");
    IDirect3DDevice9* dev = device.Get();
    if (!dev) {
        std::printf("no device: texture timings skipped\n");
        return 0;
    }
    std::printf("PNG 512x512 to texture with full chain: %.2f ms\n", millis([&] {
                    IDirect3DTexture9* t = nullptr;
                    D3DXCreateTextureFromFileInMemory(dev, png.data(), (UINT)png.size(), &t);
                    if (t)
                        t->Release();
                }, 10));
    std::printf("BMP 512x512 save and reload (mip rebuild): %.2f ms\n", millis([&] {
                    IDirect3DTexture9* t = nullptr;
                    D3DXCreateTextureFromFileInMemory(dev, bmp.data(), (UINT)bmp.size(), &t);
                    ID3DXBuffer* buf = nullptr;
                    D3DXSaveTextureToFileInMemory(&buf, D3DXIFF_BMP, t, nullptr);
                    IDirect3DTexture9* again = nullptr;
                    D3DXCreateTextureFromFileInMemory(dev, buf->GetBufferPointer(), buf->GetBufferSize(), &again);
                    again->Release();
                    buf->Release();
                    t->Release();
                }, 10));
    return 0;
}
