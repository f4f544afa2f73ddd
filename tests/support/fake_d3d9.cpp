// Recording fake of the Direct3D 9 interfaces: environment, call log,
// scripted failures, reference counting and formats.
#include "fake_d3d9.h"

#include <d3d9_testing.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

const struct {
    DWORD value;
    const char* name;
} kRenderStateNames[] = {
    {D3DRS_ZENABLE, "D3DRS_ZENABLE"}, {D3DRS_FILLMODE, "D3DRS_FILLMODE"}, {D3DRS_SHADEMODE, "D3DRS_SHADEMODE"},
    {D3DRS_ZWRITEENABLE, "D3DRS_ZWRITEENABLE"}, {D3DRS_ALPHATESTENABLE, "D3DRS_ALPHATESTENABLE"},
    {D3DRS_LASTPIXEL, "D3DRS_LASTPIXEL"}, {D3DRS_SRCBLEND, "D3DRS_SRCBLEND"}, {D3DRS_DESTBLEND, "D3DRS_DESTBLEND"},
    {D3DRS_CULLMODE, "D3DRS_CULLMODE"}, {D3DRS_ZFUNC, "D3DRS_ZFUNC"}, {D3DRS_ALPHAREF, "D3DRS_ALPHAREF"},
    {D3DRS_ALPHAFUNC, "D3DRS_ALPHAFUNC"}, {D3DRS_DITHERENABLE, "D3DRS_DITHERENABLE"},
    {D3DRS_ALPHABLENDENABLE, "D3DRS_ALPHABLENDENABLE"}, {D3DRS_FOGENABLE, "D3DRS_FOGENABLE"},
    {D3DRS_SPECULARENABLE, "D3DRS_SPECULARENABLE"}, {D3DRS_FOGCOLOR, "D3DRS_FOGCOLOR"},
    {D3DRS_FOGTABLEMODE, "D3DRS_FOGTABLEMODE"}, {D3DRS_FOGSTART, "D3DRS_FOGSTART"}, {D3DRS_FOGEND, "D3DRS_FOGEND"},
    {D3DRS_FOGDENSITY, "D3DRS_FOGDENSITY"}, {D3DRS_RANGEFOGENABLE, "D3DRS_RANGEFOGENABLE"},
    {D3DRS_STENCILENABLE, "D3DRS_STENCILENABLE"}, {D3DRS_STENCILFAIL, "D3DRS_STENCILFAIL"},
    {D3DRS_STENCILZFAIL, "D3DRS_STENCILZFAIL"}, {D3DRS_STENCILPASS, "D3DRS_STENCILPASS"},
    {D3DRS_STENCILFUNC, "D3DRS_STENCILFUNC"}, {D3DRS_STENCILREF, "D3DRS_STENCILREF"},
    {D3DRS_STENCILMASK, "D3DRS_STENCILMASK"}, {D3DRS_STENCILWRITEMASK, "D3DRS_STENCILWRITEMASK"},
    {D3DRS_TEXTUREFACTOR, "D3DRS_TEXTUREFACTOR"}, {D3DRS_WRAP0, "D3DRS_WRAP0"}, {D3DRS_WRAP1, "D3DRS_WRAP1"},
    {D3DRS_WRAP2, "D3DRS_WRAP2"}, {D3DRS_WRAP3, "D3DRS_WRAP3"}, {D3DRS_WRAP4, "D3DRS_WRAP4"},
    {D3DRS_WRAP5, "D3DRS_WRAP5"}, {D3DRS_WRAP6, "D3DRS_WRAP6"}, {D3DRS_WRAP7, "D3DRS_WRAP7"},
    {D3DRS_CLIPPING, "D3DRS_CLIPPING"}, {D3DRS_LIGHTING, "D3DRS_LIGHTING"}, {D3DRS_AMBIENT, "D3DRS_AMBIENT"},
    {D3DRS_FOGVERTEXMODE, "D3DRS_FOGVERTEXMODE"}, {D3DRS_COLORVERTEX, "D3DRS_COLORVERTEX"},
    {D3DRS_LOCALVIEWER, "D3DRS_LOCALVIEWER"}, {D3DRS_NORMALIZENORMALS, "D3DRS_NORMALIZENORMALS"},
    {D3DRS_DIFFUSEMATERIALSOURCE, "D3DRS_DIFFUSEMATERIALSOURCE"},
    {D3DRS_SPECULARMATERIALSOURCE, "D3DRS_SPECULARMATERIALSOURCE"},
    {D3DRS_AMBIENTMATERIALSOURCE, "D3DRS_AMBIENTMATERIALSOURCE"},
    {D3DRS_EMISSIVEMATERIALSOURCE, "D3DRS_EMISSIVEMATERIALSOURCE"}, {D3DRS_VERTEXBLEND, "D3DRS_VERTEXBLEND"},
    {D3DRS_CLIPPLANEENABLE, "D3DRS_CLIPPLANEENABLE"}, {D3DRS_POINTSIZE, "D3DRS_POINTSIZE"},
    {D3DRS_POINTSIZE_MIN, "D3DRS_POINTSIZE_MIN"}, {D3DRS_POINTSPRITEENABLE, "D3DRS_POINTSPRITEENABLE"},
    {D3DRS_POINTSCALEENABLE, "D3DRS_POINTSCALEENABLE"}, {D3DRS_POINTSCALE_A, "D3DRS_POINTSCALE_A"},
    {D3DRS_POINTSCALE_B, "D3DRS_POINTSCALE_B"}, {D3DRS_POINTSCALE_C, "D3DRS_POINTSCALE_C"},
    {D3DRS_MULTISAMPLEANTIALIAS, "D3DRS_MULTISAMPLEANTIALIAS"}, {D3DRS_MULTISAMPLEMASK, "D3DRS_MULTISAMPLEMASK"},
    {D3DRS_PATCHEDGESTYLE, "D3DRS_PATCHEDGESTYLE"}, {D3DRS_DEBUGMONITORTOKEN, "D3DRS_DEBUGMONITORTOKEN"},
    {D3DRS_POINTSIZE_MAX, "D3DRS_POINTSIZE_MAX"}, {D3DRS_INDEXEDVERTEXBLENDENABLE, "D3DRS_INDEXEDVERTEXBLENDENABLE"},
    {D3DRS_COLORWRITEENABLE, "D3DRS_COLORWRITEENABLE"}, {D3DRS_TWEENFACTOR, "D3DRS_TWEENFACTOR"},
    {D3DRS_BLENDOP, "D3DRS_BLENDOP"}, {D3DRS_POSITIONDEGREE, "D3DRS_POSITIONDEGREE"},
    {D3DRS_NORMALDEGREE, "D3DRS_NORMALDEGREE"}, {D3DRS_SCISSORTESTENABLE, "D3DRS_SCISSORTESTENABLE"},
    {D3DRS_SLOPESCALEDEPTHBIAS, "D3DRS_SLOPESCALEDEPTHBIAS"},
    {D3DRS_ANTIALIASEDLINEENABLE, "D3DRS_ANTIALIASEDLINEENABLE"},
    {D3DRS_MINTESSELLATIONLEVEL, "D3DRS_MINTESSELLATIONLEVEL"},
    {D3DRS_MAXTESSELLATIONLEVEL, "D3DRS_MAXTESSELLATIONLEVEL"}, {D3DRS_ADAPTIVETESS_X, "D3DRS_ADAPTIVETESS_X"},
    {D3DRS_ADAPTIVETESS_Y, "D3DRS_ADAPTIVETESS_Y"}, {D3DRS_ADAPTIVETESS_Z, "D3DRS_ADAPTIVETESS_Z"},
    {D3DRS_ADAPTIVETESS_W, "D3DRS_ADAPTIVETESS_W"},
    {D3DRS_ENABLEADAPTIVETESSELLATION, "D3DRS_ENABLEADAPTIVETESSELLATION"},
    {D3DRS_TWOSIDEDSTENCILMODE, "D3DRS_TWOSIDEDSTENCILMODE"}, {D3DRS_CCW_STENCILFAIL, "D3DRS_CCW_STENCILFAIL"},
    {D3DRS_CCW_STENCILZFAIL, "D3DRS_CCW_STENCILZFAIL"}, {D3DRS_CCW_STENCILPASS, "D3DRS_CCW_STENCILPASS"},
    {D3DRS_CCW_STENCILFUNC, "D3DRS_CCW_STENCILFUNC"}, {D3DRS_COLORWRITEENABLE1, "D3DRS_COLORWRITEENABLE1"},
    {D3DRS_COLORWRITEENABLE2, "D3DRS_COLORWRITEENABLE2"}, {D3DRS_COLORWRITEENABLE3, "D3DRS_COLORWRITEENABLE3"},
    {D3DRS_BLENDFACTOR, "D3DRS_BLENDFACTOR"}, {D3DRS_SRGBWRITEENABLE, "D3DRS_SRGBWRITEENABLE"},
    {D3DRS_DEPTHBIAS, "D3DRS_DEPTHBIAS"}, {D3DRS_WRAP8, "D3DRS_WRAP8"}, {D3DRS_WRAP9, "D3DRS_WRAP9"},
    {D3DRS_WRAP10, "D3DRS_WRAP10"}, {D3DRS_WRAP11, "D3DRS_WRAP11"}, {D3DRS_WRAP12, "D3DRS_WRAP12"},
    {D3DRS_WRAP13, "D3DRS_WRAP13"}, {D3DRS_WRAP14, "D3DRS_WRAP14"}, {D3DRS_WRAP15, "D3DRS_WRAP15"},
    {D3DRS_SEPARATEALPHABLENDENABLE, "D3DRS_SEPARATEALPHABLENDENABLE"}, {D3DRS_SRCBLENDALPHA, "D3DRS_SRCBLENDALPHA"},
    {D3DRS_DESTBLENDALPHA, "D3DRS_DESTBLENDALPHA"}, {D3DRS_BLENDOPALPHA, "D3DRS_BLENDOPALPHA"},
};

