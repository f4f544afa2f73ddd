// Pixel formats: their memory layout and GL equivalents; DXT decoding.
#include "d3d9_impl.h"

#include <algorithm>

namespace d3d9gl {

namespace {
constexpr GLint R = GL_RED, G = GL_GREEN, B = GL_BLUE, A = GL_ALPHA, Z = GL_ZERO, O = GL_ONE;

const FormatDesc kFormats[] = {
    {D3DFMT_A8R8G8B8, 4, false, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {R, G, B, A}, true, false, false},
    {D3DFMT_X8R8G8B8, 4, false, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {R, G, B, O}, false, false, false},
    {D3DFMT_A8B8G8R8, 4, false, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {R, G, B, A}, true, false, false},
    {D3DFMT_X8B8G8R8, 4, false, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {R, G, B, O}, false, false, false},
    {D3DFMT_R8G8B8, 3, false, GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, {R, G, B, O}, false, false, false},
    {D3DFMT_R5G6B5, 2, false, GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, {R, G, B, O}, false, false, false},
    {D3DFMT_X1R5G5B5, 2, false, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {R, G, B, O}, false, false, false},
    {D3DFMT_A1R5G5B5, 2, false, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {R, G, B, A}, true, false, false},
    {D3DFMT_A4R4G4B4, 2, false, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {R, G, B, A}, true, false, false},
    {D3DFMT_X4R4G4B4, 2, false, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {R, G, B, O}, false, false, false},
    {D3DFMT_A2R10G10B10, 4, false, GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV, {R, G, B, A}, true, false, false},
    {D3DFMT_A2B10G10R10, 4, false, GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV, {R, G, B, A}, true, false, false},
    {D3DFMT_A8, 1, false, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {Z, Z, Z, R}, true, false, false},
    {D3DFMT_L8, 1, false, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {R, R, R, O}, false, false, false},
    {D3DFMT_A8L8, 2, false, GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {R, R, R, G}, true, false, false},
    {D3DFMT_L16, 2, false, GL_R16, GL_RED, GL_UNSIGNED_SHORT, {R, R, R, O}, false, false, false},
    {D3DFMT_G16R16, 4, false, GL_RG16, GL_RG, GL_UNSIGNED_SHORT, {R, G, O, O}, false, false, false},
    {D3DFMT_A16B16G16R16, 8, false, GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, {R, G, B, A}, true, false, false},
    {D3DFMT_R16F, 2, false, GL_R16F, GL_RED, GL_HALF_FLOAT, {R, O, O, O}, false, false, false},
    {D3DFMT_G16R16F, 4, false, GL_RG16F, GL_RG, GL_HALF_FLOAT, {R, G, O, O}, false, false, false},
    {D3DFMT_A16B16G16R16F, 8, false, GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, {R, G, B, A}, true, false, false},
    {D3DFMT_R32F, 4, false, GL_R32F, GL_RED, GL_FLOAT, {R, O, O, O}, false, false, false},
    {D3DFMT_G32R32F, 8, false, GL_RG32F, GL_RG, GL_FLOAT, {R, G, O, O}, false, false, false},
    {D3DFMT_A32B32G32R32F, 16, false, GL_RGBA32F, GL_RGBA, GL_FLOAT, {R, G, B, A}, true, false, false},
    {D3DFMT_DXT1, 8, true, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {R, G, B, A}, true, false, false},
    {D3DFMT_DXT2, 16, true, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {R, G, B, A}, true, false, false},
    {D3DFMT_DXT3, 16, true, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {R, G, B, A}, true, false, false},
    {D3DFMT_DXT4, 16, true, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {R, G, B, A}, true, false, false},
    {D3DFMT_DXT5, 16, true, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {R, G, B, A}, true, false, false},
    {D3DFMT_D24S8, 4, false, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, {R, G, B, A}, false, true, true},
    {D3DFMT_D24X4S4, 4, false, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, {R, G, B, A}, false, true, true},
    {D3DFMT_D15S1, 2, false, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, {R, G, B, A}, false, true, true},
    {D3DFMT_D24FS8, 4, false, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, {R, G, B, A}, false, true, true},
    {D3DFMT_D32, 4, false, GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, {R, G, B, A}, false, true, false},
    {D3DFMT_D24X8, 4, false, GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, {R, G, B, A}, false, true, false},
    {D3DFMT_D16, 2, false, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, {R, G, B, A}, false, true, false},
    {D3DFMT_D16_LOCKABLE, 2, false, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, {R, G, B, A}, false, true, false},
    {D3DFMT_D32F_LOCKABLE, 4, false, GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_FLOAT, {R, G, B, A}, false, true, false},
};

void Color565(uint16_t c, uint8_t out[4])
{
    out[2] = (uint8_t)(((c >> 11) & 31) * 255 / 31);
    out[1] = (uint8_t)(((c >> 5) & 63) * 255 / 63);
    out[0] = (uint8_t)((c & 31) * 255 / 31);
    out[3] = 255;
}
} // namespace

const FormatDesc* FindFormat(D3DFORMAT format)
{
    for (const FormatDesc& f : kFormats)
        if (f.format == format) return &f;
    return nullptr;
}

UINT FormatPitch(const FormatDesc& f, UINT width)
{
    return f.block ? std::max(1u, (width + 3) / 4) * f.bytesPerPixel : width * f.bytesPerPixel;
}

UINT FormatRows(const FormatDesc& f, UINT height) { return f.block ? std::max(1u, (height + 3) / 4) : height; }

void SetUnusedBits(const FormatDesc& f, uint8_t* row, UINT width)
{
    if (f.format == D3DFMT_X8R8G8B8 || f.format == D3DFMT_X8B8G8R8)
        for (UINT x = 0; x < width; ++x) row[x * 4 + 3] = 0xFF;
    else if (f.format == D3DFMT_X1R5G5B5)
        for (UINT x = 0; x < width; ++x) row[x * 2 + 1] |= 0x80;
    else if (f.format == D3DFMT_X4R4G4B4)
        for (UINT x = 0; x < width; ++x) row[x * 2 + 1] |= 0xF0;
}

bool IsRenderTargetTextureFormat(D3DFORMAT f)
{
    return f == D3DFMT_A8R8G8B8 || f == D3DFMT_X8R8G8B8 || f == D3DFMT_A1R5G5B5 || f == D3DFMT_A4R4G4B4;
}

bool IsDisplayFormat(D3DFORMAT f)
{
    return f == D3DFMT_X8R8G8B8 || f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5 || f == D3DFMT_A2R10G10B10;
}

bool IsDepthFormat(D3DFORMAT f)
{
    const FormatDesc* d = FindFormat(f);
    return d && d->isDepth;
}

void DecodeBlocks(D3DFORMAT format, const uint8_t* src, UINT width, UINT height, uint8_t* bgra)
{
    const UINT bw = std::max(1u, (width + 3) / 4), bh = std::max(1u, (height + 3) / 4);
    const bool dxt1 = format == D3DFMT_DXT1;
    const bool dxt3 = format == D3DFMT_DXT2 || format == D3DFMT_DXT3;
    const UINT blockBytes = dxt1 ? 8 : 16;
    for (UINT by = 0; by < bh; ++by) {
        for (UINT bx = 0; bx < bw; ++bx) {
            const uint8_t* b = src + (by * bw + bx) * blockBytes;
            uint8_t alpha[16];
            const uint8_t* cb = b;
            if (!dxt1) {
                cb = b + 8;
                if (dxt3) {
                    for (int i = 0; i < 16; ++i) {
                        int nib = (b[i / 2] >> ((i & 1) * 4)) & 15;
                        alpha[i] = (uint8_t)(nib * 17);
                    }
                } else {
                    uint8_t a[8];
                    a[0] = b[0];
                    a[1] = b[1];
                    if (a[0] > a[1]) {
                        for (int i = 1; i < 7; ++i) a[i + 1] = (uint8_t)(((7 - i) * a[0] + i * a[1]) / 7);
                    } else {
                        for (int i = 1; i < 5; ++i) a[i + 1] = (uint8_t)(((5 - i) * a[0] + i * a[1]) / 5);
                        a[6] = 0;
                        a[7] = 255;
                    }
                    uint64_t bits = 0;
                    for (int i = 0; i < 6; ++i) bits |= (uint64_t)b[2 + i] << (8 * i);
                    for (int i = 0; i < 16; ++i) alpha[i] = a[(bits >> (3 * i)) & 7];
                }
            }
            uint16_t c0 = (uint16_t)(cb[0] | (cb[1] << 8)), c1 = (uint16_t)(cb[2] | (cb[3] << 8));
            uint8_t pal[4][4];
            Color565(c0, pal[0]);
            Color565(c1, pal[1]);
            if (c0 > c1 || !dxt1) {
                for (int k = 0; k < 4; ++k) {
                    pal[2][k] = (uint8_t)((2 * pal[0][k] + pal[1][k]) / 3);
                    pal[3][k] = (uint8_t)((pal[0][k] + 2 * pal[1][k]) / 3);
                }
            } else {
                for (int k = 0; k < 4; ++k) pal[2][k] = (uint8_t)((pal[0][k] + pal[1][k]) / 2);
                pal[3][0] = pal[3][1] = pal[3][2] = 0;
                pal[3][3] = 0;
            }
            uint32_t idx = (uint32_t)(cb[4] | (cb[5] << 8) | (cb[6] << 16) | ((uint32_t)cb[7] << 24));
            for (int i = 0; i < 16; ++i) {
                UINT x = bx * 4 + (i & 3), y = by * 4 + (i >> 2);
                if (x >= width || y >= height) continue;
                const uint8_t* c = pal[(idx >> (2 * i)) & 3];
                uint8_t* d = bgra + (y * width + x) * 4;
                d[0] = c[0];
                d[1] = c[1];
                d[2] = c[2];
                d[3] = dxt1 ? c[3] : alpha[i];
            }
        }
    }
}

} // namespace d3d9gl
