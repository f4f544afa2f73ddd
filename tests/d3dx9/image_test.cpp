// Picture decoders and encoders: fixtures (PNG and JPEG from the shared
// picture fixtures, BMP and DDS by hand), truncated, corrupt and hostile
// ones, and round trips.
#include "d3dx9/d3dx9_image.h"
#include "address_limit.h"
#include "allocation_cap.h"
#include "picture_fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using d3dx::DecodedFile;
using d3dx::Image;

namespace {

typedef std::vector<uint8_t> Bytes;

void put16(Bytes& v, uint32_t x)
{
    v.push_back((uint8_t)x);
    v.push_back((uint8_t)(x >> 8));
}

void put32(Bytes& v, uint32_t x)
{
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

// A BMP with a 40-byte header; rows given top-down as raw pixel bytes.
Bytes makeBmp(int w, int h, int bpp, const std::vector<Bytes>& rows, bool topDown = false,
              const std::vector<uint32_t>& palette = {}, uint32_t compression = 0,
              const std::vector<uint32_t>& masks = {})
{
    size_t stride = (((size_t)w * bpp + 31) / 32) * 4;
    size_t extra = palette.size() * 4 + masks.size() * 4;
    Bytes b;
    b.push_back('B');
    b.push_back('M');
    put32(b, (uint32_t)(14 + 40 + extra + stride * h));
    put32(b, 0);
    put32(b, (uint32_t)(14 + 40 + extra));
    put32(b, 40);
    put32(b, w);
    put32(b, topDown ? (uint32_t)-h : (uint32_t)h);
    put16(b, 1);
    put16(b, bpp);
    put32(b, compression);
    put32(b, (uint32_t)(stride * h));
    put32(b, 0);
    put32(b, 0);
    put32(b, (uint32_t)palette.size());
    put32(b, 0);
    for (uint32_t m : masks)
        put32(b, m);
    for (uint32_t c : palette)
        put32(b, c);
    for (int i = 0; i < h; ++i) {
        const Bytes& row = rows[topDown ? i : h - 1 - i];
        Bytes padded = row;
        padded.resize(stride, 0);
        b.insert(b.end(), padded.begin(), padded.end());
    }
    return b;
}

// A DDS header followed by the data.
Bytes makeDds(uint32_t w, uint32_t h, uint32_t mips, uint32_t pfFlags, uint32_t fourCC, uint32_t bits,
              uint32_t r, uint32_t g, uint32_t bl, uint32_t a, const Bytes& data)
{
    Bytes b = {'D', 'D', 'S', ' '};
    put32(b, 124);
    put32(b, 0x1 | 0x2 | 0x4 | 0x1000 | (mips > 1 ? 0x20000 : 0));
    put32(b, h);
    put32(b, w);
    put32(b, 0);
    put32(b, 0);
    put32(b, mips);
    for (int i = 0; i < 11; ++i)
        put32(b, 0);
    put32(b, 32);
    put32(b, pfFlags);
    put32(b, fourCC);
    put32(b, bits);
    put32(b, r);
    put32(b, g);
    put32(b, bl);
    put32(b, a);
    put32(b, 0x1000);
    for (int i = 0; i < 4; ++i)
        put32(b, 0);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

Image gradient(UINT w, UINT h, bool alpha)
{
    Image img(w, h);
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x)
            img.at(x, y) = ((alpha ? (x * 37 + y * 11) & 0xFF : 0xFF) << 24) | ((x * 50 & 0xFF) << 16) |
                           ((y * 70 & 0xFF) << 8) | ((x * y * 13) & 0xFF);
    return img;
}

HRESULT decode(const Bytes& b, DecodedFile& f)
{
    return d3dx::DecodeImage(b.data(), b.size(), f);
}

} // namespace

TEST(ImageDecode, Png)
{
    std::vector<uint32_t> px = {0x80FF0000, 0xFF00FF00, 0x000000FF, 0x40102030, 0xFFFFFFFF, 0x01020304};
    DecodedFile f;
    ASSERT_EQ(decode(fixtures::MakePng(3, 2, true, px), f), S_OK);
    EXPECT_EQ(f.fileFormat, D3DXIFF_PNG);
    EXPECT_EQ(f.format, D3DFMT_A8R8G8B8);
    ASSERT_EQ(f.levels.size(), 1u);
    EXPECT_EQ(f.levels[0].width, 3u);
    EXPECT_EQ(f.levels[0].height, 2u);
    EXPECT_EQ(f.levels[0].argb, px);

    ASSERT_EQ(decode(fixtures::MakePng(3, 2, false, px), f), S_OK);
    EXPECT_EQ(f.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(f.levels[0].at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(f.levels[0].at(2, 1), 0xFF020304u);
}

TEST(ImageDecode, Jpeg)
{
    const uint8_t colour[3] = {200, 100, 50};
    DecodedFile f;
    ASSERT_EQ(decode(fixtures::MakeFlatJpeg(16, 8, 3, colour), f), S_OK);
    EXPECT_EQ(f.fileFormat, D3DXIFF_JPG);
    EXPECT_EQ(f.format, D3DFMT_X8R8G8B8);
    ASSERT_EQ(f.levels[0].width, 16u);
    ASSERT_EQ(f.levels[0].height, 8u);
    for (uint32_t c : f.levels[0].argb) {
        EXPECT_EQ(c >> 24, 0xFFu);
        EXPECT_NEAR((int)((c >> 16) & 0xFF), 200, 3);
        EXPECT_NEAR((int)((c >> 8) & 0xFF), 100, 3);
        EXPECT_NEAR((int)(c & 0xFF), 50, 3);
    }
    const uint8_t grey[3] = {77, 0, 0};
    ASSERT_EQ(decode(fixtures::MakeFlatJpeg(5, 3, 1, grey), f), S_OK);
    uint32_t c = f.levels[0].at(4, 2);
    EXPECT_NEAR((int)(c & 0xFF), 77, 2);
    EXPECT_EQ((c >> 16) & 0xFF, c & 0xFF);
}

TEST(ImageDecode, Bmp24And32)
{
    // 3x2, 24-bit, bottom-up: rows padded to 12 bytes.
    std::vector<Bytes> rows = {{0, 0, 255, 0, 255, 0, 255, 0, 0}, {1, 2, 3, 4, 5, 6, 7, 8, 9}};
    DecodedFile f;
    ASSERT_EQ(decode(makeBmp(3, 2, 24, rows), f), S_OK);
    EXPECT_EQ(f.format, D3DFMT_R8G8B8);
    EXPECT_EQ(f.levels[0].at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(f.levels[0].at(1, 0), 0xFF00FF00u);
    EXPECT_EQ(f.levels[0].at(2, 0), 0xFF0000FFu);
    EXPECT_EQ(f.levels[0].at(0, 1), 0xFF030201u);
    // The same rows stored top-down read the same.
    DecodedFile t;
    ASSERT_EQ(decode(makeBmp(3, 2, 24, rows, true), t), S_OK);
    EXPECT_EQ(t.levels[0].argb, f.levels[0].argb);

    // 32-bit: the fourth byte is alpha and is kept.
    std::vector<Bytes> rgba = {{10, 20, 30, 0, 40, 50, 60, 128}, {70, 80, 90, 255, 1, 1, 1, 7}};
    ASSERT_EQ(decode(makeBmp(2, 2, 32, rgba), f), S_OK);
    EXPECT_EQ(f.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(f.levels[0].at(0, 0), 0x001E140Au);
    EXPECT_EQ(f.levels[0].at(1, 0), 0x803C3228u);
    EXPECT_EQ(f.levels[0].at(1, 1), 0x07010101u);

    // All fourth bytes zero: no alpha in the picture, it is opaque.
    std::vector<Bytes> rgbx = {{10, 20, 30, 0, 40, 50, 60, 0}};
    ASSERT_EQ(decode(makeBmp(2, 1, 32, rgbx), f), S_OK);
    EXPECT_EQ(f.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(f.levels[0].at(0, 0), 0xFF1E140Au);
}

TEST(ImageDecode, BmpPaletteAndBitfields)
{
    std::vector<uint32_t> palette = {0x00FF0000, 0x0000FF00, 0x000000FF};
    std::vector<Bytes> rows = {{0, 1, 2, 0, 7}}; // index 7 lies outside the palette
    DecodedFile f;
    ASSERT_EQ(decode(makeBmp(5, 1, 8, rows, false, palette), f), S_OK);
    EXPECT_EQ(f.format, D3DFMT_P8);
    EXPECT_EQ(f.levels[0].at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(f.levels[0].at(2, 0), 0xFF0000FFu);
    EXPECT_EQ(f.levels[0].at(4, 0), 0xFF000000u);

    // 16-bit 5-6-5 through bit fields.
    std::vector<Bytes> px = {{0x00, 0xF8, 0xE0, 0x07}};
    ASSERT_EQ(decode(makeBmp(2, 1, 16, px, false, {}, 3, {0xF800, 0x07E0, 0x001F}), f), S_OK);
    EXPECT_EQ(f.format, D3DFMT_R5G6B5);
    EXPECT_EQ(f.levels[0].at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(f.levels[0].at(1, 0), 0xFF00FF00u);
}

TEST(ImageDecode, DdsUncompressedWithMips)
{
    Bytes data;
    for (uint32_t i = 0; i < 16; ++i)
        put32(data, 0x11000000u * (i & 1) + i);
    for (uint32_t i = 0; i < 4; ++i)
        put32(data, 0xAA000000u + i);
    put32(data, 0xFFFFFFFF);
    DecodedFile f;
    ASSERT_EQ(decode(makeDds(4, 4, 3, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, data), f), S_OK);
    EXPECT_EQ(f.fileFormat, D3DXIFF_DDS);
    EXPECT_EQ(f.format, D3DFMT_A8R8G8B8);
    ASSERT_EQ(f.levels.size(), 3u);
    EXPECT_EQ(f.levels[0].at(1, 0), 0x11000001u);
    EXPECT_EQ(f.levels[1].width, 2u);
    EXPECT_EQ(f.levels[1].at(1, 1), 0xAA000003u);
    EXPECT_EQ(f.levels[2].at(0, 0), 0xFFFFFFFFu);

    // 5-6-5 without alpha.
    Bytes d565;
    put16(d565, 0xF800);
    ASSERT_EQ(decode(makeDds(1, 1, 1, 0x40, 0, 16, 0xF800, 0x07E0, 0x1F, 0, d565), f), S_OK);
    EXPECT_EQ(f.format, D3DFMT_R5G6B5);
    EXPECT_EQ(f.levels[0].at(0, 0), 0xFFFF0000u);
}

TEST(ImageDecode, DdsDxtBlocks)
{
    // Colour endpoints red (0xF800) and blue (0x001F); texel i takes index i % 4.
    Bytes colour;
    put16(colour, 0xF800);
    put16(colour, 0x001F);
    put32(colour, 0xE4E4E4E4); // indices 0,1,2,3 in every row
    DecodedFile f;
    ASSERT_EQ(decode(makeDds(4, 4, 1, 0x4, MAKEFOURCC('D', 'X', 'T', '1'), 0, 0, 0, 0, 0, colour), f), S_OK);
    EXPECT_EQ(f.format, D3DFMT_DXT1);
    const Image& img = f.levels[0];
    EXPECT_EQ(img.at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(img.at(1, 0), 0xFF0000FFu);
    EXPECT_EQ(img.at(2, 2), 0xFFAA0055u); // 2/3 red + 1/3 blue
    EXPECT_EQ(img.at(3, 3), 0xFF5500AAu);

    // Endpoints in the other order: three colours and transparent black.
    Bytes punch;
    put16(punch, 0x001F);
    put16(punch, 0xF800);
    put32(punch, 0xE4E4E4E4);
    ASSERT_EQ(decode(makeDds(4, 4, 1, 0x4, MAKEFOURCC('D', 'X', 'T', '1'), 0, 0, 0, 0, 0, punch), f), S_OK);
    EXPECT_EQ(f.levels[0].at(2, 0), 0xFF800080u);
    EXPECT_EQ(f.levels[0].at(3, 0), 0x00000000u);

    // DXT3: explicit 4-bit alpha, texel 0 = 0xF, texel 1 = 0x0, the rest 0x8.
    Bytes dxt3 = {0x0F, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88};
    dxt3.insert(dxt3.end(), colour.begin(), colour.end());
    ASSERT_EQ(decode(makeDds(4, 4, 1, 0x4, MAKEFOURCC('D', 'X', 'T', '3'), 0, 0, 0, 0, 0, dxt3), f), S_OK);
    EXPECT_EQ(f.levels[0].at(0, 0) >> 24, 0xFFu);
    EXPECT_EQ(f.levels[0].at(1, 0) >> 24, 0x00u);
    EXPECT_EQ(f.levels[0].at(2, 0) >> 24, 0x88u);

    // DXT5: endpoints 255 and 0, texel 0 index 0, texel 1 index 1, the rest index 7.
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i)
        bits |= (uint64_t)(i == 0 ? 0 : i == 1 ? 1 : 7) << (3 * i);
    Bytes dxt5 = {255, 0};
    for (int i = 0; i < 6; ++i)
        dxt5.push_back((uint8_t)(bits >> (8 * i)));
    dxt5.insert(dxt5.end(), colour.begin(), colour.end());
    ASSERT_EQ(decode(makeDds(4, 4, 1, 0x4, MAKEFOURCC('D', 'X', 'T', '5'), 0, 0, 0, 0, 0, dxt5), f), S_OK);
    EXPECT_EQ(f.levels[0].at(0, 0) >> 24, 255u);
    EXPECT_EQ(f.levels[0].at(1, 0) >> 24, 0u);
    EXPECT_EQ(f.levels[0].at(2, 0) >> 24, 36u); // (255 + 6 * 0) / 7

    // A 2x2 picture still reads its one 4x4 block.
    ASSERT_EQ(decode(makeDds(2, 2, 1, 0x4, MAKEFOURCC('D', 'X', 'T', '1'), 0, 0, 0, 0, 0, colour), f), S_OK);
    EXPECT_EQ(f.levels[0].at(1, 1), 0xFF0000FFu);
}

TEST(ImageDecode, TruncatedAndCorruptDataFailCleanly)
{
    std::vector<uint32_t> px(64, 0xFF336699);
    const uint8_t colour[3] = {1, 2, 3};
    Bytes data;
    for (int i = 0; i < 16; ++i)
        put32(data, 0xFF000000u + i);
    Bytes dxt(8 * 4, 0x55);
    struct {
        const char* name;
        Bytes file;
    } fixtures[] = {
        {"png", fixtures::MakePng(8, 8, true, px)},
        {"jpeg", fixtures::MakeFlatJpeg(16, 16, 3, colour)},
        {"progressive jpeg", fixtures::MakeJpeg(16, 16, fixtures::JpegKind::Progressive)},
        {"jpeg with a scan per component", fixtures::MakeJpeg(16, 16, fixtures::JpegKind::ScanPerComponent)},
        {"bmp24", makeBmp(4, 4, 24, std::vector<Bytes>(4, Bytes(12, 9)))},
        {"bmp32", makeBmp(4, 4, 32, std::vector<Bytes>(4, Bytes(16, 9)))},
        {"dds", makeDds(4, 4, 1, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, data)},
        {"dxt1", makeDds(8, 8, 1, 0x4, MAKEFOURCC('D', 'X', 'T', '1'), 0, 0, 0, 0, 0, dxt)},
    };
    for (const auto& fx : fixtures) {
        DecodedFile f;
        ASSERT_EQ(decode(fx.file, f), S_OK) << fx.name;
        // Every cut short of the whole file is refused (a PNG missing only its
        // closing chunk still holds the whole picture).
        size_t end = std::string(fx.name) == "png" ? fx.file.size() - 12 : fx.file.size();
        for (size_t len = 0; len < end; len += (len < 64 ? 1 : 7)) {
            Bytes cut(fx.file.begin(), fx.file.begin() + len);
            EXPECT_EQ(decode(cut, f), D3DXERR_INVALIDDATA) << fx.name << " cut to " << len;
            EXPECT_TRUE(f.levels.empty());
        }
        // Flipped bytes anywhere: refused or decoded, never a crash (ASan).
        for (size_t i = 0; i < fx.file.size(); ++i) {
            Bytes bad = fx.file;
            bad[i] ^= 0xA5;
            DecodedFile g;
            HRESULT hr = decode(bad, g);
            if (SUCCEEDED(hr)) {
                ASSERT_FALSE(g.levels.empty());
                EXPECT_EQ(g.levels[0].argb.size(), (size_t)g.levels[0].width * g.levels[0].height);
            }
        }
    }
    DecodedFile f;
    EXPECT_EQ(decode(Bytes(), f), D3DXERR_INVALIDDATA);
    Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
    EXPECT_EQ(decode(text, f), D3DXERR_INVALIDDATA);
}

TEST(ImageDecode, ImpossibleSizesAreRefusedBeforeAllocating)
{
    // A BMP header claiming 100000 x 100000 pixels with no data behind it.
    Bytes bmp = makeBmp(1, 1, 24, {Bytes(3, 0)});
    bmp[18] = 0xA0;
    bmp[19] = 0x86;
    bmp[20] = 0x01;
    bmp[22] = 0xA0;
    bmp[23] = 0x86;
    bmp[24] = 0x01;
    DecodedFile f;
    EXPECT_EQ(decode(bmp, f), D3DXERR_INVALIDDATA);
    // A DDS claiming more mip levels than its size allows.
    Bytes data(64, 0);
    EXPECT_EQ(decode(makeDds(2, 2, 5, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, data), f), D3DXERR_INVALIDDATA);
    // Width times bytes per pixel overflowing 32 bits.
    Bytes big = makeBmp(1, 1, 32, {Bytes(4, 0)});
    big[18] = 0xFF;
    big[19] = 0xFF;
    big[20] = 0xFF;
    big[21] = 0x7F;
    EXPECT_EQ(decode(big, f), D3DXERR_INVALIDDATA);
}

// A header that declares a huge picture over a few bytes of data costs
// nothing of that size: the picture is refused before anything is allocated
// for it, and its description still reads from the header alone.
TEST(ImageDecode, HugeDeclaredPicturesAreRefusedBeforeAllocating)
{
    using fixtures::DeclaringSize;
    using fixtures::JpegKind;
    using fixtures::MakeJpeg;
    struct Case {
        const char* name;
        Bytes file;
        UINT width, height;
    };
    const Case cases[] = {
        {"png", DeclaringSize(fixtures::MakePng(1, 1), 16384, 16384), 16384, 16384},
        {"png within the size limits", DeclaringSize(fixtures::MakePng(16, 16), 8192, 8192), 8192, 8192},
        {"baseline jpeg", DeclaringSize(MakeJpeg(16, 16, JpegKind::Baseline), 16384, 16384), 16384, 16384},
        {"progressive jpeg", DeclaringSize(MakeJpeg(16, 16, JpegKind::Progressive), 16384, 16384), 16384, 16384},
        {"jpeg with a scan per component", DeclaringSize(MakeJpeg(16, 16, JpegKind::ScanPerComponent), 16384, 16000),
         16384, 16000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.file.empty());
        EXPECT_LT(c.file.size(), 1000u);
        EXPECT_TRUE(RunsWithin(64u << 20, [&] {
            DecodedFile f;
            if (d3dx::DecodeImage(c.file.data(), c.file.size(), f) != D3DXERR_INVALIDDATA || !f.levels.empty())
                return false;
            DecodedFile info;
            return d3dx::DecodeImageInfo(c.file.data(), c.file.size(), info) == S_OK && info.levels.size() == 1 &&
                   info.levels[0].width == c.width && info.levels[0].height == c.height && info.levels[0].argb.empty();
        }));
    }
}

// Memory that cannot be had comes back as E_OUTOFMEMORY, nothing decoded.
TEST(ImageDecode, AllocationFailuresComeBackAsOutOfMemory)
{
    // 1024 x 1024 pixels, 4 MiB decoded, in a few kilobytes.
    const uint8_t colour[3] = {20, 40, 80};
    const Bytes files[] = {
        fixtures::MakePng(1024, 1024, false, std::vector<uint32_t>(1024 * 1024, 0xFF142850)),
        fixtures::MakeFlatJpeg(1024, 1024, 3, colour),
    };
    for (const Bytes& file : files) {
        ASSERT_LT(file.size(), 200000u);
        AllocationCap cap(1u << 20);
        DecodedFile f;
        EXPECT_EQ(d3dx::DecodeImage(file.data(), file.size(), f), E_OUTOFMEMORY);
        EXPECT_TRUE(f.levels.empty());
    }
}

TEST(ImageDecode, LimitsBoundTheSidesAndTheBytes)
{
    const UINT w = 64, h = 32;
    Bytes dds(w * h * 4, 0x40);
    const struct {
        const char* name;
        Bytes file;
    } files[] = {
        {"png", fixtures::MakePng(w, h)},
        {"jpeg", fixtures::MakeJpeg(w, h, fixtures::JpegKind::Progressive)},
        {"bmp", makeBmp(w, h, 24, std::vector<Bytes>(h, Bytes(w * 3, 7)))},
        {"dds", makeDds(w, h, 1, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, dds)},
    };
    const struct {
        UINT side;
        size_t bytes;
        HRESULT hr;
    } limits[] = {
        {w, w * h * 4, S_OK},
        {w - 1, SIZE_MAX, D3DXERR_INVALIDDATA},
        {w, w * h * 4 - 1, D3DXERR_INVALIDDATA},
    };
    for (const auto& file : files)
        for (const auto& l : limits) {
            SCOPED_TRACE(std::string(file.name) + " side " + std::to_string(l.side) + " bytes " +
                         std::to_string(l.bytes));
            d3dx::DecodeLimits bound;
            bound.maxSide = l.side;
            bound.maxBytes = l.bytes;
            DecodedFile f;
            EXPECT_EQ(d3dx::DecodeImage(file.file.data(), file.file.size(), f, bound), l.hr);
            EXPECT_EQ(f.levels.size(), SUCCEEDED(l.hr) ? 1u : 0u);
        }
}

// A FourCC that names no known format is refused, whatever its value.
TEST(ImageDecode, DdsFormatCodesAreCheckedBeforeUse)
{
    Bytes data(4 * 4 * 4, 0x80);
    const struct {
        uint32_t code;
        HRESULT hr;
    } cases[] = {
        {21, S_OK}, // A8R8G8B8's number
        {MAKEFOURCC('D', 'X', 'T', '1'), S_OK},
        {MAKEFOURCC('A', 'B', 'C', 'D'), D3DXERR_INVALIDDATA},
        {MAKEFOURCC('D', 'X', '1', '0'), D3DXERR_INVALIDDATA},
        {1, D3DXERR_INVALIDDATA},
        {0x80000000u, D3DXERR_INVALIDDATA},
        {0xFFFFFFFFu, D3DXERR_INVALIDDATA},
    };
    for (const auto& c : cases) {
        DecodedFile f;
        EXPECT_EQ(decode(makeDds(4, 4, 1, 0x4, c.code, 0, 0, 0, 0, 0, data), f), c.hr) << std::hex << c.code;
    }
}

TEST(ImageEncode, RoundTrips)
{
    Image alpha = gradient(7, 5, true), opaque = gradient(6, 3, false);
    Bytes out;
    DecodedFile f;

    ASSERT_TRUE(d3dx::EncodeBmp(alpha, true, out));
    EXPECT_EQ(out[28], 32); // bits per pixel
    ASSERT_EQ(decode(out, f), S_OK);
    EXPECT_EQ(f.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(f.levels[0].argb, alpha.argb);

    ASSERT_TRUE(d3dx::EncodeBmp(opaque, false, out));
    EXPECT_EQ(out[28], 24);
    EXPECT_EQ(out.size(), 14u + 40u + 3u * 20u); // rows of 18 bytes padded to 20
    ASSERT_EQ(decode(out, f), S_OK);
    EXPECT_EQ(f.format, D3DFMT_R8G8B8);
    EXPECT_EQ(f.levels[0].argb, opaque.argb);

    // A 32-bit BMP whose alpha is zero everywhere keeps that alpha.
    Image clear(4, 4, 0x00FFFFFF);
    ASSERT_TRUE(d3dx::EncodeBmp(clear, true, out));
    ASSERT_EQ(decode(out, f), S_OK);
    EXPECT_EQ(f.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(f.levels[0].argb, clear.argb);

    ASSERT_TRUE(d3dx::EncodePng(alpha, true, out));
    ASSERT_EQ(decode(out, f), S_OK);
    EXPECT_EQ(f.levels[0].argb, alpha.argb);
    ASSERT_TRUE(d3dx::EncodePng(opaque, false, out));
    ASSERT_EQ(decode(out, f), S_OK);
    EXPECT_EQ(f.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(f.levels[0].argb, opaque.argb);

    ASSERT_TRUE(d3dx::EncodeDds(alpha, true, out));
    ASSERT_EQ(decode(out, f), S_OK);
    EXPECT_EQ(f.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(f.levels[0].argb, alpha.argb);

    Image flat(16, 16, 0xFF4080C0);
    ASSERT_TRUE(d3dx::EncodeJpeg(flat, out));
    ASSERT_EQ(decode(out, f), S_OK);
    EXPECT_NEAR((int)((f.levels[0].at(8, 8) >> 8) & 0xFF), 0x80, 3);
}

TEST(ImagePixels, EveryWritableFormatRoundTrips)
{
    const D3DFORMAT formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A8B8G8R8, D3DFMT_X8B8G8R8,
                                 D3DFMT_R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
                                 D3DFMT_A4R4G4B4, D3DFMT_X4R4G4B4, D3DFMT_R3G3B2, D3DFMT_A8R3G3B2,
                                 D3DFMT_A8, D3DFMT_L8, D3DFMT_A8L8, D3DFMT_A4L4, D3DFMT_L16,
                                 D3DFMT_A2R10G10B10, D3DFMT_A2B10G10R10, D3DFMT_G16R16, D3DFMT_A16B16G16R16};
    const uint32_t colours[] = {0xFFFFFFFF, 0x00000000, 0xFF0000FF, 0x80FF8000, 0x12345678, 0xFF808080};
    for (D3DFORMAT f : formats) {
        ASSERT_TRUE(d3dx::CanWrite(f)) << f;
        UINT bytes = d3dx::BitsPerPixel(f) / 8;
        ASSERT_GT(bytes, 0u) << f;
        // Packing what was unpacked gives the same bytes back.
        std::vector<uint8_t> packed(bytes * 6), repacked(bytes * 6);
        d3dx::PackRow(f, colours, packed.data(), 6);
        uint32_t unpacked[6];
        d3dx::UnpackRow(f, packed.data(), unpacked, 6);
        d3dx::PackRow(f, unpacked, repacked.data(), 6);
        EXPECT_EQ(packed, repacked) << f;
        // White stays white where the format has the channels.
        if (f != D3DFMT_A8 && f != D3DFMT_G16R16) {
            EXPECT_EQ(unpacked[0] & 0x00FFFFFF, 0x00FFFFFFu) << f;
        }
        if (!d3dx::HasAlpha(f)) {
            EXPECT_EQ(unpacked[1] >> 24, 0xFFu) << f;
        }
    }
    uint8_t b[4];
    uint32_t red = 0xFFFF0000;
    d3dx::PackRow(D3DFMT_R5G6B5, &red, b, 1);
    EXPECT_EQ(b[0] | (b[1] << 8), 0xF800);
    uint32_t c = 0x80FF4020;
    d3dx::PackRow(D3DFMT_A4R4G4B4, &c, b, 1);
    EXPECT_EQ(b[0] | (b[1] << 8), 0x8F42);
    d3dx::PackRow(D3DFMT_A8B8G8R8, &c, b, 1);
    EXPECT_EQ(b[0], 0xFF);
    EXPECT_EQ(b[2], 0x20);
    EXPECT_EQ(b[3], 0x80);
}

TEST(ImageFilter, ResampleKinds)
{
    Image src(4, 4);
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x)
            src.at(x, y) = 0xFF000000u | ((x * 40) << 16) | ((y * 40) << 8) | (x + y >= 4 ? 200 : 0);

    // Box halving: each texel the mean of its 2x2 block.
    Image box = d3dx::Resample(src, 2, 2, D3DX_FILTER_BOX);
    EXPECT_EQ(box.at(0, 0), 0xFF141400u);
    EXPECT_EQ(box.at(1, 1), 0xFF6464C8u);
    EXPECT_EQ(box.at(1, 0) & 0xFF, 50u);
    EXPECT_EQ(d3dx::Resample(src, 2, 2, D3DX_FILTER_TRIANGLE).argb, box.argb);

    Image point = d3dx::Resample(src, 2, 2, D3DX_FILTER_POINT);
    EXPECT_EQ(point.at(0, 0), src.at(1, 1));

    // No filter: the top-left part, the rest transparent black.
    Image none = d3dx::Resample(src, 6, 2, D3DX_FILTER_NONE);
    EXPECT_EQ(none.at(3, 1), src.at(3, 1));
    EXPECT_EQ(none.at(4, 0), 0u);

    // Enlarging with linear filtering keeps a flat picture flat and blends
    // between texel centres.
    Image two(2, 1);
    two.at(0, 0) = 0xFF000000;
    two.at(1, 0) = 0xFF0000FF;
    Image wide = d3dx::Resample(two, 4, 1, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR);
    EXPECT_EQ(wide.at(0, 0) & 0xFF, 0u);
    EXPECT_EQ(wide.at(1, 0) & 0xFF, 64u);
    EXPECT_EQ(wide.at(3, 0) & 0xFF, 255u);
    Image wrapped = d3dx::Resample(two, 4, 1, D3DX_FILTER_LINEAR);
    EXPECT_EQ(wrapped.at(0, 0) & 0xFF, 64u) << "without mirroring the edge wraps";

    Image odd = d3dx::Resample(gradient(5, 3, true), 2, 1, D3DX_FILTER_BOX);
    EXPECT_EQ(odd.width, 2u);

    Image keyed(2, 1);
    keyed.at(0, 0) = 0xFFFF00FF;
    keyed.at(1, 0) = 0xFFFF00FE;
    d3dx::ApplyColorKey(keyed, 0xFFFF00FF);
    EXPECT_EQ(keyed.at(0, 0), 0u);
    EXPECT_EQ(keyed.at(1, 0), 0xFFFF00FEu);
}
