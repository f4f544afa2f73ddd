// Layer-internal: the fixed-function pipeline as generated GLSL. Its key is
// split in a vertex half and a pixel half: a shader is compiled per half,
// and a program linked per pair of shader objects (an application vertex
// shader pairs with a fixed-function pixel half the same way).
#pragma once

#include "d3d9_glstate.h"
#include "d3d9types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct SDL_Window;

namespace d3d9gl {

enum UniformGroup {
    UTransforms, UProjection, UTexMatrices, ULights, UMaterial, UFog, UPoint, UPixel, UViewport, UVSConst, UPSConst,
    UNumGroups
};

// Everything the vertex half depends on. Only bytes, so that equality and
// the hash read them all.
struct FFVertexKey {
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
        uint8_t texIndex, texGen, transformCount;
    } stage[8];

    bool operator==(const FFVertexKey& o) const;
    size_t Hash() const;
};

// Everything the pixel half depends on.
struct FFPixelKey {
    uint8_t specular, fog, tableFog, flat, pointSprite, stageCount;
    uint8_t alphaFunc;     // 0: no alpha test
    uint8_t shaderInputs;  // reads an application vertex shader's outputs
    struct Stage {
        uint8_t colorOp, colorArg[3], alphaOp, alphaArg[3], resultTemp, hasTexture, projected, transformCount;
    } stage[8];

    bool operator==(const FFPixelKey& o) const;
    size_t Hash() const;
};

template <class Key>
struct KeyHash {
    size_t operator()(const Key& k) const { return k.Hash(); }
};

// A linked program: fixed-function halves, an application shader with a
// fixed-function pixel half, or two application shaders. Locations it
// lacks are -1.
struct Program {
    GLuint program = 0;
    // Fixed-function uniforms, and the serials of the groups last uploaded.
    GLint wv, nm, proj, vp, vpoff, texm, ld, ls, la, lp, ldir, latt, lspot, md, ma, ms, me, mp, gamb, fog, point,
        pscale, tf, cst, fogc, aref;
    uint32_t uploaded[UNumGroups];
    int uploadedMatrices = 0;
    // Application shader constants and the wrappers' uniforms, and what was last uploaded of them.
    GLint vsc, psc, vsi, psi, vsb, psb, shaderVpoff, shaderFragY, afunc, shaderAref;
    // The keys of the program that reads them as data.
    GLint kvs, kps;
    bool drawn = false;
    uint32_t uploadedVS = ~0u, uploadedPS = ~0u, uploadedVP = ~0u, uploadedAlpha = ~0u;
};

// How fixed-function draws get their program: Specialised compiles the
// program of a key pair when it is first drawn; Uber draws everything with the
// one program that takes the key as data; Background draws with that one while
// the specialised program is compiled in the background, then with it; Auto
// is Background on hardware and Specialised on a software rasteriser
// (PathForRenderer). Read from NIMB_D3D9_PROGRAMS ("specialised", "uber",
// "background"; else Auto) when a device is made.
enum class ProgramPath { Auto, Uber, Specialised, Background };
ProgramPath ProgramPathSetting();
// Overrides the variable for devices made after it (tests); Auto restores it.
void SetProgramPath(ProgramPath path, bool overridden);
// Whether a GL renderer string names a software rasteriser (llvmpipe,
// softpipe, swrast), where the uber program costs more than it saves.
bool SoftwareRenderer(const char* renderer);
// The path a device takes for a setting on a renderer (never Auto).
ProgramPath PathForRenderer(ProgramPath setting, const char* renderer);

class FFCompiler;
struct PipelineState;

struct FFKeyPair {
    FFVertexKey v;
    FFPixelKey p;
    bool operator==(const FFKeyPair& o) const { return v == o.v && p == o.p; }
    size_t Hash() const { return v.Hash() * 31 + p.Hash(); }
};