const struct {
    DWORD value;
    const char* name;
} kStageStateNames[] = {
    {D3DTSS_COLOROP, "D3DTSS_COLOROP"}, {D3DTSS_COLORARG1, "D3DTSS_COLORARG1"},
    {D3DTSS_COLORARG2, "D3DTSS_COLORARG2"}, {D3DTSS_ALPHAOP, "D3DTSS_ALPHAOP"},
    {D3DTSS_ALPHAARG1, "D3DTSS_ALPHAARG1"}, {D3DTSS_ALPHAARG2, "D3DTSS_ALPHAARG2"},
    {D3DTSS_BUMPENVMAT00, "D3DTSS_BUMPENVMAT00"}, {D3DTSS_BUMPENVMAT01, "D3DTSS_BUMPENVMAT01"},
    {D3DTSS_BUMPENVMAT10, "D3DTSS_BUMPENVMAT10"}, {D3DTSS_BUMPENVMAT11, "D3DTSS_BUMPENVMAT11"},
    {D3DTSS_TEXCOORDINDEX, "D3DTSS_TEXCOORDINDEX"}, {D3DTSS_BUMPENVLSCALE, "D3DTSS_BUMPENVLSCALE"},
    {D3DTSS_BUMPENVLOFFSET, "D3DTSS_BUMPENVLOFFSET"}, {D3DTSS_TEXTURETRANSFORMFLAGS, "D3DTSS_TEXTURETRANSFORMFLAGS"},
    {D3DTSS_COLORARG0, "D3DTSS_COLORARG0"}, {D3DTSS_ALPHAARG0, "D3DTSS_ALPHAARG0"},
    {D3DTSS_RESULTARG, "D3DTSS_RESULTARG"}, {D3DTSS_CONSTANT, "D3DTSS_CONSTANT"},
};

