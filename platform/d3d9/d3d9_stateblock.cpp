// Device state defaults and state blocks.
#include "d3d9_device.h"
#include "d3d9_state_defaults.h"

#include <cstring>

namespace d3d9gl {

namespace {
void Identity(D3DMATRIX& m)
{
    std::memset(&m, 0, sizeof(m));
    m._11 = m._22 = m._33 = m._44 = 1.0f;
}
} // namespace

int TransformSlot(D3DTRANSFORMSTATETYPE t)
{
    const DWORD v = (DWORD)t;
    if (v == D3DTS_VIEW) return 0;
    if (v == D3DTS_PROJECTION) return 1;
    if (v >= D3DTS_TEXTURE0 && v <= D3DTS_TEXTURE7) return 2 + (int)(v - D3DTS_TEXTURE0);
    if (v >= 256 && v < 512) return 10 + (int)(v - 256);
    return -1;
}

void DeviceState::SetDefaults()
{
    std::memset(rs, 0, sizeof(rs));
    for (size_t i = 0; i < kRenderStateDefaultCount; ++i)
        rs[kRenderStateDefaults[i].state] = kRenderStateDefaults[i].value;
    for (int s = 0; s < kMaxStages; ++s) StageStateDefaults((DWORD)s, tss[s]);
    for (int s = 0; s < kMaxSamplers; ++s) SamplerStateDefaults(samp[s]);
    for (D3DMATRIX& m : transforms) Identity(m);
    std::memset(&material, 0, sizeof(material));
    std::memset(&viewport, 0, sizeof(viewport));
    std::memset(&scissor, 0, sizeof(scissor));
    std::memset(clipPlanes, 0, sizeof(clipPlanes));
    lights.clear();
    fvf = 0;
    std::memset(vsConstF, 0, sizeof(vsConstF));
    std::memset(vsConstI, 0, sizeof(vsConstI));
    std::memset(vsConstB, 0, sizeof(vsConstB));
    std::memset(psConstF, 0, sizeof(psConstF));
    std::memset(psConstI, 0, sizeof(psConstI));
    std::memset(psConstB, 0, sizeof(psConstB));
}

void DeviceState::ReleaseBindings()
{
    for (TextureImpl*& t : textures) SetBound(t, (TextureImpl*)nullptr);
    for (StreamSlot& s : streams) SetBound(s.vb, (VertexBufferImpl*)nullptr);
    SetBound(indices, (IndexBufferImpl*)nullptr);
    SetBound(decl, (VertexDeclImpl*)nullptr);
    SetBound(vs, (VertexShaderImpl*)nullptr);
    SetBound(ps, (PixelShaderImpl*)nullptr);
}

void FillStateMask(StateMask& m, D3DSTATEBLOCKTYPE type, const DeviceState& device)
{
    const bool all = type == D3DSBT_ALL;
    const bool pixel = all || type == D3DSBT_PIXELSTATE;
    const bool vertex = all || type == D3DSBT_VERTEXSTATE;
    for (size_t i = 0; i < kRenderStateDefaultCount; ++i) {
        const RenderStateDefault& r = kRenderStateDefaults[i];
        if ((pixel && (r.blocks & kPixelBlock)) || (vertex && (r.blocks & kVertexBlock))) m.rs.set(r.state);
    }
    for (int s = 0; s < kMaxStages; ++s) {
        for (int t = 1; t < D3D_TEXTURESTAGESTATE_COUNT; ++t)
            if (IsVertexStageState((DWORD)t) ? vertex : pixel) m.tss[s].set(t);
    }
    if (pixel)
        for (int s = 0; s < kMaxSamplers; ++s)
            for (int t = 1; t < D3D_SAMPLERSTATE_COUNT; ++t) m.samp[s].set(t);
    if (vertex) {
        for (const auto& l : device.lights) m.lights[l.first] = true;
        m.vs = true;
        m.vsConstF.set();
        m.vsConstI.set();
        m.vsConstB.set();
        m.decl = true;
        m.streamFreq.set();
    }
    if (pixel) {
        m.ps = true;
        m.psConstF.set();
        m.psConstI.set();
        m.psConstB.set();
    }
    if (all) {
        m.transforms.set();
        m.material = m.viewport = m.scissor = true;
        m.clipPlanes.set();
        m.textures.set();
        m.streams.set();
        m.indices = true;
    }
}

// ---- State blocks ----------------------------------------------------------------
StateBlockImpl::StateBlockImpl(Device* device) : Child<IDirect3DStateBlock9>(device) { values.SetDefaults(); }

StateBlockImpl::~StateBlockImpl() { values.ReleaseBindings(); }

bool StateBlockImpl::Matches(REFIID riid) const { return riid == IID_IDirect3DStateBlock9; }

HRESULT StateBlockImpl::GetDevice(IDirect3DDevice9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = m_device;
    m_device->AddRef();
    return S_OK;
}

HRESULT StateBlockImpl::Capture()
{
    if (m_device->Recording()) return D3DERR_INVALIDCALL;
    const DeviceState& d = m_device->State();
    DeviceState& v = values;
    for (int i = 0; i < 256; ++i)
        if (mask.rs[i]) v.rs[i] = d.rs[i];
    for (int s = 0; s < kMaxStages; ++s)
        for (int t = 0; t < D3D_TEXTURESTAGESTATE_COUNT; ++t)
            if (mask.tss[s][t]) v.tss[s][t] = d.tss[s][t];
    for (int s = 0; s < kMaxSamplers; ++s)
        for (int t = 0; t < D3D_SAMPLERSTATE_COUNT; ++t)
            if (mask.samp[s][t]) v.samp[s][t] = d.samp[s][t];
    for (int i = 0; i < kNumTransforms; ++i)
        if (mask.transforms[i]) v.transforms[i] = d.transforms[i];
    if (mask.material) v.material = d.material;
    if (mask.viewport) v.viewport = d.viewport;
    if (mask.scissor) v.scissor = d.scissor;
    for (int i = 0; i < 6; ++i)
        if (mask.clipPlanes[i]) std::memcpy(v.clipPlanes[i], d.clipPlanes[i], sizeof(v.clipPlanes[i]));
    // Only the lights the block carries; a light the device does not have
    // (yet) is left out.
    for (auto& l : mask.lights) {
        auto it = d.lights.find(l.first);
        if (it != d.lights.end()) v.lights[l.first] = it->second;
    }
    for (int i = 0; i < kMaxSamplers; ++i)
        if (mask.textures[i]) SetBound(v.textures[i], d.textures[i]);
    for (int i = 0; i < kMaxStreams; ++i) {
        if (mask.streams[i]) {
            SetBound(v.streams[i].vb, d.streams[i].vb);
            v.streams[i].offset = d.streams[i].offset;
            v.streams[i].stride = d.streams[i].stride;
        }
        if (mask.streamFreq[i]) v.streams[i].freq = d.streams[i].freq;
    }
    if (mask.indices) SetBound(v.indices, d.indices);
    if (mask.decl) {
        SetBound(v.decl, d.decl);
        v.fvf = d.fvf;
    }
    if (mask.vs) SetBound(v.vs, d.vs);
    if (mask.ps) SetBound(v.ps, d.ps);
    for (int i = 0; i < kMaxVSConstF; ++i)
        if (mask.vsConstF[i]) std::memcpy(v.vsConstF[i], d.vsConstF[i], 16);
    for (int i = 0; i < kMaxPSConstF; ++i)
        if (mask.psConstF[i]) std::memcpy(v.psConstF[i], d.psConstF[i], 16);
    for (int i = 0; i < 16; ++i) {
        if (mask.vsConstI[i]) std::memcpy(v.vsConstI[i], d.vsConstI[i], 16);
        if (mask.psConstI[i]) std::memcpy(v.psConstI[i], d.psConstI[i], 16);
        if (mask.vsConstB[i]) v.vsConstB[i] = d.vsConstB[i];
        if (mask.psConstB[i]) v.psConstB[i] = d.psConstB[i];
    }
    return S_OK;
}

HRESULT StateBlockImpl::Apply()
{
    if (m_device->Recording()) return D3DERR_INVALIDCALL;
    m_device->ApplyBlock(mask, values);
    return S_OK;
}

} // namespace d3d9gl
