// Layer-internal: the OpenGL 3.3 core entry points the device uses, loaded
// through SDL_GL_GetProcAddress, with the enumerants it needs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace d3d9gl {

typedef unsigned int GLenum;
typedef unsigned int GLuint;
typedef int GLint;
typedef int GLsizei;
typedef float GLfloat;
typedef double GLdouble;
typedef unsigned char GLboolean;
typedef unsigned int GLbitfield;
typedef char GLchar;
typedef unsigned char GLubyte;
typedef ptrdiff_t GLsizeiptr;
typedef ptrdiff_t GLintptr;
typedef struct __GLsync* GLsync;
typedef uint64_t GLuint64;

enum : GLenum {
    GL_FALSE_ = 0, GL_TRUE_ = 1,
    GL_POINTS = 0x0000, GL_LINES = 0x0001, GL_LINE_STRIP = 0x0003, GL_TRIANGLES = 0x0004,
    GL_TRIANGLE_STRIP = 0x0005, GL_TRIANGLE_FAN = 0x0006,
    GL_NEVER = 0x0200, GL_LESS = 0x0201, GL_EQUAL = 0x0202, GL_LEQUAL = 0x0203, GL_GREATER = 0x0204,
    GL_NOTEQUAL = 0x0205, GL_GEQUAL = 0x0206, GL_ALWAYS = 0x0207,
    GL_ZERO = 0, GL_ONE = 1, GL_SRC_COLOR = 0x0300, GL_ONE_MINUS_SRC_COLOR = 0x0301, GL_SRC_ALPHA = 0x0302,
    GL_ONE_MINUS_SRC_ALPHA = 0x0303, GL_DST_ALPHA = 0x0304, GL_ONE_MINUS_DST_ALPHA = 0x0305,
    GL_DST_COLOR = 0x0306, GL_ONE_MINUS_DST_COLOR = 0x0307, GL_SRC_ALPHA_SATURATE = 0x0308,
    GL_CONSTANT_COLOR = 0x8001, GL_ONE_MINUS_CONSTANT_COLOR = 0x8002,
    GL_FUNC_ADD = 0x8006, GL_MIN = 0x8007, GL_MAX = 0x8008, GL_FUNC_SUBTRACT = 0x800A,
    GL_FUNC_REVERSE_SUBTRACT = 0x800B,
    GL_FRONT = 0x0404, GL_BACK = 0x0405, GL_FRONT_AND_BACK = 0x0408, GL_CW = 0x0900, GL_CCW = 0x0901,
    GL_CULL_FACE = 0x0B44, GL_DEPTH_TEST = 0x0B71, GL_STENCIL_TEST = 0x0B90, GL_BLEND = 0x0BE2,
    GL_SCISSOR_TEST = 0x0C11, GL_POLYGON_OFFSET_FILL = 0x8037, GL_POLYGON_OFFSET_LINE = 0x2A02,
    GL_POLYGON_OFFSET_POINT = 0x2A01, GL_PROGRAM_POINT_SIZE = 0x8642, GL_DEPTH_CLAMP = 0x864F,
    GL_POINT = 0x1B00, GL_LINE = 0x1B01, GL_FILL = 0x1B02,
    GL_KEEP = 0x1E00, GL_REPLACE = 0x1E01, GL_INCR = 0x1E02, GL_DECR = 0x1E03, GL_INVERT = 0x150A,
    GL_INCR_WRAP = 0x8507, GL_DECR_WRAP = 0x8508,
    GL_TEXTURE_2D = 0x0DE1, GL_TEXTURE_CUBE_MAP = 0x8513, GL_TEXTURE_CUBE_MAP_POSITIVE_X = 0x8515,
    GL_TEXTURE0 = 0x84C0,
    GL_TEXTURE_MAG_FILTER = 0x2800, GL_TEXTURE_MIN_FILTER = 0x2801, GL_TEXTURE_WRAP_S = 0x2802,
    GL_TEXTURE_WRAP_T = 0x2803, GL_TEXTURE_WRAP_R = 0x8072, GL_TEXTURE_BORDER_COLOR = 0x1004,
    GL_TEXTURE_MIN_LOD = 0x813A, GL_TEXTURE_MAX_LOD = 0x813B, GL_TEXTURE_BASE_LEVEL = 0x813C,
    GL_TEXTURE_MAX_LEVEL = 0x813D, GL_TEXTURE_LOD_BIAS = 0x8501,
    GL_TEXTURE_SWIZZLE_R = 0x8E42, GL_TEXTURE_SWIZZLE_G = 0x8E43, GL_TEXTURE_SWIZZLE_B = 0x8E44,
    GL_TEXTURE_SWIZZLE_A = 0x8E45,
    GL_NEAREST = 0x2600, GL_LINEAR = 0x2601, GL_NEAREST_MIPMAP_NEAREST = 0x2700,
    GL_LINEAR_MIPMAP_NEAREST = 0x2701, GL_NEAREST_MIPMAP_LINEAR = 0x2702, GL_LINEAR_MIPMAP_LINEAR = 0x2703,
    GL_REPEAT = 0x2901, GL_CLAMP_TO_EDGE = 0x812F, GL_CLAMP_TO_BORDER = 0x812D, GL_MIRRORED_REPEAT = 0x8370,
    GL_RED = 0x1903, GL_GREEN = 0x1904, GL_BLUE = 0x1905, GL_ALPHA = 0x1906, GL_RGB = 0x1907, GL_RGBA = 0x1908,
    GL_BGR = 0x80E0, GL_BGRA = 0x80E1, GL_RG = 0x8227, GL_DEPTH_COMPONENT = 0x1902, GL_DEPTH_STENCIL = 0x84F9,
    GL_R8 = 0x8229, GL_RG8 = 0x822B, GL_R16 = 0x822A, GL_RG16 = 0x822C, GL_R16F = 0x822D, GL_R32F = 0x822E,
    GL_RG16F = 0x822F, GL_RG32F = 0x8230, GL_RGB8 = 0x8051, GL_RGBA4 = 0x8056, GL_RGB5_A1 = 0x8057,
    GL_RGBA8 = 0x8058, GL_RGB10_A2 = 0x8059, GL_RGBA16 = 0x805B, GL_RGBA32F = 0x8814, GL_RGBA16F = 0x881A,
    GL_DEPTH_COMPONENT16 = 0x81A5, GL_DEPTH_COMPONENT24 = 0x81A6, GL_DEPTH24_STENCIL8 = 0x88F0,
    GL_UNSIGNED_BYTE = 0x1401, GL_BYTE = 0x1400, GL_SHORT = 0x1402, GL_UNSIGNED_SHORT = 0x1403,
    GL_INT = 0x1404, GL_UNSIGNED_INT = 0x1405, GL_FLOAT = 0x1406, GL_HALF_FLOAT = 0x140B,
    GL_UNSIGNED_SHORT_5_6_5 = 0x8363, GL_UNSIGNED_SHORT_4_4_4_4_REV = 0x8365,
    GL_UNSIGNED_SHORT_1_5_5_5_REV = 0x8366, GL_UNSIGNED_INT_2_10_10_10_REV = 0x8368,
    GL_UNSIGNED_INT_24_8 = 0x84FA, GL_INT_2_10_10_10_REV = 0x8D9F,
    GL_UNPACK_ALIGNMENT = 0x0CF5, GL_PACK_ALIGNMENT = 0x0D05, GL_UNPACK_ROW_LENGTH = 0x0CF2,
    GL_PACK_ROW_LENGTH = 0x0D02,
    GL_COLOR_BUFFER_BIT = 0x4000, GL_DEPTH_BUFFER_BIT = 0x0100, GL_STENCIL_BUFFER_BIT = 0x0400,
    GL_ARRAY_BUFFER = 0x8892, GL_ELEMENT_ARRAY_BUFFER = 0x8893, GL_STREAM_DRAW = 0x88E0,
    GL_STATIC_DRAW = 0x88E4, GL_DYNAMIC_DRAW = 0x88E8,
    GL_FRAGMENT_SHADER = 0x8B30, GL_VERTEX_SHADER = 0x8B31, GL_COMPILE_STATUS = 0x8B81,
    GL_LINK_STATUS = 0x8B82, GL_INFO_LOG_LENGTH = 0x8B84,
    GL_FRAMEBUFFER = 0x8D40, GL_READ_FRAMEBUFFER = 0x8CA8, GL_DRAW_FRAMEBUFFER = 0x8CA9,
    GL_RENDERBUFFER = 0x8D41, GL_COLOR_ATTACHMENT0 = 0x8CE0, GL_DEPTH_ATTACHMENT = 0x8D00,
    GL_STENCIL_ATTACHMENT = 0x8D20, GL_DEPTH_STENCIL_ATTACHMENT = 0x821A, GL_FRAMEBUFFER_COMPLETE = 0x8CD5,
    GL_POINT_SPRITE_COORD_ORIGIN = 0x8CA0, GL_LOWER_LEFT = 0x8CA1, GL_UPPER_LEFT = 0x8CA2,
    GL_NEGATIVE_ONE_TO_ONE = 0x935E, GL_SYNC_GPU_COMMANDS_COMPLETE = 0x9117, GL_SYNC_FLUSH_COMMANDS_BIT = 0x0001,
    GL_NUM_EXTENSIONS = 0x821D, GL_EXTENSIONS = 0x1F03, GL_BACK_LEFT = 0x0402,
    GL_DEPTH = 0x1801, GL_STENCIL = 0x1802, GL_FRAMEBUFFER_ATTACHMENT_ALPHA_SIZE = 0x8215,
    GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE = 0x8216, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE = 0x8217,
    GL_FIRST_VERTEX_CONVENTION = 0x8E4D, GL_LAST_VERTEX_CONVENTION = 0x8E4E,
    GL_MAX_TEXTURE_SIZE = 0x0D33, GL_VERSION = 0x1F02, GL_RENDERER = 0x1F01, GL_VENDOR = 0x1F00,
    GL_NO_ERROR = 0, GL_ALIASED_POINT_SIZE_RANGE = 0x846D, GL_POINT_SIZE_RANGE = 0x0B12,
    GL_MAX_VERTEX_UNIFORM_COMPONENTS = 0x8B4A,
};

