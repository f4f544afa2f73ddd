// Picture file decoders (BMP, PNG, JPEG, DDS) and encoders (BMP, PNG, JPEG,
// DDS) for D3DX. Every length read from a file is checked against the data
// before it is used, and every picture size against the limits before
// anything of that size is allocated.
#include "d3dx9_image.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <jerror.h>
#include <jpeglib.h>

namespace d3dx {

namespace {

inline uint16_t rd16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t rd32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }

void put16(std::vector<uint8_t>& v, uint32_t x)
{
    v.push_back((uint8_t)x);
    v.push_back((uint8_t)(x >> 8));
}

void put32(std::vector<uint8_t>& v, uint32_t x)
{
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

bool sideOk(long long w, long long h)
{
    return w > 0 && h > 0 && w <= kMaxImageSide && h <= kMaxImageSide;
}

// Whether a w x h picture may be decoded under the limits.
bool fits(long long w, long long h, const DecodeLimits& limits)
{
    long long side = std::min<long long>(limits.maxSide, kMaxImageSide);
    return w > 0 && h > 0 && w <= side && h <= side && (uint64_t)w * (uint64_t)h * 4 <= limits.maxBytes;
}

// A level's size without its pixels, for a description.
Image shapeOnly(UINT w, UINT h)
{
    Image image;
    image.width = w;
    image.height = h;
    return image;
}

// Deflate inflates at most about 1032 to 1.
const uint64_t kMaxInflateRatio = 1032;

// ---- BMP -------------------------------------------------------------------

const uint32_t kBiRgb = 0, kBiBitfields = 3;

struct MaskChannel {
    uint32_t mask = 0;
    int shift = 0, bits = 0;

    explicit MaskChannel(uint32_t m) : mask(m)
    {
        if (!m)
            return;
        while (!(m & 1)) {
            m >>= 1;
            ++shift;
        }
        while (m & 1) {
            m >>= 1;
            ++bits;
        }
    }
    uint32_t get(uint32_t px, uint32_t fallback) const
    {
        if (!mask)
            return fallback;
        uint32_t v = (px & mask) >> shift;
        if (bits >= 8)
            return v >> (bits - 8);
        uint32_t max = (1u << bits) - 1;
        return (v * 255 + max / 2) / max;
    }
};

// The pixels of a BMP file lie in it uncompressed, so it is always read whole.
HRESULT decodeBmp(const uint8_t* d, size_t size, DecodedFile& out, const DecodeLimits& limits)
{
    if (size < 14 + 12 || d[0] != 'B' || d[1] != 'M')
        return D3DXERR_INVALIDDATA;
    uint32_t offBits = rd32(d + 10);
    uint32_t hdrSize = rd32(d + 14);
    if (hdrSize < 12 || hdrSize > size - 14)
        return D3DXERR_INVALIDDATA;
    long long width, height;
    uint32_t bpp, compression = kBiRgb, clrUsed = 0;
    size_t palEntrySize = 4;
    if (hdrSize == 12) {
        width = rd16(d + 18);
        height = (int16_t)rd16(d + 20);
        bpp = rd16(d + 24);
        palEntrySize = 3;
    } else if (hdrSize >= 40) {
        width = (int32_t)rd32(d + 18);
        height = (int32_t)rd32(d + 22);
        bpp = rd16(d + 28);
        compression = rd32(d + 30);
        clrUsed = rd32(d + 46);
    } else {
        return D3DXERR_INVALIDDATA;
    }
    bool topDown = height < 0;
    if (topDown)
        height = -height;
    if (!fits(width, height, limits))
        return D3DXERR_INVALIDDATA;
    const uint32_t kAlphaBitfields = 6;
    bool bitfields = compression == kBiBitfields || compression == kAlphaBitfields;
    if (compression != kBiRgb && !(bitfields && (bpp == 16 || bpp == 32)))
        return D3DXERR_INVALIDDATA; // run-length and embedded formats are not read
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return D3DXERR_INVALIDDATA;

    // Colour masks follow the 40-byte header, or are part of a longer one.
    uint32_t rMask = 0, gMask = 0, bMask = 0, aMask = 0;
    size_t tableStart = 14 + hdrSize;
    if (bitfields) {
        size_t masksEnd = 14 + 40 + (compression == kAlphaBitfields ? 16 : 12);
        if (masksEnd > size)
            return D3DXERR_INVALIDDATA;
        rMask = rd32(d + 54);
        gMask = rd32(d + 58);
        bMask = rd32(d + 62);
        if (hdrSize >= 56 || compression == kAlphaBitfields)
            aMask = rd32(d + 66);
        if (hdrSize == 40)
            tableStart = masksEnd;
    } else if (bpp == 16) {
        rMask = 0x7C00;
        gMask = 0x03E0;
        bMask = 0x001F;
    } else if (bpp == 32 && hdrSize >= 56) {
        aMask = rd32(d + 66); // a V4/V5 header may still name an alpha mask
    }

    std::vector<uint32_t> palette;
    if (bpp <= 8) {
        size_t count = clrUsed ? clrUsed : (1u << bpp);
        if (count > 256)
            return D3DXERR_INVALIDDATA;
        if (tableStart + count * palEntrySize > size)
            return D3DXERR_INVALIDDATA;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* p = d + tableStart + i * palEntrySize;
            palette.push_back(0xFF000000u | (p[2] << 16) | (p[1] << 8) | p[0]);
        }
    }

    size_t stride = (((size_t)width * bpp + 31) / 32) * 4;
    if (offBits < 14 + hdrSize || offBits > size || stride * (size_t)height > size - offBits)
        return D3DXERR_INVALIDDATA;

    Image img((UINT)width, (UINT)height);
    bool anyAlpha = false;
    MaskChannel mr(rMask), mg(gMask), mb(bMask), ma(aMask);
    for (long long y = 0; y < height; ++y) {
        const uint8_t* row = d + offBits + stride * (size_t)(topDown ? y : height - 1 - y);
        for (long long x = 0; x < width; ++x) {
            uint32_t c;
            switch (bpp) {
            case 1:
            case 4:
            case 8: {
                size_t bit = (size_t)x * bpp;
                uint32_t idx = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
                c = idx < palette.size() ? palette[idx] : 0xFF000000u;
                break;
            }
            case 16: {
                uint32_t px = rd16(row + 2 * x);
                c = (ma.get(px, 255) << 24) | (mr.get(px, 0) << 16) | (mg.get(px, 0) << 8) | mb.get(px, 0);
                break;
            }
            case 24:
                c = 0xFF000000u | (row[3 * x + 2] << 16) | (row[3 * x + 1] << 8) | row[3 * x];
                break;
            default: {
                uint32_t px = rd32(row + 4 * x);
                if (bitfields)
                    c = (ma.get(px, 255) << 24) | (mr.get(px, 0) << 16) | (mg.get(px, 0) << 8) | mb.get(px, 0);
                else
                    c = px; // B, G, R and the fourth byte as alpha
                break;
            }
            }
            anyAlpha = anyAlpha || (c >> 24) != 0;
            img.at((UINT)x, (UINT)y) = c;
        }
    }

    D3DFORMAT fmt;
    if (bpp <= 8) {
        fmt = D3DFMT_P8;
    } else if (bpp == 24) {
        fmt = D3DFMT_R8G8B8;
    } else if (bpp == 16) {
        if (rMask == 0xF800 && gMask == 0x07E0 && bMask == 0x001F)
            fmt = D3DFMT_R5G6B5;
        else if (aMask == 0x8000)
            fmt = D3DFMT_A1R5G5B5;
        else if (aMask == 0xF000)
            fmt = D3DFMT_A4R4G4B4;
        else
            fmt = aMask ? D3DFMT_A8R8G8B8 : D3DFMT_X1R5G5B5;
    } else if (bitfields) {
        fmt = aMask ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    } else {
        // A 32-bit picture whose fourth bytes are all zero carries no alpha.
        fmt = (anyAlpha || aMask) ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
        if (fmt == D3DFMT_X8R8G8B8)
            for (uint32_t& c : img.argb)
                c |= 0xFF000000u;
    }
    out.levels.clear();
    out.levels.push_back(std::move(img));
    out.format = fmt;
    out.fileFormat = D3DXIFF_BMP;
    return S_OK;
}

// ---- PNG -------------------------------------------------------------------

// Bits per pixel of a PNG file's own pixels, from its header chunk (which
// comes first); 0 for an unknown colour type.
uint64_t pngBitsPerPixel(const uint8_t* d)
{
    const uint8_t depth = d[24], colourType = d[25];
    const uint64_t kChannels[] = {1, 0, 3, 1, 2, 0, 4};
    return colourType < 7 ? depth * kChannels[colourType] : 0;
}

HRESULT decodePng(const uint8_t* d, size_t size, DecodedFile& out, const DecodeLimits& limits, bool infoOnly)
{
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, d, size))
        return D3DXERR_INVALIDDATA;
    // The compressed data must be able to hold the pixels it announces;
    // a file too short for them is truncated, whatever its header says.
    uint64_t pixelBits = (uint64_t)image.width * image.height * pngBitsPerPixel(d);
    if (!fits(image.width, image.height, limits) || pixelBits == 0 ||
        (!infoOnly && pixelBits / 8 > size * kMaxInflateRatio)) {
        png_image_free(&image);
        return D3DXERR_INVALIDDATA;
    }
    out.levels.clear();
    out.format = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0 ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    out.fileFormat = D3DXIFF_PNG;
    if (infoOnly) {
        out.levels.push_back(shapeOnly(image.width, image.height));
        png_image_free(&image);
        return S_OK;
    }
    image.format = PNG_FORMAT_BGRA;
    Image img;
    try {
        img = Image(image.width, image.height);
    } catch (const std::bad_alloc&) {
        png_image_free(&image);
        return E_OUTOFMEMORY;
    }
    if (!png_image_finish_read(&image, nullptr, img.argb.data(), (png_int_32)(image.width * 4), nullptr)) {
        png_image_free(&image);
        return D3DXERR_INVALIDDATA;
    }
    png_image_free(&image);
    // BGRA bytes are little-endian ARGB words.
    out.levels.push_back(std::move(img));
    return S_OK;
}

