// The whole show as the program plays it, timed frame by frame.
//
//     build/bench/bench_show [run folder, default build/run] [output folder, default .]
//
// Runs the program's own loop (Application, NimbGfx, the show) off-screen at
// 800x600 unless SDL_VIDEODRIVER is set; llvmpipe keeps its default threads.
// The only difference from the program is where the renderer is made: on the
// loop's first frame instead of inside Application::Create, so that the load
// is timed too. Times count from the process's start (before main and any
// restart of the process). Reports the times to the loading bar's first
// frame on screen (the first swap) and to the end of that frame (which also
// holds the device's first draws of the recorded states), to its last mark
// and to the end of the first show frame, with each effect's Init; the
// frames in the show's first 5 seconds and the longest frame (also outside
// the blob grid); the shaders compiled and programs linked after the loading
// bar on every thread (the device's compiler thread too, counted where GL
// hands out its functions); frame times per second of the show and per
// scheduled effect, the shader programs linked inside frames, peak resident
// memory, the share of the frames spent in the effects, in DumpRenderStates
// and in the debug log, and the slowest frames. Writes
// show_frames.csv (one line per frame) and show_frames.svg (frame time over
// the show) into the output folder.
//
// With BENCH_SHOW_EFFECTS=1 the GL work is also finished before and after
// every effect's render, so that each effect's own cost (processor and
// rasteriser) is measured and listed; this serialises the frame, so the
// frame figures of such a run are not the program's.
#include <windows.h>
#include <d3d9.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "application.h"
#include "bench_memory.h"
#include "config.h"
#include "escenor.h"
#include "publicparam.h"
#include "renderer.h"
#include "d3d9/d3d9_testing.h"

#include <SDL.h>

#include <atomic>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point g_processStart;  // the process's start, before main
double g_beforeMainMs = 0;
double g_dumpMs = 0;  // inside DumpRenderStates, this frame
double g_logMs = 0;   // appending to the debug log, this frame
double g_showMs = 0;
int g_gridRenders = 0;  // renders of the blob grid, this frame  // in the sequencer's frame (the effects), this frame

struct Frame {
    double start;    // ms since the process started
    double ms;       // the whole RenderFrame: clear, effects, present
    float sequence;  // show seconds
    double dumpMs;
    double logMs;
    double showMs;   // the sequencer's frame: the effects; the rest is clear and present
    uint64_t links;  // shader programs linked inside it
    int grid;        // renders of the blob grid in it
    double residentMb;  // resident memory after it
};
std::vector<Frame> g_frames;

struct Span {
    std::string name;
    float start, end;
};
std::vector<Span> g_spans;

// Each effect's Init during the load, in order.
struct InitTime {
    std::string name;
    double ms;
};
std::vector<InitTime> g_inits;

// Per effect, with BENCH_SHOW_EFFECTS: the finished cost of every render.
bool g_perEffect = false;
void (*g_glFinish)() = nullptr;
struct EffectCost {
    std::vector<double> ms;  // each render, finished
    double submitMs = 0;     // in the render call itself, all renders
    uint64_t links = 0;      // shader programs linked
};
std::map<std::string, EffectCost> g_effectCost;

// The loading bar: the end of its first and of its last frame, ms since the start.
double g_barFirstMs = -1, g_barLastMs = -1;
double g_firstSwapMs = -1;  // the first frame on screen: the loading bar's
bool g_loaded = false;  // the loading bar has ended

// GL compiles and links of every thread, and those after the loading bar.
std::thread::id g_mainThread;
struct GLWork {
    std::atomic<uint64_t> compiles{0}, links{0}, lateCompiles{0}, lateLinks{0}, lateOtherThreads{0};
} g_glWork;
void (*g_realCompileShader)(unsigned) = nullptr;
void (*g_realLinkProgram)(unsigned) = nullptr;

void NoteGLWork(bool link)
{
    (link ? g_glWork.links : g_glWork.compiles)++;
    if (!g_loaded)
        return;
    (link ? g_glWork.lateLinks : g_glWork.lateCompiles)++;
    if (std::this_thread::get_id() != g_mainThread)
        g_glWork.lateOtherThreads++;
}
void CountedCompileShader(unsigned shader)
{
    NoteGLWork(false);
    g_realCompileShader(shader);
}
void CountedLinkProgram(unsigned program)
{
    NoteGLWork(true);
    g_realLinkProgram(program);
}

double Ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

uint64_t Links()
{
    uint64_t links = 0;
    return m_pd3dDevice && CountProgramLinks(m_pd3dDevice, &links) ? links : 0;
}