const struct {
    DWORD value;
    const char* name;
} kSamplerStateNames[] = {
    {D3DSAMP_ADDRESSU, "D3DSAMP_ADDRESSU"}, {D3DSAMP_ADDRESSV, "D3DSAMP_ADDRESSV"},
    {D3DSAMP_ADDRESSW, "D3DSAMP_ADDRESSW"}, {D3DSAMP_BORDERCOLOR, "D3DSAMP_BORDERCOLOR"},
    {D3DSAMP_MAGFILTER, "D3DSAMP_MAGFILTER"}, {D3DSAMP_MINFILTER, "D3DSAMP_MINFILTER"},
    {D3DSAMP_MIPFILTER, "D3DSAMP_MIPFILTER"}, {D3DSAMP_MIPMAPLODBIAS, "D3DSAMP_MIPMAPLODBIAS"},
    {D3DSAMP_MAXMIPLEVEL, "D3DSAMP_MAXMIPLEVEL"}, {D3DSAMP_MAXANISOTROPY, "D3DSAMP_MAXANISOTROPY"},
    {D3DSAMP_SRGBTEXTURE, "D3DSAMP_SRGBTEXTURE"}, {D3DSAMP_ELEMENTINDEX, "D3DSAMP_ELEMENTINDEX"},
    {D3DSAMP_DMAPOFFSET, "D3DSAMP_DMAPOFFSET"},
};

template <size_t N, class T>
const char* NameIn(const T (&table)[N], uint64_t value)
{
    for (const auto& e : table)
        if (e.value == value)
            return e.name;
    return nullptr;
}

// The name of an argument value where the method's argument is a state.
const char* ValueName(const std::string& method, const char* arg, uint64_t value)
{
    if ((method == "SetRenderState" || method == "GetRenderState") && !std::strcmp(arg, "State"))
        return NameIn(kRenderStateNames, value);
    if ((method == "SetTextureStageState" || method == "GetTextureStageState") && !std::strcmp(arg, "Type"))
        return NameIn(kStageStateNames, value);
    if ((method == "SetSamplerState" || method == "GetSamplerState") && !std::strcmp(arg, "Type"))
        return NameIn(kSamplerStateNames, value);
    return nullptr;
}

} // namespace

// ---- FakeCall --------------------------------------------------------------

bool FakeCall::Has(const std::string& name) const
{
    for (const auto& a : args)
        if (a.first == name)
            return true;
    return false;
}

uint64_t FakeCall::Arg(const std::string& name) const
{
    for (const auto& a : args)
        if (a.first == name)
            return a.second;
    return 0;
}

