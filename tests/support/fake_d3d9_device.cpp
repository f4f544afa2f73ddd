// Recording fake of the Direct3D 9 interfaces: the Direct3D object, the
// device and state blocks.
#include "fake_d3d9.h"

#include "d3d9/d3d9_helpers.h"
#include "d3d9/d3d9_state_defaults.h"
#include "d3d9/d3d9_validate.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

bool FakeCopyRect(const FakeImage& s, const RECT& sr, FakeImage& d, const RECT& dr);

namespace {

uint64_t P(const void* p)
{
    return (uint64_t)(uintptr_t)p;
}

uint64_t F(float f)
{
    return d3d9gl::FloatDword(f);
}

D3DMATRIX Identity()
{
    D3DMATRIX m;
    std::memset(&m, 0, sizeof m);
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// Keeps an object alive while a holder (device or state block) points at it.
void BindPtr(IUnknown* p)
{
    if (auto* o = dynamic_cast<FakeObjectBase*>(p))
        o->Bind();
}

void UnbindPtr(IUnknown* p)
{
    if (auto* o = dynamic_cast<FakeObjectBase*>(p))
        o->Unbind();
}

template <class T>
void Rebind(T*& slot, T* value)
{
    if (slot == value)
        return;
    BindPtr(value);
    T* old = slot;
    slot = value;
    UnbindPtr(old);
}

void UnbindAll(FakeStates& s)
{
    for (auto& t : s.textures)
        Rebind<IDirect3DBaseTexture9>(t, nullptr);
    for (auto& st : s.streams)
        Rebind<IDirect3DVertexBuffer9>(st.buffer, nullptr);
    Rebind<IDirect3DIndexBuffer9>(s.indices, nullptr);
    Rebind<IDirect3DVertexDeclaration9>(s.declaration, nullptr);
    Rebind<IDirect3DVertexShader9>(s.vertexShader, nullptr);
    Rebind<IDirect3DPixelShader9>(s.pixelShader, nullptr);
}

// Copies the states of `mask` from one holder to another.
void CopyMasked(const FakeStateMask& m, const FakeStates& from, FakeStates& to)
{
    for (size_t i = 0; i < m.rs.size(); ++i)
        if (m.rs[i])
            to.rs[i] = from.rs[i];
    for (size_t s = 0; s < m.tss.size(); ++s)
        for (size_t i = 0; i < m.tss[s].size(); ++i)
            if (m.tss[s][i])
                to.tss[s][i] = from.tss[s][i];
    for (size_t s = 0; s < m.samp.size(); ++s)
        for (size_t i = 0; i < m.samp[s].size(); ++i)
            if (m.samp[s][i])
                to.samp[s][i] = from.samp[s][i];
    for (size_t i = 0; i < m.textures.size(); ++i)
        if (m.textures[i])
            Rebind(to.textures[i], from.textures[i]);
    for (size_t i = 0; i < m.transforms.size(); ++i)
        if (m.transforms[i])
            to.transforms[i] = from.transforms[i];
    for (DWORD l : m.lights) {
        auto it = from.lights.find(l);
        if (it != from.lights.end())
            to.lights[l] = it->second;
    }
    if (m.material)
        to.material = from.material;
    if (m.viewport)
        to.viewport = from.viewport;
    if (m.scissor)
        to.scissor = from.scissor;
    for (size_t i = 0; i < m.clipPlanes.size(); ++i)
        if (m.clipPlanes[i])
            to.clipPlanes[i] = from.clipPlanes[i];
    for (size_t i = 0; i < m.streams.size(); ++i) {
        if (m.streams[i]) {
            Rebind(to.streams[i].buffer, from.streams[i].buffer);
            to.streams[i].offset = from.streams[i].offset;
            to.streams[i].stride = from.streams[i].stride;
        }
        if (m.streamFrequencies[i])
            to.streams[i].frequency = from.streams[i].frequency;
    }
    if (m.indices)
        Rebind(to.indices, from.indices);
    if (m.fvf)
        to.fvf = from.fvf;
    if (m.declaration)
        Rebind(to.declaration, from.declaration);
    if (m.vertexShader)
        Rebind(to.vertexShader, from.vertexShader);
    if (m.pixelShader)
        Rebind(to.pixelShader, from.pixelShader);
    for (size_t i = 0; i < m.vsF.size(); ++i)
        if (m.vsF[i])
            to.vsF[i] = from.vsF[i];
    for (size_t i = 0; i < m.vsI.size(); ++i)
        if (m.vsI[i])
            to.vsI[i] = from.vsI[i];
    for (size_t i = 0; i < m.vsB.size(); ++i)
        if (m.vsB[i])
            to.vsB[i] = from.vsB[i];
    for (size_t i = 0; i < m.psF.size(); ++i)
        if (m.psF[i])
            to.psF[i] = from.psF[i];
    for (size_t i = 0; i < m.psI.size(); ++i)
        if (m.psI[i])
            to.psI[i] = from.psI[i];
    for (size_t i = 0; i < m.psB.size(); ++i)
        if (m.psB[i])
            to.psB[i] = from.psB[i];
    if (m.nPatchMode)
        to.nPatchMode = from.nPatchMode;
}

const D3DRENDERSTATETYPE kPixelRenderStates[] = {
    D3DRS_ZENABLE, D3DRS_FILLMODE, D3DRS_SHADEMODE, D3DRS_ZWRITEENABLE, D3DRS_ALPHATESTENABLE,
    D3DRS_LASTPIXEL, D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_ZFUNC, D3DRS_ALPHAREF, D3DRS_ALPHAFUNC,
    D3DRS_DITHERENABLE, D3DRS_FOGSTART, D3DRS_FOGEND, D3DRS_FOGDENSITY, D3DRS_ALPHABLENDENABLE,
    D3DRS_DEPTHBIAS, D3DRS_STENCILENABLE, D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS,
    D3DRS_STENCILFUNC, D3DRS_STENCILREF, D3DRS_STENCILMASK, D3DRS_STENCILWRITEMASK, D3DRS_TEXTUREFACTOR,
    D3DRS_WRAP0, D3DRS_WRAP1, D3DRS_WRAP2, D3DRS_WRAP3, D3DRS_WRAP4, D3DRS_WRAP5, D3DRS_WRAP6, D3DRS_WRAP7,
    D3DRS_WRAP8, D3DRS_WRAP9, D3DRS_WRAP10, D3DRS_WRAP11, D3DRS_WRAP12, D3DRS_WRAP13, D3DRS_WRAP14,
    D3DRS_WRAP15, D3DRS_COLORWRITEENABLE, D3DRS_BLENDOP, D3DRS_SCISSORTESTENABLE, D3DRS_SLOPESCALEDEPTHBIAS,
    D3DRS_ANTIALIASEDLINEENABLE, D3DRS_TWOSIDEDSTENCILMODE, D3DRS_CCW_STENCILFAIL, D3DRS_CCW_STENCILZFAIL,
    D3DRS_CCW_STENCILPASS, D3DRS_CCW_STENCILFUNC, D3DRS_COLORWRITEENABLE1, D3DRS_COLORWRITEENABLE2,
    D3DRS_COLORWRITEENABLE3, D3DRS_BLENDFACTOR, D3DRS_SRGBWRITEENABLE, D3DRS_SEPARATEALPHABLENDENABLE,
    D3DRS_SRCBLENDALPHA, D3DRS_DESTBLENDALPHA, D3DRS_BLENDOPALPHA,
};

const D3DRENDERSTATETYPE kVertexRenderStates[] = {
    D3DRS_CULLMODE, D3DRS_FOGENABLE, D3DRS_FOGCOLOR, D3DRS_FOGTABLEMODE, D3DRS_FOGSTART, D3DRS_FOGEND,
    D3DRS_FOGDENSITY, D3DRS_RANGEFOGENABLE, D3DRS_AMBIENT, D3DRS_COLORVERTEX, D3DRS_FOGVERTEXMODE,
    D3DRS_CLIPPING, D3DRS_LIGHTING, D3DRS_LOCALVIEWER, D3DRS_EMISSIVEMATERIALSOURCE,
    D3DRS_AMBIENTMATERIALSOURCE, D3DRS_DIFFUSEMATERIALSOURCE, D3DRS_SPECULARMATERIALSOURCE, D3DRS_VERTEXBLEND,
    D3DRS_CLIPPLANEENABLE, D3DRS_POINTSIZE, D3DRS_POINTSIZE_MIN, D3DRS_POINTSPRITEENABLE,
    D3DRS_POINTSCALEENABLE, D3DRS_POINTSCALE_A, D3DRS_POINTSCALE_B, D3DRS_POINTSCALE_C,
    D3DRS_MULTISAMPLEANTIALIAS, D3DRS_MULTISAMPLEMASK, D3DRS_PATCHEDGESTYLE, D3DRS_POINTSIZE_MAX,
    D3DRS_INDEXEDVERTEXBLENDENABLE, D3DRS_TWEENFACTOR, D3DRS_POSITIONDEGREE, D3DRS_NORMALDEGREE,
    D3DRS_MINTESSELLATIONLEVEL, D3DRS_MAXTESSELLATIONLEVEL, D3DRS_ADAPTIVETESS_X, D3DRS_ADAPTIVETESS_Y,
    D3DRS_ADAPTIVETESS_Z, D3DRS_ADAPTIVETESS_W, D3DRS_ENABLEADAPTIVETESSELLATION, D3DRS_NORMALIZENORMALS,
    D3DRS_SPECULARENABLE, D3DRS_SHADEMODE,
};

bool IsRenderState(DWORD s)
{
    for (D3DRENDERSTATETYPE p : kPixelRenderStates)
        if ((DWORD)p == s)
            return true;
    for (D3DRENDERSTATETYPE v : kVertexRenderStates)
        if ((DWORD)v == s)
            return true;
    return s == D3DRS_DEBUGMONITORTOKEN;
}

bool IsStageState(DWORD t)
{
    return (t >= D3DTSS_COLOROP && t <= D3DTSS_TEXCOORDINDEX) || t == D3DTSS_BUMPENVLSCALE ||
           t == D3DTSS_BUMPENVLOFFSET || t == D3DTSS_TEXTURETRANSFORMFLAGS || t == D3DTSS_COLORARG0 ||
           t == D3DTSS_ALPHAARG0 || t == D3DTSS_RESULTARG || t == D3DTSS_CONSTANT;
}

int TransformIndex(DWORD t)
{
    if (t == D3DTS_VIEW || t == D3DTS_PROJECTION || (t >= D3DTS_TEXTURE0 && t <= D3DTS_TEXTURE7))
        return (int)t;
    if (t >= 256 && t < 512)
        return (int)t;
    return -1;
}

void MaskForType(FakeStateMask& m, D3DSTATEBLOCKTYPE type, const FakeStates& device)
{
    const bool all = type == D3DSBT_ALL;
    const bool pixel = all || type == D3DSBT_PIXELSTATE;
    const bool vertex = all || type == D3DSBT_VERTEXSTATE;
    if (pixel)
        for (D3DRENDERSTATETYPE s : kPixelRenderStates)
            m.rs[s] = true;
    if (vertex)
        for (D3DRENDERSTATETYPE s : kVertexRenderStates)
            m.rs[s] = true;
    for (auto& stage : m.tss)
        for (DWORD t = 0; t < stage.size(); ++t) {
            if (!IsStageState(t))
                continue;
            bool isVertex = t == D3DTSS_TEXCOORDINDEX || t == D3DTSS_TEXTURETRANSFORMFLAGS;
            stage[t] = isVertex ? vertex : pixel;
        }
    for (auto& samp : m.samp)
        for (DWORD t = 1; t < samp.size(); ++t)
            samp[t] = t == D3DSAMP_DMAPOFFSET ? vertex : pixel;
    if (vertex) {
        for (const auto& l : device.lights)
            m.lights.insert(l.first);
        m.vertexShader = true;
        m.vsF.fill(true);
        m.vsI.fill(true);
        m.vsB.fill(true);
        m.fvf = m.declaration = true;
        m.streamFrequencies.fill(true);
        m.nPatchMode = true;
    }
    if (pixel) {
        m.pixelShader = true;
        m.psF.fill(true);
        m.psI.fill(true);
        m.psB.fill(true);
    }
    if (all) {
        m.textures.fill(true);
        for (size_t i = 0; i < m.transforms.size(); ++i)
            m.transforms[i] = TransformIndex((DWORD)i) >= 0;
        m.material = m.viewport = m.scissor = true;
        m.clipPlanes.fill(true);
        m.streams.fill(true);
        m.indices = true;
    }
}

using d3d9gl::VertexCount;

// A colour in the memory layout of a render-target format; bytes written, 0 if unsupported.
UINT PackColor(D3DFORMAT fmt, D3DCOLOR c, BYTE* out)
{
    DWORD a = c >> 24, r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    DWORD v;
    UINT n;
    switch (fmt) {
    case D3DFMT_A8R8G8B8: v = c; n = 4; break;
    case D3DFMT_X8R8G8B8: v = c | 0xFF000000u; n = 4; break;
    case D3DFMT_A8B8G8R8: v = (a << 24) | (b << 16) | (g << 8) | r; n = 4; break;
    case D3DFMT_X8B8G8R8: v = 0xFF000000u | (b << 16) | (g << 8) | r; n = 4; break;
    case D3DFMT_R5G6B5: v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3); n = 2; break;
    case D3DFMT_X1R5G5B5: v = 0x8000 | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3); n = 2; break;
    case D3DFMT_A1R5G5B5: v = ((a >> 7) << 15) | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3); n = 2; break;
    case D3DFMT_A4R4G4B4: v = ((a >> 4) << 12) | ((r >> 4) << 8) | ((g >> 4) << 4) | (b >> 4); n = 2; break;
    default: return 0;
    }
    std::memcpy(out, &v, n); // little-endian, as on Direct3D's targets
    return n;
}

