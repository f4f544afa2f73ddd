// The shader step of effects: one entry function of an effect's HLSL through
// glslang's HLSL front end (DX9-compatible mode) to SPIR-V, then SPIRV-Cross
// to GLSL 3.30 in the device's conventions (d3d9.h), wrapped in a shader token
// stream. Parameters reach the shader through constant registers laid out as
// D3DX lays them (a float4 one register, a matrix one register per column, or
// per row when row_major, array elements one after another; ints and bools in
// their own register files), allocated per shader to the parameters it reads.
#pragma once

#include "fx_parse.h"

#include <wintypes.h>

#include <string>
#include <vector>

namespace hlsl {

enum class RegisterSet { Float, Int, Bool, Sampler };

// A parameter the shader reads and the registers it occupies.
struct Constant {
    std::string name;
    RegisterSet set = RegisterSet::Float;
    unsigned start = 0;
    unsigned count = 0;
};

struct Shader {
    bool vertex = true;
    DWORD version = 0;  // D3DVS_VERSION / D3DPS_VERSION of the profile
    std::string glsl;
    std::vector<DWORD> tokens;  // for CreateVertexShader / CreatePixelShader
    std::vector<Constant> constants;
};

// Compiles `entry` for `profile` (vs_1_1 ... vs_3_0, ps_1_1 ... ps_3_0) with
// the literal arguments of the compile statement for its uniform parameters.
// False with "file(line): error: message" lines in errors; `line` (of the
// preprocessed text) is where the compile statement stands.
bool Compile(const fx::Effect& effect, const std::string& profile, const std::string& entry,
             const std::vector<std::string>& args, int line, Shader& out, std::string& errors);

// Registers one element of a numeric parameter takes.
unsigned RegistersPerElement(const fx::Type& type);

// A token stream that carries GLSL source, as the device takes shaders.
std::vector<DWORD> ShaderTokens(DWORD version, const std::string& glsl);

} // namespace hlsl
