// The sequencer's loading walk and frames, on a scripted clock.
#include "escenor_fixture.h"

#include "escenor_testing.h"
#include "windows/win_internal.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Events;

TEST_F(EscenorTest, EntryStartsStrictlyAfterItsStartAndEndsAfterItsEnd)
{
    Make([](Escenor& e) { e.AddEffect(new FakeEffect("A"), 2, 4, 1); });
    EXPECT_EQ(Take(), (Events{"A:init"}));
    EXPECT_TRUE(Frame(2.0));
    EXPECT_EQ(Take(), Events{});
    EXPECT_TRUE(Frame(2.5));
    EXPECT_EQ(Take(), (Events{"A:start", "A:render 0.25 0.25"}));
    EXPECT_FLOAT_EQ(g_sequenceTime, 2.5f);
    EXPECT_TRUE(Frame(4.0));
    EXPECT_EQ(Take(), (Events{"A:render 1 0.75"}));
    EXPECT_TRUE(Frame(4.125)); // removed: the last entry's frame is still true
    EXPECT_EQ(Take(), (Events{"A:delete"}));
    EXPECT_FALSE(Frame(4.25));
    EXPECT_FALSE(Frame(9.0));
    EXPECT_EQ(Take(), Events{});
}

TEST_F(EscenorTest, EqualStartsAndLayersKeepScheduleOrder)
{
    Make([](Escenor& e) {
        e.AddEffect(new FakeEffect("A"), 1, 3, 5);
        e.AddEffect(new FakeEffect("B"), 1, 3, 5);
        e.AddEffect(new FakeEffect("C"), 0, 3, 5);
        e.AddEffect(new FakeEffect("D"), 1, 3, 2);
    });
    // Pending by start, equal starts as scheduled.
    EXPECT_EQ(Take(), (Events{"C:init", "A:init", "B:init", "D:init"}));
    Frame(0.75);
    EXPECT_EQ(Take(), (Events{"C:start", "C:render 0.25 0.25"}));
    Frame(1.5);
    // Started in pending order; drawn by layer, equal layers in start order.
    EXPECT_EQ(Take(), (Events{"A:start", "B:start", "D:start", "D:render 0.25 0.25", "C:render 0.5 0.25",
                              "A:render 0.25 0.25", "B:render 0.25 0.25"}));
}

TEST_F(EscenorTest, StartEqualEndIsStartedAndRemovedWithoutDrawing)
{
    Make([](Escenor& e) {
        e.AddEffect(new FakeEffect("Z"), 3, 3, 1);
        e.AddEffect(new FakeEffect("L"), 0, 10, 2);
    });
    Take();
    Frame(3.0);
    EXPECT_EQ(Take(), (Events{"L:start", "L:render 0.3 0.3"}));
    Frame(3.5);
    EXPECT_EQ(Take(), (Events{"Z:start", "Z:delete", "L:render 0.35 0.05"}));
}

TEST_F(EscenorTest, TenEntriesOnOneEffectDeleteItAtTheLast)
{
    FakeEffect* shared = nullptr;
    Make([&](Escenor& e) {
        shared = new FakeEffect("S");
        for (int i = 0; i < 10; i++)
            e.AddEffect(shared, 5.0f + i, 6.0f + i, 20);
        EXPECT_EQ(shared->m_refCount, 10);
    });
    // Initialised once for the ten entries.
    EXPECT_EQ(Take(), (Events{"S:init"}));
    std::string log = ReadLog();
    size_t lines = 0;
    for (size_t at = log.find("Inicializando"); at != std::string::npos; at = log.find("Inicializando", at + 1))
        lines++;
    EXPECT_EQ(lines, 10u);
    for (int i = 0; i < 10; i++) {
        Frame(5.5 + i);
        Events events = Take();
        if (i == 0)
            EXPECT_EQ(events, (Events{"S:start", "S:render 0.5 0.5"}));
        else
            EXPECT_EQ(events.back(), "S:render 0.5 0");
        EXPECT_EQ(shared->m_refCount, 10 - i) << i;
    }
    Frame(15.0);
    EXPECT_EQ(Take(), (Events{"S:render 1 0.5"}));
    Frame(15.5);
    EXPECT_EQ(Take(), (Events{"S:delete"}));
    EXPECT_FALSE(Frame(16.0));
}