float FakeCall::ArgF(const std::string& name) const
{
    uint32_t bits = (uint32_t)Arg(name);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

std::string FakeCall::Text() const
{
    std::string s = method + "(";
    char buf[64];
    for (size_t i = 0; i < args.size(); ++i) {
        if (i)
            s += ", ";
        if (const char* name = ValueName(method, args[i].first, args[i].second))
            std::snprintf(buf, sizeof buf, "%s=%s", args[i].first, name);
        else if (args[i].second > 0xFFFF)
            std::snprintf(buf, sizeof buf, "%s=0x%" PRIX64, args[i].first, args[i].second);
        else
            std::snprintf(buf, sizeof buf, "%s=%" PRIu64, args[i].first, args[i].second);
        s += buf;
    }
    s += ")";
    if (result != S_OK) {
        std::snprintf(buf, sizeof buf, " -> 0x%08X", (unsigned)result);
        s += buf;
    }
    return s;
}

// ---- FakeFailure -----------------------------------------------------------

FakeFailure& FakeFailure::When(std::function<bool(const FakeCall&)> predicate)
{
    predicate_ = std::move(predicate);
    return *this;
}

FakeFailure& FakeFailure::WhenArg(const std::string& name, uint64_t value)
{
    return When([name, value](const FakeCall& c) { return c.Arg(name) == value; });
}

FakeFailure& FakeFailure::After(int matchesToSkip)
{
    skip_ = matchesToSkip;
    return *this;
}

FakeFailure& FakeFailure::Times(int failures)
{
    times_ = failures;
    return *this;
}

FakeFailure& FakeFailure::With(HRESULT hr)
{
    hr_ = hr;
    return *this;
}

// ---- Hook --------------------------------------------------------------------

namespace {

FakeD3D9* g_installed = nullptr;

IDirect3D9* CreateFromHook(UINT sdkVersion)
{
    FakeD3D9* env = g_installed ? g_installed : FakeD3D9::Orphanage();
    FakeCall& call = env->Begin("Direct3DCreate9", {{"SDKVersion", sdkVersion}});
    if (FAILED(call.result) || (sdkVersion & 0x7FFFFFFFu) != D3D_SDK_VERSION)
        return nullptr;
    return env->Create();
}

void DefaultCaps(D3DCAPS9& c)
{
    // The capabilities the GL device reports.
    std::memset(&c, 0, sizeof c);
    c.DeviceType = D3DDEVTYPE_HAL;
    c.Caps2 = D3DCAPS2_CANMANAGERESOURCE | D3DCAPS2_DYNAMICTEXTURES | D3DCAPS2_CANAUTOGENMIPMAP;
    c.Caps3 = D3DCAPS3_COPY_TO_VIDMEM | D3DCAPS3_COPY_TO_SYSTEMMEM;
    c.PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE;
    c.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_EXECUTEVIDEOMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                D3DDEVCAPS_TLVERTEXVIDEOMEMORY | D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY |
                D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_DRAWPRIMITIVES2 |
                D3DDEVCAPS_DRAWPRIMITIVES2EX | D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION;
    c.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                          D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_CLIPTLVERTS | D3DPMISCCAPS_TSSARGTEMP |
                          D3DPMISCCAPS_BLENDOP | D3DPMISCCAPS_PERSTAGECONSTANT | D3DPMISCCAPS_FOGANDSPECULARALPHA |
                          D3DPMISCCAPS_SEPARATEALPHABLEND;
    c.RasterCaps = D3DPRASTERCAPS_DITHER | D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE |
                   D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_FOGRANGE | D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_ZFOG |
                   D3DPRASTERCAPS_COLORPERSPECTIVE | D3DPRASTERCAPS_SCISSORTEST | D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS |
                   D3DPRASTERCAPS_DEPTHBIAS;
    c.ZCmpCaps = D3DPCMPCAPS_NEVER | D3DPCMPCAPS_LESS | D3DPCMPCAPS_EQUAL | D3DPCMPCAPS_LESSEQUAL |
                 D3DPCMPCAPS_GREATER | D3DPCMPCAPS_NOTEQUAL | D3DPCMPCAPS_GREATEREQUAL | D3DPCMPCAPS_ALWAYS;
    c.SrcBlendCaps = D3DPBLENDCAPS_ZERO | D3DPBLENDCAPS_ONE | D3DPBLENDCAPS_SRCCOLOR | D3DPBLENDCAPS_INVSRCCOLOR |
                     D3DPBLENDCAPS_SRCALPHA | D3DPBLENDCAPS_INVSRCALPHA | D3DPBLENDCAPS_DESTALPHA |
                     D3DPBLENDCAPS_INVDESTALPHA | D3DPBLENDCAPS_DESTCOLOR | D3DPBLENDCAPS_INVDESTCOLOR |
                     D3DPBLENDCAPS_SRCALPHASAT | D3DPBLENDCAPS_BOTHSRCALPHA | D3DPBLENDCAPS_BOTHINVSRCALPHA |
                     D3DPBLENDCAPS_BLENDFACTOR;
    c.DestBlendCaps = D3DPBLENDCAPS_ZERO | D3DPBLENDCAPS_ONE | D3DPBLENDCAPS_SRCCOLOR | D3DPBLENDCAPS_INVSRCCOLOR |
                      D3DPBLENDCAPS_SRCALPHA | D3DPBLENDCAPS_INVSRCALPHA | D3DPBLENDCAPS_DESTALPHA |
                      D3DPBLENDCAPS_INVDESTALPHA | D3DPBLENDCAPS_DESTCOLOR | D3DPBLENDCAPS_INVDESTCOLOR |
                      D3DPBLENDCAPS_SRCALPHASAT | D3DPBLENDCAPS_BOTHSRCALPHA | D3DPBLENDCAPS_BOTHINVSRCALPHA |
                      D3DPBLENDCAPS_BLENDFACTOR;
    c.AlphaCmpCaps = D3DPCMPCAPS_NEVER | D3DPCMPCAPS_LESS | D3DPCMPCAPS_EQUAL | D3DPCMPCAPS_LESSEQUAL |
                     D3DPCMPCAPS_GREATER | D3DPCMPCAPS_NOTEQUAL | D3DPCMPCAPS_GREATEREQUAL | D3DPCMPCAPS_ALWAYS;
    c.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB | D3DPSHADECAPS_ALPHAGOURAUDBLEND |
                  D3DPSHADECAPS_FOGGOURAUD;
    c.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_PROJECTED |
                    D3DPTEXTURECAPS_MIPMAP;
    c.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                          D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    c.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                           D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV;
    c.LineCaps = D3DLINECAPS_TEXTURE | D3DLINECAPS_ZTEST | D3DLINECAPS_BLEND | D3DLINECAPS_ALPHACMP | D3DLINECAPS_FOG;
    c.MaxTextureWidth = 4096;
    c.MaxTextureHeight = 4096;
    c.MaxTextureRepeat = 8192;
    c.MaxTextureAspectRatio = 4096;
    c.MaxAnisotropy = 1;
    c.MaxVertexW = 1e+10f;
    c.GuardBandLeft = -32768.0f;
    c.GuardBandTop = -32768.0f;
    c.GuardBandRight = 32768.0f;
    c.GuardBandBottom = 32768.0f;
    c.StencilCaps = D3DSTENCILCAPS_KEEP | D3DSTENCILCAPS_ZERO | D3DSTENCILCAPS_REPLACE | D3DSTENCILCAPS_INCRSAT |
                    D3DSTENCILCAPS_DECRSAT | D3DSTENCILCAPS_INVERT | D3DSTENCILCAPS_INCR | D3DSTENCILCAPS_DECR |
                    D3DSTENCILCAPS_TWOSIDED;
    c.FVFCaps = D3DFVFCAPS_PSIZE | 8; // 8 texture coordinate sets
    c.TextureOpCaps = D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 | D3DTEXOPCAPS_MODULATE |
                      D3DTEXOPCAPS_MODULATE2X | D3DTEXOPCAPS_MODULATE4X | D3DTEXOPCAPS_ADD | D3DTEXOPCAPS_ADDSIGNED |
                      D3DTEXOPCAPS_ADDSIGNED2X | D3DTEXOPCAPS_SUBTRACT | D3DTEXOPCAPS_ADDSMOOTH |
                      D3DTEXOPCAPS_BLENDDIFFUSEALPHA | D3DTEXOPCAPS_BLENDTEXTUREALPHA | D3DTEXOPCAPS_BLENDFACTORALPHA |
                      D3DTEXOPCAPS_BLENDTEXTUREALPHAPM | D3DTEXOPCAPS_BLENDCURRENTALPHA |
                      D3DTEXOPCAPS_MODULATEALPHA_ADDCOLOR | D3DTEXOPCAPS_MODULATECOLOR_ADDALPHA |
                      D3DTEXOPCAPS_MODULATEINVALPHA_ADDCOLOR | D3DTEXOPCAPS_MODULATEINVCOLOR_ADDALPHA |
                      D3DTEXOPCAPS_DOTPRODUCT3 | D3DTEXOPCAPS_MULTIPLYADD | D3DTEXOPCAPS_LERP;
    c.MaxTextureBlendStages = 8;
    c.MaxSimultaneousTextures = 8;
    c.VertexProcessingCaps = D3DVTXPCAPS_TEXGEN | D3DVTXPCAPS_MATERIALSOURCE7 | D3DVTXPCAPS_DIRECTIONALLIGHTS |
                             D3DVTXPCAPS_POSITIONALLIGHTS | D3DVTXPCAPS_LOCALVIEWER;
    c.MaxActiveLights = 8;
    c.MaxVertexBlendMatrices = 4;
    c.MaxVertexBlendMatrixIndex = 63;
    c.MaxPointSize = 256.0f;
    c.MaxPrimitiveCount = 1048575;
    c.MaxVertexIndex = 16777215;
    c.MaxStreams = 16;
    c.MaxStreamStride = 255;
    c.VertexShaderVersion = D3DVS_VERSION(2, 0);
    c.MaxVertexShaderConst = 256;
    c.PixelShaderVersion = D3DPS_VERSION(2, 0);
    c.PixelShader1xMaxValue = 8.0f;
    c.DevCaps2 = D3DDEVCAPS2_STREAMOFFSET | D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES;
    c.NumberOfAdaptersInGroup = 1;
    c.DeclTypes = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N | D3DDTCAPS_USHORT2N |
                  D3DDTCAPS_USHORT4N | D3DDTCAPS_FLOAT16_2 | D3DDTCAPS_FLOAT16_4;
    c.NumSimultaneousRTs = 1;
    c.StretchRectFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MAGFPOINT |
                              D3DPTFILTERCAPS_MAGFLINEAR;
    c.VS20Caps.NumTemps = 12;
    c.VS20Caps.StaticFlowControlDepth = 1;
    c.PS20Caps.NumTemps = 12;
    c.PS20Caps.NumInstructionSlots = 512;
    c.MaxVShaderInstructionsExecuted = 65535;
    c.MaxPShaderInstructionsExecuted = 65535;
}

} // namespace

// ---- FakeD3D9 ------------------------------------------------------------------

FakeD3D9::FakeD3D9() : FakeD3D9(true) {}

FakeD3D9::FakeD3D9(bool install)
{
    displayFormats = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5};
    depthFormats = {D3DFMT_D24S8, D3DFMT_D24X8,     D3DFMT_D16,   D3DFMT_D32,           D3DFMT_D16_LOCKABLE,
                    D3DFMT_D24X4S4, D3DFMT_D15S1, D3DFMT_D24FS8, D3DFMT_D32F_LOCKABLE};
    refusedTextureFormats = {D3DFMT_R3G3B2,   D3DFMT_A8R3G3B2,    D3DFMT_A8P8,         D3DFMT_P8,
                             D3DFMT_A4L4,     D3DFMT_V8U8,        D3DFMT_L6V5U5,       D3DFMT_X8L8V8U8,
                             D3DFMT_Q8W8V8U8, D3DFMT_V16U16,      D3DFMT_A2W10V10U10,  D3DFMT_Q16W16V16U16,
                             D3DFMT_CxV8U8};
    renderTargetFormats = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4};
    vertexProcessing = D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                       D3DCREATE_MIXED_VERTEXPROCESSING;
    DefaultCaps(caps_);
    if (install) {
        installed_ = true;
        g_installed = this;
        SetDirect3DCreate9Hook(&CreateFromHook);
    }
}

