// What ValidateDevice answers for a fixed-function texture-stage set-up on a
// device with given capabilities: shared by the GL device and the recording
// fake, so both refuse the same set-ups.
#pragma once

#include "d3d9.h"

#include <functional>

// Reads one texture-stage state (stage 0-7).
typedef std::function<DWORD(DWORD stage, D3DTEXTURESTAGESTATETYPE type)> StageStateReader;

// D3D_OK when the stages up to the first disabled one can be drawn in one
// pass: every operation in TextureOpCaps, every argument one the device
// has, no more stages than MaxTextureBlendStages and no more of them reading
// a texture than MaxSimultaneousTextures (D3DERR_TOOMANYOPERATIONS).
HRESULT ValidateStageSetUp(const D3DCAPS9& caps, const StageStateReader& stageState);
