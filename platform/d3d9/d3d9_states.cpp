// The device's states: render, texture stage and sampler states with what
// a change of each makes stale, transforms, material, lights, vertex input
// and state blocks.
#include "d3d9_device.h"
#include "d3d9_state_defaults.h"
#include "d3d9_validate.h"

#include <algorithm>
#include <cstring>

namespace d3d9gl {

// ---- Render states ---------------------------------------------------------------------
namespace {
// What a change of each render state makes stale: GL state groups and the
// fixed-function key halves (Device::Dirty), and uniform groups. States
// not listed change nothing the device draws with.
struct RenderStateEffect {
    D3DRENDERSTATETYPE state;
    uint32_t dirty;
    uint32_t uniforms;  // bits of UniformGroup
};

constexpr uint32_t kBlend = Device::DirtyBlend, kDepth = Device::DirtyDepthStencil, kRaster = Device::DirtyRaster,
                   kScissor = Device::DirtyScissor, kVertex = Device::DirtyVertexKey, kPixel = Device::DirtyPixelKey;
constexpr uint32_t U(UniformGroup g) { return 1u << g; }

const RenderStateEffect kRenderStateEffects[] = {
    {D3DRS_ZENABLE, kDepth, 0},
    {D3DRS_FILLMODE, kRaster, 0},
    {D3DRS_SHADEMODE, kVertex | kPixel, 0},
    {D3DRS_ZWRITEENABLE, kDepth, 0},
    {D3DRS_ALPHATESTENABLE, kPixel, 0},
    {D3DRS_SRCBLEND, kBlend, 0},
    {D3DRS_DESTBLEND, kBlend, 0},
    {D3DRS_CULLMODE, kRaster, 0},
    {D3DRS_ZFUNC, kDepth, 0},
    {D3DRS_ALPHAREF, 0, U(UPixel)},
    {D3DRS_ALPHAFUNC, kPixel, 0},
    {D3DRS_ALPHABLENDENABLE, kBlend, 0},
    {D3DRS_FOGENABLE, kVertex | kPixel, 0},
    {D3DRS_SPECULARENABLE, kVertex | kPixel, 0},
    {D3DRS_FOGCOLOR, 0, U(UFog)},
    {D3DRS_FOGTABLEMODE, kVertex | kPixel, 0},
    {D3DRS_FOGSTART, 0, U(UFog)},
    {D3DRS_FOGEND, 0, U(UFog)},
    {D3DRS_FOGDENSITY, 0, U(UFog)},
    {D3DRS_RANGEFOGENABLE, kVertex, 0},
    {D3DRS_STENCILENABLE, kDepth, 0},
    {D3DRS_STENCILFAIL, kDepth, 0},
    {D3DRS_STENCILZFAIL, kDepth, 0},
    {D3DRS_STENCILPASS, kDepth, 0},
    {D3DRS_STENCILFUNC, kDepth, 0},
    {D3DRS_STENCILREF, kDepth, 0},
    {D3DRS_STENCILMASK, kDepth, 0},
    {D3DRS_STENCILWRITEMASK, kDepth, 0},
    {D3DRS_TEXTUREFACTOR, 0, U(UPixel)},
    {D3DRS_LIGHTING, kVertex, 0},
    {D3DRS_AMBIENT, 0, U(UMaterial)},
    {D3DRS_FOGVERTEXMODE, kVertex, 0},
    {D3DRS_COLORVERTEX, kVertex, 0},
    {D3DRS_LOCALVIEWER, kVertex, 0},
    {D3DRS_NORMALIZENORMALS, kVertex, 0},
    {D3DRS_DIFFUSEMATERIALSOURCE, kVertex, 0},
    {D3DRS_SPECULARMATERIALSOURCE, kVertex, 0},
    {D3DRS_AMBIENTMATERIALSOURCE, kVertex, 0},
    {D3DRS_EMISSIVEMATERIALSOURCE, kVertex, 0},
    {D3DRS_VERTEXBLEND, kVertex, U(UTransforms)},
    {D3DRS_POINTSIZE, 0, U(UPoint)},
    {D3DRS_POINTSIZE_MIN, 0, U(UPoint)},
    {D3DRS_POINTSPRITEENABLE, kVertex | kPixel, 0},
    {D3DRS_POINTSCALEENABLE, kVertex, 0},
    {D3DRS_POINTSCALE_A, 0, U(UPoint)},
    {D3DRS_POINTSCALE_B, 0, U(UPoint)},
    {D3DRS_POINTSCALE_C, 0, U(UPoint)},
    {D3DRS_POINTSIZE_MAX, 0, U(UPoint)},
    {D3DRS_INDEXEDVERTEXBLENDENABLE, kVertex, U(UTransforms)},
    {D3DRS_COLORWRITEENABLE, kBlend, 0},
    {D3DRS_BLENDOP, kBlend, 0},
    {D3DRS_SCISSORTESTENABLE, kScissor, 0},
    {D3DRS_SLOPESCALEDEPTHBIAS, kRaster, 0},
    {D3DRS_TWOSIDEDSTENCILMODE, kDepth, 0},
    {D3DRS_CCW_STENCILFAIL, kDepth, 0},
    {D3DRS_CCW_STENCILZFAIL, kDepth, 0},
    {D3DRS_CCW_STENCILPASS, kDepth, 0},
    {D3DRS_CCW_STENCILFUNC, kDepth, 0},
    {D3DRS_BLENDFACTOR, kBlend, 0},
    {D3DRS_DEPTHBIAS, kRaster, 0},
    {D3DRS_SEPARATEALPHABLENDENABLE, kBlend, 0},
    {D3DRS_SRCBLENDALPHA, kBlend, 0},
    {D3DRS_DESTBLENDALPHA, kBlend, 0},
    {D3DRS_BLENDOPALPHA, kBlend, 0},
};

// The effects by state number, and which numbers are render states.
struct EffectTable {
    uint32_t dirty[256] = {};
    uint32_t uniforms[256] = {};
    bool valid[256] = {};
    EffectTable()
    {
        for (const RenderStateEffect& e : kRenderStateEffects) {
            dirty[e.state] = e.dirty;
            uniforms[e.state] = e.uniforms;
        }
        for (DWORD s = 0; s < 256; ++s)
            valid[s] = FindRenderStateDefault(s) != nullptr;
    }
};
const EffectTable kEffects;

bool IsBumpState(D3DTEXTURESTAGESTATETYPE t)
{
    return (t >= D3DTSS_BUMPENVMAT00 && t <= D3DTSS_BUMPENVMAT11) || t == D3DTSS_BUMPENVLSCALE ||
           t == D3DTSS_BUMPENVLOFFSET;
}
} // namespace

void Device::MarkRenderState(DWORD s)
{
    m_dirty |= kEffects.dirty[s];
    for (uint32_t u = kEffects.uniforms[s]; u; u &= u - 1) ++m_serial[__builtin_ctz(u)];
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value)
{
    const DWORD s = (DWORD)State;
    if (s >= 256 || !kEffects.valid[s]) return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->values.rs[s] = Value;
        m_recording->mask.rs.set(s);
        return S_OK;
    }
    if (m_state.rs[s] == Value) return S_OK;
    m_state.rs[s] = Value;
    MarkRenderState(s);
    return S_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue)
{
    if (!pValue) return D3DERR_INVALIDCALL;
    const DWORD s = (DWORD)State;
    if (s >= 256) {
        *pValue = 0;
        return D3DERR_INVALIDCALL;
    }
    *pValue = m_state.rs[s];
    return kEffects.valid[s] ? S_OK : D3DERR_INVALIDCALL;
}

