// Draw calls: vertex layouts, GL state, fixed-function uniforms.
#include "d3d9_ffp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>

namespace d3d9gl {

namespace {
float DwordFloat(DWORD d)
{
    float f;
    std::memcpy(&f, &d, 4);
    return f;
}

void ColorToFloat(D3DCOLOR c, float out[4])
{
    out[0] = ((c >> 16) & 255) / 255.0f;
    out[1] = ((c >> 8) & 255) / 255.0f;
    out[2] = (c & 255) / 255.0f;
    out[3] = ((c >> 24) & 255) / 255.0f;
}

void Mul(const D3DMATRIX& a, const D3DMATRIX& b, float out[16])
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a.m[i][k] * b.m[k][j];
            out[i * 4 + j] = s;
        }
}

// Transpose of the inverse; the identity when m cannot be inverted.
void InverseTranspose(const float m[16], float out[16])
{
    double inv[16];
    const float* a = m;
    inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] + a[9] * a[7] * a[14] +
             a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
    inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] - a[8] * a[7] * a[14] -
             a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
    inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] + a[8] * a[7] * a[13] +
             a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
    inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] - a[8] * a[6] * a[13] -
              a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
    inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] - a[9] * a[3] * a[14] -
             a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
    inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] + a[8] * a[3] * a[14] +
             a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
    inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] - a[8] * a[3] * a[13] -
             a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
    inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] + a[8] * a[2] * a[13] +
              a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
    inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
             a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
    inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] - a[4] * a[3] * a[14] -
             a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
    inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] + a[4] * a[3] * a[13] +
              a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
    inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] - a[4] * a[2] * a[13] -
              a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
    inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] - a[5] * a[3] * a[10] -
             a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
    inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
             a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
    inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
              a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
    inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
              a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
    double det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
    if (std::fabs(det) < 1e-30) {
        for (int i = 0; i < 16; ++i) out[i] = (i % 5 == 0) ? 1.0f : 0.0f;
        return;
    }
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) out[j * 4 + i] = (float)(inv[i * 4 + j] / det);
}

GLenum GLCompare(DWORD f)
{
    if (f < D3DCMP_NEVER || f > D3DCMP_ALWAYS) return GL_ALWAYS;
    return GL_NEVER + (f - 1);
}

GLenum GLStencilOp(DWORD op)
{
    switch (op) {
    case D3DSTENCILOP_ZERO: return GL_ZERO;
    case D3DSTENCILOP_REPLACE: return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT: return GL_INCR;
    case D3DSTENCILOP_DECRSAT: return GL_DECR;
    case D3DSTENCILOP_INVERT: return GL_INVERT;
    case D3DSTENCILOP_INCR: return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR: return GL_DECR_WRAP;
    default: return GL_KEEP;
    }
}

GLenum GLBlend(DWORD b)
{
    switch (b) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR: return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR: return GL_ONE_MINUS_CONSTANT_COLOR;
    default: return GL_ONE;
    }
}

GLenum GLBlendOp(DWORD op)
{
    switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
    }
}

// BOTHSRCALPHA and BOTHINVSRCALPHA set both factors from the source one.
void BlendPair(DWORD src, DWORD dst, GLenum& s, GLenum& d)
{
    if (src == D3DBLEND_BOTHSRCALPHA) {
        s = GL_SRC_ALPHA;
        d = GL_ONE_MINUS_SRC_ALPHA;
    } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
        s = GL_ONE_MINUS_SRC_ALPHA;
        d = GL_SRC_ALPHA;
    } else {
        s = GLBlend(src);
        d = GLBlend(dst);
    }
}

GLenum GLPrimitive(D3DPRIMITIVETYPE t)
{
    switch (t) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLELIST: return GL_TRIANGLES;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return 0xFFFFFFFFu;
    }
}

UINT VertexCount(D3DPRIMITIVETYPE t, UINT prims)
{
    switch (t) {
    case D3DPT_POINTLIST: return prims;
    case D3DPT_LINELIST: return prims * 2;
    case D3DPT_LINESTRIP: return prims + 1;
    case D3DPT_TRIANGLELIST: return prims * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return prims + 2;
    default: return 0;
    }
}

GLint GLWrap(DWORD a)
{
    switch (a) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE: return GL_MIRRORED_REPEAT;
    default: return GL_REPEAT;
    }
}
} // namespace

// ---- Vertex layouts ------------------------------------------------------------------
UINT FVFStride(DWORD fvf)
{
    VertexLayout l;
    if (!LayoutFromFVF(fvf, l)) return 0;
    return l.fvfStride;
}

