#include "d3d9_validate.h"

namespace {

const DWORD kStages = 8;

bool OpSupported(const D3DCAPS9& caps, DWORD op)
{
    // D3DTEXOPCAPS_* bit n stands for operation n + 1.
    return op >= D3DTOP_DISABLE && op <= D3DTOP_LERP && (caps.TextureOpCaps & (1u << (op - 1))) != 0;
}

bool ArgSupported(const D3DCAPS9& caps, DWORD arg)
{
    if (arg & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) return false;
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE:
    case D3DTA_CURRENT:
    case D3DTA_TEXTURE:
    case D3DTA_TFACTOR:
    case D3DTA_SPECULAR: return true;
    case D3DTA_TEMP: return (caps.PrimitiveMiscCaps & D3DPMISCCAPS_TSSARGTEMP) != 0;
    case D3DTA_CONSTANT: return (caps.PrimitiveMiscCaps & D3DPMISCCAPS_PERSTAGECONSTANT) != 0;
    default: return false;
    }
}

// Whether the operation reads argument 0, 1 or 2.
bool UsesArg(DWORD op, int which)
{
    if (which == 0) return op == D3DTOP_MULTIPLYADD || op == D3DTOP_LERP;
    if (which == 1) return op != D3DTOP_SELECTARG2;
    return op != D3DTOP_SELECTARG1;
}

// Operations that read the stage's texture without naming it as an argument.
bool ReadsTextureItself(DWORD op)
{
    return op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM || op == D3DTOP_PREMODULATE ||
           op == D3DTOP_BUMPENVMAP || op == D3DTOP_BUMPENVMAPLUMINANCE;
}

} // namespace

HRESULT ValidateStageSetUp(const D3DCAPS9& caps, const StageStateReader& stageState)
{
    static const D3DTEXTURESTAGESTATETYPE kColorArgs[3] = {D3DTSS_COLORARG0, D3DTSS_COLORARG1, D3DTSS_COLORARG2};
    static const D3DTEXTURESTAGESTATETYPE kAlphaArgs[3] = {D3DTSS_ALPHAARG0, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2};
    DWORD texturing = 0;
    for (DWORD s = 0; s < kStages; ++s) {
        const DWORD colorOp = stageState(s, D3DTSS_COLOROP);
        if (colorOp == D3DTOP_DISABLE) break;
        if (s >= caps.MaxTextureBlendStages) return D3DERR_TOOMANYOPERATIONS;
        if (!OpSupported(caps, colorOp)) return D3DERR_UNSUPPORTEDCOLOROPERATION;
        const DWORD alphaOp = stageState(s, D3DTSS_ALPHAOP);
        if (!OpSupported(caps, alphaOp)) return D3DERR_UNSUPPORTEDALPHAOPERATION;

        bool texture = ReadsTextureItself(colorOp) || ReadsTextureItself(alphaOp);
        for (int i = 0; i < 3; ++i) {
            if (!UsesArg(colorOp, i)) continue;
            const DWORD arg = stageState(s, kColorArgs[i]);
            if (!ArgSupported(caps, arg)) return D3DERR_UNSUPPORTEDCOLORARG;
            texture = texture || (arg & D3DTA_SELECTMASK) == D3DTA_TEXTURE;
        }
        for (int i = 0; alphaOp != D3DTOP_DISABLE && i < 3; ++i) {
            if (!UsesArg(alphaOp, i)) continue;
            const DWORD arg = stageState(s, kAlphaArgs[i]);
            if (!ArgSupported(caps, arg)) return D3DERR_UNSUPPORTEDALPHAARG;
            texture = texture || (arg & D3DTA_SELECTMASK) == D3DTA_TEXTURE;
        }
        const DWORD result = stageState(s, D3DTSS_RESULTARG);
        if (result != D3DTA_CURRENT && !(result == D3DTA_TEMP && ArgSupported(caps, D3DTA_TEMP)))
            return D3DERR_UNSUPPORTEDCOLORARG;
        if (texture) ++texturing;
    }
    if (texturing > caps.MaxSimultaneousTextures) return D3DERR_TOOMANYOPERATIONS;
    return D3D_OK;
}
