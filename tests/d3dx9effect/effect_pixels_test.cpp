// Effects drawn on the real device: what the shaders compute lands on the
// pixels, the skinned-mesh effect bends a strip as the fixed-function
// pipeline does with the same palette, and Begin/End leave the device as it was.
#include <d3dx9.h>

#include "d3d9/d3d9_testing.h"
#include "device_fixture.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace d3d9test {
namespace {

class EffectPixels : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        MakeDevice();
    }
    ID3DXEffect* Create(const std::string& text)
    {
        ID3DXEffect* e = nullptr;
        ID3DXBuffer* errors = nullptr;
        HRESULT hr = D3DXCreateEffect(m_dev, text.data(), (UINT)text.size(), nullptr, nullptr, 0, nullptr, &e,
                                      &errors);
        EXPECT_EQ(hr, D3D_OK) << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
        if (errors)
            errors->Release();
        return e;
    }
    bool Drawn(int x, int y) { return (Pixel(x, y) & 0x00FFFFFF) != 0; }
};

const char* const kQuadEffect =
    "float4x4 mMove;\n"
    "float4 vColour;\n"
    "float4 VS(float4 p : POSITION) : POSITION { return mul(p, mMove); }\n"
    "float4 PS() : COLOR { return vColour; }\n"
    "technique T { pass P { CullMode = None; ZEnable = false;\n"
    "  VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }\n";

struct Pos {
    float x, y, z;
};

TEST_F(EffectPixels, AQuadTakesTheColourAndPlaceItsParametersGive)
{
    ID3DXEffect* e = Create(kQuadEffect);
    ASSERT_NE(e, nullptr);
    D3DMATRIX move = Translation(0.5f, -0.25f, 0);
    move._11 = 0.5f;  // half as wide, so a transposed matrix would land elsewhere
    ASSERT_EQ(e->SetMatrix("mMove", static_cast<const D3DXMATRIX*>(&move)), D3D_OK);
    const D3DXVECTOR4 colour(0.0f, 1.0f, 0.5f, 1.0f);
    ASSERT_EQ(e->SetVector("vColour", &colour), D3D_OK);
    const Pos quad[4] = {{-0.5f, 0.25f, 0.5f}, {0.5f, 0.25f, 0.5f}, {-0.5f, -0.25f, 0.5f}, {0.5f, -0.25f, 0.5f}};
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    m_dev->BeginScene();
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
    ASSERT_EQ(passes, 1u);
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    m_dev->SetFVF(D3DFVF_XYZ);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Pos)), S_OK);
    e->EndPass();
    e->End();
    m_dev->EndScene();
    // x: 0.25..0.75 in clip space, pixels 40..56; y: -0.5..0, rows 32..48.
    EXPECT_TRUE(Near(Pixel(48, 40), 0xFF00FF80, 1));
    EXPECT_TRUE(Near(Pixel(41, 47), 0xFF00FF80, 1));
    EXPECT_FALSE(Drawn(38, 40));
    EXPECT_FALSE(Drawn(58, 40));
    EXPECT_FALSE(Drawn(48, 30));
    EXPECT_FALSE(Drawn(48, 50));
    // A change between passes' draws reaches the pixels through CommitChanges.
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    e->Begin(&passes, D3DXFX_DONOTSAVESTATE);
    e->BeginPass(0);
    const D3DXVECTOR4 red(1, 0, 0, 1);
    e->SetVector("vColour", &red);
    e->CommitChanges();
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Pos));
    e->EndPass();
    e->End();
    EXPECT_TRUE(Near(Pixel(48, 40), 0xFFFF0000, 1));
    m_dev->SetVertexShader(nullptr);
    m_dev->SetPixelShader(nullptr);
    EXPECT_EQ(e->Release(), 0u);
}

// VPOS is the pixel's top-left corner, rows counted from the top: whole
// numbers, without the half-pixel offset of the pixel's centre.
TEST_F(EffectPixels, VposGivesThePixelsCornerFromTheTopLeft)
{
    ID3DXEffect* e = Create("float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
                            "float4 PS(float2 at : VPOS) : COLOR { return float4(at / 255.0, 0.0, 1.0); }\n"
                            "technique T { pass P { CullMode = None; ZEnable = false;\n"
                            "  VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }\n");
    ASSERT_NE(e, nullptr);
    const Pos quad[4] = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}, {1, -1, 0.5f}};
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    m_dev->BeginScene();
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    m_dev->SetFVF(D3DFVF_XYZ);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Pos)), S_OK);
    e->EndPass();
    e->End();
    m_dev->EndScene();
    const struct {
        int x, y;
    } at[] = {{0, 0}, {1, 0}, {0, 1}, {5, 9}, {40, 17}, {63, 63}};
    for (const auto& p : at)
        EXPECT_TRUE(Near(Pixel(p.x, p.y), 0xFF000000u | (DWORD)p.x << 16 | (DWORD)p.y << 8, 0))
            << "pixel " << p.x << ", " << p.y;
    e->Release();
}

