// Pure helpers shared by the device, D3DX and the recording fake.
#include "d3d9_helpers.h"

namespace d3d9gl {

UINT VertexCount(D3DPRIMITIVETYPE type, UINT prims)
{
    switch (type) {
    case D3DPT_POINTLIST: return prims;
    case D3DPT_LINELIST: return prims * 2;
    case D3DPT_LINESTRIP: return prims + 1;
    case D3DPT_TRIANGLELIST: return prims * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return prims + 2;
    default: return 0;
    }
}

bool IsDxtFormat(D3DFORMAT f)
{
    return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 || f == D3DFMT_DXT5;
}

namespace {
uint32_t Mix(uint32_t a, uint32_t b, int wa, int wb, int div)
{
    auto ch = [&](int shift) { return (((a >> shift) & 0xFF) * wa + ((b >> shift) & 0xFF) * wb + div / 2) / div; };
    return 0xFF000000u | ch(16) << 16 | ch(8) << 8 | ch(0);
}
} // namespace

void DecodeDxtBlock(D3DFORMAT f, const uint8_t* blk, uint32_t argb[16])
{
    // The colour half: four colours, or three and transparent black when a
    // DXT1 block's first endpoint is not above its second.
    const uint8_t* cb = f == D3DFMT_DXT1 ? blk : blk + 8;
    const uint16_t c0 = (uint16_t)(cb[0] | cb[1] << 8), c1 = (uint16_t)(cb[2] | cb[3] << 8);
    uint32_t pal[4] = {Unpack565(c0), Unpack565(c1), 0, 0};
    if (c0 > c1 || f != D3DFMT_DXT1) {
        pal[2] = Mix(pal[0], pal[1], 2, 1, 3);
        pal[3] = Mix(pal[0], pal[1], 1, 2, 3);
    } else {
        pal[2] = Mix(pal[0], pal[1], 1, 1, 2);
    }
    const uint32_t idx = cb[4] | cb[5] << 8 | cb[6] << 16 | (uint32_t)cb[7] << 24;
    for (int i = 0; i < 16; ++i) argb[i] = pal[(idx >> (2 * i)) & 3];
    if (f == D3DFMT_DXT2 || f == D3DFMT_DXT3) {
        for (int i = 0; i < 16; ++i) {
            const uint32_t a = (blk[i / 2] >> ((i & 1) * 4)) & 15;
            argb[i] = (argb[i] & 0x00FFFFFFu) | WidenChannel(a, 4) << 24;
        }
    } else if (f == D3DFMT_DXT4 || f == D3DFMT_DXT5) {
        const uint32_t a0 = blk[0], a1 = blk[1];
        uint32_t alpha[8] = {a0, a1};
        if (a0 > a1) {
            for (int i = 1; i < 7; ++i) alpha[i + 1] = ((7 - i) * a0 + i * a1 + 3) / 7;
        } else {
            for (int i = 1; i < 5; ++i) alpha[i + 1] = ((5 - i) * a0 + i * a1 + 2) / 5;
            alpha[6] = 0;
            alpha[7] = 255;
        }
        uint64_t bits = 0;
        for (int i = 0; i < 6; ++i) bits |= (uint64_t)blk[2 + i] << (8 * i);
        for (int i = 0; i < 16; ++i) argb[i] = (argb[i] & 0x00FFFFFFu) | alpha[(bits >> (3 * i)) & 7] << 24;
    }
}

} // namespace d3d9gl
