// Layer-internal test seams: lets a test make Direct3DCreate9 return its own
// IDirect3D9 (a recording fake), make a device's validation stricter than
// its capabilities, and read what a device asked of GL.
#pragma once

#include "d3d9.h"

#include <cstdint>

typedef IDirect3D9* (*Direct3DCreate9Hook)(UINT sdkVersion);

// While a hook is set, Direct3DCreate9 returns what the hook returns; null
// restores the real one.
void SetDirect3DCreate9Hook(Direct3DCreate9Hook hook);

// ValidateDevice on the GL device answers as a device with these capabilities
// would, while GetDeviceCaps still reports its own (a driver that promises
// more than it validates); null restores its own. False for another device.
bool SetValidationCaps(IDirect3DDevice9* device, const D3DCAPS9* caps);

// The GL state calls a device has made since it was created, and those its
// state cache spared; false (and nothing written) for another device.
bool CountStateCalls(IDirect3DDevice9* device, uint64_t* made, uint64_t* spared);

// The GL programs a device has linked since it was created (fixed-function
// and shader programs alike); false (and nothing written) for another device.
bool CountProgramLinks(IDirect3DDevice9* device, uint64_t* links);
