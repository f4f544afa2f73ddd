// The effect text as plain structures: tables of good and broken texts.
#include "d3dx9/fx_parse.h"
#include "d3dx9/fx_states.h"

#include <d3d9.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <map>

namespace {

bool ParseText(const std::string& text, fx::Effect& e, std::string& errors,
               const std::map<std::string, std::string>& files = {}, const fx::Macros& defines = {})
{
    fx::IncludeFn include = [&files](const std::string& name, bool, const std::string&, std::string& out) {
        auto it = files.find(name);
        if (it == files.end())
            return false;
        out = it->second;
        return true;
    };
    return fx::ParseEffect(text, "test.fx", defines, include, e, errors);
}

const fx::Parameter* Find(const fx::Effect& e, const std::string& name)
{
    for (const fx::Parameter& p : e.parameters)
        if (p.name == name)
            return &p;
    return nullptr;
}

TEST(FxParse, ParametersKeepTheirTypesSemanticsAnnotationsAndInitialValues)
{
    fx::Effect e;
    std::string errors;
    ASSERT_TRUE(ParseText("float4x4 mWorld : WORLD;\n"
                          "row_major float4x3 mBones[26] : BONES < string UIName = \"Bones\"; int Count = 26; >;\n"
                          "float4 vColour = {1, 0.5f, -2, 1e1};\n"
                          "float fScale = 2;  float2 vOffset = float2(3, -4), vOther;\n"
                          "int iCount = 3;\nbool bOn = true;\nstring sName = \"abc\" \"def\";\n"
                          "half3 vHalf = 1;\nvector<float, 3> vGeneric;\nmatrix mDefault;\n"
                          "static const float kHidden = 1;\n",
                          e, errors))
        << errors;
    ASSERT_EQ(e.parameters.size(), 12u);
    const fx::Parameter* world = Find(e, "mWorld");
    EXPECT_EQ(world->semantic, "WORLD");
    EXPECT_EQ(world->type.base, fx::Base::Float);
    EXPECT_EQ(world->type.cls, fx::Class::MatrixColumns);
    EXPECT_EQ(world->type.rows, 4u);
    EXPECT_EQ(world->type.columns, 4u);
    const fx::Parameter* bones = Find(e, "mBones");
    EXPECT_EQ(bones->type.cls, fx::Class::MatrixRows);
    EXPECT_EQ(bones->type.rows, 4u);
    EXPECT_EQ(bones->type.columns, 3u);
    EXPECT_EQ(bones->type.elements, 26u);
    ASSERT_EQ(bones->annotations.size(), 2u);
    EXPECT_EQ(bones->annotations[0].name, "UIName");
    EXPECT_EQ(bones->annotations[0].value.text, "Bones");
    EXPECT_EQ(bones->annotations[1].type.base, fx::Base::Int);
    EXPECT_EQ(bones->annotations[1].value.numbers, std::vector<double>{26});
    EXPECT_EQ(Find(e, "vColour")->initial.numbers, (std::vector<double>{1, 0.5, -2, 10}));
    EXPECT_EQ(Find(e, "fScale")->type.cls, fx::Class::Scalar);
    EXPECT_EQ(Find(e, "vOffset")->initial.numbers, (std::vector<double>{3, -4}));
    EXPECT_FALSE(Find(e, "vOther")->hasInitializer);
    EXPECT_EQ(Find(e, "iCount")->type.base, fx::Base::Int);
    EXPECT_EQ(Find(e, "bOn")->initial.numbers, std::vector<double>{1});
    EXPECT_EQ(Find(e, "sName")->initial.text, "abcdef");
    EXPECT_EQ(Find(e, "vHalf")->initial.numbers, (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(Find(e, "vGeneric")->type.columns, 3u);
    EXPECT_EQ(Find(e, "mDefault")->type.rows, 4u);
    EXPECT_EQ(Find(e, "kHidden"), nullptr);
    // What the compiler sees: the static constant, no parameter, the lines kept.
    EXPECT_EQ(e.hlsl.find("mWorld"), std::string::npos);
    EXPECT_NE(e.hlsl.find("static const float kHidden = 1;"), std::string::npos);
    EXPECT_EQ(std::count(e.hlsl.begin(), e.hlsl.end(), '\n'), 11);
}

TEST(FxParse, TexturesSamplersAndTechniquesWithTheirStates)
{
    fx::Effect e;
    std::string errors;
    ASSERT_TRUE(ParseText("texture tDiffuse : DIFFUSE;\n"
                          "sampler2D sDiffuse = sampler_state { Texture = <tDiffuse>; MinFilter = Linear;\n"
                          "  AddressU = Clamp; };\n"
                          "float4 PS(float2 t : TEXCOORD0) : COLOR { return tex2D(sDiffuse, t); }\n"
                          "technique Main < string Mode = \"x\"; > {\n"
                          "  pass P0 { ZEnable = true; CullMode = CCW; AlphaRef = 0x80; FogColor = float4(1, 0, 0, 1);\n"
                          "    ColorWriteEnable = Red | Alpha; Texture[1] = <tDiffuse>; Sampler[2] = (sDiffuse);\n"
                          "    VertexShader = compile vs_2_0 VS(2, -1.5f); PixelShader = compile ps_2_0 PS();\n"
                          "    ColorOp[0] = Modulate; }\n"
                          "  pass { PixelShader = NULL; }\n"
                          "}\n"
                          "technique { pass P { } }\n",
                          e, errors))
        << errors;
    ASSERT_EQ(e.parameters.size(), 2u);
    EXPECT_TRUE(e.parameters[0].type.IsTexture());
    EXPECT_EQ(e.parameters[1].type.base, fx::Base::Sampler2D);
    ASSERT_EQ(e.parameters[1].samplerStates.size(), 3u);
    EXPECT_EQ(e.parameters[1].samplerStates[0].value.kind, fx::StateValue::Reference);
    EXPECT_EQ(e.parameters[1].samplerStates[0].value.name, "tDiffuse");
    EXPECT_EQ(e.functions, std::vector<std::string>{"PS"});
    ASSERT_EQ(e.techniques.size(), 2u);
    const fx::Technique& t = e.techniques[0];
    EXPECT_EQ(t.name, "Main");
    ASSERT_EQ(t.annotations.size(), 1u);
    ASSERT_EQ(t.passes.size(), 2u);
    EXPECT_EQ(t.passes[1].name, "");
    const std::vector<fx::State>& s = t.passes[0].states;
    ASSERT_EQ(s.size(), 10u);
    EXPECT_EQ(s[0].value.numbers, std::vector<double>{1});
    EXPECT_EQ(s[1].value.kind, fx::StateValue::Name);
    EXPECT_EQ(s[2].value.numbers, std::vector<double>{128});
    EXPECT_EQ(s[4].value.name, "Red|Alpha");
    EXPECT_EQ(s[5].index, 1);
    EXPECT_EQ(s[6].value.kind, fx::StateValue::Reference);
    EXPECT_EQ(s[7].value.kind, fx::StateValue::Compile);
    EXPECT_EQ(s[7].value.profile, "vs_2_0");
    EXPECT_EQ(s[7].value.name, "VS");
    EXPECT_EQ(s[7].value.args, (std::vector<std::string>{"2", "-1.5f"}));
    EXPECT_EQ(s[7].line, 8);
    EXPECT_EQ(t.passes[1].states[0].value.kind, fx::StateValue::Null);
    // Only the shader function is left for the compiler.
    EXPECT_EQ(e.hlsl.find("technique"), std::string::npos);
    EXPECT_EQ(e.hlsl.find("sampler_state"), std::string::npos);
    EXPECT_NE(e.hlsl.find("float4 PS(float2 t : TEXCOORD0)"), std::string::npos);
}

TEST(FxParse, CommentsAndThePreprocessorWithIncludes)
{
    fx::Effect e;
    std::string errors;
    const std::map<std::string, std::string> files = {
        {"common.fxh", "#define BONES 26\n#define PAIR(x) float2(x, -x)\nfloat4x4 mPalette[BONES];\n"}};
    ASSERT_TRUE(ParseText("// a comment\n#include \"common.fxh\"\n/* block\n comment */ float2 fA = PAIR(3);\n"
                          "#ifdef BONES\nfloat fIn;\n#else\nfloat fOut;\n#endif\n"
                          "#if defined(EXTRA) && EXTRA > 1\nfloat fExtra;\n#elif BONES == 26\nfloat fTwentySix;\n"
                          "#endif\n#define JOIN(a, b) a##b\nfloat JOIN(f, Joined);\n"
                          "#define CALL(a,\\\n  b) a\nfloat CALL(fSpanned,\n  2);\n",
                          e, errors, files, {{"EXTRA", "1"}}))
        << errors;
    std::vector<std::string> names;
    for (const fx::Parameter& p : e.parameters)
        names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"mPalette", "fA", "fIn", "fTwentySix", "fJoined", "fSpanned"}));
    EXPECT_EQ(Find(e, "mPalette")->type.elements, 26u);
    // Lines map back to the file they came from.
    EXPECT_EQ(e.source.Where(Find(e, "mPalette")->line), "common.fxh(3)");
    EXPECT_EQ(e.source.Where(Find(e, "fA")->line), "test.fx(4)");
    EXPECT_EQ(e.source.Where(Find(e, "fSpanned")->line), "test.fx(19)");
}