bool LayoutFromFVF(DWORD fvf, VertexLayout& L)
{
    L = VertexLayout();
    UINT off = 0;
    const DWORD pos = fvf & D3DFVF_POSITION_MASK;
    auto add = [&](GLuint loc, GLint size, GLenum type, GLboolean norm, UINT bytes) {
        L.attribs.push_back({loc, 0, off, size, type, norm});
        off += bytes;
    };
    int betas = 0;
    switch (pos) {
    case 0: break;
    case D3DFVF_XYZ: add(kAttrPosition, 3, GL_FLOAT, 0, 12); break;
    case D3DFVF_XYZRHW: add(kAttrPosition, 4, GL_FLOAT, 0, 16); L.input.pretransformed = true; break;
    case D3DFVF_XYZW: add(kAttrPosition, 4, GL_FLOAT, 0, 16); break;
    case D3DFVF_XYZB1: case D3DFVF_XYZB2: case D3DFVF_XYZB3: case D3DFVF_XYZB4: case D3DFVF_XYZB5:
        add(kAttrPosition, 3, GL_FLOAT, 0, 12);
        betas = (int)((pos - D3DFVF_XYZRHW) / 2);
        break;
    default: return false;
    }
    if (betas) {
        const bool ubyte = (fvf & D3DFVF_LASTBETA_UBYTE4) != 0, color = (fvf & D3DFVF_LASTBETA_D3DCOLOR) != 0;
        int weights = (ubyte || color) ? betas - 1 : betas;
        if (weights > 0) add(kAttrBlendWeight, std::min(weights, 4), GL_FLOAT, 0, (UINT)weights * 4);
        L.input.weights = std::min(weights, 3);
        if (ubyte || color) {
            if (ubyte) add(kAttrBlendIndices, 4, GL_UNSIGNED_BYTE, 0, 4);
            else add(kAttrBlendIndices, (GLint)GL_BGRA, GL_UNSIGNED_BYTE, 1, 4);
            L.input.blendIndices = true;
            L.indicesNormalized = color;
        }
    }
    if (fvf & D3DFVF_NORMAL) {
        add(kAttrNormal, 3, GL_FLOAT, 0, 12);
        L.input.normal = true;
    }
    if (fvf & D3DFVF_PSIZE) {
        add(kAttrPSize, 1, GL_FLOAT, 0, 4);
        L.input.psize = true;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        add(kAttrColor0, (GLint)GL_BGRA, GL_UNSIGNED_BYTE, 1, 4);
        L.input.color0 = true;
    }
    if (fvf & D3DFVF_SPECULAR) {
        add(kAttrColor1, (GLint)GL_BGRA, GL_UNSIGNED_BYTE, 1, 4);
        L.input.color1 = true;
    }
    const int tex = (int)((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    if (tex > 8) return false;
    for (int i = 0; i < tex; ++i) {
        const int code = (int)((fvf >> (16 + 2 * i)) & 3);
        const int size = code == 0 ? 2 : code == 1 ? 3 : code == 2 ? 4 : 1;
        add(kAttrTex0 + (GLuint)i, size, GL_FLOAT, 0, (UINT)size * 4);
        L.input.texSize[i] = size;
    }
    L.input.texSets = tex;
    L.fvfStride = off;
    return true;
}

bool LayoutFromDecl(const std::vector<D3DVERTEXELEMENT9>& elements, VertexLayout& L)
{
    L = VertexLayout();
    for (const D3DVERTEXELEMENT9& e : elements) {
        GLint size;
        GLenum type;
        GLboolean norm = 0;
        switch (e.Type) {
        case D3DDECLTYPE_FLOAT1: size = 1; type = GL_FLOAT; break;
        case D3DDECLTYPE_FLOAT2: size = 2; type = GL_FLOAT; break;
        case D3DDECLTYPE_FLOAT3: size = 3; type = GL_FLOAT; break;
        case D3DDECLTYPE_FLOAT4: size = 4; type = GL_FLOAT; break;
        case D3DDECLTYPE_D3DCOLOR: size = (GLint)GL_BGRA; type = GL_UNSIGNED_BYTE; norm = 1; break;
        case D3DDECLTYPE_UBYTE4: size = 4; type = GL_UNSIGNED_BYTE; break;
        case D3DDECLTYPE_UBYTE4N: size = 4; type = GL_UNSIGNED_BYTE; norm = 1; break;
        case D3DDECLTYPE_SHORT2: size = 2; type = GL_SHORT; break;
        case D3DDECLTYPE_SHORT4: size = 4; type = GL_SHORT; break;
        case D3DDECLTYPE_SHORT2N: size = 2; type = GL_SHORT; norm = 1; break;
        case D3DDECLTYPE_SHORT4N: size = 4; type = GL_SHORT; norm = 1; break;
        case D3DDECLTYPE_USHORT2N: size = 2; type = GL_UNSIGNED_SHORT; norm = 1; break;
        case D3DDECLTYPE_USHORT4N: size = 4; type = GL_UNSIGNED_SHORT; norm = 1; break;
        case D3DDECLTYPE_FLOAT16_2: size = 2; type = GL_HALF_FLOAT; break;
        case D3DDECLTYPE_FLOAT16_4: size = 4; type = GL_HALF_FLOAT; break;
        default: return false;
        }
        const int comps = size == (GLint)GL_BGRA ? 4 : size;
        int loc = -1;
        switch (e.Usage) {
        case D3DDECLUSAGE_POSITION: if (e.UsageIndex == 0) loc = kAttrPosition; break;
        case D3DDECLUSAGE_POSITIONT:
            if (e.UsageIndex == 0) {
                loc = kAttrPosition;
                L.input.pretransformed = true;
            }
            break;
        case D3DDECLUSAGE_BLENDWEIGHT:
            if (e.UsageIndex == 0) {
                loc = kAttrBlendWeight;
                L.input.weights = std::min(comps, 3);
            }
            break;
        case D3DDECLUSAGE_BLENDINDICES:
            if (e.UsageIndex == 0) {
                loc = kAttrBlendIndices;
                L.input.blendIndices = true;
                L.indicesNormalized = norm != 0;
            }
            break;
        case D3DDECLUSAGE_NORMAL: if (e.UsageIndex == 0) { loc = kAttrNormal; L.input.normal = true; } break;
        case D3DDECLUSAGE_PSIZE: if (e.UsageIndex == 0) { loc = kAttrPSize; L.input.psize = true; } break;
        case D3DDECLUSAGE_COLOR:
            if (e.UsageIndex == 0) { loc = kAttrColor0; L.input.color0 = true; }
            else if (e.UsageIndex == 1) { loc = kAttrColor1; L.input.color1 = true; }
            break;
        case D3DDECLUSAGE_TEXCOORD:
            if (e.UsageIndex < 8) {
                loc = kAttrTex0 + e.UsageIndex;
                L.input.texSize[e.UsageIndex] = comps;
                L.input.texSets = std::max(L.input.texSets, (int)e.UsageIndex + 1);
            }
            break;
        case D3DDECLUSAGE_TANGENT: if (e.UsageIndex == 0) loc = kAttrTangent; break;
        default: break;
        }
        if (loc >= 0) L.attribs.push_back({(GLuint)loc, e.Stream, e.Offset, size, type, norm});
    }
    // Texture sets missing between given ones read as zero.
    for (int i = 0; i < L.input.texSets; ++i)
        if (!L.input.texSize[i]) L.input.texSize[i] = 4;
    return true;
}

// ---- GL state ------------------------------------------------------------------------------
void Device::ApplyBlend()
{
    const DWORD* rs = m_state.rs;
    const DWORD cw = rs[D3DRS_COLORWRITEENABLE];
    // A target without alpha keeps 1 there, which is what blending reads.
    const bool alpha = (cw & 8) != 0 && m_renderTarget && m_renderTarget->fmt->hasAlpha;
    gl.glColorMask((cw & 1) != 0, (cw & 2) != 0, (cw & 4) != 0, alpha);
    if (!rs[D3DRS_ALPHABLENDENABLE]) {
        gl.glDisable(GL_BLEND);
        return;
    }
    gl.glEnable(GL_BLEND);
    GLenum s, d, sa, da;
    BlendPair(rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND], s, d);
    GLenum op = GLBlendOp(rs[D3DRS_BLENDOP]), opa = op;
    if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
        BlendPair(rs[D3DRS_SRCBLENDALPHA], rs[D3DRS_DESTBLENDALPHA], sa, da);
        opa = GLBlendOp(rs[D3DRS_BLENDOPALPHA]);
    } else {
        sa = s;
        da = d;
    }
    gl.glBlendFuncSeparate(s, d, sa, da);
    gl.glBlendEquationSeparate(op, opa);
    float f[4];
    ColorToFloat(rs[D3DRS_BLENDFACTOR], f);
    gl.glBlendColor(f[0], f[1], f[2], f[3]);
}

