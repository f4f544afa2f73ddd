// Direct3D 9's documented state defaults: every render state with its
// default and the state-block types that carry it, and the defaults of the
// texture stage and sampler states. Pure data, shared by the device, D3DX
// and the recording fake.
#pragma once

#include "d3d9types.h"

#include <cstddef>
#include <cstdint>

namespace d3d9gl {

enum StateBlockTypes : uint8_t { kPixelBlock = 1, kVertexBlock = 2 };

struct RenderStateDefault {
    D3DRENDERSTATETYPE state;
    DWORD value;     // D3DRS_ZENABLE: TRUE when the device has an automatic depth buffer, else FALSE
    uint8_t blocks;  // StateBlockTypes that carry it
};

extern const RenderStateDefault kRenderStateDefaults[];
extern const size_t kRenderStateDefaultCount;

// The row of a render state; null when there is no such state.
const RenderStateDefault* FindRenderStateDefault(DWORD state);

// Fills out[D3D_TEXTURESTAGESTATE_COUNT] with the defaults of a stage.
void StageStateDefaults(DWORD stage, DWORD* out);
// Fills out[D3D_SAMPLERSTATE_COUNT] with the defaults of a sampler.
void SamplerStateDefaults(DWORD* out);
// Whether a texture stage state is carried by vertex-state blocks (else by pixel-state ones).
bool IsVertexStageState(DWORD type);

} // namespace d3d9gl
