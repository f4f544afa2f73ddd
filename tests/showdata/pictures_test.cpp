// The pictures the show's meshes and terrain load: sizes, formats and
// transparency as the scenes need them.
#include <gtest/gtest.h>

#include <cmath>

#include "showdata_util.h"

using namespace showdata;

namespace {

enum class Alpha { Opaque, Translucent };

struct PictureCase {
    const char* file;
    UINT width, height;
    bool dds; // uncompressed 32-bit DDS, one level
    Alpha alpha;
};

const PictureCase kPictures[] = {
    {"textures/TerrainHeight.png", 128, 128, false, Alpha::Opaque},
    {"textures/TerrainBase.dds", 512, 512, true, Alpha::Opaque},
    {"textures/TerrainDetail.dds", 256, 256, true, Alpha::Opaque},
    {"textures/textura.png", 256, 256, false, Alpha::Translucent},
    {"textures/arrow.png", 128, 128, false, Alpha::Opaque},
    {"textures/tree1_bark.png", 128, 128, false, Alpha::Opaque},
    {"textures/tree1_leaves.png", 128, 128, false, Alpha::Opaque},
    {"textures/tiny-tex000.png", 256, 256, false, Alpha::Opaque},
    {"textures/tiny-tex001.png", 256, 256, false, Alpha::Opaque},
    {"textures/tiny-tex002.png", 256, 256, false, Alpha::Opaque},
};

class Picture : public ::testing::TestWithParam<PictureCase> {
};

TEST_P(Picture, HasItsSizeFormatAndAlpha)
{
    const PictureCase& c = GetParam();
    d3dx::DecodedFile file;
    ASSERT_TRUE(DecodeRunPicture(c.file, file)) << c.file;
    ASSERT_EQ(file.levels.size(), 1u);
    const d3dx::Image& img = file.levels[0];
    EXPECT_EQ(img.width, c.width);
    EXPECT_EQ(img.height, c.height);
    EXPECT_EQ(img.width & (img.width - 1), 0u) << "power of two";
    EXPECT_EQ(img.height & (img.height - 1), 0u) << "power of two";
    if (c.dds) {
        EXPECT_EQ(file.fileFormat, D3DXIFF_DDS);
        EXPECT_TRUE(file.format == D3DFMT_A8R8G8B8 || file.format == D3DFMT_X8R8G8B8);
        EXPECT_EQ(ReadFile(RunData(c.file)).size(), 128u + 4u * c.width * c.height) << "uncompressed, no mip levels";
    }
    size_t seeThrough = 0, solid = 0;
    for (uint32_t px : img.argb) {
        uint32_t a = px >> 24;
        seeThrough += a < 160;
        solid += a == 255;
    }
    if (c.alpha == Alpha::Opaque) {
        EXPECT_EQ(solid, img.argb.size()) << c.file << " must be opaque everywhere";
    } else {
        EXPECT_GT(seeThrough, img.argb.size() * 8 / 10) << "mostly see-through";
        EXPECT_LT(solid, img.argb.size() / 10);
    }
}

INSTANTIATE_TEST_SUITE_P(ShowData, Picture, ::testing::ValuesIn(kPictures));

TEST(TerrainPictures, HeightMapIsGrey)
{
    d3dx::DecodedFile file;
    ASSERT_TRUE(DecodeRunPicture("textures/TerrainHeight.png", file));
    for (uint32_t px : file.levels[0].argb) {
        uint32_t r = (px >> 16) & 255, g = (px >> 8) & 255, b = px & 255;
        ASSERT_TRUE(r == b && g == b) << std::hex << px;
    }
}

// The bumps come from the detail picture's red channel: it must vary.
TEST(TerrainPictures, DetailRedChannelCarriesBumps)
{
    d3dx::DecodedFile file;
    ASSERT_TRUE(DecodeRunPicture("textures/TerrainDetail.dds", file));
    const d3dx::Image& img = file.levels[0];
    double sum = 0, sum2 = 0;
    for (uint32_t px : img.argb) {
        double r = (px >> 16) & 255;
        sum += r;
        sum2 += r * r;
    }
    double n = (double)img.argb.size(), mean = sum / n;
    EXPECT_GT(std::sqrt(sum2 / n - mean * mean), 6.0);
    // A modulating detail layer keeps the ground bright.
    EXPECT_GT(mean, 150.0);
    // It tiles: the left and right columns, and the top and bottom rows,
    // differ no more than neighbouring columns and rows do.
    auto red = [&img](UINT x, UINT y) { return (int)((img.at(x, y) >> 16) & 255); };
    int wrapX = 0, wrapY = 0, inner = 0;
    for (UINT i = 0; i < img.height; ++i) {
        wrapX += std::abs(red(0, i) - red(img.width - 1, i));
        inner += std::abs(red(img.width / 2, i) - red(img.width / 2 - 1, i));
    }
    for (UINT i = 0; i < img.width; ++i)
        wrapY += std::abs(red(i, 0) - red(i, img.height - 1));
    EXPECT_LE(wrapX, inner * 3 / 2 + 64);
    EXPECT_LE(wrapY, inner * 3 / 2 + 64);
}

} // namespace
