// The terrain on the real device, lit by a directional light and under
// linear vertex fog as the multiplayer-client scene sets them: the colour of
// flat ground in each texture layer, fog by depth, and slopes lit by their
// facing.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "camera.h"
#include <d3d9_testing.h>
#include "device_fixture.h"
#include "renderer.h"
#include "terrain.h"
#include "terrain_files.h"
#include "texturecache.h"
#include "utils.h"

using d3d9test::Near;
using terraintest::WriteBmp;

namespace {

const DWORD kBase = 0xC08040;    // the base picture's colour
const DWORD kDetail = 0xC0E0A0;  // the detail picture's colour; its red is the (flat) bump height
const DWORD kFogColour = 0xFF00BFFF;
const DWORD kAmbient = 0xFF202020;
const int kResolution = 16;

// The scene's light: directional along (-1, -1, 1).
const float kInvSqrt3 = 0.57735027f;

// Ground whose sample for column c is profile(c) on every row.
DWORD FlatProfile(int)
{
    return 128;
}

// A ridge along z at x = 0 whose sides rise 40 samples a 64-unit cell.
DWORD RidgeProfile(int c)
{
    const int d = std::abs(c - 8);
    return d >= 3 ? 128 : (DWORD)(128 + 40 * (3 - d));
}

float Channel(DWORD c, int shift)
{
    return (float)((c >> shift) & 255) / 255.0f;
}

// ARGB of per-channel factors (0..1) times a colour, opaque.
DWORD Scale(DWORD colour, float r, float g, float b)
{
    auto byte = [](float v) { return (DWORD)std::lround(std::fmin(std::fmax(v, 0.0f), 1.0f) * 255.0f); };
    return 0xFF000000u | (byte(Channel(colour, 16) * r) << 16) | (byte(Channel(colour, 8) * g) << 8) |
           byte(Channel(colour, 0) * b);
}

DWORD Mix(DWORD a, DWORD b, float f)  // f a + (1 - f) b
{
    auto ch = [&](int s) {
        return (DWORD)std::lround(f * (float)((a >> s) & 255) + (1.0f - f) * (float)((b >> s) & 255));
    };
    return 0xFF000000u | (ch(16) << 16) | (ch(8) << 8) | ch(0);
}

// The vertex colour the light gives a normal: ambient plus the diffuse term.
float Lit(float nx, float ny, float nz)
{
    const float diffuse = std::fmax(0.0f, (nx + ny - nz) * kInvSqrt3);
    return std::fmin(1.0f, Channel(kAmbient, 0) + diffuse);
}

class TerrainPicture : public d3d9test::DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        ASSERT_TRUE(m_folder.Ok());
        MakeDevice();
        m_previousDevice = m_pd3dDevice;
        m_previousCaps = g_d3dCaps;
        m_pd3dDevice = m_dev;
        m_dev->GetDeviceCaps(&g_d3dCaps);

        WriteBmp("data/textures/base.bmp", 8, 8, [](int, int) { return kBase; });
        WriteBmp("data/textures/detail.bmp", 16, 16, [](int, int) { return kDetail; });

        m_dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
        m_dev->SetRenderState(D3DRS_FOGCOLOR, kFogColour);
        m_dev->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
        m_dev->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
        m_dev->SetRenderState(D3DRS_RANGEFOGENABLE, FALSE);
        m_dev->SetRenderState(D3DRS_FOGSTART, FloatToDword(300.0f));
        m_dev->SetRenderState(D3DRS_FOGEND, FloatToDword(500.0f));
        m_dev->SetRenderState(D3DRS_LIGHTING, TRUE);
        m_dev->SetRenderState(D3DRS_AMBIENT, kAmbient);
        D3DLIGHT9 light;
        InitLight(light, D3DLIGHT_DIRECTIONAL, -1.0f, -1.0f, 1.0f);
        m_dev->SetLight(0, &light);
        m_dev->LightEnable(0, TRUE);
    }

    void TearDown() override
    {
        delete m_terrain;
        m_terrain = nullptr;
        SetValidationCaps(m_dev, nullptr);
        m_pd3dDevice = m_previousDevice;
        g_d3dCaps = m_previousCaps;
        DeviceTest::TearDown();
    }

    void Build(DWORD (*profile)(int), int altura, bool detail, bool bump)
    {
        static DWORD (*s_profile)(int);
        s_profile = profile;
        WriteBmp("data/textures/height.bmp", kResolution, kResolution,
                 [](int x, int) { return 0x204000u | s_profile(x); });
        m_terrain = new Terrain("height.bmp", "base.bmp", "detail.bmp", kResolution, 1024, altura, detail, bump);
        ASSERT_NE(m_terrain->m_pMesh, nullptr);
    }

    // Draws the terrain seen from `height` above the origin, looking down.
    void Draw(float height)
    {
        m_camera.m_position = D3DXVECTOR3(0.0f, height, 0.0f);
        m_camera.m_lookAt = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
        m_camera.Apply();
        m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        m_dev->BeginScene();
        EXPECT_EQ(m_terrain->Render(&m_camera, 0.0f), 0);
        m_dev->EndScene();
    }

    // The back-buffer pixel that shows the world point.
    DWORD At(float x, float y, float z)
    {
        D3DXMATRIX viewProj = m_camera.m_view, projection;
        m_dev->GetTransform(D3DTS_PROJECTION, &projection);
        viewProj *= projection;
        D3DXVECTOR3 p(x, y, z), clip;
        D3DXVec3TransformCoord(&clip, &p, &viewProj);
        const int px = (int)((clip.x + 1.0f) * 0.5f * kWidth), py = (int)((1.0f - clip.y) * 0.5f * kHeight);
        EXPECT_TRUE(px >= 0 && px < kWidth && py >= 0 && py < kHeight) << x << ", " << z;
        return Pixel(px, py);
    }

    Terrain* m_terrain = nullptr;
    Camera m_camera;

