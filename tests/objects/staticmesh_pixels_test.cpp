// StaticMesh on the real device: the show's arrow drawn unlit as texture
// times white, blended by its opacity, and a square seen from behind.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "camera.h"
#include "fake_engine.h"
#include "scene.h"
#include "show_device.h"
#include "staticmesh.h"

namespace {

class StaticMeshPixels : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_DEVICE();
        ResetStates();
    }
    void TearDown() override
    {
        if (ShowDevice())
            ResetStates();
    }

    // Draws the mesh alone through the default camera (eye at z = -4).
    Frame Draw(StaticMesh* mesh, D3DCOLOR clear)
    {
        Scene scene;
        scene.Add(mesh);
        Camera camera;
        BeginFrame(clear);
        scene.Render(&camera, 0.0f);
        return EndFrame();
    }
};

struct Rgb {
    int r, g, b;
};

Rgb At(const Frame& f, int x, int y)
{
    return {f.R(x, y), f.G(x, y), f.B(x, y)};
}

// The arrow, 4 times its size, points down the screen from y 196 to 404: its
// gold shaft above, its pink head below, black around.
TEST_F(StaticMeshPixels, TheArrowShowsItsTextureUnlitAndBlendsByItsOpacity)
{
    StaticMesh arrow;
    ASSERT_EQ(arrow.Load("arrow.x"), S_OK);
    arrow.m_scale = 4.0f;
    Frame opaque = Draw(&arrow, 0xFF000000);
    ASSERT_EQ(opaque.width, kScreenW);
    const Rgb shaft = At(opaque, 400, 260), head = At(opaque, 400, 370);
    EXPECT_GT(shaft.r, 150);
    EXPECT_GT(shaft.g, 60);
    EXPECT_LT(shaft.b, shaft.g);
    EXPECT_GT(head.r, 150);
    EXPECT_GT(head.b, head.g);
    for (int y : {150, 450})
        EXPECT_EQ(opaque.At(400, y) & 0xFFFFFF, 0u) << y;
    for (int x : {340, 460})
        EXPECT_EQ(opaque.At(x, 260) & 0xFFFFFF, 0u) << x;

    // Half opacity over blue: half the texture plus half the blue.
    arrow.m_alpha = 0.5f;
    Frame half = Draw(&arrow, 0xFF0000FF);
    for (int y : {260, 370}) {
        const Rgb o = At(opaque, 400, y), h = At(half, 400, y);
        EXPECT_NEAR(h.r, o.r * 127 / 255, 3) << y;
        EXPECT_NEAR(h.g, o.g * 127 / 255, 3) << y;
        EXPECT_NEAR(h.b, o.b * 127 / 255 + 128, 3) << y;
    }
    EXPECT_EQ(half.At(400, 150), 0xFF0000FFu);
}

TEST_F(StaticMeshPixels, ASquareSeenFromBehindIsDrawnOnlyTwoSided)
{
    std::ofstream(ShowFolder() + "/data/models/square_pixels.x") << XSquareText();
    StaticMesh square;
    ASSERT_EQ(square.Load("square_pixels.x"), S_OK);
    square.m_yaw = 3.1415927f;
    for (bool twoSided : {false, true}) {
        square.m_twoSided = twoSided;
        Frame f = Draw(&square, 0xFF000000);
        // No texture on the stage: white, texture times diffuse.
        EXPECT_EQ(f.At(400, 300) & 0xFFFFFF, twoSided ? 0xFFFFFFu : 0u) << twoSided;
        DWORD cull = 0;
        m_pd3dDevice->GetRenderState(D3DRS_CULLMODE, &cull);
        EXPECT_EQ(cull, (DWORD)D3DCULL_CCW);
    }
}

} // namespace
