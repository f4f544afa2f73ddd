// Draw calls: the GL state of a draw, prepared in a few named steps.
#include "d3d9_device.h"
#include "d3d9_helpers.h"

#include <algorithm>
#include <cstring>

namespace d3d9gl {

namespace {
GLenum GLCompare(DWORD f)
{
    if (f < D3DCMP_NEVER || f > D3DCMP_ALWAYS) return GL_ALWAYS;
    return GL_NEVER + (f - 1);
}

GLenum GLStencilOp(DWORD op)
{
    switch (op) {
    case D3DSTENCILOP_ZERO: return GL_ZERO;
    case D3DSTENCILOP_REPLACE: return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT: return GL_INCR;
    case D3DSTENCILOP_DECRSAT: return GL_DECR;
    case D3DSTENCILOP_INVERT: return GL_INVERT;
    case D3DSTENCILOP_INCR: return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR: return GL_DECR_WRAP;
    default: return GL_KEEP;
    }
}

GLenum GLBlend(DWORD b)
{
    switch (b) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR: return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR: return GL_ONE_MINUS_CONSTANT_COLOR;
    default: return GL_ONE;
    }
}

GLenum GLBlendOp(DWORD op)
{
    switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
    }
}

// BOTHSRCALPHA and BOTHINVSRCALPHA set both factors from the source one.
void BlendPair(DWORD src, DWORD dst, GLenum& s, GLenum& d)
{
    if (src == D3DBLEND_BOTHSRCALPHA) {
        s = GL_SRC_ALPHA;
        d = GL_ONE_MINUS_SRC_ALPHA;
    } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
        s = GL_ONE_MINUS_SRC_ALPHA;
        d = GL_SRC_ALPHA;
    } else {
        s = GLBlend(src);
        d = GLBlend(dst);
    }
}

GLenum GLPrimitive(D3DPRIMITIVETYPE t)
{
    switch (t) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLELIST: return GL_TRIANGLES;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return 0xFFFFFFFFu;
    }
}

GLint GLWrap(DWORD a)
{
    switch (a) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE: return GL_MIRRORED_REPEAT;
    default: return GL_REPEAT;
    }
}
} // namespace

// ---- GL state -------------------------------------------------------------------------------
void Device::ApplyBlend()
{
    const DWORD* rs = m_state.rs;
    const DWORD cw = rs[D3DRS_COLORWRITEENABLE];
    // A target without alpha keeps 1 there, which is what blending reads.
    const bool alpha = (cw & 8) != 0 && m_renderTarget && m_renderTarget->fmt->hasAlpha;
    m_gl.ColorMask((cw & 1) != 0, (cw & 2) != 0, (cw & 4) != 0, alpha);
    m_gl.Enable(GLStateCache::CapBlend, rs[D3DRS_ALPHABLENDENABLE] != 0);
    if (!rs[D3DRS_ALPHABLENDENABLE]) return;
    GLenum s, d, sa, da;
    BlendPair(rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND], s, d);
    GLenum op = GLBlendOp(rs[D3DRS_BLENDOP]), opa = op;
    if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
        BlendPair(rs[D3DRS_SRCBLENDALPHA], rs[D3DRS_DESTBLENDALPHA], sa, da);
        opa = GLBlendOp(rs[D3DRS_BLENDOPALPHA]);
    } else {
        sa = s;
        da = d;
    }
    m_gl.BlendFunc(s, d, sa, da);
    m_gl.BlendEquation(op, opa);
    m_gl.BlendColor(rs[D3DRS_BLENDFACTOR]);
}

