// D3DX9: the Direct3D 9 extension library (math, textures and images).
#pragma once

#include <d3d9.h>

#include "d3dx9core.h"
#include "d3dx9math.h"
#include "d3dx9tex.h"
#if __has_include("d3dx9mesh.h")
#include "d3dx9mesh.h"
#endif
#if __has_include("d3dx9anim.h")
#include "d3dx9anim.h"
#endif
#if __has_include("d3dx9effect.h")
#include "d3dx9effect.h"
#endif
