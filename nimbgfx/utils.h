// Small helpers shared by the engine: materials, lights, default states and
// a diagnostic dump of the device's render states.
#pragma once

#include <windows.h>
#include <d3d9.h>

// Last snapshot of render states 0..255 taken by DumpRenderStates.
extern DWORD g_renderStates[256];
extern bool g_renderStatesTaken;

// Zeroes the material, then diffuse = ambient = (r, g, b, a).
void InitMaterial(D3DMATERIAL9& mtrl, float r, float g, float b, float a);

// Zeroes the light; white diffuse (alpha 0), position (x, y, z), direction
// (x, y, z) normalised, range 1000.
void InitLight(D3DLIGHT9& light, D3DLIGHTTYPE ltType, float x, float y, float z);

// Logs a line of dashes, then every render state that changed since the
// previous call.
void DumpRenderStates();

// Puts every device state back as the renderer recorded it at start-up.
void ApplyDefaultStates();

// An opacity as a colour with the same byte in all four channels: the
// opacity held to [0, 1] (NaN as 0), times 255, truncated.
DWORD AlphaToFactor(float alpha);

// The bits of a float as a DWORD, for float-valued render states.
DWORD FloatToDword(float f);