void Device::MarkTransform(int slot)
{
    if (slot == 0) {
        ++m_serial[UTransforms];
        ++m_serial[ULights];
    } else if (slot == 1) {
        ++m_serial[UProjection];
        ++m_serial[UFog];
    } else if (slot < 10) {
        ++m_serial[UTexMatrices];
    } else {
        if (slot - 10 <= kMaxBlendIndex) ++m_serial[UTransforms];
    }
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* m)
{
    int slot = TransformSlot(State);
    if (slot < 0 || !m) return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->values.transforms[slot] = *m;
        m_recording->mask.transforms.set((size_t)slot);
        return S_OK;
    }
    if (std::memcmp(&m_state.transforms[slot], m, sizeof(D3DMATRIX)) == 0) return S_OK;
    m_state.transforms[slot] = *m;
    MarkTransform(slot);
    return S_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* m)
{
    int slot = TransformSlot(State);
    if (slot < 0 || !m) return D3DERR_INVALIDCALL;
    *m = m_state.transforms[slot];
    return S_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* m)
{
    int slot = TransformSlot(State);
    if (slot < 0 || !m) return D3DERR_INVALIDCALL;
    const D3DMATRIX& a = m_state.transforms[slot];
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a.m[i][k] * m->m[k][j];
            r.m[i][j] = s;
        }
    return SetTransform(State, &r);
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* vp)
{
    if (!vp) return D3DERR_INVALIDCALL;
    if (!m_recording && m_renderTarget &&
        (vp->Width == 0 || vp->Height == 0 || vp->X + vp->Width > m_renderTarget->width ||
         vp->Y + vp->Height > m_renderTarget->height || vp->MinZ < 0.0f || vp->MaxZ > 1.0f || vp->MinZ > vp->MaxZ))
        return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->values.viewport = *vp;
        m_recording->mask.viewport = true;
        return S_OK;
    }
    m_state.viewport = *vp;
    m_dirty |= DirtyViewport;
    ++m_serial[UViewport];
    ++m_serial[UPoint];
    return S_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* vp)
{
    if (!vp) return D3DERR_INVALIDCALL;
    *vp = m_state.viewport;
    return S_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* m)
{
    if (!m) return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->values.material = *m;
        m_recording->mask.material = true;
        return S_OK;
    }
    if (std::memcmp(&m_state.material, m, sizeof(*m)) == 0) return S_OK;
    m_state.material = *m;
    ++m_serial[UMaterial];
    return S_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* m)
{
    if (!m) return D3DERR_INVALIDCALL;
    *m = m_state.material;
    return S_OK;
}

