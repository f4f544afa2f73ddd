// The swaying cubes on the real device: where a cube's faces and picture
// land, the point sprites' sizes and colours, and captured frames of the
// show's cubes on a scripted wall clock.
#include <gtest/gtest.h>

#include <bass.h>

#include <windows.h>
#include <mmsystem.h>

#include "windows/win_internal.h"

#include <cmath>
#include <cstdlib>

#include "cubosinercia.h"
#include "escenor.h"
#include "show_device.h"
#include "utils.h"

namespace {

// Red, green, blue and white quarters: top left, top right, bottom left,
// bottom right.
uint32_t Quarters(int x, int y)
{
    const uint32_t q[2][2] = {{0xFF0000, 0x00FF00}, {0x0000FF, 0xFFFFFF}};
    return q[y >= 32][x >= 32];
}

bool Close(uint32_t argb, uint32_t rgb, int tolerance = 8)
{
    for (int shift = 0; shift <= 16; shift += 8)
        if (std::abs((int)((argb >> shift) & 255) - (int)((rgb >> shift) & 255)) > tolerance)
            return false;
    return true;
}

class CubePixels : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_DEVICE();
        ResetStates();
        PlatformScriptClocks(true, 1000);
        PlatformSetTimeGetTime(0);
    }
    void TearDown() override
    {
        PlatformRealClocks();
        if (ShowDevice()) {
            m_pd3dDevice->SetStreamSource(0, nullptr, 0, 0);
            m_pd3dDevice->SetTexture(0, nullptr);
            ResetStates();
        }
    }

    // The cubes effect's own states, and a camera at (0, 0, -4) on the origin.
    static void CubeStates(CCubeCamera& camera, float eyeZ = -4.0f)
    {
        IDirect3DDevice9* d = m_pd3dDevice;
        d->SetRenderState(D3DRS_LIGHTING, FALSE);
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        d->SetFVF(D3DFVF_CUBEVERTEX);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        camera.SetViewport(640, 480);
        camera.SetEye(0.0f, 0.0f, eyeZ);
        camera.SetTarget(0.0f, 0.0f, 0.0f);
        camera.Apply(d);
    }
};