TEST(FxParse, BrokenTextsGiveTheirErrors)
{
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"float4 v = {1, 2};", "test.fx(1): error: 'v' needs 4 values, 2 given"},
        {"float a;\nfloat a;", "test.fx(2): error: 'a' is declared twice"},
        {"unknowntype x;", "test.fx(1): error: unknown type 'unknowntype'"},
        {"struct S { float a; };\nS s;", "test.fx(2): error: parameters of structure type are not supported ('S')"},
        {"float f = sin(1);", "test.fx(1): error: an initial value must be a constant ('sin' is not)"},
        {"float f[0];", "test.fx(1): error: the size of array 'f' must be a number from 1 to 65536"},
        {"technique T { pass P { ZEnable = true } }", "test.fx(1): error: expected ';' after the state assignment"},
        {"technique T { ZEnable = true; }", "test.fx(1): error: expected 'pass' in technique 'T', found 'ZEnable'"},
        {"technique T { pass P { VertexShader = asm { }; } }", "test.fx(1): error: assembly shaders are not supported"},
        {"texture t = 1;", "test.fx(1): error: 't' cannot have an initial value"},
        {"float f\n", "test.fx(2): error: expected ',' or ';' after the declaration, found the end of the file"},
        {"void F() {", "test.fx(1): error: '{' is never closed"},
        {"technique10 T { }", "test.fx(1): error: 'technique10' is not supported in a Direct3D 9 effect"},
        {"#include \"missing.fxh\"", "test.fx(1): error: cannot open include file 'missing.fxh'"},
        {"#if 1\nfloat f;", "#if without #endif"},
        {"#endif", "test.fx(1): error: #endif without #if"},
        {"#error stop here", "test.fx(1): error: #error stop here"},
        {"#define F(a, b) a\nfloat F(1);", "test.fx(2): error: macro 'F' takes 2 arguments, 1 given"},
        {"#if (1 +\n#endif", "test.fx(1): error: invalid expression in #if: (1 +"},
        {"#define R R R\nfloat R;", "test.fx(2): error: expected ',' or ';' after the declaration, found 'R'"},
        {"#bogus", "test.fx(1): error: unknown directive #bogus"},
        {"sampler s[2];", "test.fx(1): error: arrays of samplers are not supported"},
        {"#define A0 x x\n#define A1 A0 A0\n#define A2 A1 A1\n#define A3 A2 A2\n#define A4 A3 A3\n"
         "#define A5 A4 A4\n#define A6 A5 A5\n#define A7 A6 A6\n#define A8 A7 A7\n#define A9 A8 A8\n"
         "#define B0 A9 A9\n#define B1 B0 B0\n#define B2 B1 B1\n#define B3 B2 B2\n#define B4 B3 B3\n"
         "#define B5 B4 B4\n#define B6 B5 B5\n#define B7 B6 B6\n#define B8 B7 B7\n#define B9 B8 B8\nB9",
         "test.fx(21): error: macro expansion too large"},
    };
    for (const auto& c : cases) {
        fx::Effect e;
        std::string errors;
        EXPECT_FALSE(ParseText(c.text, e, errors)) << c.text;
        EXPECT_NE(errors.find(c.error), std::string::npos) << c.text << "\n  gave: " << errors;
    }
}