TEST_F(EffectPixels, APassProgramIsLinkedWhenTheEffectIsMadeNotAtItsFirstDraw)
{
    uint64_t before = 0, made = 0, drawn = 0;
    ASSERT_TRUE(CountProgramLinks(m_dev, &before));
    ID3DXEffect* e = Create(kQuadEffect);
    ASSERT_NE(e, nullptr);
    ASSERT_TRUE(CountProgramLinks(m_dev, &made));
    EXPECT_EQ(made, before + 1);
    const Pos quad[4] = {{-0.5f, 0.25f, 0.5f}, {0.5f, 0.25f, 0.5f}, {-0.5f, -0.25f, 0.5f}, {0.5f, -0.25f, 0.5f}};
    m_dev->BeginScene();
    UINT passes = 0;
    e->Begin(&passes, D3DXFX_DONOTSAVESTATE);
    e->BeginPass(0);
    m_dev->SetFVF(D3DFVF_XYZ);
    EXPECT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Pos)), S_OK);
    e->EndPass();
    e->End();
    m_dev->EndScene();
    ASSERT_TRUE(CountProgramLinks(m_dev, &drawn));
    EXPECT_EQ(drawn, made);
    m_dev->SetVertexShader(nullptr);
    m_dev->SetPixelShader(nullptr);
    EXPECT_EQ(e->Release(), 0u);
}

TEST_F(EffectPixels, BeginWithoutDoNotSaveStateLeavesTheDeviceAsItWas)
{
    ID3DXEffect* e = Create(kQuadEffect);
    ASSERT_NE(e, nullptr);
    const D3DXVECTOR4 colour(1, 0, 1, 1);
    e->SetVector("vColour", &colour);
    D3DMATRIX identity = Identity();
    e->SetMatrix("mMove", static_cast<const D3DXMATRIX*>(&identity));
    m_dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    m_dev->BeginScene();
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    e->BeginPass(0);
    const Pos quad[4] = {{-0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, {-0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f}};
    m_dev->SetFVF(D3DFVF_XYZ);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Pos));
    e->EndPass();
    ASSERT_EQ(e->End(), D3D_OK);
    EXPECT_TRUE(Near(Pixel(32, 32), 0xFFFF00FF, 1));
    DWORD v = 0;
    m_dev->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, (DWORD)D3DCULL_CW);
    m_dev->GetRenderState(D3DRS_ZENABLE, &v);
    EXPECT_EQ(v, (DWORD)D3DZB_TRUE);
    IDirect3DVertexShader9* vs = nullptr;
    IDirect3DPixelShader9* ps = nullptr;
    m_dev->GetVertexShader(&vs);
    m_dev->GetPixelShader(&ps);
    EXPECT_EQ(vs, nullptr);
    EXPECT_EQ(ps, nullptr);
    // The fixed-function pipeline draws again, with the restored culling: a
    // clockwise triangle is culled, the same one counter-clockwise is drawn.
    struct Coloured {
        float x, y, z;
        DWORD c;
    } tri[3] = {{-0.2f, -0.2f, 0.5f, 0xFF0000FF}, {0.2f, 0.2f, 0.5f, 0xFF0000FF}, {0.2f, -0.2f, 0.5f, 0xFF0000FF}};
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(Coloured));
    const bool drawnClockwise = Drawn(36, 34);
    std::swap(tri[1], tri[2]);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(Coloured));
    m_dev->EndScene();
    EXPECT_FALSE(drawnClockwise);
    EXPECT_TRUE(Near(Pixel(36, 34), 0xFF0000FF, 1));
    EXPECT_EQ(e->Release(), 0u);
}

// The layout the skinned model converts its meshes to, blend indices as a D3DCOLOR.
struct SkinVertex {
    float x, y, z;
    float weight;
    BYTE indices[4];
    float nx, ny, nz;
    float u, v;
};

