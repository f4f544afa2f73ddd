#include "gl_api.h"

#include <SDL.h>

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
    return ok;
}

} // namespace d3d9gl