FakeD3D9::~FakeD3D9()
{
    if (installed_) {
        SetDirect3DCreate9Hook(nullptr);
        if (g_installed == this)
            g_installed = nullptr;
    }
    // Objects still alive go on working in the orphanage.
    if (this != Orphanage()) {
        std::vector<FakeObjectBase*> left;
        for (const auto& o : live_)
            left.push_back((FakeObjectBase*)o.first);
        for (FakeObjectBase* o : left)
            o->Orphan();
    }
}

FakeD3D9* FakeD3D9::Orphanage()
{
    static FakeD3D9* orphanage = new FakeD3D9(false);
    return orphanage;
}

FakeDirect3D9* FakeD3D9::Create()
{
    lastD3D_ = new FakeDirect3D9(this);
    return lastD3D_;
}

IDirect3DDevice9* FakeD3D9::MakeDevice(UINT width, UINT height, D3DFORMAT depth, DWORD behavior)
{
    FakeDirect3D9* d3d = Create();
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(1));
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = depth != D3DFMT_UNKNOWN;
    pp.AutoDepthStencilFormat = depth;
    IDirect3DDevice9* dev = nullptr;
    d3d->CreateDevice(0, D3DDEVTYPE_HAL, pp.hDeviceWindow, behavior, &pp, &dev);
    d3d->Release();
    return dev;
}