bool FrameHook(void*)
{
    Application* app = g_pApp;
    if (!app->m_pRenderer) {
        if (g_perEffect)
            g_glFinish = reinterpret_cast<void (*)()>(SDL_GL_GetProcAddress("glFinish"));
        // What Application::Create does when no hook is set: the load.
        RECT client = {0, 0, 0, 0};
        GetClientRect(app->m_hWnd, &client);
        app->m_pRenderer = new NimbGfx;
        app->m_pRenderer->Init(app->m_hWnd, client.right - client.left, client.bottom - client.top,
                               app->m_windowed);
        g_loaded = true;
        if (Escenor* e = app->m_pRenderer->m_pEscenor) {
            for (ScheduleItem* item : e->m_pendingItems)
                g_spans.push_back({item->m_pEffect->m_name ? item->m_pEffect->m_name : "?", item->m_start,
                                   item->m_end});
        }
    }
    g_dumpMs = g_logMs = g_showMs = 0;
    g_gridRenders = 0;
    uint64_t links = Links();
    Clock::time_point t0 = Clock::now();
    bool more = app->m_pRenderer->RenderFrame();
    Clock::time_point t1 = Clock::now();
    g_frames.push_back({Ms(g_processStart, t0), Ms(t0, t1), g_sequenceTime, g_dumpMs, g_logMs, g_showMs,
                        Links() - links, g_gridRenders, ResidentMb()});
    return more;
}

struct Stats {
    size_t n = 0;
    double median = 0, p99 = 0, max = 0;
};

Stats Of(std::vector<double> v)
{
    Stats s;
    s.n = v.size();
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.median = v[v.size() / 2];
    s.p99 = v[std::min(v.size() - 1, (v.size() * 99) / 100)];
    s.max = v.back();
    return s;
}

void PrintRow(const char* label, const Stats& s)
{
    std::printf("  %-28s %6zu frames  median %7.2f ms  p99 %7.2f ms  max %7.2f ms\n", label, s.n, s.median, s.p99,
                s.max);
}

void WriteSvg(const std::string& path, float showEnd)
{
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return;
    const double w = 1000, h = 400, top = 40;
    double maxMs = 20;
    for (const Frame& fr : g_frames)
        maxMs = std::max(maxMs, std::min(fr.ms, 100.0));
    auto x = [&](double s) { return 40 + (w - 60) * s / showEnd; };
    auto y = [&](double ms) { return h - 30 - (h - 30 - top) * std::min(ms, maxMs) / maxMs; };
    std::fprintf(f, "<svg xmlns='http://www.w3.org/2000/svg' width='%g' height='%g' font-family='sans-serif' "
                    "font-size='11'>\n<rect width='100%%' height='100%%' fill='white'/>\n", w, h);
    std::fprintf(f, "<text x='40' y='20'>frame time (ms) over show time (s); lines at 8 and 16.7 ms</text>\n");
    for (double ms : {8.0, 16.7})
        std::fprintf(f, "<line x1='40' x2='%g' y1='%.1f' y2='%.1f' stroke='%s' stroke-dasharray='4 3'/>"
                        "<text x='4' y='%.1f'>%g</text>\n", w - 20, y(ms), y(ms), ms < 10 ? "#888" : "#c33",
                     y(ms) + 4, ms);
    for (int s = 0; s <= (int)showEnd; ++s)
        std::fprintf(f, "<text x='%.1f' y='%g' text-anchor='middle'>%d</text>\n", x(s), h - 12, s);
    std::fprintf(f, "<polyline fill='none' stroke='#236' stroke-width='1' points='");
    for (const Frame& fr : g_frames)
        if (fr.sequence >= 0 && fr.sequence <= showEnd)
            std::fprintf(f, "%.1f,%.1f ", x(fr.sequence), y(fr.ms));
    std::fprintf(f, "'/>\n");
    for (const Frame& fr : g_frames)
        if (fr.links && fr.sequence >= 0 && fr.sequence <= showEnd)
            std::fprintf(f, "<circle cx='%.1f' cy='%.1f' r='3' fill='#c33'/>\n", x(fr.sequence), y(fr.ms));
    std::fprintf(f, "</svg>\n");
    std::fclose(f);
}

} // namespace

