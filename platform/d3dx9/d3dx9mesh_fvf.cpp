// Vertex formats: FVF codes, declarations and element conversion.
#include "d3dx9mesh_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

D3DVERTEXELEMENT9 element(WORD offset, BYTE type, BYTE usage, BYTE index)
{
    return D3DVERTEXELEMENT9{0, offset, type, D3DDECLMETHOD_DEFAULT, usage, index};
}

const D3DVERTEXELEMENT9 kEnd = D3DDECL_END();

bool isEnd(const D3DVERTEXELEMENT9& e) { return e.Stream == 0xFF; }

BYTE floatType(UINT count) { return (BYTE)(D3DDECLTYPE_FLOAT1 + count - 1); }

UINT texCoordCount(DWORD fvf, UINT i)
{
    switch ((fvf >> (16 + 2 * i)) & 3) {
    case D3DFVF_TEXTUREFORMAT1: return 1;
    case D3DFVF_TEXTUREFORMAT3: return 3;
    case D3DFVF_TEXTUREFORMAT4: return 4;
    default: return 2;
    }
}

// The elements of an FVF code; false when the code is not a valid one.
bool declFromFvf(DWORD fvf, std::vector<D3DVERTEXELEMENT9>& out)
{
    out.clear();
    WORD offset = 0;
    const DWORD pos = fvf & D3DFVF_POSITION_MASK;
    switch (pos) {
    case 0:
        break;
    case D3DFVF_XYZ:
        out.push_back(element(offset, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0));
        offset += 12;
        break;
    case D3DFVF_XYZRHW:
        out.push_back(element(offset, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0));
        offset += 16;
        break;
    case D3DFVF_XYZW:
        out.push_back(element(offset, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0));
        offset += 16;
        break;
    case D3DFVF_XYZB1: case D3DFVF_XYZB2: case D3DFVF_XYZB3: case D3DFVF_XYZB4: case D3DFVF_XYZB5: {
        out.push_back(element(offset, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0));
        offset += 12;
        const UINT betas = (pos - D3DFVF_XYZB1) / 2 + 1;
        const bool lastUbyte4 = (fvf & D3DFVF_LASTBETA_UBYTE4) != 0;
        const bool lastColor = (fvf & D3DFVF_LASTBETA_D3DCOLOR) != 0;
        if (lastUbyte4 && lastColor)
            return false;
        const UINT weights = (lastUbyte4 || lastColor) ? betas - 1 : betas;
        if (weights > 4)
            return false;
        if (weights) {
            out.push_back(element(offset, floatType(weights), D3DDECLUSAGE_BLENDWEIGHT, 0));
            offset += (WORD)(4 * weights);
        }
        if (lastUbyte4 || lastColor) {
            out.push_back(element(offset, lastUbyte4 ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_D3DCOLOR,
                                  D3DDECLUSAGE_BLENDINDICES, 0));
            offset += 4;
        }
        break;
    }
    default:
        return false;
    }
    if ((fvf & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR)) &&
        (pos < D3DFVF_XYZB1 || pos > D3DFVF_XYZB5))
        return false;
    if (fvf & D3DFVF_NORMAL) {
        out.push_back(element(offset, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0));
        offset += 12;
    }
    if (fvf & D3DFVF_PSIZE) {
        out.push_back(element(offset, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0));
        offset += 4;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        out.push_back(element(offset, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0));
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        out.push_back(element(offset, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1));
        offset += 4;
    }
    const UINT tex = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (tex > 8)
        return false;
    for (UINT i = 0; i < tex; ++i) {
        const UINT n = texCoordCount(fvf, i);
        out.push_back(element(offset, floatType(n), D3DDECLUSAGE_TEXCOORD, (BYTE)i));
        offset += (WORD)(4 * n);
    }
    out.push_back(kEnd);
    return true;
}

float halfToFloat(uint16_t h)
{
    const uint32_t sign = (uint32_t)(h >> 15) << 31;
    const int exp = (h >> 10) & 0x1F;
    const uint32_t mant = h & 0x3FF;
    float f;
    if (exp == 0)
        f = std::ldexp((float)mant, -24);
    else if (exp == 31)
        f = mant ? NAN : INFINITY;
    else
        f = std::ldexp((float)(mant | 0x400), exp - 25);
    return sign ? -f : f;
}

