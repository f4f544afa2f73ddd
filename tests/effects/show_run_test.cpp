// The built show played on the real device: its load behind the loading bar,
// then its frames at chosen times of a scripted clock, up to its end.
#include <gtest/gtest.h>

#include <bass.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "blob2dcompuesto.h"
#include "escenor.h"
#include "jugador.h"
#include "letrascutres.h"
#include "ostrel.h"
#include "pulpo.h"
#include "show_device.h"
#include "staticgfx2d.h"
#include "timer.h"
#include "windows/win_internal.h"

namespace {

int InstanceNumber(const Effect* e) {
    const char* hash = std::strrchr(e->m_name, '#');
    return hash ? std::atoi(hash + 1) : -1;
}

// Stands in for the loading bar: records the progress of every render and
// has the bar draw it.
class ProgressSpy : public Effect {
public:
    ProgressSpy(Effect* bar, std::vector<float>* progress) : Effect("ProgressSpy"), m_bar(bar), m_progress(progress) {}
    ~ProgressSpy() override { delete m_bar; }
    int Init() override { return m_bar->DoInit(); }
    int Start() override { return m_bar->DoStart(); }
    int Render(float t) override {
        m_progress->push_back(t);
        return m_bar->DoRender(t);
    }

private:
    Effect* m_bar;
    std::vector<float>* m_progress;
};

class ShowRun : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DEVICE();
        ResetStates();
        // The music the load starts.
        std::error_code ec;
        std::filesystem::create_directory_symlink(NIMB_RUN_DIR "/data/music", ShowFolder() + "/data/music", ec);
        PlatformScriptClocks(true, 1000000);
        PlatformSetCounter(0);
        TimerResetState();
        Timer(TimerCommand::Start);
        g_sequenceTime = 0.0f;
        m_show = new Escenor("fichero_script.qvs");
        m_first = InstanceNumber(m_show->m_pLoadingEffect);
        for (ScheduleItem* item : m_show->m_pendingItems) m_instances[Number(item->m_pEffect)] = item->m_pEffect;
        m_show->m_pLoadingEffect = new ProgressSpy(m_show->m_pLoadingEffect, &m_progress);
    }
    void TearDown() override {
        delete m_show;
        m_show = nullptr;
        BASS_Free();
        PlatformRealClocks();
        TimerResetState();
        g_sequenceTime = 0.0f;
        if (ShowDevice()) ResetStates();
    }

    // The instance's place in the show's creation order, the loading bar 1.
    int Number(const Effect* e) const { return InstanceNumber(e) - m_first + 1; }
    // "<class> #<place>" of the active entries, in drawing order.
    std::vector<std::string> Active() const {
        std::vector<std::string> names;
        for (ScheduleItem* item : m_show->m_activeItems) {
            std::string name = item->m_pEffect->m_name;
            names.push_back(name.substr(0, name.find(" #")) + " #" + std::to_string(Number(item->m_pEffect)));
        }
        return names;
    }
    // One frame of the show at sequence time t.
    bool Play(double t) {
        PlatformSetCounter((LONGLONG)(t * 1000000.0 + 0.5));
        BeginFrame(0xFF000000);
        bool more = m_show->RenderFrame();
        EndFrame();
        return more;
    }
    PublicParam* Param(int number, const char* name) { return m_instances.at(number)->GetParam(name); }
    float FloatValue(int number, const char* name) { return static_cast<PublicParamFloat*>(Param(number, name))->m_value; }
    int IntValue(int number, const char* name) { return static_cast<PublicParamInt*>(Param(number, name))->m_value; }
    std::string Text(int number) { return static_cast<PublicParamString*>(Param(number, "frase"))->m_value; }
    // The picture a strip drew in the last frame, -1 for none.
    int ShownPicture(int number) {
        auto* strip = static_cast<CStaticGfx2D*>(m_instances.at(number));
        int shown = -1;
        for (int i = 0; i < strip->m_numImagenes; ++i)
            if (strip->m_imagenes[i]->m_color != 0) {
                EXPECT_EQ(shown, -1) << "two pictures drawn";
                shown = i;
            }
        return shown;
    }

    Escenor* m_show = nullptr;
    int m_first = 0;
    std::map<int, Effect*> m_instances;  // the scheduled ones by place
    std::vector<float> m_progress;
};

