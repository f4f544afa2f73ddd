// Cost of loading the show's terrain on the real device: the Terrain the
// client scene makes ("TerrainHeight.png", extent 1024, height scale 64,
// bump and detail as the settings say) at each given resolution, each in a
// process of its own: the load's wall time, its processor time on the
// loading thread and on every thread, the resident memory before it and the
// peak after it, and the next frame that draws it.
//
//     build/bench/bench_terrain [run folder, default build/run] [resolutions..., default 128 1024]
//
// Runs headless (SDL's offscreen driver) unless SDL_VIDEODRIVER is set.
#include <windows.h>
#include <d3d9.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_memory.h"
#include "camera.h"
#include "config.h"
#include "renderer.h"
#include "show_gfx.h"
#include "terrain.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double CpuMs(clockid_t clock)
{
    timespec t;
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int Measure(const std::string& run, int resolution)
{
    NimbGfx* gfx = OpenShowGfx("terrain", run);
    if (!gfx)
        return 1;
    const double before = ResidentMb();
    const Clock::time_point t0 = Clock::now();
    const double cpu0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID), thread0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
    Terrain* terrain = new Terrain("TerrainHeight.png", "TerrainBase.dds", "TerrainDetail.dds", resolution, 1024,
                                   64, g_pConfig->m_useDetailTextures, g_pConfig->m_useBumpMap);
    const double cpu = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpu0, thread = CpuMs(CLOCK_THREAD_CPUTIME_ID) - thread0;
    const double ms = Ms(t0, Clock::now());
    const double peak = PeakMb();
    const double after = ResidentMb();

    Camera camera;
    camera.SetPosition(0, 120, -500);
    camera.SetLookAt(0, 0, 0);
    const Clock::time_point f0 = Clock::now();
    m_pd3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    m_pd3dDevice->BeginScene();
    camera.Apply();
    terrain->Render(&camera, 0.0f);
    m_pd3dDevice->EndScene();
    m_pd3dDevice->Present(nullptr, nullptr, nullptr, nullptr);
    const double frameMs = Ms(f0, Clock::now());

    std::printf("terrain %4d: load %8.1f ms (processor: %8.1f ms this thread, %8.1f ms all), resident %6.1f MB before, %6.1f MB after, "
                "peak %6.1f MB; first frame %7.1f ms\n",
                resolution, ms, thread, cpu, before, after, peak, frameMs);
    std::fflush(stdout);
    delete terrain;
    CloseShowGfx(gfx);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string run = std::filesystem::absolute(argc > 1 ? argv[1] : "build/run").string();
    if (!std::filesystem::exists(run + "/data/textures/TerrainHeight.png")) {
        std::fprintf(stderr, "bench_terrain: no show data in %s\n", run.c_str());
        return 1;
    }
    std::vector<int> resolutions;
    for (int i = 2; i < argc; ++i)
        resolutions.push_back(std::atoi(argv[i]));
    if (resolutions.empty())
        resolutions = {128, 1024};
    int status = 0;
    for (int resolution : resolutions) {
        // Each load in a fresh process, so that its peak is its own.
        const pid_t pid = fork();
        if (pid == 0)
            _exit(Measure(run, resolution));
        int child = 0;
        if (pid < 0 || waitpid(pid, &child, 0) != pid || !WIFEXITED(child) || WEXITSTATUS(child) != 0)
            status = 1;
    }
    return status;
}
