// ID3DXEffect on the recording fake device: creation and its errors,
// parameters by handle and by name, registers as the shaders read them,
// CommitChanges uploading what changed, and the states Begin saves.
#include <d3dx9.h>

#include "fake_d3d9.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

namespace {

const char* const kEffect =
    "float4x4 mTransform : WORLDVIEWPROJECTION < string UIName = \"Transform\"; >;\n"
    "row_major float4x4 mRows;\n"
    "float4 vColour : DIFFUSE = {1, 0, 0, 1};\n"
    "float fScale = 2.5;\n"
    "int iCount = 3;\n"
    "bool bFlag;\n"
    "float4 vList[3];\n"
    "string sName = \"quad\";\n"
    "texture tImage;\n"
    "sampler2D sImage = sampler_state { Texture = <tImage>; MinFilter = Point; AddressU = Clamp; };\n"
    "float4 VS(float4 p : POSITION) : POSITION\n"
    "{ return mul(p, mTransform) + mul(p, mRows) * fScale + vList[iCount - 1] + (bFlag ? 1 : 0); }\n"
    "float4 PS() : COLOR { return vColour * tex2D(sImage, float2(0.5, 0.5)); }\n"
    "float4 VS3(float4 p : POSITION) : POSITION { return p; }\n"
    "technique Fancy < int Level = 3; > { pass P0 { VertexShader = compile vs_3_0 VS3(); } }\n"
    "technique Plain {\n"
    "  pass First { ZEnable = false; CullMode = None; AlphaBlendEnable = true; SrcBlend = SrcAlpha;\n"
    "               VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); }\n"
    "  pass Second { FogEnable = <bFlag>; AlphaRef = <iCount>; PixelShader = NULL; }\n"
    "}\n";

class EffectOnFake : public ::testing::Test {
protected:
    void SetUp() override
    {
        device = fake.MakeDevice();
        ASSERT_NE(device, nullptr);
        baseline = fake.LiveObjects();
    }
    void TearDown() override
    {
        EXPECT_EQ(fake.LiveObjects(), baseline) << "something the effect made was left alive";
        EXPECT_TRUE(fake.Problems().empty()) << (fake.Problems().empty() ? "" : fake.Problems().front());
        EXPECT_EQ(device->Release(), 0u);
    }
    ID3DXEffect* Create(const char* text = kEffect)
    {
        ID3DXEffect* e = nullptr;
        ID3DXBuffer* errors = nullptr;
        HRESULT hr = D3DXCreateEffect(device, text, (UINT)std::strlen(text), nullptr, nullptr, 0, nullptr, &e, &errors);
        EXPECT_EQ(hr, D3D_OK) << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
        if (errors)
            errors->Release();
        return e;
    }
    std::vector<float> VsRegisters(UINT start, UINT count)
    {
        std::vector<float> f(count * 4);
        device->GetVertexShaderConstantF(start, f.data(), count);
        return f;
    }