std::string Repeat(const std::string& s, int n, const char* between = "")
{
    std::string r;
    for (int i = 0; i < n; ++i)
        r += s + between;
    return r;
}

// A function whose body nests `depth` brackets (its own braces included).
std::string Nested(const char* open, const char* close, int depth, const char* between)
{
    return "float4 VS(float4 p : POSITION) : POSITION\n" + Repeat(open, depth, between) + " return p; " +
           Repeat(close, depth, between) + "\ntechnique T { pass P { VertexShader = compile vs_2_0 VS(); } }\n";
}

// The shader compiler recurses once per level of brackets: deep nesting is
// refused before it, on one line or over many.
TEST(FxParse, BracketsNestedDeeperThan256LevelsAreRefused)
{
    const struct {
        const char *open, *close;
        int depth;
        const char* between;
        bool parses;
        int line;  // of the first bracket too many
    } cases[] = {
        {"{", "}", 256, "", true, 0},       {"{", "}", 257, "", false, 2},
        {"{", "}", 5000, "", false, 2},     {"{", "}", 5000, "\n", false, 258},
        {"{ (", ") }", 128, "", true, 0},   {"{ (", ") }", 129, "", false, 2},
        {"{ [", "] }", 129, "\n", false, 130}, {"{ ((", ")) }", 3000, " ", false, 2},
    };
    for (const auto& c : cases) {
        fx::Effect e;
        std::string errors;
        const bool parsed = ParseText(Nested(c.open, c.close, c.depth, c.between), e, errors);
        EXPECT_EQ(parsed, c.parses) << c.open << " x " << c.depth << ": " << errors;
        if (!c.parses) {
            EXPECT_EQ(errors, "test.fx(" + std::to_string(c.line) + "): error: brackets nested deeper than 256 levels\n")
                << c.open << " x " << c.depth;
        }
    }
}

