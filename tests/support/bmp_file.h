// Reads the BMP files the renderer writes (24 or 32 bits, bottom-up or
// top-down) into top-down ARGB pixels.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct BmpImage {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    std::vector<uint32_t> pixels;  // ARGB, top row first

    uint32_t At(int x, int y) const { return pixels[(size_t)y * width + x]; }
};

inline bool ReadBmp(const std::string& path, BmpImage* out)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    std::vector<unsigned char> data;
    unsigned char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0)
        data.insert(data.end(), buf, buf + n);
    std::fclose(f);
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M')
        return false;
    auto u32 = [&](size_t o) {
        return (uint32_t)data[o] | ((uint32_t)data[o + 1] << 8) | ((uint32_t)data[o + 2] << 16) |
               ((uint32_t)data[o + 3] << 24);
    };
    auto u16 = [&](size_t o) { return (uint32_t)data[o] | ((uint32_t)data[o + 1] << 8); };
    uint32_t offset = u32(10);
    int32_t w = (int32_t)u32(18);
    int32_t h = (int32_t)u32(22);
    int bpp = (int)u16(28);
    if (w <= 0 || h == 0 || (bpp != 24 && bpp != 32))
        return false;
    bool topDown = h < 0;
    int height = topDown ? -h : h;
    size_t stride = ((size_t)w * (bpp / 8) + 3) & ~(size_t)3;
    if (offset + stride * height > data.size())
        return false;
    out->width = w;
    out->height = height;
    out->bitCount = bpp;
    out->pixels.assign((size_t)w * height, 0);
    for (int y = 0; y < height; y++) {
        int srcRow = topDown ? y : height - 1 - y;
        const unsigned char* row = &data[offset + stride * srcRow];
        for (int x = 0; x < w; x++) {
            const unsigned char* p = row + x * (bpp / 8);
            uint32_t a = bpp == 32 ? p[3] : 0xFF;
            out->pixels[(size_t)y * w + x] = (a << 24) | ((uint32_t)p[2] << 16) | ((uint32_t)p[1] << 8) | p[0];
        }
    }
    return true;
}
