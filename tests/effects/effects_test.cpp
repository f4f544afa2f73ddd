// The loading bar, the picture strips and the text effect on the real
// device, with the built show's keys where the show gives them.
#include <gtest/gtest.h>

#include <bass.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "escenor.h"
#include "initbarra.h"
#include "letrascutres.h"
#include "show_device.h"
#include "staticgfx2d.h"

namespace {

TEST(Show2dColours, QuadTintClampsTheOpacity) {
    const struct {
        float alpha;
        DWORD colour;
    } cases[] = {{1.0f, 0xFFFFFFFF}, {0.5f, 0x7F7F7F7F}, {0.003f, 0},         {0.0f, 0},
                 {-1.0f, 0},         {1.5f, 0xFFFFFFFF}, {-1e30f, 0},         {1e30f, 0xFFFFFFFF},
                 {0.25f, 0x3F3F3F3F}};
    for (const auto& c : cases) EXPECT_EQ(AlphaToQuadColor(c.alpha), c.colour) << c.alpha;
}

TEST(Show2dColours, TextColourKeepsTheLowByteOfTheScaledOpacity) {
    const struct {
        float alpha;
        DWORD colour;
    } cases[] = {{1.0f, 0xFFFFFFFF}, {0.5f, 0x7FFFFFFF}, {0.0f, 0x00FFFFFF}, {1.5f, 0x7EFFFFFF},
                 {-1.0f, 0x01FFFFFF}, {2.0f, 0xFEFFFFFF}};
    for (const auto& c : cases) EXPECT_EQ(AlphaToTextColor(c.alpha), c.colour) << c.alpha;
    // Far outside any integer: still a colour, white in its colour bytes.
    for (float a : {1e30f, -1e30f, 3e9f, -3e9f}) EXPECT_EQ(AlphaToTextColor(a) & 0xFFFFFF, 0xFFFFFFu) << a;
}

TEST(Show2dColours, ImageIndexWrapsIntoTheStrip) {
    const struct {
        int index, count, shown;
    } cases[] = {{5, 4, 1}, {8, 4, 0}, {0, 4, 0}, {-1, 4, 3}, {-4, 4, 0}, {-5, 4, 3}, {7, 1, 0}, {3, 0, -1}};
    for (const auto& c : cases) EXPECT_EQ(WrapImageIndex(c.index, c.count), c.shown) << c.index << " " << c.count;
}

// The built show, with its effects at hand; the sound layer is closed after.
class BuiltShow : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DEVICE();
        ResetStates();
        g_sequenceTime = 0.0f;
        m_show = new Escenor("fichero_script.qvs");
    }
    void TearDown() override {
        delete m_show;
        m_show = nullptr;
        BASS_Free();
        g_sequenceTime = 0.0f;
        if (ShowDevice()) ResetStates();
    }

    // The n-th distinct picture strip of the schedule in creation order.
    CStaticGfx2D* Strip(size_t n) {
        std::vector<CStaticGfx2D*> found;
        for (ScheduleItem* item : m_show->m_pendingItems) {
            CStaticGfx2D* e = dynamic_cast<CStaticGfx2D*>(item->m_pEffect);
            if (e && std::find(found.begin(), found.end(), e) == found.end()) found.push_back(e);
        }
        std::sort(found.begin(), found.end(), [](const Effect* a, const Effect* b) {
            return std::atoi(std::strrchr(a->m_name, '#') + 1) < std::atoi(std::strrchr(b->m_name, '#') + 1);
        });
        return n < found.size() ? found[n] : nullptr;
    }

    Escenor* m_show = nullptr;
};

// Average red of a rectangle of the frame.
double MeanRed(const Frame& f, int x0, int y0, int x1, int y1) {
    double sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) sum += f.R(x, y);
    return sum / ((x1 - x0) * (y1 - y0));
}

TEST_F(BuiltShow, LoadingBarGrowsWithTheProgressAndLogsOnce) {
    Effect* barra = m_show->m_pLoadingEffect;
    ASSERT_NE(dynamic_cast<InitBarra*>(barra), nullptr);
    barra->DoInit();
    // The bar's well spans x 160..640, y 360..480 on an 800 x 600 screen;
    // the bar is orange on the well's near-black.
    std::vector<double> leftWell, rightWell;
    for (float p : {0.0f, 0.5f, 1.0f}) {
        g_sequenceTime = p;
        barra->DoRender(p);
        Frame f = ReadBackBuffer();
        ASSERT_EQ(f.width, kScreenW);
        leftWell.push_back(MeanRed(f, 180, 400, 300, 440));
        rightWell.push_back(MeanRed(f, 500, 400, 620, 440));
    }
    // Progress 0: the background alone; 0.5: the bar reaches x 400; 1: x 640.
    EXPECT_LT(leftWell[0], 40);
    EXPECT_LT(rightWell[0], 40);
    EXPECT_GT(leftWell[1], leftWell[0] + 60);
    EXPECT_LT(rightWell[1], 40);
    EXPECT_GT(leftWell[2], leftWell[1] + 30);
    EXPECT_GT(rightWell[2], 150);

    // A second loading screen in the same run writes no second line.
    InitBarra other;
    static_cast<PublicParamString*>(other.GetParam("ficheroImagen"))->SetValue("initimg.png");
    static_cast<PublicParamString*>(other.GetParam("ficheroBarra"))->SetValue("initbar.png");
    other.DoInit();
    other.DoRender(0.5f);
    std::string log = ReadDebugLog();
    const std::string line = "Z_Imagen = 2.000000\tZ_Barra = 3.000000\tmenor = IMAGEN\n";
    size_t at = log.find(line);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find("Z_Imagen", at + 1), std::string::npos) << log;
}