    FakeD3D9 fake;
    IDirect3DDevice9* device = nullptr;
    size_t baseline = 0;
};

TEST_F(EffectOnFake, DescribesParametersTechniquesAndPasses)
{
    ID3DXEffect* e = Create();
    ASSERT_NE(e, nullptr);
    D3DXEFFECT_DESC desc;
    ASSERT_EQ(e->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Parameters, 10u);
    EXPECT_EQ(desc.Techniques, 2u);
    EXPECT_EQ(desc.Functions, 3u);
    D3DXHANDLE transform = e->GetParameterBySemantic(nullptr, "worldviewprojection");
    ASSERT_NE(transform, nullptr);
    EXPECT_EQ(transform, e->GetParameterByName(nullptr, "mTransform"));
    EXPECT_EQ(transform, e->GetParameter(nullptr, 0));
    D3DXPARAMETER_DESC p;
    ASSERT_EQ(e->GetParameterDesc(transform, &p), D3D_OK);
    EXPECT_STREQ(p.Name, "mTransform");
    EXPECT_STREQ(p.Semantic, "WORLDVIEWPROJECTION");
    EXPECT_EQ(p.Class, D3DXPC_MATRIX_COLUMNS);
    EXPECT_EQ(p.Type, D3DXPT_FLOAT);
    EXPECT_EQ(p.Rows, 4u);
    EXPECT_EQ(p.Columns, 4u);
    EXPECT_EQ(p.Bytes, 64u);
    EXPECT_EQ(p.Annotations, 1u);
    LPCSTR name = nullptr;
    ASSERT_EQ(e->GetString(e->GetAnnotationByName(transform, "UIName"), &name), D3D_OK);
    EXPECT_STREQ(name, "Transform");
    ASSERT_EQ(e->GetParameterDesc("mRows", &p), D3D_OK);
    EXPECT_EQ(p.Class, D3DXPC_MATRIX_ROWS);
    ASSERT_EQ(e->GetParameterDesc("vList", &p), D3D_OK);
    EXPECT_EQ(p.Elements, 3u);
    EXPECT_EQ(p.Bytes, 48u);
    EXPECT_EQ(e->GetParameterElement("vList", 2), e->GetParameterByName(nullptr, "vList[2]"));
    ASSERT_EQ(e->GetParameterDesc("sImage", &p), D3D_OK);
    EXPECT_EQ(p.Type, D3DXPT_SAMPLER2D);
    EXPECT_EQ(p.Class, D3DXPC_OBJECT);
    EXPECT_EQ(e->GetParameterByName(nullptr, "nothing"), nullptr);
    // The device has vertex shaders 2.0: the first valid technique is the current one.
    EXPECT_EQ(e->ValidateTechnique("Fancy"), E_FAIL);
    EXPECT_EQ(e->ValidateTechnique("Plain"), D3D_OK);
    EXPECT_EQ(e->GetCurrentTechnique(), e->GetTechniqueByName("Plain"));
    D3DXHANDLE next = nullptr;
    EXPECT_EQ(e->FindNextValidTechnique(nullptr, &next), D3D_OK);
    EXPECT_EQ(next, e->GetTechnique(1));
    EXPECT_EQ(e->FindNextValidTechnique(next, &next), S_FALSE);
    EXPECT_EQ(next, nullptr);
    D3DXTECHNIQUE_DESC t;
    ASSERT_EQ(e->GetTechniqueDesc("Plain", &t), D3D_OK);
    EXPECT_EQ(t.Passes, 2u);
    INT level = 0;
    EXPECT_EQ(e->GetInt(e->GetAnnotation("Fancy", 0), &level), D3D_OK);
    EXPECT_EQ(level, 3);
    D3DXPASS_DESC pass;
    ASSERT_EQ(e->GetPassDesc(e->GetPassByName("Plain", "First"), &pass), D3D_OK);
    EXPECT_STREQ(pass.Name, "First");
    ASSERT_NE(pass.pVertexShaderFunction, nullptr);
    EXPECT_EQ(pass.pVertexShaderFunction[0], (DWORD)D3DVS_VERSION(2, 0));
    EXPECT_EQ(pass.pPixelShaderFunction[0], (DWORD)D3DPS_VERSION(2, 0));
    EXPECT_TRUE(e->IsParameterUsed("tImage", "Plain"));
    EXPECT_TRUE(e->IsParameterUsed("bFlag", "Plain"));
    EXPECT_FALSE(e->IsParameterUsed("sName", "Plain"));
    EXPECT_EQ(e->Release(), 0u);
}

TEST_F(EffectOnFake, ValuesConvertBetweenTypesAsD3dxDoes)
{
    ID3DXEffect* e = Create();
    ASSERT_NE(e, nullptr);
    FLOAT f = 0;
    EXPECT_EQ(e->GetFloat("fScale", &f), D3D_OK);
    EXPECT_EQ(f, 2.5f);
    EXPECT_EQ(e->SetFloat("iCount", 2.6f), D3D_OK);  // rounded
    INT n = 0;
    EXPECT_EQ(e->GetInt("iCount", &n), D3D_OK);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(e->SetInt("bFlag", 5), D3D_OK);  // any non-zero is TRUE
    BOOL b = FALSE;
    EXPECT_EQ(e->GetBool("bFlag", &b), D3D_OK);
    EXPECT_EQ(b, TRUE);
    D3DXVECTOR4 v(0, 0, 0, 0);
    EXPECT_EQ(e->GetVector("vColour", &v), D3D_OK);
    EXPECT_EQ(v, D3DXVECTOR4(1, 0, 0, 1));
    const D3DXVECTOR4 list[3] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
    EXPECT_EQ(e->SetVectorArray("vList", list, 3), D3D_OK);
    EXPECT_EQ(e->SetVectorArray("vList", list, 4), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->GetVector(e->GetParameterElement("vList", 1), &v), D3D_OK);
    EXPECT_EQ(v, list[1]);
    D3DXMATRIX m, back, t;
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = (float)i;
    EXPECT_EQ(e->SetMatrixTranspose("mTransform", &m), D3D_OK);
    EXPECT_EQ(e->GetMatrix("mTransform", &back), D3D_OK);
    D3DXMatrixTranspose(&t, &m);
    EXPECT_EQ(back, t);
    EXPECT_EQ(e->SetMatrix("vColour", &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetFloat("vColour", 1.0f), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetValue("fScale", &f, 8), D3DERR_INVALIDCALL);
    const float raw = 7.0f;
    EXPECT_EQ(e->SetValue("fScale", &raw, 4), D3D_OK);
    EXPECT_EQ(e->GetFloat("fScale", &f), D3D_OK);
    EXPECT_EQ(f, 7.0f);
    EXPECT_EQ(e->SetString("sName", "strip"), D3D_OK);
    LPCSTR s = nullptr;
    EXPECT_EQ(e->GetString("sName", &s), D3D_OK);
    EXPECT_STREQ(s, "strip");
    EXPECT_EQ(e->SetTexture("fScale", nullptr), D3DERR_INVALIDCALL);
    // A texture is held while the effect holds it.
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    EXPECT_EQ(e->SetTexture("tImage", tex), D3D_OK);
    EXPECT_EQ(tex->Release(), 1u);
    IDirect3DBaseTexture9* got = nullptr;
    EXPECT_EQ(e->GetTexture("tImage", &got), D3D_OK);
    EXPECT_EQ(got, tex);
    got->Release();
    EXPECT_EQ(e->Release(), 0u);
}

TEST_F(EffectOnFake, PassesSetStatesShadersAndRegistersAndCommitChangesSendsWhatChanged)
{
    ID3DXEffect* e = Create();
    ASSERT_NE(e, nullptr);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    e->SetTexture("tImage", tex);
    D3DXMATRIX m;
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = (float)(i + 1);
    e->SetMatrix("mTransform", &m);
    e->SetMatrix("mRows", &m);
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
    EXPECT_EQ(passes, 2u);
    fake.ClearLog();
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    DWORD v = 0;
    device->GetRenderState(D3DRS_ZENABLE, &v);
    EXPECT_EQ(v, 0u);
    device->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, (DWORD)D3DCULL_NONE);
    device->GetRenderState(D3DRS_SRCBLEND, &v);
    EXPECT_EQ(v, (DWORD)D3DBLEND_SRCALPHA);
    IDirect3DVertexShader9* vs = nullptr;
    device->GetVertexShader(&vs);
    ASSERT_NE(vs, nullptr);
    vs->Release();
    // The sampler's texture and states at its register.
    IDirect3DBaseTexture9* bound = nullptr;
    device->GetTexture(0, &bound);
    EXPECT_EQ(bound, tex);
    if (bound)
        bound->Release();
    device->GetSamplerState(0, D3DSAMP_MINFILTER, &v);
    EXPECT_EQ(v, (DWORD)D3DTEXF_POINT);
    device->GetSamplerState(0, D3DSAMP_ADDRESSU, &v);
    EXPECT_EQ(v, (DWORD)D3DTADDRESS_CLAMP);
    // Registers: a column-major matrix one column per register, a row-major one by rows.
    D3DXHANDLE pass = e->GetPass("Plain", 0);
    D3DXPASS_DESC pd;
    e->GetPassDesc(pass, &pd);
    bool sawColumns = false, sawRows = false;
    for (UINT r = 0; r + 4 <= 32; ++r) {
        std::vector<float> regs = VsRegisters(r, 4);
        if (regs[0] == 1 && regs[1] == 5 && regs[2] == 9 && regs[3] == 13 && regs[4] == 2)
            sawColumns = true;
        if (regs[0] == 1 && regs[1] == 2 && regs[2] == 3 && regs[3] == 4 && regs[4] == 5)
            sawRows = true;
    }
    EXPECT_TRUE(sawColumns);
    EXPECT_TRUE(sawRows);
    std::vector<int> ints(4);
    device->GetVertexShaderConstantI(0, ints.data(), 1);
    EXPECT_EQ(ints[0], 3);
    float colour[4];
    device->GetPixelShaderConstantF(0, colour, 1);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[3], 1.0f);
    // Nothing changed: nothing is sent. One change: only its registers.
    fake.ClearLog();
    ASSERT_EQ(e->CommitChanges(), D3D_OK);
    EXPECT_EQ(fake.Count("SetVertexShaderConstantF") + fake.Count("SetPixelShaderConstantF"), 0u);
    const D3DXVECTOR4 green(0, 1, 0, 1);
    e->SetVector("vColour", &green);
    ASSERT_EQ(e->CommitChanges(), D3D_OK);
    EXPECT_EQ(fake.Count("SetVertexShaderConstantF"), 0u);
    EXPECT_EQ(fake.Count("SetPixelShaderConstantF"), 1u);
    device->GetPixelShaderConstantF(0, colour, 1);
    EXPECT_EQ(colour[1], 1.0f);
    EXPECT_EQ(e->BeginPass(1), D3DERR_INVALIDCALL);  // still in pass 0
    ASSERT_EQ(e->EndPass(), D3D_OK);
    // States that read parameters take their values.
    e->SetBool("bFlag", TRUE);
    ASSERT_EQ(e->BeginPass(1), D3D_OK);
    device->GetRenderState(D3DRS_FOGENABLE, &v);
    EXPECT_EQ(v, 1u);
    device->GetRenderState(D3DRS_ALPHAREF, &v);
    EXPECT_EQ(v, 3u);
    IDirect3DPixelShader9* ps = (IDirect3DPixelShader9*)1;
    device->GetPixelShader(&ps);
    EXPECT_EQ(ps, nullptr);
    e->SetInt("iCount", 2);
    e->CommitChanges();
    device->GetRenderState(D3DRS_ALPHAREF, &v);
    EXPECT_EQ(v, 2u);
    EXPECT_EQ(e->EndPass(), D3D_OK);
    EXPECT_EQ(e->End(), D3D_OK);
    EXPECT_EQ(e->End(), D3DERR_INVALIDCALL);
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    device->SetTexture(0, nullptr);
    tex->Release();
    EXPECT_EQ(e->Release(), 0u);
}