FakeFailure& FakeD3D9::Fail(const std::string& method, HRESULT hr)
{
    failures_.push_back(std::make_unique<FakeFailure>());
    failures_.back()->method_ = method;
    failures_.back()->hr_ = hr;
    return *failures_.back();
}

void FakeD3D9::ClearFailures()
{
    failures_.clear();
}

FakeCall& FakeD3D9::Begin(const char* method, std::initializer_list<std::pair<const char*, uint64_t>> args)
{
    FakeCall* call = &scratch_;
    if (logging) {
        while (!calls_.empty() && calls_.size() >= std::max<size_t>(maxCalls, 1))
            calls_.pop_front();
        calls_.emplace_back();
        call = &calls_.back();
    }
    FakeCall& c = *call;
    c.method = method;
    c.index = callsSeen_++;
    c.result = S_OK;
    c.args.assign(args.begin(), args.end());
    for (auto& f : failures_) {
        if (f->method_ != c.method)
            continue;
        if (f->predicate_ && !f->predicate_(c))
            continue;
        if (f->skip_ > 0) {
            --f->skip_;
            continue;
        }
        if (f->times_ == 0)
            continue;
        if (f->times_ > 0)
            --f->times_;
        ++f->failed_;
        c.result = f->hr_;
        break;
    }
    return c;
}