private:
    terraintest::ScratchFolder m_folder;
    IDirect3DDevice9* m_previousDevice = nullptr;
    D3DCAPS9 m_previousCaps{};
};

struct LevelCase {
    const char* name;
    bool detail, bump;
    bool refuseDot3;  // the device validates no dot product
    bool layerDetail, layerBump;
};

void PrintTo(const LevelCase& c, std::ostream* os) { *os << c.name; }

class TerrainLevels : public TerrainPicture, public ::testing::WithParamInterface<LevelCase> {};

// Flat ground faces straight up; the light gives it ambient + 1/sqrt 3.
TEST_P(TerrainLevels, FlatGroundTakesEachLayersColour)
{
    const LevelCase& c = GetParam();
    if (c.refuseDot3) {
        D3DCAPS9 strict = g_d3dCaps;
        strict.TextureOpCaps &= ~D3DTEXOPCAPS_DOTPRODUCT3;
        ASSERT_TRUE(SetValidationCaps(m_dev, &strict));
    }
    Build(FlatProfile, 64, c.detail, c.bump);
    EXPECT_EQ(m_terrain->m_useDetail, c.layerDetail);
    EXPECT_EQ(m_terrain->m_useBumpMap, c.layerBump);
    Draw(200.0f);

    const float lit = Lit(0.0f, 1.0f, 0.0f);
    float r = lit, g = lit, b = lit;
    if (c.layerDetail) {
        r *= Channel(kDetail, 16);
        g *= Channel(kDetail, 8);
        b *= Channel(kDetail, 0);
    }
    if (c.layerBump) {
        // The flat normal map (0x8080FF) dotted with the light of an
        // unturned view (0xCBB0D9), signed and scaled by four.
        const float dot = 4.0f * ((128.0f / 255 - 0.5f) * (203.0f / 255 - 0.5f) +
                                  (128.0f / 255 - 0.5f) * (176.0f / 255 - 0.5f) + 0.5f * (217.0f / 255 - 0.5f));
        r *= dot;
        g *= dot;
        b *= dot;
    }
    const DWORD expected = Scale(kBase, r, g, b);
    for (float x : {-60.0f, 0.0f, 45.0f})
        EXPECT_TRUE(Near(At(x, 0.0f, x / 2), expected, 4)) << c.name << " at x " << x;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TerrainLevels,
    ::testing::Values(LevelCase{"plain", false, false, false, false, false},
                      LevelCase{"detail", true, false, false, true, false},
                      LevelCase{"bump", false, true, false, false, true},
                      LevelCase{"bump and detail", true, true, false, true, true},
                      LevelCase{"dot product refused: detail", true, true, true, true, false}));

TEST_F(TerrainPicture, FogFollowsTheDepthOfTheGround)
{
    Build(FlatProfile, 64, false, false);
    const DWORD ground = Scale(kBase, Lit(0, 1, 0), Lit(0, 1, 0), Lit(0, 1, 0));
    const struct {
        float height;
        float fog;  // share of the ground's own colour
    } cases[] = {{200.0f, 1.0f}, {350.0f, 0.75f}, {400.0f, 0.5f}, {480.0f, 0.1f}};
    for (const auto& c : cases) {
        Draw(c.height);
        EXPECT_TRUE(Near(At(0.0f, 0.0f, 1.0f), Mix(ground, kFogColour, c.fog), 4)) << "seen from " << c.height;
    }
    // Beyond the far plane nothing is drawn.
    Draw(600.0f);
    EXPECT_TRUE(Near(Pixel(kWidth / 2, kHeight / 2), 0xFF000000, 0));
}

TEST_F(TerrainPicture, SlopesFacingTheLightAreBrighter)
{
    // Height scale 256: one sample step is one unit, so each side of the
    // ridge rises 40 over a 64-unit cell.
    Build(RidgeProfile, 256, false, false);
    Draw(250.0f);
    const float len = std::sqrt(40.0f * 40.0f + 64.0f * 64.0f);
    const float west = Lit(-40.0f / len, 64.0f / len, 0.0f), east = Lit(40.0f / len, 64.0f / len, 0.0f);
    // Halfway down each side: x = -96 and 96, 60 units up.
    EXPECT_TRUE(Near(At(-96.0f, 60.0f, 0.0f), Scale(kBase, west, west, west), 4));
    EXPECT_TRUE(Near(At(96.0f, 60.0f, 0.0f), Scale(kBase, east, east, east), 4));
    // The ground answers the height of the drawn ridge.
    EXPECT_FLOAT_EQ(m_terrain->GetHeight(-96.0f, 0.0f), 60.0f);
    EXPECT_FLOAT_EQ(m_terrain->GetHeight(0.0f, 0.0f), 120.0f);
}

} // namespace