void FillImage(FakeImage& img, RECT r, D3DCOLOR color)
{
    BYTE px[4];
    UINT n = PackColor(img.format, color, px);
    if (!n)
        return;
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, (LONG)img.width);
    r.bottom = std::min<LONG>(r.bottom, (LONG)img.height);
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x)
            std::memcpy(&img.bits[(size_t)y * img.pitch + (size_t)x * n], px, n);
}

D3DFORMAT AlphaVariant(D3DFORMAT f)
{
    switch (f) {
    case D3DFMT_X8R8G8B8: return D3DFMT_A8R8G8B8;
    case D3DFMT_X1R5G5B5: return D3DFMT_A1R5G5B5;
    default: return f;
    }
}

// A format a texture or a plain surface can have (before the scripted refusals).
bool IsPixelFormat(D3DFORMAT f)
{
    return FakeFormatBytes(f) != 0 && !FakeIsDepthFormat(f) && f != D3DFMT_INDEX16 && f != D3DFMT_INDEX32;
}

FakeSurface* SurfaceOf(IDirect3DSurface9* s)
{
    return dynamic_cast<FakeSurface*>(s);
}

} // namespace

int FakeSamplerIndex(DWORD sampler)
{
    if (sampler < D3D_MAX_SAMPLERS)
        return (int)sampler;
    if (sampler >= D3DDMAPSAMPLER && sampler <= D3DVERTEXTEXTURESAMPLER3)
        return (int)(D3D_MAX_SAMPLERS + sampler - D3DDMAPSAMPLER);
    return -1;
}

// ---- FakeDirect3D9 -----------------------------------------------------------------

FakeDirect3D9::FakeDirect3D9(FakeD3D9* env) : FakeObjectBase(env, "Direct3D") {}

FakeDirect3D9::~FakeDirect3D9()
{
    env_->Forget(this);
}

HRESULT FakeDirect3D9::QueryInterface(REFIID riid, void** pp)
{
    if (!pp)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3D9) {
        *pp = static_cast<IDirect3D9*>(this);
        AddRef();
        return S_OK;
    }
    *pp = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeDirect3D9::RegisterSoftwareDevice(void*)
{
    FAKE_CALL(c, "RegisterSoftwareDevice", {});
    return env_->End(c, D3DERR_NOTAVAILABLE);
}

UINT FakeDirect3D9::GetAdapterCount()
{
    env_->Begin("GetAdapterCount", {});
    return 1;
}

HRESULT FakeDirect3D9::GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* id)
{
    FAKE_CALL(c, "GetAdapterIdentifier", {{"Adapter", adapter}, {"Flags", flags}});
    if (adapter != 0 || !id)
        return env_->End(c, D3DERR_INVALIDCALL);
    std::memset(id, 0, sizeof *id);
    std::snprintf(id->Driver, sizeof id->Driver, "fake");
    std::snprintf(id->Description, sizeof id->Description, "Recording fake adapter");
    std::snprintf(id->DeviceName, sizeof id->DeviceName, "\\\\.\\DISPLAY1");
    return D3D_OK;
}

UINT FakeDirect3D9::GetAdapterModeCount(UINT adapter, D3DFORMAT fmt)
{
    env_->Begin("GetAdapterModeCount", {{"Adapter", adapter}, {"Format", (uint64_t)fmt}});
    return adapter == 0 && env_->displayFormats.count(fmt) ? 1 : 0;
}

HRESULT FakeDirect3D9::EnumAdapterModes(UINT adapter, D3DFORMAT fmt, UINT mode, D3DDISPLAYMODE* out)
{
    FAKE_CALL(c, "EnumAdapterModes", {{"Adapter", adapter}, {"Format", (uint64_t)fmt}, {"Mode", mode}});
    if (adapter != 0 || !out || mode != 0 || !env_->displayFormats.count(fmt))
        return env_->End(c, D3DERR_INVALIDCALL);
    *out = env_->displayMode;
    out->Format = fmt;
    return D3D_OK;
}

HRESULT FakeDirect3D9::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* out)
{
    FAKE_CALL(c, "GetAdapterDisplayMode", {{"Adapter", adapter}});
    if (adapter != 0 || !out)
        return env_->End(c, D3DERR_INVALIDCALL);
    *out = env_->displayMode;
    return D3D_OK;
}

HRESULT FakeDirect3D9::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFmt, D3DFORMAT bbFmt,
                                       BOOL windowed)
{
    FAKE_CALL(c, "CheckDeviceType", {{"Adapter", adapter},
                                     {"DevType", (uint64_t)type},
                                     {"AdapterFormat", (uint64_t)adapterFmt},
                                     {"BackBufferFormat", (uint64_t)bbFmt},
                                     {"Windowed", (uint64_t)windowed}});
    if (adapter != 0)
        return env_->End(c, D3DERR_INVALIDCALL);
    if (type != D3DDEVTYPE_HAL)
        return env_->End(c, D3DERR_NOTAVAILABLE);
    if (!env_->displayFormats.count(adapterFmt))
        return env_->End(c, D3DERR_NOTAVAILABLE);
    if (bbFmt != adapterFmt && bbFmt != AlphaVariant(adapterFmt) && !(windowed && bbFmt == D3DFMT_UNKNOWN))
        return env_->End(c, D3DERR_NOTAVAILABLE);
    return D3D_OK;
}

HRESULT FakeDirect3D9::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFmt, DWORD usage,
                                         D3DRESOURCETYPE rtype, D3DFORMAT fmt)
{
    FAKE_CALL(c, "CheckDeviceFormat", {{"Adapter", adapter},
                                       {"DeviceType", (uint64_t)type},
                                       {"AdapterFormat", (uint64_t)adapterFmt},
                                       {"Usage", usage},
                                       {"RType", (uint64_t)rtype},
                                       {"CheckFormat", (uint64_t)fmt}});
    if (adapter != 0)
        return env_->End(c, D3DERR_INVALIDCALL);
    if (usage & D3DUSAGE_DEPTHSTENCIL)
        return env_->End(c, env_->depthFormats.count(fmt) ? D3D_OK : D3DERR_NOTAVAILABLE);
    if (!IsPixelFormat(fmt) || env_->refusedTextureFormats.count(fmt))
        return env_->End(c, D3DERR_NOTAVAILABLE);
    if ((usage & D3DUSAGE_RENDERTARGET) && !env_->renderTargetFormats.count(fmt))
        return env_->End(c, D3DERR_NOTAVAILABLE);
    return D3D_OK;
}

HRESULT FakeDirect3D9::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT fmt, BOOL windowed,
                                                  D3DMULTISAMPLE_TYPE ms, DWORD* quality)
{
    FAKE_CALL(c, "CheckDeviceMultiSampleType", {{"Adapter", adapter},
                                                {"DeviceType", (uint64_t)type},
                                                {"SurfaceFormat", (uint64_t)fmt},
                                                {"Windowed", (uint64_t)windowed},
                                                {"MultiSampleType", (uint64_t)ms}});
    if (quality)
        *quality = ms == D3DMULTISAMPLE_NONE ? 1 : 0;
    return env_->End(c, ms == D3DMULTISAMPLE_NONE ? D3D_OK : D3DERR_NOTAVAILABLE);
}

HRESULT FakeDirect3D9::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFmt,
                                              D3DFORMAT rtFmt, D3DFORMAT dsFmt)
{
    FAKE_CALL(c, "CheckDepthStencilMatch", {{"Adapter", adapter},
                                            {"DeviceType", (uint64_t)type},
                                            {"AdapterFormat", (uint64_t)adapterFmt},
                                            {"RenderTargetFormat", (uint64_t)rtFmt},
                                            {"DepthStencilFormat", (uint64_t)dsFmt}});
    return env_->End(c, env_->depthFormats.count(dsFmt) ? D3D_OK : D3DERR_NOTAVAILABLE);
}

HRESULT FakeDirect3D9::CheckDeviceFormatConversion(UINT adapter, D3DDEVTYPE type, D3DFORMAT src, D3DFORMAT dst)
{
    FakeCall& c = env_->Begin("CheckDeviceFormatConversion", {{"Adapter", adapter},
                                                              {"DeviceType", (uint64_t)type},
                                                              {"SourceFormat", (uint64_t)src},
                                                              {"TargetFormat", (uint64_t)dst}});
    return c.result;
}

HRESULT FakeDirect3D9::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps)
{
    FAKE_CALL(c, "GetDeviceCaps", {{"Adapter", adapter}, {"DeviceType", (uint64_t)type}});
    if (adapter != 0 || !caps)
        return env_->End(c, D3DERR_INVALIDCALL);
    *caps = env_->Caps();
    caps->DeviceType = type;
    return D3D_OK;
}

HMONITOR FakeDirect3D9::GetAdapterMonitor(UINT adapter)
{
    env_->Begin("GetAdapterMonitor", {{"Adapter", adapter}});
    return nullptr;
}