TEST_F(EffectOnFake, BeginSavesTheStatesThePassesChangeAndEndPutsThemBack)
{
    ID3DXEffect* e = Create();
    ASSERT_NE(e, nullptr);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    const float before[4] = {9, 8, 7, 6};
    device->SetPixelShaderConstantF(0, before, 1);
    const struct {
        DWORD flags;
        bool shaderStateBack;
    } cases[] = {{0, true}, {D3DXFX_DONOTSAVESHADERSTATE, false}, {0, true}};
    for (const auto& c : cases) {
        UINT passes = 0;
        ASSERT_EQ(e->Begin(&passes, c.flags), D3D_OK);
        for (UINT p = 0; p < passes; ++p) {
            e->BeginPass(p);
            e->EndPass();
        }
        ASSERT_EQ(e->End(), D3D_OK);
        DWORD v = 0;
        device->GetRenderState(D3DRS_CULLMODE, &v);
        EXPECT_EQ(v, (DWORD)D3DCULL_CW) << c.flags;
        device->GetRenderState(D3DRS_SRCBLEND, &v);
        EXPECT_EQ(v, (DWORD)D3DBLEND_ONE) << c.flags;
        float now[4];
        device->GetPixelShaderConstantF(0, now, 1);
        EXPECT_EQ(now[0] == 9.0f, c.shaderStateBack) << c.flags;
        IDirect3DVertexShader9* vs = nullptr;
        device->GetVertexShader(&vs);
        EXPECT_EQ(vs == nullptr, c.shaderStateBack) << c.flags;
        if (vs)
            vs->Release();
        device->SetVertexShader(nullptr);
        device->SetPixelShaderConstantF(0, before, 1);
    }
    // With D3DXFX_DONOTSAVESTATE the passes' states stay.
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
    e->BeginPass(0);
    e->EndPass();
    e->End();
    DWORD v = 0;
    device->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, (DWORD)D3DCULL_NONE);
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    EXPECT_EQ(e->OnLostDevice(), D3D_OK);
    EXPECT_EQ(e->OnResetDevice(), D3D_OK);
    EXPECT_EQ(e->Release(), 0u);
}