TEST_F(EscenorTest, RemovalRedrawsTheEarlierEntriesWithZeroDelta)
{
    Make([](Escenor& e) {
        e.AddEffect(new FakeEffect("A"), 0, 10, 1);
        e.AddEffect(new FakeEffect("A2"), 0, 10, 2);
        e.AddEffect(new FakeEffect("B"), 0, 1, 2);
        e.AddEffect(new FakeEffect("C"), 0, 10, 3);
    });
    Frame(0.5);
    Take();
    Frame(1.5);
    EXPECT_EQ(Take(), (Events{"A:render 0.15 0.1", "A2:render 0.15 0.1", "B:delete", "A:render 0.15 0",
                              "A2:render 0.15 0", "C:render 0.15 0.1"}));
}

TEST_F(EscenorTest, EntryWithoutEndGetsSecondsForEver)
{
    Make([](Escenor& e) { e.AddEffect(new FakeEffect("F"), 0, 0, 1); });
    Take();
    EXPECT_TRUE(Frame(0.0));
    EXPECT_EQ(Take(), Events{});
    EXPECT_TRUE(Frame(2.5));
    EXPECT_EQ(Take(), (Events{"F:start", "F:render 2.5 2.5"}));
    EXPECT_TRUE(Frame(1000.0));
    EXPECT_EQ(Take(), (Events{"F:render 1000 997.5"}));
}

// How the log ends when an effect is initialised or drawn: "-" empty,
// "line" right after an "Inicializando" line, "hecho" after that word.
std::string LogTail()
{
    std::string log = ScratchFolder::Read("debug.txt");
    if (log.empty())
        return "-";
    if (log.size() >= 2 && log.compare(log.size() - 2, 2, "\"\n") == 0)
        return "line";
    if (log.size() >= 5 && log.compare(log.size() - 5, 5, "hecho") == 0)
        return "hecho";
    return "?";
}

// A fake effect that notes the log's end before it is initialised or drawn.
class LogWatchingEffect : public FakeEffect {
public:
    explicit LogWatchingEffect(const char* id) : FakeEffect(id) {}
    int Init() override
    {
        g_events.push_back(m_id + ":log " + LogTail());
        return FakeEffect::Init();
    }
    int Render(float t) override
    {
        g_events.push_back(m_id + ":log " + LogTail());
        return FakeEffect::Render(t);
    }
};

TEST_F(EscenorTest, LoadingWalkLogsAndDrawsTheProgress)
{
    FakeEffect* loading = nullptr;
    Make([&](Escenor& e) {
        loading = new LogWatchingEffect("Bar");
        FakeEffect* a = new LogWatchingEffect("A");
        e.SetLoadingEffect(loading, 0, 1.0f);
        e.AddEffect(a, 1, 2, 1);
        e.AddEffect(new LogWatchingEffect("B"), 0, 2, 1);
        e.AddEffect(a, 3, 4, 1);
    });
    // Per entry: its line, its Init (once per effect), the bar at i/N, "hecho".
    EXPECT_EQ(Take(), (Events{"Bar:log -", "Bar:init", "Bar:start", "Bar:log -", "Bar:render 0 0",
                              "B:log line", "B:init", "Bar:log line", "Bar:render 0.333333 0.333333",
                              "A:log line", "A:init", "Bar:log line", "Bar:render 0.666667 0.333333",
                              "Bar:log line", "Bar:render 1 0.333333", "Bar:log hecho", "Bar:render 1 0",
                              "Bar:delete"}));
    EXPECT_FLOAT_EQ(g_sequenceTime, 1.0f);
    std::string a = "A #" + std::to_string(g_effectCount - 1);
    std::string b = "B #" + std::to_string(g_effectCount);
    EXPECT_EQ(ReadLog(), "Inicializando efecto: \"" + b + "\"\nhechoInicializando efecto: \"" + a +
                             "\"\nhechoInicializando efecto: \"" + a + "\"\nhecho");
    EXPECT_EQ(m_escenor->m_pLoadingEffect, nullptr);
    // Sequence time 0 is the end of the loading.
    EXPECT_FLOAT_EQ(m_escenor->m_startTime, 0.0f);
}

