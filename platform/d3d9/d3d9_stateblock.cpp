// Device state defaults and state blocks.
#include "d3d9_device.h"

#include <cstring>

namespace d3d9gl {

namespace {
DWORD F(float f)
{
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

void Identity(D3DMATRIX& m)
{
    std::memset(&m, 0, sizeof(m));
    m._11 = m._22 = m._33 = m._44 = 1.0f;
}

const D3DRENDERSTATETYPE kPixelStates[] = {
    D3DRS_ZENABLE, D3DRS_FILLMODE, D3DRS_SHADEMODE, D3DRS_ZWRITEENABLE, D3DRS_ALPHATESTENABLE, D3DRS_LASTPIXEL,
    D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_ZFUNC, D3DRS_ALPHAREF, D3DRS_ALPHAFUNC, D3DRS_DITHERENABLE,
    D3DRS_FOGSTART, D3DRS_FOGEND, D3DRS_FOGDENSITY, D3DRS_ALPHABLENDENABLE, D3DRS_DEPTHBIAS, D3DRS_STENCILENABLE,
    D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS, D3DRS_STENCILFUNC, D3DRS_STENCILREF,
    D3DRS_STENCILMASK, D3DRS_STENCILWRITEMASK, D3DRS_TEXTUREFACTOR, D3DRS_WRAP0, D3DRS_WRAP1, D3DRS_WRAP2,
    D3DRS_WRAP3, D3DRS_WRAP4, D3DRS_WRAP5, D3DRS_WRAP6, D3DRS_WRAP7, D3DRS_WRAP8, D3DRS_WRAP9, D3DRS_WRAP10,
    D3DRS_WRAP11, D3DRS_WRAP12, D3DRS_WRAP13, D3DRS_WRAP14, D3DRS_WRAP15, D3DRS_COLORWRITEENABLE, D3DRS_BLENDOP,
    D3DRS_SCISSORTESTENABLE, D3DRS_SLOPESCALEDEPTHBIAS, D3DRS_ANTIALIASEDLINEENABLE, D3DRS_TWOSIDEDSTENCILMODE,
    D3DRS_CCW_STENCILFAIL, D3DRS_CCW_STENCILZFAIL, D3DRS_CCW_STENCILPASS, D3DRS_CCW_STENCILFUNC,
    D3DRS_COLORWRITEENABLE1, D3DRS_COLORWRITEENABLE2, D3DRS_COLORWRITEENABLE3, D3DRS_BLENDFACTOR,
    D3DRS_SRGBWRITEENABLE, D3DRS_SEPARATEALPHABLENDENABLE, D3DRS_SRCBLENDALPHA, D3DRS_DESTBLENDALPHA,
    D3DRS_BLENDOPALPHA,
};

const D3DRENDERSTATETYPE kVertexStates[] = {
    D3DRS_CULLMODE, D3DRS_FOGENABLE, D3DRS_FOGCOLOR, D3DRS_FOGTABLEMODE, D3DRS_FOGSTART, D3DRS_FOGEND,
    D3DRS_FOGDENSITY, D3DRS_RANGEFOGENABLE, D3DRS_AMBIENT, D3DRS_COLORVERTEX, D3DRS_FOGVERTEXMODE, D3DRS_CLIPPING,
    D3DRS_LIGHTING, D3DRS_LOCALVIEWER, D3DRS_EMISSIVEMATERIALSOURCE, D3DRS_AMBIENTMATERIALSOURCE,
    D3DRS_DIFFUSEMATERIALSOURCE, D3DRS_SPECULARMATERIALSOURCE, D3DRS_VERTEXBLEND, D3DRS_CLIPPLANEENABLE,
    D3DRS_POINTSIZE, D3DRS_POINTSIZE_MIN, D3DRS_POINTSPRITEENABLE, D3DRS_POINTSCALEENABLE, D3DRS_POINTSCALE_A,
    D3DRS_POINTSCALE_B, D3DRS_POINTSCALE_C, D3DRS_MULTISAMPLEANTIALIAS, D3DRS_MULTISAMPLEMASK,
    D3DRS_PATCHEDGESTYLE, D3DRS_POINTSIZE_MAX, D3DRS_INDEXEDVERTEXBLENDENABLE, D3DRS_TWEENFACTOR,
    D3DRS_POSITIONDEGREE, D3DRS_NORMALDEGREE, D3DRS_MINTESSELLATIONLEVEL, D3DRS_MAXTESSELLATIONLEVEL,
    D3DRS_ADAPTIVETESS_X, D3DRS_ADAPTIVETESS_Y, D3DRS_ADAPTIVETESS_Z, D3DRS_ADAPTIVETESS_W,
    D3DRS_ENABLEADAPTIVETESSELLATION, D3DRS_NORMALIZENORMALS, D3DRS_SPECULARENABLE, D3DRS_SHADEMODE,
};
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

bool IsRenderState(DWORD s)
{
    for (D3DRENDERSTATETYPE p : kPixelStates)
        if ((DWORD)p == s) return true;
    for (D3DRENDERSTATETYPE p : kVertexStates)
        if ((DWORD)p == s) return true;
    return s == D3DRS_DEBUGMONITORTOKEN;
}

void DeviceState::SetDefaults()
{
    std::memset(rs, 0, sizeof(rs));
    rs[D3DRS_ZENABLE] = D3DZB_TRUE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_ALPHATESTENABLE] = FALSE;
    rs[D3DRS_LASTPIXEL] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAREF] = 0;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_DITHERENABLE] = FALSE;
    rs[D3DRS_ALPHABLENDENABLE] = FALSE;
    rs[D3DRS_FOGENABLE] = FALSE;
    rs[D3DRS_SPECULARENABLE] = FALSE;
    rs[D3DRS_FOGCOLOR] = 0;
    rs[D3DRS_FOGTABLEMODE] = D3DFOG_NONE;
    rs[D3DRS_FOGSTART] = F(0.0f);
    rs[D3DRS_FOGEND] = F(1.0f);
    rs[D3DRS_FOGDENSITY] = F(1.0f);
    rs[D3DRS_RANGEFOGENABLE] = FALSE;
    rs[D3DRS_STENCILENABLE] = FALSE;
    rs[D3DRS_STENCILFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILREF] = 0;
    rs[D3DRS_STENCILMASK] = 0xFFFFFFFF;
    rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_AMBIENT] = 0;
    rs[D3DRS_FOGVERTEXMODE] = D3DFOG_NONE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_LOCALVIEWER] = TRUE;
    rs[D3DRS_NORMALIZENORMALS] = FALSE;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_VERTEXBLEND] = D3DVBF_DISABLE;
    rs[D3DRS_CLIPPLANEENABLE] = 0;
    rs[D3DRS_POINTSIZE] = F(1.0f);
    rs[D3DRS_POINTSIZE_MIN] = F(1.0f);
    rs[D3DRS_POINTSPRITEENABLE] = FALSE;
    rs[D3DRS_POINTSCALEENABLE] = FALSE;
    rs[D3DRS_POINTSCALE_A] = F(1.0f);
    rs[D3DRS_POINTSCALE_B] = F(0.0f);
    rs[D3DRS_POINTSCALE_C] = F(0.0f);
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    rs[D3DRS_PATCHEDGESTYLE] = D3DPATCHEDGE_DISCRETE;
    rs[D3DRS_DEBUGMONITORTOKEN] = D3DDMT_ENABLE;
    rs[D3DRS_POINTSIZE_MAX] = F(64.0f);
    rs[D3DRS_INDEXEDVERTEXBLENDENABLE] = FALSE;
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_TWEENFACTOR] = F(0.0f);
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_POSITIONDEGREE] = D3DDEGREE_CUBIC;
    rs[D3DRS_NORMALDEGREE] = D3DDEGREE_LINEAR;
    rs[D3DRS_SCISSORTESTENABLE] = FALSE;
    rs[D3DRS_SLOPESCALEDEPTHBIAS] = 0;
    rs[D3DRS_ANTIALIASEDLINEENABLE] = FALSE;
    rs[D3DRS_MINTESSELLATIONLEVEL] = F(1.0f);
    rs[D3DRS_MAXTESSELLATIONLEVEL] = F(1.0f);
    rs[D3DRS_ADAPTIVETESS_X] = F(0.0f);
    rs[D3DRS_ADAPTIVETESS_Y] = F(0.0f);
    rs[D3DRS_ADAPTIVETESS_Z] = F(1.0f);
    rs[D3DRS_ADAPTIVETESS_W] = F(0.0f);
    rs[D3DRS_ENABLEADAPTIVETESSELLATION] = FALSE;
    rs[D3DRS_TWOSIDEDSTENCILMODE] = FALSE;
    rs[D3DRS_CCW_STENCILFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_COLORWRITEENABLE1] = 0xF;
    rs[D3DRS_COLORWRITEENABLE2] = 0xF;
    rs[D3DRS_COLORWRITEENABLE3] = 0xF;
    rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_SRGBWRITEENABLE] = 0;
    rs[D3DRS_DEPTHBIAS] = 0;
    rs[D3DRS_SEPARATEALPHABLENDENABLE] = FALSE;
    rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;

    std::memset(tss, 0, sizeof(tss));
    for (int s = 0; s < kMaxStages; ++s) {
        tss[s][D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        tss[s][D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        tss[s][D3DTSS_COLORARG2] = D3DTA_CURRENT;
        tss[s][D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        tss[s][D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        tss[s][D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        tss[s][D3DTSS_TEXCOORDINDEX] = (DWORD)s;
        tss[s][D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        tss[s][D3DTSS_COLORARG0] = D3DTA_CURRENT;
        tss[s][D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        tss[s][D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    std::memset(samp, 0, sizeof(samp));
    for (int s = 0; s < kMaxSamplers; ++s) {
        samp[s][D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        samp[s][D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        samp[s][D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        samp[s][D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        samp[s][D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        samp[s][D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        samp[s][D3DSAMP_MAXANISOTROPY] = 1;
    }
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
    if (pixel)
        for (D3DRENDERSTATETYPE s : kPixelStates) m.rs.set(s);
    if (vertex)
        for (D3DRENDERSTATETYPE s : kVertexStates) m.rs.set(s);
    for (int s = 0; s < kMaxStages; ++s) {
        for (int t = 1; t < D3D_TEXTURESTAGESTATE_COUNT; ++t) {
            const bool vertexState = t == D3DTSS_TEXCOORDINDEX || t == D3DTSS_TEXTURETRANSFORMFLAGS;
            if (vertexState ? vertex : pixel) m.tss[s].set(t);
        }
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