void Device::ApplyDepthStencil()
{
    const DWORD* rs = m_state.rs;
    if (rs[D3DRS_ZENABLE] != D3DZB_FALSE && m_depthStencil) {
        gl.glEnable(GL_DEPTH_TEST);
        gl.glDepthFunc(GLCompare(rs[D3DRS_ZFUNC]));
        gl.glDepthMask(rs[D3DRS_ZWRITEENABLE] ? 1 : 0);
    } else {
        gl.glDisable(GL_DEPTH_TEST);
        gl.glDepthMask(0);
    }
    if (rs[D3DRS_STENCILENABLE] && HasStencil()) {
        gl.glEnable(GL_STENCIL_TEST);
        const GLint ref = (GLint)(rs[D3DRS_STENCILREF] & 0xFF);
        // GL's front faces (counter-clockwise in its window space) are the
        // faces Direct3D sees clockwise.
        gl.glStencilFuncSeparate(GL_FRONT, GLCompare(rs[D3DRS_STENCILFUNC]), ref, rs[D3DRS_STENCILMASK]);
        gl.glStencilOpSeparate(GL_FRONT, GLStencilOp(rs[D3DRS_STENCILFAIL]), GLStencilOp(rs[D3DRS_STENCILZFAIL]),
                               GLStencilOp(rs[D3DRS_STENCILPASS]));
        if (rs[D3DRS_TWOSIDEDSTENCILMODE]) {
            gl.glStencilFuncSeparate(GL_BACK, GLCompare(rs[D3DRS_CCW_STENCILFUNC]), ref, rs[D3DRS_STENCILMASK]);
            gl.glStencilOpSeparate(GL_BACK, GLStencilOp(rs[D3DRS_CCW_STENCILFAIL]),
                                   GLStencilOp(rs[D3DRS_CCW_STENCILZFAIL]), GLStencilOp(rs[D3DRS_CCW_STENCILPASS]));
        } else {
            gl.glStencilFuncSeparate(GL_BACK, GLCompare(rs[D3DRS_STENCILFUNC]), ref, rs[D3DRS_STENCILMASK]);
            gl.glStencilOpSeparate(GL_BACK, GLStencilOp(rs[D3DRS_STENCILFAIL]), GLStencilOp(rs[D3DRS_STENCILZFAIL]),
                                   GLStencilOp(rs[D3DRS_STENCILPASS]));
        }
        gl.glStencilMask(rs[D3DRS_STENCILWRITEMASK]);
    } else {
        gl.glDisable(GL_STENCIL_TEST);
    }
}