TEST_F(EffectOnFake, CreationFailsCleanlyWithItsMessages)
{
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"float4 PS() : COLOR { return missing; }\ntechnique T { pass P { PixelShader = compile ps_2_0 PS(); } }",
         "memory(1): error: 'missing' : unknown variable"},
        {"technique T { pass P { NoSuchState = 1; } }", "memory(1): error: unknown state 'NoSuchState'"},
        {"technique T { pass P { CullMode = Sideways; } }",
         "memory(1): error: 'Sideways' is not a value of this state ('CullMode')"},
        {"float4 PS() : COLOR { return 1; }\ntechnique T { pass P { VertexShader = compile ps_2_0 PS(); } }",
         "memory(2): error: 'VertexShader' cannot take a ps_2_0 shader"},
        {"float f = ;", "memory(1): error: empty an initial value"},
    };
    for (const auto& c : cases) {
        ID3DXEffect* e = (ID3DXEffect*)1;
        ID3DXBuffer* errors = nullptr;
        EXPECT_EQ(D3DXCreateEffect(device, c.text, (UINT)std::strlen(c.text), nullptr, nullptr, 0, nullptr, &e,
                                   &errors),
                  D3DXERR_INVALIDDATA)
            << c.text;
        EXPECT_EQ(e, nullptr);
        ASSERT_NE(errors, nullptr) << c.text;
        const std::string text = static_cast<const char*>(errors->GetBufferPointer());
        EXPECT_NE(text.find(c.error), std::string::npos) << text;
        errors->Release();
    }
    ID3DXEffect* e = nullptr;
    ID3DXBuffer* errors = nullptr;
    EXPECT_EQ(D3DXCreateEffectFromFile(device, "/nonexistent/x.fx", nullptr, nullptr, 0, nullptr, &e, &errors),
              D3DXERR_INVALIDDATA);
    ASSERT_NE(errors, nullptr);
    errors->Release();
    EXPECT_EQ(D3DXCreateEffect(device, nullptr, 0, nullptr, nullptr, 0, nullptr, &e, nullptr), D3DERR_INVALIDCALL);
}