namespace {
LightSlot DefaultLight()
{
    LightSlot l;
    std::memset(&l, 0, sizeof(l));
    l.light.Type = D3DLIGHT_DIRECTIONAL;
    l.light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    l.light.Direction = {0.0f, 0.0f, 1.0f};
    l.enabled = FALSE;
    return l;
}
} // namespace

HRESULT Device::SetLight(DWORD Index, const D3DLIGHT9* light)
{
    if (!light) return D3DERR_INVALIDCALL;
    if (light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL) return D3DERR_INVALIDCALL;
    if (light->Type != D3DLIGHT_DIRECTIONAL && light->Range < 0.0f) return D3DERR_INVALIDCALL;
    if (m_recording) {
        auto it = m_recording->values.lights.find(Index);
        if (it == m_recording->values.lights.end()) {
            auto dev = m_state.lights.find(Index);
            LightSlot slot = dev != m_state.lights.end() ? dev->second : DefaultLight();
            it = m_recording->values.lights.emplace(Index, slot).first;
        }
        it->second.light = *light;
        m_recording->mask.lights[Index] = true;
        return S_OK;
    }
    auto it = m_state.lights.find(Index);
    if (it == m_state.lights.end()) it = m_state.lights.emplace(Index, DefaultLight()).first;
    const bool typeChanged = it->second.light.Type != light->Type;
    it->second.light = *light;
    ++m_serial[ULights];
    if (typeChanged && it->second.enabled) m_dirty |= DirtyVertexKey;
    return S_OK;
}

HRESULT Device::GetLight(DWORD Index, D3DLIGHT9* light)
{
    if (!light) return D3DERR_INVALIDCALL;
    auto it = m_state.lights.find(Index);
    if (it == m_state.lights.end()) return D3DERR_INVALIDCALL;
    *light = it->second.light;
    return S_OK;
}