HRESULT FakeDirect3D9::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior,
                                    D3DPRESENT_PARAMETERS* pp, IDirect3DDevice9** out)
{
    D3DPRESENT_PARAMETERS none{};
    const D3DPRESENT_PARAMETERS& in = pp ? *pp : none;
    if (out)
        *out = nullptr;
    FAKE_CALL(c, "CreateDevice", {{"Adapter", adapter},
                                  {"DeviceType", (uint64_t)type},
                                  {"hFocusWindow", P(focus)},
                                  {"BehaviorFlags", behavior},
                                  {"Windowed", (uint64_t)in.Windowed},
                                  {"BackBufferWidth", in.BackBufferWidth},
                                  {"BackBufferHeight", in.BackBufferHeight},
                                  {"BackBufferFormat", (uint64_t)in.BackBufferFormat},
                                  {"BackBufferCount", in.BackBufferCount},
                                  {"EnableAutoDepthStencil", (uint64_t)in.EnableAutoDepthStencil},
                                  {"AutoDepthStencilFormat", (uint64_t)in.AutoDepthStencilFormat},
                                  {"SwapEffect", (uint64_t)in.SwapEffect},
                                  {"Flags", in.Flags},
                                  {"PresentationInterval", in.PresentationInterval}});
    if (!out || !pp || adapter != 0)
        return env_->End(c, D3DERR_INVALIDCALL);
    const DWORD vp = behavior & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                 D3DCREATE_MIXED_VERTEXPROCESSING);
    if (vp != D3DCREATE_SOFTWARE_VERTEXPROCESSING && vp != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        vp != D3DCREATE_MIXED_VERTEXPROCESSING)
        return env_->End(c, D3DERR_INVALIDCALL);
    if (type != D3DDEVTYPE_HAL || !(env_->vertexProcessing & vp))
        return env_->End(c, D3DERR_NOTAVAILABLE);
    if (!focus && !pp->hDeviceWindow)
        return env_->End(c, D3DERR_INVALIDCALL);
    if (pp->BackBufferCount > D3DPRESENT_BACK_BUFFERS_MAX || pp->SwapEffect < D3DSWAPEFFECT_DISCARD ||
        pp->SwapEffect > D3DSWAPEFFECT_COPY)
        return env_->End(c, D3DERR_INVALIDCALL);
    D3DPRESENT_PARAMETERS p = *pp;
    if (p.Windowed) {
        if (p.BackBufferFormat == D3DFMT_UNKNOWN)
            p.BackBufferFormat = env_->displayMode.Format;
        // A zero size takes the client area of the device window, when it is a real one.
        UINT w = env_->clientWidth, h = env_->clientHeight;
        HWND wnd = p.hDeviceWindow ? p.hDeviceWindow : focus;
        RECT rc;
        if (IsWindow(wnd) && GetClientRect(wnd, &rc) && rc.right > rc.left && rc.bottom > rc.top) {
            w = (UINT)(rc.right - rc.left);
            h = (UINT)(rc.bottom - rc.top);
        }
        if (p.BackBufferWidth == 0)
            p.BackBufferWidth = w;
        if (p.BackBufferHeight == 0)
            p.BackBufferHeight = h;
    } else {
        if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0 || p.BackBufferFormat == D3DFMT_UNKNOWN)
            return env_->End(c, D3DERR_INVALIDCALL);
        D3DFORMAT display = p.BackBufferFormat == D3DFMT_A8R8G8B8   ? D3DFMT_X8R8G8B8
                            : p.BackBufferFormat == D3DFMT_A1R5G5B5 ? D3DFMT_X1R5G5B5
                                                                    : p.BackBufferFormat;
        if (!env_->displayFormats.count(display))
            return env_->End(c, D3DERR_NOTAVAILABLE);
    }
    if (FakeFormatBytes(p.BackBufferFormat) == 0)
        return env_->End(c, D3DERR_INVALIDCALL);
    if (p.EnableAutoDepthStencil && !env_->depthFormats.count(p.AutoDepthStencilFormat))
        return env_->End(c, D3DERR_NOTAVAILABLE);
    if (p.BackBufferCount == 0)
        p.BackBufferCount = 1;
    *pp = p;
    FakeDevice* dev = new FakeDevice(this, adapter, type, focus, behavior, p);
    env_->SetLastDevice(dev);
    *out = dev;
    return D3D_OK;
}

// ---- FakeStateBlock ---------------------------------------------------------------------

FakeStateBlock::FakeStateBlock(FakeDevice* device, D3DSTATEBLOCKTYPE type)
    : FakeObjectBase(device->Env(), "state block"), device_(device), type_(type)
{
    MaskForType(mask_, type, device->States());
    CopyMasked(mask_, device->States(), values_);
    device_->ResourceCreated();
}

FakeStateBlock::FakeStateBlock(FakeDevice* device)
    : FakeObjectBase(device->Env(), "state block"), device_(device), recorded_(true)
{
    // The device reference is taken when recording ends.
}

FakeStateBlock::~FakeStateBlock()
{
    UnbindAll(values_);
}

void FakeStateBlock::OnFinalRelease()
{
    UnbindAll(values_);
    device_->ResourceReleased();
}

HRESULT FakeStateBlock::QueryInterface(REFIID riid, void** pp)
{
    if (!pp)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DStateBlock9) {
        *pp = static_cast<IDirect3DStateBlock9*>(this);
        AddRef();
        return S_OK;
    }
    *pp = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeStateBlock::GetDevice(IDirect3DDevice9** pp)
{
    if (!pp)
        return D3DERR_INVALIDCALL;
    *pp = device_;
    device_->AddRef();
    return D3D_OK;
}

HRESULT FakeStateBlock::Capture()
{
    FAKE_CALL(c, "StateBlock::Capture", {{"StateBlock", P(this)}});
    if (device_->Recording())
        return env_->End(c, D3DERR_INVALIDCALL);
    CopyMasked(mask_, device_->States(), values_);
    return D3D_OK;
}

HRESULT FakeStateBlock::Apply()
{
    FAKE_CALL(c, "StateBlock::Apply", {{"StateBlock", P(this)}});
    if (device_->Recording())
        return env_->End(c, D3DERR_INVALIDCALL);
    CopyMasked(mask_, values_, device_->MutableStates());
    return D3D_OK;
}

bool FakeStateBlock::CarriesRenderState(D3DRENDERSTATETYPE s) const
{
    return (DWORD)s < mask_.rs.size() && mask_.rs[s];
}

DWORD FakeStateBlock::RenderState(D3DRENDERSTATETYPE s) const
{
    return (DWORD)s < values_.rs.size() ? values_.rs[s] : 0;
}

bool FakeStateBlock::CarriesSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE s) const
{
    int i = FakeSamplerIndex(sampler);
    return i >= 0 && (DWORD)s < FakeStates::kSamplerStates && mask_.samp[i][s];
}

DWORD FakeStateBlock::SamplerState(DWORD sampler, D3DSAMPLERSTATETYPE s) const
{
    int i = FakeSamplerIndex(sampler);
    return i >= 0 && (DWORD)s < FakeStates::kSamplerStates ? values_.samp[i][s] : 0;
}

bool FakeStateBlock::CarriesStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE s) const
{
    return stage < FakeStates::kStages && (DWORD)s < FakeStates::kStageStates && mask_.tss[stage][s];
}

DWORD FakeStateBlock::StageState(DWORD stage, D3DTEXTURESTAGESTATETYPE s) const
{
    return stage < FakeStates::kStages && (DWORD)s < FakeStates::kStageStates ? values_.tss[stage][s] : 0;
}

// ---- FakeDevice ---------------------------------------------------------------------------

void FakeDevice::Defaults(FakeStates& s, bool autoDepth, UINT width, UINT height)
{
    UnbindAll(s);
    s = FakeStates();
    // Direct3D's documented defaults, from the table the device keeps.
    static_assert(FakeStates::kStageStates == D3D_TEXTURESTAGESTATE_COUNT, "stage states");
    static_assert(FakeStates::kSamplerStates == D3D_SAMPLERSTATE_COUNT, "sampler states");
    for (size_t i = 0; i < d3d9gl::kRenderStateDefaultCount; ++i)
        s.rs[d3d9gl::kRenderStateDefaults[i].state] = d3d9gl::kRenderStateDefaults[i].value;
    s.rs[D3DRS_ZENABLE] = autoDepth ? D3DZB_TRUE : D3DZB_FALSE;
    for (DWORD i = 0; i < FakeStates::kStages; ++i)
        d3d9gl::StageStateDefaults(i, s.tss[i].data());
    for (auto& sm : s.samp)
        d3d9gl::SamplerStateDefaults(sm.data());
    for (auto& m : s.transforms)
        m = Identity();
    s.viewport = {0, 0, width, height, 0.0f, 1.0f};
    s.scissor = {0, 0, (LONG)width, (LONG)height};
}

FakeDevice::FakeDevice(FakeDirect3D9* d3d, UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior,
                       const D3DPRESENT_PARAMETERS& params)
    : FakeObjectBase(d3d->Env(), "device"), d3d_(d3d), adapter_(adapter), type_(type), focus_(focus),
      behavior_(behavior), params_(params)
{
    d3d_->AddRef();
    softwareVP_ = (behavior & D3DCREATE_SOFTWARE_VERTEXPROCESSING) ? TRUE : FALSE;
    CreateSwapChain();
    Defaults(state_, params_.EnableAutoDepthStencil != FALSE, params_.BackBufferWidth, params_.BackBufferHeight);
}

FakeDevice::~FakeDevice()
{
    env_->Forget(this);
}

void FakeDevice::CreateSwapChain()
{
    for (UINT i = 0; i < params_.BackBufferCount; ++i) {
        auto* s = new FakeSurface(this, params_.BackBufferFormat, params_.BackBufferWidth, params_.BackBufferHeight,
                                  D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, TRUE, params_.MultiSampleType);
        s->MakeImplicit();
        backBuffers_.push_back(s);
    }
    if (params_.EnableAutoDepthStencil) {
        autoDepth_ = new FakeSurface(this, params_.AutoDepthStencilFormat, params_.BackBufferWidth,
                                     params_.BackBufferHeight, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT,
                                     params_.AutoDepthStencilFormat == D3DFMT_D16_LOCKABLE, params_.MultiSampleType);
        autoDepth_->MakeImplicit();
    }
    SetBound(renderTarget_, backBuffers_.empty() ? nullptr : backBuffers_[0]);
    SetBound(depthStencil_, autoDepth_);
}

void FakeDevice::ReleaseSwapChain()
{
    SetBound<FakeSurface>(renderTarget_, nullptr);
    SetBound<FakeSurface>(depthStencil_, nullptr);
    for (FakeSurface* s : backBuffers_)
        delete s;
    backBuffers_.clear();
    delete autoDepth_;
    autoDepth_ = nullptr;
}

template <class T>
void FakeDevice::SetBound(T*& slot, T* value)
{
    // Device-owned surfaces need no binding; others (render-target textures'
    // levels, created surfaces) are kept alive while set.
    auto keep = [](FakeSurface* s) -> FakeObjectBase* {
        if (!s || s->Implicit())
            return nullptr;
        if (s->Container())
            return s->Container();
        return s;
    };
    if (slot == value)
        return;
    if (FakeObjectBase* o = keep(value))
        o->Bind();
    T* old = slot;
    slot = value;
    if (FakeObjectBase* o = keep(old))
        o->Unbind();
}

void FakeDevice::OnFinalRelease()
{
    if (recording_) {
        FakeStateBlock* r = recording_;
        recording_ = nullptr;
        UnbindAll(r->MutableValues());
        delete r;
    }
    UnbindAll(state_);
    ReleaseSwapChain();
    FakeDirect3D9* d3d = d3d_;
    env_->Forget(this);
    d3d->Release();
}

HRESULT FakeDevice::QueryInterface(REFIID riid, void** pp)
{
    if (!pp)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DDevice9) {
        *pp = static_cast<IDirect3DDevice9*>(this);
        AddRef();
        return S_OK;
    }
    *pp = nullptr;
    return E_NOINTERFACE;
}

// ---- Device: inspection ----

DWORD FakeDevice::RenderState(D3DRENDERSTATETYPE s) const
{
    return (DWORD)s < state_.rs.size() ? state_.rs[s] : 0;
}

DWORD FakeDevice::StageState(DWORD stage, D3DTEXTURESTAGESTATETYPE s) const
{
    return stage < FakeStates::kStages && (DWORD)s < FakeStates::kStageStates ? state_.tss[stage][s] : 0;
}

DWORD FakeDevice::SamplerState(DWORD sampler, D3DSAMPLERSTATETYPE s) const
{
    int i = FakeSamplerIndex(sampler);
    return i >= 0 && (DWORD)s < FakeStates::kSamplerStates ? state_.samp[i][s] : 0;
}

const D3DMATRIX& FakeDevice::Transform(D3DTRANSFORMSTATETYPE t) const
{
    static const D3DMATRIX identity = Identity();
    int i = TransformIndex(t);
    return i >= 0 ? state_.transforms[i] : identity;
}

IDirect3DBaseTexture9* FakeDevice::Texture(DWORD sampler) const
{
    int i = FakeSamplerIndex(sampler);
    return i >= 0 ? state_.textures[i] : nullptr;
}

