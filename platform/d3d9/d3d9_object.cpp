// The Direct3D object.
#include "d3d9_impl.h"

namespace d3d9gl {
IDirect3D9* CreateDirect3D9() { return nullptr; }
}