HRESULT Device::LightEnable(DWORD Index, BOOL Enable)
{
    const BOOL on = Enable ? TRUE : FALSE;
    if (m_recording) {
        auto it = m_recording->values.lights.find(Index);
        if (it == m_recording->values.lights.end()) {
            auto dev = m_state.lights.find(Index);
            LightSlot slot = dev != m_state.lights.end() ? dev->second : DefaultLight();
            it = m_recording->values.lights.emplace(Index, slot).first;
        }
        it->second.enabled = on;
        m_recording->mask.lights[Index] = true;
        return S_OK;
    }
    auto it = m_state.lights.find(Index);
    if (it == m_state.lights.end()) it = m_state.lights.emplace(Index, DefaultLight()).first;
    if (it->second.enabled == on) return S_OK;
    it->second.enabled = on;
    ++m_serial[ULights];
    m_dirty |= DirtyVertexKey;
    return S_OK;
}

HRESULT Device::GetLightEnable(DWORD Index, BOOL* pEnable)
{
    if (!pEnable) return D3DERR_INVALIDCALL;
    auto it = m_state.lights.find(Index);
    if (it == m_state.lights.end()) return D3DERR_INVALIDCALL;
    *pEnable = it->second.enabled ? 128 : 0;  // Direct3D 9 reports an enabled light as 128
    return S_OK;
}

HRESULT Device::SetClipPlane(DWORD Index, const float* p)
{
    if (Index >= 6 || !p) return D3DERR_INVALIDCALL;
    float* dst = m_recording ? m_recording->values.clipPlanes[Index] : m_state.clipPlanes[Index];
    std::memcpy(dst, p, 16);
    if (m_recording) m_recording->mask.clipPlanes.set(Index);
    return S_OK;
}

HRESULT Device::GetClipPlane(DWORD Index, float* p)
{
    if (Index >= 6 || !p) return D3DERR_INVALIDCALL;
    std::memcpy(p, m_state.clipPlanes[Index], 16);
    return S_OK;
}

HRESULT Device::GetClipStatus(D3DCLIPSTATUS9* s)
{
    if (!s) return D3DERR_INVALIDCALL;
    s->ClipUnion = 0;
    s->ClipIntersection = 0xFFFFFFFF;
    return S_OK;
}

HRESULT Device::GetTexture(DWORD Stage, IDirect3DBaseTexture9** pp)
{
    if (!pp || Stage >= kMaxSamplers) return D3DERR_INVALIDCALL;
    *pp = m_state.textures[Stage];
    if (*pp) (*pp)->AddRef();
    return S_OK;
}

HRESULT Device::SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture)
{
    if (Stage >= kMaxSamplers) {
        // Vertex texture and displacement samplers: accepted, not sampled.
        if (Stage >= D3DDMAPSAMPLER && Stage <= D3DVERTEXTEXTURESAMPLER3) return S_OK;
        return D3DERR_INVALIDCALL;
    }
    TextureImpl* t = nullptr;
    if (pTexture) {
        t = dynamic_cast<TextureImpl*>(pTexture);
        if (!t) return D3DERR_INVALIDCALL;
    }
    if (m_recording) {
        SetBound(m_recording->values.textures[Stage], t);
        m_recording->mask.textures.set(Stage);
        return S_OK;
    }
    if (m_state.textures[Stage] == t) return S_OK;
    // Whether a stage has a texture shapes both key halves; which texture it is, neither.
    const bool presenceChanged = (m_state.textures[Stage] == nullptr) != (t == nullptr);
    SetBound(m_state.textures[Stage], t);
    m_dirty |= DirtyTextures;
    if (presenceChanged) m_dirty |= DirtyKeys;
    return S_OK;
}

HRESULT Device::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue)
{
    if (!pValue || Stage >= kMaxStages || (DWORD)Type >= D3D_TEXTURESTAGESTATE_COUNT) return D3DERR_INVALIDCALL;
    *pValue = m_state.tss[Stage][Type];
    return S_OK;
}

HRESULT Device::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value)
{
    if (Stage >= kMaxStages || (DWORD)Type >= D3D_TEXTURESTAGESTATE_COUNT || Type == 0) return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->values.tss[Stage][Type] = Value;
        m_recording->mask.tss[Stage].set(Type);
        return S_OK;
    }
    if (m_state.tss[Stage][Type] == Value) return S_OK;
    m_state.tss[Stage][Type] = Value;
    // A stage's operations decide how many stages there are, which both halves read.
    if (Type == D3DTSS_CONSTANT) ++m_serial[UPixel];
    else if (!IsBumpState(Type)) m_dirty |= DirtyKeys;
    return S_OK;
}

