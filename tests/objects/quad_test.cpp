// Screen quads drawn through a scene on the real device, read back.
#include <gtest/gtest.h>

#include <cstdlib>

#include "camera.h"
#include "quads.h"
#include "scene.h"
#include "show_device.h"
#include "texturecache.h"

namespace {

uint32_t White(int, int) { return 0xFFFFFF; }
// Left half red, right half blue.
uint32_t RedBlue(int x, int) { return x < 32 ? 0xFF0000 : 0x0000FF; }

class QuadTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DEVICE();
        ResetStates();
        WriteTestPicture("test_white.bmp", 64, 64, White);
        WriteTestPicture("test_redblue.bmp", 64, 64, RedBlue);
    }
    void TearDown() override {
        if (ShowDevice()) ResetStates();
    }

    // One frame of the quad alone in a scene, over black.
    Frame Draw(StaticQuad* quad) {
        Scene scene;
        scene.Add(quad);
        Camera camera;
        BeginFrame(0xFF000000);
        scene.Render(&camera, 0.0f);
        return EndFrame();
    }
};

TEST_F(QuadTest, CoversExactlyThePixelsItsFractionsGive) {
    StaticQuad quad("test_white.bmp", kScreenW, kScreenH, false);
    ASSERT_NE(quad.m_pTexture, nullptr);
    EXPECT_FALSE(quad.m_transparent);
    quad.m_posX = 0.25f;
    quad.m_posY = 0.5f;
    quad.m_scaleX = 0.5f;
    quad.m_scaleY = 0.25f;
    Frame f = Draw(&quad);
    ASSERT_EQ(f.width, kScreenW);
    ASSERT_EQ(f.height, kScreenH);
    int wrong = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) {
            bool inside = x >= 200 && x < 600 && y >= 300 && y < 450;
            uint32_t expected = inside ? 0xFFFFFF : 0x000000;
            if ((f.At(x, y) & 0xFFFFFF) != expected && ++wrong <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << f.At(x, y);
        }
    EXPECT_EQ(wrong, 0);
}

struct RectCase {
    const char* name;
    float u0, u1;
    // Expected colour at a quarter and at three quarters of the width.
    uint32_t left, right;
};

void PrintTo(const RectCase& c, std::ostream* os) { *os << c.name; }

class TextureRectangle : public QuadTest, public ::testing::WithParamInterface<RectCase> {};

TEST_P(TextureRectangle, SelectsThePartOfThePictureShown) {
    const RectCase& c = GetParam();
    StaticQuad quad("test_redblue.bmp", kScreenW, kScreenH, false);
    quad.m_u0 = c.u0;
    quad.m_u1 = c.u1;
    Frame f = Draw(&quad);
    ASSERT_EQ(f.width, kScreenW);
    EXPECT_EQ(f.At(200, 300) & 0xFFFFFF, c.left);
    EXPECT_EQ(f.At(600, 300) & 0xFFFFFF, c.right);
}

INSTANTIATE_TEST_SUITE_P(Show2d, TextureRectangle,
                         ::testing::Values(RectCase{"Whole", 0, 1, 0xFF0000, 0x0000FF},
                                           RectCase{"Mirrored", 1, 0, 0x0000FF, 0xFF0000},
                                           RectCase{"LeftHalfOnly", 0.05f, 0.45f, 0xFF0000, 0xFF0000}),
                         [](const ::testing::TestParamInfo<RectCase>& info) { return std::string(info.param.name); });

TEST_F(QuadTest, AlphaTintScalesOpacityAndNeverTintsTheColour) {
    StaticQuad quad("test_white.bmp", kScreenW, kScreenH, true);
    EXPECT_TRUE(quad.m_transparent);
    quad.m_color = 0x80FF0000;  // alpha 0x80 with a red byte
    Frame f = Draw(&quad);
    ASSERT_EQ(f.width, kScreenW);
    for (int c : {f.R(400, 300), f.G(400, 300), f.B(400, 300)}) EXPECT_NEAR(c, 128, 2);
}

TEST_F(QuadTest, ColourZeroDrawsNothingAndTouchesNoState) {
    StaticQuad quad("test_white.bmp", kScreenW, kScreenH, true);
    quad.m_color = 0;
    m_pd3dDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    m_pd3dDevice->SetTexture(0, nullptr);
    Frame f = Draw(&quad);
    ASSERT_EQ(f.width, kScreenW);
    EXPECT_EQ(f.At(400, 300) & 0xFFFFFF, 0u);
    DWORD op = 0;
    m_pd3dDevice->GetTextureStageState(0, D3DTSS_COLOROP, &op);
    EXPECT_EQ(op, (DWORD)D3DTOP_MODULATE);
    IDirect3DBaseTexture9* bound = nullptr;
    m_pd3dDevice->GetTexture(0, &bound);
    EXPECT_EQ(bound, nullptr);
    if (bound) bound->Release();
}

TEST_F(QuadTest, MissingPictureLeavesNoTextureAndDrawsNothing) {
    StaticQuad* quad = new StaticQuad("no_such_picture.png", kScreenW, kScreenH, false);
    EXPECT_EQ(quad->m_pTexture, nullptr);
    Frame f = Draw(quad);
    ASSERT_EQ(f.width, kScreenW);
    EXPECT_EQ(f.At(400, 300) & 0xFFFFFF, 0u);
    delete quad;
}

TEST_F(QuadTest, QuadsOfOneFileShareATextureThatOutlivesEitherQuad) {
    StaticQuad* first = new StaticQuad("test_white.bmp", kScreenW, kScreenH, false);
    StaticQuad* second = new StaticQuad("test_white.bmp", kScreenW, kScreenH, false);
    ASSERT_NE(first->m_pTexture, nullptr);
    EXPECT_EQ(first->m_pTexture, second->m_pTexture);
    delete first;
    Frame f = Draw(second);
    ASSERT_EQ(f.width, kScreenW);
    EXPECT_EQ(f.At(400, 300) & 0xFFFFFF, 0xFFFFFFu);
    delete second;
}

}  // namespace
