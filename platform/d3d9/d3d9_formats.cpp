// Pixel formats: their memory layout and GL equivalents; DXT decoding.
#include "d3d9_helpers.h"
#include "d3d9_impl.h"

#include <algorithm>
#include <cstring>

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
    for (UINT by = 0; by < bh; ++by) {
        for (UINT bx = 0; bx < bw; ++bx) {
            uint32_t texels[16];
            DecodeDxtBlock(format, src + (by * bw + bx) * DxtBlockBytes(format), texels);
            for (int i = 0; i < 16; ++i) {
                const UINT x = bx * 4 + (i & 3), y = by * 4 + (i >> 2);
                if (x < width && y < height) std::memcpy(bgra + (y * width + x) * 4, &texels[i], 4);
            }
        }
    }
}

} // namespace d3d9gl