uint16_t floatToHalf(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    const uint16_t sign = (uint16_t)((bits >> 16) & 0x8000);
    const float a = std::fabs(f);
    if (std::isnan(f))
        return (uint16_t)(sign | 0x7E00);
    if (a >= 65520.0f)
        return (uint16_t)(sign | 0x7C00);
    if (a < std::ldexp(1.0f, -14))
        return (uint16_t)(sign | (uint16_t)std::lround(a * std::ldexp(1.0f, 24)));
    int exp;
    const float m = std::frexp(a, &exp); // a = m * 2^exp, m in [0.5, 1)
    uint32_t mant = (uint32_t)std::lround((m * 2.0f - 1.0f) * 1024.0f);
    int e = exp - 1 + 15;
    if (mant == 1024) {
        mant = 0;
        ++e;
    }
    return (uint16_t)(sign | (e << 10) | mant);
}

float clampUnit(float v) { return std::min(1.0f, std::max(0.0f, v)); }
float clampSigned(float v) { return std::min(1.0f, std::max(-1.0f, v)); }

} // namespace

namespace d3dx {

UINT DeclTypeSize(BYTE type)
{
    switch (type) {
    case D3DDECLTYPE_FLOAT1: return 4;
    case D3DDECLTYPE_FLOAT2: return 8;
    case D3DDECLTYPE_FLOAT3: return 12;
    case D3DDECLTYPE_FLOAT4: return 16;
    case D3DDECLTYPE_D3DCOLOR: case D3DDECLTYPE_UBYTE4: case D3DDECLTYPE_SHORT2: case D3DDECLTYPE_UBYTE4N:
    case D3DDECLTYPE_SHORT2N: case D3DDECLTYPE_USHORT2N: case D3DDECLTYPE_UDEC3: case D3DDECLTYPE_DEC3N:
    case D3DDECLTYPE_FLOAT16_2:
        return 4;
    case D3DDECLTYPE_SHORT4: case D3DDECLTYPE_SHORT4N: case D3DDECLTYPE_USHORT4N: case D3DDECLTYPE_FLOAT16_4:
        return 8;
    default:
        return 0;
    }
}

void ReadElement(const BYTE* src, BYTE type, float out[4])
{
    out[0] = out[1] = out[2] = 0.0f;
    out[3] = 1.0f;
    switch (type) {
    case D3DDECLTYPE_FLOAT1: case D3DDECLTYPE_FLOAT2: case D3DDECLTYPE_FLOAT3: case D3DDECLTYPE_FLOAT4:
        std::memcpy(out, src, 4 * (type - D3DDECLTYPE_FLOAT1 + 1));
        break;
    case D3DDECLTYPE_D3DCOLOR:
        out[0] = src[2] / 255.0f;
        out[1] = src[1] / 255.0f;
        out[2] = src[0] / 255.0f;
        out[3] = src[3] / 255.0f;
        break;
    case D3DDECLTYPE_UBYTE4:
        for (int i = 0; i < 4; ++i)
            out[i] = src[i];
        break;
    case D3DDECLTYPE_UBYTE4N:
        for (int i = 0; i < 4; ++i)
            out[i] = src[i] / 255.0f;
        break;
    case D3DDECLTYPE_SHORT2: case D3DDECLTYPE_SHORT4: case D3DDECLTYPE_SHORT2N: case D3DDECLTYPE_SHORT4N: {
        const int n = (type == D3DDECLTYPE_SHORT2 || type == D3DDECLTYPE_SHORT2N) ? 2 : 4;
        const bool norm = type == D3DDECLTYPE_SHORT2N || type == D3DDECLTYPE_SHORT4N;
        for (int i = 0; i < n; ++i) {
            int16_t v;
            std::memcpy(&v, src + 2 * i, 2);
            out[i] = norm ? std::max(-1.0f, v / 32767.0f) : (float)v;
        }
        break;
    }
    case D3DDECLTYPE_USHORT2N: case D3DDECLTYPE_USHORT4N: {
        const int n = type == D3DDECLTYPE_USHORT2N ? 2 : 4;
        for (int i = 0; i < n; ++i) {
            uint16_t v;
            std::memcpy(&v, src + 2 * i, 2);
            out[i] = v / 65535.0f;
        }
        break;
    }
    case D3DDECLTYPE_UDEC3: case D3DDECLTYPE_DEC3N: {
        uint32_t v;
        std::memcpy(&v, src, 4);
        for (int i = 0; i < 3; ++i) {
            const uint32_t bits = (v >> (10 * i)) & 0x3FF;
            if (type == D3DDECLTYPE_UDEC3) {
                out[i] = (float)bits;
            } else {
                const int s = bits & 0x200 ? (int)bits - 1024 : (int)bits;
                out[i] = std::max(-1.0f, s / 511.0f);
            }
        }
        break;
    }
    case D3DDECLTYPE_FLOAT16_2: case D3DDECLTYPE_FLOAT16_4: {
        const int n = type == D3DDECLTYPE_FLOAT16_2 ? 2 : 4;
        for (int i = 0; i < n; ++i) {
            uint16_t h;
            std::memcpy(&h, src + 2 * i, 2);
            out[i] = halfToFloat(h);
        }
        break;
    }
    default:
        break;
    }
}

void WriteElement(BYTE* dst, BYTE type, const float in[4])
{
    switch (type) {
    case D3DDECLTYPE_FLOAT1: case D3DDECLTYPE_FLOAT2: case D3DDECLTYPE_FLOAT3: case D3DDECLTYPE_FLOAT4:
        std::memcpy(dst, in, 4 * (type - D3DDECLTYPE_FLOAT1 + 1));
        break;
    case D3DDECLTYPE_D3DCOLOR:
        dst[2] = (BYTE)std::lround(clampUnit(in[0]) * 255.0f);
        dst[1] = (BYTE)std::lround(clampUnit(in[1]) * 255.0f);
        dst[0] = (BYTE)std::lround(clampUnit(in[2]) * 255.0f);
        dst[3] = (BYTE)std::lround(clampUnit(in[3]) * 255.0f);
        break;
    case D3DDECLTYPE_UBYTE4:
        for (int i = 0; i < 4; ++i)
            dst[i] = (BYTE)std::lround(std::min(255.0f, std::max(0.0f, in[i])));
        break;
    case D3DDECLTYPE_UBYTE4N:
        for (int i = 0; i < 4; ++i)
            dst[i] = (BYTE)std::lround(clampUnit(in[i]) * 255.0f);
        break;
    case D3DDECLTYPE_SHORT2: case D3DDECLTYPE_SHORT4: case D3DDECLTYPE_SHORT2N: case D3DDECLTYPE_SHORT4N: {
        const int n = (type == D3DDECLTYPE_SHORT2 || type == D3DDECLTYPE_SHORT2N) ? 2 : 4;
        const bool norm = type == D3DDECLTYPE_SHORT2N || type == D3DDECLTYPE_SHORT4N;
        for (int i = 0; i < n; ++i) {
            const float f = norm ? clampSigned(in[i]) * 32767.0f : std::min(32767.0f, std::max(-32768.0f, in[i]));
            const int16_t v = (int16_t)std::lround(f);
            std::memcpy(dst + 2 * i, &v, 2);
        }
        break;
    }
    case D3DDECLTYPE_USHORT2N: case D3DDECLTYPE_USHORT4N: {
        const int n = type == D3DDECLTYPE_USHORT2N ? 2 : 4;
        for (int i = 0; i < n; ++i) {
            const uint16_t v = (uint16_t)std::lround(clampUnit(in[i]) * 65535.0f);
            std::memcpy(dst + 2 * i, &v, 2);
        }
        break;
    }
    case D3DDECLTYPE_UDEC3: case D3DDECLTYPE_DEC3N: {
        uint32_t v = 0;
        for (int i = 0; i < 3; ++i) {
            uint32_t bits;
            if (type == D3DDECLTYPE_UDEC3)
                bits = (uint32_t)std::lround(std::min(1023.0f, std::max(0.0f, in[i])));
            else
                bits = (uint32_t)(std::lround(clampSigned(in[i]) * 511.0f) & 0x3FF);
            v |= bits << (10 * i);
        }
        std::memcpy(dst, &v, 4);
        break;
    }
    case D3DDECLTYPE_FLOAT16_2: case D3DDECLTYPE_FLOAT16_4: {
        const int n = type == D3DDECLTYPE_FLOAT16_2 ? 2 : 4;
        for (int i = 0; i < n; ++i) {
            const uint16_t h = floatToHalf(in[i]);
            std::memcpy(dst + 2 * i, &h, 2);
        }
        break;
    }
    default:
        break;
    }
}

const D3DVERTEXELEMENT9* FindElement(const D3DVERTEXELEMENT9* decl, BYTE usage, BYTE usageIndex)
{
    for (; decl && !isEnd(*decl); ++decl)
        if (decl->Stream == 0 && decl->Usage == usage && decl->UsageIndex == usageIndex)
            return decl;
    return nullptr;
}

} // namespace d3dx

