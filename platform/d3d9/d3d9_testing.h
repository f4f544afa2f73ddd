// Layer-internal test seam: lets a test make Direct3DCreate9 return its own
// IDirect3D9 (a recording fake).
#pragma once

#include "d3d9.h"

typedef IDirect3D9* (*Direct3DCreate9Hook)(UINT sdkVersion);

// While a hook is set, Direct3DCreate9 returns what the hook returns; null
// restores the real one.
void SetDirect3DCreate9Hook(Direct3DCreate9Hook hook);
