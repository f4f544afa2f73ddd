// Per-vertex lighting and fog of transformed vertices.
#include "device_fixture.h"

#include <cmath>

namespace d3d9test {
namespace {

class Lit : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        MakeDevice();
        D3DMATRIX ortho = OrthoLH(2, 2, 0, 10);
        m_dev->SetTransform(D3DTS_PROJECTION, &ortho);
        m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    }
    // A screen-filling square at depth z facing the camera (normal n).
    void Square(float z, float nx, float ny, float nz, DWORD color = 0xFFFFFFFF)
    {
        LitVertex v[4] = {{-1, 1, z, nx, ny, nz, color},
                          {1, 1, z, nx, ny, nz, color},
                          {-1, -1, z, nx, ny, nz, color},
                          {1, -1, z, nx, ny, nz, color}};
        m_dev->SetFVF(kLitFvf);
        ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(LitVertex)), S_OK);
    }
    void Material(float r, float g, float b, float ar, float ag, float ab)
    {
        D3DMATERIAL9 m;
        std::memset(&m, 0, sizeof(m));
        m.Diffuse = {r, g, b, 1.0f};
        m.Ambient = {ar, ag, ab, 1.0f};
        m_dev->SetMaterial(&m);
    }
};

struct LightCase {
    const char* name;
    D3DLIGHTTYPE type;
    D3DVECTOR position, direction;
    float range, att0, att1, att2;
    float nx, ny, nz;  // surface normal
    float expected;    // red channel 0..1 of a white-diffuse, black-ambient material
};

class Lights : public Lit, public ::testing::WithParamInterface<LightCase> {};

TEST_P(Lights, DiffuseFollowsTheNormalAndAttenuation)
{
    const LightCase& c = GetParam();
    m_dev->SetRenderState(D3DRS_AMBIENT, 0);
    Material(1, 1, 1, 0, 0, 0);
    D3DLIGHT9 l;
    std::memset(&l, 0, sizeof(l));
    l.Type = c.type;
    l.Diffuse = {1, 1, 1, 1};
    l.Position = c.position;
    l.Direction = c.direction;
    l.Range = c.range;
    l.Attenuation0 = c.att0;
    l.Attenuation1 = c.att1;
    l.Attenuation2 = c.att2;
    l.Theta = 0.5f;
    l.Phi = 1.0f;
    l.Falloff = 1.0f;
    ASSERT_EQ(m_dev->SetLight(0, &l), S_OK);
    ASSERT_EQ(m_dev->LightEnable(0, TRUE), S_OK);
    Square(5, c.nx, c.ny, c.nz);
    EXPECT_NEAR(Split(Pixel(32, 32)).r, (int)std::lround(c.expected * 255), 3) << c.name;
}

const float kCos60 = 0.5f;
const float kCornerDistance = 5.1961524f;
const float kCornerNdotL = 5.0f / 5.1961524f;
INSTANTIATE_TEST_SUITE_P(
    Cases, Lights,
    ::testing::Values(
        LightCase{"directional head-on", D3DLIGHT_DIRECTIONAL, {0, 0, 0}, {0, 0, 1}, 0, 0, 0, 0, 0, 0, -1, 1.0f},
        LightCase{"directional at 60 degrees", D3DLIGHT_DIRECTIONAL, {0, 0, 0}, {0, 0.8660254f, 0.5f}, 0, 0, 0, 0,
                  0, 0, -1, kCos60},
        LightCase{"directional from behind", D3DLIGHT_DIRECTIONAL, {0, 0, 0}, {0, 0, -1}, 0, 0, 0, 0, 0, 0, -1, 0},
        LightCase{"normal not renormalised", D3DLIGHT_DIRECTIONAL, {0, 0, 0}, {0, 0, 1}, 0, 0, 0, 0, 0, 0, -0.5f,
                  0.5f},
        // Positional lights are evaluated at the square's corners, at distance
        // sqrt(27) from the light and with N.L = 5 / sqrt(27).
        LightCase{"point, constant attenuation 2", D3DLIGHT_POINT, {0, 0, 0}, {0, 0, 1}, 100, 2, 0, 0, 0, 0, -1,
                  0.5f * kCornerNdotL},
        LightCase{"point, linear attenuation", D3DLIGHT_POINT, {0, 0, 0}, {0, 0, 1}, 100, 0, 0.4f, 0, 0, 0, -1,
                  kCornerNdotL / (0.4f * kCornerDistance)},
        LightCase{"point out of range", D3DLIGHT_POINT, {0, 0, 0}, {0, 0, 1}, 4, 1, 0, 0, 0, 0, -1, 0},
        // Theta 0.5 and phi 1.0: the corners lie in the penumbra, falloff 1.
        LightCase{"spot penumbra", D3DLIGHT_SPOT, {0, 0, 0}, {0, 0, 1}, 100, 1, 0, 0, 0, 0, -1,
                  kCornerNdotL * (kCornerNdotL - 0.87758256f) / (0.96891242f - 0.87758256f)},
        LightCase{"spot umbra", D3DLIGHT_SPOT, {0, 0, 0}, {0, 1, 0}, 100, 1, 0, 0, 0, 0, -1, 0}));