TEST(FxParse, IfExpressionsNestedDeeperThan256LevelsAreRefused)
{
    const struct {
        std::string expr;
        bool parses;
    } cases[] = {
        {Repeat("(", 256) + "1" + Repeat(")", 256), true},
        {Repeat("(", 257) + "1" + Repeat(")", 257), false},
        {Repeat("(", 30000) + "1" + Repeat(")", 30000), false},
        {Repeat("!", 256) + "1", true},
        {Repeat("- ", 20000) + "1", false},
        {Repeat("1 ? ", 300) + "1" + Repeat(" : 0", 300), false},
    };
    for (const auto& c : cases) {
        fx::Effect e;
        std::string errors;
        EXPECT_EQ(ParseText("#if " + c.expr + "\nfloat f;\n#endif\n", e, errors), c.parses) << c.expr.substr(0, 20);
        if (!c.parses) {
            EXPECT_EQ(errors, "test.fx(1): error: #if expression nested deeper than 256 levels\n");
        }
    }
}

// Every cut of a real effect file either parses or fails with a message.
TEST(FxParse, TruncatedFilesFailCleanly)
{
    std::ifstream f(NIMB_RUN_DIR "/data/shaders/SkinnedMesh.fx");
    std::stringstream ss;
    ss << f.rdbuf();
    const std::string text = ss.str();
    ASSERT_GT(text.size(), 1000u);
    for (size_t n = 0; n < text.size(); n += 7) {
        fx::Effect e;
        std::string errors;
        if (!ParseText(text.substr(0, n), e, errors)) {
            EXPECT_NE(errors.find(": error: "), std::string::npos) << n;
        }
    }
}