D3DLIGHT9 FakeDevice::Light(DWORD index) const
{
    auto it = state_.lights.find(index);
    return it != state_.lights.end() ? it->second.light : D3DLIGHT9{};
}

bool FakeDevice::LightEnabled(DWORD index) const
{
    auto it = state_.lights.find(index);
    return it != state_.lights.end() && it->second.enabled;
}

// ---- Device: general ----

HRESULT FakeDevice::TestCooperativeLevel()
{
    FAKE_CALL(c, "TestCooperativeLevel", {});
    return notReset_ ? env_->End(c, D3DERR_DEVICENOTRESET) : D3D_OK;
}

UINT FakeDevice::GetAvailableTextureMem()
{
    env_->Begin("GetAvailableTextureMem", {});
    return 256u << 20;
}

HRESULT FakeDevice::EvictManagedResources()
{
    return env_->Begin("EvictManagedResources", {}).result;
}

HRESULT FakeDevice::GetDirect3D(IDirect3D9** pp)
{
    FAKE_CALL(c, "GetDirect3D", {});
    if (!pp)
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = d3d_;
    d3d_->AddRef();
    return D3D_OK;
}

HRESULT FakeDevice::GetDeviceCaps(D3DCAPS9* caps)
{
    FAKE_CALL(c, "Device::GetDeviceCaps", {});
    if (!caps)
        return env_->End(c, D3DERR_INVALIDCALL);
    *caps = env_->Caps();
    caps->DeviceType = type_;
    return D3D_OK;
}

HRESULT FakeDevice::GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* mode)
{
    FAKE_CALL(c, "GetDisplayMode", {{"iSwapChain", iSwapChain}});
    if (iSwapChain != 0 || !mode)
        return env_->End(c, D3DERR_INVALIDCALL);
    *mode = env_->displayMode;
    if (!params_.Windowed) {
        mode->Width = params_.BackBufferWidth;
        mode->Height = params_.BackBufferHeight;
        mode->Format = params_.BackBufferFormat == D3DFMT_A8R8G8B8 ? D3DFMT_X8R8G8B8 : params_.BackBufferFormat;
    }
    return D3D_OK;
}

HRESULT FakeDevice::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* p)
{
    FAKE_CALL(c, "GetCreationParameters", {});
    if (!p)
        return env_->End(c, D3DERR_INVALIDCALL);
    p->AdapterOrdinal = adapter_;
    p->DeviceType = type_;
    p->hFocusWindow = focus_;
    p->BehaviorFlags = behavior_;
    return D3D_OK;
}

HRESULT FakeDevice::SetCursorProperties(UINT x, UINT y, IDirect3DSurface9* s)
{
    return env_->Begin("SetCursorProperties", {{"XHotSpot", x}, {"YHotSpot", y}, {"Surface", P(s)}}).result;
}

void FakeDevice::SetCursorPosition(int x, int y, DWORD flags)
{
    env_->Begin("SetCursorPosition", {{"X", (uint64_t)(uint32_t)x}, {"Y", (uint64_t)(uint32_t)y}, {"Flags", flags}});
}

BOOL FakeDevice::ShowCursor(BOOL show)
{
    env_->Begin("ShowCursor", {{"Show", (uint64_t)show}});
    return FALSE;
}

HRESULT FakeDevice::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS*, IDirect3DSwapChain9** pp)
{
    FakeCall& c = env_->Begin("CreateAdditionalSwapChain", {});
    if (pp)
        *pp = nullptr;
    return env_->End(c, FAILED(c.result) ? c.result : D3DERR_NOTAVAILABLE);
}

HRESULT FakeDevice::GetSwapChain(UINT iSwapChain, IDirect3DSwapChain9** pp)
{
    FakeCall& c = env_->Begin("GetSwapChain", {{"iSwapChain", iSwapChain}});
    if (pp)
        *pp = nullptr;
    return env_->End(c, FAILED(c.result) ? c.result : D3DERR_NOTAVAILABLE);
}

UINT FakeDevice::GetNumberOfSwapChains()
{
    env_->Begin("GetNumberOfSwapChains", {});
    return 1;
}

HRESULT FakeDevice::Reset(D3DPRESENT_PARAMETERS* pp)
{
    FAKE_CALL(c, "Reset", {});
    // A failed Reset leaves a windowed device "not reset" until one succeeds.
    auto fail = [&]() {
        notReset_ = true;
        return env_->End(c, D3DERR_INVALIDCALL);
    };
    if (!pp)
        return fail();
    D3DPRESENT_PARAMETERS p = *pp;
    if (p.Windowed) {
        if (p.BackBufferFormat == D3DFMT_UNKNOWN)
            p.BackBufferFormat = env_->displayMode.Format;
        if (!p.BackBufferWidth)
            p.BackBufferWidth = env_->clientWidth;
        if (!p.BackBufferHeight)
            p.BackBufferHeight = env_->clientHeight;
    }
    if (!p.BackBufferCount)
        p.BackBufferCount = 1;
    if (!p.BackBufferWidth || !p.BackBufferHeight)
        return fail();
    if (p.EnableAutoDepthStencil && !env_->depthFormats.count(p.AutoDepthStencilFormat))
        return fail();
    for (FakeSurface* s : backBuffers_)
        if (s->RefCount())
            return fail();
    if (autoDepth_ && autoDepth_->RefCount())
        return fail();
    if (env_->HoldsDefaultPool(this))
        return fail();
    *pp = p;
    params_ = p;
    ReleaseSwapChain();
    CreateSwapChain();
    Defaults(state_, p.EnableAutoDepthStencil != FALSE, p.BackBufferWidth, p.BackBufferHeight);
    inScene_ = false;
    notReset_ = false;
    return D3D_OK;
}

HRESULT FakeDevice::Present(CONST RECT* src, CONST RECT* dst, HWND wnd, const _RGNDATA* dirty)
{
    FAKE_CALL(c, "Present", {{"pSourceRect", P(src)},
                             {"pDestRect", P(dst)},
                             {"hDestWindowOverride", P(wnd)},
                             {"pDirtyRegion", P(dirty)}});
    if (notReset_)
        return env_->End(c, D3DERR_DEVICELOST);
    ++presents_;
    return D3D_OK;
}

HRESULT FakeDevice::GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE type,
                                  IDirect3DSurface9** pp)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "GetBackBuffer",
                 {{"iSwapChain", iSwapChain}, {"iBackBuffer", iBackBuffer}, {"Type", (uint64_t)type}});
    if (!pp || iSwapChain != 0 || iBackBuffer >= backBuffers_.size())
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = backBuffers_[iBackBuffer];
    (*pp)->AddRef();
    return D3D_OK;
}

HRESULT FakeDevice::GetRasterStatus(UINT iSwapChain, D3DRASTER_STATUS* rs)
{
    FAKE_CALL(c, "GetRasterStatus", {{"iSwapChain", iSwapChain}});
    if (iSwapChain != 0 || !rs)
        return env_->End(c, D3DERR_INVALIDCALL);
    rs->InVBlank = TRUE;
    rs->ScanLine = 0;
    return D3D_OK;
}

HRESULT FakeDevice::SetDialogBoxMode(BOOL enable)
{
    return env_->Begin("SetDialogBoxMode", {{"Enable", (uint64_t)enable}}).result;
}

void FakeDevice::SetGammaRamp(UINT iSwapChain, DWORD flags, CONST D3DGAMMARAMP*)
{
    env_->Begin("SetGammaRamp", {{"iSwapChain", iSwapChain}, {"Flags", flags}});
}

void FakeDevice::GetGammaRamp(UINT, D3DGAMMARAMP* ramp)
{
    env_->Begin("GetGammaRamp", {});
    if (!ramp)
        return;
    for (int i = 0; i < 256; ++i)
        ramp->red[i] = ramp->green[i] = ramp->blue[i] = (WORD)(i * 257);
}

// ---- Device: resource creation ----

HRESULT FakeDevice::CreateTexture(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT fmt, D3DPOOL pool,
                                  IDirect3DTexture9** pp, HANDLE* shared)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "CreateTexture", {{"Width", w},
                                   {"Height", h},
                                   {"Levels", levels},
                                   {"Usage", usage},
                                   {"Format", (uint64_t)fmt},
                                   {"Pool", (uint64_t)pool}});
    if (!pp || shared || w == 0 || h == 0)
        return env_->End(c, D3DERR_INVALIDCALL);
    const D3DCAPS9& caps = env_->Caps();
    if (w > caps.MaxTextureWidth || h > caps.MaxTextureHeight)
        return env_->End(c, D3DERR_INVALIDCALL);
    if (!IsPixelFormat(fmt) || env_->refusedTextureFormats.count(fmt))
        return env_->End(c, D3DERR_INVALIDCALL);
    if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) && pool != D3DPOOL_DEFAULT)
        return env_->End(c, D3DERR_INVALIDCALL);
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED)
        return env_->End(c, D3DERR_INVALIDCALL);
    if ((usage & D3DUSAGE_AUTOGENMIPMAP) && pool == D3DPOOL_SYSTEMMEM)
        return env_->End(c, D3DERR_INVALIDCALL);
    if ((usage & D3DUSAGE_AUTOGENMIPMAP) && levels > 1)
        return env_->End(c, D3DERR_INVALIDCALL);
    if ((usage & D3DUSAGE_RENDERTARGET) && !env_->renderTargetFormats.count(fmt))
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = new FakeTexture(this, w, h, levels, usage, fmt, pool);
    return D3D_OK;
}

HRESULT FakeDevice::CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                                        IDirect3DVolumeTexture9** pp, HANDLE*)
{
    FakeCall& c = env_->Begin("CreateVolumeTexture", {});
    if (pp)
        *pp = nullptr;
    return env_->End(c, FAILED(c.result) ? c.result : D3DERR_NOTAVAILABLE);
}

HRESULT FakeDevice::CreateCubeTexture(UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DCubeTexture9** pp, HANDLE*)
{
    FakeCall& c = env_->Begin("CreateCubeTexture", {});
    if (pp)
        *pp = nullptr;
    return env_->End(c, FAILED(c.result) ? c.result : D3DERR_NOTAVAILABLE);
}

HRESULT FakeDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer9** pp, HANDLE* shared)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "CreateVertexBuffer",
                 {{"Length", length}, {"Usage", usage}, {"FVF", fvf}, {"Pool", (uint64_t)pool}});
    if (!pp || shared || length == 0 || pool == D3DPOOL_SCRATCH)
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = new FakeVertexBuffer(this, length, usage, fvf, pool);
    return D3D_OK;
}

HRESULT FakeDevice::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT fmt, D3DPOOL pool,
                                      IDirect3DIndexBuffer9** pp, HANDLE* shared)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "CreateIndexBuffer",
                 {{"Length", length}, {"Usage", usage}, {"Format", (uint64_t)fmt}, {"Pool", (uint64_t)pool}});
    if (!pp || shared || length == 0 || pool == D3DPOOL_SCRATCH || (fmt != D3DFMT_INDEX16 && fmt != D3DFMT_INDEX32))
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = new FakeIndexBuffer(this, length, usage, fmt, pool);
    return D3D_OK;
}

HRESULT FakeDevice::CreateRenderTarget(UINT w, UINT h, D3DFORMAT fmt, D3DMULTISAMPLE_TYPE ms, DWORD quality,
                                       BOOL lockable, IDirect3DSurface9** pp, HANDLE* shared)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "CreateRenderTarget", {{"Width", w},
                                        {"Height", h},
                                        {"Format", (uint64_t)fmt},
                                        {"MultiSample", (uint64_t)ms},
                                        {"Quality", quality},
                                        {"Lockable", (uint64_t)lockable}});
    if (!pp || shared || !w || !h || !env_->renderTargetFormats.count(fmt))
        return env_->End(c, D3DERR_INVALIDCALL);
    if (ms != D3DMULTISAMPLE_NONE)
        return env_->End(c, D3DERR_NOTAVAILABLE);
    *pp = new FakeSurface(this, fmt, w, h, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, lockable, ms);
    return D3D_OK;
}

