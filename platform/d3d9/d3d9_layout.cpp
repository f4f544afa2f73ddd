// Vertex layouts from flexible vertex formats and declarations.
#include "d3d9_layout.h"

#include <algorithm>

namespace d3d9gl {

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

} // namespace d3d9gl
