// Direct3D 9's documented state defaults.
#include "d3d9_state_defaults.h"

#include <cstring>

namespace d3d9gl {

namespace {
// Float states hold their value's bits.
constexpr DWORD kFloat0 = 0x00000000u, kFloat1 = 0x3F800000u, kFloat64 = 0x42800000u;
} // namespace

const RenderStateDefault kRenderStateDefaults[] = {
    {D3DRS_ZENABLE, D3DZB_TRUE, kPixelBlock},
    {D3DRS_FILLMODE, D3DFILL_SOLID, kPixelBlock},
    {D3DRS_SHADEMODE, D3DSHADE_GOURAUD, kPixelBlock | kVertexBlock},
    {D3DRS_ZWRITEENABLE, TRUE, kPixelBlock},
    {D3DRS_ALPHATESTENABLE, FALSE, kPixelBlock},
    {D3DRS_LASTPIXEL, TRUE, kPixelBlock},
    {D3DRS_SRCBLEND, D3DBLEND_ONE, kPixelBlock},
    {D3DRS_DESTBLEND, D3DBLEND_ZERO, kPixelBlock},
    {D3DRS_CULLMODE, D3DCULL_CCW, kVertexBlock},
    {D3DRS_ZFUNC, D3DCMP_LESSEQUAL, kPixelBlock},
    {D3DRS_ALPHAREF, 0, kPixelBlock},
    {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS, kPixelBlock},
    {D3DRS_DITHERENABLE, FALSE, kPixelBlock},
    {D3DRS_ALPHABLENDENABLE, FALSE, kPixelBlock},
    {D3DRS_FOGENABLE, FALSE, kVertexBlock},
    {D3DRS_SPECULARENABLE, FALSE, kVertexBlock},
    {D3DRS_FOGCOLOR, 0, kVertexBlock},
    {D3DRS_FOGTABLEMODE, D3DFOG_NONE, kVertexBlock},
    {D3DRS_FOGSTART, kFloat0, kPixelBlock | kVertexBlock},
    {D3DRS_FOGEND, kFloat1, kPixelBlock | kVertexBlock},
    {D3DRS_FOGDENSITY, kFloat1, kPixelBlock | kVertexBlock},
    {D3DRS_RANGEFOGENABLE, FALSE, kVertexBlock},
    {D3DRS_STENCILENABLE, FALSE, kPixelBlock},
    {D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP, kPixelBlock},
    {D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP, kPixelBlock},
    {D3DRS_STENCILPASS, D3DSTENCILOP_KEEP, kPixelBlock},
    {D3DRS_STENCILFUNC, D3DCMP_ALWAYS, kPixelBlock},
    {D3DRS_STENCILREF, 0, kPixelBlock},
    {D3DRS_STENCILMASK, 0xFFFFFFFF, kPixelBlock},
    {D3DRS_STENCILWRITEMASK, 0xFFFFFFFF, kPixelBlock},
    {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF, kPixelBlock},
    {D3DRS_CLIPPING, TRUE, kVertexBlock},
    {D3DRS_LIGHTING, TRUE, kVertexBlock},
    {D3DRS_AMBIENT, 0, kVertexBlock},
    {D3DRS_FOGVERTEXMODE, D3DFOG_NONE, kVertexBlock},
    {D3DRS_COLORVERTEX, TRUE, kVertexBlock},
    {D3DRS_LOCALVIEWER, TRUE, kVertexBlock},
    {D3DRS_NORMALIZENORMALS, FALSE, kVertexBlock},
    {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1, kVertexBlock},
    {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2, kVertexBlock},
    {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL, kVertexBlock},
    {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL, kVertexBlock},
    {D3DRS_VERTEXBLEND, D3DVBF_DISABLE, kVertexBlock},
    {D3DRS_CLIPPLANEENABLE, 0, kVertexBlock},
    {D3DRS_POINTSIZE, kFloat1, kVertexBlock},
    {D3DRS_POINTSIZE_MIN, kFloat1, kVertexBlock},
    {D3DRS_POINTSPRITEENABLE, FALSE, kVertexBlock},
    {D3DRS_POINTSCALEENABLE, FALSE, kVertexBlock},
    {D3DRS_POINTSCALE_A, kFloat1, kVertexBlock},
    {D3DRS_POINTSCALE_B, kFloat0, kVertexBlock},
    {D3DRS_POINTSCALE_C, kFloat0, kVertexBlock},
    {D3DRS_MULTISAMPLEANTIALIAS, TRUE, kVertexBlock},
    {D3DRS_MULTISAMPLEMASK, 0xFFFFFFFF, kVertexBlock},
    {D3DRS_PATCHEDGESTYLE, D3DPATCHEDGE_DISCRETE, kVertexBlock},
    {D3DRS_DEBUGMONITORTOKEN, D3DDMT_ENABLE, 0},
    {D3DRS_POINTSIZE_MAX, kFloat64, kVertexBlock},
    {D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE, kVertexBlock},
    {D3DRS_COLORWRITEENABLE, 0xF, kPixelBlock},
    {D3DRS_TWEENFACTOR, kFloat0, kVertexBlock},
    {D3DRS_BLENDOP, D3DBLENDOP_ADD, kPixelBlock},
    {D3DRS_POSITIONDEGREE, D3DDEGREE_CUBIC, kVertexBlock},
    {D3DRS_NORMALDEGREE, D3DDEGREE_LINEAR, kVertexBlock},
    {D3DRS_SCISSORTESTENABLE, FALSE, kPixelBlock},
    {D3DRS_SLOPESCALEDEPTHBIAS, 0, kPixelBlock},
    {D3DRS_ANTIALIASEDLINEENABLE, FALSE, kPixelBlock},
    {D3DRS_MINTESSELLATIONLEVEL, kFloat1, kVertexBlock},
    {D3DRS_MAXTESSELLATIONLEVEL, kFloat1, kVertexBlock},
    {D3DRS_ADAPTIVETESS_X, kFloat0, kVertexBlock},
    {D3DRS_ADAPTIVETESS_Y, kFloat0, kVertexBlock},
    {D3DRS_ADAPTIVETESS_Z, kFloat1, kVertexBlock},
    {D3DRS_ADAPTIVETESS_W, kFloat0, kVertexBlock},
    {D3DRS_ENABLEADAPTIVETESSELLATION, FALSE, kVertexBlock},
    {D3DRS_TWOSIDEDSTENCILMODE, FALSE, kPixelBlock},
    {D3DRS_CCW_STENCILFAIL, D3DSTENCILOP_KEEP, kPixelBlock},
    {D3DRS_CCW_STENCILZFAIL, D3DSTENCILOP_KEEP, kPixelBlock},
    {D3DRS_CCW_STENCILPASS, D3DSTENCILOP_KEEP, kPixelBlock},
    {D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS, kPixelBlock},
    {D3DRS_COLORWRITEENABLE1, 0xF, kPixelBlock},
    {D3DRS_COLORWRITEENABLE2, 0xF, kPixelBlock},
    {D3DRS_COLORWRITEENABLE3, 0xF, kPixelBlock},
    {D3DRS_BLENDFACTOR, 0xFFFFFFFF, kPixelBlock},
    {D3DRS_SRGBWRITEENABLE, 0, kPixelBlock},
    {D3DRS_DEPTHBIAS, 0, kPixelBlock},
    {D3DRS_SEPARATEALPHABLENDENABLE, FALSE, kPixelBlock},
    {D3DRS_SRCBLENDALPHA, D3DBLEND_ONE, kPixelBlock},
    {D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO, kPixelBlock},
    {D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD, kPixelBlock},
    {D3DRS_WRAP0, 0, kPixelBlock},
    {D3DRS_WRAP1, 0, kPixelBlock},
    {D3DRS_WRAP2, 0, kPixelBlock},
    {D3DRS_WRAP3, 0, kPixelBlock},
    {D3DRS_WRAP4, 0, kPixelBlock},
    {D3DRS_WRAP5, 0, kPixelBlock},
    {D3DRS_WRAP6, 0, kPixelBlock},
    {D3DRS_WRAP7, 0, kPixelBlock},
    {D3DRS_WRAP8, 0, kPixelBlock},
    {D3DRS_WRAP9, 0, kPixelBlock},
    {D3DRS_WRAP10, 0, kPixelBlock},
    {D3DRS_WRAP11, 0, kPixelBlock},
    {D3DRS_WRAP12, 0, kPixelBlock},
    {D3DRS_WRAP13, 0, kPixelBlock},
    {D3DRS_WRAP14, 0, kPixelBlock},
    {D3DRS_WRAP15, 0, kPixelBlock},
};

const size_t kRenderStateDefaultCount = sizeof(kRenderStateDefaults) / sizeof(kRenderStateDefaults[0]);

const RenderStateDefault* FindRenderStateDefault(DWORD state)
{
    // Built once: the row of each state number, or none.
    static const RenderStateDefault* const* rows = [] {
        static const RenderStateDefault* table[256] = {};
        for (size_t i = 0; i < kRenderStateDefaultCount; ++i)
            table[kRenderStateDefaults[i].state] = &kRenderStateDefaults[i];
        return table;
    }();
    return state < 256 ? rows[state] : nullptr;
}

void StageStateDefaults(DWORD stage, DWORD* t)
{
    std::memset(t, 0, sizeof(DWORD) * D3D_TEXTURESTAGESTATE_COUNT);
    t[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    t[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    t[D3DTSS_TEXCOORDINDEX] = stage;
    t[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
    t[D3DTSS_COLORARG0] = D3DTA_CURRENT;
    t[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
    t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
}

void SamplerStateDefaults(DWORD* s)
{
    std::memset(s, 0, sizeof(DWORD) * D3D_SAMPLERSTATE_COUNT);
    s[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
    s[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
    s[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
    s[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
    s[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    s[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    s[D3DSAMP_MAXANISOTROPY] = 1;
}

bool IsVertexStageState(DWORD type)
{
    return type == D3DTSS_TEXCOORDINDEX || type == D3DTSS_TEXTURETRANSFORMFLAGS;
}

} // namespace d3d9gl