UINT D3DXGetFVFVertexSize(DWORD fvf)
{
    std::vector<D3DVERTEXELEMENT9> decl;
    if (!declFromFvf(fvf, decl))
        return 0;
    return D3DXGetDeclVertexSize(decl.data(), 0);
}

HRESULT D3DXDeclaratorFromFVF(DWORD fvf, D3DVERTEXELEMENT9 out[MAX_FVF_DECL_SIZE])
{
    if (!out)
        return D3DERR_INVALIDCALL;
    std::vector<D3DVERTEXELEMENT9> decl;
    if (!declFromFvf(fvf, decl))
        return D3DERR_INVALIDCALL;
    std::copy(decl.begin(), decl.end(), out);
    return D3D_OK;
}

HRESULT D3DXFVFFromDeclarator(const D3DVERTEXELEMENT9* decl, DWORD* fvf)
{
    if (!decl || !fvf)
        return D3DERR_INVALIDCALL;
    // Guess the code from the usages, then accept it only when its own
    // declaration is this one element for element.
    DWORD code = 0;
    UINT weights = 0, tex = 0;
    BYTE indices = D3DDECLTYPE_UNUSED;
    bool xyz = false;
    UINT n = D3DXGetDeclLength(decl);
    for (UINT i = 0; i < n; ++i) {
        const D3DVERTEXELEMENT9& e = decl[i];
        switch (e.Usage) {
        case D3DDECLUSAGE_POSITION:
            if (e.Type == D3DDECLTYPE_FLOAT4)
                code |= D3DFVF_XYZW;
            else
                xyz = true;
            break;
        case D3DDECLUSAGE_POSITIONT: code |= D3DFVF_XYZRHW; break;
        case D3DDECLUSAGE_BLENDWEIGHT: weights = e.Type >= D3DDECLTYPE_FLOAT1 && e.Type <= D3DDECLTYPE_FLOAT4 ? e.Type + 1 : 9; break;
        case D3DDECLUSAGE_BLENDINDICES: indices = e.Type; break;
        case D3DDECLUSAGE_NORMAL: code |= D3DFVF_NORMAL; break;
        case D3DDECLUSAGE_PSIZE: code |= D3DFVF_PSIZE; break;
        case D3DDECLUSAGE_COLOR: code |= e.UsageIndex == 0 ? D3DFVF_DIFFUSE : D3DFVF_SPECULAR; break;
        case D3DDECLUSAGE_TEXCOORD: {
            const UINT count = e.Type >= D3DDECLTYPE_FLOAT1 && e.Type <= D3DDECLTYPE_FLOAT4 ? e.Type + 1 : 2;
            static const DWORD kFormat[] = {0, D3DFVF_TEXTUREFORMAT1, D3DFVF_TEXTUREFORMAT2, D3DFVF_TEXTUREFORMAT3,
                                            D3DFVF_TEXTUREFORMAT4};
            if (e.UsageIndex < 8)
                code |= kFormat[count] << (16 + 2 * e.UsageIndex);
            tex = std::max<UINT>(tex, e.UsageIndex + 1u);
            break;
        }
        default:
            return D3DERR_INVALIDCALL;
        }
    }
    if (xyz) {
        UINT betas = weights + (indices != D3DDECLTYPE_UNUSED ? 1 : 0);
        if (betas > 5)
            return D3DERR_INVALIDCALL;
        code |= betas ? (DWORD)(D3DFVF_XYZB1 + 2 * (betas - 1)) : D3DFVF_XYZ;
        if (indices == D3DDECLTYPE_UBYTE4)
            code |= D3DFVF_LASTBETA_UBYTE4;
        else if (indices == D3DDECLTYPE_D3DCOLOR)
            code |= D3DFVF_LASTBETA_D3DCOLOR;
    }
    if (tex > 8)
        return D3DERR_INVALIDCALL;
    code |= tex << D3DFVF_TEXCOUNT_SHIFT;
    std::vector<D3DVERTEXELEMENT9> mine;
    if (!declFromFvf(code, mine) || mine.size() != n + 1)
        return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < n; ++i) {
        const D3DVERTEXELEMENT9& a = mine[i];
        const D3DVERTEXELEMENT9& b = decl[i];
        if (a.Stream != b.Stream || a.Offset != b.Offset || a.Type != b.Type || a.Method != b.Method ||
            a.Usage != b.Usage || a.UsageIndex != b.UsageIndex)
            return D3DERR_INVALIDCALL;
    }
    *fvf = code;
    return D3D_OK;
}

UINT D3DXGetDeclVertexSize(const D3DVERTEXELEMENT9* decl, DWORD stream)
{
    if (!decl)
        return 0;
    UINT size = 0;
    for (; !isEnd(*decl); ++decl)
        if (decl->Stream == stream)
            size = std::max<UINT>(size, decl->Offset + d3dx::DeclTypeSize(decl->Type));
    return size;
}

UINT D3DXGetDeclLength(const D3DVERTEXELEMENT9* decl)
{
    if (!decl)
        return 0;
    UINT n = 0;
    while (n < MAX_FVF_DECL_SIZE && !isEnd(decl[n]))
        ++n;
    return n;
}
