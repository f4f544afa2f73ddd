// What the state assignments of effect passes and sampler_state blocks name:
// the device state behind each state name and the value of each constant
// (CCW, SrcAlpha, Linear...). Pure tables; no device.
#pragma once

#include "fx_parse.h"

#include <wintypes.h>

#include <string>

namespace fx {

enum class StateKind {
    Render,        // SetRenderState(id, value)
    TextureStage,  // SetTextureStageState(index, id, value)
    Sampler,       // SetSamplerState(index, id, value)
    Texture,       // SetTexture(index, <texture parameter>)
    SamplerRef,    // Sampler[index] = <sampler parameter>: its states at stage index
    VertexShader,
    PixelShader,
    Transform      // SetTransform(id, <matrix parameter>)
};

struct StateTarget {
    StateKind kind = StateKind::Render;
    DWORD id = 0;
    DWORD index = 0;
    int values = 0;  // the table of named values (internal)
};

// The device state of an assignment such as "CullMode", "ColorOp[1]",
// "AddressU" (inside sampler_state, index is the sampler's stage and given
// later). False for an unknown name or an index out of range.
bool LookupState(const std::string& name, int index, bool inSampler, StateTarget& out);

// The DWORD a constant value gives the state: numbers (booleans, integers,
// floats stored as their bits where the state holds a float, a float4 as a
// colour where it holds one) or a named constant. False with a message.
bool StateValueBits(const StateTarget& target, const StateValue& value, DWORD& out, std::string& error);

// The DWORD a parameter's value gives the state (its first component).
DWORD StateNumberBits(const StateTarget& target, const float* numbers, unsigned count);

} // namespace fx