// A cube of half-size 0.5 drawn at scale 2 spans -1..1; its near face at
// z = -1 is 3 from the eye: 241 pixels each side of the centre at 45
// degrees over 600 rows (and 4:3 over 800 columns). Its picture runs from
// the top left, and only the faces toward the eye are drawn.
TEST_F(CubePixels, NearFaceShowsTheWholePictureUprightAtItsSize)
{
    WriteTestPicture("cube_quarters.bmp", 64, 64, Quarters);
    const struct {
        DWORD color;
        const char* what;
    } cases[] = {{0xFFFFFFFF, "opaque"}, {0x11FF1111, "tinted, blended"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CCube cube;
        cube.Create(m_pd3dDevice, 0.0f, 0.0f, 0.0f, 0.5f, c.color);
        cube.LoadTexture(m_pd3dDevice, "cube_quarters.bmp");
        ASSERT_NE(cube.m_pTexture, nullptr);
        CCubeCamera camera;
        ResetStates();
        CubeStates(camera);
        BeginFrame(0xFF000000);
        cube.Render(m_pd3dDevice);
        Frame f = EndFrame();
        ASSERT_EQ(f.width, kScreenW);
        // Edges at 400 +- 241.4 and 300 +- 241.4.
        EXPECT_TRUE(Close(f.At(165, 65), 0xFF0000)) << std::hex << f.At(165, 65);
        EXPECT_TRUE(Close(f.At(635, 65), 0x00FF00)) << std::hex << f.At(635, 65);
        EXPECT_TRUE(Close(f.At(165, 535), 0x0000FF)) << std::hex << f.At(165, 535);
        EXPECT_TRUE(Close(f.At(635, 535), 0xFFFFFF)) << std::hex << f.At(635, 535);
        for (auto p : {std::make_pair(152, 300), std::make_pair(648, 300), std::make_pair(400, 52),
                       std::make_pair(400, 548)})
            EXPECT_EQ(f.At(p.first, p.second) & 0xFFFFFF, 0u) << p.first << "," << p.second;
    }
}

// Turned about y by 45 degrees the cube shows its corner (h, y, -h) on the
// centre line: left of it the face z = -h ends in the right half of its
// picture, right of it the face x = +h begins in the left half. With the
// winding reversed the far faces would show instead, mirrored.
TEST_F(CubePixels, TurnedCubeShowsItsTwoNearFacesEachWithItsPicture)
{
    WriteTestPicture("cube_quarters.bmp", 64, 64, Quarters);
    CCube cube;
    cube.Create(m_pd3dDevice, 0.0f, 0.0f, 0.0f, 0.5f, 0xFFFFFFFF);
    cube.LoadTexture(m_pd3dDevice, "cube_quarters.bmp");
    CCubeCamera camera;
    CubeStates(camera, -6.0f);
    cube.m_pos = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    cube.m_angle = 3.1415927f / 4;
    BeginFrame(0xFF000000);
    m_pd3dDevice->SetTexture(0, cube.m_pTexture);
    cube.UpdateWorld(m_pd3dDevice);
    m_pd3dDevice->SetStreamSource(0, cube.m_pVB, 0, sizeof(CubeVertex));
    m_pd3dDevice->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 12);
    Frame f = EndFrame();
    ASSERT_EQ(f.width, kScreenW);
    const int y0 = 200, y1 = 400;
    auto colourAt = [&](int x, int y) { return f.At(x, y) & 0xFFFFFF; };
    EXPECT_TRUE(Close(colourAt(380, y0), 0x00FF00)) << std::hex << colourAt(380, y0);
    EXPECT_TRUE(Close(colourAt(380, y1), 0xFFFFFF)) << std::hex << colourAt(380, y1);
    EXPECT_TRUE(Close(colourAt(420, y0), 0xFF0000)) << std::hex << colourAt(420, y0);
    EXPECT_TRUE(Close(colourAt(420, y1), 0x0000FF)) << std::hex << colourAt(420, y1);
}

// Three of the five points, each an additive square of 600 x 1.1 x
// sqrt(1 / (1 + d + d^2)) pixels at eye distance d; over black each shows
// its own colour.
TEST_F(CubePixels, PointSpritesDrawTheFirstThreePointsScaledByDistance)
{
    CPointSprites sprites;
    sprites.Create(m_pd3dDevice, 0.0f, 0.0f, 0.0f, 1.0f);
    ASSERT_NE(sprites.m_pVB, nullptr);
    CCubeCamera camera;
    camera.SetViewport(800, 600);
    camera.SetEye(0.0f, 0.0f, -10.0f);
    camera.SetTarget(0.0f, 0.0f, 0.0f);
    camera.Apply(m_pd3dDevice);
    sprites.m_angle = -0.01f;  // drawn unturned
    BeginFrame(0xFF000000);
    sprites.Render(m_pd3dDevice);
    Frame f = EndFrame();
    ASSERT_EQ(f.width, kScreenW);
    // 2 units at depth 10: 2 / 10 x 2.414 x 300 = 145 pixels from the centre.
    const float d = std::sqrt(104.0f);
    const int side = (int)std::lround(600 * 1.1f / std::sqrt(1 + d + d * d));
    auto runAt = [&](int y, int x0, int x1) {
        int n = 0;
        for (int x = x0; x < x1; ++x)
            n += (f.At(x, y) & 0xFFFFFF) != 0;
        return n;
    };
    EXPECT_NEAR(runAt(300, 500, 620), side, 2);
    EXPECT_NEAR(runAt(300, 180, 300), side, 2);
    EXPECT_TRUE(Close(f.At(255, 300), 0xFF4444, 2)) << std::hex << f.At(255, 300);
    EXPECT_TRUE(Close(f.At(545, 300), 0x44FF44, 2)) << std::hex << f.At(545, 300);
    EXPECT_TRUE(Close(f.At(400, 155), 0x4444FF, 2)) << std::hex << f.At(400, 155);
    // Point 3, below the centre, is not drawn; nor is anything at the centre.
    EXPECT_EQ(f.At(400, 445) & 0xFFFFFF, 0u);
    EXPECT_EQ(f.At(400, 300) & 0xFFFFFF, 0u);
}