// Hostile nesting fails like any other broken effect, with its message.
TEST_F(EffectOnFake, DeeplyNestedParenthesesFailCreationWithTheirMessage)
{
    for (const char* between : {"", "\n"}) {
        std::string text = "float4 VS(float4 p : POSITION) : POSITION { return ";
        for (int i = 0; i < 6000; ++i)
            text += std::string("(") + between;
        text += "p";
        for (int i = 0; i < 6000; ++i)
            text += std::string(")") + between;
        text += "; }\ntechnique T { pass P { VertexShader = compile vs_2_0 VS(); } }\n";
        ID3DXEffect* e = (ID3DXEffect*)1;
        ID3DXBuffer* errors = nullptr;
        EXPECT_EQ(D3DXCreateEffect(device, text.data(), (UINT)text.size(), nullptr, nullptr, 0, nullptr, &e, &errors),
                  D3DXERR_INVALIDDATA);
        EXPECT_EQ(e, nullptr);
        ASSERT_NE(errors, nullptr);
        EXPECT_NE(std::string(static_cast<const char*>(errors->GetBufferPointer()))
                      .find("): error: brackets nested deeper than 256 levels"),
                  std::string::npos);
        errors->Release();
    }
}

// D3DXSHADER_PACKMATRIX_ROWMAJOR: matrices without a qualifier take one register per row.
TEST_F(EffectOnFake, ThePackMatrixFlagsChooseTheRegisterLayout)
{
    const std::string text = "float4x4 mPlain;\ncolumn_major float4x4 mColumns;\n"
                             "float4 VS(float4 p : POSITION) : POSITION { return mul(p, mPlain) + mul(p, mColumns); }\n"
                             "technique T { pass P { VertexShader = compile vs_2_0 VS(); } }\n";
    D3DXMATRIX m;
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = (float)(i + 1);
    for (DWORD flags : {0u, (DWORD)D3DXSHADER_PACKMATRIX_ROWMAJOR}) {
        ID3DXEffect* e = nullptr;
        ASSERT_EQ(D3DXCreateEffect(device, text.data(), (UINT)text.size(), nullptr, nullptr, flags, nullptr, &e,
                                   nullptr),
                  D3D_OK);
        D3DXPARAMETER_DESC d;
        e->GetParameterDesc("mPlain", &d);
        EXPECT_EQ(d.Class, flags ? D3DXPC_MATRIX_ROWS : D3DXPC_MATRIX_COLUMNS);
        e->GetParameterDesc("mColumns", &d);
        EXPECT_EQ(d.Class, D3DXPC_MATRIX_COLUMNS);
        e->SetMatrix("mPlain", &m);
        e->SetMatrix("mColumns", &m);
        UINT passes = 0;
        e->Begin(&passes, D3DXFX_DONOTSAVESTATE);
        e->BeginPass(0);
        int rows = 0, columns = 0;
        for (UINT r = 0; r < 8; ++r) {
            std::vector<float> reg = VsRegisters(r, 1);
            rows += reg[0] == 1 && reg[1] == 2;
            columns += reg[0] == 1 && reg[1] == 5;
        }
        EXPECT_EQ(rows, flags ? 1 : 0);
        EXPECT_EQ(columns, flags ? 1 : 2);
        e->EndPass();
        e->End();
        device->SetVertexShader(nullptr);
        EXPECT_EQ(e->Release(), 0u);
    }
}

