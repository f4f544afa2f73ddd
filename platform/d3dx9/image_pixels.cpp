// Pixel format conversion and resampling of D3DX images.
#include "d3dx9_image.h"

#include "d3d9/d3d9_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace d3dx {

namespace {

inline uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b)
{
    return (a << 24) | (r << 16) | (g << 8) | b;
}

inline uint32_t widen(uint32_t v, int bits) { return d3d9gl::WidenChannel(v, bits); }

// Narrows an 8-bit channel to n bits, rounding.
inline uint32_t narrow(uint32_t v, int bits)
{
    if (bits >= 8)
        return bits == 8 ? v : (v * ((1u << bits) - 1) + 127) / 255;
    uint32_t max = (1u << bits) - 1;
    return (v * max + 127) / 255;
}

inline uint32_t A(uint32_t c) { return c >> 24; }
inline uint32_t R(uint32_t c) { return (c >> 16) & 0xFF; }
inline uint32_t G(uint32_t c) { return (c >> 8) & 0xFF; }
inline uint32_t B(uint32_t c) { return c & 0xFF; }

inline uint32_t luminance(uint32_t c)
{
    return std::min(255u, (uint32_t)(R(c) * 0.2125f + G(c) * 0.7154f + B(c) * 0.0721f + 0.5f));
}

inline uint16_t rd16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t rd32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }
inline void wr16(uint8_t* p, uint32_t v) { p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); }
inline void wr32(uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

} // namespace

bool CanWrite(D3DFORMAT f)
{
    switch (f) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
    case D3DFMT_R8G8B8:
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4:
    case D3DFMT_R3G3B2:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_A8:
    case D3DFMT_L8:
    case D3DFMT_A8L8:
    case D3DFMT_A4L4:
    case D3DFMT_L16:
    case D3DFMT_A2R10G10B10:
    case D3DFMT_A2B10G10R10:
    case D3DFMT_G16R16:
    case D3DFMT_A16B16G16R16:
        return true;
    default:
        return false;
    }
}

bool IsBlockCompressed(D3DFORMAT f) { return d3d9gl::IsDxtFormat(f); }

D3DFORMAT WritableFormatFromCode(uint32_t code)
{
    const D3DFORMAT kCandidates[] = {
        D3DFMT_A8R8G8B8,    D3DFMT_X8R8G8B8, D3DFMT_A8B8G8R8,     D3DFMT_X8B8G8R8, D3DFMT_R8G8B8, D3DFMT_R5G6B5,
        D3DFMT_X1R5G5B5,    D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,     D3DFMT_X4R4G4B4, D3DFMT_R3G3B2, D3DFMT_A8R3G3B2,
        D3DFMT_A8,          D3DFMT_L8,       D3DFMT_A8L8,         D3DFMT_A4L4,     D3DFMT_L16,    D3DFMT_A2R10G10B10,
        D3DFMT_A2B10G10R10, D3DFMT_G16R16,   D3DFMT_A16B16G16R16,
    };
    for (D3DFORMAT f : kCandidates)
        if ((uint32_t)f == code && CanWrite(f))
            return f;
    return D3DFMT_UNKNOWN;
}

bool CanRead(D3DFORMAT f)
{
    return CanWrite(f) || IsBlockCompressed(f);
}

bool HasAlpha(D3DFORMAT f)
{
    switch (f) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_A8:
    case D3DFMT_A8L8:
    case D3DFMT_A4L4:
    case D3DFMT_A2R10G10B10:
    case D3DFMT_A2B10G10R10:
    case D3DFMT_A16B16G16R16:
    case D3DFMT_A8P8:
    case D3DFMT_DXT1:
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        return true;
    default:
        return false;
    }
}

UINT BitsPerPixel(D3DFORMAT f)
{
    switch (f) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
    case D3DFMT_A2R10G10B10:
    case D3DFMT_A2B10G10R10:
    case D3DFMT_G16R16:
        return 32;
    case D3DFMT_R8G8B8:
        return 24;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_A8L8:
    case D3DFMT_L16:
    case D3DFMT_A8P8:
        return 16;
    case D3DFMT_R3G3B2:
    case D3DFMT_A8:
    case D3DFMT_L8:
    case D3DFMT_A4L4:
    case D3DFMT_P8:
        return 8;
    case D3DFMT_A16B16G16R16:
        return 64;
    case D3DFMT_DXT1:
        return 4;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        return 8;
    default:
        return 0;
    }
}

