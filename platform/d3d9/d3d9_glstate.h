// Layer-internal: the GL state the device last set, so that a state already
// in place is not set again, with counters of the calls made and spared.
#pragma once

#include "gl_api.h"

#include <cstdint>

namespace d3d9gl {

// Counts since the device was made; tests and benchmarks read them.
struct GLCounters {
    uint64_t stateCalls = 0;   // GL state calls made
    uint64_t stateSkipped = 0; // state calls spared because the state was in place
    uint64_t programBinds = 0;
    uint64_t textureBinds = 0;
    uint64_t uniformUploads = 0;
    uint64_t draws = 0;
    uint64_t shaderCompiles = 0;   // on the device's own context (inside frames, unless at creation)
    uint64_t programLinks = 0;
    uint64_t uberDraws = 0;        // draws with the program that takes the key as data
    uint64_t presentCopies = 0;    // presents that copied the back buffer to the window
    uint64_t windowMoves = 0;      // copies of the back buffer into or out of the window's framebuffer
    uint64_t warmDraws = 0;        // first draws of recorded pipeline states made by the warm-up
};

class GLStateCache {
public:
    enum Cap { CapBlend, CapDepthTest, CapStencilTest, CapCullFace, CapScissorTest, CapDepthClamp, CapOffsetFill,
               CapOffsetLine, CapOffsetPoint, NumCaps };
    enum { kUnits = 16 };

    // Forgets everything: the next call of each kind is made.
    void Invalidate();

    void Enable(Cap cap, bool on);
    void ColorMask(bool r, bool g, bool b, bool a);
    void BlendFunc(GLenum src, GLenum dst, GLenum srcAlpha, GLenum dstAlpha);
    void BlendEquation(GLenum op, GLenum opAlpha);
    void BlendColor(uint32_t argb);
    void DepthFunc(GLenum func);
    void DepthMask(bool on);
    void StencilFunc(GLenum face, GLenum func, GLint ref, GLuint mask);
    void StencilOp(GLenum face, GLenum fail, GLenum zfail, GLenum pass);
    void StencilMask(GLuint mask);
    void CullFace(GLenum face);
    void PolygonMode(GLenum mode);
    void PolygonOffset(float factor, float units);
    void Viewport(GLint x, GLint y, GLsizei w, GLsizei h);
    void DepthRange(float n, float f);
    void Scissor(GLint x, GLint y, GLsizei w, GLsizei h);
    void UseProgram(GLuint program);
    // GL_FRAMEBUFFER binds both the read and the draw framebuffer.
    void BindFramebuffer(GLenum target, GLuint fbo);
    GLuint DrawFramebuffer() const { return m_drawFbo; }
    void BindTexture(GLuint unit, GLuint texture);
    void BindSampler(GLuint unit, GLuint sampler);
    void BindArrayBuffer(GLuint buffer);
    void EnableAttribArrays(uint32_t mask);
    // A texture name that is deleted may come back for another texture.
    void ForgetTexture(GLuint texture);
    void ForgetProgram(GLuint program);
    void ForgetArrayBuffer(GLuint buffer);
    void ForgetFramebuffer(GLuint fbo);

    GLCounters counters;

private:
    bool Same(bool same);
    void ActiveTexture(GLuint unit);

    // Every value starts unknown.
    int8_t m_caps[NumCaps];
    int m_colorMask;
    GLenum m_blend[4], m_blendOps[2];
    uint64_t m_blendColor;
    GLenum m_depthFunc;
    int m_depthMask;
    struct Stencil {
        GLenum func, fail, zfail, pass;
        GLint ref;
        GLuint mask;
        bool known;
    } m_stencil[2];
    uint64_t m_stencilMask;
    GLenum m_cullFace, m_polygonMode;
    float m_offset[2];
    bool m_offsetKnown;
    GLint m_viewport[4], m_scissor[4];
    bool m_viewportKnown, m_scissorKnown;
    float m_depthRange[2];
    bool m_depthRangeKnown;
    uint64_t m_program;
    GLuint m_readFbo, m_drawFbo;
    bool m_fboKnown[2];
    GLuint m_activeUnit;
    uint64_t m_textures[kUnits], m_samplers[kUnits];
    uint64_t m_arrayBuffer;
    uint64_t m_attribArrays;
};

// Mesa's gallium drivers fold the attributes that share a buffer into one
// vertex buffer until a vertex array object has been updated five times, and
// then give each its own; llvmpipe generates vertex code for the layout it is
// given. Updating the bound array object past that point at once makes every
// draw of a state see the same layout, whether the pipeline warm-up or the
// application draws it first. Needs a program in use (the draws are empty);
// leaves attribute 0 enabled on `buffer`.
void SettleVertexArray(GLStateCache& state, GLuint buffer);

} // namespace d3d9gl
