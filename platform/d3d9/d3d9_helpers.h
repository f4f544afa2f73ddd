// Pure helpers of Direct3D 9's rules, one copy shared by the device, D3DX
// and the recording fake: float bits of state values, colour channels, the
// vertices of a primitive count, 565 colours and DXT blocks.
#pragma once

#include "d3d9types.h"

#include <cstdint>
#include <cstring>

namespace d3d9gl {

inline float DwordFloat(DWORD d)
{
    float f;
    std::memcpy(&f, &d, 4);
    return f;
}

inline DWORD FloatDword(float f)
{
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

// A D3DCOLOR as red, green, blue and alpha from 0 to 1.
inline void ColorToFloat(D3DCOLOR c, float out[4])
{
    out[0] = ((c >> 16) & 255) / 255.0f;
    out[1] = ((c >> 8) & 255) / 255.0f;
    out[2] = (c & 255) / 255.0f;
    out[3] = ((c >> 24) & 255) / 255.0f;
}

// Vertices a draw of `prims` primitives reads; 0 for an unknown type.
UINT VertexCount(D3DPRIMITIVETYPE type, UINT prims);

// Widens an n-bit channel (n <= 8) to 8 bits, rounding.
inline uint32_t WidenChannel(uint32_t v, int bits)
{
    if (bits >= 8) return v >> (bits - 8);
    if (bits == 0) return 0;
    const uint32_t max = (1u << bits) - 1;
    return (v * 255 + max / 2) / max;
}

// An R5G6B5 colour as opaque A8R8G8B8.
inline uint32_t Unpack565(uint16_t v)
{
    return 0xFF000000u | WidenChannel(v >> 11, 5) << 16 | WidenChannel((v >> 5) & 63, 6) << 8 |
           WidenChannel(v & 31, 5);
}

// Whether a format is one of the DXT block formats.
bool IsDxtFormat(D3DFORMAT format);
// Bytes of one 4x4 block of a DXT format.
inline unsigned DxtBlockBytes(D3DFORMAT format) { return format == D3DFMT_DXT1 ? 8 : 16; }
// The 16 texels of one DXT block, row by row, as A8R8G8B8.
void DecodeDxtBlock(D3DFORMAT format, const uint8_t* block, uint32_t argb[16]);

} // namespace d3d9gl