TEST_F(Lit, AmbientEmissiveAndColourSources)
{
    m_dev->SetRenderState(D3DRS_AMBIENT, 0xFF404040);
    Material(1, 1, 1, 1, 0.5f, 0);
    // No light: global ambient x material ambient.
    Square(5, 0, 0, -1);
    EXPECT_TRUE(Near(Pixel(32, 32), 0xFF402000, 2));
    // Diffuse colour source from the vertex colour with a light on.
    D3DLIGHT9 l;
    std::memset(&l, 0, sizeof(l));
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Diffuse = {1, 1, 1, 1};
    l.Direction = {0, 0, 1};
    m_dev->SetLight(0, &l);
    m_dev->LightEnable(0, TRUE);
    m_dev->SetRenderState(D3DRS_AMBIENT, 0);
    m_dev->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    Square(5, 0, 0, -1, 0xFF00FF00);
    EXPECT_TRUE(Near(Pixel(32, 32), 0xFF00FF00, 2));
    m_dev->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    Square(5, 0, 0, -1, 0xFF00FF00);
    EXPECT_TRUE(Near(Pixel(32, 32), 0xFFFFFFFF, 2));
    // Emissive adds on top and saturates.
    D3DMATERIAL9 m;
    std::memset(&m, 0, sizeof(m));
    m.Emissive = {0, 0, 0.25f, 0};
    m.Diffuse = {0.5f, 0, 0, 1};
    m_dev->SetMaterial(&m);
    Square(5, 0, 0, -1);
    EXPECT_TRUE(Near(Pixel(32, 32), 0xFF800040, 2));
    // Lighting off: the vertex colour as it is.
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    Square(5, 0, 0, -1, 0xFF123456);
    EXPECT_TRUE(Near(Pixel(32, 32), 0xFF123456, 0));
}

TEST_F(Lit, NormalizeNormalsAndLightsFollowTheView)
{
    Material(1, 1, 1, 0, 0, 0);
    D3DLIGHT9 l;
    std::memset(&l, 0, sizeof(l));
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Diffuse = {1, 1, 1, 1};
    l.Direction = {0, 0, 1};
    m_dev->SetLight(0, &l);
    m_dev->LightEnable(0, TRUE);
    m_dev->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    Square(5, 0, 0, -0.25f);
    EXPECT_NEAR(Split(Pixel(32, 32)).r, 255, 2);
    // World scaling of the normal is undone by the inverse transpose, then renormalised.
    D3DMATRIX s = Scaling(1, 1, 4);
    m_dev->SetTransform(D3DTS_WORLD, &s);
    Square(1, 0, 0, -1);
    EXPECT_NEAR(Split(Pixel(32, 32)).r, 255, 2);
    // A view that turns the world by 180 degrees about y makes the light shine at the back.
    D3DMATRIX id = Identity();
    m_dev->SetTransform(D3DTS_WORLD, &id);
    D3DMATRIX turn = Identity();
    turn._11 = -1;
    turn._33 = -1;
    turn._43 = 0;
    m_dev->SetTransform(D3DTS_VIEW, &turn);
    m_dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    Square(-5, 0, 0, 1);
    EXPECT_NEAR(Split(Pixel(32, 32)).r, 0, 2);
    Square(-5, 0, 0, -1);
    EXPECT_NEAR(Split(Pixel(32, 32)).r, 255, 2);
}

TEST_F(Lit, SpecularAddsOnlyWhenEnabled)
{
    D3DMATERIAL9 m;
    std::memset(&m, 0, sizeof(m));
    m.Specular = {0, 1, 0, 1};
    m.Power = 1;
    m_dev->SetMaterial(&m);
    D3DLIGHT9 l;
    std::memset(&l, 0, sizeof(l));
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Specular = {1, 1, 1, 1};
    l.Direction = {0, 0, 1};
    m_dev->SetLight(0, &l);
    m_dev->LightEnable(0, TRUE);
    m_dev->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    Square(5, 0, 0, -1);
    EXPECT_NEAR(Split(Pixel(32, 32)).g, 0, 2);
    m_dev->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    Square(5, 0, 0, -1);
    EXPECT_NEAR(Split(Pixel(32, 32)).g, 255, 2);
}