class FFCache {
public:
    explicit FFCache(GLStateCache& state);
    ~FFCache();
    // Shader objects of the halves; 0 when one does not compile.
    GLuint VertexShader(const FFVertexKey& key);
    GLuint FragmentShader(const FFPixelKey& key);
    // The program of two shader objects; null when they do not link. A
    // program linked now is left bound.
    Program* Link(GLuint vertexShader, GLuint fragmentShader);
    // Drops the programs made with an application's shader object.
    void ForgetShader(GLuint shader);
    size_t VertexShaders() const { return m_vertex.size(); }
    size_t FragmentShaders() const { return m_fragment.size(); }
    size_t Programs() const { return m_programs.size(); }

    // The program that draws every fixed-function key pair, the keys given
    // as uniforms; built on the first call, null when it does not build.
    Program* Uber(int palette);
    bool IsUber(const Program* p) const { return p && p == m_uber; }
    // Starts compiling key pairs on a second GL context sharing this one's
    // objects; false where the driver gives none.
    bool StartCompiler(SDL_Window* window, void* context);
    bool HasCompiler() const { return m_compiler != nullptr; }
    // The specialised program of a key pair once the background compiler
    // has linked it; null before (the pair is then asked for) or when it
    // failed.
    Program* Specialised(const FFKeyPair& keys);
    // Asks the compiler for the programs of recorded pipeline states, to be
    // drawn with once by WarmUp; the number asked (0 without a compiler).
    size_t Prepare(const std::vector<PipelineState>& states);
    // Waits for the compiler, then makes a first draw in each prepared state
    // on the current context; false (and nothing done) when none is left.
    // The caller's GL state cache is stale after it.
    bool WarmUp();
    // A first draw in a state with an application's program, made by the next WarmUp.
    void PrepareDraw(const PipelineState& state, GLuint program);
    // The specialised program of a pair the compiler was asked for, waiting
    // for it while the compiler is at it; null for a pair never asked (or
    // one that failed).
    Program* Ready(const FFKeyPair& keys);
    // Whether the compiler has linked programs not yet taken.
    bool NewPrograms() const;
    // Waits until the compiler has finished what it was asked (benchmarks, tests).
    void WaitForCompiler();
    size_t SpecialisedPrograms() const { return m_specialised.size(); }

private:
    void TakeCompiled();

    GLStateCache& m_state;
    std::unordered_map<FFVertexKey, GLuint, KeyHash<FFVertexKey>> m_vertex;
    std::unordered_map<FFPixelKey, GLuint, KeyHash<FFPixelKey>> m_fragment;
    std::unordered_map<uint64_t, Program*> m_programs;
    Program* m_uber = nullptr;
    GLuint m_uberShaders[2] = {};
    bool m_uberTried = false;
    std::unique_ptr<FFCompiler> m_compiler;
    // Pairs asked of the compiler: null until linked (and when it failed).
    std::unordered_map<FFKeyPair, Program*, KeyHash<FFKeyPair>> m_specialised;
    // Pairs asked and not yet handed back.
    std::unordered_set<FFKeyPair, KeyHash<FFKeyPair>> m_asked;
    std::vector<PipelineState> m_warmStates;
    std::vector<std::pair<PipelineState, GLuint>> m_warmPrograms;
};

std::string FFVertexSource(const FFVertexKey& k);
std::string FFFragmentSource(const FFPixelKey& k);
// The sources of the program that takes both key halves as data (the
// vertex half's matrices sized for a palette of `palette`).
std::string FFUberVertexSource(int palette);
std::string FFUberFragmentSource();
// Links two shader objects with the fixed-function output; 0 when they do not link.
GLuint LinkShaders(GLuint vertexShader, GLuint fragmentShader);
// A linked program with its uniforms found and its samplers set (left bound).
Program* MakeProgram(GLStateCache& state, GLuint program);
bool CompileShaderObject(GLuint& shader, const std::string& source, bool vertex);
// Whether the colour operation of a stage (its states) reads the stage's texture.
bool ColorReadsTexture(const DWORD* stageStates);

} // namespace d3d9gl
