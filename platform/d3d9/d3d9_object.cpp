// The Direct3D object: adapter queries, format checks and device creation.
#include "d3d9_device.h"

#include "windows/sdl_window.h"

#include <SDL.h>
#include <malloc.h>

#include <cstdio>
#include <cstring>

namespace d3d9gl {

namespace {
std::map<HWND, SDL_Window*>& TestWindows()
{
    static std::map<HWND, SDL_Window*> windows;
    return windows;
}

bool CheckAdapter(UINT adapter, D3DDEVTYPE type) { return adapter == 0 && (type == D3DDEVTYPE_HAL || type == D3DDEVTYPE_REF); }

// Back-buffer formats a display format can present.
bool BackBufferMatches(D3DFORMAT display, D3DFORMAT bb)
{
    switch (display) {
    case D3DFMT_X8R8G8B8: return bb == D3DFMT_X8R8G8B8 || bb == D3DFMT_A8R8G8B8;
    case D3DFMT_R5G6B5: return bb == D3DFMT_R5G6B5;
    case D3DFMT_X1R5G5B5: return bb == D3DFMT_X1R5G5B5 || bb == D3DFMT_A1R5G5B5;
    case D3DFMT_A2R10G10B10: return bb == D3DFMT_A2R10G10B10;
    default: return false;
    }
}

// The software rasteriser takes its binning memory anew for every frame and
// frees it when the frame is drawn. Left to the allocator's own policy the
// top of the heap goes back to the system each time and the next frame
// faults it in page by page; the device keeps up to 64 MiB of it instead,
// and takes blocks below 32 MiB from the heap.
void KeepFreedHeapForFrames()
{
    static bool kept = false;
    if (kept)
        return;
    kept = true;
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
}
} // namespace

void SetWindowForHandle(HWND hwnd, SDL_Window* window)
{
    if (window) TestWindows()[hwnd] = window;
    else TestWindows().erase(hwnd);
}

SDL_Window* WindowForHandle(HWND hwnd)
{
    auto it = TestWindows().find(hwnd);
    if (it != TestWindows().end()) return it->second;
    return PlatformGLWindow(hwnd);
}

IDirect3D9* CreateDirect3D9() { return new Direct3D9Impl(); }

HRESULT Direct3D9Impl::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3D9) {
        *ppv = this;
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG Direct3D9Impl::Release()
{
    ULONG n = --m_refs;
    if (n == 0) delete this;
    return n;
}

HRESULT Direct3D9Impl::GetAdapterIdentifier(UINT Adapter, DWORD, D3DADAPTER_IDENTIFIER9* id)
{
    if (Adapter != 0 || !id) return D3DERR_INVALIDCALL;
    std::memset(id, 0, sizeof(*id));
    std::snprintf(id->Driver, sizeof(id->Driver), "nimb_d3d9gl");
    std::snprintf(id->Description, sizeof(id->Description), "Direct3D 9 over OpenGL 3.3 core");
    std::snprintf(id->DeviceName, sizeof(id->DeviceName), "\\\\.\\DISPLAY1");
    return S_OK;
}

namespace {
void DesktopMode(D3DDISPLAYMODE* mode)
{
    SDL_DisplayMode dm;
    mode->Width = 1024;
    mode->Height = 768;
    mode->RefreshRate = 60;
    if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetDesktopDisplayMode(0, &dm) == 0) {
        mode->Width = (UINT)dm.w;
        mode->Height = (UINT)dm.h;
        mode->RefreshRate = (UINT)(dm.refresh_rate > 0 ? dm.refresh_rate : 60);
    }
    mode->Format = D3DFMT_X8R8G8B8;
}
} // namespace

UINT Direct3D9Impl::GetAdapterModeCount(UINT Adapter, D3DFORMAT Format)
{
    return (Adapter == 0 && Format == D3DFMT_X8R8G8B8) ? 1 : 0;
}