struct FogCase {
    float z;
    float expected;  // share of the object's colour left
};

class LinearFog : public Lit, public ::testing::WithParamInterface<FogCase> {};

// Vertex fog of the multiplayer-client scene's kind: linear from 300 to 500.
TEST_P(LinearFog, VertexFogAtKnownDepths)
{
    const FogCase& c = GetParam();
    D3DMATRIX ortho = OrthoLH(2, 2, 0, 1000);
    m_dev->SetTransform(D3DTS_PROJECTION, &ortho);
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FF);
    m_dev->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
    m_dev->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    m_dev->SetRenderState(D3DRS_FOGSTART, Bits(300.0f));
    m_dev->SetRenderState(D3DRS_FOGEND, Bits(500.0f));
    Square(c.z, 0, 0, -1, 0xFFFF0000);
    Rgba p = Split(Pixel(32, 32));
    EXPECT_NEAR(p.r, (int)std::lround(255 * c.expected), 2);
    EXPECT_NEAR(p.b, (int)std::lround(255 * (1 - c.expected)), 2);
}

INSTANTIATE_TEST_SUITE_P(Depths, LinearFog,
                         ::testing::Values(FogCase{100, 1.0f}, FogCase{300, 1.0f}, FogCase{350, 0.75f},
                                           FogCase{400, 0.5f}, FogCase{500, 0.0f}, FogCase{800, 0.0f}));

TEST_F(Lit, TableFogModesAndRangeFog)
{
    D3DMATRIX persp = PerspectiveFovLH(1.5707964f, 1.0f, 1.0f, 100.0f);
    m_dev->SetTransform(D3DTS_PROJECTION, &persp);
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_FOGCOLOR, 0xFF000000);
    m_dev->SetRenderState(D3DRS_FOGDENSITY, Bits(0.1f));
    struct { DWORD mode; float expected; } cases[] = {
        {D3DFOG_EXP, std::exp(-1.0f)}, {D3DFOG_EXP2, std::exp(-1.0f)}, {D3DFOG_LINEAR, 0.5f}};
    m_dev->SetRenderState(D3DRS_FOGSTART, Bits(0.0f));
    m_dev->SetRenderState(D3DRS_FOGEND, Bits(20.0f));
    for (auto& c : cases) {
        m_dev->SetRenderState(D3DRS_FOGTABLEMODE, c.mode);
        m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        // A square at camera depth 10 under a perspective projection: eye depth fog.
        LitVertex v[4] = {{-20, 20, 10, 0, 0, -1, 0xFFFFFFFF}, {20, 20, 10, 0, 0, -1, 0xFFFFFFFF},
                          {-20, -20, 10, 0, 0, -1, 0xFFFFFFFF}, {20, -20, 10, 0, 0, -1, 0xFFFFFFFF}};
        m_dev->SetFVF(kLitFvf);
        m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(LitVertex));
        EXPECT_NEAR(Split(Pixel(32, 32)).r, (int)std::lround(255 * c.expected), 3) << c.mode;
    }
}

TEST_F(Lit, PretransformedVerticesTakeVertexFogFromSpecularAlphaAndTableFogFromZ)
{
    m_dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FF);
    m_dev->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    struct V { float x, y, z, rhw; DWORD diffuse, specular; } v[4] = {
        {0, 0, 0.5f, 1, 0xFFFF0000, 0x40000000}, {16, 0, 0.5f, 1, 0xFFFF0000, 0x40000000},
        {0, 16, 0.5f, 1, 0xFFFF0000, 0x40000000}, {16, 16, 0.5f, 1, 0xFFFF0000, 0x40000000}};
    m_dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V));
    Rgba p = Split(Pixel(8, 8));
    EXPECT_NEAR(p.r, 0x40, 2);
    EXPECT_NEAR(p.b, 0xBF, 2);
    // Table fog takes their z instead, and the specular alpha no longer counts.
    m_dev->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    m_dev->SetRenderState(D3DRS_FOGSTART, Bits(0.0f));
    m_dev->SetRenderState(D3DRS_FOGEND, Bits(1.0f));
    for (V& e : v) e.z = 0.25f;
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V));
    p = Split(Pixel(8, 8));
    EXPECT_NEAR(p.r, 0xBF, 2);
    EXPECT_NEAR(p.b, 0x40, 2);
}

} // namespace
} // namespace d3d9test

