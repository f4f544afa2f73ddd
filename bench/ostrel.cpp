// Cost of the multiplayer-client scene on the real device: COstrel::Init
// (terrain, tree layout with its impostors, three players), then every frame
// of its entry from 0 to 5 s as the show keys it, stepped at 60 frames a
// second: median, 99th percentile and worst frame, and the peak memory;
// per frame, the processor time of the main thread and of all threads
// (llvmpipe's rasterisers included, which the shared cores' load does not
// inflate as it does the wall time), the draws, the trees drawn as meshes and
// as impostors, the impostors rendered again and the programs compiled, with
// the five slowest frames in detail.
//
//     build/bench/bench_ostrel [run folder, default build/run]
//
// Runs headless (SDL's offscreen driver) unless SDL_VIDEODRIVER is set.
#include <windows.h>
#include <d3d9.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "d3d9/d3d9_device.h"

#include "config.h"
#include "crowd.h"
#include "escenor.h"
#include "ostrel.h"
#include "renderer.h"
#include "show_gfx.h"

namespace
{

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

struct FrameCounts
{
    double ms = 0, threadMs = 0, processMs = 0;
    uint64_t draws = 0, uberDraws = 0, compiles = 0;
    int nearTrees = 0, impostors = 0, refreshes = 0;
};

// Median and largest of one count over the frames.
template <typename T>
void PrintCount(const char* name, const std::vector<FrameCounts>& frames, T FrameCounts::*field)
{
    std::vector<double> v;
    for (const FrameCounts& f : frames)
        v.push_back((double)(f.*field));
    std::sort(v.begin(), v.end());
    std::printf("%-30s%8.1f median, %6.1f most\n", name, v[v.size() / 2], v.back());
}

double CpuMs(clockid_t clock)
{
    timespec t;
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    std::string run = std::filesystem::absolute(argc > 1 ? argv[1] : "build/run").string();
    if (!std::filesystem::exists(run + "/data/textures/TerrainHeight.png"))
    {
        std::fprintf(stderr, "bench_ostrel: no show data in %s\n", run.c_str());
        return 1;
    }
    NimbGfx* gfx = OpenShowGfx("ostrel", run);
    if (!gfx)
        return 1;

    g_sequenceTime = 0.0f;
    Escenor* show = new Escenor("fichero_script.qvs");
    COstrel* ostrel = nullptr;
    for (ScheduleItem* item : show->m_pendingItems)
        if ((ostrel = dynamic_cast<COstrel*>(item->m_pEffect)))
            break;
    if (!ostrel)
    {
        std::fprintf(stderr, "bench_ostrel: the show has no client scene\n");
        return 1;
    }
    Clock::time_point t0 = Clock::now();
    ostrel->DoInit();
    const double init = Ms(t0, Clock::now());
    const size_t trees = ostrel->m_pArboles ? ostrel->m_pArboles->m_instances.size() : 0;

    const d3d9gl::Device* device = static_cast<d3d9gl::Device*>(m_pd3dDevice);
    std::vector<FrameCounts> counts;
    std::vector<double> frames;
    std::vector<float> angles;
    for (int i = 1; i <= 300; ++i)
    {
        const float t = i / 60.0f;
        g_sequenceTime = t;
        angles.clear();
        if (ostrel->m_pArboles)
            for (CrowdMesh* tree : ostrel->m_pArboles->m_instances)
                angles.push_back(tree->m_impostorAngle);
        const d3d9gl::GLCounters before = device->Counters();
        const double thread0 = CpuMs(CLOCK_THREAD_CPUTIME_ID), process0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
        Clock::time_point a = Clock::now();
        m_pd3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00BFFF, 1.0f, 0);
        m_pd3dDevice->BeginScene();
        ostrel->DoRender(t / 5.0f);
        m_pd3dDevice->EndScene();
        m_pd3dDevice->Present(nullptr, nullptr, nullptr, nullptr);
        frames.push_back(Ms(a, Clock::now()));
        const d3d9gl::GLCounters after = device->Counters();
        FrameCounts c;
        c.ms = frames.back();
        c.threadMs = CpuMs(CLOCK_THREAD_CPUTIME_ID) - thread0;
        c.processMs = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - process0;
        c.draws = after.draws - before.draws;
        c.uberDraws = after.uberDraws - before.uberDraws;
        c.compiles = after.shaderCompiles - before.shaderCompiles;
        size_t k = 0;
        if (ostrel->m_pArboles)
            for (CrowdMesh* tree : ostrel->m_pArboles->m_instances)
            {
                if (tree->m_visible)
                    (tree->m_viewDepth < 20.0f || !tree->m_useImpostor ? c.nearTrees : c.impostors)++;
                c.refreshes += tree->m_impostorAngle != angles[k++];
            }
        counts.push_back(c);
    }
    std::vector<double> sorted = frames;
    std::sort(sorted.begin(), sorted.end());
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("trees planted:                %8zu\n", trees);
    std::printf("COstrel::Init:                %8.1f ms\n", init);
    std::printf("frame 0-5 s, median:          %8.2f ms\n", sorted[sorted.size() / 2]);
    std::printf("frame 0-5 s, 99th percentile: %8.2f ms\n", sorted[sorted.size() * 99 / 100]);
    std::printf("frame 0-5 s, worst:           %8.2f ms (first frame %.2f ms)\n", sorted.back(), frames.front());
    std::printf("peak resident memory:         %8.1f MB\n", usage.ru_maxrss / 1024.0);
    int over = 0, busyMain = 0;
    for (const FrameCounts& c : counts)
    {
        over += c.ms > 16.7;
        busyMain += c.threadMs > 8.0;
    }
    std::printf("frames over 16.7 ms:          %8d of %zu, %d with over 8 ms of main thread's CPU\n", over,
                counts.size(), busyMain);
    PrintCount("frame, main thread's CPU ms:", counts, &FrameCounts::threadMs);
    PrintCount("frame, all threads' CPU ms:", counts, &FrameCounts::processMs);
    PrintCount("draws a frame:", counts, &FrameCounts::draws);
    PrintCount("draws with the keyed program:", counts, &FrameCounts::uberDraws);
    PrintCount("trees drawn as meshes:", counts, &FrameCounts::nearTrees);
    PrintCount("trees drawn as impostors:", counts, &FrameCounts::impostors);
    PrintCount("impostors rendered again:", counts, &FrameCounts::refreshes);
    PrintCount("programs compiled:", counts, &FrameCounts::compiles);
    std::vector<size_t> slowest(counts.size());
    for (size_t i = 0; i < slowest.size(); ++i)
        slowest[i] = i;
    std::sort(slowest.begin(), slowest.end(), [&](size_t a, size_t b) { return counts[a].ms > counts[b].ms; });
    for (size_t i = 0; i < 5 && i < slowest.size(); ++i)
    {
        const FrameCounts& c = counts[slowest[i]];
        std::printf("slow frame %3zu: %7.2f ms, %4llu draws, %3d meshes, %3d impostors, %3d rendered again, "
                    "%2llu programs, %llu keyed draws\n",
                    slowest[i] + 1, c.ms, (unsigned long long)c.draws, c.nearTrees, c.impostors, c.refreshes,
                    (unsigned long long)c.compiles, (unsigned long long)c.uberDraws);
    }

    delete show;
    CloseShowGfx(gfx);
    return 0;
}