HRESULT FakeDevice::CreateDepthStencilSurface(UINT w, UINT h, D3DFORMAT fmt, D3DMULTISAMPLE_TYPE ms, DWORD quality,
                                              BOOL discard, IDirect3DSurface9** pp, HANDLE* shared)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "CreateDepthStencilSurface", {{"Width", w},
                                               {"Height", h},
                                               {"Format", (uint64_t)fmt},
                                               {"MultiSample", (uint64_t)ms},
                                               {"Quality", quality},
                                               {"Discard", (uint64_t)discard}});
    if (!pp || shared || !w || !h || !FakeIsDepthFormat(fmt))
        return env_->End(c, D3DERR_INVALIDCALL);
    if (!env_->depthFormats.count(fmt) || ms != D3DMULTISAMPLE_NONE)
        return env_->End(c, D3DERR_NOTAVAILABLE);
    *pp = new FakeSurface(this, fmt, w, h, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, fmt == D3DFMT_D16_LOCKABLE, ms);
    return D3D_OK;
}

HRESULT FakeDevice::CreateOffscreenPlainSurface(UINT w, UINT h, D3DFORMAT fmt, D3DPOOL pool,
                                                IDirect3DSurface9** pp, HANDLE* shared)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "CreateOffscreenPlainSurface",
                 {{"Width", w}, {"Height", h}, {"Format", (uint64_t)fmt}, {"Pool", (uint64_t)pool}});
    if (!pp || shared || !w || !h || !IsPixelFormat(fmt) ||
        pool == D3DPOOL_MANAGED)
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = new FakeSurface(this, fmt, w, h, 0, pool, TRUE);
    return D3D_OK;
}

// ---- Device: copies ----

namespace {

RECT FullRect(const FakeImage& img)
{
    return RECT{0, 0, (LONG)img.width, (LONG)img.height};
}

bool InsideImage(const RECT& r, const FakeImage& img)
{
    return r.left >= 0 && r.top >= 0 && r.right <= (LONG)img.width && r.bottom <= (LONG)img.height &&
           r.left < r.right && r.top < r.bottom;
}

} // namespace

HRESULT FakeDevice::UpdateSurface(IDirect3DSurface9* src, CONST RECT* srcRect, IDirect3DSurface9* dst,
                                  CONST POINT* dstPoint)
{
    FAKE_CALL(c, "UpdateSurface", {{"Source", P(src)}, {"Destination", P(dst)}});
    FakeSurface* s = SurfaceOf(src);
    FakeSurface* d = SurfaceOf(dst);
    if (!s || !d || s->Desc().Pool != D3DPOOL_SYSTEMMEM || d->Desc().Pool != D3DPOOL_DEFAULT)
        return env_->End(c, D3DERR_INVALIDCALL);
    RECT sr = srcRect ? *srcRect : FullRect(s->Image());
    LONG x = dstPoint ? dstPoint->x : 0, y = dstPoint ? dstPoint->y : 0;
    RECT dr{x, y, x + sr.right - sr.left, y + sr.bottom - sr.top};
    if (!InsideImage(sr, s->Image()) || !InsideImage(dr, d->Image()) || !FakeCopyRect(s->Image(), sr, d->Image(), dr))
        return env_->End(c, D3DERR_INVALIDCALL);
    return D3D_OK;
}

HRESULT FakeDevice::UpdateTexture(IDirect3DBaseTexture9* src, IDirect3DBaseTexture9* dst)
{
    FAKE_CALL(c, "UpdateTexture", {{"Source", P(src)}, {"Destination", P(dst)}});
    auto* s = dynamic_cast<FakeTexture*>(src);
    auto* d = dynamic_cast<FakeTexture*>(dst);
    if (!s || !d || s->Pool() != D3DPOOL_SYSTEMMEM || d->Pool() != D3DPOOL_DEFAULT || s->Format() != d->Format())
        return env_->End(c, D3DERR_INVALIDCALL);
    UINT n = std::min(s->Levels(), d->Levels());
    for (UINT i = 0; i < n; ++i)
        if (s->Level(i).bits.size() == d->Level(i).bits.size())
            d->Level(i).bits = s->Level(i).bits;
    return D3D_OK;
}

HRESULT FakeDevice::GetRenderTargetData(IDirect3DSurface9* rt, IDirect3DSurface9* dst)
{
    FAKE_CALL(c, "GetRenderTargetData", {{"RenderTarget", P(rt)}, {"Destination", P(dst)}});
    FakeSurface* s = SurfaceOf(rt);
    FakeSurface* d = SurfaceOf(dst);
    if (!s || !d || !(s->Desc().Usage & D3DUSAGE_RENDERTARGET) || d->Desc().Pool != D3DPOOL_SYSTEMMEM ||
        s->Desc().Width != d->Desc().Width || s->Desc().Height != d->Desc().Height ||
        s->Desc().Format != d->Desc().Format)
        return env_->End(c, D3DERR_INVALIDCALL);
    d->Image().bits = s->Image().bits;
    return D3D_OK;
}

HRESULT FakeDevice::GetFrontBufferData(UINT iSwapChain, IDirect3DSurface9* dst)
{
    FAKE_CALL(c, "GetFrontBufferData", {{"iSwapChain", iSwapChain}, {"Destination", P(dst)}});
    FakeSurface* d = SurfaceOf(dst);
    if (iSwapChain != 0 || !d || d->Desc().Format != D3DFMT_A8R8G8B8 || backBuffers_.empty())
        return env_->End(c, D3DERR_INVALIDCALL);
    FakeImage& s = backBuffers_[0]->Image();
    RECT sr = FullRect(s);
    FakeImage& di = d->Image();
    if (s.format == D3DFMT_X8R8G8B8 || s.format == D3DFMT_A8R8G8B8) {
        RECT dr = FullRect(di);
        dr.right = std::min(dr.right, sr.right);
        dr.bottom = std::min(dr.bottom, sr.bottom);
        FakeImage tmp = s;
        tmp.format = D3DFMT_A8R8G8B8;
        FakeCopyRect(tmp, dr, di, dr);
    }
    return D3D_OK;
}

HRESULT FakeDevice::StretchRect(IDirect3DSurface9* src, CONST RECT* srcRect, IDirect3DSurface9* dst,
                                CONST RECT* dstRect, D3DTEXTUREFILTERTYPE filter)
{
    FAKE_CALL(c, "StretchRect", {{"Source", P(src)}, {"Destination", P(dst)}, {"Filter", (uint64_t)filter}});
    if (inScene_)
        env_->Problem("StretchRect inside BeginScene/EndScene");
    FakeSurface* s = SurfaceOf(src);
    FakeSurface* d = SurfaceOf(dst);
    if (!s || !d || s == d || d->Desc().Pool != D3DPOOL_DEFAULT || s->Desc().Pool != D3DPOOL_DEFAULT)
        return env_->End(c, D3DERR_INVALIDCALL);
    RECT sr = srcRect ? *srcRect : FullRect(s->Image());
    RECT dr = dstRect ? *dstRect : FullRect(d->Image());
    if (!InsideImage(sr, s->Image()) || !InsideImage(dr, d->Image()))
        return env_->End(c, D3DERR_INVALIDCALL);
    if (!FakeCopyRect(s->Image(), sr, d->Image(), dr))
        return env_->End(c, D3DERR_INVALIDCALL);
    return D3D_OK;
}

HRESULT FakeDevice::ColorFill(IDirect3DSurface9* surface, CONST RECT* rect, D3DCOLOR color)
{
    FAKE_CALL(c, "ColorFill", {{"Surface", P(surface)}, {"Color", color}});
    FakeSurface* s = SurfaceOf(surface);
    if (!s || s->Desc().Pool != D3DPOOL_DEFAULT)
        return env_->End(c, D3DERR_INVALIDCALL);
    RECT r = rect ? *rect : FullRect(s->Image());
    if (!InsideImage(r, s->Image()))
        return env_->End(c, D3DERR_INVALIDCALL);
    FillImage(s->Image(), r, color);
    return D3D_OK;
}

// ---- Device: targets and scene ----

HRESULT FakeDevice::SetRenderTarget(DWORD index, IDirect3DSurface9* rt)
{
    FAKE_CALL(c, "SetRenderTarget", {{"RenderTargetIndex", index}, {"RenderTarget", P(rt)}});
    if (index >= env_->Caps().NumSimultaneousRTs)
        return env_->End(c, D3DERR_INVALIDCALL);
    FakeSurface* s = SurfaceOf(rt);
    if (index == 0 && !s)
        return env_->End(c, D3DERR_INVALIDCALL);
    if (s && !(s->Desc().Usage & D3DUSAGE_RENDERTARGET))
        return env_->End(c, D3DERR_INVALIDCALL);
    SetBound(renderTarget_, s);
    if (s) {
        // Setting render target 0 resets the viewport to the whole target.
        state_.viewport = {0, 0, s->Desc().Width, s->Desc().Height, 0.0f, 1.0f};
        state_.scissor = {0, 0, (LONG)s->Desc().Width, (LONG)s->Desc().Height};
    }
    return D3D_OK;
}

HRESULT FakeDevice::GetRenderTarget(DWORD index, IDirect3DSurface9** pp)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "GetRenderTarget", {{"RenderTargetIndex", index}});
    if (!pp || index >= env_->Caps().NumSimultaneousRTs)
        return env_->End(c, D3DERR_INVALIDCALL);
    if (index != 0 || !renderTarget_)
        return env_->End(c, D3DERR_NOTFOUND);
    *pp = renderTarget_;
    renderTarget_->AddRef();
    return D3D_OK;
}

HRESULT FakeDevice::SetDepthStencilSurface(IDirect3DSurface9* ds)
{
    FAKE_CALL(c, "SetDepthStencilSurface", {{"ZStencil", P(ds)}});
    FakeSurface* s = SurfaceOf(ds);
    if (ds && (!s || !(s->Desc().Usage & D3DUSAGE_DEPTHSTENCIL)))
        return env_->End(c, D3DERR_INVALIDCALL);
    SetBound(depthStencil_, s);
    return D3D_OK;
}

HRESULT FakeDevice::GetDepthStencilSurface(IDirect3DSurface9** pp)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "GetDepthStencilSurface", {});
    if (!pp)
        return env_->End(c, D3DERR_INVALIDCALL);
    if (!depthStencil_)
        return env_->End(c, D3DERR_NOTFOUND);
    *pp = depthStencil_;
    depthStencil_->AddRef();
    return D3D_OK;
}