TEST(FxStates, NamesAndValuesReachTheDeviceStates)
{
    const struct {
        const char* name;
        int index;
        bool inSampler;
        fx::StateValue::Kind kind;
        const char* word;
        double number;
        fx::StateKind expectKind;
        DWORD expectId;
        DWORD expectBits;
    } cases[] = {
        {"CullMode", 0, false, fx::StateValue::Name, "CCW", 0, fx::StateKind::Render, D3DRS_CULLMODE, D3DCULL_CCW},
        {"cullmode", 0, false, fx::StateValue::Name, "D3DCULL_NONE", 0, fx::StateKind::Render, D3DRS_CULLMODE,
         D3DCULL_NONE},
        {"SrcBlend", 0, false, fx::StateValue::Name, "InvSrcAlpha", 0, fx::StateKind::Render, D3DRS_SRCBLEND,
         D3DBLEND_INVSRCALPHA},
        {"ZFunc", 0, false, fx::StateValue::Name, "LessEqual", 0, fx::StateKind::Render, D3DRS_ZFUNC,
         D3DCMP_LESSEQUAL},
        {"ZEnable", 0, false, fx::StateValue::Numbers, nullptr, 1, fx::StateKind::Render, D3DRS_ZENABLE, 1},
        {"FogStart", 0, false, fx::StateValue::Numbers, nullptr, 1.0, fx::StateKind::Render, D3DRS_FOGSTART,
         0x3F800000},
        {"ColorWriteEnable", 0, false, fx::StateValue::Name, "RED|ALPHA", 0, fx::StateKind::Render,
         D3DRS_COLORWRITEENABLE, 9},
        {"PointSize_Min", 0, false, fx::StateValue::Numbers, nullptr, 2.0, fx::StateKind::Render,
         D3DRS_POINTSIZE_MIN, 0x40000000},
        {"ColorOp", 1, false, fx::StateValue::Name, "Modulate2x", 0, fx::StateKind::TextureStage, D3DTSS_COLOROP,
         D3DTOP_MODULATE2X},
        {"ColorArg1", 0, false, fx::StateValue::Name, "Texture|Complement", 0, fx::StateKind::TextureStage,
         D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT},
        {"MinFilter", 3, false, fx::StateValue::Name, "Anisotropic", 0, fx::StateKind::Sampler, D3DSAMP_MINFILTER,
         D3DTEXF_ANISOTROPIC},
        {"AddressU", 0, true, fx::StateValue::Name, "Mirror", 0, fx::StateKind::Sampler, D3DSAMP_ADDRESSU,
         D3DTADDRESS_MIRROR},
    };
    for (const auto& c : cases) {
        fx::StateTarget t;
        ASSERT_TRUE(fx::LookupState(c.name, c.index, c.inSampler, t)) << c.name;
        EXPECT_EQ(t.kind, c.expectKind) << c.name;
        EXPECT_EQ(t.id, c.expectId) << c.name;
        EXPECT_EQ(t.index, (DWORD)c.index) << c.name;
        fx::StateValue v;
        v.kind = c.kind;
        if (c.word)
            v.name = c.word;
        else
            v.numbers = {c.number};
        DWORD bits = 0;
        std::string error;
        ASSERT_TRUE(fx::StateValueBits(t, v, bits, error)) << c.name << ": " << error;
        EXPECT_EQ(bits, c.expectBits) << c.name;
    }
    fx::StateTarget t;
    EXPECT_FALSE(fx::LookupState("NoSuchState", 0, false, t));
    EXPECT_FALSE(fx::LookupState("ColorOp", 8, false, t));
    EXPECT_FALSE(fx::LookupState("ZEnable", 1, false, t));
    ASSERT_TRUE(fx::LookupState("CullMode", 0, false, t));
    fx::StateValue v;
    v.kind = fx::StateValue::Name;
    v.name = "Sideways";
    DWORD bits = 0;
    std::string error;
    EXPECT_FALSE(fx::StateValueBits(t, v, bits, error));
    EXPECT_EQ(error, "'Sideways' is not a value of this state");
}

} // namespace