const D3DVERTEXELEMENT9 kSkinDecl[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT1, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDWEIGHT, 0},
    {0, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDINDICES, 0},
    {0, 20, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 32, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END()};

TEST_F(EffectPixels, TheSkinnedMeshEffectBendsAStripAsTheFixedFunctionPipelineDoes)
{
    std::ifstream f(NIMB_RUN_DIR "/data/shaders/SkinnedMesh.fx");
    ASSERT_TRUE(f.good());
    std::stringstream text;
    text << f.rdbuf();
    ID3DXEffect* e = Create(text.str());
    ASSERT_NE(e, nullptr);
    // A strip along x; the left half follows bone 3, the right half bone 7,
    // the middle column half each. Bone 7 lifts by 0.4 and bone 3 stays.
    SkinVertex strip[10];
    const float xs[5] = {-0.8f, -0.4f, 0.0f, 0.4f, 0.8f};
    const float weights[5] = {1.0f, 1.0f, 0.5f, 0.0f, 0.0f};
    for (int i = 0; i < 10; ++i) {
        SkinVertex& v = strip[i];
        v.x = xs[i / 2];
        v.y = (i % 2) ? -0.1f : 0.1f;
        v.z = 0.5f;
        v.weight = weights[i / 2];
        v.indices[0] = 3;
        v.indices[1] = 7;
        v.indices[2] = v.indices[3] = 0;
        v.nx = v.ny = 0;
        v.nz = -1;
        v.u = v.v = 0.5f;
    }
    D3DXMATRIX palette[26];
    for (D3DXMATRIX& m : palette)
        D3DXMatrixIdentity(&m);
    D3DXMatrixTranslation(&palette[7], 0, 0.4f, 0);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    IDirect3DTexture9* white = SolidTexture(0xFFFFFFFF);
    ASSERT_NE(white, nullptr);
    ASSERT_EQ(e->SetMatrixArray("mWorldMatrixArray", palette, 26), D3D_OK);
    ASSERT_EQ(e->SetMatrix("mViewProj", &identity), D3D_OK);
    const D3DXVECTOR4 light(0, 0, -1, 0);
    ASSERT_EQ(e->SetVector("vLightDir", &light), D3D_OK);
    ASSERT_EQ(e->SetInt("CurNumBones", 1), D3D_OK);
    ASSERT_EQ(e->SetTexture("tDiffuse", white), D3D_OK);
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(m_dev->CreateVertexDeclaration(kSkinDecl, &decl), D3D_OK);
    m_dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    m_dev->BeginScene();
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
    for (UINT p = 0; p < passes; ++p) {
        e->BeginPass(p);
        e->CommitChanges();
        m_dev->SetVertexDeclaration(decl);
        ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 8, strip, sizeof(SkinVertex)), S_OK);
        e->EndPass();
    }
    e->End();
    m_dev->SetVertexShader(nullptr);
    m_dev->SetPixelShader(nullptr);
    const std::vector<DWORD> shaded = Frame();
    // Lit head-on: ambient plus full diffuse, times the white texture.
    EXPECT_TRUE(Near(Pixel(12, 32), 0xFFFFFFFF, 2));
    EXPECT_TRUE(Drawn(51, 19));    // the right end, lifted
    EXPECT_FALSE(Drawn(51, 32));   // not where it was
    EXPECT_TRUE(Drawn(32, 26));    // the middle column, half lifted
    EXPECT_FALSE(Drawn(12, 19));   // the left end stays

    // The same pose through fixed-function indexed vertex blending.
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    for (int i = 0; i < 26; ++i)
        m_dev->SetTransform(D3DTS_WORLDMATRIX(i), &palette[i]);
    m_dev->SetTransform(D3DTS_VIEW, &identity);
    m_dev->SetTransform(D3DTS_PROJECTION, &identity);
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
    m_dev->SetTexture(0, white);
    m_dev->SetVertexDeclaration(nullptr);
    m_dev->SetFVF(D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_NORMAL | D3DFVF_TEX1);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 8, strip, sizeof(SkinVertex)), S_OK);
    m_dev->EndScene();
    const std::vector<DWORD> fixed = Frame();
    ASSERT_EQ(shaded.size(), fixed.size());
    int differing = 0, covered = 0;
    for (size_t i = 0; i < fixed.size(); ++i) {
        const bool a = (shaded[i] & 0xFFFFFF) != 0, b = (fixed[i] & 0xFFFFFF) != 0;
        covered += b;
        differing += a != b;
    }
    EXPECT_GT(covered, 300);
    EXPECT_LE(differing, 4) << "of " << covered << " covered pixels";
    m_dev->SetTexture(0, nullptr);
    m_dev->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE);
    m_dev->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    decl->Release();
    white->Release();
    EXPECT_EQ(e->Release(), 0u);
}