namespace d3d9test {
namespace {

struct FogEdgeCase {
    const char* name;
    DWORD tableMode, vertexMode;
    float start, end;  // table fog under an orthographic projection counts in depth-buffer z
    float z;
    DWORD specular;    // of the vertices
    float expected;    // share of the object's colour left
};

class FogEdges : public Lit, public ::testing::WithParamInterface<FogEdgeCase> {};

TEST_P(FogEdges, EqualEndsAndNoFormula)
{
    const FogEdgeCase& c = GetParam();
    D3DMATRIX ortho = OrthoLH(2, 2, 0, 1000);
    m_dev->SetTransform(D3DTS_PROJECTION, &ortho);
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FF);
    m_dev->SetRenderState(D3DRS_FOGTABLEMODE, c.tableMode);
    m_dev->SetRenderState(D3DRS_FOGVERTEXMODE, c.vertexMode);
    m_dev->SetRenderState(D3DRS_FOGSTART, Bits(c.start));
    m_dev->SetRenderState(D3DRS_FOGEND, Bits(c.end));
    struct V {
        float x, y, z;
        DWORD diffuse, specular;
    } v[4] = {{-1, 1, c.z, 0xFFFF0000, c.specular},
              {1, 1, c.z, 0xFFFF0000, c.specular},
              {-1, -1, c.z, 0xFFFF0000, c.specular},
              {1, -1, c.z, 0xFFFF0000, c.specular}};
    m_dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), S_OK);
    Rgba p = Split(Pixel(32, 32));
    EXPECT_NEAR(p.r, (int)std::lround(255 * c.expected), 2) << c.name;
    EXPECT_NEAR(p.b, (int)std::lround(255 * (1 - c.expected)), 2) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FogEdges,
    ::testing::Values(
        FogEdgeCase{"vertex fog with equal ends fogs near", D3DFOG_NONE, D3DFOG_LINEAR, 400, 400, 100, 0, 0.0f},
        FogEdgeCase{"vertex fog with equal ends fogs far", D3DFOG_NONE, D3DFOG_LINEAR, 400, 400, 800, 0, 0.0f},
        FogEdgeCase{"table fog with equal ends leaves what is nearer", D3DFOG_LINEAR, D3DFOG_NONE, 0.5f, 0.5f, 100,
                    0, 1.0f},
        FogEdgeCase{"table fog with equal ends fogs what is farther", D3DFOG_LINEAR, D3DFOG_NONE, 0.5f, 0.5f, 800,
                    0, 0.0f},
        FogEdgeCase{"no formula takes the specular alpha", D3DFOG_NONE, D3DFOG_NONE, 0, 1, 100, 0x40000000,
                    0x40 / 255.0f},
        FogEdgeCase{"no formula with opaque specular leaves the colour", D3DFOG_NONE, D3DFOG_NONE, 0, 1, 100,
                    0xFF000000, 1.0f},
        FogEdgeCase{"a vertex formula ignores the specular alpha", D3DFOG_NONE, D3DFOG_LINEAR, 300, 500, 400,
                    0x00000000, 0.5f}));

} // namespace
} // namespace d3d9test