HRESULT Device::GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue)
{
    if (!pValue || Sampler >= kMaxSamplers || (DWORD)Type >= D3D_SAMPLERSTATE_COUNT) return D3DERR_INVALIDCALL;
    *pValue = m_state.samp[Sampler][Type];
    return S_OK;
}

HRESULT Device::SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value)
{
    if (Sampler >= kMaxSamplers) {
        if (Sampler >= D3DDMAPSAMPLER && Sampler <= D3DVERTEXTEXTURESAMPLER3) return S_OK;
        return D3DERR_INVALIDCALL;
    }
    if ((DWORD)Type >= D3D_SAMPLERSTATE_COUNT || Type == 0) return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->values.samp[Sampler][Type] = Value;
        m_recording->mask.samp[Sampler].set(Type);
        return S_OK;
    }
    if (m_state.samp[Sampler][Type] == Value) return S_OK;
    m_state.samp[Sampler][Type] = Value;
    m_dirty |= DirtySamplers;
    m_dirtySamplers |= 1u << Sampler;
    return S_OK;
}

HRESULT Device::ValidateDevice(DWORD* pNumPasses)
{
    if (!pNumPasses) return D3DERR_INVALIDCALL;
    *pNumPasses = 1;
    return ValidateStageSetUp(m_validationCaps ? *m_validationCaps : m_caps,
                              [this](DWORD s, D3DTEXTURESTAGESTATETYPE t) { return m_state.tss[s][t]; });
}

HRESULT Device::SetScissorRect(const RECT* r)
{
    if (!r) return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->values.scissor = *r;
        m_recording->mask.scissor = true;
        return S_OK;
    }
    m_state.scissor = *r;
    m_dirty |= DirtyScissor;
    return S_OK;
}

HRESULT Device::GetScissorRect(RECT* r)
{
    if (!r) return D3DERR_INVALIDCALL;
    *r = m_state.scissor;
    return S_OK;
}

HRESULT Device::SetSoftwareVertexProcessing(BOOL bSoftware)
{
    const DWORD vp = m_cp.BehaviorFlags;
    if (!(vp & D3DCREATE_MIXED_VERTEXPROCESSING)) {
        // Only a mixed device can switch; the others keep what they were made with.
        if (bSoftware && !(vp & D3DCREATE_SOFTWARE_VERTEXPROCESSING)) return D3DERR_INVALIDCALL;
        if (!bSoftware && (vp & D3DCREATE_SOFTWARE_VERTEXPROCESSING)) return D3DERR_INVALIDCALL;
    }
    m_softwareVP = bSoftware ? TRUE : FALSE;
    return S_OK;
}

// ---- Vertex input and shader bindings -----------------------------------------------------
HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* e, IDirect3DVertexDeclaration9** pp)
{
    if (!e || !pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    UINT n = 0;
    while (e[n].Stream != 0xFF) {
        if (n >= MAXD3DDECLLENGTH || e[n].Type >= D3DDECLTYPE_UNUSED || e[n].Stream >= kMaxStreams)
            return D3DERR_INVALIDCALL;
        ++n;
    }
    std::vector<D3DVERTEXELEMENT9> el(e, e + n);
    VertexLayout test;
    if (!LayoutFromDecl(el, test)) return D3DERR_INVALIDCALL;
    *pp = new VertexDeclImpl(this, e, n);
    return S_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl)
{
    VertexDeclImpl* d = static_cast<VertexDeclImpl*>(pDecl);
    DeviceState& s = m_recording ? m_recording->values : m_state;
    if (m_recording) m_recording->mask.decl = true;
    if (!m_recording && s.decl == d && (d || s.fvf == 0)) return S_OK;
    SetBound(s.decl, d);
    s.fvf = 0;
    if (!m_recording) m_dirty |= DirtyLayout | DirtyInput | DirtyVertexKey;
    return S_OK;
}

HRESULT Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = m_state.decl;
    if (*pp) (*pp)->AddRef();
    return S_OK;
}

