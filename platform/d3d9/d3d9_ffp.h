// Layer-internal: the fixed-function pipeline as generated GLSL, one program
// per combination of the states that shape it, compiled on first use.
#pragma once

#include "d3d9_device.h"

namespace d3d9gl {

// Everything a generated program depends on. Only bytes: its raw memory is
// the cache key.
struct FFDesc {
    uint8_t pretransformed, weights, indexed, indicesNormalized, normal, psize, color0, color1;
    uint8_t palette;  // matrices of indexed blending
    uint8_t texSets, texSize[8];
    uint8_t lighting, specular, localViewer, normalize;
    uint8_t diffuseSource, specularSource, ambientSource, emissiveSource;  // 0 material, 1 colour 0, 2 colour 1
    uint8_t lightCount, lightType[8];
    uint8_t fog, vertexFog, tableFog, rangeFog;
    uint8_t points, pointScale, pointSprite, flat;
    uint8_t stageCount;
    struct Stage {
        uint8_t colorOp, colorArg[3], alphaOp, alphaArg[3], resultTemp, hasTexture;
        uint8_t texIndex, texGen, transformCount, projected;
    } stage[8];
    uint8_t alphaFunc;  // 0: no alpha test
    uint8_t shaderInputs;  // the fragment half reads an application vertex shader's outputs
};

struct FFProgram {
    GLuint program = 0;
    uint32_t uploaded[Device::UNumGroups];
    GLint wv, nm, proj, vp, vpoff, texm, ld, ls, la, lp, ldir, latt, lspot, md, ma, ms, me, mp, gamb, fog, point,
        pscale, tf, cst, fogc, aref;
};

class FFCache {
public:
    ~FFCache();
    // The program for a description; null when it does not compile.
    FFProgram* Get(const FFDesc& desc);
    size_t Count() const { return m_programs.size(); }

private:
    std::unordered_map<std::string, FFProgram*> m_programs;
};

std::string FFVertexSource(const FFDesc& d);
std::string FFFragmentSource(const FFDesc& d);
bool CompileShaderObject(GLuint& shader, const std::string& source, bool vertex);
// Whether the colour or alpha operation of a stage (its states) reads the stage's texture.
bool StageReadsTexture(const DWORD* stageStates);

// Programs made of the application's shader objects.
struct ShaderProgram {
    GLuint program = 0;
    GLint vsc = -1, psc = -1, vsi = -1, psi = -1, vsb = -1, psb = -1;
    uint32_t uploadedVS = ~0u, uploadedPS = ~0u, uploadedVP = ~0u, uploadedAlpha = ~0u;
    GLint vpoff = -1, afunc = -1, aref = -1;
};
void DeleteShaderProgram(ShaderProgram* p);

// An application vertex shader with the fixed-function pixel stages.
struct HybridProgram {
    ShaderProgram shader;
    FFProgram pixel;
    GLuint fragment = 0;
};
void DeleteHybridProgram(HybridProgram* p);
// Links a vertex shader object with the fixed-function fragment half of a
// description; null when that fails.
HybridProgram* MakeHybridProgram(GLuint vertexShader, const FFDesc& desc);

} // namespace d3d9gl
