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

std::string ReadWholeFile(const std::string& path)
{
    std::string s;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return s;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        s.append(buffer, got);
    std::fclose(f);
    return s;
}

bool ScratchFolder::Enter(const char* prefix)
{
    std::string pattern = std::string("/tmp/") + prefix + "_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    char cwd[4096];
    if (!mkdtemp(name.data()) || !getcwd(cwd, sizeof cwd))
        return false;
    m_dir = name.data();
    m_oldCwd = cwd;
    return chdir(m_dir.c_str()) == 0;
}

bool ScratchFolder::Leave()
{
    if (m_dir.empty())
        return true;
    bool ok = chdir(m_oldCwd.c_str()) == 0;
    ok = std::system(("rm -rf '" + m_dir + "'").c_str()) == 0 && ok;
    m_dir.clear();
    return ok;
}

void EscenorTest::SetUp()
{
    ASSERT_TRUE(m_folder.Enter("escenor_test"));
    m_dir = m_folder.m_dir;
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
    ASSERT_TRUE(m_folder.Leave());
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
    return ReadWholeFile("debug.txt");
}