// Link-time wraps (see bench/CMakeLists.txt): time the render-state dump and
// the debug log without touching the program's code.
extern "C" {
void __real__Z16DumpRenderStatesv();
void __wrap__Z16DumpRenderStatesv()
{
    Clock::time_point t0 = Clock::now();
    __real__Z16DumpRenderStatesv();
    g_dumpMs += Ms(t0, Clock::now());
}

int __real__ZN6Effect6DoInitEv(Effect* effect);
int __wrap__ZN6Effect6DoInitEv(Effect* effect)
{
    const bool first = !effect->m_initialised;
    Clock::time_point t0 = Clock::now();
    int r = __real__ZN6Effect6DoInitEv(effect);
    if (first)
        g_inits.push_back({effect->m_name ? effect->m_name : "?", Ms(t0, Clock::now())});
    return r;
}

void* __real_SDL_GL_GetProcAddress(const char* name);
void* __wrap_SDL_GL_GetProcAddress(const char* name)
{
    void* f = __real_SDL_GL_GetProcAddress(name);
    if (f && std::strcmp(name, "glCompileShader") == 0) {
        g_realCompileShader = reinterpret_cast<void (*)(unsigned)>(f);
        return reinterpret_cast<void*>(&CountedCompileShader);
    }
    if (f && std::strcmp(name, "glLinkProgram") == 0) {
        g_realLinkProgram = reinterpret_cast<void (*)(unsigned)>(f);
        return reinterpret_cast<void*>(&CountedLinkProgram);
    }
    return f;
}

int __real_SDL_GL_SwapWindow(SDL_Window* window);
int __wrap_SDL_GL_SwapWindow(SDL_Window* window)
{
    const int r = __real_SDL_GL_SwapWindow(window);
    if (g_firstSwapMs < 0)
        g_firstSwapMs = Ms(g_processStart, Clock::now());
    return r;
}

int __real__ZN6Effect8DoRenderEf(Effect* effect, float t);
int __wrap__ZN6Effect8DoRenderEf(Effect* effect, float t)
{
    if (effect->m_name && std::strncmp(effect->m_name, "InitBarra", 9) == 0) {
        // The loading bar presents its own frames.
        const int r = __real__ZN6Effect8DoRenderEf(effect, t);
        const double at = Ms(g_processStart, Clock::now());
        if (g_barFirstMs < 0)
            g_barFirstMs = at;
        g_barLastMs = at;
        return r;
    }
    if (effect->m_name && std::strncmp(effect->m_name, "CBlob2DCompuesto", 16) == 0)
        ++g_gridRenders;
    if (!g_perEffect || !g_glFinish)
        return __real__ZN6Effect8DoRenderEf(effect, t);
    g_glFinish();
    const uint64_t links = Links();
    Clock::time_point t0 = Clock::now();
    int r = __real__ZN6Effect8DoRenderEf(effect, t);
    Clock::time_point t1 = Clock::now();
    g_glFinish();
    EffectCost& cost = g_effectCost[effect->m_name ? effect->m_name : "?"];
    cost.ms.push_back(Ms(t0, Clock::now()));
    cost.submitMs += Ms(t0, t1);
    cost.links += Links() - links;
    return r;
}

bool __real__ZN7Escenor11RenderFrameEv(Escenor* escenor);
bool __wrap__ZN7Escenor11RenderFrameEv(Escenor* escenor)
{
    Clock::time_point t0 = Clock::now();
    bool more = __real__ZN7Escenor11RenderFrameEv(escenor);
    g_showMs += Ms(t0, Clock::now());
    return more;
}

bool __real__Z9ms_appendPKcPKvm(const char* path, const void* data, size_t size);
bool __wrap__Z9ms_appendPKcPKvm(const char* path, const void* data, size_t size)
{
    Clock::time_point t0 = Clock::now();
    bool ok = __real__Z9ms_appendPKcPKvm(path, data, size);
    if (path && std::strcmp(path, "debug.txt") == 0)
        g_logMs += Ms(t0, Clock::now());
    return ok;
}
}

// Time since the process started (before the program's own start-up steps
// and any restart of the process), to the kernel's tick (10 ms).
std::chrono::nanoseconds SinceProcessStart()
{
    FILE* f = std::fopen("/proc/self/stat", "r");
    if (!f)
        return {};
    char text[1024] = {};
    const size_t n = std::fread(text, 1, sizeof(text) - 1, f);
    std::fclose(f);
    text[n] = 0;
    // Field 22 (start time, in ticks since boot) counts from the end of the
    // parenthesised command name.
    const char* p = std::strrchr(text, ')');
    unsigned long long start = 0;
    for (int field = 2; p && *p && field < 22; ++p)
        if (*p == ' ')
            ++field;
    if (!p || std::sscanf(p, "%llu", &start) != 1)
        return {};
    timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double since = now.tv_sec + now.tv_nsec / 1e9 - (double)start / (double)sysconf(_SC_CLK_TCK);
    return std::chrono::nanoseconds((long long)(std::max(0.0, since) * 1e9));
}

