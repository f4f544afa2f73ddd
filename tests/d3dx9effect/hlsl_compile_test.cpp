// HLSL through glslang and SPIRV-Cross into the device's GLSL: registers,
// samplers and stage interfaces in the device's names, errors at their lines.
#include "d3dx9/fx_parse.h"
#include "d3dx9/hlsl_compile.h"

#include <d3d9.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

fx::Effect Parsed(const std::string& text, const std::string& name = "test.fx")
{
    fx::Effect e;
    std::string errors;
    EXPECT_TRUE(fx::ParseEffect(text, name, {}, nullptr, e, errors)) << errors;
    return e;
}

const hlsl::Constant* ConstantOf(const hlsl::Shader& s, const std::string& name)
{
    for (const hlsl::Constant& c : s.constants)
        if (c.name == name)
            return &c;
    return nullptr;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(HlslCompile, TheSkinnedMeshEffectCompilesToTheDevicesConventions)
{
    std::ifstream f(NIMB_RUN_DIR "/data/shaders/SkinnedMesh.fx");
    ASSERT_TRUE(f.good());
    std::stringstream text;
    text << f.rdbuf();
    const fx::Effect e = Parsed(text.str(), "SkinnedMesh.fx");
    ASSERT_EQ(e.techniques.size(), 1u);
    ASSERT_EQ(e.techniques[0].passes.size(), 1u);
    const std::vector<fx::State>& states = e.techniques[0].passes[0].states;
    ASSERT_EQ(states.size(), 2u);
    hlsl::Shader vs, ps;
    std::string errors;
    ASSERT_TRUE(hlsl::Compile(e, states[0].value.profile, states[0].value.name, states[0].value.args,
                              states[0].line, vs, errors))
        << errors;
    ASSERT_TRUE(hlsl::Compile(e, states[1].value.profile, states[1].value.name, states[1].value.args,
                              states[1].line, ps, errors))
        << errors;
    EXPECT_TRUE(vs.vertex);
    EXPECT_EQ(vs.version, (DWORD)D3DVS_VERSION(2, 0));
    EXPECT_EQ(ps.version, (DWORD)D3DPS_VERSION(2, 0));
    // The palette, the projection and the light in float registers, the bone count in an integer one.
    const hlsl::Constant* palette = ConstantOf(vs, "mWorldMatrixArray");
    const hlsl::Constant* proj = ConstantOf(vs, "mViewProj");
    const hlsl::Constant* light = ConstantOf(vs, "vLightDir");
    const hlsl::Constant* bones = ConstantOf(vs, "CurNumBones");
    ASSERT_TRUE(palette && proj && light && bones);
    EXPECT_EQ(palette->set, hlsl::RegisterSet::Float);
    EXPECT_EQ(palette->count, 26u * 4u);
    EXPECT_EQ(proj->count, 4u);
    EXPECT_EQ(light->count, 1u);
    EXPECT_EQ(bones->set, hlsl::RegisterSet::Int);
    EXPECT_EQ(bones->count, 1u);
    // No two parameters share a register.
    EXPECT_TRUE(palette->start + palette->count <= proj->start || proj->start + proj->count <= palette->start);
    EXPECT_NE(light->start, proj->start);
    const hlsl::Constant* sampler = ConstantOf(ps, "sDiffuse");
    ASSERT_NE(sampler, nullptr);
    EXPECT_EQ(sampler->set, hlsl::RegisterSet::Sampler);
    EXPECT_EQ(sampler->start, 0u);
    EXPECT_EQ(ConstantOf(ps, "mWorldMatrixArray"), nullptr);
    // The device's names: register files, inputs by usage, outputs as the fixed-function stages read them.
    EXPECT_TRUE(Contains(vs.glsl, "uniform vec4 vs_c[256];"));
    EXPECT_TRUE(Contains(vs.glsl, "uniform ivec4 vs_i[16];"));
    EXPECT_TRUE(Contains(vs.glsl, "layout(location = 2) in vec4"));
    EXPECT_TRUE(Contains(vs.glsl, "out vec4 oD0;"));
    EXPECT_TRUE(Contains(vs.glsl, "out vec4 oT0;"));
    EXPECT_TRUE(Contains(vs.glsl, "gl_Position ="));
    EXPECT_TRUE(Contains(ps.glsl, "uniform sampler2D s0;"));
    EXPECT_TRUE(Contains(ps.glsl, "in vec4 oT0;"));
    EXPECT_TRUE(Contains(ps.glsl, "out vec4 oC0;"));
    EXPECT_FALSE(Contains(vs.glsl, "#version"));
    // The token stream carries the text.
    ASSERT_GE(vs.tokens.size(), 4u);
    EXPECT_EQ(vs.tokens[0], vs.version);
    EXPECT_EQ(vs.tokens[2], (DWORD)D3DSHADER_GLSL_TAG);
    EXPECT_EQ(vs.tokens.back(), 0x0000FFFFu);
    EXPECT_STREQ(reinterpret_cast<const char*>(&vs.tokens[3]), vs.glsl.c_str());
}

const char* const kTwoShaders =
    "float4x4 mUnused;\n"
    "float4 vA;\n"
    "row_major float2x4 mRows;\n"
    "float fArray[3];\n"
    "bool bFlip;\n"
    "int2 iPair;\n"
    "float4 VS(float4 p : POSITION, uniform float k, uniform int n) : POSITION\n"
    "{ return p * k + vA + mul(float2(1, 2), mRows) + fArray[n] + (bFlip ? 1 : 0) + iPair.y; }\n"
    "float4 PS(float4 c : COLOR0) : COLOR { return c * vA; }\n";

TEST(HlslCompile, RegistersGoOnlyToWhatEachShaderReadsAndUniformArgumentsBecomeConstants)
{
    const fx::Effect e = Parsed(kTwoShaders);
    hlsl::Shader vs, ps;
    std::string errors;
    ASSERT_TRUE(hlsl::Compile(e, "vs_2_0", "VS", {"0.5f", "2"}, 1, vs, errors)) << errors;
    ASSERT_TRUE(hlsl::Compile(e, "ps_2_0", "PS", {}, 1, ps, errors)) << errors;
    EXPECT_EQ(ConstantOf(vs, "mUnused"), nullptr);
    const hlsl::Constant* rows = ConstantOf(vs, "mRows");
    const hlsl::Constant* array = ConstantOf(vs, "fArray");
    ASSERT_TRUE(rows && array);
    EXPECT_EQ(rows->count, 2u);   // row_major: one register per row
    EXPECT_EQ(array->count, 3u);  // one register per element
    EXPECT_EQ(ConstantOf(vs, "bFlip")->set, hlsl::RegisterSet::Bool);
    EXPECT_EQ(ConstantOf(vs, "iPair")->set, hlsl::RegisterSet::Int);
    // The pixel shader numbers its own registers from 0.
    ASSERT_EQ(ps.constants.size(), 1u);
    EXPECT_EQ(ps.constants[0].name, "vA");
    EXPECT_EQ(ps.constants[0].start, 0u);
    EXPECT_TRUE(Contains(ps.glsl, "uniform vec4 ps_c[224];"));
    EXPECT_TRUE(Contains(vs.glsl, "uniform bool vs_b[16];"));
    EXPECT_TRUE(Contains(vs.glsl, "float(0.5)"));
    EXPECT_TRUE(Contains(vs.glsl, "int(2)"));
}

TEST(HlslCompile, ErrorsComeBackAtTheirLines)
{
    // A broken function breaks every shader of the file, as with the D3DX compiler.
    const fx::Effect broken = Parsed(kTwoShaders + std::string("float4 Bad(float4 p : POSITION) : POSITION\n"
                                                               "{\n  return undefinedThing * p;\n}\n"));
    const fx::Effect e = Parsed(kTwoShaders);
    const struct {
        const fx::Effect* effect;
        const char* profile;
        const char* entry;
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {&broken, "vs_2_0", "Bad", {}, "test.fx(12): error: 'undefinedThing' : unknown variable"},
        {&broken, "ps_2_0", "PS", {}, "test.fx(12): error: 'undefinedThing' : unknown variable"},
        {&e, "vs_2_0", "Missing", {}, "test.fx(5): error: there is no function 'Missing'"},
        {&e, "vs_9_0", "VS", {}, "test.fx(5): error: unknown shader profile 'vs_9_0'"},
        {&e, "vs_2_0", "VS", {"1"}, "test.fx(5): error: 'VS' takes 2 uniform arguments, 1 given"},
        {&e, "vs_2_0", "VS", {"1", "x"}, "test.fx(5): error: argument 'x' of 'VS' must be a literal number"},
        {&e, "ps_2_0", "PS", {"1"}, "test.fx(5): error: 'PS' takes no uniform arguments, 1 given"},
    };
    for (const auto& c : cases) {
        hlsl::Shader s;
        std::string errors;
        EXPECT_FALSE(hlsl::Compile(*c.effect, c.profile, c.entry, c.args, 5, s, errors)) << c.entry;
        EXPECT_TRUE(Contains(errors, c.error)) << c.entry << " gave:\n" << errors;
        EXPECT_TRUE(s.tokens.empty());
    }
}

// The compiler recurses along chains as well as brackets; a chain that runs
// the main thread's stack out compiles on a stack of its own.
TEST(HlslCompile, LongElseIfChainsCompileWithoutRunningTheStackOut)
{
    std::string text = "float4 VS(float4 p : POSITION) : POSITION\n{\n    float x = p.x;\n    if (x > 0) x = 1;\n";
    for (int i = 0; i < 1800; ++i)
        text += "    else if (x > " + std::to_string(i) + ") x = " + std::to_string(i % 7) + ";\n";
    text += "    return p * x;\n}\ntechnique T { pass P { VertexShader = compile vs_2_0 VS(); } }\n";
    const fx::Effect e = Parsed(text);
    hlsl::Shader vs;
    std::string errors;
    if (!hlsl::Compile(e, "vs_2_0", "VS", {}, 1806, vs, errors)) {
        EXPECT_NE(errors.find(": error: "), std::string::npos) << errors;
    } else {
        EXPECT_FALSE(vs.tokens.empty());
    }
}

TEST(HlslCompile, ShaderCodeOverAMebicharacterIsRefused)
{
    std::string text = "float4 VS(float4 p : POSITION) : POSITION\n{\n    float x = 0;\n";
    while (text.size() < (1u << 20) * 6 / 5)
        text += "x=x+1;\n";
    text += "    return p * x;\n}\n";
    const fx::Effect e = Parsed(text);
    hlsl::Shader vs;
    std::string errors;
    EXPECT_FALSE(hlsl::Compile(e, "vs_2_0", "VS", {}, 1, vs, errors));
    EXPECT_EQ(errors, "test.fx(1): error: the effect's shader code is longer than 1048576 characters\n");
}

} // namespace
