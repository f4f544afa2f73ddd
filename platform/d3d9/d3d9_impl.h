// Layer-internal: the Direct3D 9 implementation over OpenGL 3.3 core.
#pragma once

#include "d3d9.h"

namespace d3d9gl {
IDirect3D9* CreateDirect3D9();
}