int main(int argc, char** argv)
{
    const auto beforeMain = SinceProcessStart();
    g_beforeMainMs = std::chrono::duration<double, std::milli>(beforeMain).count();
    g_processStart = Clock::now() - std::chrono::duration_cast<Clock::duration>(beforeMain);
    g_mainThread = std::this_thread::get_id();
    if (!std::getenv("SDL_VIDEODRIVER"))
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (!std::getenv("SDL_AUDIODRIVER"))
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::string run = std::filesystem::absolute(argc > 1 ? argv[1] : "build/run").string();
    std::string out = std::filesystem::absolute(argc > 2 ? argv[2] : ".").string();
    if (!std::filesystem::exists(run + "/config.xml") || !std::filesystem::exists(run + "/data")) {
        std::fprintf(stderr, "bench_show: no run folder at %s (build the run_data and run_config targets)\n",
                     run.c_str());
        return 1;
    }
    char templ[] = "/tmp/bench_show_XXXXXX";
    if (!mkdtemp(templ) || chdir(templ) != 0)
        return 1;
    std::filesystem::create_symlink(run + "/data", "data");
    std::filesystem::copy_file(run + "/config.xml", "config.xml");

    g_perEffect = std::getenv("BENCH_SHOW_EFFECTS") && std::atoi(std::getenv("BENCH_SHOW_EFFECTS")) != 0;
    SetAppFrameHook(FrameHook, nullptr);
    Application* app = new Application;
    g_pConfig->m_resx = 800;
    g_pConfig->m_resy = 600;
    g_pConfig->m_windowed = true;
    app->Create(g_pConfig->m_resx, g_pConfig->m_resy);
    int status = app->Run();
    delete app;
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::filesystem::current_path("/");
    std::filesystem::remove_all(templ);

    if (g_frames.empty()) {
        std::fprintf(stderr, "bench_show: the show drew no frame (exit status %d)\n", status);
        return 1;
    }
    float showEnd = 0;
    for (const Span& s : g_spans)
        showEnd = std::max(showEnd, std::max(s.start, s.end));
    std::vector<double> all, dumps, logs;
    uint64_t links = 0, linkFrames = 0;
    double dumpTotal = 0, logTotal = 0, frameTotal = 0, showTotal = 0;
    for (const Frame& f : g_frames) {
        all.push_back(f.ms);
        links += f.links;
        linkFrames += f.links != 0;
        dumpTotal += f.dumpMs;
        logTotal += f.logMs;
        showTotal += f.showMs;
        frameTotal += f.ms;
    }
    const Frame& first = g_frames.front();
    std::printf("bench_show: %zu frames, exit status %d\n", g_frames.size(), status);
    std::printf("  load (start to the end of the first show frame): %.0f ms\n", first.start + first.ms);
    std::printf("    of which before main (loading the libraries, restarting the process): %.0f ms\n",
                g_beforeMainMs);
    double initTotal = 0;
    for (const InitTime& i : g_inits)
        initTotal += i.ms;
    std::printf("    of which the effects' Init: %.0f ms:", initTotal);
    for (const InitTime& i : g_inits)
        if (i.ms >= 10)
            std::printf(" %s %.0f;", i.name.c_str(), i.ms);
    std::printf(" (others under 10 ms)\n");
    std::printf("  loading bar on screen %.0f ms (its first frame done %.0f ms), last loading mark %.0f ms, "
                "first show frame %.0f ms\n",
                g_firstSwapMs, g_barFirstMs, g_barLastMs, first.start + first.ms);
    {
        size_t early = 0;
        double longest = 0, longestOutside = 0;
        for (const Frame& f : g_frames) {
            early += f.sequence >= 0 && f.sequence < 5;
            longest = std::max(longest, f.ms);
            bool blobs = false;
            for (const Span& span : g_spans)
                blobs = blobs || (span.name.find("Blob") != std::string::npos && f.sequence >= span.start &&
                                  f.sequence <= span.end);
            if (!blobs)
                longestOutside = std::max(longestOutside, f.ms);
        }
        std::printf("  frames in the show's first 5 s: %zu; longest frame %.1f ms (outside the blob grid %.1f ms)\n",
                    early, longest, longestOutside);
    }
    std::printf("  GL shader compiles / program links: %llu / %llu in all; after the loading bar %llu / %llu "
                "(%llu of them off the main thread)\n",
                (unsigned long long)g_glWork.compiles, (unsigned long long)g_glWork.links,
                (unsigned long long)g_glWork.lateCompiles, (unsigned long long)g_glWork.lateLinks,
                (unsigned long long)g_glWork.lateOtherThreads);
    std::printf("  peak resident memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
    std::printf("  shader programs linked inside frames: %llu (in %llu frames)\n", (unsigned long long)links,
                (unsigned long long)linkFrames);
    std::printf("  DumpRenderStates: %.2f %% of frame time; debug log: %.2f %%\n", 100 * dumpTotal / frameTotal,
                100 * logTotal / frameTotal);
    std::printf("  the effects (the sequencer's frame): %.1f %% of frame time; clear and present: %.1f %%\n",
                100 * showTotal / frameTotal, 100 * (frameTotal - showTotal) / frameTotal);
    PrintRow("whole show", Of(all));
    std::vector<const Frame*> slowest;
    for (const Frame& f : g_frames)
        slowest.push_back(&f);
    std::sort(slowest.begin(), slowest.end(), [](const Frame* a, const Frame* b) { return a->ms > b->ms; });
    std::printf("  slowest frames (show s: frame ms, in the effects ms):");
    for (size_t i = 0; i < slowest.size() && i < 8; ++i)
        std::printf(" %.2f: %.0f, %.0f;", slowest[i]->sequence, slowest[i]->ms, slowest[i]->showMs);
    std::printf("\n");
    std::printf(" per second of the show:\n");
    for (int s = 0; s < (int)std::ceil(showEnd) + 1; ++s) {
        std::vector<double> v;
        for (const Frame& f : g_frames)
            if (f.sequence >= s && f.sequence < s + 1)
                v.push_back(f.ms);
        if (v.empty())
            continue;
        char label[32];
        std::snprintf(label, sizeof(label), "%2d s", s);
        PrintRow(label, Of(v));
    }
    std::printf(" frames by how often the blob grid drew in them:\n");
    for (int times = 1; times <= 4; ++times) {
        std::vector<double> v;
        for (const Frame& f : g_frames)
            if (f.grid == times)
                v.push_back(f.ms);
        if (v.empty())
            continue;
        char label[32];
        std::snprintf(label, sizeof(label), "grid drawn %d time%s", times, times > 1 ? "s" : "");
        PrintRow(label, Of(v));
    }
    std::printf(" per scheduled effect:\n");
    for (const Span& span : g_spans) {
        std::vector<double> v;
        for (const Frame& f : g_frames)
            if (f.sequence >= span.start && (span.end == 0 || f.sequence <= span.end))
                v.push_back(f.ms);
        char label[64];
        std::snprintf(label, sizeof(label), "%s [%g, %g]", span.name.c_str(), span.start, span.end);
        PrintRow(label, Of(v));
    }

    if (g_perEffect) {
        std::printf(" per effect, each render finished (BENCH_SHOW_EFFECTS=1: the frames above were serialised):\n");
        for (auto& e : g_effectCost) {
            Stats st = Of(e.second.ms);
            double sum = 0;
            for (double ms : e.second.ms)
                sum += ms;
            std::printf("  %-22s %5zu renders  mean %6.2f ms (%6.2f ms in the call)  median %6.2f  p99 %6.2f  "
                        "max %6.2f ms  %llu programs linked\n",
                        e.first.c_str(), st.n, sum / st.n, e.second.submitMs / st.n, st.median, st.p99, st.max,
                        (unsigned long long)e.second.links);
        }
    }

    std::string csv = out + "/show_frames.csv";
    if (FILE* f = std::fopen(csv.c_str(), "w")) {
        std::fprintf(f, "frame,start_ms,sequence_s,frame_ms,effects_ms,dump_ms,log_ms,programs_linked,grid_renders,resident_mb\n");
        for (size_t i = 0; i < g_frames.size(); ++i) {
            const Frame& fr = g_frames[i];
            std::fprintf(f, "%zu,%.3f,%.4f,%.3f,%.3f,%.3f,%.3f,%llu,%d,%.1f\n", i, fr.start, fr.sequence, fr.ms,
                         fr.showMs, fr.dumpMs, fr.logMs, (unsigned long long)fr.links, fr.grid, fr.residentMb);
        }
        std::fclose(f);
    }
    WriteSvg(out + "/show_frames.svg", showEnd > 0 ? showEnd : 18);
    std::printf("  wrote %s and %s/show_frames.svg\n", csv.c_str(), out.c_str());
    return status;
}