HRESULT FakeD3D9::End(FakeCall& call, HRESULT hr)
{
    call.result = hr;
    return hr;
}

void FakeD3D9::Problem(const std::string& text)
{
    const size_t kMax = 1000;
    if (problems_.size() < kMax)
        problems_.push_back(text);
    else if (problems_.size() == kMax)
        problems_.push_back("... further problems dropped");
}

void FakeD3D9::AddLive(const void* obj, const char* kind)
{
    live_[obj] = kind;
}

void FakeD3D9::RemoveLive(const void* obj)
{
    live_.erase(obj);
}

void FakeD3D9::Forget(FakeDevice* dev)
{
    if (lastDevice_ == dev)
        lastDevice_ = nullptr;
}

void FakeD3D9::Forget(FakeDirect3D9* d3d)
{
    if (lastD3D_ == d3d)
        lastD3D_ = nullptr;
}

FakeDraw& FakeD3D9::AddDraw()
{
    if (!logging)
        return scratchDraw_;
    while (!draws_.empty() && draws_.size() >= std::max<size_t>(maxDraws, 1))
        draws_.pop_front();
    draws_.emplace_back();
    return draws_.back();
}

const FakeCall* FakeD3D9::CallAt(size_t index) const
{
    if (calls_.empty() || index < calls_.front().index || index > calls_.back().index)
        return nullptr;
    return &calls_[index - calls_.front().index];
}

size_t FakeD3D9::Count(const std::string& method) const
{
    size_t n = 0;
    for (const auto& c : calls_)
        n += c.method == method;
    return n;
}

size_t FakeD3D9::Count(const std::string& method, const std::function<bool(const FakeCall&)>& predicate) const
{
    size_t n = 0;
    for (const auto& c : calls_)
        n += c.method == method && predicate(c);
    return n;
}

std::vector<const FakeCall*> FakeD3D9::Find(const std::string& method) const
{
    std::vector<const FakeCall*> out;
    for (const auto& c : calls_)
        if (c.method == method)
            out.push_back(&c);
    return out;
}

std::vector<std::string> FakeD3D9::Sequence(const std::set<std::string>& methods) const
{
    std::vector<std::string> out;
    for (const auto& c : calls_)
        if (methods.empty() || methods.count(c.method))
            out.push_back(c.method);
    return out;
}

void FakeD3D9::ClearLog()
{
    calls_.clear();
    draws_.clear();
    callsSeen_ = 0;
}

std::string FakeD3D9::LogText() const
{
    std::string s;
    for (const auto& c : calls_) {
        s += c.Text();
        s += '\n';
    }
    return s;
}

std::vector<std::string> FakeD3D9::LiveObjectKinds() const
{
    std::vector<std::string> out;
    for (const auto& o : live_)
        out.push_back(o.second);
    std::sort(out.begin(), out.end());
    return out;
}

FakeStateBlock* FakeD3D9::AsFake(IDirect3DStateBlock9* p) const
{
    return dynamic_cast<FakeStateBlock*>(p);
}

FakeTexture* FakeD3D9::AsFake(IDirect3DBaseTexture9* p) const
{
    return dynamic_cast<FakeTexture*>(p);
}

FakeSurface* FakeD3D9::AsFake(IDirect3DSurface9* p) const
{
    return dynamic_cast<FakeSurface*>(p);
}

FakeDevice* FakeD3D9::AsFake(IDirect3DDevice9* p) const
{
    return dynamic_cast<FakeDevice*>(p);
}

bool FakeD3D9::HoldsDefaultPool(const FakeDevice* dev) const
{
    for (const auto& o : live_) {
        auto* obj = const_cast<FakeObjectBase*>(static_cast<const FakeObjectBase*>(o.first));
        if (!obj->RefCount())
            continue;
        if (auto* t = dynamic_cast<FakeTexture*>(obj); t && t->Device() == dev && t->Pool() == D3DPOOL_DEFAULT)
            return true;
        if (auto* s = dynamic_cast<FakeSurface*>(obj);
            s && s->Device() == dev && !s->Container() && !s->Implicit() && s->Desc().Pool == D3DPOOL_DEFAULT)
            return true;
        if (auto* b = dynamic_cast<FakeVertexBuffer*>(obj);
            b && b->Device() == dev && b->Desc().Pool == D3DPOOL_DEFAULT)
            return true;
        if (auto* b = dynamic_cast<FakeIndexBuffer*>(obj);
            b && b->Device() == dev && b->Desc().Pool == D3DPOOL_DEFAULT)
            return true;
    }
    return false;
}