HRESULT Direct3D9Impl::EnumAdapterModes(UINT Adapter, D3DFORMAT Format, UINT Mode, D3DDISPLAYMODE* pMode)
{
    if (Adapter != 0 || Format != D3DFMT_X8R8G8B8 || Mode != 0 || !pMode) return D3DERR_INVALIDCALL;
    DesktopMode(pMode);
    return S_OK;
}

HRESULT Direct3D9Impl::GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode)
{
    if (Adapter != 0 || !pMode) return D3DERR_INVALIDCALL;
    DesktopMode(pMode);
    return S_OK;
}

HRESULT Direct3D9Impl::CheckDeviceType(UINT Adapter, D3DDEVTYPE DevType, D3DFORMAT AdapterFormat,
                                       D3DFORMAT BackBufferFormat, BOOL bWindowed)
{
    if (!CheckAdapter(Adapter, DevType)) return D3DERR_INVALIDCALL;
    if (!IsDisplayFormat(AdapterFormat)) return D3DERR_NOTAVAILABLE;
    if (bWindowed && BackBufferFormat == D3DFMT_UNKNOWN) return S_OK;
    return BackBufferMatches(AdapterFormat, BackBufferFormat) ? S_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D9Impl::CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, DWORD Usage,
                                         D3DRESOURCETYPE RType, D3DFORMAT CheckFormat)
{
    if (!CheckAdapter(Adapter, DeviceType)) return D3DERR_INVALIDCALL;
    if (!IsDisplayFormat(AdapterFormat)) return D3DERR_NOTAVAILABLE;
    const FormatDesc* f = FindFormat(CheckFormat);
    if (!f) return D3DERR_NOTAVAILABLE;
    if (RType == D3DRTYPE_CUBETEXTURE || RType == D3DRTYPE_VOLUMETEXTURE || RType == D3DRTYPE_VOLUME)
        return D3DERR_NOTAVAILABLE;
    if (Usage & D3DUSAGE_DEPTHSTENCIL) return f->isDepth ? S_OK : D3DERR_NOTAVAILABLE;
    if (f->isDepth) return D3DERR_NOTAVAILABLE;
    if (Usage & D3DUSAGE_RENDERTARGET) {
        if (!IsRenderTargetTextureFormat(CheckFormat)) return D3DERR_NOTAVAILABLE;
    }
    return S_OK;
}