namespace d3d9test {
namespace {

struct NormalizeCase {
    const char* name;
    float sx, sy, sz;  // world scale
    float nz;          // the vertices' normal is (0, 0, nz)
    BOOL normalize;
    float expected;    // red of a white material under a white light shining straight at it
};

class NormalizeNormals : public Lit, public ::testing::WithParamInterface<NormalizeCase> {};

// Normals go to camera space through the inverse transpose of the world-view
// matrix, so a scaled world scales them the other way unless they are
// normalised afterwards.
TEST_P(NormalizeNormals, ScaledWorldsScaleTheLightingUnlessNormalised)
{
    const NormalizeCase& c = GetParam();
    Material(1, 1, 1, 0, 0, 0);
    D3DLIGHT9 l;
    std::memset(&l, 0, sizeof(l));
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Diffuse = {1, 1, 1, 1};
    l.Direction = {0, 0, 1};
    m_dev->SetLight(0, &l);
    m_dev->LightEnable(0, TRUE);
    D3DMATRIX world = Scaling(c.sx, c.sy, c.sz);
    m_dev->SetTransform(D3DTS_WORLD, &world);
    m_dev->SetRenderState(D3DRS_NORMALIZENORMALS, c.normalize);
    Square(1, 0, 0, c.nz);
    EXPECT_NEAR(Split(Pixel(32, 32)).r, (int)std::lround(255 * c.expected), 2) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NormalizeNormals,
    ::testing::Values(NormalizeCase{"unscaled", 1, 1, 1, -1, FALSE, 1.0f},
                      NormalizeCase{"doubled: half as bright", 2, 2, 2, -1, FALSE, 0.5f},
                      NormalizeCase{"doubled and normalised", 2, 2, 2, -1, TRUE, 1.0f},
                      NormalizeCase{"halved: saturates", 0.5f, 0.5f, 0.5f, -1, FALSE, 1.0f},
                      NormalizeCase{"stretched in depth", 1, 1, 4, -1, FALSE, 0.25f},
                      NormalizeCase{"stretched in depth and normalised", 1, 1, 4, -1, TRUE, 1.0f},
                      NormalizeCase{"a short normal", 1, 1, 1, -0.5f, FALSE, 0.5f},
                      NormalizeCase{"a short normal, normalised", 1, 1, 1, -0.5f, TRUE, 1.0f}));

struct MaterialSourceCase {
    const char* name;
    DWORD ambientSource, emissiveSource;
    BOOL colorVertex;
    D3DCOLOR ambient;  // D3DRS_AMBIENT
    DWORD expected;
};

class MaterialSources : public Lit, public ::testing::WithParamInterface<MaterialSourceCase> {};

// Without lights: emissive + ambient x D3DRS_AMBIENT, each from the material
// or a vertex colour (green diffuse, red specular).
TEST_P(MaterialSources, AmbientAndEmissiveComeFromTheirSources)
{
    const MaterialSourceCase& c = GetParam();
    D3DMATERIAL9 m;
    std::memset(&m, 0, sizeof(m));
    m.Ambient = {0.5f, 0.5f, 0.5f, 1};
    m.Emissive = {0, 0, 0.25f, 0};
    m_dev->SetMaterial(&m);
    m_dev->SetRenderState(D3DRS_AMBIENT, c.ambient);
    m_dev->SetRenderState(D3DRS_COLORVERTEX, c.colorVertex);
    m_dev->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, c.ambientSource);
    m_dev->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, c.emissiveSource);
    m_dev->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    struct V {
        float x, y, z, nx, ny, nz;
        DWORD diffuse, specular;
    } v[4] = {{-1, 1, 5, 0, 0, -1, 0xFF00FF00, 0xFFFF0000},
              {1, 1, 5, 0, 0, -1, 0xFF00FF00, 0xFFFF0000},
              {-1, -1, 5, 0, 0, -1, 0xFF00FF00, 0xFFFF0000},
              {1, -1, 5, 0, 0, -1, 0xFF00FF00, 0xFFFF0000}};
    m_dev->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), S_OK);
    EXPECT_TRUE(Near(Pixel(32, 32), c.expected, 2)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MaterialSources,
    ::testing::Values(
        MaterialSourceCase{"both from the material", D3DMCS_MATERIAL, D3DMCS_MATERIAL, TRUE, 0xFF808080, 0xFF404080},
        MaterialSourceCase{"ambient from the diffuse colour", D3DMCS_COLOR1, D3DMCS_MATERIAL, TRUE, 0xFF808080,
                           0xFF008040},
        MaterialSourceCase{"ambient from the specular colour", D3DMCS_COLOR2, D3DMCS_MATERIAL, TRUE, 0xFF808080,
                           0xFF800040},
        MaterialSourceCase{"emissive from the diffuse colour", D3DMCS_MATERIAL, D3DMCS_COLOR1, TRUE, 0xFF808080,
                           0xFF40FF40},
        MaterialSourceCase{"emissive from the specular colour", D3DMCS_MATERIAL, D3DMCS_COLOR2, TRUE, 0xFF808080,
                           0xFFFF4040},
        MaterialSourceCase{"vertex colours off: the material", D3DMCS_COLOR1, D3DMCS_COLOR2, FALSE, 0xFF808080,
                           0xFF404080},
        MaterialSourceCase{"no global ambient: emissive alone", D3DMCS_COLOR1, D3DMCS_MATERIAL, TRUE, 0,
                           0xFF000040},
        MaterialSourceCase{"a coloured global ambient", D3DMCS_MATERIAL, D3DMCS_MATERIAL, TRUE, 0xFFFF0000,
                           0xFF800040}));

} // namespace
} // namespace d3d9test