TEST_F(ShowRun, LoadsBehindThirtyStepsThenPlaysItsEdgeCasesAndEndsAtEighteenSeconds) {
    const size_t logStart = ReadDebugLog().size();
    m_show->Init();

    // The bar: drawn empty, one step of 1/30 per entry, drawn full.
    ASSERT_EQ(m_progress.size(), 32u);
    EXPECT_EQ(m_progress.front(), 0.0f);
    for (int i = 1; i <= 30; ++i) EXPECT_FLOAT_EQ(m_progress[i], i / 30.0f) << i;
    EXPECT_EQ(m_progress.back(), 1.0f);
    EXPECT_EQ(m_show->m_pLoadingEffect, nullptr);
    // Each entry is named in the log in pending order, instance 16 once per entry.
    std::string log = ReadDebugLog().substr(logStart);
    std::vector<int> logged;
    const std::string open = "Inicializando efecto: \"";
    for (size_t at = log.find(open); at != std::string::npos; at = log.find(open, at + 1)) {
        size_t hash = log.find('#', at);
        logged.push_back(std::atoi(log.c_str() + hash + 1) - m_first + 1);
    }
    EXPECT_EQ(logged, (std::vector<int>{2,  3,  4,  21, 5,  6,  22, 7,  8,  9,  10, 11, 12, 13, 16,
                                        14, 16, 15, 16, 17, 16, 18, 16, 19, 16, 16, 20, 16, 16, 16}));

    ASSERT_TRUE(Play(0.5));
    EXPECT_EQ(Active(), (std::vector<std::string>{"Ostrel #2", "CStaticGfx2D #3", "CStaticGfx2D #4",
                                                  "CLetrasCutres #21"}));
    EXPECT_EQ(Text(21), "Probando...");

    // The greeting of three persons at (-0.9, 0); the bunting on its first picture.
    ASSERT_TRUE(Play(1.5));
    const std::string threePersons = Text(22);
    EXPECT_FALSE(threePersons.empty());
    EXPECT_FLOAT_EQ(FloatValue(22, "posx"), -0.9f);
    EXPECT_FLOAT_EQ(FloatValue(22, "posy"), 0.0f);
    EXPECT_EQ(ShownPicture(6), 0);
    EXPECT_EQ(Text(21), "Hola");

    // The bunting runs through its four pictures twice in [2, 3].
    std::vector<int> shown;
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(Play(2.0625 + 0.125 * i));
        shown.push_back(ShownPicture(6));
    }
    EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3}));
    EXPECT_EQ(Active(), (std::vector<std::string>{"Ostrel #2", "CStaticGfx2D #5", "CStaticGfx2D #6",
                                                  "CObjetoEstela #7", "CLetrasCutres #21", "CLetrasCutres #22"}));
    EXPECT_EQ(Text(22), threePersons);

    // Nothing greeted from 3 s to 5 s; the one-picture strip ignores its index.
    ASSERT_TRUE(Play(4.5));
    EXPECT_EQ(Text(22), "");
    EXPECT_GT(IntValue(10, "imagenActual"), 1);
    EXPECT_EQ(ShownPicture(10), 0);

    // The client scene's last frame: the local player turns at -0.15.
    ASSERT_TRUE(Play(5.0));
    auto* scene = static_cast<COstrel*>(m_instances.at(2));
    ASSERT_NE(scene->m_pJugadorLocal, nullptr);
    EXPECT_NEAR(scene->m_pJugadorLocal->m_velry, -0.15f, 1e-5);
    EXPECT_EQ(FloatValue(2, "velx"), 0.0f);
    EXPECT_EQ(FloatValue(2, "velz"), 0.0f);

    ASSERT_TRUE(Play(5.5));
    EXPECT_EQ(Active().front(), "CStaticGfx2D #9");  // the client scene is gone
    EXPECT_EQ(Text(22), "Aprovechamos para saludar a");
    EXPECT_FLOAT_EQ(FloatValue(22, "posx"), -0.9f);
    EXPECT_FLOAT_EQ(FloatValue(22, "posy"), -0.5f);
    EXPECT_EQ(ShownPicture(11), 0);
    // Its key [5, 6] has expired and left the text until 6.6 s.
    ASSERT_TRUE(Play(6.3));
    EXPECT_EQ(Text(22), "Aprovechamos para saludar a");
    EXPECT_FLOAT_EQ(FloatValue(22, "posy"), -0.5f);

    // Twenty group names at (-0.2, -0.5), 0.4 s each.
    std::vector<std::string> groups;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(Play(6.8 + 0.4 * i));
        groups.push_back(Text(22));
        EXPECT_FLOAT_EQ(FloatValue(22, "posx"), -0.2f);
        EXPECT_FLOAT_EQ(FloatValue(22, "posy"), -0.5f);
        if (i == 4) {
            EXPECT_EQ(Active(), (std::vector<std::string>{"CStaticGfx2D #9", "CPulpo #12", "CStaticGfx2D #18",
                                                          "CStaticGfx2D #16", "CLetrasCutres #21",
                                                          "CLetrasCutres #22"}));
        }
        if (i == 12) {
            // 11.6 s: the blob grid at 0.3 since its start.
            EXPECT_FLOAT_EQ(FloatValue(20, "alpha"), 0.3f);
            EXPECT_EQ(Text(21), "...");
        }
        if (i == 17) {
            // 13.6 s: of the two keys over [13, 14] the first shadows the second.
            EXPECT_EQ(Text(21), "...");
        }
    }
    std::vector<std::string> distinct = groups;
    std::sort(distinct.begin(), distinct.end());
    EXPECT_EQ(std::unique(distinct.begin(), distinct.end()), distinct.end());
    EXPECT_EQ(std::find(groups.begin(), groups.end(), "Aprovechamos para saludar a"), groups.end());

    // Both [13, 14] keys have expired: the second one's text is left.
    ASSERT_TRUE(Play(14.9));
    EXPECT_EQ(Text(21), "en la mano.");
    EXPECT_EQ(Text(22), groups.back());
    EXPECT_FLOAT_EQ(FloatValue(20, "alpha"), 0.3f);
    EXPECT_NEAR(FloatValue(12, "alphaBase"), 9.9f / 13, 1e-5);

    // From 15 s: the texts and instance 16 are gone; the blob jumps to 1 and fades.
    ASSERT_TRUE(Play(15.01));
    EXPECT_EQ(Active(), (std::vector<std::string>{"CBlob2DCompuesto #20", "CPulpo #12", "CStaticGfx2D #19"}));
    EXPECT_NEAR(FloatValue(20, "alpha"), 1 - 0.01f / 3, 1e-5);
    ASSERT_TRUE(Play(16.5));
    EXPECT_FLOAT_EQ(FloatValue(20, "alpha"), 0.5f);
    // The octopus keeps rising over its whole entry: the later [15, 18] key never acts.
    EXPECT_NEAR(FloatValue(12, "alphaBase"), 11.5f / 13, 1e-5);
    ASSERT_TRUE(Play(17.9));
    EXPECT_NEAR(FloatValue(12, "alphaBase"), 12.9f / 13, 1e-5);
    EXPECT_NEAR(FloatValue(20, "alpha"), 0.1f / 3, 1e-5);

    // The end: the last three entries are drawn at 18 s, expire at the first
    // frame after it, and the frame after that ends the show.
    ASSERT_TRUE(Play(18.0));
    EXPECT_EQ(Active().size(), 3u);
    EXPECT_TRUE(m_show->m_pendingItems.empty());
    EXPECT_TRUE(Play(18.02));
    EXPECT_TRUE(m_show->m_activeItems.empty());
    EXPECT_FALSE(Play(18.04));
}

}  // namespace
