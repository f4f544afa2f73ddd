// Pictures of the show at chosen show times, for comparing looks by eye.
//
//     build/bench/bench_show_shots [run folder, default build/run] [output folder, default .] [times...]
//
// Plays the program's own loop off-screen at 800x600 on a scripted clock:
// the load, then one frame at each given show time (seconds, ascending;
// default 2.5 3 3.5 12 15), each saved as shot_<time>.bmp the way F11 saves
// a screenshot.
#include <windows.h>
#include <d3d9.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "application.h"
#include "config.h"
#include "escenor.h"
#include "renderer.h"
#include "timer.h"
#include "windows/win_internal.h"

namespace {

std::vector<double> g_times;
size_t g_next = 0;
std::string g_out;

bool FrameHook(void*)
{
    Application* app = g_pApp;
    if (!app->m_pRenderer) {
        RECT client = {0, 0, 0, 0};
        GetClientRect(app->m_hWnd, &client);
        PlatformSetCounter(0);
        app->m_pRenderer = new NimbGfx;
        app->m_pRenderer->Init(app->m_hWnd, client.right - client.left, client.bottom - client.top,
                               app->m_windowed);
    }
    if (g_next >= g_times.size())
        return false;
    const double t = g_times[g_next++];
    PlatformSetCounter((LONGLONG)(t * 1000000.0 + 0.5));
    bool more = app->m_pRenderer->RenderFrame();
    char name[64];
    std::snprintf(name, sizeof(name), "shot_%05.2f.bmp", t);
    app->m_pRenderer->SaveBackBuffer((g_out + "/" + name).c_str());
    std::printf("  %.2f s: %s/%s\n", t, g_out.c_str(), name);
    return more;
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("SDL_VIDEODRIVER"))
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (!std::getenv("SDL_AUDIODRIVER"))
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::string run = std::filesystem::absolute(argc > 1 ? argv[1] : "build/run").string();
    g_out = std::filesystem::absolute(argc > 2 ? argv[2] : ".").string();
    for (int i = 3; i < argc; ++i)
        g_times.push_back(std::atof(argv[i]));
    if (g_times.empty())
        g_times = {2.5, 3.0, 3.5, 12.0, 15.0};
    if (!std::filesystem::exists(run + "/config.xml") || !std::filesystem::exists(run + "/data")) {
        std::fprintf(stderr, "bench_show_shots: no run folder at %s\n", run.c_str());
        return 1;
    }
    char templ[] = "/tmp/bench_shots_XXXXXX";
    if (!mkdtemp(templ) || chdir(templ) != 0)
        return 1;
    std::filesystem::create_symlink(run + "/data", "data");
    std::filesystem::copy_file(run + "/config.xml", "config.xml");

    PlatformScriptClocks(true, 1000000);
    SetAppFrameHook(FrameHook, nullptr);
    Application* app = new Application;
    g_pConfig->m_resx = 800;
    g_pConfig->m_resy = 600;
    g_pConfig->m_windowed = true;
    app->Create(g_pConfig->m_resx, g_pConfig->m_resy);
    int status = app->Run();
    delete app;
    std::filesystem::current_path("/");
    std::filesystem::remove_all(templ);
    return status;
}