void Device::ApplyDepthStencil()
{
    const DWORD* rs = m_state.rs;
    const bool depth = rs[D3DRS_ZENABLE] != D3DZB_FALSE && m_depthStencil;
    m_gl.Enable(GLStateCache::CapDepthTest, depth);
    m_gl.DepthMask(depth && rs[D3DRS_ZWRITEENABLE]);
    if (depth) m_gl.DepthFunc(GLCompare(rs[D3DRS_ZFUNC]));
    const bool stencil = rs[D3DRS_STENCILENABLE] && HasStencil();
    m_gl.Enable(GLStateCache::CapStencilTest, stencil);
    if (stencil) {
        const GLint ref = (GLint)(rs[D3DRS_STENCILREF] & 0xFF);
        // GL's front faces (counter-clockwise in its window space) are the
        // faces Direct3D sees clockwise.
        m_gl.StencilFunc(GL_FRONT, GLCompare(rs[D3DRS_STENCILFUNC]), ref, rs[D3DRS_STENCILMASK]);
        m_gl.StencilOp(GL_FRONT, GLStencilOp(rs[D3DRS_STENCILFAIL]), GLStencilOp(rs[D3DRS_STENCILZFAIL]),
                       GLStencilOp(rs[D3DRS_STENCILPASS]));
        const bool ccw = rs[D3DRS_TWOSIDEDSTENCILMODE] != 0;
        m_gl.StencilFunc(GL_BACK, GLCompare(rs[ccw ? D3DRS_CCW_STENCILFUNC : D3DRS_STENCILFUNC]), ref,
                         rs[D3DRS_STENCILMASK]);
        m_gl.StencilOp(GL_BACK, GLStencilOp(rs[ccw ? D3DRS_CCW_STENCILFAIL : D3DRS_STENCILFAIL]),
                       GLStencilOp(rs[ccw ? D3DRS_CCW_STENCILZFAIL : D3DRS_STENCILZFAIL]),
                       GLStencilOp(rs[ccw ? D3DRS_CCW_STENCILPASS : D3DRS_STENCILPASS]));
        m_gl.StencilMask(rs[D3DRS_STENCILWRITEMASK]);
    }
}