// ---- JPEG ------------------------------------------------------------------

struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

void jpegFail(j_common_ptr cinfo)
{
    longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

// Warnings pass, except the end of the data arriving early.
void jpegMessage(j_common_ptr cinfo, int level)
{
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF)
        jpegFail(cinfo);
}

void jpegSilent(j_common_ptr) {}

// libjpeg's work memory beside the coefficients of a buffered picture.
const long kJpegWorkBytes = 16L << 20;

HRESULT decodeJpeg(const uint8_t* d, size_t size, DecodedFile& out, const DecodeLimits& limits, bool infoOnly)
{
    jpeg_decompress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegFail;
    err.mgr.emit_message = jpegMessage;
    err.mgr.output_message = jpegSilent;
    out.levels.assign(1, Image());
    out.format = D3DFMT_X8R8G8B8;
    out.fileFormat = D3DXIFF_JPG;
    if (setjmp(err.jump)) {
        bool noMemory = err.mgr.msg_code == JERR_OUT_OF_MEMORY;
        jpeg_destroy_decompress(&cinfo);
        out.levels.clear();
        return noMemory ? E_OUTOFMEMORY : D3DXERR_INVALIDDATA;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, d, (unsigned long)size);
    jpeg_read_header(&cinfo, TRUE);
    // The size is checked before libjpeg allocates anything for it. A
    // progressive or multi-scan picture keeps all its coefficients, at most
    // twice its decoded pixels; libjpeg refuses to take more than that.
    if (!fits(cinfo.image_width, cinfo.image_height, limits))
        jpegFail(reinterpret_cast<j_common_ptr>(&cinfo));
    if (infoOnly) {
        out.levels[0] = shapeOnly(cinfo.image_width, cinfo.image_height);
        jpeg_destroy_decompress(&cinfo);
        return S_OK;
    }
    cinfo.mem->max_memory_to_use = 2 * 4 * (long)cinfo.image_width * (long)cinfo.image_height + kJpegWorkBytes;
    bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(&cinfo);
    if (!fits(cinfo.output_width, cinfo.output_height, limits) || cinfo.output_components != 4)
        jpegFail(reinterpret_cast<j_common_ptr>(&cinfo));
    Image& img = out.levels[0];
    try {
        img = Image(cinfo.output_width, cinfo.output_height);
    } catch (const std::bad_alloc&) {
        jpeg_destroy_decompress(&cinfo);
        out.levels.clear();
        return E_OUTOFMEMORY;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(&img.argb[(size_t)cinfo.output_scanline * img.width]);
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    if (cmyk) {
        // Adobe's inverted CMYK, as written by every common encoder.
        for (uint32_t& c : img.argb) {
            uint32_t cc = c & 0xFF, m = (c >> 8) & 0xFF, y = (c >> 16) & 0xFF, k = c >> 24;
            c = 0xFF000000u | ((cc * k / 255) << 16) | ((m * k / 255) << 8) | (y * k / 255);
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return S_OK;
}

// ---- DDS -------------------------------------------------------------------

const uint32_t kDdsdMipMapCount = 0x20000;
const uint32_t kDdpfAlphaPixels = 0x1, kDdpfAlpha = 0x2, kDdpfFourCC = 0x4, kDdpfRgb = 0x40,
               kDdpfLuminance = 0x20000;
const uint32_t kDdsCaps2Cube = 0x200, kDdsCaps2Volume = 0x200000;

D3DFORMAT ddsMaskFormat(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    struct {
        D3DFORMAT fmt;
        uint32_t bits, r, g, b, a;
    } const table[] = {
        {D3DFMT_A8R8G8B8, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u},
        {D3DFMT_X8R8G8B8, 32, 0xFF0000, 0xFF00, 0xFF, 0},
        {D3DFMT_A8B8G8R8, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u},
        {D3DFMT_X8B8G8R8, 32, 0xFF, 0xFF00, 0xFF0000, 0},
        {D3DFMT_R8G8B8, 24, 0xFF0000, 0xFF00, 0xFF, 0},
        {D3DFMT_R5G6B5, 16, 0xF800, 0x07E0, 0x1F, 0},
        {D3DFMT_A1R5G5B5, 16, 0x7C00, 0x03E0, 0x1F, 0x8000},
        {D3DFMT_X1R5G5B5, 16, 0x7C00, 0x03E0, 0x1F, 0},
        {D3DFMT_A4R4G4B4, 16, 0xF00, 0xF0, 0xF, 0xF000},
        {D3DFMT_X4R4G4B4, 16, 0xF00, 0xF0, 0xF, 0},
        {D3DFMT_A2R10G10B10, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000u},
        {D3DFMT_A2B10G10R10, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000u},
    };
    for (const auto& t : table)
        if (t.bits == bits && t.r == r && t.g == g && t.b == b && t.a == a)
            return t.fmt;
    return D3DFMT_UNKNOWN;
}

HRESULT decodeDds(const uint8_t* d, size_t size, DecodedFile& out, const DecodeLimits& limits, bool infoOnly)
{
    if (size < 128 || std::memcmp(d, "DDS ", 4) != 0 || rd32(d + 4) != 124 || rd32(d + 76) != 32)
        return D3DXERR_INVALIDDATA;
    uint32_t flags = rd32(d + 8);
    long long height = rd32(d + 12), width = rd32(d + 16);
    uint32_t mipCount = rd32(d + 28);
    uint32_t pfFlags = rd32(d + 80), fourCC = rd32(d + 84), bits = rd32(d + 88);
    uint32_t rMask = rd32(d + 92), gMask = rd32(d + 96), bMask = rd32(d + 100), aMask = rd32(d + 104);
    uint32_t caps2 = rd32(d + 112);
    if (!fits(width, height, limits) || (caps2 & (kDdsCaps2Cube | kDdsCaps2Volume)))
        return D3DXERR_INVALIDDATA;
    UINT levels = (flags & kDdsdMipMapCount) && mipCount > 0 ? mipCount : 1;
    UINT fullChain = 1;
    for (long long s = std::max(width, height); s > 1; s /= 2)
        ++fullChain;
    if (levels > fullChain)
        return D3DXERR_INVALIDDATA;

    D3DFORMAT fmt = D3DFMT_UNKNOWN;
    bool masks = false;
    if (pfFlags & kDdpfFourCC) {
        switch (fourCC) {
        case MAKEFOURCC('D', 'X', 'T', '1'): fmt = D3DFMT_DXT1; break;
        case MAKEFOURCC('D', 'X', 'T', '2'): fmt = D3DFMT_DXT2; break;
        case MAKEFOURCC('D', 'X', 'T', '3'): fmt = D3DFMT_DXT3; break;
        case MAKEFOURCC('D', 'X', 'T', '4'): fmt = D3DFMT_DXT4; break;
        case MAKEFOURCC('D', 'X', 'T', '5'): fmt = D3DFMT_DXT5; break;
        default:
            fmt = WritableFormatFromCode(fourCC); // a Direct3D format number stored as the code
            break;
        }
    } else if (pfFlags & (kDdpfRgb | kDdpfLuminance | kDdpfAlpha)) {
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
            return D3DXERR_INVALIDDATA;
        if (!(pfFlags & (kDdpfAlphaPixels | kDdpfAlpha)))
            aMask = 0;
        if (pfFlags & kDdpfLuminance)
            fmt = bits == 8 && !aMask ? D3DFMT_L8 : bits == 16 && aMask ? D3DFMT_A8L8 : bits == 16 ? D3DFMT_L16 : D3DFMT_UNKNOWN;
        else if (pfFlags & kDdpfAlpha)
            fmt = bits == 8 ? D3DFMT_A8 : D3DFMT_UNKNOWN;
        else
            fmt = ddsMaskFormat(bits, rMask, gMask, bMask, aMask);
        if (fmt == D3DFMT_UNKNOWN && !(pfFlags & kDdpfLuminance))
            masks = true; // an unusual layout, read through its masks
    }
    if (fmt == D3DFMT_UNKNOWN && !masks)
        return D3DXERR_INVALIDDATA;

    // Every level's data must be there, and all levels within the limits,
    // before any is decoded.
    auto levelLayout = [&](UINT w, UINT h, size_t& rowBytes, size_t& rows) {
        if (IsBlockCompressed(fmt)) {
            rowBytes = ((w + 3) / 4) * (fmt == D3DFMT_DXT1 ? 8 : 16);
            rows = (h + 3) / 4;
        } else {
            rowBytes = ((size_t)w * (masks ? bits : BitsPerPixel(fmt)) + 7) / 8;
            rows = h;
        }
    };
    uint64_t dataBytes = 0, pixelBytes = 0;
    UINT w = (UINT)width, h = (UINT)height;
    for (UINT level = 0; level < levels; ++level) {
        size_t rowBytes, rows;
        levelLayout(w, h, rowBytes, rows);
        dataBytes += (uint64_t)rowBytes * rows;
        pixelBytes += (uint64_t)w * h * 4;
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
    }
    if (dataBytes > size - 128 || pixelBytes > limits.maxBytes)
        return D3DXERR_INVALIDDATA;

    out.levels.clear();
    size_t offset = 128;
    w = (UINT)width;
    h = (UINT)height;
    for (UINT level = 0; level < levels; ++level) {
        size_t rowBytes, rows;
        levelLayout(w, h, rowBytes, rows);
        if (infoOnly) {
            out.levels.push_back(shapeOnly(w, h));
            w = std::max(1u, w / 2);
            h = std::max(1u, h / 2);
            continue;
        }
        Image img(w, h);
        const uint8_t* p = d + offset;
        if (IsBlockCompressed(fmt)) {
            UnpackBlocks(fmt, p, rowBytes, img);
        } else if (masks) {
            MaskChannel mr(rMask), mg(gMask), mb(bMask), ma(aMask);
            UINT bytes = bits / 8;
            for (UINT y = 0; y < h; ++y)
                for (UINT x = 0; x < w; ++x) {
                    const uint8_t* q = p + y * rowBytes + (size_t)x * bytes;
                    uint32_t px = 0;
                    for (UINT k = 0; k < bytes; ++k)
                        px |= (uint32_t)q[k] << (8 * k);
                    img.at(x, y) = (ma.get(px, 255) << 24) | (mr.get(px, 0) << 16) | (mg.get(px, 0) << 8) | mb.get(px, 0);
                }
        } else {
            for (UINT y = 0; y < h; ++y)
                UnpackRow(fmt, p + y * rowBytes, &img.argb[(size_t)y * w], w);
        }
        offset += rowBytes * rows;
        out.levels.push_back(std::move(img));
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
    }
    if (masks)
        fmt = aMask ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    out.format = fmt;
    out.fileFormat = D3DXIFF_DDS;
    return S_OK;
}

HRESULT decode(const void* data, size_t size, DecodedFile& out, const DecodeLimits& limits, bool infoOnly)
{
    out = DecodedFile();
    const uint8_t* d = static_cast<const uint8_t*>(data);
    if (!d || size < 4)
        return D3DXERR_INVALIDDATA;
    HRESULT hr = D3DXERR_INVALIDDATA;
    try {
        if (d[0] == 'B' && d[1] == 'M')
            hr = decodeBmp(d, size, out, limits);
        else if (size >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0)
            hr = decodePng(d, size, out, limits, infoOnly);
        else if (d[0] == 0xFF && d[1] == 0xD8)
            hr = decodeJpeg(d, size, out, limits, infoOnly);
        else if (std::memcmp(d, "DDS ", 4) == 0)
            hr = decodeDds(d, size, out, limits, infoOnly);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr))
        out = DecodedFile();
    return hr;
}

} // namespace

HRESULT DecodeImage(const void* data, size_t size, DecodedFile& out, const DecodeLimits& limits)
{
    return decode(data, size, out, limits, false);
}

HRESULT DecodeImageInfo(const void* data, size_t size, DecodedFile& out)
{
    // Only BMP pictures are decoded for their description, and their pixels
    // are all in the data: no limit on the bytes.
    DecodeLimits limits;
    limits.maxBytes = SIZE_MAX;
    return decode(data, size, out, limits, true);
}

// ---- Encoders ----------------------------------------------------------------

bool EncodeBmp(const Image& image, bool alpha, std::vector<uint8_t>& out)
{
    if (!sideOk(image.width, image.height))
        return false;
    const uint32_t bpp = alpha ? 32 : 24;
    const uint32_t hdr = alpha ? 108 : 40; // with alpha: a header naming the alpha mask
    size_t stride = (((size_t)image.width * bpp + 31) / 32) * 4;
    size_t dataSize = stride * image.height;
    if (14 + hdr + dataSize > 0xFFFFFFFFu)
        return false;
    out.clear();
    out.reserve(14 + hdr + dataSize);
    out.push_back('B');
    out.push_back('M');
    put32(out, (uint32_t)(14 + hdr + dataSize));
    put32(out, 0);
    put32(out, 14 + hdr);
    put32(out, hdr);
    put32(out, image.width);
    put32(out, image.height); // bottom-up
    put16(out, 1);
    put16(out, bpp);
    put32(out, alpha ? kBiBitfields : kBiRgb);
    put32(out, (uint32_t)dataSize);
    put32(out, 2835); // 72 dpi
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    if (alpha) {
        put32(out, 0x00FF0000);
        put32(out, 0x0000FF00);
        put32(out, 0x000000FF);
        put32(out, 0xFF000000u);
        put32(out, 0x73524742); // 'sRGB'
        for (int i = 0; i < 12; ++i)
            put32(out, 0); // endpoints and gamma
    }
    for (UINT y = image.height; y-- > 0;) {
        size_t start = out.size();
        for (UINT x = 0; x < image.width; ++x) {
            uint32_t c = image.at(x, y);
            out.push_back((uint8_t)c);
            out.push_back((uint8_t)(c >> 8));
            out.push_back((uint8_t)(c >> 16));
            if (alpha)
                out.push_back((uint8_t)(c >> 24));
        }
        while (out.size() - start < stride)
            out.push_back(0);
    }
    return true;
}

bool EncodePng(const Image& image, bool alpha, std::vector<uint8_t>& out)
{
    if (!sideOk(image.width, image.height))
        return false;
    png_image png;
    std::memset(&png, 0, sizeof(png));
    png.version = PNG_IMAGE_VERSION;
    png.width = image.width;
    png.height = image.height;
    png.format = alpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
    std::vector<uint8_t> pixels;
    const void* src = image.argb.data();
    if (!alpha) {
        pixels.resize((size_t)image.width * image.height * 3);
        for (size_t i = 0; i < image.argb.size(); ++i) {
            pixels[3 * i] = (uint8_t)image.argb[i];
            pixels[3 * i + 1] = (uint8_t)(image.argb[i] >> 8);
            pixels[3 * i + 2] = (uint8_t)(image.argb[i] >> 16);
        }
        src = pixels.data();
    }
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, src, 0, nullptr))
        return false;
    out.resize(size);
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, src, 0, nullptr))
        return false;
    out.resize(size);
    return true;
}