HRESULT FakeDevice::BeginScene()
{
    FAKE_CALL(c, "BeginScene", {});
    if (inScene_) {
        env_->Problem("BeginScene inside a scene");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    inScene_ = true;
    return D3D_OK;
}

HRESULT FakeDevice::EndScene()
{
    FAKE_CALL(c, "EndScene", {});
    if (!inScene_) {
        env_->Problem("EndScene without BeginScene");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    inScene_ = false;
    return D3D_OK;
}

HRESULT FakeDevice::Clear(DWORD count, CONST D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil)
{
    FAKE_CALL(c, "Clear", {{"Count", count},
                           {"Flags", flags},
                           {"Color", color},
                           {"Z", F(z)},
                           {"Stencil", stencil}});
    if ((count && !rects) || !(flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
        return env_->End(c, D3DERR_INVALIDCALL);
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depthStencil_)
        return env_->End(c, D3DERR_INVALIDCALL);
    if ((flags & D3DCLEAR_STENCIL) && !FakeHasStencil(depthStencil_->Desc().Format))
        return env_->End(c, D3DERR_INVALIDCALL);
    if ((flags & D3DCLEAR_ZBUFFER) && (z < 0.0f || z > 1.0f))
        return env_->End(c, D3DERR_INVALIDCALL);
    if ((flags & D3DCLEAR_TARGET) && renderTarget_) {
        const D3DVIEWPORT9& vp = state_.viewport;
        RECT v{(LONG)vp.X, (LONG)vp.Y, (LONG)(vp.X + vp.Width), (LONG)(vp.Y + vp.Height)};
        if (count == 0) {
            FillImage(renderTarget_->Image(), v, color);
        } else {
            for (DWORD i = 0; i < count; ++i) {
                RECT r{std::max(v.left, rects[i].x1), std::max(v.top, rects[i].y1), std::min(v.right, rects[i].x2),
                       std::min(v.bottom, rects[i].y2)};
                FillImage(renderTarget_->Image(), r, color);
            }
        }
    }
    return D3D_OK;
}

// ---- Device: fixed-function states ----

HRESULT FakeDevice::SetTransform(D3DTRANSFORMSTATETYPE t, CONST D3DMATRIX* m)
{
    FAKE_CALL(c, "SetTransform", {{"State", (uint64_t)t}});
    int i = TransformIndex(t);
    if (i < 0 || !m)
        return env_->End(c, D3DERR_INVALIDCALL);
    Target().transforms[i] = *m;
    if (auto* mask = RecordMask())
        mask->transforms[i] = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetTransform(D3DTRANSFORMSTATETYPE t, D3DMATRIX* m)
{
    FAKE_CALL(c, "GetTransform", {{"State", (uint64_t)t}});
    int i = TransformIndex(t);
    if (i < 0 || !m)
        return env_->End(c, D3DERR_INVALIDCALL);
    *m = state_.transforms[i];
    return D3D_OK;
}

HRESULT FakeDevice::MultiplyTransform(D3DTRANSFORMSTATETYPE t, CONST D3DMATRIX* m)
{
    FAKE_CALL(c, "MultiplyTransform", {{"State", (uint64_t)t}});
    int i = TransformIndex(t);
    if (i < 0 || !m)
        return env_->End(c, D3DERR_INVALIDCALL);
    // The product M x current, in the row-vector convention.
    const D3DMATRIX a = *m, b = state_.transforms[i];
    D3DMATRIX r;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k)
                s += a.m[row][k] * b.m[k][col];
            r.m[row][col] = s;
        }
    Target().transforms[i] = r;
    if (auto* mask = RecordMask())
        mask->transforms[i] = true;
    return D3D_OK;
}

HRESULT FakeDevice::SetViewport(CONST D3DVIEWPORT9* vp)
{
    D3DVIEWPORT9 v = vp ? *vp : D3DVIEWPORT9{};
    FAKE_CALL(c, "SetViewport", {{"X", v.X}, {"Y", v.Y}, {"Width", v.Width}, {"Height", v.Height},
                                 {"MinZ", F(v.MinZ)}, {"MaxZ", F(v.MaxZ)}});
    if (!vp)
        return env_->End(c, D3DERR_INVALIDCALL);
    if (renderTarget_ && ((uint64_t)vp->X + vp->Width > renderTarget_->Desc().Width ||
                          (uint64_t)vp->Y + vp->Height > renderTarget_->Desc().Height)) {
        env_->Problem("SetViewport outside the render target");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    Target().viewport = *vp;
    if (auto* mask = RecordMask())
        mask->viewport = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetViewport(D3DVIEWPORT9* vp)
{
    FAKE_CALL(c, "GetViewport", {});
    if (!vp)
        return env_->End(c, D3DERR_INVALIDCALL);
    *vp = state_.viewport;
    return D3D_OK;
}

HRESULT FakeDevice::SetMaterial(CONST D3DMATERIAL9* m)
{
    FAKE_CALL(c, "SetMaterial", {});
    if (!m)
        return env_->End(c, D3DERR_INVALIDCALL);
    Target().material = *m;
    if (auto* mask = RecordMask())
        mask->material = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetMaterial(D3DMATERIAL9* m)
{
    FAKE_CALL(c, "GetMaterial", {});
    if (!m)
        return env_->End(c, D3DERR_INVALIDCALL);
    *m = state_.material;
    return D3D_OK;
}

HRESULT FakeDevice::SetLight(DWORD index, CONST D3DLIGHT9* light)
{
    FAKE_CALL(c, "SetLight", {{"Index", index}, {"Type", light ? (uint64_t)light->Type : 0}});
    if (!light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL)
        return env_->End(c, D3DERR_INVALIDCALL);
    FakeStates& t = Target();
    auto it = t.lights.find(index);
    if (it == t.lights.end()) {
        FakeStates::Light slot;
        if (recording_) {
            auto dev = state_.lights.find(index);
            if (dev != state_.lights.end())
                slot.enabled = dev->second.enabled;
        }
        it = t.lights.emplace(index, slot).first;
    }
    it->second.light = *light;
    if (auto* mask = RecordMask())
        mask->lights.insert(index);
    return D3D_OK;
}

HRESULT FakeDevice::GetLight(DWORD index, D3DLIGHT9* light)
{
    FAKE_CALL(c, "GetLight", {{"Index", (uint64_t)index}});
    auto it = state_.lights.find(index);
    if (!light || it == state_.lights.end())
        return env_->End(c, D3DERR_INVALIDCALL);
    *light = it->second.light;
    return D3D_OK;
}

HRESULT FakeDevice::LightEnable(DWORD index, BOOL enable)
{
    FAKE_CALL(c, "LightEnable", {{"Index", index}, {"Enable", (uint64_t)enable}});
    FakeStates& t = Target();
    auto it = t.lights.find(index);
    if (it == t.lights.end()) {
        FakeStates::Light slot;
        auto dev = state_.lights.find(index);
        if (recording_ && dev != state_.lights.end()) {
            slot = dev->second;
        } else {
            // Enabling a light never set creates the default light.
            slot.light.Type = D3DLIGHT_DIRECTIONAL;
            slot.light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
            slot.light.Direction = {0.0f, 0.0f, 1.0f};
        }
        it = t.lights.emplace(index, slot).first;
    }
    it->second.enabled = enable ? TRUE : FALSE;
    if (auto* mask = RecordMask())
        mask->lights.insert(index);
    return D3D_OK;
}

HRESULT FakeDevice::GetLightEnable(DWORD index, BOOL* enable)
{
    FAKE_CALL(c, "GetLightEnable", {{"Index", (uint64_t)index}});
    auto it = state_.lights.find(index);
    if (!enable || it == state_.lights.end())
        return env_->End(c, D3DERR_INVALIDCALL);
    // Direct3D 9 reports an enabled light with a non-zero value that need not be TRUE.
    *enable = it->second.enabled ? 128 : FALSE;
    return D3D_OK;
}

HRESULT FakeDevice::SetClipPlane(DWORD index, CONST float* plane)
{
    FAKE_CALL(c, "SetClipPlane", {{"Index", index}});
    if (!plane || index >= FakeStates::kClipPlanes)
        return env_->End(c, D3DERR_INVALIDCALL);
    std::copy(plane, plane + 4, Target().clipPlanes[index].begin());
    if (auto* mask = RecordMask())
        mask->clipPlanes[index] = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetClipPlane(DWORD index, float* plane)
{
    FAKE_CALL(c, "GetClipPlane", {{"Index", (uint64_t)index}});
    if (!plane || index >= FakeStates::kClipPlanes)
        return env_->End(c, D3DERR_INVALIDCALL);
    std::copy(state_.clipPlanes[index].begin(), state_.clipPlanes[index].end(), plane);
    return D3D_OK;
}

HRESULT FakeDevice::SetRenderState(D3DRENDERSTATETYPE s, DWORD value)
{
    FAKE_CALL(c, "SetRenderState", {{"State", (uint64_t)s}, {"Value", value}});
    if ((DWORD)s >= FakeStates::kRenderStates || !IsRenderState(s)) {
        env_->Problem("SetRenderState of an unknown state " + std::to_string((DWORD)s));
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    Target().rs[s] = value;
    if (auto* mask = RecordMask())
        mask->rs[s] = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetRenderState(D3DRENDERSTATETYPE s, DWORD* value)
{
    FAKE_CALL(c, "GetRenderState", {{"State", (uint64_t)s}});
    if (!value || (DWORD)s >= FakeStates::kRenderStates || !IsRenderState(s))
        return env_->End(c, D3DERR_INVALIDCALL);
    *value = state_.rs[s];
    return D3D_OK;
}

// ---- Device: state blocks ----

HRESULT FakeDevice::CreateStateBlock(D3DSTATEBLOCKTYPE type, IDirect3DStateBlock9** pp)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "CreateStateBlock", {{"Type", (uint64_t)type}});
    if (!pp || (type != D3DSBT_ALL && type != D3DSBT_PIXELSTATE && type != D3DSBT_VERTEXSTATE) || recording_)
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = new FakeStateBlock(this, type);
    return D3D_OK;
}

HRESULT FakeDevice::BeginStateBlock()
{
    FAKE_CALL(c, "BeginStateBlock", {});
    if (recording_) {
        env_->Problem("BeginStateBlock while recording");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    recording_ = new FakeStateBlock(this);
    return D3D_OK;
}

HRESULT FakeDevice::EndStateBlock(IDirect3DStateBlock9** pp)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "EndStateBlock", {});
    if (!pp || !recording_) {
        if (!recording_)
            env_->Problem("EndStateBlock without BeginStateBlock");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    *pp = recording_;
    recording_ = nullptr;
    ResourceCreated();
    return D3D_OK;
}

HRESULT FakeDevice::SetClipStatus(CONST D3DCLIPSTATUS9* cs)
{
    FAKE_CALL(c, "SetClipStatus", {});
    if (!cs)
        return env_->End(c, D3DERR_INVALIDCALL);
    clipStatus_ = *cs;
    return D3D_OK;
}

HRESULT FakeDevice::GetClipStatus(D3DCLIPSTATUS9* cs)
{
    FAKE_CALL(c, "GetClipStatus", {});
    if (!cs)
        return env_->End(c, D3DERR_INVALIDCALL);
    *cs = clipStatus_;
    return D3D_OK;
}

// ---- Device: textures and samplers ----

HRESULT FakeDevice::GetTexture(DWORD stage, IDirect3DBaseTexture9** pp)
{
    FAKE_CALL(c, "GetTexture", {{"Stage", (uint64_t)stage}});
    int i = FakeSamplerIndex(stage);
    if (!pp || i < 0)
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = state_.textures[i];
    if (*pp)
        (*pp)->AddRef();
    return D3D_OK;
}

HRESULT FakeDevice::SetTexture(DWORD stage, IDirect3DBaseTexture9* tex)
{
    FAKE_CALL(c, "SetTexture", {{"Stage", stage}, {"Texture", P(tex)}});
    int i = FakeSamplerIndex(stage);
    if (i < 0)
        return env_->End(c, D3DERR_INVALIDCALL);
    if (auto* t = dynamic_cast<FakeTexture*>(tex)) {
        if (t->Pool() == D3DPOOL_SYSTEMMEM || t->Pool() == D3DPOOL_SCRATCH) {
            env_->Problem("SetTexture of a system-memory texture");
            return env_->End(c, D3DERR_INVALIDCALL);
        }
    }
    Rebind(Target().textures[i], tex);
    if (auto* mask = RecordMask())
        mask->textures[i] = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE t, DWORD* value)
{
    FAKE_CALL(c, "GetTextureStageState", {{"Stage", (uint64_t)stage}, {"Type", (uint64_t)t}});
    if (!value || stage >= FakeStates::kStages || (DWORD)t >= FakeStates::kStageStates || !IsStageState(t))
        return env_->End(c, D3DERR_INVALIDCALL);
    *value = state_.tss[stage][t];
    return D3D_OK;
}

HRESULT FakeDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE t, DWORD value)
{
    FAKE_CALL(c, "SetTextureStageState", {{"Stage", stage}, {"Type", (uint64_t)t}, {"Value", value}});
    if (stage >= FakeStates::kStages || (DWORD)t >= FakeStates::kStageStates || !IsStageState(t)) {
        env_->Problem("SetTextureStageState of an unknown stage or state");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    Target().tss[stage][t] = value;
    if (auto* mask = RecordMask())
        mask->tss[stage][t] = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE t, DWORD* value)
{
    FAKE_CALL(c, "GetSamplerState", {{"Sampler", (uint64_t)sampler}, {"Type", (uint64_t)t}});
    int i = FakeSamplerIndex(sampler);
    if (!value || i < 0 || (DWORD)t == 0 || (DWORD)t >= FakeStates::kSamplerStates)
        return env_->End(c, D3DERR_INVALIDCALL);
    *value = state_.samp[i][t];
    return D3D_OK;
}

HRESULT FakeDevice::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE t, DWORD value)
{
    FAKE_CALL(c, "SetSamplerState", {{"Sampler", sampler}, {"Type", (uint64_t)t}, {"Value", value}});
    int i = FakeSamplerIndex(sampler);
    if (i < 0 || (DWORD)t == 0 || (DWORD)t >= FakeStates::kSamplerStates) {
        env_->Problem("SetSamplerState of an unknown sampler or state");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    Target().samp[i][t] = value;
    if (auto* mask = RecordMask())
        mask->samp[i][t] = true;
    return D3D_OK;
}

HRESULT FakeDevice::ValidateDevice(DWORD* passes)
{
    FakeCall& c = env_->Begin("ValidateDevice", {});
    if (passes)
        *passes = FAILED(c.result) ? 0 : 1;
    if (FAILED(c.result))
        return c.result;
    if (!passes)
        return env_->End(c, D3DERR_INVALIDCALL);
    const HRESULT hr = ValidateStageSetUp(
        env_->Caps(), [this](DWORD s, D3DTEXTURESTAGESTATETYPE t) { return state_.tss[s][t]; });
    return env_->End(c, hr);
}

HRESULT FakeDevice::SetPaletteEntries(UINT, const tagPALETTEENTRY*) { return D3DERR_INVALIDCALL; }
HRESULT FakeDevice::GetPaletteEntries(UINT, tagPALETTEENTRY*) { return D3DERR_INVALIDCALL; }

HRESULT FakeDevice::SetCurrentTexturePalette(UINT n)
{
    FAKE_CALL(c, "SetCurrentTexturePalette", {{"N", (uint64_t)n}});
    palette_ = n;
    return D3D_OK;
}

HRESULT FakeDevice::GetCurrentTexturePalette(UINT* n)
{
    FAKE_CALL(c, "GetCurrentTexturePalette", {});
    if (!n)
        return env_->End(c, D3DERR_INVALIDCALL);
    *n = palette_;
    return D3D_OK;
}

HRESULT FakeDevice::SetScissorRect(CONST RECT* r)
{
    FAKE_CALL(c, "SetScissorRect", {});
    if (!r)
        return env_->End(c, D3DERR_INVALIDCALL);
    Target().scissor = *r;
    if (auto* mask = RecordMask())
        mask->scissor = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetScissorRect(RECT* r)
{
    FAKE_CALL(c, "GetScissorRect", {});
    if (!r)
        return env_->End(c, D3DERR_INVALIDCALL);
    *r = state_.scissor;
    return D3D_OK;
}

HRESULT FakeDevice::SetSoftwareVertexProcessing(BOOL software)
{
    FAKE_CALL(c, "SetSoftwareVertexProcessing", {{"bSoftware", (uint64_t)software}});
    if (behavior_ & D3DCREATE_MIXED_VERTEXPROCESSING) {
        softwareVP_ = software ? TRUE : FALSE;
        return D3D_OK;
    }
    const bool isSoftware = (behavior_ & D3DCREATE_SOFTWARE_VERTEXPROCESSING) != 0;
    return env_->End(c, (software != FALSE) == isSoftware ? D3D_OK : D3DERR_INVALIDCALL);
}

BOOL FakeDevice::GetSoftwareVertexProcessing()
{
    env_->Begin("GetSoftwareVertexProcessing", {});
    return softwareVP_;
}

HRESULT FakeDevice::SetNPatchMode(float n)
{
    FAKE_CALL(c, "SetNPatchMode", {{"nSegments", F(n)}});
    Target().nPatchMode = n;
    if (auto* mask = RecordMask())
        mask->nPatchMode = true;
    return D3D_OK;
}

float FakeDevice::GetNPatchMode()
{
    env_->Begin("GetNPatchMode", {});
    return state_.nPatchMode;
}

// ---- Device: drawing ----

HRESULT FakeDevice::CheckDraw(FakeCall& call, D3DPRIMITIVETYPE type, UINT count)
{
    if (!inScene_) {
        env_->Problem(call.method + " outside BeginScene/EndScene");
        return D3DERR_INVALIDCALL;
    }
    if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN)
        return D3DERR_INVALIDCALL;
    if (count == 0) {
        env_->Problem(call.method + " of no primitives");
        return D3DERR_INVALIDCALL;
    }
    if (!state_.fvf && !state_.declaration && !state_.vertexShader) {
        env_->Problem(call.method + " without a vertex format");
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

void FakeDevice::RecordDraw(const FakeCall& call, D3DPRIMITIVETYPE type, UINT count)
{
    FakeDraw& d = env_->AddDraw();
    d.callIndex = call.index;
    d.method = call.method;
    d.type = type;
    d.primitiveCount = count;
    d.renderStates = state_.rs;
    d.stageStates = state_.tss;
    for (size_t i = 0; i < d.textures.size(); ++i)
        d.textures[i] = state_.textures[i];
    d.fvf = state_.fvf;
    d.declaration = state_.declaration;
    d.vertexShader = state_.vertexShader;
    d.pixelShader = state_.pixelShader;
    d.world = state_.transforms[256];
    d.view = state_.transforms[D3DTS_VIEW];
    d.projection = state_.transforms[D3DTS_PROJECTION];
    d.material = state_.material;
    d.renderTarget = renderTarget_;
}

HRESULT FakeDevice::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count)
{
    FAKE_CALL(c, "DrawPrimitive",
                 {{"PrimitiveType", (uint64_t)type}, {"StartVertex", start}, {"PrimitiveCount", count}});
    if (HRESULT hr = CheckDraw(c, type, count); FAILED(hr))
        return env_->End(c, hr);
    const auto& s0 = state_.streams[0];
    auto* vb = dynamic_cast<FakeVertexBuffer*>(s0.buffer);
    if (!s0.buffer || !s0.stride) {
        env_->Problem("DrawPrimitive without a vertex buffer on stream 0");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    if (vb && (uint64_t)s0.offset + (uint64_t)(start + VertexCount(type, count)) * s0.stride > vb->Bytes().size()) {
        env_->Problem("DrawPrimitive past the end of its vertex buffer");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    if (vb && vb->LockCount())
        env_->Problem("DrawPrimitive from a locked vertex buffer");
    RecordDraw(c, type, count);
    return D3D_OK;
}

HRESULT FakeDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base, UINT minIndex, UINT numVertices,
                                         UINT startIndex, UINT count)
{
    FAKE_CALL(c, "DrawIndexedPrimitive", {{"PrimitiveType", (uint64_t)type},
                                          {"BaseVertexIndex", (uint64_t)(uint32_t)base},
                                          {"MinVertexIndex", minIndex},
                                          {"NumVertices", numVertices},
                                          {"StartIndex", startIndex},
                                          {"PrimitiveCount", count}});
    if (HRESULT hr = CheckDraw(c, type, count); FAILED(hr))
        return env_->End(c, hr);
    const auto& s0 = state_.streams[0];
    if (!s0.buffer || !s0.stride || !state_.indices) {
        env_->Problem("DrawIndexedPrimitive without vertex and index buffers");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    auto* ib = dynamic_cast<FakeIndexBuffer*>(state_.indices);
    auto* vb = dynamic_cast<FakeVertexBuffer*>(s0.buffer);
    if (ib && vb) {
        const UINT isz = ib->Desc().Format == D3DFMT_INDEX32 ? 4 : 2;
        const uint64_t n = VertexCount(type, count);
        if (((uint64_t)startIndex + n) * isz > ib->Bytes().size()) {
            env_->Problem("DrawIndexedPrimitive past the end of its index buffer");
            return env_->End(c, D3DERR_INVALIDCALL);
        }
        const uint64_t vertices = s0.offset < vb->Bytes().size() ? (vb->Bytes().size() - s0.offset) / s0.stride : 0;
        for (uint64_t k = 0; k < n; ++k) {
            uint32_t idx = 0;
            std::memcpy(&idx, &ib->Bytes()[(startIndex + k) * isz], isz);
            int64_t v = (int64_t)idx + base;
            if (v < 0 || (uint64_t)v >= vertices) {
                env_->Problem("DrawIndexedPrimitive of an index past its vertex buffer");
                return env_->End(c, D3DERR_INVALIDCALL);
            }
        }
        if (ib->LockCount() || vb->LockCount())
            env_->Problem("DrawIndexedPrimitive from a locked buffer");
    }
    RecordDraw(c, type, count);
    return D3D_OK;
}

HRESULT FakeDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, CONST void* data, UINT stride)
{
    FAKE_CALL(c, "DrawPrimitiveUP",
                 {{"PrimitiveType", (uint64_t)type}, {"PrimitiveCount", count}, {"Stride", stride}});
    if (HRESULT hr = CheckDraw(c, type, count); FAILED(hr))
        return env_->End(c, hr);
    if (!data || !stride)
        return env_->End(c, D3DERR_INVALIDCALL);
    RecordDraw(c, type, count);
    // Drawing from user memory leaves stream 0 unset.
    Rebind<IDirect3DVertexBuffer9>(state_.streams[0].buffer, nullptr);
    state_.streams[0].offset = state_.streams[0].stride = 0;
    return D3D_OK;
}

HRESULT FakeDevice::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT count,
                                           CONST void* indices, D3DFORMAT indexFormat, CONST void* data, UINT stride)
{
    FAKE_CALL(c, "DrawIndexedPrimitiveUP", {{"PrimitiveType", (uint64_t)type},
                                            {"MinVertexIndex", minIndex},
                                            {"NumVertices", numVertices},
                                            {"PrimitiveCount", count},
                                            {"IndexDataFormat", (uint64_t)indexFormat},
                                            {"Stride", stride}});
    if (HRESULT hr = CheckDraw(c, type, count); FAILED(hr))
        return env_->End(c, hr);
    if (!indices || !data || !stride || (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return env_->End(c, D3DERR_INVALIDCALL);
    const UINT n = VertexCount(type, count);
    for (UINT k = 0; k < n; ++k) {
        uint32_t idx = indexFormat == D3DFMT_INDEX32 ? ((const uint32_t*)indices)[k] : ((const uint16_t*)indices)[k];
        if (idx < minIndex || idx >= minIndex + numVertices) {
            env_->Problem("DrawIndexedPrimitiveUP of an index outside its vertex range");
            return env_->End(c, D3DERR_INVALIDCALL);
        }
    }
    RecordDraw(c, type, count);
    Rebind<IDirect3DVertexBuffer9>(state_.streams[0].buffer, nullptr);
    state_.streams[0].offset = state_.streams[0].stride = 0;
    Rebind<IDirect3DIndexBuffer9>(state_.indices, nullptr);
    return D3D_OK;
}

HRESULT FakeDevice::ProcessVertices(UINT, UINT, UINT, IDirect3DVertexBuffer9*, IDirect3DVertexDeclaration9*, DWORD)
{
    FakeCall& c = env_->Begin("ProcessVertices", {});
    return env_->End(c, FAILED(c.result) ? c.result : D3DERR_NOTAVAILABLE);
}

// ---- Device: vertex formats, buffers and shaders ----

HRESULT FakeDevice::CreateVertexDeclaration(CONST D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** pp)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "CreateVertexDeclaration", {});
    if (!elements || !pp)
        return env_->End(c, D3DERR_INVALIDCALL);
    UINT n = 0;
    while (elements[n].Stream != 0xFF) {
        if (++n > MAXD3DDECLLENGTH)
            return env_->End(c, D3DERR_INVALIDCALL);
    }
    *pp = new FakeVertexDeclaration(this, elements);
    return D3D_OK;
}

HRESULT FakeDevice::SetVertexDeclaration(IDirect3DVertexDeclaration9* decl)
{
    FAKE_CALL(c, "SetVertexDeclaration", {{"Decl", P(decl)}});
    FakeStates& t = Target();
    Rebind(t.declaration, decl);
    t.fvf = 0;
    if (auto* mask = RecordMask())
        mask->declaration = mask->fvf = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetVertexDeclaration(IDirect3DVertexDeclaration9** pp)
{
    FAKE_CALL(c, "GetVertexDeclaration", {});
    if (!pp)
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = state_.declaration;
    if (*pp)
        (*pp)->AddRef();
    return D3D_OK;
}

HRESULT FakeDevice::SetFVF(DWORD fvf)
{
    FAKE_CALL(c, "SetFVF", {{"FVF", fvf}});
    FakeStates& t = Target();
    t.fvf = fvf;
    Rebind<IDirect3DVertexDeclaration9>(t.declaration, nullptr);
    if (auto* mask = RecordMask())
        mask->declaration = mask->fvf = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetFVF(DWORD* fvf)
{
    FAKE_CALL(c, "GetFVF", {});
    if (!fvf)
        return env_->End(c, D3DERR_INVALIDCALL);
    *fvf = state_.fvf;
    return D3D_OK;
}

HRESULT FakeDevice::CreateVertexShader(CONST DWORD* function, IDirect3DVertexShader9** pp)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "CreateVertexShader", {{"Version", function ? function[0] : 0}});
    if (!function || !pp || (function[0] & 0xFFFF0000u) != 0xFFFE0000u)
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = new FakeVertexShader(this, function);
    return D3D_OK;
}

HRESULT FakeDevice::SetVertexShader(IDirect3DVertexShader9* shader)
{
    FAKE_CALL(c, "SetVertexShader", {{"Shader", P(shader)}});
    Rebind(Target().vertexShader, shader);
    if (auto* mask = RecordMask())
        mask->vertexShader = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetVertexShader(IDirect3DVertexShader9** pp)
{
    FAKE_CALL(c, "GetVertexShader", {});
    if (!pp)
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = state_.vertexShader;
    if (*pp)
        (*pp)->AddRef();
    return D3D_OK;
}

namespace {

template <class T, size_t N, size_t M>
HRESULT SetConstants(std::array<std::array<T, M>, N>& regs, std::array<bool, N>* mask, UINT start, const T* data,
                     UINT count)
{
    if (!data || (uint64_t)start + count > N)
        return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < count; ++i) {
        std::copy(data + i * M, data + (i + 1) * M, regs[start + i].begin());
        if (mask)
            (*mask)[start + i] = true;
    }
    return D3D_OK;
}

template <class T, size_t N, size_t M>
HRESULT GetConstants(const std::array<std::array<T, M>, N>& regs, UINT start, T* data, UINT count)
{
    if (!data || (uint64_t)start + count > N)
        return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < count; ++i)
        std::copy(regs[start + i].begin(), regs[start + i].end(), data + i * M);
    return D3D_OK;
}

template <size_t N>
HRESULT SetBools(std::array<BOOL, N>& regs, std::array<bool, N>* mask, UINT start, const BOOL* data, UINT count)
{
    if (!data || (uint64_t)start + count > N)
        return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < count; ++i) {
        regs[start + i] = data[i] ? TRUE : FALSE;
        if (mask)
            (*mask)[start + i] = true;
    }
    return D3D_OK;
}

template <size_t N>
HRESULT GetBools(const std::array<BOOL, N>& regs, UINT start, BOOL* data, UINT count)
{
    if (!data || (uint64_t)start + count > N)
        return D3DERR_INVALIDCALL;
    std::copy(regs.begin() + start, regs.begin() + start + count, data);
    return D3D_OK;
}

} // namespace

HRESULT FakeDevice::SetVertexShaderConstantF(UINT start, CONST float* data, UINT count)
{
    FAKE_CALL(c, "SetVertexShaderConstantF", {{"StartRegister", start}, {"Count", count}});
    return env_->End(c, SetConstants(Target().vsF, RecordMask() ? &RecordMask()->vsF : nullptr, start, data, count));
}

HRESULT FakeDevice::GetVertexShaderConstantF(UINT start, float* data, UINT count)
{
    FAKE_CALL(c, "GetVertexShaderConstantF", {{"StartRegister", (uint64_t)start}, {"Count", (uint64_t)count}});
    return GetConstants(state_.vsF, start, data, count);
}

HRESULT FakeDevice::SetVertexShaderConstantI(UINT start, CONST int* data, UINT count)
{
    FAKE_CALL(c, "SetVertexShaderConstantI", {{"StartRegister", start}, {"Count", count}});
    return env_->End(c, SetConstants(Target().vsI, RecordMask() ? &RecordMask()->vsI : nullptr, start, data, count));
}

HRESULT FakeDevice::GetVertexShaderConstantI(UINT start, int* data, UINT count)
{
    FAKE_CALL(c, "GetVertexShaderConstantI", {{"StartRegister", (uint64_t)start}, {"Count", (uint64_t)count}});
    return GetConstants(state_.vsI, start, data, count);
}

HRESULT FakeDevice::SetVertexShaderConstantB(UINT start, CONST BOOL* data, UINT count)
{
    FAKE_CALL(c, "SetVertexShaderConstantB", {{"StartRegister", start}, {"Count", count}});
    return env_->End(c, SetBools(Target().vsB, RecordMask() ? &RecordMask()->vsB : nullptr, start, data, count));
}

HRESULT FakeDevice::GetVertexShaderConstantB(UINT start, BOOL* data, UINT count)
{
    FAKE_CALL(c, "GetVertexShaderConstantB", {{"StartRegister", (uint64_t)start}, {"Count", (uint64_t)count}});
    return GetBools(state_.vsB, start, data, count);
}

HRESULT FakeDevice::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* vb, UINT offset, UINT stride)
{
    FAKE_CALL(c, "SetStreamSource",
                 {{"StreamNumber", stream}, {"StreamData", P(vb)}, {"Offset", offset}, {"Stride", stride}});
    if (stream >= FakeStates::kStreams)
        return env_->End(c, D3DERR_INVALIDCALL);
    auto& s = Target().streams[stream];
    Rebind(s.buffer, vb);
    s.offset = offset;
    s.stride = stride;
    if (auto* mask = RecordMask())
        mask->streams[stream] = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** pp, UINT* offset, UINT* stride)
{
    FAKE_CALL(c, "GetStreamSource", {{"StreamNumber", (uint64_t)stream}});
    if (stream >= FakeStates::kStreams || !pp || !offset || !stride)
        return env_->End(c, D3DERR_INVALIDCALL);
    const auto& s = state_.streams[stream];
    *pp = s.buffer;
    if (*pp)
        (*pp)->AddRef();
    *offset = s.offset;
    *stride = s.stride;
    return D3D_OK;
}

HRESULT FakeDevice::SetStreamSourceFreq(UINT stream, UINT setting)
{
    FAKE_CALL(c, "SetStreamSourceFreq", {{"StreamNumber", stream}, {"Setting", setting}});
    if (stream >= FakeStates::kStreams)
        return env_->End(c, D3DERR_INVALIDCALL);
    Target().streams[stream].frequency = setting;
    if (auto* mask = RecordMask())
        mask->streamFrequencies[stream] = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetStreamSourceFreq(UINT stream, UINT* setting)
{
    FAKE_CALL(c, "GetStreamSourceFreq", {{"StreamNumber", (uint64_t)stream}});
    if (stream >= FakeStates::kStreams || !setting)
        return env_->End(c, D3DERR_INVALIDCALL);
    *setting = state_.streams[stream].frequency;
    return D3D_OK;
}

HRESULT FakeDevice::SetIndices(IDirect3DIndexBuffer9* ib)
{
    FAKE_CALL(c, "SetIndices", {{"IndexData", P(ib)}});
    Rebind(Target().indices, ib);
    if (auto* mask = RecordMask())
        mask->indices = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetIndices(IDirect3DIndexBuffer9** pp)
{
    FAKE_CALL(c, "GetIndices", {});
    if (!pp)
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = state_.indices;
    if (*pp)
        (*pp)->AddRef();
    return D3D_OK;
}

HRESULT FakeDevice::CreatePixelShader(CONST DWORD* function, IDirect3DPixelShader9** pp)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "CreatePixelShader", {{"Version", function ? function[0] : 0}});
    if (!function || !pp || (function[0] & 0xFFFF0000u) != 0xFFFF0000u)
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = new FakePixelShader(this, function);
    return D3D_OK;
}

HRESULT FakeDevice::SetPixelShader(IDirect3DPixelShader9* shader)
{
    FAKE_CALL(c, "SetPixelShader", {{"Shader", P(shader)}});
    Rebind(Target().pixelShader, shader);
    if (auto* mask = RecordMask())
        mask->pixelShader = true;
    return D3D_OK;
}

HRESULT FakeDevice::GetPixelShader(IDirect3DPixelShader9** pp)
{
    FAKE_CALL(c, "GetPixelShader", {});
    if (!pp)
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = state_.pixelShader;
    if (*pp)
        (*pp)->AddRef();
    return D3D_OK;
}

HRESULT FakeDevice::SetPixelShaderConstantF(UINT start, CONST float* data, UINT count)
{
    FAKE_CALL(c, "SetPixelShaderConstantF", {{"StartRegister", start}, {"Count", count}});
    return env_->End(c, SetConstants(Target().psF, RecordMask() ? &RecordMask()->psF : nullptr, start, data, count));
}

HRESULT FakeDevice::GetPixelShaderConstantF(UINT start, float* data, UINT count)
{
    FAKE_CALL(c, "GetPixelShaderConstantF", {{"StartRegister", (uint64_t)start}, {"Count", (uint64_t)count}});
    return GetConstants(state_.psF, start, data, count);
}

HRESULT FakeDevice::SetPixelShaderConstantI(UINT start, CONST int* data, UINT count)
{
    FAKE_CALL(c, "SetPixelShaderConstantI", {{"StartRegister", start}, {"Count", count}});
    return env_->End(c, SetConstants(Target().psI, RecordMask() ? &RecordMask()->psI : nullptr, start, data, count));
}

HRESULT FakeDevice::GetPixelShaderConstantI(UINT start, int* data, UINT count)
{
    FAKE_CALL(c, "GetPixelShaderConstantI", {{"StartRegister", (uint64_t)start}, {"Count", (uint64_t)count}});
    return GetConstants(state_.psI, start, data, count);
}

HRESULT FakeDevice::SetPixelShaderConstantB(UINT start, CONST BOOL* data, UINT count)
{
    FAKE_CALL(c, "SetPixelShaderConstantB", {{"StartRegister", start}, {"Count", count}});
    return env_->End(c, SetBools(Target().psB, RecordMask() ? &RecordMask()->psB : nullptr, start, data, count));
}

HRESULT FakeDevice::GetPixelShaderConstantB(UINT start, BOOL* data, UINT count)
{
    FAKE_CALL(c, "GetPixelShaderConstantB", {{"StartRegister", (uint64_t)start}, {"Count", (uint64_t)count}});
    return GetBools(state_.psB, start, data, count);
}

HRESULT FakeDevice::DrawRectPatch(UINT, CONST float*, CONST D3DRECTPATCH_INFO*)
{
    FAKE_CALL(c, "DrawRectPatch", {});
    return env_->End(c, D3DERR_NOTAVAILABLE);
}

HRESULT FakeDevice::DrawTriPatch(UINT, CONST float*, CONST D3DTRIPATCH_INFO*)
{
    FAKE_CALL(c, "DrawTriPatch", {});
    return env_->End(c, D3DERR_NOTAVAILABLE);
}

HRESULT FakeDevice::DeletePatch(UINT)
{
    FAKE_CALL(c, "DeletePatch", {});
    return env_->End(c, D3DERR_NOTAVAILABLE);
}

HRESULT FakeDevice::CreateQuery(D3DQUERYTYPE type, IDirect3DQuery9** pp)
{
    if (pp)
        *pp = nullptr;
    FAKE_CALL(c, "CreateQuery", {{"Type", (uint64_t)type}});
    return env_->End(c, D3DERR_NOTAVAILABLE);
}