void Device::ApplyRaster()
{
    const DWORD* rs = m_state.rs;
    // GL's front faces (counter-clockwise in its window space) are the faces Direct3D sees clockwise.
    const DWORD cull = rs[D3DRS_CULLMODE];
    m_gl.Enable(GLStateCache::CapCullFace, cull != D3DCULL_NONE);
    if (cull != D3DCULL_NONE) m_gl.CullFace(cull == D3DCULL_CW ? GL_FRONT : GL_BACK);
    const DWORD fill = rs[D3DRS_FILLMODE];
    m_gl.PolygonMode(fill == D3DFILL_POINT ? GL_POINT : fill == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL);
    const float bias = DwordFloat(rs[D3DRS_DEPTHBIAS]), slope = DwordFloat(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
    const bool offset = bias != 0.0f || slope != 0.0f;
    m_gl.Enable(GLStateCache::CapOffsetFill, offset);
    m_gl.Enable(GLStateCache::CapOffsetLine, offset);
    m_gl.Enable(GLStateCache::CapOffsetPoint, offset);
    if (offset) m_gl.PolygonOffset(slope, bias * 16777216.0f);
}

void Device::ApplyViewport()
{
    const D3DVIEWPORT9& v = m_state.viewport;
    const GLint y = m_boundWindow ? WindowRow((LONG)(v.Y + v.Height)) : (GLint)v.Y;
    m_gl.Viewport((GLint)v.X, y, (GLsizei)v.Width, (GLsizei)v.Height);
    m_gl.DepthRange(v.MinZ, v.MaxZ);
}

void Device::ApplyScissor()
{
    const bool on = m_state.rs[D3DRS_SCISSORTESTENABLE] != 0;
    m_gl.Enable(GLStateCache::CapScissorTest, on);
    if (!on) return;
    const RECT& r = m_state.scissor;
    TargetScissor(r.left, r.top, r.right, r.bottom);
}

namespace {
GLint MinFilter(const DWORD* s)
{
    const bool minLinear = s[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
    switch (s[D3DSAMP_MIPFILTER]) {
    case D3DTEXF_NONE: return minLinear ? GL_LINEAR : GL_NEAREST;
    case D3DTEXF_POINT: return minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    default: return minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    }
}

GLint MagFilter(const DWORD* s) { return s[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST; }
} // namespace

void Device::ApplySamplers()
{
    for (int i = 0; i < kMaxSamplers; ++i) {
        if (!(m_dirtySamplers & (1u << i))) continue;
        const DWORD* s = m_state.samp[i];
        const GLuint so = m_samplers[i];
        gl.glSamplerParameteri(so, GL_TEXTURE_MAG_FILTER, MagFilter(s));
        gl.glSamplerParameteri(so, GL_TEXTURE_MIN_FILTER, MinFilter(s));
        gl.glSamplerParameteri(so, GL_TEXTURE_WRAP_S, GLWrap(s[D3DSAMP_ADDRESSU]));
        gl.glSamplerParameteri(so, GL_TEXTURE_WRAP_T, GLWrap(s[D3DSAMP_ADDRESSV]));
        gl.glSamplerParameteri(so, GL_TEXTURE_WRAP_R, GLWrap(s[D3DSAMP_ADDRESSW]));
        float border[4];
        ColorToFloat(s[D3DSAMP_BORDERCOLOR], border);
        gl.glSamplerParameterfv(so, GL_TEXTURE_BORDER_COLOR, border);
        gl.glSamplerParameterf(so, GL_TEXTURE_LOD_BIAS, DwordFloat(s[D3DSAMP_MIPMAPLODBIAS]));
        gl.glSamplerParameterf(so, GL_TEXTURE_MIN_LOD, (float)s[D3DSAMP_MAXMIPLEVEL]);
        m_gl.BindSampler((GLuint)i, so);
    }
    m_dirtySamplers = 0;
}

// ---- A draw's preparation ------------------------------------------------------------------
HRESULT Device::PrepareDraw(D3DPRIMITIVETYPE type, const UserVertices* up)
{
    MakeCurrent();
    NotePrimitive(type);
    const bool pipelineChanged = (m_dirty & DirtyPipeline) != 0;
    ApplyOutputState();
    HRESULT hr = PrepareInput();
    if (SUCCEEDED(hr)) hr = ChooseProgram();
    if (FAILED(hr)) return hr;
    if (!m_vertexArraySettled) {
        SettleVertexArray(m_gl, m_upVB);
        m_vertexArraySettled = true;
        m_attribsValid = false;
    }
    if (pipelineChanged) NotePipeline(up);
    m_dirty &= ~(uint32_t)DirtyTextures;
    BindTextures();
    return BindVertexBuffers(up);
}

// Points shape both halves of the fixed-function key (sizes, sprites).
void Device::NotePrimitive(D3DPRIMITIVETYPE type)
{
    const bool points = type == D3DPT_POINTLIST;
    if (points == m_points) return;
    m_points = points;
    m_dirty |= DirtyKeys;
}

// Where and how pixels are written: target, viewport, scissor, blending,
// depth and stencil, rasterisation, samplers.
void Device::ApplyOutputState()
{
    if (m_dirty & DirtyFramebuffer) ApplyFramebuffer();
    if (m_dirty & DirtyViewport) ApplyViewport();
    if (m_dirty & DirtyScissor) ApplyScissor();
    if (m_dirty & DirtyBlend) ApplyBlend();
    if (m_dirty & DirtyDepthStencil) ApplyDepthStencil();
    if (m_dirty & DirtyRaster) ApplyRaster();
    if (m_dirty & DirtySamplers) ApplySamplers();
    m_dirty &= ~(uint32_t)(DirtyFramebuffer | DirtyViewport | DirtyScissor | DirtyBlend | DirtyDepthStencil |
                          DirtyRaster | DirtySamplers);
}

// The vertex layout of the declaration or FVF, and depth clipping, which
// depends on it.
HRESULT Device::PrepareInput()
{
    if (m_dirty & DirtyLayout) {
        bool ok = false;
        if (m_state.decl) ok = LayoutFromDecl(m_state.decl->elements, m_layout);
        else if (m_state.fvf) ok = LayoutFromFVF(m_state.fvf, m_layout);
        if (!ok) return D3DERR_INVALIDCALL;
        m_attribsValid = false;
        m_dirty &= ~(uint32_t)DirtyLayout;
    }
    // Pre-transformed vertices are not clipped by depth without clipping or a depth test.
    const bool depthTest = m_state.rs[D3DRS_ZENABLE] != D3DZB_FALSE && m_depthStencil;
    const bool unclipped = !m_state.rs[D3DRS_CLIPPING] || !depthTest;
    m_gl.Enable(GLStateCache::CapDepthClamp, m_layout.input.pretransformed && unclipped);
    return S_OK;
}

// The program: two application shaders, an application vertex shader with
// the fixed-function pixel half, or both fixed-function halves; then its
// uniforms.
HRESULT Device::ChooseProgram()
{
    VertexShaderImpl* vs = m_state.vs;
    PixelShaderImpl* ps = m_state.ps;
    if (!vs && !ps) {
        // Fixed function: the world matrices the vertices blend.
        const DWORD vb = m_state.rs[D3DRS_VERTEXBLEND];
        int matrices = 1;
        if (!m_layout.input.pretransformed) {
            if (m_state.rs[D3DRS_INDEXEDVERTEXBLENDENABLE] && m_layout.input.blendIndices)
                matrices = (int)m_caps.MaxVertexBlendMatrixIndex + 1;
            else if (vb >= D3DVBF_1WEIGHTS && vb <= D3DVBF_3WEIGHTS)
                matrices = std::min((int)vb, m_layout.input.weights) + 1;
        }
        m_blendMatrices = matrices;
    } else {
        m_blendMatrices = 1;
    }
    if (!m_program || (m_dirty & (DirtyKeys | DirtyShaders))) {
        if (vs && ps) {
            m_program = m_ff->Link(vs->glShader, ps->glShader);
            m_stages = kMaxSamplers;
        } else if (!vs && !ps && m_path != ProgramPath::Specialised) {
            BuildVertexKey(m_vertexKey);
            BuildPixelKey(m_pixelKey, false);
            m_program = FixedFunctionProgram();
            m_stages = m_pixelKey.stageCount;
        } else {
            // A pixel shader without a vertex shader draws with the fixed-function halves.
            if (!vs && ((m_dirty & (DirtyVertexKey | DirtyShaders)) || !m_vertexShader)) {
                FFVertexKey k;
                BuildVertexKey(k);
                if (!(k == m_vertexKey)) m_vertexShader = 0;
                m_vertexKey = k;
            }
            FFPixelKey k;
            BuildPixelKey(k, vs != nullptr);
            if (!(k == m_pixelKey)) m_fragmentShader = 0;
            m_pixelKey = k;
            // A pair of a recorded pipeline state comes from the compiler.
            Program* ready = vs ? nullptr : m_ff->Ready({m_vertexKey, m_pixelKey});
            if (ready) {
                m_program = ready;
            } else {
                if (!vs && !m_vertexShader) m_vertexShader = m_ff->VertexShader(m_vertexKey);
                if (!m_fragmentShader) m_fragmentShader = m_ff->FragmentShader(m_pixelKey);
                m_program = m_ff->Link(vs ? vs->glShader : m_vertexShader, m_fragmentShader);
            }
            m_stages = m_pixelKey.stageCount;
        }
        m_dirty &= ~(uint32_t)(DirtyKeys | DirtyShaders);
        if (!m_program) return vs ? D3DERR_INVALIDCALL : D3DERR_DRIVERINTERNALERROR;
    } else if (m_path == ProgramPath::Background && m_ff->IsUber(m_program)) {
        // The specialised program of the pair may have been linked meanwhile.
        m_program = FixedFunctionProgram();
    }
    m_gl.UseProgram(m_program->program);
    if (m_ff->IsUber(m_program)) {
        UploadKeys(m_program);
        ++m_gl.counters.uberDraws;
    }
    if (!(vs && ps)) {
        ComputeFFUniforms();
        UploadFFUniforms(m_program);
    }
    if (vs) UploadShaderConstants(m_program, ps != nullptr);
    return S_OK;
}

// The program of both fixed-function halves: the specialised one once the
// background compiler has it, else the one that takes the keys as data.
Program* Device::FixedFunctionProgram()
{
    if (m_path == ProgramPath::Background) {
        // The first draw with a program costs the driver work of its own, so
        // a frame takes only a few programs new to it.
        Program* p = m_ff->Specialised({m_vertexKey, m_pixelKey});
        if (p && !p->drawn && m_programsTaken < kProgramsTakenPerFrame) {
            p->drawn = true;
            ++m_programsTaken;
        }
        if (p && p->drawn) return p;
    }
    return m_ff->Uber(UberPalette());
}

int Device::UberPalette() const { return std::max((int)m_caps.MaxVertexBlendMatrixIndex + 1, 4); }

// The key halves as the uber program's uniforms, where they changed.
void Device::UploadKeys(Program* p)
{
    if (m_uberKeysKnown && m_uberVertexKey == m_vertexKey && m_uberPixelKey == m_pixelKey) return;
    GLint v[(sizeof(FFVertexKey) + 3) / 4 * 4] = {};
    GLint f[(sizeof(FFPixelKey) + 3) / 4 * 4] = {};
    const uint8_t* vb = reinterpret_cast<const uint8_t*>(&m_vertexKey);
    const uint8_t* fb = reinterpret_cast<const uint8_t*>(&m_pixelKey);
    for (size_t i = 0; i < sizeof(FFVertexKey); ++i) v[i] = vb[i];
    for (size_t i = 0; i < sizeof(FFPixelKey); ++i) f[i] = fb[i];
    if (p->kvs >= 0) gl.glUniform4iv(p->kvs, (GLsizei)(sizeof(v) / sizeof(v[0]) / 4), v);
    if (p->kps >= 0) gl.glUniform4iv(p->kps, (GLsizei)(sizeof(f) / sizeof(f[0]) / 4), f);
    m_uberVertexKey = m_vertexKey;
    m_uberPixelKey = m_pixelKey;
    m_uberKeysKnown = true;
    ++m_gl.counters.uniformUploads;
}

// ---- Pipeline states -------------------------------------------------------------------------
void Device::NotePipeline(const UserVertices* up)
{
    PipelineState s;
    DescribePipeline(s, up);
    // Draws in a row often come back to the state of the one before.
    if (m_lastPipelineNoted && s == m_lastPipeline) return;
    m_pipelinesSeen.insert(s);
    m_lastPipeline = s;
    m_lastPipelineNoted = true;
}

// The program of the draw (its fixed-function pair or shaders) and the GL
// state it is drawn with, as the Apply steps set it.
void Device::DescribePipeline(PipelineState& p, const UserVertices* up) const
{
    std::memset(&p, 0, sizeof(p));
    // A pixel shader alone draws with both fixed-function halves (see ChooseProgram).
    if (m_state.vs) {
        p.shaders[0] = m_state.vs->sourceHash;
        if (m_state.ps) p.shaders[1] = m_state.ps->sourceHash;
    }
    if (!p.shaders[0]) p.vertex = m_vertexKey;
    if (!p.shaders[1]) p.pixel = m_pixelKey;
    p.points = m_points;
    const DWORD* rs = m_state.rs;
    const DWORD cw = rs[D3DRS_COLORWRITEENABLE];
    const bool alpha = (cw & 8) != 0 && m_renderTarget && m_renderTarget->fmt->hasAlpha;
    p.colorMask = (uint8_t)((cw & 7) | (alpha ? 8 : 0));
    p.blend = rs[D3DRS_ALPHABLENDENABLE] != 0;
    if (p.blend) {
        GLenum sc, dc, sa, da;
        BlendPair(rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND], sc, dc);
        GLenum op = GLBlendOp(rs[D3DRS_BLENDOP]), opa = op;
        if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
            BlendPair(rs[D3DRS_SRCBLENDALPHA], rs[D3DRS_DESTBLENDALPHA], sa, da);
            opa = GLBlendOp(rs[D3DRS_BLENDOPALPHA]);
        } else {
            sa = sc;
            da = dc;
        }
        p.blendFunc[0] = sc;
        p.blendFunc[1] = dc;
        p.blendFunc[2] = sa;
        p.blendFunc[3] = da;
        p.blendOp[0] = op;
        p.blendOp[1] = opa;
    }
    const bool depth = rs[D3DRS_ZENABLE] != D3DZB_FALSE && m_depthStencil;
    p.depthTest = depth;
    p.depthMask = depth && rs[D3DRS_ZWRITEENABLE];
    if (depth) p.depthFunc = GLCompare(rs[D3DRS_ZFUNC]);
    p.stencilTest = rs[D3DRS_STENCILENABLE] && HasStencil();
    if (p.stencilTest) {
        const bool ccw = rs[D3DRS_TWOSIDEDSTENCILMODE] != 0;
        for (int f = 0; f < 2; ++f) {
            const bool back = f == 1 && ccw;
            p.stencil[f][0] = GLCompare(rs[back ? D3DRS_CCW_STENCILFUNC : D3DRS_STENCILFUNC]);
            p.stencil[f][1] = GLStencilOp(rs[back ? D3DRS_CCW_STENCILFAIL : D3DRS_STENCILFAIL]);
            p.stencil[f][2] = GLStencilOp(rs[back ? D3DRS_CCW_STENCILZFAIL : D3DRS_STENCILZFAIL]);
            p.stencil[f][3] = GLStencilOp(rs[back ? D3DRS_CCW_STENCILPASS : D3DRS_STENCILPASS]);
        }
    }
    const DWORD cull = rs[D3DRS_CULLMODE];
    p.cull = cull != D3DCULL_NONE;
    if (p.cull) p.cullFace = cull == D3DCULL_CW ? GL_FRONT : GL_BACK;
    const DWORD fill = rs[D3DRS_FILLMODE];
    p.polygonMode = fill == D3DFILL_POINT ? GL_POINT : fill == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL;
    p.depthClamp = m_layout.input.pretransformed && (!rs[D3DRS_CLIPPING] || !depth);
    p.target = m_boundWindow || !m_renderTarget ? 0u : (uint32_t)m_renderTarget->format;
    p.depth = m_depthStencil ? (uint32_t)m_depthStencil->format : 0u;
    for (int i = 0; i < m_stages && i < 8; ++i) {
        const TextureImpl* t = m_state.textures[i];
        if (!t) continue;
        PipelineState::Stage& st = p.stage[i];
        st.format = (uint32_t)t->m_format;
        st.pot = (t->m_width & (t->m_width - 1)) == 0 && (t->m_height & (t->m_height - 1)) == 0;
        st.mips = t->m_glLevels > 1;
        const DWORD* samp = m_state.samp[i];
        st.minFilter = MinFilter(samp);
        st.magFilter = MagFilter(samp);
        st.wrapS = GLWrap(samp[D3DSAMP_ADDRESSU]);
        st.wrapT = GLWrap(samp[D3DSAMP_ADDRESSV]);
    }
    for (const VertexAttrib& a : m_layout.attribs) {
        if (p.attribCount >= 16) break;
        PipelineState::Attrib& out = p.attrib[p.attribCount++];
        out.location = (uint8_t)a.location;
        out.size = (uint8_t)(a.size == (GLint)GL_BGRA ? 255 : a.size);
        out.normalized = a.normalized;
        out.type = a.type;
        out.offset = a.offset;
        out.stride = up ? up->stride : m_state.streams[a.stream].stride;
    }
}

// Each sampled stage's texture, uploaded where it changed.
void Device::BindTextures()
{
    for (int i = 0; i < m_stages && i < kMaxSamplers; ++i) {
        TextureImpl* t = m_state.textures[i];
        if (!t) continue;
        if (t->NeedsPrepare()) t->Prepare((GLuint)i);
        m_gl.BindTexture((GLuint)i, t->m_glTexture);
    }
}

// The vertex attributes: user memory for stream 0 of a draw from memory,
// else the streams' buffers (bound again only where a buffer, stride or
// offset changed, or a buffer was written). Elements of a stream with
// nothing bound read as zero.
HRESULT Device::BindVertexBuffers(const UserVertices* up)
{
    bool same = m_attribsValid && !up && !m_lastUp && !(m_dirty & DirtyInput);
    if (same) {
        for (const VertexAttrib& a : m_layout.attribs) {
            const StreamSlot& s = m_state.streams[a.stream];
            if ((s.vb ? s.vb->glBuffer : 0) != m_lastAttribBuffers[a.stream] ||
                (s.vb && (s.stride != m_lastAttribStrides[a.stream] || s.offset != m_lastAttribOffsets[a.stream] ||
                          s.vb->dirtyLo != s.vb->dirtyHi))) {
                same = false;
                break;
            }
        }
    }
    if (same) return S_OK;
    uint32_t enabled = 0;
    for (const VertexAttrib& a : m_layout.attribs) {
        GLuint buffer;
        UINT stride, offset;
        if (up && a.stream == 0) {
            buffer = up->buffer;
            stride = up->stride;
            offset = 0;
        } else {
            const StreamSlot& s = m_state.streams[a.stream];
            m_lastAttribBuffers[a.stream] = 0;
            if (!s.vb) {
                gl.glVertexAttrib4f(a.location, 0.0f, 0.0f, 0.0f, 0.0f);
                continue;
            }
            buffer = s.vb->Prepare();
            stride = s.stride;
            offset = s.offset;
            m_lastAttribBuffers[a.stream] = buffer;
            m_lastAttribStrides[a.stream] = stride;
            m_lastAttribOffsets[a.stream] = offset;
        }
        m_gl.BindArrayBuffer(buffer);
        gl.glVertexAttribPointer(a.location, a.size, a.type, a.normalized, (GLsizei)stride,
                                 reinterpret_cast<const void*>((uintptr_t)(offset + a.offset)));
        enabled |= 1u << a.location;
    }
    m_gl.EnableAttribArrays(enabled);
    m_attribsValid = !up;
    m_lastUp = up != nullptr;
    m_dirty &= ~(uint32_t)DirtyInput;
    return S_OK;
}

void Device::ResetStreamZero()
{
    StreamSlot& slot = m_state.streams[0];
    SetBound(slot.vb, (VertexBufferImpl*)nullptr);
    slot.offset = 0;
    slot.stride = 0;
    m_dirty |= DirtyInput;
}

void Device::AfterDraw()
{
    ++m_gl.counters.draws;
    if (m_renderTarget && m_renderTarget->kind == SurfaceImpl::TextureLevel) m_renderTarget->container->MarkRendered();
}

namespace {
UINT AttribBytes(const VertexAttrib& a)
{
    const UINT comps = a.size == (GLint)GL_BGRA ? 4 : (UINT)a.size;
    switch (a.type) {
    case GL_UNSIGNED_BYTE: case GL_BYTE: return comps;
    case GL_SHORT: case GL_UNSIGNED_SHORT: case GL_HALF_FLOAT: return comps * 2;
    default: return comps * 4;
    }
}
} // namespace

bool Device::VerticesInRange(INT first, UINT count, bool userStreamZero)
{
    if (first < 0) return false;
    for (const VertexAttrib& a : m_layout.attribs) {
        if (userStreamZero && a.stream == 0) continue;
        const StreamSlot& s = m_state.streams[a.stream];
        if (!s.vb) continue;  // read as zero
        const uint64_t end = (uint64_t)s.offset + (uint64_t)(first + count - 1) * s.stride + a.offset + AttribBytes(a);
        if (end > s.vb->data.size()) return false;
    }
    return true;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count)
{
    const GLenum mode = GLPrimitive(type);
    if (mode == 0xFFFFFFFFu || m_recording) return D3DERR_INVALIDCALL;
    if (count == 0) return S_OK;
    HRESULT hr = PrepareDraw(type, nullptr);
    if (FAILED(hr)) return hr;
    // Vertices past the end of a buffer are refused rather than read.
    if (!VerticesInRange((INT)start, VertexCount(type, count))) return D3DERR_INVALIDCALL;
    gl.glDrawArrays(mode, (GLint)start, (GLsizei)VertexCount(type, count));
    AfterDraw();
    return S_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT count)
{
    const GLenum mode = GLPrimitive(type);
    if (mode == 0xFFFFFFFFu || !m_state.indices || m_recording) return D3DERR_INVALIDCALL;
    if (count == 0) return S_OK;
    const UINT isz = m_state.indices->format == D3DFMT_INDEX32 ? 4 : 2;
    const UINT n = VertexCount(type, count);
    if ((size_t)(startIndex + n) * isz > m_state.indices->data.size()) return D3DERR_INVALIDCALL;
    HRESULT hr = PrepareDraw(type, nullptr);
    if (FAILED(hr)) return hr;
    if (numVertices != 0 && !VerticesInRange(base + (INT)minIndex, numVertices)) return D3DERR_INVALIDCALL;
    m_state.indices->Prepare();
    gl.glDrawElementsBaseVertex(mode, (GLsizei)n, isz == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                reinterpret_cast<const void*>((uintptr_t)startIndex * isz), base);
    AfterDraw();
    return S_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride)
{
    const GLenum mode = GLPrimitive(type);
    if (mode == 0xFFFFFFFFu || !data || stride == 0 || m_recording) return D3DERR_INVALIDCALL;
    if (count == 0) return S_OK;
    const UINT n = VertexCount(type, count);
    MakeCurrent();
    m_gl.BindArrayBuffer(m_upVB);
    gl.glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)n * stride, data, GL_STREAM_DRAW);
    const UserVertices up = {m_upVB, stride};
    HRESULT hr = PrepareDraw(type, &up);
    // Stream 0 is left unset afterwards, as on Direct3D 9.
    ResetStreamZero();
    if (FAILED(hr)) return hr;
    if (!VerticesInRange(0, n, true)) return D3DERR_INVALIDCALL;
    gl.glDrawArrays(mode, 0, (GLsizei)n);
    AfterDraw();
    return S_OK;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT count,
                                       const void* indices, D3DFORMAT indexFormat, const void* data, UINT stride)
{
    const GLenum mode = GLPrimitive(type);
    if (mode == 0xFFFFFFFFu || !data || !indices || stride == 0 || m_recording ||
        (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    if (count == 0) return S_OK;
    const UINT n = VertexCount(type, count);
    const UINT isz = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
    MakeCurrent();
    m_gl.BindArrayBuffer(m_upVB);
    gl.glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(minIndex + numVertices) * stride, data, GL_STREAM_DRAW);
    const UserVertices up = {m_upVB, stride};
    HRESULT hr = PrepareDraw(type, &up);
    ResetStreamZero();
    SetIndices(nullptr);
    if (FAILED(hr)) return hr;
    if (numVertices != 0 && !VerticesInRange((INT)minIndex, numVertices, true)) return D3DERR_INVALIDCALL;
    gl.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_upIB);
    gl.glBufferData(GL_ELEMENT_ARRAY_BUFFER, (GLsizeiptr)n * isz, indices, GL_STREAM_DRAW);
    gl.glDrawElementsBaseVertex(mode, (GLsizei)n, isz == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, nullptr, 0);
    AfterDraw();
    return S_OK;
}


} // namespace d3d9gl
