// The renderer's frames on the real device, read back through its
// screenshots.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bmp_file.h"
#include "renderer_device.h"

namespace {

BmpImage Screenshot(NimbGfx* gfx, const ScratchFolder& folder)
{
    for (const std::string& f : folder.Files(".bmp"))
        std::filesystem::remove(f);
    g_takeScreenshot = true;
    gfx->RenderFrame();
    EXPECT_FALSE(g_takeScreenshot);
    std::vector<std::string> files = folder.Files(".bmp");
    BmpImage img;
    if (files.size() != 1) {
        ADD_FAILURE() << files.size() << " screenshots";
        return img;
    }
    EXPECT_TRUE(ReadBmp(files[0], &img));
    return img;
}

struct InkBox {
    int count = 0, minX = 1 << 20, minY = 1 << 20, maxX = -1, maxY = -1;
};

InkBox WhiteInk(const BmpImage& img)
{
    InkBox b;
    for (int y = 0; y < img.height; y++) {
        for (int x = 0; x < img.width; x++) {
            if (((img.At(x, y) >> 16) & 0xFF) > 0x80) {
                b.count++;
                b.minX = std::min(b.minX, x);
                b.maxX = std::max(b.maxX, x);
                b.minY = std::min(b.minY, y);
                b.maxY = std::max(b.maxY, y);
            }
        }
    }
    return b;
}

TEST(RendererOnDevice, FrameClearsToTheBackgroundColourAndScreenshotReadsItBack)
{
    ScratchFolder folder;
    TestDevice dev(DeviceKind::Real, false, true);
    ASSERT_TRUE(dev.ok());
    BmpImage img = Screenshot(dev.gfx(), folder);
    ASSERT_EQ(img.width, TestDevice::kClientWidth);
    ASSERT_EQ(img.height, TestDevice::kClientHeight);
    size_t wrong = 0;
    for (uint32_t p : img.pixels)
        wrong += (p | 0xFF000000) != 0xFF00BFFF;
    EXPECT_EQ(wrong, 0u) << std::hex << img.pixels[0];
}

TEST(RendererOnDevice, CaptureFramesAreNumberedFromZero)
{
    ScratchFolder folder;
    TestDevice dev(DeviceKind::Real, false, true);
    ASSERT_TRUE(dev.ok());
    g_capturing = true;
    g_captureId = 99;
    g_captureFrame = 0;
    dev.gfx()->RenderFrame();
    dev.gfx()->RenderFrame();
    g_capturing = false;
    BmpImage img;
    ASSERT_TRUE(ReadBmp("99_0000.bmp", &img));
    EXPECT_EQ(img.At(10, 10) | 0xFF000000, 0xFF00BFFFu);
    EXPECT_TRUE(ReadBmp("99_0001.bmp", &img));
}

TEST(RendererOnDevice, FrameRateTextAppearsOnlyWhenAsked)
{
    for (bool showfps : {true, false}) {
        SCOPED_TRACE(showfps ? "showfps true" : "showfps false");
        ScratchFolder folder;
        TestDevice dev(DeviceKind::Real, showfps, true);
        ASSERT_TRUE(dev.ok());
        EXPECT_EQ(dev.gfx()->fuente != nullptr, showfps);
        BmpImage img = Screenshot(dev.gfx(), folder);
        InkBox ink = WhiteInk(img);
        if (!showfps) {
            EXPECT_EQ(ink.count, 0);
            continue;
        }
        // "0.00 fps"-like text from (0.73, 0.9) of the viewport, 0.05 of
        // its height tall.
        const int W = TestDevice::kClientWidth, H = TestDevice::kClientHeight;
        ASSERT_GT(ink.count, 20);
        EXPECT_GE(ink.minX, (int)(1.73f * W / 2) - 4);
        EXPECT_LE(ink.minX, (int)(1.73f * W / 2) + 6);
        EXPECT_GE(ink.minY, (int)(1.9f * H / 2) - 2);
        EXPECT_LE(ink.maxY, (int)(1.9f * H / 2 + 0.05f * H) + 2);
    }
}

}  // namespace