void UnpackRow(D3DFORMAT f, const uint8_t* s, uint32_t* out, UINT n)
{
    for (UINT i = 0; i < n; ++i) {
        uint32_t c = 0;
        switch (f) {
        case D3DFMT_A8R8G8B8: c = rd32(s + 4 * i); break;
        case D3DFMT_X8R8G8B8: c = rd32(s + 4 * i) | 0xFF000000u; break;
        case D3DFMT_A8B8G8R8: {
            uint32_t v = rd32(s + 4 * i);
            c = (v & 0xFF00FF00u) | ((v & 0xFF) << 16) | ((v >> 16) & 0xFF);
            break;
        }
        case D3DFMT_X8B8G8R8: {
            uint32_t v = rd32(s + 4 * i);
            c = 0xFF000000u | (v & 0x0000FF00u) | ((v & 0xFF) << 16) | ((v >> 16) & 0xFF);
            break;
        }
        case D3DFMT_R8G8B8: c = argb(255, s[3 * i + 2], s[3 * i + 1], s[3 * i]); break;
        case D3DFMT_R5G6B5: {
            uint32_t v = rd16(s + 2 * i);
            c = argb(255, widen(v >> 11, 5), widen((v >> 5) & 63, 6), widen(v & 31, 5));
            break;
        }
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: {
            uint32_t v = rd16(s + 2 * i);
            uint32_t a = (f == D3DFMT_X1R5G5B5 || (v & 0x8000)) ? 255 : 0;
            c = argb(a, widen((v >> 10) & 31, 5), widen((v >> 5) & 31, 5), widen(v & 31, 5));
            break;
        }
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4: {
            uint32_t v = rd16(s + 2 * i);
            uint32_t a = f == D3DFMT_X4R4G4B4 ? 255 : widen(v >> 12, 4);
            c = argb(a, widen((v >> 8) & 15, 4), widen((v >> 4) & 15, 4), widen(v & 15, 4));
            break;
        }
        case D3DFMT_R3G3B2:
        case D3DFMT_A8R3G3B2: {
            uint32_t v = f == D3DFMT_R3G3B2 ? s[i] : rd16(s + 2 * i);
            uint32_t a = f == D3DFMT_R3G3B2 ? 255 : (v >> 8);
            c = argb(a, widen((v >> 5) & 7, 3), widen((v >> 2) & 7, 3), widen(v & 3, 2));
            break;
        }
        case D3DFMT_A8: c = argb(s[i], 0, 0, 0); break;
        case D3DFMT_L8: c = argb(255, s[i], s[i], s[i]); break;
        case D3DFMT_A8L8: c = argb(s[2 * i + 1], s[2 * i], s[2 * i], s[2 * i]); break;
        case D3DFMT_A4L4: {
            uint32_t l = widen(s[i] & 15, 4);
            c = argb(widen(s[i] >> 4, 4), l, l, l);
            break;
        }
        case D3DFMT_L16: {
            uint32_t l = rd16(s + 2 * i) >> 8;
            c = argb(255, l, l, l);
            break;
        }
        case D3DFMT_A2R10G10B10: {
            uint32_t v = rd32(s + 4 * i);
            c = argb(widen(v >> 30, 2), widen((v >> 20) & 1023, 10), widen((v >> 10) & 1023, 10), widen(v & 1023, 10));
            break;
        }
        case D3DFMT_A2B10G10R10: {
            uint32_t v = rd32(s + 4 * i);
            c = argb(widen(v >> 30, 2), widen(v & 1023, 10), widen((v >> 10) & 1023, 10), widen((v >> 20) & 1023, 10));
            break;
        }
        case D3DFMT_G16R16: {
            uint32_t v = rd32(s + 4 * i);
            c = argb(255, (v >> 8) & 0xFF, v >> 24, 255);
            break;
        }
        case D3DFMT_A16B16G16R16: {
            const uint8_t* p = s + 8 * i;
            c = argb(p[7], p[1], p[3], p[5]);
            break;
        }
        default: c = 0; break;
        }
        out[i] = c;
    }
}