// Where a small quad lands for the blend weights and indices of its vertices:
// the first CurNumBones weights as given, the last 1 minus their sum (never
// below 0), the indices arriving as a D3DCOLOR.
TEST_F(EffectPixels, TheSkinnedMeshEffectBlendsCurNumBonesPlusOneInfluences)
{
    std::ifstream f(NIMB_RUN_DIR "/data/shaders/SkinnedMesh.fx");
    std::stringstream text;
    text << f.rdbuf();
    ID3DXEffect* e = Create(text.str());
    ASSERT_NE(e, nullptr);
    // Bone i moves by x = -0.6 + 0.05 i.
    D3DXMATRIX palette[26];
    for (int i = 0; i < 26; ++i)
        D3DXMatrixTranslation(&palette[i], -0.6f + 0.05f * (float)i, 0, 0);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    IDirect3DTexture9* white = SolidTexture(0xFFFFFFFF);
    e->SetMatrixArray("mWorldMatrixArray", palette, 26);
    e->SetMatrix("mViewProj", &identity);
    const D3DXVECTOR4 light(0, 0, -1, 0);
    e->SetVector("vLightDir", &light);
    e->SetTexture("tDiffuse", white);
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDWEIGHT, 0},
        {0, 24, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDINDICES, 0},
        {0, 28, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
        D3DDECL_END()};
    struct V {
        float x, y, z, w0, w1, w2;
        BYTE index[4];
        float nx, ny, nz;
    };
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(m_dev->CreateVertexDeclaration(elements, &decl), D3D_OK);
    m_dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const struct {
        int bones;
        float w[3];
        BYTE index[4];
        float x;  // where the quad's centre lands
    } cases[] = {
        {0, {0.7f, 0.2f, 0.1f}, {20, 1, 2, 3}, 0.4f},           // one influence: all of bone 20
        {1, {0.25f, 0.0f, 0.0f}, {4, 20, 0, 0}, 0.2f},          // 0.25 * -0.4 + 0.75 * 0.4
        {3, {0.5f, 0.25f, 0.25f}, {0, 24, 8, 20}, -0.2f},       // the last weight is 0
        {3, {0.2f, 0.2f, 0.2f}, {4, 8, 12, 24}, 0.12f},         // the last weight is 0.4, on bone 24
        {1, {1.5f, 0.0f, 0.0f}, {16, 2, 0, 0}, 0.3f},           // 1 - 1.5 < 0 counts as 0
    };
    for (const auto& c : cases) {
        ASSERT_EQ(e->SetInt("CurNumBones", c.bones), D3D_OK);
        V quad[4];
        for (int i = 0; i < 4; ++i) {
            quad[i] = {(i & 1) ? 0.06f : -0.06f, (i & 2) ? -0.06f : 0.06f, 0.5f, c.w[0], c.w[1], c.w[2],
                       {c.index[0], c.index[1], c.index[2], c.index[3]}, 0, 0, -1};
        }
        m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        UINT passes = 0;
        e->Begin(&passes, D3DXFX_DONOTSAVESTATE);
        e->BeginPass(0);
        m_dev->SetVertexDeclaration(decl);
        m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
        e->EndPass();
        e->End();
        const int px = (int)((c.x + 1.0f) * 32.0f);
        EXPECT_TRUE(Drawn(px, 32)) << c.bones << " bones, expected at x " << c.x;
        EXPECT_FALSE(Drawn(px - 6, 32)) << c.bones << " bones, expected at x " << c.x;
        EXPECT_FALSE(Drawn(px + 6, 32)) << c.bones << " bones, expected at x " << c.x;
    }
    m_dev->SetVertexShader(nullptr);
    m_dev->SetPixelShader(nullptr);
    m_dev->SetVertexDeclaration(nullptr);
    decl->Release();
    white->Release();
    EXPECT_EQ(e->Release(), 0u);
}

} // namespace
} // namespace d3d9test
