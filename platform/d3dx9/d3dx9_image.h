// Layer-internal image work of D3DX9: file decoders and encoders, pixel
// format conversion and resampling. Pictures are held as 32-bit ARGB
// (0xAARRGGBB), rows top-down.
#pragma once

#include "d3dx9tex.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace d3dx {

// Largest side accepted from a file; larger pictures are refused as invalid.
constexpr UINT kMaxImageSide = 16384;
// Most decoded bytes (32-bit pixels, all levels) one file may cost.
constexpr size_t kMaxDecodedBytes = (size_t)256 << 20;

// What decoding one file may cost. Pictures beyond it are refused before
// anything of their size is allocated.
struct DecodeLimits {
    UINT maxSide = kMaxImageSide;       // either side, in pixels
    size_t maxBytes = kMaxDecodedBytes; // the decoded 32-bit pixels of all levels
};

struct Image {
    UINT width = 0, height = 0;
    std::vector<uint32_t> argb; // width * height pixels

    Image() = default;
    Image(UINT w, UINT h, uint32_t fill = 0) : width(w), height(h), argb((size_t)w * h, fill) {}
    uint32_t& at(UINT x, UINT y) { return argb[(size_t)y * width + x]; }
    uint32_t at(UINT x, UINT y) const { return argb[(size_t)y * width + x]; }
};

// A decoded file: its levels (one unless a DDS file carries a mip chain)
// and the description D3DX reports for it.
struct DecodedFile {
    std::vector<Image> levels;
    D3DFORMAT format = D3DFMT_UNKNOWN; // the file's own pixel format
    D3DXIMAGE_FILEFORMAT fileFormat = D3DXIFF_BMP;
};

// Decodes BMP, PNG, JPEG or DDS (told apart by content). S_OK;
// D3DXERR_INVALIDDATA for unknown, truncated or corrupt data and for a
// picture beyond the limits; E_OUTOFMEMORY when memory cannot be had.
HRESULT DecodeImage(const void* data, size_t size, DecodedFile& out, const DecodeLimits& limits = DecodeLimits());
// As DecodeImage, but reads no more than the description needs: the levels
// carry their sizes and, except for BMP files, no pixels.
HRESULT DecodeImageInfo(const void* data, size_t size, DecodedFile& out);

// Encoders. `alpha` selects a format that keeps the alpha channel.
bool EncodeBmp(const Image& image, bool alpha, std::vector<uint8_t>& out);
bool EncodePng(const Image& image, bool alpha, std::vector<uint8_t>& out);
bool EncodeJpeg(const Image& image, std::vector<uint8_t>& out);
bool EncodeDds(const Image& image, bool alpha, std::vector<uint8_t>& out);

// ---- Pixel formats ---------------------------------------------------------
// True for formats this layer can read and write pixel by pixel.
bool CanWrite(D3DFORMAT format);
// True for formats it can read (CanWrite ones and the DXT blocks).
bool CanRead(D3DFORMAT format);
// The writable format whose number is `code` (a DDS file may store one in
// place of a FourCC), or D3DFMT_UNKNOWN.
D3DFORMAT WritableFormatFromCode(uint32_t code);
bool HasAlpha(D3DFORMAT format);
bool IsBlockCompressed(D3DFORMAT format);
UINT BitsPerPixel(D3DFORMAT format);

// Converts `count` pixels of one row.
void UnpackRow(D3DFORMAT format, const uint8_t* src, uint32_t* argb, UINT count);
void PackRow(D3DFORMAT format, const uint32_t* argb, uint8_t* dst, UINT count);
// Decodes a block-compressed picture (rows of 4x4 blocks, `pitch` bytes per
// block row) into `out`, which has the picture's size.
void UnpackBlocks(D3DFORMAT format, const uint8_t* src, size_t pitch, Image& out);

// ---- Filtering -------------------------------------------------------------
// Resamples to w x h with a D3DX_FILTER_* value (D3DX_FILTER_NONE copies the
// top-left part and leaves the rest transparent black).
Image Resample(const Image& src, UINT w, UINT h, DWORD filter);
// Replaces pixels equal to the colour key (in ARGB) with transparent black.
void ApplyColorKey(Image& image, D3DCOLOR key);

} // namespace d3dx