void PackRow(D3DFORMAT f, const uint32_t* in, uint8_t* d, UINT n)
{
    for (UINT i = 0; i < n; ++i) {
        uint32_t c = in[i];
        switch (f) {
        case D3DFMT_A8R8G8B8: wr32(d + 4 * i, c); break;
        case D3DFMT_X8R8G8B8: wr32(d + 4 * i, c | 0xFF000000u); break;
        case D3DFMT_A8B8G8R8: wr32(d + 4 * i, (c & 0xFF00FF00u) | (B(c) << 16) | R(c)); break;
        case D3DFMT_X8B8G8R8: wr32(d + 4 * i, 0xFF000000u | (G(c) << 8) | (B(c) << 16) | R(c)); break;
        case D3DFMT_R8G8B8:
            d[3 * i] = (uint8_t)B(c);
            d[3 * i + 1] = (uint8_t)G(c);
            d[3 * i + 2] = (uint8_t)R(c);
            break;
        case D3DFMT_R5G6B5: wr16(d + 2 * i, (narrow(R(c), 5) << 11) | (narrow(G(c), 6) << 5) | narrow(B(c), 5)); break;
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: {
            uint32_t a = f == D3DFMT_X1R5G5B5 ? 1 : (A(c) >= 128 ? 1 : 0);
            wr16(d + 2 * i, (a << 15) | (narrow(R(c), 5) << 10) | (narrow(G(c), 5) << 5) | narrow(B(c), 5));
            break;
        }
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4: {
            uint32_t a = f == D3DFMT_X4R4G4B4 ? 15 : narrow(A(c), 4);
            wr16(d + 2 * i, (a << 12) | (narrow(R(c), 4) << 8) | (narrow(G(c), 4) << 4) | narrow(B(c), 4));
            break;
        }
        case D3DFMT_R3G3B2: d[i] = (uint8_t)((narrow(R(c), 3) << 5) | (narrow(G(c), 3) << 2) | narrow(B(c), 2)); break;
        case D3DFMT_A8R3G3B2:
            wr16(d + 2 * i, (A(c) << 8) | (narrow(R(c), 3) << 5) | (narrow(G(c), 3) << 2) | narrow(B(c), 2));
            break;
        case D3DFMT_A8: d[i] = (uint8_t)A(c); break;
        case D3DFMT_L8: d[i] = (uint8_t)luminance(c); break;
        case D3DFMT_A8L8:
            d[2 * i] = (uint8_t)luminance(c);
            d[2 * i + 1] = (uint8_t)A(c);
            break;
        case D3DFMT_A4L4: d[i] = (uint8_t)((narrow(A(c), 4) << 4) | narrow(luminance(c), 4)); break;
        case D3DFMT_L16: wr16(d + 2 * i, luminance(c) * 257); break;
        case D3DFMT_A2R10G10B10:
            wr32(d + 4 * i, (narrow(A(c), 2) << 30) | (narrow(R(c), 10) << 20) | (narrow(G(c), 10) << 10) | narrow(B(c), 10));
            break;
        case D3DFMT_A2B10G10R10:
            wr32(d + 4 * i, (narrow(A(c), 2) << 30) | (narrow(B(c), 10) << 20) | (narrow(G(c), 10) << 10) | narrow(R(c), 10));
            break;
        case D3DFMT_G16R16: wr32(d + 4 * i, (G(c) * 257u << 16) | (R(c) * 257u)); break;
        case D3DFMT_A16B16G16R16: {
            uint8_t* p = d + 8 * i;
            wr16(p, R(c) * 257);
            wr16(p + 2, G(c) * 257);
            wr16(p + 4, B(c) * 257);
            wr16(p + 6, A(c) * 257);
            break;
        }
        default: break;
        }
    }
}

void UnpackBlocks(D3DFORMAT f, const uint8_t* src, size_t pitch, Image& out)
{
    UINT bw = (out.width + 3) / 4, bh = (out.height + 3) / 4;
    for (UINT by = 0; by < bh; ++by) {
        for (UINT bx = 0; bx < bw; ++bx) {
            uint32_t texels[16];
            d3d9gl::DecodeDxtBlock(f, src + by * pitch + bx * d3d9gl::DxtBlockBytes(f), texels);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x) {
                    UINT px = bx * 4 + x, py = by * 4 + y;
                    if (px < out.width && py < out.height)
                        out.at(px, py) = texels[y * 4 + x];
                }
        }
    }
}