TEST_F(EscenorTest, NoEntriesAtAll)
{
    Make([](Escenor& e) { e.SetLoadingEffect(new FakeEffect("Bar"), 0, 1.0f); });
    EXPECT_EQ(Take(), (Events{"Bar:init", "Bar:start", "Bar:render 0 0", "Bar:render 1 1", "Bar:delete"}));
    EXPECT_EQ(ReadLog(), "");
    EXPECT_FALSE(Frame(0.5));
}

TEST_F(EscenorTest, NoLoadingEffectNamed)
{
    Make([](Escenor& e) { e.AddEffect(new FakeEffect("A"), 0, 1, 1); });
    EXPECT_EQ(Take(), (Events{"A:init"}));
    EXPECT_TRUE(Frame(0.5));
    EXPECT_EQ(Take(), (Events{"A:start", "A:render 0.5 0.5"}));
}

TEST_F(EscenorTest, DestructionReleasesActiveAndPendingEntries)
{
    FakeEffect* twice = nullptr;
    Make([&](Escenor& e) {
        twice = new FakeEffect("T");
        e.AddEffect(twice, 0, 5, 1);
        e.AddEffect(twice, 6, 7, 1);
        e.AddEffect(new FakeEffect("P"), 8, 9, 1);
        // A loading effect that is never used is freed too.
        e.SetLoadingEffect(new FakeEffect("Bar"), 0, 1.0f);
    }, false);
    m_escenor->m_startTime = 0.0f;
    Frame(1.0);
    Take();
    delete m_escenor;
    m_escenor = nullptr;
    EXPECT_EQ(Take(), (Events{"T:delete", "P:delete", "Bar:delete"}));
}

TEST_F(EscenorTest, SeekMovesTheScheduleAndTheClock)
{
    Make([](Escenor& e) {
        e.AddEffect(new FakeEffect("Old"), 0, 1, 1);
        e.AddEffect(new FakeEffect("Now"), 2, 6, 1);
        e.AddEffect(new FakeEffect("Later"), 8, 9, 1);
    });
    Frame(0.5);
    Take();
    PlatformSetCounter(1000000); // application time 1
    m_escenor->Seek(4.0f);
    EXPECT_EQ(Take(), (Events{"Old:delete"}));
    EXPECT_FLOAT_EQ(m_escenor->m_startTime, -3.0f);
    // Application time 1.5 is sequence time 4.5; the moved entry starts on its first render.
    Frame(1.5);
    EXPECT_EQ(Take(), (Events{"Now:start", "Now:render 0.625 0.625"}));
}

TEST_F(EscenorTest, ClockSetBySeekBeforeInitIsKept)
{
    Make([](Escenor& e) { e.AddEffect(new FakeEffect("A"), 0, 10, 1); }, false);
    PlatformSetCounter(2000000); // application time 2
    m_escenor->Seek(0.5f);
    EXPECT_FLOAT_EQ(m_escenor->m_startTime, 1.5f);
    PlatformSetCounter(3000000);
    m_escenor->Init();
    EXPECT_FLOAT_EQ(m_escenor->m_startTime, 1.5f);
    // The entry moved in before Init is initialised by its first render.
    EXPECT_EQ(Take(), Events{});
    EXPECT_TRUE(Frame(4.0));
    EXPECT_EQ(Take(), (Events{"A:init", "A:start", "A:render 0.25 0.25"}));
}

} // namespace

namespace {

void InitWithoutMusic(const std::string& out)
{
    if (!std::freopen(out.c_str(), "w", stdout))
        std::_Exit(3);
    unlink("data");
    Escenor* e = new Escenor("fichero_script.qvs");
    e->Init();
    std::_Exit(0);
}

TEST_F(EscenorTest, MissingMusicStopsTheProgram)
{
    SetShowBuilderForTesting([](Escenor* e) { e->AddEffect(new FakeEffect("A"), 0, 1, 1); });
    std::string out = m_dir + "/stdout.txt";
    EXPECT_EXIT(InitWithoutMusic(out), ::testing::ExitedWithCode(255), "");
    EXPECT_EQ(ScratchFolder::Read(out), "File ./data/music/brunkunch.it not Found\n");
}

} // namespace
