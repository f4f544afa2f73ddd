// The GL state cache: each setter calls GL only when the value changes.
#include "d3d9_glstate.h"

#include <cstring>

namespace d3d9gl {

namespace {
constexpr uint64_t kUnknown = ~0ull;

const GLenum kCapNames[GLStateCache::NumCaps] = {GL_BLEND,        GL_DEPTH_TEST,  GL_STENCIL_TEST,
                                                 GL_CULL_FACE,    GL_SCISSOR_TEST, GL_DEPTH_CLAMP,
                                                 GL_POLYGON_OFFSET_FILL, GL_POLYGON_OFFSET_LINE,
                                                 GL_POLYGON_OFFSET_POINT};

int Face(GLenum face) { return face == GL_BACK ? 1 : 0; }
} // namespace

void GLStateCache::Invalidate()
{
    for (int8_t& c : m_caps) c = -1;
    m_colorMask = -1;
    m_blend[0] = m_blendOps[0] = 0xFFFFFFFFu;
    m_blendColor = kUnknown;
    m_depthFunc = 0xFFFFFFFFu;
    m_depthMask = -1;
    m_stencil[0].known = m_stencil[1].known = false;
    m_stencilMask = kUnknown;
    m_cullFace = m_polygonMode = 0xFFFFFFFFu;
    m_offsetKnown = m_viewportKnown = m_scissorKnown = m_depthRangeKnown = false;
    m_program = kUnknown;
    m_fboKnown[0] = m_fboKnown[1] = false;
    m_readFbo = m_drawFbo = 0;
    m_activeUnit = 0xFFFFFFFFu;
    for (uint64_t& t : m_textures) t = kUnknown;
    for (uint64_t& s : m_samplers) s = kUnknown;
    m_arrayBuffer = kUnknown;
    m_attribArrays = kUnknown;
}

bool GLStateCache::Same(bool same)
{
    if (same) ++counters.stateSkipped;
    else ++counters.stateCalls;
    return same;
}

void GLStateCache::Enable(Cap cap, bool on)
{
    if (Same(m_caps[cap] == (on ? 1 : 0))) return;
    if (on) gl.glEnable(kCapNames[cap]);
    else gl.glDisable(kCapNames[cap]);
    m_caps[cap] = on ? 1 : 0;
}

void GLStateCache::ColorMask(bool r, bool g, bool b, bool a)
{
    const int m = (r ? 1 : 0) | (g ? 2 : 0) | (b ? 4 : 0) | (a ? 8 : 0);
    if (Same(m_colorMask == m)) return;
    gl.glColorMask(r, g, b, a);
    m_colorMask = m;
}

void GLStateCache::BlendFunc(GLenum src, GLenum dst, GLenum srcAlpha, GLenum dstAlpha)
{
    if (Same(m_blend[0] == src && m_blend[1] == dst && m_blend[2] == srcAlpha && m_blend[3] == dstAlpha)) return;
    gl.glBlendFuncSeparate(src, dst, srcAlpha, dstAlpha);
    m_blend[0] = src;
    m_blend[1] = dst;
    m_blend[2] = srcAlpha;
    m_blend[3] = dstAlpha;
}

void GLStateCache::BlendEquation(GLenum op, GLenum opAlpha)
{
    if (Same(m_blendOps[0] == op && m_blendOps[1] == opAlpha)) return;
    gl.glBlendEquationSeparate(op, opAlpha);
    m_blendOps[0] = op;
    m_blendOps[1] = opAlpha;
}

void GLStateCache::BlendColor(uint32_t c)
{
    if (Same(m_blendColor == c)) return;
    gl.glBlendColor(((c >> 16) & 255) / 255.0f, ((c >> 8) & 255) / 255.0f, (c & 255) / 255.0f,
                    ((c >> 24) & 255) / 255.0f);
    m_blendColor = c;
}

void GLStateCache::DepthFunc(GLenum func)
{
    if (Same(m_depthFunc == func)) return;
    gl.glDepthFunc(func);
    m_depthFunc = func;
}

void GLStateCache::DepthMask(bool on)
{
    if (Same(m_depthMask == (on ? 1 : 0))) return;
    gl.glDepthMask(on ? 1 : 0);
    m_depthMask = on ? 1 : 0;
}

void GLStateCache::StencilFunc(GLenum face, GLenum func, GLint ref, GLuint mask)
{
    Stencil& s = m_stencil[Face(face)];
    if (Same(s.known && s.func == func && s.ref == ref && s.mask == mask)) return;
    gl.glStencilFuncSeparate(face, func, ref, mask);
    if (!s.known) s.fail = s.zfail = s.pass = 0xFFFFFFFFu;
    s.func = func;
    s.ref = ref;
    s.mask = mask;
    s.known = true;
}

void GLStateCache::StencilOp(GLenum face, GLenum fail, GLenum zfail, GLenum pass)
{
    Stencil& s = m_stencil[Face(face)];
    if (Same(s.known && s.fail == fail && s.zfail == zfail && s.pass == pass)) return;
    gl.glStencilOpSeparate(face, fail, zfail, pass);
    if (!s.known) {
        s.func = 0xFFFFFFFFu;
        s.ref = -1;
        s.mask = 0;
    }
    s.fail = fail;
    s.zfail = zfail;
    s.pass = pass;
    s.known = true;
}

void GLStateCache::StencilMask(GLuint mask)
{
    if (Same(m_stencilMask == mask)) return;
    gl.glStencilMask(mask);
    m_stencilMask = mask;
}

void GLStateCache::CullFace(GLenum face)
{
    if (Same(m_cullFace == face)) return;
    gl.glCullFace(face);
    m_cullFace = face;
}

void GLStateCache::PolygonMode(GLenum mode)
{
    if (Same(m_polygonMode == mode)) return;
    gl.glPolygonMode(GL_FRONT_AND_BACK, mode);
    m_polygonMode = mode;
}

void GLStateCache::PolygonOffset(float factor, float units)
{
    if (Same(m_offsetKnown && m_offset[0] == factor && m_offset[1] == units)) return;
    gl.glPolygonOffset(factor, units);
    m_offset[0] = factor;
    m_offset[1] = units;
    m_offsetKnown = true;
}

void GLStateCache::Viewport(GLint x, GLint y, GLsizei w, GLsizei h)
{
    const GLint v[4] = {x, y, w, h};
    if (Same(m_viewportKnown && std::memcmp(v, m_viewport, sizeof(v)) == 0)) return;
    gl.glViewport(x, y, w, h);
    std::memcpy(m_viewport, v, sizeof(v));
    m_viewportKnown = true;
}

void GLStateCache::DepthRange(float n, float f)
{
    if (Same(m_depthRangeKnown && m_depthRange[0] == n && m_depthRange[1] == f)) return;
    gl.glDepthRange(n, f);
    m_depthRange[0] = n;
    m_depthRange[1] = f;
    m_depthRangeKnown = true;
}

void GLStateCache::Scissor(GLint x, GLint y, GLsizei w, GLsizei h)
{
    const GLint v[4] = {x, y, w, h};
    if (Same(m_scissorKnown && std::memcmp(v, m_scissor, sizeof(v)) == 0)) return;
    gl.glScissor(x, y, w, h);
    std::memcpy(m_scissor, v, sizeof(v));
    m_scissorKnown = true;
}

void GLStateCache::UseProgram(GLuint program)
{
    if (Same(m_program == program)) return;
    gl.glUseProgram(program);
    m_program = program;
    ++counters.programBinds;
}

void GLStateCache::BindFramebuffer(GLenum target, GLuint fbo)
{
    const bool read = target != GL_DRAW_FRAMEBUFFER, draw = target != GL_READ_FRAMEBUFFER;
    const bool same = (!read || (m_fboKnown[0] && m_readFbo == fbo)) && (!draw || (m_fboKnown[1] && m_drawFbo == fbo));
    if (Same(same)) return;
    gl.glBindFramebuffer(target, fbo);
    if (read) {
        m_readFbo = fbo;
        m_fboKnown[0] = true;
    }
    if (draw) {
        m_drawFbo = fbo;
        m_fboKnown[1] = true;
    }
}

void GLStateCache::ActiveTexture(GLuint unit)
{
    if (m_activeUnit == unit) return;
    gl.glActiveTexture(GL_TEXTURE0 + unit);
    m_activeUnit = unit;
    ++counters.stateCalls;
}

void GLStateCache::BindTexture(GLuint unit, GLuint texture)
{
    if (Same(unit < kUnits && m_textures[unit] == texture)) return;
    ActiveTexture(unit);
    gl.glBindTexture(GL_TEXTURE_2D, texture);
    if (unit < kUnits) m_textures[unit] = texture;
    ++counters.textureBinds;
}

void GLStateCache::BindSampler(GLuint unit, GLuint sampler)
{
    if (Same(unit < kUnits && m_samplers[unit] == sampler)) return;
    gl.glBindSampler(unit, sampler);
    if (unit < kUnits) m_samplers[unit] = sampler;
}

void GLStateCache::BindArrayBuffer(GLuint buffer)
{
    if (Same(m_arrayBuffer == buffer)) return;
    gl.glBindBuffer(GL_ARRAY_BUFFER, buffer);
    m_arrayBuffer = buffer;
}

void GLStateCache::EnableAttribArrays(uint32_t mask)
{
    if (Same(m_attribArrays == mask)) return;
    const bool known = m_attribArrays != kUnknown;
    for (GLuint i = 0; i < 16; ++i) {
        const bool want = (mask >> i) & 1, had = known && ((m_attribArrays >> i) & 1);
        if (want && !(known && had)) gl.glEnableVertexAttribArray(i);
        if (!want && (had || !known)) gl.glDisableVertexAttribArray(i);
    }
    m_attribArrays = mask;
}

void GLStateCache::ForgetTexture(GLuint texture)
{
    for (uint64_t& t : m_textures)
        if (t == texture) t = kUnknown;
}

void GLStateCache::ForgetArrayBuffer(GLuint buffer)
{
    if (m_arrayBuffer == buffer) m_arrayBuffer = kUnknown;
}

void GLStateCache::ForgetProgram(GLuint program)
{
    if (m_program == program) m_program = kUnknown;
}

void GLStateCache::ForgetFramebuffer(GLuint fbo)
{
    if (m_readFbo == fbo) m_fboKnown[0] = false;
    if (m_drawFbo == fbo) m_fboKnown[1] = false;
}

void SettleVertexArray(GLStateCache& state, GLuint buffer)
{
    state.BindArrayBuffer(buffer);
    state.EnableAttribArrays(1u);
    for (int i = 0; i < 6; ++i) {
        gl.glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE_, 16, reinterpret_cast<const void*>((uintptr_t)(4 * (i & 1))));
        gl.glDrawArrays(GL_POINTS, 0, 0);
    }
}

} // namespace d3d9gl