namespace {

struct Tap {
    int index;
    float weight;
};

// Source index for a position beyond the edge: wrapped, or mirrored.
int edge(int i, int n, bool mirror)
{
    if (n == 1)
        return 0;
    if (mirror) {
        int period = 2 * n;
        i %= period;
        if (i < 0)
            i += period;
        return i < n ? i : period - 1 - i;
    }
    i %= n;
    return i < 0 ? i + n : i;
}

// Taps of each destination index along one axis.
std::vector<std::vector<Tap>> taps(UINT srcN, UINT dstN, DWORD kind, bool mirror)
{
    std::vector<std::vector<Tap>> out(dstN);
    double scale = (double)srcN / dstN;
    for (UINT d = 0; d < dstN; ++d) {
        std::vector<Tap>& t = out[d];
        if (kind == D3DX_FILTER_POINT) {
            int s = std::min<int>((int)srcN - 1, (int)std::floor((d + 0.5) * scale));
            t.push_back({s, 1.0f});
        } else if (scale > 1.0 || kind == D3DX_FILTER_BOX) {
            // Area average of the source span the destination texel covers.
            double lo = d * scale, hi = (d + 1) * scale;
            if (scale <= 1.0) {
                int s = std::min<int>((int)srcN - 1, (int)std::floor((d + 0.5) * scale));
                t.push_back({s, 1.0f});
                continue;
            }
            for (int s = (int)std::floor(lo); s < (int)std::ceil(hi); ++s) {
                double w = std::min<double>(hi, s + 1) - std::max<double>(lo, s);
                if (w > 1e-9)
                    t.push_back({edge(s, (int)srcN, mirror), (float)(w / scale)});
            }
        } else {
            // Upsampling: linear between the two nearest texel centres.
            double u = (d + 0.5) * scale - 0.5;
            int s0 = (int)std::floor(u);
            float f = (float)(u - s0);
            t.push_back({edge(s0, (int)srcN, mirror), 1.0f - f});
            if (f > 0.0f)
                t.push_back({edge(s0 + 1, (int)srcN, mirror), f});
        }
    }
    return out;
}

} // namespace

Image Resample(const Image& src, UINT w, UINT h, DWORD filter)
{
    if (src.width == w && src.height == h)
        return src;
    Image out(w, h, 0);
    if (src.width == 0 || src.height == 0 || w == 0 || h == 0)
        return out;
    DWORD kind = filter & 0xFFFF;
    if (filter == D3DX_DEFAULT)
        kind = D3DX_FILTER_TRIANGLE;
    if (kind == D3DX_FILTER_NONE) {
        for (UINT y = 0; y < std::min(h, src.height); ++y)
            for (UINT x = 0; x < std::min(w, src.width); ++x)
                out.at(x, y) = src.at(x, y);
        return out;
    }
    if (kind < D3DX_FILTER_POINT || kind > D3DX_FILTER_BOX)
        kind = D3DX_FILTER_TRIANGLE;
    bool mirrorU = filter != D3DX_DEFAULT && (filter & D3DX_FILTER_MIRROR_U);
    bool mirrorV = filter != D3DX_DEFAULT && (filter & D3DX_FILTER_MIRROR_V);
    auto tx = taps(src.width, w, kind, mirrorU);
    auto ty = taps(src.height, h, kind, mirrorV);

    // Horizontal pass into floats, then vertical.
    std::vector<float> row((size_t)w * src.height * 4);
    for (UINT y = 0; y < src.height; ++y)
        for (UINT x = 0; x < w; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (const Tap& t : tx[x]) {
                uint32_t c = src.at((UINT)t.index, y);
                acc[0] += t.weight * (c >> 24);
                acc[1] += t.weight * ((c >> 16) & 0xFF);
                acc[2] += t.weight * ((c >> 8) & 0xFF);
                acc[3] += t.weight * (c & 0xFF);
            }
            std::memcpy(&row[((size_t)y * w + x) * 4], acc, sizeof(acc));
        }
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (const Tap& t : ty[y]) {
                const float* p = &row[((size_t)t.index * w + x) * 4];
                for (int k = 0; k < 4; ++k)
                    acc[k] += t.weight * p[k];
            }
            uint32_t ch[4];
            for (int k = 0; k < 4; ++k)
                ch[k] = (uint32_t)std::min(255.0f, std::max(0.0f, acc[k] + 0.5f));
            out.at(x, y) = argb(ch[0], ch[1], ch[2], ch[3]);
        }
    return out;
}

void ApplyColorKey(Image& image, D3DCOLOR key)
{
    if (key == 0)
        return;
    for (uint32_t& c : image.argb)
        if (c == key)
            c = 0;
}

} // namespace d3dx
