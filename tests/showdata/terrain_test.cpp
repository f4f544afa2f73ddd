// The height map of the multiplayer-client scene: a flat meadow where the
// local player starts, valleys below 10 for the trees where the camera
// looks, hills elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "showdata_util.h"

using namespace showdata;

namespace {

class HeightMap : public ::testing::Test {
protected:
    void SetUp() override
    {
        d3dx::DecodedFile file;
        ASSERT_TRUE(DecodeRunPicture("textures/TerrainHeight.png", file));
        m_img = file.levels[0];
        ASSERT_EQ(m_img.width, 128u);
        ASSERT_EQ(m_img.height, 128u);
    }
    // Ground height at sample (row, column) with the scene's height scale of
    // 64: row r lies at z = (r - 64) * 8, column c at x = (c - 64) * 8.
    float Height(int r, int c) const { return ((int)(m_img.at(c, r) & 255) - 128) * 64 / 256.0f; }

    d3dx::Image m_img;
};

TEST_F(HeightMap, StartIsAFlatMeadowWithoutTrees)
{
    // The player stands at (100, 0): column 76.5, row 64. The chasing camera
    // stays within about 6 units of it.
    float lo = 1e9f, hi = -1e9f;
    for (int r = 0; r < 128; ++r)
        for (int c = 0; c < 128; ++c) {
            float x = (c - 64) * 8.0f, z = (r - 64) * 8.0f;
            if (std::hypot(x - 100.0f, z) > 40.0f)
                continue;
            lo = std::min(lo, Height(r, c));
            hi = std::max(hi, Height(r, c));
        }
    EXPECT_GE(lo, 10.0f) << "no tree on the meadow";
    EXPECT_LE(hi - lo, 1.0f);
}

// Trees are tried every 24 units from -512 (every third sample) and planted
// where the height is below 10. Every far tree is an impostor drawn every
// frame it is in view, so trees grow where the camera looks, short of the
// fog, and along the edges, but not on the hills beyond.
TEST_F(HeightMap, LeavesValleysForTheTreesWhereTheCameraLooks)
{
    int trees = 0, atLeftEdge = 0, atFarEdge = 0, inView = 0, inFog = 0;
    for (int gx = 0; gx < 1024; gx += 24)
        for (int gz = 0; gz < 1024; gz += 24) {
            if (!(Height(gz / 8, gx / 8) < 10.0f))
                continue;
            ++trees;
            atLeftEdge += gx == 0;
            atFarEdge += gz == 0;
            // The camera, 5 units behind the player at (100, 0), looks along
            // -z and turns about 0.8 radians toward +x over the scene; with
            // its field of view it sees directions from about -0.66 to 1.46
            // radians off -z.
            const float x = gx - 512.0f, z = gz - 512.0f;
            const float turn = std::atan2(x - 100.0f, -z);
            const float d = std::hypot(x - 100.0f, z);
            if (turn > -0.66f && turn < 1.46f && x > -400.0f && z > -400.0f) {
                inView += d < 300.0f;
                inFog += d >= 380.0f;
            }
        }
    EXPECT_GE(inView, 40) << "trees along the horizon";
    EXPECT_EQ(inFog, 0) << "impostors the fog hides";
    EXPECT_GE(trees, 150);
    EXPECT_LE(trees, 300) << "a forest of impostors costs frame time and memory";
    // Trees along x = -512 and z = -512, some of which the jitter moves off
    // the terrain.
    EXPECT_GE(atLeftEdge, 10);
    EXPECT_GE(atFarEdge, 10);
}

TEST_F(HeightMap, HasHillsAndStaysSmooth)
{
    float top = -1e9f;
    int steep = 0;
    for (int r = 0; r < 128; ++r)
        for (int c = 0; c < 128; ++c) {
            top = std::max(top, Height(r, c));
            if (c + 1 < 128 && std::fabs(Height(r, c + 1) - Height(r, c)) > 4.0f)
                ++steep;
            if (r + 1 < 128 && std::fabs(Height(r + 1, c) - Height(r, c)) > 4.0f)
                ++steep;
        }
    EXPECT_GE(top, 20.0f);
    EXPECT_LT(top, 31.75f) << "clipped hill tops";
    EXPECT_EQ(steep, 0) << "cliffs of more than 4 units between samples 8 units apart";
}

} // namespace