namespace {

HRESULT encodeJpegInto(const Image& image, unsigned char** mem, unsigned long* memSize)
{
    jpeg_compress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegFail;
    err.mgr.output_message = jpegSilent;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return E_FAIL;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, mem, memSize);
    cinfo.image_width = image.width;
    cinfo.image_height = image.height;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = (JSAMPROW)(const void*)&image.argb[(size_t)cinfo.next_scanline * image.width];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return S_OK;
}

} // namespace

bool EncodeJpeg(const Image& image, std::vector<uint8_t>& out)
{
    if (!sideOk(image.width, image.height))
        return false;
    unsigned char* mem = nullptr;
    unsigned long memSize = 0;
    HRESULT hr = encodeJpegInto(image, &mem, &memSize);
    if (SUCCEEDED(hr) && mem)
        out.assign(mem, mem + memSize);
    std::free(mem);
    return SUCCEEDED(hr) && !out.empty();
}

bool EncodeDds(const Image& image, bool alpha, std::vector<uint8_t>& out)
{
    if (!sideOk(image.width, image.height))
        return false;
    out.clear();
    out.reserve(128 + image.argb.size() * 4);
    put32(out, MAKEFOURCC('D', 'D', 'S', ' '));
    put32(out, 124);
    put32(out, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000); // caps, height, width, pitch, pixel format
    put32(out, image.height);
    put32(out, image.width);
    put32(out, image.width * 4);
    put32(out, 0);
    put32(out, 1);
    for (int i = 0; i < 11; ++i)
        put32(out, 0);
    put32(out, 32);
    put32(out, kDdpfRgb | (alpha ? kDdpfAlphaPixels : 0));
    put32(out, 0);
    put32(out, 32);
    put32(out, 0x00FF0000);
    put32(out, 0x0000FF00);
    put32(out, 0x000000FF);
    put32(out, alpha ? 0xFF000000u : 0);
    put32(out, 0x1000); // texture
    for (int i = 0; i < 4; ++i)
        put32(out, 0);
    for (uint32_t c : image.argb)
        put32(out, alpha ? c : (c | 0xFF000000u));
    return true;
}

} // namespace d3dx