#define D3D9GL_FUNCS(X) \
    X(void, glEnable, (GLenum cap)) \
    X(void, glDisable, (GLenum cap)) \
    X(GLenum, glGetError, (void)) \
    X(void, glGetIntegerv, (GLenum pname, GLint* data)) \
    X(void, glGetFloatv, (GLenum pname, GLfloat* data)) \
    X(const GLubyte*, glGetString, (GLenum name)) \
    X(const GLubyte*, glGetStringi, (GLenum name, GLuint index)) \
    X(void, glGetFramebufferAttachmentParameteriv, (GLenum target, GLenum attachment, GLenum pname, GLint* params)) \
    X(void, glFinish, (void)) \
    X(void, glFlush, (void)) \
    X(GLsync, glFenceSync, (GLenum condition, GLbitfield flags)) \
    X(GLenum, glClientWaitSync, (GLsync sync, GLbitfield flags, GLuint64 timeout)) \
    X(void, glDeleteSync, (GLsync sync)) \
    X(void, glViewport, (GLint x, GLint y, GLsizei w, GLsizei h)) \
    X(void, glScissor, (GLint x, GLint y, GLsizei w, GLsizei h)) \
    X(void, glDepthRange, (GLdouble n, GLdouble f)) \
    X(void, glClearColor, (GLfloat r, GLfloat g, GLfloat b, GLfloat a)) \
    X(void, glClearDepth, (GLdouble d)) \
    X(void, glClearStencil, (GLint s)) \
    X(void, glClear, (GLbitfield mask)) \
    X(void, glColorMask, (GLboolean r, GLboolean g, GLboolean b, GLboolean a)) \
    X(void, glDepthMask, (GLboolean flag)) \
    X(void, glDepthFunc, (GLenum func)) \
    X(void, glStencilMask, (GLuint mask)) \
    X(void, glStencilMaskSeparate, (GLenum face, GLuint mask)) \
    X(void, glStencilFuncSeparate, (GLenum face, GLenum func, GLint ref, GLuint mask)) \
    X(void, glStencilOpSeparate, (GLenum face, GLenum sfail, GLenum dpfail, GLenum dppass)) \
    X(void, glBlendFuncSeparate, (GLenum sr, GLenum dr, GLenum sa, GLenum da)) \
    X(void, glBlendEquationSeparate, (GLenum modeRGB, GLenum modeAlpha)) \
    X(void, glBlendColor, (GLfloat r, GLfloat g, GLfloat b, GLfloat a)) \
    X(void, glCullFace, (GLenum mode)) \
    X(void, glFrontFace, (GLenum mode)) \
    X(void, glPolygonMode, (GLenum face, GLenum mode)) \
    X(void, glPolygonOffset, (GLfloat factor, GLfloat units)) \
    X(void, glProvokingVertex, (GLenum mode)) \
    X(void, glPointParameteri, (GLenum pname, GLint param)) \
    X(void, glPixelStorei, (GLenum pname, GLint param)) \
    X(void, glReadPixels, (GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void* data)) \
    X(void, glGenTextures, (GLsizei n, GLuint* textures)) \
    X(void, glDeleteTextures, (GLsizei n, const GLuint* textures)) \
    X(void, glBindTexture, (GLenum target, GLuint texture)) \
    X(void, glActiveTexture, (GLenum texture)) \
    X(void, glTexImage2D, (GLenum target, GLint level, GLint internalformat, GLsizei w, GLsizei h, \
                           GLint border, GLenum format, GLenum type, const void* pixels)) \
    X(void, glTexSubImage2D, (GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h, \
                              GLenum format, GLenum type, const void* pixels)) \
    X(void, glTexParameteri, (GLenum target, GLenum pname, GLint param)) \
    X(void, glGenerateMipmap, (GLenum target)) \
    X(void, glGenSamplers, (GLsizei n, GLuint* samplers)) \
    X(void, glDeleteSamplers, (GLsizei n, const GLuint* samplers)) \
    X(void, glBindSampler, (GLuint unit, GLuint sampler)) \
    X(void, glSamplerParameteri, (GLuint sampler, GLenum pname, GLint param)) \
    X(void, glSamplerParameterf, (GLuint sampler, GLenum pname, GLfloat param)) \
    X(void, glSamplerParameterfv, (GLuint sampler, GLenum pname, const GLfloat* param)) \
    X(void, glGenBuffers, (GLsizei n, GLuint* buffers)) \
    X(void, glDeleteBuffers, (GLsizei n, const GLuint* buffers)) \
    X(void, glBindBuffer, (GLenum target, GLuint buffer)) \
    X(void, glBufferData, (GLenum target, GLsizeiptr size, const void* data, GLenum usage)) \
    X(void, glBufferSubData, (GLenum target, GLintptr offset, GLsizeiptr size, const void* data)) \
    X(void, glGenVertexArrays, (GLsizei n, GLuint* arrays)) \
    X(void, glDeleteVertexArrays, (GLsizei n, const GLuint* arrays)) \
    X(void, glBindVertexArray, (GLuint array)) \
    X(void, glEnableVertexAttribArray, (GLuint index)) \
    X(void, glDisableVertexAttribArray, (GLuint index)) \
    X(void, glVertexAttribPointer, (GLuint index, GLint size, GLenum type, GLboolean normalized, \
                                    GLsizei stride, const void* pointer)) \
    X(void, glVertexAttrib4f, (GLuint index, GLfloat x, GLfloat y, GLfloat z, GLfloat w)) \
    X(void, glDrawArrays, (GLenum mode, GLint first, GLsizei count)) \
    X(void, glDrawElementsBaseVertex, (GLenum mode, GLsizei count, GLenum type, const void* indices, \
                                       GLint basevertex)) \
    X(GLuint, glCreateShader, (GLenum type)) \
    X(void, glDeleteShader, (GLuint shader)) \
    X(void, glShaderSource, (GLuint shader, GLsizei count, const GLchar* const* string, const GLint* length)) \
    X(void, glCompileShader, (GLuint shader)) \
    X(void, glGetShaderiv, (GLuint shader, GLenum pname, GLint* params)) \
    X(void, glGetShaderInfoLog, (GLuint shader, GLsizei bufSize, GLsizei* length, GLchar* infoLog)) \
    X(GLuint, glCreateProgram, (void)) \
    X(void, glDeleteProgram, (GLuint program)) \
    X(void, glAttachShader, (GLuint program, GLuint shader)) \
    X(void, glBindAttribLocation, (GLuint program, GLuint index, const GLchar* name)) \
    X(void, glBindFragDataLocation, (GLuint program, GLuint color, const GLchar* name)) \
    X(void, glLinkProgram, (GLuint program)) \
    X(void, glGetProgramiv, (GLuint program, GLenum pname, GLint* params)) \
    X(void, glGetProgramInfoLog, (GLuint program, GLsizei bufSize, GLsizei* length, GLchar* infoLog)) \
    X(void, glUseProgram, (GLuint program)) \
    X(GLint, glGetUniformLocation, (GLuint program, const GLchar* name)) \
    X(void, glUniform1i, (GLint location, GLint v0)) \
    X(void, glUniform1f, (GLint location, GLfloat v0)) \
    X(void, glUniform1fv, (GLint location, GLsizei count, const GLfloat* value)) \
    X(void, glUniform2fv, (GLint location, GLsizei count, const GLfloat* value)) \
    X(void, glUniform3fv, (GLint location, GLsizei count, const GLfloat* value)) \
    X(void, glUniform4fv, (GLint location, GLsizei count, const GLfloat* value)) \
    X(void, glUniform4iv, (GLint location, GLsizei count, const GLint* value)) \
    X(void, glUniform1iv, (GLint location, GLsizei count, const GLint* value)) \
    X(void, glUniformMatrix4fv, (GLint location, GLsizei count, GLboolean transpose, const GLfloat* value)) \
    X(void, glGenFramebuffers, (GLsizei n, GLuint* ids)) \
    X(void, glDeleteFramebuffers, (GLsizei n, const GLuint* ids)) \
    X(void, glBindFramebuffer, (GLenum target, GLuint framebuffer)) \
    X(void, glFramebufferTexture2D, (GLenum target, GLenum attachment, GLenum textarget, GLuint texture, \
                                     GLint level)) \
    X(void, glFramebufferRenderbuffer, (GLenum target, GLenum attachment, GLenum rbtarget, GLuint rb)) \
    X(GLenum, glCheckFramebufferStatus, (GLenum target)) \
    X(void, glBlitFramebuffer, (GLint sx0, GLint sy0, GLint sx1, GLint sy1, GLint dx0, GLint dy0, GLint dx1, \
                                GLint dy1, GLbitfield mask, GLenum filter)) \
    X(void, glDrawBuffer, (GLenum buf)) \
    X(void, glReadBuffer, (GLenum src)) \
    X(void, glGenRenderbuffers, (GLsizei n, GLuint* ids)) \
    X(void, glDeleteRenderbuffers, (GLsizei n, const GLuint* ids)) \
    X(void, glBindRenderbuffer, (GLenum target, GLuint rb)) \
    X(void, glRenderbufferStorage, (GLenum target, GLenum internalformat, GLsizei w, GLsizei h))

struct GLApi {
#define D3D9GL_DECLARE(ret, name, args) ret (*name) args = nullptr;
    D3D9GL_FUNCS(D3D9GL_DECLARE)
#undef D3D9GL_DECLARE
    // Where clip space's y = 1 lands (GL_ARB_clip_control); null where the
    // driver lacks it.
    void (*glClipControl)(GLenum origin, GLenum depth) = nullptr;
    // Loads every entry point from the current context; false when one is missing.
    bool Load();
};

// The entry points of the current context (one table: every context here
// comes from the same driver).
extern GLApi gl;

} // namespace d3d9gl
