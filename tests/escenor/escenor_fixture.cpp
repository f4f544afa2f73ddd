#include "escenor_fixture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <bass.h>

#include "escenor_testing.h"
#include "timer.h"
#include "windows/win_internal.h"

std::vector<std::string> g_events;

namespace {
std::function<void(Escenor&)> g_build;

void Builder(Escenor* escenor)
{
    if (g_build)
        g_build(*escenor);
}

std::string Num(float v)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}
}

FakeEffect::FakeEffect(const char* id) : m_id(id)
{
    SetName(id);
}

FakeEffect::~FakeEffect()
{
    g_events.push_back(m_id + ":delete");
}

int FakeEffect::Init()
{
    g_events.push_back(m_id + ":init");
    return 0;
}

int FakeEffect::Start()
{
    g_events.push_back(m_id + ":start");
    return 0;
}

int FakeEffect::Render(float t)
{
    m_renders.push_back(t);
    g_events.push_back(m_id + ":render " + Num(t) + " " + Num(m_delta));
    return 0;
}

void EscenorTest::SetUp()
{
    m_dir = m_folder.path();
    ASSERT_FALSE(m_dir.empty());
    // The show's music lives in the run folder's data.
    ASSERT_EQ(symlink(NIMB_RUN_DIR "/data", "data"), 0);

    PlatformScriptClocks(true, 1000000);
    PlatformSetCounter(0);
    TimerResetState();
    Timer(TimerCommand::Start);
    g_events.clear();
    g_sequenceTime = 0.0f;
}

void EscenorTest::TearDown()
{
    delete m_escenor;
    m_escenor = nullptr;
    SetShowBuilderForTesting(nullptr);
    g_build = nullptr;
    BASS_Free();
    PlatformRealClocks();
    TimerResetState();
}

void EscenorTest::Make(std::function<void(Escenor&)> build, bool init)
{
    g_build = build;
    SetShowBuilderForTesting(Builder);
    m_escenor = new Escenor("fichero_script.qvs");
    if (init)
        m_escenor->Init();
}

bool EscenorTest::Frame(double t)
{
    PlatformSetCounter((LONGLONG)(t * 1000000.0 + 0.5));
    return m_escenor->RenderFrame();
}

std::vector<std::string> EscenorTest::Take()
{
    std::vector<std::string> events;
    events.swap(g_events);
    return events;
}

std::string EscenorTest::ReadLog()
{
    return ScratchFolder::Read("debug.txt");
}