// The bunting strip at 0.65, 0.6 of the screen, 0.3 by 0.3 of it: its
// 128 x 128 pictures show frame k with k + 1 white dots along the bottom,
// at picture x = 16 + 14 j, y = 112.
TEST_F(BuiltShow, CapturedFrameShowsTheBuntingPictureOfItsTime) {
    CStaticGfx2D* bunting = Strip(3);
    ASSERT_NE(bunting, nullptr);
    ASSERT_EQ(std::string(static_cast<PublicParamString*>(bunting->GetParam("ficheroImagen0"))->GetValue()),
              "banderillas_01.png");
    bunting->DoInit();
    ASSERT_EQ(bunting->m_numImagenes, 4);

    const struct {
        float time;
        int frame;
    } shots[] = {{1.5f, 0}, {2.1f, 0}, {2.2f, 1}, {2.3f, 2}, {2.45f, 3}, {2.6f, 0}};
    for (const auto& shot : shots) {
        SCOPED_TRACE(shot.time);
        g_sequenceTime = shot.time;
        BeginFrame(0xFF000000);
        bunting->DoRender((shot.time - 1.0f) / 2.0f);
        Frame f = EndFrame();
        ASSERT_EQ(f.width, kScreenW);
        for (int j = 0; j < 4; ++j) {
            int x = 520 + (int)((16 + 14 * j) * 240 / 128.0f);
            int y = 360 + (int)(112 * 180 / 128.0f);
            bool dot = f.R(x, y) > 200 && f.G(x, y) > 200 && f.B(x, y) > 200;
            EXPECT_EQ(dot, j <= shot.frame) << "dot " << j;
        }
        // Nothing outside the strip's place.
        int lit = 0;
        for (int y = 0; y < kScreenH; y += 4)
            for (int x = 0; x < kScreenW; x += 4) {
                bool inside = x >= 519 && x <= 760 && y >= 359 && y <= 540;
                if (!inside && (f.At(x, y) & 0xFFFFFF) != 0) ++lit;
            }
        EXPECT_EQ(lit, 0);
        // Only the shown picture's quad is lit.
        for (int i = 0; i < 4; ++i) EXPECT_EQ(bunting->m_imagenes[i]->m_color != 0, i == shot.frame) << i;
    }
}

TEST_F(BuiltShow, StripCountsOutsideOneToTenNeitherCrashNorReadBeyondThePictures) {
    const struct {
        int count, index, quads, shown;
    } cases[] = {{0, 0, 0, -1}, {12, 11, 10, 1}, {-3, 2, 0, -1}, {4, -1, 4, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        CStaticGfx2D strip;
        static_cast<PublicParamInt*>(strip.GetParam("numeroImagenes"))->SetValue(c.count);
        static_cast<PublicParamInt*>(strip.GetParam("imagenActual"))->SetValue(c.index);
        for (int i = 0; i < kMaxImagenes; ++i) {
            std::string name = "ficheroImagen" + std::to_string(i);
            static_cast<PublicParamString*>(strip.GetParam(name.c_str()))->SetValue("banderillas_01.png");
        }
        strip.DoInit();
        EXPECT_EQ(strip.m_numImagenes, c.quads);
        // The count is fixed at Init: a later change leaves the quads as they are.
        static_cast<PublicParamInt*>(strip.GetParam("numeroImagenes"))->SetValue(7);
        BeginFrame(0xFF000000);
        strip.DoRender(0.5f);
        EndFrame();
        EXPECT_EQ(strip.m_numImagenes, c.quads);
        for (int i = 0; i < strip.m_numImagenes; ++i)
            EXPECT_EQ(strip.m_imagenes[i]->m_color != 0, i == c.shown) << i;
    }
}

TEST_F(BuiltShow, TextIsDrawnWhiteWhereItsParametersPlaceIt) {
    CLetrasCutres text;
    text.DoInit();
    static_cast<PublicParamString*>(text.GetParam("frase"))->SetValue("HOLA HOLA");
    static_cast<PublicParamFloat*>(text.GetParam("posx"))->SetValue(-0.5f);
    static_cast<PublicParamFloat*>(text.GetParam("posy"))->SetValue(0.0f);
    static_cast<PublicParamFloat*>(text.GetParam("scalex"))->SetValue(0.1f);
    static_cast<PublicParamFloat*>(text.GetParam("scaley"))->SetValue(0.1f);
    auto litIn = [](const Frame& f, int x0, int y0, int x1, int y1) {
        int lit = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (f.R(x, y) > 128 && f.G(x, y) > 128 && f.B(x, y) > 128) ++lit;
        return lit;
    };
    for (float alpha : {1.0f, 0.0f}) {
        SCOPED_TRACE(alpha);
        static_cast<PublicParamFloat*>(text.GetParam("alpha"))->SetValue(alpha);
        BeginFrame(0xFF000000);
        text.DoRender(0.5f);
        Frame f = EndFrame();
        ASSERT_EQ(f.width, kScreenW);
        // x -0.5 is pixel 200, y 0 is pixel 300; the line is 60 pixels tall.
        int inside = litIn(f, 190, 290, 800, 370);
        int above = litIn(f, 0, 0, 800, 280);
        if (alpha > 0.0f)
            EXPECT_GT(inside, 100);
        else
            EXPECT_EQ(inside, 0);
        EXPECT_EQ(above, 0);
    }
}

}  // namespace
