// Direct3DCreate9, its test hook and the interface identifiers.
#include "d3d9.h"
#include "d3d9_testing.h"

#include "d3d9_impl.h"

namespace {
Direct3DCreate9Hook g_createHook = nullptr;
}

void SetDirect3DCreate9Hook(Direct3DCreate9Hook hook) { g_createHook = hook; }

IDirect3D9* Direct3DCreate9(UINT SDKVersion)
{
    if (g_createHook)
        return g_createHook(SDKVersion);
    if ((SDKVersion & 0x7fffffffu) != D3D_SDK_VERSION)
        return nullptr;
    return d3d9gl::CreateDirect3D9();
}

#define NIMB_DEFINE_IID(name, n) \
    const IID name = {0x6d1b0000u + (n), 0x3d09, 0x4e9a, {0x9c, 0x1d, 0x4e, 0x49, 0x4d, 0x42, 0x00, (n)}}
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
NIMB_DEFINE_IID(IID_IDirect3D9, 1);
NIMB_DEFINE_IID(IID_IDirect3DDevice9, 2);
NIMB_DEFINE_IID(IID_IDirect3DResource9, 3);
NIMB_DEFINE_IID(IID_IDirect3DBaseTexture9, 4);
NIMB_DEFINE_IID(IID_IDirect3DTexture9, 5);
NIMB_DEFINE_IID(IID_IDirect3DCubeTexture9, 6);
NIMB_DEFINE_IID(IID_IDirect3DSurface9, 7);
NIMB_DEFINE_IID(IID_IDirect3DVertexBuffer9, 8);
NIMB_DEFINE_IID(IID_IDirect3DIndexBuffer9, 9);
NIMB_DEFINE_IID(IID_IDirect3DStateBlock9, 10);
NIMB_DEFINE_IID(IID_IDirect3DVertexDeclaration9, 11);
NIMB_DEFINE_IID(IID_IDirect3DVertexShader9, 12);
NIMB_DEFINE_IID(IID_IDirect3DPixelShader9, 13);
NIMB_DEFINE_IID(IID_IDirect3DSwapChain9, 14);
