// Layer-internal: vertex layouts, from a flexible vertex format or a
// declaration to GL attribute bindings and what the fixed-function vertex
// shader reads. Pure: no GL calls.
#pragma once

#include "d3d9types.h"
#include "gl_api.h"

#include <vector>

namespace d3d9gl {

// What the vertex data of a draw holds, for the fixed-function shaders.
struct VertexInput {
    bool pretransformed = false;  // XYZRHW or POSITIONT
    int weights = 0;              // blend weights present
    bool blendIndices = false;
    bool normal = false, psize = false, color0 = false, color1 = false;
    int texSets = 0;
    int texSize[8] = {};
};

struct VertexAttrib {
    GLuint location;
    UINT stream;
    UINT offset;
    GLint size;
    GLenum type;
    GLboolean normalized;
};

struct VertexLayout {
    std::vector<VertexAttrib> attribs;
    VertexInput input;
    UINT fvfStride = 0;
    bool indicesNormalized = false;  // blend indices given as D3DCOLOR
};

// Attribute locations by declaration usage.
enum AttribLocation {
    kAttrPosition = 0, kAttrBlendWeight = 1, kAttrBlendIndices = 2, kAttrNormal = 3, kAttrPSize = 4,
    kAttrColor0 = 5, kAttrColor1 = 6, kAttrTex0 = 7, kAttrTangent = 15
};

bool LayoutFromFVF(DWORD fvf, VertexLayout& layout);
bool LayoutFromDecl(const std::vector<D3DVERTEXELEMENT9>& elements, VertexLayout& layout);
UINT FVFStride(DWORD fvf);

} // namespace d3d9gl
