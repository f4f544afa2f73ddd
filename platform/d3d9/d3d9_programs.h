// For D3DX: the shader pairs an effect's passes draw with are known when the
// effect is made, so their programs can be linked then, not in a frame.
#pragma once

#include "d3d9.h"

// Links the program of the pair on a device of this layer; false for another
// device, shaders of another device, or a pair that does not link.
bool PrepareShaderProgram(IDirect3DDevice9* device, IDirect3DVertexShader9* vs, IDirect3DPixelShader9* ps);