HRESULT Device::SetFVF(DWORD FVF)
{
    DeviceState& s = m_recording ? m_recording->values : m_state;
    if (m_recording) m_recording->mask.decl = true;
    if (!m_recording && s.fvf == FVF && !s.decl) return S_OK;
    if (FVF) {
        VertexLayout test;
        if (!LayoutFromFVF(FVF, test)) return D3DERR_INVALIDCALL;
    }
    SetBound(s.decl, (VertexDeclImpl*)nullptr);
    s.fvf = FVF;
    if (!m_recording) m_dirty |= DirtyLayout | DirtyInput | DirtyVertexKey;
    return S_OK;
}

HRESULT Device::GetFVF(DWORD* pFVF)
{
    if (!pFVF) return D3DERR_INVALIDCALL;
    *pFVF = m_state.fvf;
    return S_OK;
}

HRESULT Device::SetStreamSource(UINT n, IDirect3DVertexBuffer9* pVB, UINT offset, UINT stride)
{
    if (n >= kMaxStreams) return D3DERR_INVALIDCALL;
    VertexBufferImpl* vb = static_cast<VertexBufferImpl*>(pVB);
    DeviceState& s = m_recording ? m_recording->values : m_state;
    StreamSlot& slot = s.streams[n];
    if (m_recording) m_recording->mask.streams.set(n);
    // Unbinding keeps the stride.
    if (!vb) stride = slot.stride;
    if (!m_recording && slot.vb == vb && slot.offset == offset && slot.stride == stride) return S_OK;
    SetBound(slot.vb, vb);
    slot.offset = offset;
    slot.stride = stride;
    if (!m_recording) m_dirty |= DirtyInput;
    return S_OK;
}

HRESULT Device::GetStreamSource(UINT n, IDirect3DVertexBuffer9** pp, UINT* offset, UINT* stride)
{
    if (n >= kMaxStreams || !pp || !offset || !stride) return D3DERR_INVALIDCALL;
    *pp = m_state.streams[n].vb;
    if (*pp) (*pp)->AddRef();
    *offset = m_state.streams[n].offset;
    *stride = m_state.streams[n].stride;
    return S_OK;
}

HRESULT Device::SetStreamSourceFreq(UINT n, UINT setting)
{
    if (n >= kMaxStreams) return D3DERR_INVALIDCALL;
    DeviceState& s = m_recording ? m_recording->values : m_state;
    s.streams[n].freq = setting;
    if (m_recording) m_recording->mask.streamFreq.set(n);
    return S_OK;
}

HRESULT Device::GetStreamSourceFreq(UINT n, UINT* setting)
{
    if (n >= kMaxStreams || !setting) return D3DERR_INVALIDCALL;
    *setting = m_state.streams[n].freq;
    return S_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* pIB)
{
    IndexBufferImpl* ib = static_cast<IndexBufferImpl*>(pIB);
    DeviceState& s = m_recording ? m_recording->values : m_state;
    if (m_recording) m_recording->mask.indices = true;
    SetBound(s.indices, ib);
    return S_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = m_state.indices;
    if (*pp) (*pp)->AddRef();
    return S_OK;
}

// ---- State blocks --------------------------------------------------------------------
HRESULT Device::CreateStateBlock(D3DSTATEBLOCKTYPE Type, IDirect3DStateBlock9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (m_recording) return D3DERR_INVALIDCALL;
    if (Type != D3DSBT_ALL && Type != D3DSBT_PIXELSTATE && Type != D3DSBT_VERTEXSTATE) return D3DERR_INVALIDCALL;
    StateBlockImpl* b = new StateBlockImpl(this);
    FillStateMask(b->mask, Type, m_state);
    b->Capture();
    *pp = b;
    return S_OK;
}

HRESULT Device::BeginStateBlock()
{
    if (m_recording) return D3DERR_INVALIDCALL;
    m_recording = new StateBlockImpl(this);
    // The block holds the device only once it is handed out.
    --m_refs;
    return S_OK;
}

HRESULT Device::EndStateBlock(IDirect3DStateBlock9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (!m_recording) return D3DERR_INVALIDCALL;
    *pp = m_recording;
    m_recording = nullptr;
    AddRef();
    return S_OK;
}

