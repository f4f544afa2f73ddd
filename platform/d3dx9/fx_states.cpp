#include "fx_states.h"

#include <d3d9.h>

#include <cctype>
#include <cmath>
#include <cstring>

namespace fx {

namespace {

enum Values {
    kNumber, kBool, kFloat, kColor, kZBuffer, kFill, kShade, kBlend, kCull, kCmp, kFog, kStencilOp,
    kMaterialSource, kVertexBlend, kColorWrite, kBlendOp, kTexOp, kTexArg, kTexTransformFlags, kAddress,
    kFilter, kTexCoordIndex
};

struct Named {
    const char* name;
    DWORD value;
};

const Named kZBufferNames[] = {{"FALSE", 0}, {"TRUE", 1}, {"USEW", 2}, {nullptr, 0}};
const Named kFillNames[] = {{"POINT", 1}, {"WIREFRAME", 2}, {"SOLID", 3}, {nullptr, 0}};
const Named kShadeNames[] = {{"FLAT", 1}, {"GOURAUD", 2}, {"PHONG", 3}, {nullptr, 0}};
const Named kBlendNames[] = {{"ZERO", 1}, {"ONE", 2}, {"SRCCOLOR", 3}, {"INVSRCCOLOR", 4}, {"SRCALPHA", 5},
                             {"INVSRCALPHA", 6}, {"DESTALPHA", 7}, {"INVDESTALPHA", 8}, {"DESTCOLOR", 9},
                             {"INVDESTCOLOR", 10}, {"SRCALPHASAT", 11}, {"BOTHSRCALPHA", 12},
                             {"BOTHINVSRCALPHA", 13}, {"BLENDFACTOR", 14}, {"INVBLENDFACTOR", 15}, {nullptr, 0}};
const Named kCullNames[] = {{"NONE", 1}, {"CW", 2}, {"CCW", 3}, {nullptr, 0}};
const Named kCmpNames[] = {{"NEVER", 1}, {"LESS", 2}, {"EQUAL", 3}, {"LESSEQUAL", 4}, {"GREATER", 5},
                           {"NOTEQUAL", 6}, {"GREATEREQUAL", 7}, {"ALWAYS", 8}, {nullptr, 0}};
const Named kFogNames[] = {{"NONE", 0}, {"EXP", 1}, {"EXP2", 2}, {"LINEAR", 3}, {nullptr, 0}};
const Named kStencilOpNames[] = {{"KEEP", 1}, {"ZERO", 2}, {"REPLACE", 3}, {"INCRSAT", 4}, {"DECRSAT", 5},
                                 {"INVERT", 6}, {"INCR", 7}, {"DECR", 8}, {nullptr, 0}};
const Named kMaterialSourceNames[] = {{"MATERIAL", 0}, {"COLOR1", 1}, {"COLOR2", 2}, {nullptr, 0}};
const Named kVertexBlendNames[] = {{"DISABLE", 0}, {"1WEIGHTS", 1}, {"2WEIGHTS", 2}, {"3WEIGHTS", 3},
                                   {"TWEENING", 255}, {"0WEIGHTS", 256}, {nullptr, 0}};
const Named kColorWriteNames[] = {{"RED", 1}, {"GREEN", 2}, {"BLUE", 4}, {"ALPHA", 8}, {nullptr, 0}};
const Named kBlendOpNames[] = {{"ADD", 1}, {"SUBTRACT", 2}, {"REVSUBTRACT", 3}, {"MIN", 4}, {"MAX", 5},
                               {nullptr, 0}};
const Named kTexOpNames[] = {
    {"DISABLE", 1}, {"SELECTARG1", 2}, {"SELECTARG2", 3}, {"MODULATE", 4}, {"MODULATE2X", 5}, {"MODULATE4X", 6},
    {"ADD", 7}, {"ADDSIGNED", 8}, {"ADDSIGNED2X", 9}, {"SUBTRACT", 10}, {"ADDSMOOTH", 11},
    {"BLENDDIFFUSEALPHA", 12}, {"BLENDTEXTUREALPHA", 13}, {"BLENDFACTORALPHA", 14}, {"BLENDTEXTUREALPHAPM", 15},
    {"BLENDCURRENTALPHA", 16}, {"PREMODULATE", 17}, {"MODULATEALPHA_ADDCOLOR", 18},
    {"MODULATECOLOR_ADDALPHA", 19}, {"MODULATEINVALPHA_ADDCOLOR", 20}, {"MODULATEINVCOLOR_ADDALPHA", 21},
    {"BUMPENVMAP", 22}, {"BUMPENVMAPLUMINANCE", 23}, {"DOTPRODUCT3", 24}, {"MULTIPLYADD", 25}, {"LERP", 26},
    {nullptr, 0}};
const Named kTexArgNames[] = {{"DIFFUSE", 0}, {"CURRENT", 1}, {"TEXTURE", 2}, {"TFACTOR", 3}, {"SPECULAR", 4},
                              {"TEMP", 5}, {"CONSTANT", 6}, {"COMPLEMENT", 0x10}, {"ALPHAREPLICATE", 0x20},
                              {nullptr, 0}};
const Named kTexTransformFlagsNames[] = {{"DISABLE", 0}, {"COUNT1", 1}, {"COUNT2", 2}, {"COUNT3", 3},
                                        {"COUNT4", 4}, {"PROJECTED", 256}, {nullptr, 0}};
const Named kAddressNames[] = {{"WRAP", 1}, {"MIRROR", 2}, {"CLAMP", 3}, {"BORDER", 4}, {"MIRRORONCE", 5},
                               {nullptr, 0}};
const Named kFilterNames[] = {{"NONE", 0}, {"POINT", 1}, {"LINEAR", 2}, {"ANISOTROPIC", 3},
                              {"PYRAMIDALQUAD", 6}, {"GAUSSIANQUAD", 7}, {nullptr, 0}};
const Named kTexCoordIndexNames[] = {{"PASSTHRU", 0}, {"CAMERASPACENORMAL", 0x10000},
                                     {"CAMERASPACEPOSITION", 0x20000}, {"CAMERASPACEREFLECTIONVECTOR", 0x30000},
                                     {"SPHEREMAP", 0x40000}, {nullptr, 0}};

const Named* Table(int values)
{
    switch (values) {
    case kZBuffer: return kZBufferNames;
    case kFill: return kFillNames;
    case kShade: return kShadeNames;
    case kBlend: return kBlendNames;
    case kCull: return kCullNames;
    case kCmp: return kCmpNames;
    case kFog: return kFogNames;
    case kStencilOp: return kStencilOpNames;
    case kMaterialSource: return kMaterialSourceNames;
    case kVertexBlend: return kVertexBlendNames;
    case kColorWrite: return kColorWriteNames;
    case kBlendOp: return kBlendOpNames;
    case kTexOp: return kTexOpNames;
    case kTexArg: return kTexArgNames;
    case kTexTransformFlags: return kTexTransformFlagsNames;
    case kAddress: return kAddressNames;
    case kFilter: return kFilterNames;
    case kTexCoordIndex: return kTexCoordIndexNames;
    default: return nullptr;
    }
}

struct Entry {
    const char* name;
    DWORD id;
    int values;
};

const Entry kRenderStates[] = {
    {"ZEnable", D3DRS_ZENABLE, kZBuffer}, {"FillMode", D3DRS_FILLMODE, kFill},
    {"ShadeMode", D3DRS_SHADEMODE, kShade}, {"ZWriteEnable", D3DRS_ZWRITEENABLE, kBool},
    {"AlphaTestEnable", D3DRS_ALPHATESTENABLE, kBool}, {"LastPixel", D3DRS_LASTPIXEL, kBool},
    {"SrcBlend", D3DRS_SRCBLEND, kBlend}, {"DestBlend", D3DRS_DESTBLEND, kBlend},
    {"CullMode", D3DRS_CULLMODE, kCull}, {"ZFunc", D3DRS_ZFUNC, kCmp}, {"AlphaRef", D3DRS_ALPHAREF, kNumber},
    {"AlphaFunc", D3DRS_ALPHAFUNC, kCmp}, {"DitherEnable", D3DRS_DITHERENABLE, kBool},
    {"AlphaBlendEnable", D3DRS_ALPHABLENDENABLE, kBool}, {"FogEnable", D3DRS_FOGENABLE, kBool},
    {"SpecularEnable", D3DRS_SPECULARENABLE, kBool}, {"FogColor", D3DRS_FOGCOLOR, kColor},
    {"FogTableMode", D3DRS_FOGTABLEMODE, kFog}, {"FogStart", D3DRS_FOGSTART, kFloat},
    {"FogEnd", D3DRS_FOGEND, kFloat}, {"FogDensity", D3DRS_FOGDENSITY, kFloat},
    {"RangeFogEnable", D3DRS_RANGEFOGENABLE, kBool}, {"StencilEnable", D3DRS_STENCILENABLE, kBool},
    {"StencilFail", D3DRS_STENCILFAIL, kStencilOp}, {"StencilZFail", D3DRS_STENCILZFAIL, kStencilOp},
    {"StencilPass", D3DRS_STENCILPASS, kStencilOp}, {"StencilFunc", D3DRS_STENCILFUNC, kCmp},
    {"StencilRef", D3DRS_STENCILREF, kNumber}, {"StencilMask", D3DRS_STENCILMASK, kNumber},
    {"StencilWriteMask", D3DRS_STENCILWRITEMASK, kNumber}, {"TextureFactor", D3DRS_TEXTUREFACTOR, kColor},
    {"Wrap0", D3DRS_WRAP0, kNumber}, {"Wrap1", D3DRS_WRAP1, kNumber}, {"Wrap2", D3DRS_WRAP2, kNumber},
    {"Wrap3", D3DRS_WRAP3, kNumber}, {"Wrap4", D3DRS_WRAP4, kNumber}, {"Wrap5", D3DRS_WRAP5, kNumber},
    {"Wrap6", D3DRS_WRAP6, kNumber}, {"Wrap7", D3DRS_WRAP7, kNumber}, {"Clipping", D3DRS_CLIPPING, kBool},
    {"Lighting", D3DRS_LIGHTING, kBool}, {"Ambient", D3DRS_AMBIENT, kColor},
    {"FogVertexMode", D3DRS_FOGVERTEXMODE, kFog}, {"ColorVertex", D3DRS_COLORVERTEX, kBool},
    {"LocalViewer", D3DRS_LOCALVIEWER, kBool}, {"NormalizeNormals", D3DRS_NORMALIZENORMALS, kBool},
    {"DiffuseMaterialSource", D3DRS_DIFFUSEMATERIALSOURCE, kMaterialSource},
    {"SpecularMaterialSource", D3DRS_SPECULARMATERIALSOURCE, kMaterialSource},
    {"AmbientMaterialSource", D3DRS_AMBIENTMATERIALSOURCE, kMaterialSource},
    {"EmissiveMaterialSource", D3DRS_EMISSIVEMATERIALSOURCE, kMaterialSource},
    {"VertexBlend", D3DRS_VERTEXBLEND, kVertexBlend}, {"ClipPlaneEnable", D3DRS_CLIPPLANEENABLE, kNumber},
    {"PointSize", D3DRS_POINTSIZE, kFloat}, {"PointSize_Min", D3DRS_POINTSIZE_MIN, kFloat},
    {"PointSpriteEnable", D3DRS_POINTSPRITEENABLE, kBool}, {"PointScaleEnable", D3DRS_POINTSCALEENABLE, kBool},
    {"PointScale_A", D3DRS_POINTSCALE_A, kFloat}, {"PointScale_B", D3DRS_POINTSCALE_B, kFloat},
    {"PointScale_C", D3DRS_POINTSCALE_C, kFloat}, {"MultiSampleAntialias", D3DRS_MULTISAMPLEANTIALIAS, kBool},
    {"MultiSampleMask", D3DRS_MULTISAMPLEMASK, kNumber}, {"PatchEdgeStyle", D3DRS_PATCHEDGESTYLE, kNumber},
    {"PointSize_Max", D3DRS_POINTSIZE_MAX, kFloat},
    {"IndexedVertexBlendEnable", D3DRS_INDEXEDVERTEXBLENDENABLE, kBool},
    {"ColorWriteEnable", D3DRS_COLORWRITEENABLE, kColorWrite}, {"TweenFactor", D3DRS_TWEENFACTOR, kFloat},
    {"BlendOp", D3DRS_BLENDOP, kBlendOp}, {"PositionDegree", D3DRS_POSITIONDEGREE, kNumber},
    {"NormalDegree", D3DRS_NORMALDEGREE, kNumber}, {"ScissorTestEnable", D3DRS_SCISSORTESTENABLE, kBool},
    {"SlopeScaleDepthBias", D3DRS_SLOPESCALEDEPTHBIAS, kFloat},
    {"AntialiasedLineEnable", D3DRS_ANTIALIASEDLINEENABLE, kBool},
    {"TwoSidedStencilMode", D3DRS_TWOSIDEDSTENCILMODE, kBool},
    {"CCW_StencilFail", D3DRS_CCW_STENCILFAIL, kStencilOp}, {"CCW_StencilZFail", D3DRS_CCW_STENCILZFAIL, kStencilOp},
    {"CCW_StencilPass", D3DRS_CCW_STENCILPASS, kStencilOp}, {"CCW_StencilFunc", D3DRS_CCW_STENCILFUNC, kCmp},
    {"ColorWriteEnable1", D3DRS_COLORWRITEENABLE1, kColorWrite},
    {"ColorWriteEnable2", D3DRS_COLORWRITEENABLE2, kColorWrite},
    {"ColorWriteEnable3", D3DRS_COLORWRITEENABLE3, kColorWrite}, {"BlendFactor", D3DRS_BLENDFACTOR, kColor},
    {"SRGBWriteEnable", D3DRS_SRGBWRITEENABLE, kBool}, {"DepthBias", D3DRS_DEPTHBIAS, kFloat},
    {"SeparateAlphaBlendEnable", D3DRS_SEPARATEALPHABLENDENABLE, kBool},
    {"SrcBlendAlpha", D3DRS_SRCBLENDALPHA, kBlend}, {"DestBlendAlpha", D3DRS_DESTBLENDALPHA, kBlend},
    {"BlendOpAlpha", D3DRS_BLENDOPALPHA, kBlendOp},
};

const Entry kStageStates[] = {
    {"ColorOp", D3DTSS_COLOROP, kTexOp}, {"ColorArg0", D3DTSS_COLORARG0, kTexArg},
    {"ColorArg1", D3DTSS_COLORARG1, kTexArg}, {"ColorArg2", D3DTSS_COLORARG2, kTexArg},
    {"AlphaOp", D3DTSS_ALPHAOP, kTexOp}, {"AlphaArg0", D3DTSS_ALPHAARG0, kTexArg},
    {"AlphaArg1", D3DTSS_ALPHAARG1, kTexArg}, {"AlphaArg2", D3DTSS_ALPHAARG2, kTexArg},
    {"ResultArg", D3DTSS_RESULTARG, kTexArg}, {"BumpEnvMat00", D3DTSS_BUMPENVMAT00, kFloat},
    {"BumpEnvMat01", D3DTSS_BUMPENVMAT01, kFloat}, {"BumpEnvMat10", D3DTSS_BUMPENVMAT10, kFloat},
    {"BumpEnvMat11", D3DTSS_BUMPENVMAT11, kFloat}, {"BumpEnvLScale", D3DTSS_BUMPENVLSCALE, kFloat},
    {"BumpEnvLOffset", D3DTSS_BUMPENVLOFFSET, kFloat}, {"TexCoordIndex", D3DTSS_TEXCOORDINDEX, kTexCoordIndex},
    {"TextureTransformFlags", D3DTSS_TEXTURETRANSFORMFLAGS, kTexTransformFlags},
    {"Constant", D3DTSS_CONSTANT, kColor},
};

const Entry kSamplerStates[] = {
    {"AddressU", D3DSAMP_ADDRESSU, kAddress}, {"AddressV", D3DSAMP_ADDRESSV, kAddress},
    {"AddressW", D3DSAMP_ADDRESSW, kAddress}, {"BorderColor", D3DSAMP_BORDERCOLOR, kColor},
    {"MagFilter", D3DSAMP_MAGFILTER, kFilter}, {"MinFilter", D3DSAMP_MINFILTER, kFilter},
    {"MipFilter", D3DSAMP_MIPFILTER, kFilter}, {"MipMapLodBias", D3DSAMP_MIPMAPLODBIAS, kFloat},
    {"MaxMipLevel", D3DSAMP_MAXMIPLEVEL, kNumber}, {"MaxAnisotropy", D3DSAMP_MAXANISOTROPY, kNumber},
    {"SRGBTexture", D3DSAMP_SRGBTEXTURE, kBool},
};

// Names compare without case and without underscores.
std::string Key(const std::string& s)
{
    std::string k;
    for (char c : s)
        if (c != '_')
            k += (char)std::toupper((unsigned char)c);
    return k;
}

template <size_t N>
const Entry* Find(const Entry (&table)[N], const std::string& name)
{
    const std::string k = Key(name);
    for (const Entry& e : table)
        if (Key(e.name) == k)
            return &e;
    return nullptr;
}

DWORD FloatBits(float f)
{
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

DWORD ColorFrom(const double* v, unsigned n)
{
    auto channel = [](double x) {
        x = x < 0 ? 0 : x > 1 ? 1 : x;
        return (DWORD)std::lround(x * 255.0);
    };
    const double r = v[0], g = n > 1 ? v[1] : 0, b = n > 2 ? v[2] : 0, a = n > 3 ? v[3] : 1;
    return (channel(a) << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

} // namespace

bool LookupState(const std::string& name, int index, bool inSampler, StateTarget& out)
{
    out = StateTarget();
    out.index = (DWORD)index;
    const std::string k = Key(name);
    if (inSampler) {
        if (k == "TEXTURE") {
            out.kind = StateKind::Texture;
            return true;
        }
        const Entry* e = Find(kSamplerStates, name);
        if (!e)
            return false;
        out.kind = StateKind::Sampler;
        out.id = e->id;
        out.values = e->values;
        return true;
    }
    if (k == "VERTEXSHADER" || k == "PIXELSHADER") {
        out.kind = k == "VERTEXSHADER" ? StateKind::VertexShader : StateKind::PixelShader;
        return index == 0;
    }
    if (k == "TEXTURE" || k == "SAMPLER") {
        out.kind = k == "TEXTURE" ? StateKind::Texture : StateKind::SamplerRef;
        return index < 16;
    }
    if (k == "WORLDTRANSFORM" || k == "VIEWTRANSFORM" || k == "PROJECTIONTRANSFORM" || k == "TEXTURETRANSFORM") {
        out.kind = StateKind::Transform;
        if (k == "WORLDTRANSFORM")
            out.id = 256 + (DWORD)index;
        else if (k == "TEXTURETRANSFORM")
            out.id = D3DTS_TEXTURE0 + (DWORD)index;
        else
            out.id = k == "VIEWTRANSFORM" ? D3DTS_VIEW : D3DTS_PROJECTION;
        return k == "WORLDTRANSFORM" ? index < 256 : k == "TEXTURETRANSFORM" ? index < 8 : index == 0;
    }
    if (const Entry* e = Find(kRenderStates, name)) {
        out.kind = StateKind::Render;
        out.id = e->id;
        out.values = e->values;
        return index == 0;
    }
    if (const Entry* e = Find(kStageStates, name)) {
        out.kind = StateKind::TextureStage;
        out.id = e->id;
        out.values = e->values;
        return index < 8;
    }
    if (const Entry* e = Find(kSamplerStates, name)) {
        out.kind = StateKind::Sampler;
        out.id = e->id;
        out.values = e->values;
        return index < 16;
    }
    return false;
}

DWORD StateNumberBits(const StateTarget& target, const float* numbers, unsigned count)
{
    if (count == 0)
        return 0;
    if (target.values == kFloat)
        return FloatBits(numbers[0]);
    if (target.values == kColor && count >= 3) {
        double v[4] = {numbers[0], numbers[1], numbers[2], count > 3 ? numbers[3] : 1.0};
        return ColorFrom(v, 4);
    }
    if (target.values == kBool)
        return numbers[0] != 0.0f ? 1u : 0u;
    return (DWORD)(long long)numbers[0];
}

bool StateValueBits(const StateTarget& target, const StateValue& value, DWORD& out, std::string& error)
{
    if (value.kind == StateValue::Numbers) {
        const std::vector<double>& n = value.numbers;
        if (n.empty()) {
            error = "the state needs a value";
            return false;
        }
        if (target.values == kFloat)
            out = FloatBits((float)n[0]);
        else if (target.values == kColor && n.size() >= 3)
            out = ColorFrom(n.data(), (unsigned)n.size());
        else if (target.values == kBool)
            out = n[0] != 0.0 ? 1u : 0u;
        else
            out = (DWORD)(long long)n[0];
        return true;
    }
    if (value.kind != StateValue::Name) {
        error = "the state cannot take this value";
        return false;
    }
    // Named constants, several joined with '|' for flags.
    out = 0;
    const Named* table = Table(target.values);
    size_t start = 0;
    const std::string& all = value.name;
    while (start <= all.size()) {
        size_t end = all.find('|', start);
        if (end == std::string::npos)
            end = all.size();
        std::string word = Key(all.substr(start, end - start));
        // Prefixed spellings (D3DCULL_CCW, D3DTOP_MODULATE) name the same values.
        const size_t underscore = all.find('_', start);
        const std::string unprefixed =
            (word.compare(0, 3, "D3D") == 0 && underscore != std::string::npos && underscore < end)
                ? Key(all.substr(underscore + 1, end - underscore - 1))
                : word;
        bool found = false;
        if (word == "TRUE" || word == "FALSE") {
            out |= word == "TRUE" ? 1u : 0u;
            found = true;
        }
        for (const Named* t = table; t && t->name && !found; ++t) {
            if (Key(t->name) == word || Key(t->name) == unprefixed) {
                out |= t->value;
                found = true;
            }
        }
        if (!found) {
            error = "'" + all.substr(start, end - start) + "' is not a value of this state";
            return false;
        }
        start = end + 1;
    }
    return true;
}

} // namespace fx