// Includes without a handler open files beside the effect; macros come from the caller.
TEST_F(EffectOnFake, FilesIncludeTheirNeighboursAndTakeMacros)
{
    ScratchFolder folder("nimb_fx");
    const std::string dir = folder.path();
    ASSERT_FALSE(dir.empty());
    std::ofstream(dir + "/common.fxh") << "float4 vTint = TINT;\n";
    std::ofstream(dir + "/main.fx") << "#include \"common.fxh\"\n"
                                       "float4 PS() : COLOR { return vTint; }\n"
                                       "technique T { pass P { PixelShader = compile ps_2_0 PS(); } }\n";
    const D3DXMACRO macros[] = {{"TINT", "float4(0, 0.5, 1, 1)"}, {nullptr, nullptr}};
    ID3DXEffect* e = nullptr;
    ASSERT_EQ(D3DXCreateEffectFromFile(device, (dir + "/main.fx").c_str(), macros, nullptr, D3DXSHADER_DEBUG,
                                       nullptr, &e, nullptr),
              D3D_OK);
    D3DXVECTOR4 v;
    EXPECT_EQ(e->GetVector("vTint", &v), D3D_OK);
    EXPECT_EQ(v, D3DXVECTOR4(0, 0.5f, 1, 1));
    // A clone compiles the same file on its own, with the values it had.
    ID3DXEffect* clone = nullptr;
    ASSERT_EQ(e->CloneEffect(device, &clone), D3D_OK);
    EXPECT_EQ(clone->GetVector("vTint", &v), D3D_OK);
    EXPECT_EQ(v, D3DXVECTOR4(0, 0.5f, 1, 1));
    EXPECT_EQ(clone->Release(), 0u);
    EXPECT_EQ(e->Release(), 0u);
}

} // namespace