// ---- FakeObjectBase --------------------------------------------------------------

FakeObjectBase::FakeObjectBase(FakeD3D9* env, const char* kind) : env_(env), kind_(kind)
{
    env_->AddLive(this, kind);
}

FakeObjectBase::~FakeObjectBase()
{
    env_->RemoveLive(this);
}

void FakeObjectBase::Orphan()
{
    env_->RemoveLive(this);
    env_ = FakeD3D9::Orphanage();
    env_->AddLive(this, kind_);
}

ULONG FakeObjectBase::DoAddRef()
{
    return ++refs_;
}

ULONG FakeObjectBase::DoRelease()
{
    if (refs_ == 0) {
        env_->Problem(std::string("Release of a ") + kind_ + " whose count is 0");
        return 0;
    }
    ULONG left = --refs_;
    if (left == 0) {
        // Held by a temporary binding so that the final release (which may
        // end the device, which unbinds this object) cannot delete it early.
        ++binds_;
        if (!finalReleased_) {
            finalReleased_ = true;
            OnFinalRelease();
        }
        if (--binds_ == 0 && refs_ == 0)
            delete this;
    }
    return left;
}

void FakeObjectBase::Unbind()
{
    if (binds_ == 0)
        return;
    if (--binds_ == 0 && refs_ == 0 && finalReleased_)
        delete this;
}

// ---- Formats ----------------------------------------------------------------------

UINT FakeFormatBytes(D3DFORMAT fmt, UINT* blockDim)
{
    if (blockDim)
        *blockDim = 1;
    switch (fmt) {
    case D3DFMT_A8R8G8B8: case D3DFMT_X8R8G8B8: case D3DFMT_A8B8G8R8: case D3DFMT_X8B8G8R8:
    case D3DFMT_A2R10G10B10: case D3DFMT_A2B10G10R10: case D3DFMT_G16R16: case D3DFMT_Q8W8V8U8:
    case D3DFMT_X8L8V8U8: case D3DFMT_V16U16: case D3DFMT_R32F: case D3DFMT_G16R16F:
    case D3DFMT_D24S8: case D3DFMT_D24X8: case D3DFMT_D24X4S4: case D3DFMT_D32: case D3DFMT_D24FS8:
    case D3DFMT_D32F_LOCKABLE: case D3DFMT_INDEX32:
        return 4;
    case D3DFMT_R8G8B8:
        return 3;
    case D3DFMT_R5G6B5: case D3DFMT_X1R5G5B5: case D3DFMT_A1R5G5B5: case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4: case D3DFMT_A8R3G3B2: case D3DFMT_A8L8: case D3DFMT_V8U8: case D3DFMT_L6V5U5:
    case D3DFMT_L16: case D3DFMT_R16F: case D3DFMT_D16: case D3DFMT_D16_LOCKABLE: case D3DFMT_D15S1:
    case D3DFMT_INDEX16:
        return 2;
    case D3DFMT_A8: case D3DFMT_L8: case D3DFMT_A4L4: case D3DFMT_R3G3B2: case D3DFMT_P8:
        return 1;
    case D3DFMT_A16B16G16R16: case D3DFMT_A16B16G16R16F: case D3DFMT_G32R32F:
        return 8;
    case D3DFMT_A32B32G32R32F:
        return 16;
    case D3DFMT_DXT1:
        if (blockDim)
            *blockDim = 4;
        return 8;
    case D3DFMT_DXT2: case D3DFMT_DXT3: case D3DFMT_DXT4: case D3DFMT_DXT5:
        if (blockDim)
            *blockDim = 4;
        return 16;
    default:
        return 0;
    }
}

bool FakeIsDepthFormat(D3DFORMAT fmt)
{
    switch (fmt) {
    case D3DFMT_D16: case D3DFMT_D16_LOCKABLE: case D3DFMT_D15S1: case D3DFMT_D24S8: case D3DFMT_D24X8:
    case D3DFMT_D24X4S4: case D3DFMT_D32: case D3DFMT_D24FS8: case D3DFMT_D32F_LOCKABLE:
        return true;
    default:
        return false;
    }
}

bool FakeHasStencil(D3DFORMAT fmt)
{
    return fmt == D3DFMT_D15S1 || fmt == D3DFMT_D24S8 || fmt == D3DFMT_D24X4S4 || fmt == D3DFMT_D24FS8;
}

void FakeImage::Allocate(D3DFORMAT fmt, UINT w, UINT h)
{
    format = fmt;
    width = w;
    height = h;
    UINT dim = 1;
    UINT bytes = FakeFormatBytes(fmt, &dim);
    pitch = ((w + dim - 1) / dim) * bytes;
    rows = (h + dim - 1) / dim;
    bits.assign((size_t)pitch * rows, 0);
}