class CubesInShow : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_DEVICE();
        ResetStates();
        g_sequenceTime = 0.0f;
        PlatformScriptClocks(true, 1000);
        m_show = new Escenor("fichero_script.qvs");
        for (ScheduleItem* item : m_show->m_pendingItems)
            if (auto* c = dynamic_cast<CubosInercia*>(item->m_pEffect)) {
                m_cubes = c;
                m_entry = item;
            }
    }
    void TearDown() override
    {
        delete m_show;
        m_show = nullptr;
        BASS_Free();
        g_sequenceTime = 0.0f;
        PlatformRealClocks();
        if (ShowDevice()) {
            m_pd3dDevice->SetStreamSource(0, nullptr, 0, 0);
            m_pd3dDevice->SetTexture(0, nullptr);
            ResetStates();
        }
    }

    // The effect's frame at sequence time 4 s and the clock reading.
    Frame Shot(DWORD milliseconds, D3DCOLOR background)
    {
        PlatformSetTimeGetTime(milliseconds);
        g_sequenceTime = 4.0f;
        BeginFrame(background);
        m_cubes->DoRender((4.0f - m_entry->m_start) / (m_entry->m_end - m_entry->m_start));
        return EndFrame();
    }

    Escenor* m_show = nullptr;
    CubosInercia* m_cubes = nullptr;
    ScheduleItem* m_entry = nullptr;
};

bool Covered(const Frame& f, int x, int y)
{
    return (f.At(x, y) & 0xFFFFFF) != 0;
}

// Over black and white the cubes' pixels differ (they are translucent); the
// two series mirror each other about the screen's middle whatever the clock.
TEST_F(CubesInShow, CapturedFramesShowTranslucentCubesSwayingInMirrorImage)
{
    ASSERT_NE(m_cubes, nullptr);
    EXPECT_FLOAT_EQ(m_entry->m_start, 3.0f);
    EXPECT_FLOAT_EQ(m_entry->m_end, 5.0f);
    EXPECT_FLOAT_EQ(m_entry->m_layer, 6.0f);
    ASSERT_EQ(m_cubes->DoInit(), 0);

    int coveredBefore = -1;
    Frame first;
    for (DWORD ms : {0u, 1000u, 1571u, 5000u}) {
        SCOPED_TRACE(ms);
        Frame black = Shot(ms, 0xFF000000);
        ASSERT_EQ(black.width, kScreenW);
        int covered = 0, mirrored = 0;
        for (int y = 0; y < kScreenH; y += 3)
            for (int x = 0; x < kScreenW / 2; x += 3) {
                const bool c = Covered(black, x, y);
                covered += c;
                mirrored += c && Covered(black, kScreenW - 1 - x, y);
            }
        EXPECT_GT(covered, 2000);
        EXPECT_GT(mirrored, covered * 97 / 100);
        // Far corners stay clear.
        EXPECT_FALSE(Covered(black, 2, 2));
        EXPECT_FALSE(Covered(black, kScreenW - 3, 2));

        // Most of what the cubes cover lets the background through.
        Frame white = Shot(ms, 0xFFFFFFFF);
        ASSERT_EQ(white.width, kScreenW);
        int through = 0, all = 0;
        for (int y = 0; y < kScreenH; y += 3)
            for (int x = 0; x < kScreenW; x += 3)
                if (Covered(black, x, y)) {
                    ++all;
                    through += (white.At(x, y) & 0xFFFFFF) != 0xFFFFFF && black.At(x, y) != white.At(x, y);
                }
        EXPECT_GT(through, all / 2);
        if (coveredBefore < 0) {
            first = black;
            coveredBefore = covered;
        } else {
            // Another clock reading, another pose.
            size_t differ = 0;
            for (size_t i = 0; i < first.pixels.size(); i += 7)
                differ += first.pixels[i] != black.pixels[i];
            EXPECT_GT(differ, first.pixels.size() / 7 / 20);
        }
    }
}

}  // namespace