void Device::ApplyBlock(const StateMask& m, const DeviceState& v)
{
    for (int i = 0; i < 256; ++i)
        if (m.rs[i]) SetRenderState((D3DRENDERSTATETYPE)i, v.rs[i]);
    for (int s = 0; s < kMaxStages; ++s)
        for (int t = 1; t < D3D_TEXTURESTAGESTATE_COUNT; ++t)
            if (m.tss[s][t]) SetTextureStageState((DWORD)s, (D3DTEXTURESTAGESTATETYPE)t, v.tss[s][t]);
    for (int s = 0; s < kMaxSamplers; ++s)
        for (int t = 1; t < D3D_SAMPLERSTATE_COUNT; ++t)
            if (m.samp[s][t]) SetSamplerState((DWORD)s, (D3DSAMPLERSTATETYPE)t, v.samp[s][t]);
    for (int i = 0; i < kNumTransforms; ++i) {
        if (!m.transforms[i]) continue;
        D3DTRANSFORMSTATETYPE t = i == 0   ? D3DTS_VIEW
                                  : i == 1 ? D3DTS_PROJECTION
                                  : i < 10 ? (D3DTRANSFORMSTATETYPE)(D3DTS_TEXTURE0 + (i - 2))
                                           : D3DTS_WORLDMATRIX(i - 10);
        SetTransform(t, &v.transforms[i]);
    }
    if (m.material) SetMaterial(&v.material);
    if (m.viewport) {
        // A viewport recorded for a larger target than the current one is cut to it.
        D3DVIEWPORT9 vp = v.viewport;
        if (m_renderTarget) {
            vp.X = std::min(vp.X, m_renderTarget->width - 1);
            vp.Y = std::min(vp.Y, m_renderTarget->height - 1);
            vp.Width = std::max(1u, std::min(vp.Width, (DWORD)m_renderTarget->width - vp.X));
            vp.Height = std::max(1u, std::min(vp.Height, (DWORD)m_renderTarget->height - vp.Y));
        }
        SetViewport(&vp);
    }
    if (m.scissor) SetScissorRect(&v.scissor);
    for (int i = 0; i < 6; ++i)
        if (m.clipPlanes[i]) SetClipPlane((DWORD)i, v.clipPlanes[i]);
    for (const auto& l : m.lights) {
        auto it = v.lights.find(l.first);
        if (it == v.lights.end()) continue;
        SetLight(l.first, &it->second.light);
        LightEnable(l.first, it->second.enabled);
    }
    for (int i = 0; i < kMaxSamplers; ++i)
        if (m.textures[i]) SetTexture((DWORD)i, v.textures[i]);
    for (int i = 0; i < kMaxStreams; ++i) {
        if (m.streams[i]) SetStreamSource((UINT)i, v.streams[i].vb, v.streams[i].offset, v.streams[i].stride);
        if (m.streamFreq[i]) SetStreamSourceFreq((UINT)i, v.streams[i].freq);
    }
    if (m.indices) SetIndices(v.indices);
    if (m.decl) {
        if (v.decl) SetVertexDeclaration(v.decl);
        else SetFVF(v.fvf);
    }
    if (m.vs) SetVertexShader(v.vs);
    if (m.ps) SetPixelShader(v.ps);
    for (int i = 0; i < kMaxVSConstF; ++i)
        if (m.vsConstF[i]) SetVertexShaderConstantF((UINT)i, v.vsConstF[i], 1);
    for (int i = 0; i < kMaxPSConstF; ++i)
        if (m.psConstF[i]) SetPixelShaderConstantF((UINT)i, v.psConstF[i], 1);
    for (int i = 0; i < 16; ++i) {
        if (m.vsConstI[i]) SetVertexShaderConstantI((UINT)i, v.vsConstI[i], 1);
        if (m.psConstI[i]) SetPixelShaderConstantI((UINT)i, v.psConstI[i], 1);
        if (m.vsConstB[i]) SetVertexShaderConstantB((UINT)i, &v.vsConstB[i], 1);
        if (m.psConstB[i]) SetPixelShaderConstantB((UINT)i, &v.psConstB[i], 1);
    }
}

} // namespace d3d9gl