HRESULT Direct3D9Impl::CheckDeviceMultiSampleType(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT, BOOL,
                                                  D3DMULTISAMPLE_TYPE MultiSampleType, DWORD* pQualityLevels)
{
    if (!CheckAdapter(Adapter, DeviceType)) return D3DERR_INVALIDCALL;
    if (pQualityLevels) *pQualityLevels = MultiSampleType == D3DMULTISAMPLE_NONE ? 1 : 0;
    return MultiSampleType == D3DMULTISAMPLE_NONE ? S_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D9Impl::CheckDepthStencilMatch(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
                                              D3DFORMAT RenderTargetFormat, D3DFORMAT DepthStencilFormat)
{
    if (!CheckAdapter(Adapter, DeviceType)) return D3DERR_INVALIDCALL;
    if (!IsDisplayFormat(AdapterFormat) || !IsDepthFormat(DepthStencilFormat)) return D3DERR_NOTAVAILABLE;
    const FormatDesc* f = FindFormat(RenderTargetFormat);
    return (f && !f->isDepth) ? S_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D9Impl::CheckDeviceFormatConversion(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SourceFormat,
                                                   D3DFORMAT TargetFormat)
{
    if (!CheckAdapter(Adapter, DeviceType)) return D3DERR_INVALIDCALL;
    return (SourceFormat == TargetFormat) ? S_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D9Impl::GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS9* pCaps)
{
    if (!CheckAdapter(Adapter, DeviceType) || !pCaps) return D3DERR_INVALIDCALL;
    FillCaps(pCaps);
    pCaps->DeviceType = DeviceType;
    return S_OK;
}

void FillCaps(D3DCAPS9* c)
{
    std::memset(c, 0, sizeof(*c));
    c->DeviceType = D3DDEVTYPE_HAL;
    c->AdapterOrdinal = 0;
    c->Caps2 = D3DCAPS2_CANAUTOGENMIPMAP | D3DCAPS2_DYNAMICTEXTURES | D3DCAPS2_CANMANAGERESOURCE;
    c->Caps3 = D3DCAPS3_COPY_TO_VIDMEM | D3DCAPS3_COPY_TO_SYSTEMMEM;
    c->PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
    c->DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_EXECUTEVIDEOMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                 D3DDEVCAPS_TLVERTEXVIDEOMEMORY | D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY |
                 D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_DRAWPRIMITIVES2 |
                 D3DDEVCAPS_DRAWPRIMITIVES2EX | D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION;
    c->PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                           D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_CLIPTLVERTS | D3DPMISCCAPS_TSSARGTEMP |
                           D3DPMISCCAPS_BLENDOP | D3DPMISCCAPS_PERSTAGECONSTANT | D3DPMISCCAPS_SEPARATEALPHABLEND |
                           D3DPMISCCAPS_FOGANDSPECULARALPHA;
    c->RasterCaps = D3DPRASTERCAPS_DITHER | D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE |
                    D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_FOGRANGE | D3DPRASTERCAPS_WFOG |
                    D3DPRASTERCAPS_ZFOG | D3DPRASTERCAPS_COLORPERSPECTIVE | D3DPRASTERCAPS_SCISSORTEST |
                    D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS | D3DPRASTERCAPS_DEPTHBIAS;
    const DWORD cmp = D3DPCMPCAPS_NEVER | D3DPCMPCAPS_LESS | D3DPCMPCAPS_EQUAL | D3DPCMPCAPS_LESSEQUAL |
                      D3DPCMPCAPS_GREATER | D3DPCMPCAPS_NOTEQUAL | D3DPCMPCAPS_GREATEREQUAL | D3DPCMPCAPS_ALWAYS;
    c->ZCmpCaps = cmp;
    c->AlphaCmpCaps = cmp;
    const DWORD blend = D3DPBLENDCAPS_ZERO | D3DPBLENDCAPS_ONE | D3DPBLENDCAPS_SRCCOLOR | D3DPBLENDCAPS_INVSRCCOLOR |
                        D3DPBLENDCAPS_SRCALPHA | D3DPBLENDCAPS_INVSRCALPHA | D3DPBLENDCAPS_DESTALPHA |
                        D3DPBLENDCAPS_INVDESTALPHA | D3DPBLENDCAPS_DESTCOLOR | D3DPBLENDCAPS_INVDESTCOLOR |
                        D3DPBLENDCAPS_SRCALPHASAT | D3DPBLENDCAPS_BOTHSRCALPHA | D3DPBLENDCAPS_BOTHINVSRCALPHA |
                        D3DPBLENDCAPS_BLENDFACTOR;
    c->SrcBlendCaps = blend;
    c->DestBlendCaps = blend;
    c->ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB |
                   D3DPSHADECAPS_ALPHAGOURAUDBLEND | D3DPSHADECAPS_FOGGOURAUD;
    c->TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_PROJECTED |
                     D3DPTEXTURECAPS_MIPMAP;
    const DWORD filters = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                          D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    c->TextureFilterCaps = filters;
    c->TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                            D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV;
    c->LineCaps = D3DLINECAPS_TEXTURE | D3DLINECAPS_ZTEST | D3DLINECAPS_BLEND | D3DLINECAPS_ALPHACMP |
                  D3DLINECAPS_FOG;
    c->MaxTextureWidth = 4096;
    c->MaxTextureHeight = 4096;
    c->MaxTextureRepeat = 8192;
    c->MaxTextureAspectRatio = 4096;
    c->MaxAnisotropy = 1;
    c->MaxVertexW = 1e10f;
    c->GuardBandLeft = -32768.0f;
    c->GuardBandTop = -32768.0f;
    c->GuardBandRight = 32768.0f;
    c->GuardBandBottom = 32768.0f;
    c->StencilCaps = D3DSTENCILCAPS_KEEP | D3DSTENCILCAPS_ZERO | D3DSTENCILCAPS_REPLACE | D3DSTENCILCAPS_INCRSAT |
                     D3DSTENCILCAPS_DECRSAT | D3DSTENCILCAPS_INVERT | D3DSTENCILCAPS_INCR | D3DSTENCILCAPS_DECR |
                     D3DSTENCILCAPS_TWOSIDED;
    c->FVFCaps = 8 | D3DFVFCAPS_PSIZE;
    c->TextureOpCaps = D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 |
                       D3DTEXOPCAPS_MODULATE | D3DTEXOPCAPS_MODULATE2X | D3DTEXOPCAPS_MODULATE4X | D3DTEXOPCAPS_ADD |
                       D3DTEXOPCAPS_ADDSIGNED | D3DTEXOPCAPS_ADDSIGNED2X | D3DTEXOPCAPS_SUBTRACT |
                       D3DTEXOPCAPS_ADDSMOOTH | D3DTEXOPCAPS_BLENDDIFFUSEALPHA | D3DTEXOPCAPS_BLENDTEXTUREALPHA |
                       D3DTEXOPCAPS_BLENDFACTORALPHA | D3DTEXOPCAPS_BLENDTEXTUREALPHAPM |
                       D3DTEXOPCAPS_BLENDCURRENTALPHA | D3DTEXOPCAPS_MODULATEALPHA_ADDCOLOR |
                       D3DTEXOPCAPS_MODULATECOLOR_ADDALPHA | D3DTEXOPCAPS_MODULATEINVALPHA_ADDCOLOR |
                       D3DTEXOPCAPS_MODULATEINVCOLOR_ADDALPHA | D3DTEXOPCAPS_DOTPRODUCT3 |
                       D3DTEXOPCAPS_MULTIPLYADD | D3DTEXOPCAPS_LERP;
    c->MaxTextureBlendStages = 8;
    c->MaxSimultaneousTextures = 8;
    c->VertexProcessingCaps = D3DVTXPCAPS_TEXGEN | D3DVTXPCAPS_MATERIALSOURCE7 | D3DVTXPCAPS_DIRECTIONALLIGHTS |
                              D3DVTXPCAPS_POSITIONALLIGHTS | D3DVTXPCAPS_LOCALVIEWER;
    c->MaxActiveLights = 8;
    c->MaxUserClipPlanes = 0;
    c->MaxVertexBlendMatrices = 4;
    c->MaxVertexBlendMatrixIndex = kMaxBlendIndex;
    c->MaxPointSize = 256.0f;
    c->MaxPrimitiveCount = 0xFFFFF;
    c->MaxVertexIndex = 0xFFFFFF;
    c->MaxStreams = kMaxStreams;
    c->MaxStreamStride = 255;
    c->VertexShaderVersion = D3DVS_VERSION(2, 0);
    c->MaxVertexShaderConst = kMaxVSConstF;
    c->PixelShaderVersion = D3DPS_VERSION(2, 0);
    c->PixelShader1xMaxValue = 8.0f;
    c->DevCaps2 = D3DDEVCAPS2_STREAMOFFSET | D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES;
    c->MasterAdapterOrdinal = 0;
    c->AdapterOrdinalInGroup = 0;
    c->NumberOfAdaptersInGroup = 1;
    c->DeclTypes = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N |
                   D3DDTCAPS_USHORT2N | D3DDTCAPS_USHORT4N | D3DDTCAPS_FLOAT16_2 | D3DDTCAPS_FLOAT16_4;
    c->NumSimultaneousRTs = 1;
    c->StretchRectFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                               D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    c->VS20Caps.NumTemps = 12;
    c->VS20Caps.StaticFlowControlDepth = 1;
    c->PS20Caps.NumTemps = 12;
    c->PS20Caps.NumInstructionSlots = 512;
    c->MaxVShaderInstructionsExecuted = 65535;
    c->MaxPShaderInstructionsExecuted = 65535;
}

// Checks presentation parameters and fills in what a windowed swap chain
// takes from its window.
HRESULT CompletePresentParameters(SDL_Window* window, D3DPRESENT_PARAMETERS& params)
{
    if (params.BackBufferCount == 0) params.BackBufferCount = 1;
    if (params.BackBufferCount > D3DPRESENT_BACK_BUFFERS_MAX) return D3DERR_INVALIDCALL;
    if (params.MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
    if (params.Windowed) {
        if (params.BackBufferFormat == D3DFMT_UNKNOWN) params.BackBufferFormat = D3DFMT_X8R8G8B8;
        int w = 0, h = 0;
        SDL_GetWindowSize(window, &w, &h);
        if (params.BackBufferWidth == 0) params.BackBufferWidth = (UINT)(w > 0 ? w : 1);
        if (params.BackBufferHeight == 0) params.BackBufferHeight = (UINT)(h > 0 ? h : 1);
    } else if (!IsDisplayFormat(params.BackBufferFormat) && params.BackBufferFormat != D3DFMT_A8R8G8B8 &&
               params.BackBufferFormat != D3DFMT_A1R5G5B5) {
        return D3DERR_INVALIDCALL;
    }
    if (params.BackBufferWidth == 0 || params.BackBufferHeight == 0) return D3DERR_INVALIDCALL;
    const FormatDesc* bbf = FindFormat(params.BackBufferFormat);
    if (!bbf || bbf->isDepth || bbf->block) return D3DERR_INVALIDCALL;
    if (params.EnableAutoDepthStencil && !IsDepthFormat(params.AutoDepthStencilFormat)) return D3DERR_INVALIDCALL;
    return S_OK;
}

HRESULT Direct3D9Impl::CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                                    D3DPRESENT_PARAMETERS* pp, IDirect3DDevice9** ppDevice)
{
    if (ppDevice) *ppDevice = nullptr;
    if (!CheckAdapter(Adapter, DeviceType) || !pp || !ppDevice) return D3DERR_INVALIDCALL;
    const DWORD vp = BehaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                      D3DCREATE_MIXED_VERTEXPROCESSING);
    if (vp != D3DCREATE_SOFTWARE_VERTEXPROCESSING && vp != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        vp != D3DCREATE_MIXED_VERTEXPROCESSING)
        return D3DERR_INVALIDCALL;
    HWND hwnd = pp->hDeviceWindow ? pp->hDeviceWindow : hFocusWindow;
    SDL_Window* window = WindowForHandle(hwnd);
    if (!window) return D3DERR_INVALIDCALL;

    D3DPRESENT_PARAMETERS params = *pp;
    if (HRESULT hr = CompletePresentParameters(window, params); FAILED(hr)) return hr;

    KeepFreedHeapForFrames();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        std::fprintf(stderr, "d3d9: no OpenGL 3.3 core context: %s\n", SDL_GetError());
        return D3DERR_NOTAVAILABLE;
    }
    SDL_GL_MakeCurrent(window, context);
    if (!gl.Load()) {
        SDL_GL_DeleteContext(context);
        return D3DERR_NOTAVAILABLE;
    }
    SDL_GL_SetSwapInterval(params.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);

    D3DDEVICE_CREATION_PARAMETERS cp;
    cp.AdapterOrdinal = Adapter;
    cp.DeviceType = DeviceType;
    cp.hFocusWindow = hFocusWindow;
    cp.BehaviorFlags = BehaviorFlags;
    Device* device = new Device(this, window, context, params, cp);
    if (!device->Init()) {
        device->Release();
        return D3DERR_NOTAVAILABLE;
    }
    *ppDevice = device;
    return S_OK;
}

} // namespace d3d9gl
