#include "gl_api.h"

#include <SDL.h>

#include <cstring>

namespace d3d9gl {

GLApi gl;

bool GLApi::Load()
{
    bool ok = true;
#define D3D9GL_LOAD(ret, name, args) \
    name = reinterpret_cast<ret(*) args>(SDL_GL_GetProcAddress(#name)); \
    if (!name) ok = false;
    D3D9GL_FUNCS(D3D9GL_LOAD)
#undef D3D9GL_LOAD
    glClipControl = nullptr;
    if (!ok) return false;
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const GLubyte* name = glGetStringi(GL_EXTENSIONS, (GLuint)i);
        if (name && std::strcmp(reinterpret_cast<const char*>(name), "GL_ARB_clip_control") == 0)
            glClipControl = reinterpret_cast<void (*)(GLenum, GLenum)>(SDL_GL_GetProcAddress("glClipControl"));
    }
    return true;
}

} // namespace d3d9gl