void Device::ApplyRaster()
{
    const DWORD* rs = m_state.rs;
    switch (rs[D3DRS_CULLMODE]) {
    case D3DCULL_NONE: gl.glDisable(GL_CULL_FACE); break;
    case D3DCULL_CW:
        gl.glEnable(GL_CULL_FACE);
        gl.glCullFace(GL_FRONT);
        break;
    default:
        gl.glEnable(GL_CULL_FACE);
        gl.glCullFace(GL_BACK);
        break;
    }
    const DWORD fill = rs[D3DRS_FILLMODE];
    gl.glPolygonMode(GL_FRONT_AND_BACK, fill == D3DFILL_POINT ? GL_POINT : fill == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL);
    const float bias = DwordFloat(rs[D3DRS_DEPTHBIAS]), slope = DwordFloat(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
    if (bias != 0.0f || slope != 0.0f) {
        gl.glEnable(GL_POLYGON_OFFSET_FILL);
        gl.glEnable(GL_POLYGON_OFFSET_LINE);
        gl.glEnable(GL_POLYGON_OFFSET_POINT);
        gl.glPolygonOffset(slope, bias * 16777216.0f);
    } else {
        gl.glDisable(GL_POLYGON_OFFSET_FILL);
        gl.glDisable(GL_POLYGON_OFFSET_LINE);
        gl.glDisable(GL_POLYGON_OFFSET_POINT);
    }
}

void Device::ApplyViewport()
{
    const D3DVIEWPORT9& v = m_state.viewport;
    gl.glViewport((GLint)v.X, (GLint)v.Y, (GLsizei)v.Width, (GLsizei)v.Height);
    gl.glDepthRange(v.MinZ, v.MaxZ);
}

void Device::ApplySamplers()
{
    for (int i = 0; i < kMaxSamplers; ++i) {
        if (!(m_dirtySamplers & (1u << i))) continue;
        const DWORD* s = m_state.samp[i];
        const GLuint so = m_samplers[i];
        const bool magLinear = s[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR;
        const bool minLinear = s[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
        GLint minf;
        switch (s[D3DSAMP_MIPFILTER]) {
        case D3DTEXF_NONE: minf = minLinear ? GL_LINEAR : GL_NEAREST; break;
        case D3DTEXF_POINT: minf = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST; break;
        default: minf = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR; break;
        }
        gl.glSamplerParameteri(so, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
        gl.glSamplerParameteri(so, GL_TEXTURE_MIN_FILTER, minf);
        gl.glSamplerParameteri(so, GL_TEXTURE_WRAP_S, GLWrap(s[D3DSAMP_ADDRESSU]));
        gl.glSamplerParameteri(so, GL_TEXTURE_WRAP_T, GLWrap(s[D3DSAMP_ADDRESSV]));
        gl.glSamplerParameteri(so, GL_TEXTURE_WRAP_R, GLWrap(s[D3DSAMP_ADDRESSW]));
        float border[4];
        ColorToFloat(s[D3DSAMP_BORDERCOLOR], border);
        gl.glSamplerParameterfv(so, GL_TEXTURE_BORDER_COLOR, border);
        gl.glSamplerParameterf(so, GL_TEXTURE_LOD_BIAS, DwordFloat(s[D3DSAMP_MIPMAPLODBIAS]));
        gl.glSamplerParameterf(so, GL_TEXTURE_MIN_LOD, (float)s[D3DSAMP_MAXMIPLEVEL]);
        gl.glBindSampler((GLuint)i, so);
    }
    m_dirtySamplers = 0;
}

// ---- Fixed-function uniforms ------------------------------------------------------------
void Device::ComputeFFUniforms()
{
    const DeviceState& st = m_state;
    const DWORD* rs = st.rs;
    if (m_ffComputed[UTransforms] != serial[UTransforms] || m_ffComputedMatrices < m_blendMatrices) {
        for (int k = 0; k < m_blendMatrices; ++k) {
            Mul(st.transforms[10 + k], st.transforms[0], ff.worldView[k]);
            InverseTranspose(ff.worldView[k], ff.normalMat[k]);
        }
        m_ffComputed[UTransforms] = serial[UTransforms];
        m_ffComputedMatrices = m_blendMatrices;
    }
    if (m_ffComputed[UProjection] != serial[UProjection]) {
        std::memcpy(ff.proj, &st.transforms[1], 64);
        m_ffComputed[UProjection] = serial[UProjection];
    }
    if (m_ffComputed[UTexMatrices] != serial[UTexMatrices]) {
        for (int i = 0; i < 8; ++i) std::memcpy(ff.texMat[i], &st.transforms[2 + i], 64);
        m_ffComputed[UTexMatrices] = serial[UTexMatrices];
    }
    if (m_ffComputed[ULights] != serial[ULights]) {
        const D3DMATRIX& v = st.transforms[0];
        int n = 0;
        for (const auto& e : st.lights) {
            if (!e.second.enabled || n >= 8) continue;
            const D3DLIGHT9& l = e.second.light;
            ff.lightTypes[n] = l.Type;
            std::memcpy(ff.lightDiffuse[n], &l.Diffuse, 16);
            std::memcpy(ff.lightSpecular[n], &l.Specular, 16);
            std::memcpy(ff.lightAmbient[n], &l.Ambient, 16);
            const float px = l.Position.x, py = l.Position.y, pz = l.Position.z;
            ff.lightPos[n][0] = px * v._11 + py * v._21 + pz * v._31 + v._41;
            ff.lightPos[n][1] = px * v._12 + py * v._22 + pz * v._32 + v._42;
            ff.lightPos[n][2] = px * v._13 + py * v._23 + pz * v._33 + v._43;
            ff.lightPos[n][3] = 1.0f;
            const float dx = l.Direction.x, dy = l.Direction.y, dz = l.Direction.z;
            float ex = dx * v._11 + dy * v._21 + dz * v._31;
            float ey = dx * v._12 + dy * v._22 + dz * v._32;
            float ez = dx * v._13 + dy * v._23 + dz * v._33;
            float len = std::sqrt(ex * ex + ey * ey + ez * ez);
            if (len > 0) {
                ex /= len;
                ey /= len;
                ez /= len;
            }
            ff.lightDir[n][0] = ex;
            ff.lightDir[n][1] = ey;
            ff.lightDir[n][2] = ez;
            ff.lightDir[n][3] = 0.0f;
            ff.lightAtt[n][0] = l.Attenuation0;
            ff.lightAtt[n][1] = l.Attenuation1;
            ff.lightAtt[n][2] = l.Attenuation2;
            ff.lightAtt[n][3] = l.Range;
            ff.lightSpot[n][0] = std::cos(l.Theta * 0.5f);
            ff.lightSpot[n][1] = std::cos(l.Phi * 0.5f);
            ff.lightSpot[n][2] = l.Falloff;
            ff.lightSpot[n][3] = 0.0f;
            ++n;
        }
        ff.lightCount = n;
        m_ffComputed[ULights] = serial[ULights];
    }
    if (m_ffComputed[UMaterial] != serial[UMaterial]) {
        std::memcpy(ff.matDiffuse, &st.material.Diffuse, 16);
        std::memcpy(ff.matAmbient, &st.material.Ambient, 16);
        std::memcpy(ff.matSpecular, &st.material.Specular, 16);
        std::memcpy(ff.matEmissive, &st.material.Emissive, 16);
        ff.matPower = st.material.Power;
        ColorToFloat(rs[D3DRS_AMBIENT], ff.globalAmbient);
        m_ffComputed[UMaterial] = serial[UMaterial];
    }
    if (m_ffComputed[UFog] != serial[UFog]) {
        ff.fog[0] = DwordFloat(rs[D3DRS_FOGSTART]);
        ff.fog[1] = DwordFloat(rs[D3DRS_FOGEND]);
        ff.fog[2] = DwordFloat(rs[D3DRS_FOGDENSITY]);
        ff.fog[3] = st.transforms[1]._34 != 0.0f ? 1.0f : 0.0f;
        ColorToFloat(rs[D3DRS_FOGCOLOR], ff.fogColor);
        m_ffComputed[UFog] = serial[UFog];
    }
    if (m_ffComputed[UPoint] != serial[UPoint]) {
        ff.point[0] = DwordFloat(rs[D3DRS_POINTSIZE]);
        ff.point[1] = DwordFloat(rs[D3DRS_POINTSIZE_MIN]);
        ff.point[2] = std::min(DwordFloat(rs[D3DRS_POINTSIZE_MAX]), m_caps.MaxPointSize);
        ff.point[3] = (float)st.viewport.Height;
        ff.pointScale[0] = DwordFloat(rs[D3DRS_POINTSCALE_A]);
        ff.pointScale[1] = DwordFloat(rs[D3DRS_POINTSCALE_B]);
        ff.pointScale[2] = DwordFloat(rs[D3DRS_POINTSCALE_C]);
        ff.pointScale[3] = 0.0f;
        m_ffComputed[UPoint] = serial[UPoint];
    }
    if (m_ffComputed[UPixel] != serial[UPixel]) {
        ColorToFloat(rs[D3DRS_TEXTUREFACTOR], ff.tfactor);
        for (int i = 0; i < 8; ++i) ColorToFloat(st.tss[i][D3DTSS_CONSTANT], ff.stageConst[i]);
        ff.alphaRef = (float)(rs[D3DRS_ALPHAREF] & 0xFF);
        m_ffComputed[UPixel] = serial[UPixel];
    }
    if (m_ffComputed[UViewport] != serial[UViewport]) {
        const D3DVIEWPORT9& v = st.viewport;
        ff.viewport[0] = (float)v.X;
        ff.viewport[1] = (float)v.Y;
        ff.viewport[2] = (float)std::max<DWORD>(v.Width, 1);
        ff.viewport[3] = (float)std::max<DWORD>(v.Height, 1);
        m_ffComputed[UViewport] = serial[UViewport];
    }
}

namespace {
void Upload(FFProgram* p, Device& d)
{
    const Device::FFUniforms& u = d.ff;
    uint32_t* up = p->uploaded;
    const uint32_t* s = d.serial;
    if (up[Device::UTransforms] != s[Device::UTransforms] + (uint32_t)d.m_blendMatrices * 0x10000u) {
        if (p->wv >= 0) gl.glUniformMatrix4fv(p->wv, d.m_blendMatrices, 0, u.worldView[0]);
        if (p->nm >= 0) gl.glUniformMatrix4fv(p->nm, d.m_blendMatrices, 0, u.normalMat[0]);
        up[Device::UTransforms] = s[Device::UTransforms] + (uint32_t)d.m_blendMatrices * 0x10000u;
    }
    if (up[Device::UProjection] != s[Device::UProjection]) {
        if (p->proj >= 0) gl.glUniformMatrix4fv(p->proj, 1, 0, u.proj);
        up[Device::UProjection] = s[Device::UProjection];
    }
    if (up[Device::UViewport] != s[Device::UViewport]) {
        if (p->vp >= 0) gl.glUniform4fv(p->vp, 1, u.viewport);
        float off[4] = {1.0f / u.viewport[2], 1.0f / u.viewport[3], 0, 0};
        if (p->vpoff >= 0) gl.glUniform4fv(p->vpoff, 1, off);
        up[Device::UViewport] = s[Device::UViewport];
    }
    if (up[Device::UTexMatrices] != s[Device::UTexMatrices]) {
        if (p->texm >= 0) gl.glUniformMatrix4fv(p->texm, 8, 0, u.texMat[0]);
        up[Device::UTexMatrices] = s[Device::UTexMatrices];
    }
    if (up[Device::ULights] != s[Device::ULights]) {
        const int n = std::max(u.lightCount, 1);
        if (p->ld >= 0) gl.glUniform4fv(p->ld, n, u.lightDiffuse[0]);
        if (p->ls >= 0) gl.glUniform4fv(p->ls, n, u.lightSpecular[0]);
        if (p->la >= 0) gl.glUniform4fv(p->la, n, u.lightAmbient[0]);
        if (p->lp >= 0) gl.glUniform4fv(p->lp, n, u.lightPos[0]);
        if (p->ldir >= 0) gl.glUniform4fv(p->ldir, n, u.lightDir[0]);
        if (p->latt >= 0) gl.glUniform4fv(p->latt, n, u.lightAtt[0]);
        if (p->lspot >= 0) gl.glUniform4fv(p->lspot, n, u.lightSpot[0]);
        up[Device::ULights] = s[Device::ULights];
    }
    if (up[Device::UMaterial] != s[Device::UMaterial]) {
        if (p->md >= 0) gl.glUniform4fv(p->md, 1, u.matDiffuse);
        if (p->ma >= 0) gl.glUniform4fv(p->ma, 1, u.matAmbient);
        if (p->ms >= 0) gl.glUniform4fv(p->ms, 1, u.matSpecular);
        if (p->me >= 0) gl.glUniform4fv(p->me, 1, u.matEmissive);
        if (p->mp >= 0) gl.glUniform1f(p->mp, u.matPower);
        if (p->gamb >= 0) gl.glUniform4fv(p->gamb, 1, u.globalAmbient);
        up[Device::UMaterial] = s[Device::UMaterial];
    }
    if (up[Device::UFog] != s[Device::UFog]) {
        if (p->fog >= 0) gl.glUniform4fv(p->fog, 1, u.fog);
        if (p->fogc >= 0) gl.glUniform4fv(p->fogc, 1, u.fogColor);
        up[Device::UFog] = s[Device::UFog];
    }
    if (up[Device::UPoint] != s[Device::UPoint]) {
        if (p->point >= 0) gl.glUniform4fv(p->point, 1, u.point);
        if (p->pscale >= 0) gl.glUniform4fv(p->pscale, 1, u.pointScale);
        up[Device::UPoint] = s[Device::UPoint];
    }
    if (up[Device::UPixel] != s[Device::UPixel]) {
        if (p->tf >= 0) gl.glUniform4fv(p->tf, 1, u.tfactor);
        if (p->cst >= 0) gl.glUniform4fv(p->cst, 8, u.stageConst[0]);
        if (p->aref >= 0) gl.glUniform1f(p->aref, u.alphaRef);
        up[Device::UPixel] = s[Device::UPixel];
    }
}
} // namespace

namespace {
bool OpReads(DWORD op, const DWORD* t, D3DTEXTURESTAGESTATETYPE arg0, D3DTEXTURESTAGESTATETYPE arg1,
             D3DTEXTURESTAGESTATETYPE arg2)
{
    if (op == D3DTOP_DISABLE) return false;
    if (op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM) return true;
    auto tex = [&](D3DTEXTURESTAGESTATETYPE a) { return (t[a] & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
    if ((op == D3DTOP_MULTIPLYADD || op == D3DTOP_LERP) && tex(arg0)) return true;
    if (op != D3DTOP_SELECTARG2 && tex(arg1)) return true;
    return op != D3DTOP_SELECTARG1 && tex(arg2);
}
} // namespace

bool StageReadsTexture(const DWORD* t)
{
    return OpReads(t[D3DTSS_COLOROP], t, D3DTSS_COLORARG0, D3DTSS_COLORARG1, D3DTSS_COLORARG2) ||
           OpReads(t[D3DTSS_ALPHAOP], t, D3DTSS_ALPHAARG0, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2);
}

void Device::BuildFFDesc(FFDesc& d, bool points)
{
    std::memset(&d, 0, sizeof(d));
    const DWORD* rs = m_state.rs;
    const VertexInput& in = m_layout.input;
    d.pretransformed = in.pretransformed;
    if (!in.pretransformed) {
        const DWORD vb = rs[D3DRS_VERTEXBLEND];
        int weights = 0;
        if (vb >= D3DVBF_1WEIGHTS && vb <= D3DVBF_3WEIGHTS) weights = std::min((int)vb, in.weights);
        d.weights = (uint8_t)weights;
        d.indexed = rs[D3DRS_INDEXEDVERTEXBLENDENABLE] && in.blendIndices &&
                    (weights > 0 || vb == D3DVBF_0WEIGHTS);
        d.indicesNormalized = d.indexed && m_layout.indicesNormalized;
        d.palette = d.indexed ? (uint8_t)(m_caps.MaxVertexBlendMatrixIndex + 1) : 0;
    }
    d.normal = in.normal;
    d.psize = in.psize && points;
    d.color0 = in.color0;
    d.color1 = in.color1;
    d.texSets = (uint8_t)in.texSets;
    for (int i = 0; i < 8; ++i) d.texSize[i] = (uint8_t)in.texSize[i];
    d.lighting = rs[D3DRS_LIGHTING] && !in.pretransformed;
    d.specular = rs[D3DRS_SPECULARENABLE] ? 1 : 0;
    if (d.lighting) {
        d.localViewer = rs[D3DRS_LOCALVIEWER] ? 1 : 0;
        auto source = [&](DWORD s) -> uint8_t {
            if (!rs[D3DRS_COLORVERTEX]) return 0;
            if (s == D3DMCS_COLOR1 && in.color0) return 1;
            if (s == D3DMCS_COLOR2 && in.color1) return 2;
            return 0;
        };
        d.diffuseSource = source(rs[D3DRS_DIFFUSEMATERIALSOURCE]);
        d.specularSource = source(rs[D3DRS_SPECULARMATERIALSOURCE]);
        d.ambientSource = source(rs[D3DRS_AMBIENTMATERIALSOURCE]);
        d.emissiveSource = source(rs[D3DRS_EMISSIVEMATERIALSOURCE]);
        d.lightCount = (uint8_t)ff.lightCount;
        for (int i = 0; i < ff.lightCount; ++i) d.lightType[i] = (uint8_t)ff.lightTypes[i];
    }
    d.normalize = rs[D3DRS_NORMALIZENORMALS] ? 1 : 0;
    if (rs[D3DRS_FOGENABLE]) {
        d.fog = 1;
        d.tableFog = (uint8_t)(rs[D3DRS_FOGTABLEMODE] <= D3DFOG_LINEAR ? rs[D3DRS_FOGTABLEMODE] : 0);
        d.vertexFog = (uint8_t)(rs[D3DRS_FOGVERTEXMODE] <= D3DFOG_LINEAR ? rs[D3DRS_FOGVERTEXMODE] : 0);
        d.rangeFog = rs[D3DRS_RANGEFOGENABLE] ? 1 : 0;
    }
    d.points = points;
    d.pointScale = points && rs[D3DRS_POINTSCALEENABLE];
    d.pointSprite = points && rs[D3DRS_POINTSPRITEENABLE];
    d.flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    int n = 0;
    for (; n < kMaxStages; ++n) {
        const DWORD* t = m_state.tss[n];
        if (t[D3DTSS_COLOROP] == D3DTOP_DISABLE || t[D3DTSS_COLOROP] > D3DTOP_LERP) break;
        // A stage that reads a texture it does not have ends the chain, as a
        // disabled one does: what reaches it passes on unchanged.
        if (!m_state.textures[n] && StageReadsTexture(t)) break;
        FFDesc::Stage& s = d.stage[n];
        s.colorOp = (uint8_t)t[D3DTSS_COLOROP];
        s.colorArg[0] = (uint8_t)t[D3DTSS_COLORARG0];
        s.colorArg[1] = (uint8_t)t[D3DTSS_COLORARG1];
        s.colorArg[2] = (uint8_t)t[D3DTSS_COLORARG2];
        s.alphaOp = (uint8_t)(t[D3DTSS_ALPHAOP] <= D3DTOP_LERP ? t[D3DTSS_ALPHAOP] : (DWORD)D3DTOP_DISABLE);
        s.alphaArg[0] = (uint8_t)t[D3DTSS_ALPHAARG0];
        s.alphaArg[1] = (uint8_t)t[D3DTSS_ALPHAARG1];
        s.alphaArg[2] = (uint8_t)t[D3DTSS_ALPHAARG2];
        s.resultTemp = (t[D3DTSS_RESULTARG] & D3DTA_SELECTMASK) == D3DTA_TEMP;
        s.hasTexture = m_state.textures[n] != nullptr;
        const DWORD tci = t[D3DTSS_TEXCOORDINDEX];
        s.texIndex = (uint8_t)(tci & 7);
        s.texGen = in.pretransformed ? 0 : (uint8_t)((tci >> 16) & 7);
        const DWORD ttf = t[D3DTSS_TEXTURETRANSFORMFLAGS];
        s.transformCount = in.pretransformed ? 0 : (uint8_t)(ttf & 7);
        s.projected = (ttf & D3DTTFF_PROJECTED) ? 1 : 0;
        if (s.projected && !s.transformCount) {
            // Projected coordinates without a transform divide by their last component.
            s.transformCount = 0;
        }
    }
    d.stageCount = (uint8_t)n;
    if (rs[D3DRS_ALPHATESTENABLE]) d.alphaFunc = (uint8_t)std::min<DWORD>(rs[D3DRS_ALPHAFUNC], D3DCMP_ALWAYS);
}

bool Device::BuildLayout(VertexLayout& layout)
{
    if (m_state.decl) return LayoutFromDecl(m_state.decl->elements, layout);
    if (m_state.fvf) return LayoutFromFVF(m_state.fvf, layout);
    return false;
}

HRESULT Device::PrepareDraw(D3DPRIMITIVETYPE type, bool up, UINT upStride, GLuint upBuffer)
{
    MakeCurrent();
    const bool points = type == D3DPT_POINTLIST;
    if (points != m_lastPoints) {
        m_lastPoints = points;
        m_dirty |= DirtyProgram;
    }
    if (m_dirty & DirtyFramebuffer) ApplyFramebuffer();
    if (m_dirty & DirtyViewport) ApplyViewport();
    if (m_dirty & DirtyScissor) {
        if (m_state.rs[D3DRS_SCISSORTESTENABLE]) {
            gl.glEnable(GL_SCISSOR_TEST);
            const RECT& r = m_state.scissor;
            gl.glScissor(r.left, r.top, std::max(0, (int)(r.right - r.left)), std::max(0, (int)(r.bottom - r.top)));
        } else {
            gl.glDisable(GL_SCISSOR_TEST);
        }
    }
    if (m_dirty & DirtyBlend) ApplyBlend();
    if (m_dirty & DirtyDepthStencil) ApplyDepthStencil();
    if (m_dirty & DirtyRaster) ApplyRaster();
    if (m_dirty & DirtySamplers) ApplySamplers();
    if (m_dirty & (DirtyInput | DirtyProgram)) {
        if (!BuildLayout(m_layout)) return D3DERR_INVALIDCALL;
        m_attribsValid = false;
    }
    // Pre-transformed vertices are not clipped by depth without clipping or a depth test.
    const bool depthTest = m_state.rs[D3DRS_ZENABLE] != D3DZB_FALSE && m_depthStencil;
    const bool clamp = m_layout.input.pretransformed && (!m_state.rs[D3DRS_CLIPPING] || !depthTest);
    if (clamp != m_depthClamp) {
        if (clamp) gl.glEnable(GL_DEPTH_CLAMP);
        else gl.glDisable(GL_DEPTH_CLAMP);
        m_depthClamp = clamp;
    }
    const bool shaders = m_state.vs && m_state.ps;
    int stages = 0;
    if (shaders) {
        HRESULT hr = UseShaderProgram();
        if (FAILED(hr)) return hr;
        stages = kMaxSamplers;
    } else if (m_state.vs) {
        HRESULT hr = UseHybridProgram(points);
        if (FAILED(hr)) return hr;
        stages = m_ffStages;
    } else {
        const DWORD vb = m_state.rs[D3DRS_VERTEXBLEND];
        int matrices = 1;
        if (!m_layout.input.pretransformed) {
            if (m_state.rs[D3DRS_INDEXEDVERTEXBLENDENABLE] && m_layout.input.blendIndices)
                matrices = (int)m_caps.MaxVertexBlendMatrixIndex + 1;
            else if (vb >= D3DVBF_1WEIGHTS && vb <= D3DVBF_3WEIGHTS) matrices = std::min((int)vb, m_layout.input.weights) + 1;
        }
        m_blendMatrices = matrices;
        ComputeFFUniforms();
        if ((m_dirty & DirtyProgram) || !m_ffProgram) {
            FFDesc desc;
            BuildFFDesc(desc, points);
            m_ffProgram = m_ff->Get(desc);
            m_ffStages = desc.stageCount;
            if (!m_ffProgram) return D3DERR_DRIVERINTERNALERROR;
        }
        if (m_currentProgram != m_ffProgram->program) {
            gl.glUseProgram(m_ffProgram->program);
            m_currentProgram = m_ffProgram->program;
        }
        Upload(m_ffProgram, *this);
        stages = m_ffStages;
    }
    // Textures: upload what changed and bind each stage's.
    for (int i = 0; i < stages && i < kMaxSamplers; ++i) {
        TextureImpl* t = m_state.textures[i];
        if (!t) continue;
        if ((m_dirty & DirtyTextures) || t->m_anyDirty || t->m_mipsStale || m_boundTextures[i] != t->m_glTexture) {
            gl.glActiveTexture(GL_TEXTURE0 + (GLenum)i);
            GLuint name = t->Prepare();
            gl.glBindTexture(GL_TEXTURE_2D, name);
            m_boundTextures[i] = name;
        }
    }
    m_dirty &= ~(uint32_t)(DirtyFramebuffer | DirtyViewport | DirtyScissor | DirtyBlend | DirtyDepthStencil |
                          DirtyRaster | DirtySamplers | DirtyProgram | DirtyTextures);
    // Vertex attributes.
    bool same = m_attribsValid && !up && !m_lastUp && !(m_dirty & DirtyInput);
    if (same) {
        for (const VertexAttrib& a : m_layout.attribs) {
            const StreamSlot& s = m_state.streams[a.stream];
            if (!s.vb || s.vb->glBuffer != m_lastAttribBuffers[a.stream] || s.stride != m_lastAttribStrides[a.stream] ||
                s.offset != m_lastAttribOffsets[a.stream] || s.vb->dirtyLo != s.vb->dirtyHi) {
                same = false;
                break;
            }
        }
    }
    if (!same) {
        uint32_t enabled = 0;
        for (const VertexAttrib& a : m_layout.attribs) {
            GLuint buffer;
            UINT stride, offset;
            if (up) {
                if (a.stream != 0) return D3DERR_INVALIDCALL;
                buffer = upBuffer;
                stride = upStride;
                offset = 0;
            } else {
                const StreamSlot& s = m_state.streams[a.stream];
                if (!s.vb) return D3DERR_INVALIDCALL;
                buffer = s.vb->Prepare();
                stride = s.stride;
                offset = s.offset;
                m_lastAttribBuffers[a.stream] = buffer;
                m_lastAttribStrides[a.stream] = stride;
                m_lastAttribOffsets[a.stream] = offset;
            }
            gl.glBindBuffer(GL_ARRAY_BUFFER, buffer);
            gl.glVertexAttribPointer(a.location, a.size, a.type, a.normalized, (GLsizei)stride,
                                     reinterpret_cast<const void*>((uintptr_t)(offset + a.offset)));
            enabled |= 1u << a.location;
        }
        for (GLuint i = 0; i < 16; ++i) {
            const bool want = (enabled >> i) & 1, have = (m_enabledAttribs >> i) & 1;
            if (want && !have) gl.glEnableVertexAttribArray(i);
            if (!want && have) gl.glDisableVertexAttribArray(i);
        }
        m_enabledAttribs = enabled;
        m_attribsValid = !up;
        m_lastUp = up;
        m_dirty &= ~(uint32_t)DirtyInput;
    }
    return S_OK;
}

void Device::ResetStreamZero()
{
    StreamSlot& slot = m_state.streams[0];
    SetBound(slot.vb, (VertexBufferImpl*)nullptr);
    slot.offset = 0;
    slot.stride = 0;
    m_dirty |= DirtyInput;
}

void Device::AfterDraw()
{
    if (m_renderTarget && m_renderTarget->kind == SurfaceImpl::TextureLevel) m_renderTarget->container->MarkRendered();
}

namespace {
UINT AttribBytes(const VertexAttrib& a)
{
    const UINT comps = a.size == (GLint)GL_BGRA ? 4 : (UINT)a.size;
    switch (a.type) {
    case GL_UNSIGNED_BYTE: case GL_BYTE: return comps;
    case GL_SHORT: case GL_UNSIGNED_SHORT: case GL_HALF_FLOAT: return comps * 2;
    default: return comps * 4;
    }
}
} // namespace

bool Device::VerticesInRange(INT first, UINT count)
{
    if (first < 0) return false;
    for (const VertexAttrib& a : m_layout.attribs) {
        const StreamSlot& s = m_state.streams[a.stream];
        if (!s.vb) return false;
        const uint64_t end = (uint64_t)s.offset + (uint64_t)(first + count - 1) * s.stride + a.offset + AttribBytes(a);
        if (end > s.vb->data.size()) return false;
    }
    return true;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count)
{
    const GLenum mode = GLPrimitive(type);
    if (mode == 0xFFFFFFFFu || m_recording) return D3DERR_INVALIDCALL;
    if (count == 0) return S_OK;
    HRESULT hr = PrepareDraw(type, false, 0, 0);
    if (FAILED(hr)) return hr;
    // Vertices past the end of a buffer are refused rather than read.
    if (!VerticesInRange((INT)start, VertexCount(type, count))) return D3DERR_INVALIDCALL;
    gl.glDrawArrays(mode, (GLint)start, (GLsizei)VertexCount(type, count));
    AfterDraw();
    return S_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT count)
{
    const GLenum mode = GLPrimitive(type);
    if (mode == 0xFFFFFFFFu || !m_state.indices || m_recording) return D3DERR_INVALIDCALL;
    if (count == 0) return S_OK;
    const UINT isz = m_state.indices->format == D3DFMT_INDEX32 ? 4 : 2;
    const UINT n = VertexCount(type, count);
    if ((size_t)(startIndex + n) * isz > m_state.indices->data.size()) return D3DERR_INVALIDCALL;
    HRESULT hr = PrepareDraw(type, false, 0, 0);
    if (FAILED(hr)) return hr;
    if (numVertices != 0 && !VerticesInRange(base + (INT)minIndex, numVertices)) return D3DERR_INVALIDCALL;
    m_state.indices->Prepare();
    gl.glDrawElementsBaseVertex(mode, (GLsizei)n, isz == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                reinterpret_cast<const void*>((uintptr_t)startIndex * isz), base);
    AfterDraw();
    return S_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride)
{
    const GLenum mode = GLPrimitive(type);
    if (mode == 0xFFFFFFFFu || !data || stride == 0 || m_recording) return D3DERR_INVALIDCALL;
    if (count == 0) return S_OK;
    const UINT n = VertexCount(type, count);
    MakeCurrent();
    gl.glBindBuffer(GL_ARRAY_BUFFER, m_upVB);
    gl.glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)n * stride, data, GL_STREAM_DRAW);
    HRESULT hr = PrepareDraw(type, true, stride, m_upVB);
    // Stream 0 is left unset afterwards, as on Direct3D 9.
    ResetStreamZero();
    if (FAILED(hr)) return hr;
    gl.glDrawArrays(mode, 0, (GLsizei)n);
    AfterDraw();
    return S_OK;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT count,
                                       const void* indices, D3DFORMAT indexFormat, const void* data, UINT stride)
{
    const GLenum mode = GLPrimitive(type);
    if (mode == 0xFFFFFFFFu || !data || !indices || stride == 0 || m_recording ||
        (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    if (count == 0) return S_OK;
    const UINT n = VertexCount(type, count);
    const UINT isz = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
    MakeCurrent();
    gl.glBindBuffer(GL_ARRAY_BUFFER, m_upVB);
    gl.glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(minIndex + numVertices) * stride, data, GL_STREAM_DRAW);
    HRESULT hr = PrepareDraw(type, true, stride, m_upVB);
    ResetStreamZero();
    SetIndices(nullptr);
    if (FAILED(hr)) return hr;
    gl.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_upIB);
    gl.glBufferData(GL_ELEMENT_ARRAY_BUFFER, (GLsizeiptr)n * isz, indices, GL_STREAM_DRAW);
    gl.glDrawElementsBaseVertex(mode, (GLsizei)n, isz == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, nullptr, 0);
    AfterDraw();
    return S_OK;
}

// ---- Application shaders ------------------------------------------------------------------
HRESULT Device::UseShaderProgram()
{
    auto key = std::make_pair((void*)m_state.vs, (void*)m_state.ps);
    auto it = m_shaderPrograms.find(key);
    ShaderProgram* sp = nullptr;
    if (it == m_shaderPrograms.end()) {
        GLuint p = gl.glCreateProgram();
        gl.glAttachShader(p, m_state.vs->glShader);
        gl.glAttachShader(p, m_state.ps->glShader);
        gl.glBindFragDataLocation(p, 0, "oC0");
        gl.glLinkProgram(p);
        GLint ok = 0;
        gl.glGetProgramiv(p, GL_LINK_STATUS, &ok);
        if (ok) {
            sp = new ShaderProgram();
            sp->program = p;
            sp->vsc = gl.glGetUniformLocation(p, "vs_c");
            sp->psc = gl.glGetUniformLocation(p, "ps_c");
            sp->vsi = gl.glGetUniformLocation(p, "vs_i");
            sp->psi = gl.glGetUniformLocation(p, "ps_i");
            sp->vsb = gl.glGetUniformLocation(p, "vs_b");
            sp->psb = gl.glGetUniformLocation(p, "ps_b");
            sp->vpoff = gl.glGetUniformLocation(p, "d3d_vpoff");
            sp->afunc = gl.glGetUniformLocation(p, "d3d_afunc");
            sp->aref = gl.glGetUniformLocation(p, "d3d_aref");
            gl.glUseProgram(p);
            for (int i = 0; i < kMaxSamplers; ++i) {
                GLint l = gl.glGetUniformLocation(p, ("s" + std::to_string(i)).c_str());
                if (l >= 0) gl.glUniform1i(l, i);
            }
            m_currentProgram = p;
        } else {
            gl.glDeleteProgram(p);
        }
        m_shaderPrograms[key] = sp;
    } else {
        sp = it->second;
    }
    if (!sp) return D3DERR_INVALIDCALL;
    if (m_currentProgram != sp->program) {
        gl.glUseProgram(sp->program);
        m_currentProgram = sp->program;
    }
    UploadShaderConstants(sp, true);
    return S_OK;
}

HRESULT Device::UseHybridProgram(bool points)
{
    m_blendMatrices = 1;
    ComputeFFUniforms();
    if ((m_dirty & DirtyProgram) || !m_hybrid) {
        FFDesc d;
        BuildFFDesc(d, points);
        // Only the pixel half counts: one program serves every vertex layout.
        FFDesc pixel;
        std::memset(&pixel, 0, sizeof(pixel));
        pixel.specular = d.specular;
        pixel.fog = d.fog;
        pixel.flat = d.flat;
        pixel.stageCount = d.stageCount;
        for (int i = 0; i < d.stageCount; ++i) {
            pixel.stage[i] = d.stage[i];
            pixel.stage[i].texIndex = pixel.stage[i].texGen = pixel.stage[i].transformCount = 0;
        }
        pixel.alphaFunc = d.alphaFunc;
        pixel.shaderInputs = 1;
        auto key = std::make_pair((void*)m_state.vs, std::string(reinterpret_cast<const char*>(&pixel), sizeof(pixel)));
        auto it = m_hybridPrograms.find(key);
        if (it == m_hybridPrograms.end()) it = m_hybridPrograms.emplace(key, MakeHybridProgram(m_state.vs->glShader, pixel)).first;
        m_hybrid = it->second;
        m_ffStages = pixel.stageCount;
        if (m_hybrid) m_currentProgram = m_hybrid->shader.program;
    }
    if (!m_hybrid) return D3DERR_INVALIDCALL;
    if (m_currentProgram != m_hybrid->shader.program) {
        gl.glUseProgram(m_hybrid->shader.program);
        m_currentProgram = m_hybrid->shader.program;
    }
    Upload(&m_hybrid->pixel, *this);
    UploadShaderConstants(&m_hybrid->shader, false);
    return S_OK;
}

void Device::UploadShaderConstants(ShaderProgram* sp, bool pixel)
{
    if (sp->uploadedVS != serial[UVSConst]) {
        if (sp->vsc >= 0) gl.glUniform4fv(sp->vsc, kMaxVSConstF, m_state.vsConstF[0]);
        if (sp->vsi >= 0) gl.glUniform4iv(sp->vsi, 16, m_state.vsConstI[0]);
        if (sp->vsb >= 0) gl.glUniform1iv(sp->vsb, 16, m_state.vsConstB);
        sp->uploadedVS = serial[UVSConst];
    }
    if (pixel && sp->uploadedPS != serial[UPSConst]) {
        if (sp->psc >= 0) gl.glUniform4fv(sp->psc, kMaxPSConstF, m_state.psConstF[0]);
        if (sp->psi >= 0) gl.glUniform4iv(sp->psi, 16, m_state.psConstI[0]);
        if (sp->psb >= 0) gl.glUniform1iv(sp->psb, 16, m_state.psConstB);
        sp->uploadedPS = serial[UPSConst];
    }
    // The alpha test's function and reference, 8 (always) when it is off.
    const DWORD func = m_state.rs[D3DRS_ALPHATESTENABLE] ? std::min<DWORD>(m_state.rs[D3DRS_ALPHAFUNC], 8) : 8;
    const uint32_t alphaKey = func | ((m_state.rs[D3DRS_ALPHAREF] & 0xFF) << 8);
    if (pixel && sp->uploadedAlpha != alphaKey) {
        if (sp->afunc >= 0) gl.glUniform1i(sp->afunc, (GLint)func);
        if (sp->aref >= 0) gl.glUniform1f(sp->aref, (float)(m_state.rs[D3DRS_ALPHAREF] & 0xFF));
        sp->uploadedAlpha = alphaKey;
    }
    if (sp->uploadedVP != serial[UViewport]) {
        const D3DVIEWPORT9& v = m_state.viewport;
        float off[4] = {1.0f / (float)std::max<DWORD>(v.Width, 1), 1.0f / (float)std::max<DWORD>(v.Height, 1), 0, 0};
        if (sp->vpoff >= 0) gl.glUniform4fv(sp->vpoff, 1, off);
        sp->uploadedVP = serial[UViewport];
    }
}

void Device::ForgetShader(void* shader)
{
    for (auto it = m_hybridPrograms.begin(); it != m_hybridPrograms.end();) {
        if (it->first.first == shader) {
            if (it->second == m_hybrid) m_hybrid = nullptr;
            if (it->second && it->second->shader.program == m_currentProgram) m_currentProgram = 0;
            DeleteHybridProgram(it->second);
            it = m_hybridPrograms.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = m_shaderPrograms.begin(); it != m_shaderPrograms.end();) {
        if (it->first.first == shader || it->first.second == shader) {
            if (it->second && it->second->program == m_currentProgram) m_currentProgram = 0;
            DeleteShaderProgram(it->second);
            it = m_shaderPrograms.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace d3d9gl
