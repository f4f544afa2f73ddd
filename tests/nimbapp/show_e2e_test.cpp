// The whole show as a user meets it: the real program played to its end
// off-screen, and under Xvfb with F11 pressed all through the show, each
// screenshot judged by the show time of the frame it holds.
#include "bmp_file.h"
#include "scratch_folder.h"
#include "xvfb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string quoted(const std::string& s)
{
    return "'" + s + "'";
}

// A run folder in the working folder: the settings and the show's data.
void PrepareRunFolder()
{
    std::filesystem::copy_file(std::string(NIMB_SOURCE_DIR) + "/run/config.xml", "config.xml");
    std::error_code ec;
    std::filesystem::create_directory_symlink(std::string(NIMB_RUN_DIR) + "/data", "data", ec);
}

// Shell lines that wait (at most 300 s, and no longer than the program $P
// runs) until the load log holds one "hecho" per schedule entry, then write
// the wall-clock time to `file`.
std::string WaitForLoad(const std::string& file)
{
    return "for i in $(seq 3000); do "
           "[ \"$(grep -o hecho debug.txt 2>/dev/null | wc -l)\" -ge 30 ] && break; "
           "kill -0 $P 2>/dev/null || break; sleep 0.1; done; "
           "date +%s.%N >" + file + "; ";
}

double ReadSeconds(const char* file)
{
    return std::atof(ScratchFolder::Read(file).c_str());
}

// The names the load log gives, in the order the show's entries load.
std::vector<std::string> LoadedNames(const std::string& log)
{
    std::vector<std::string> names;
    const std::string open = "Inicializando efecto: \"";
    for (size_t at = log.find(open); at != std::string::npos; at = log.find(open, at)) {
        at += open.size();
        size_t close = log.find('"', at);
        if (close == std::string::npos)
            break;
        names.push_back(log.substr(at, close - at));
    }
    return names;
}

TEST(Show, PlaysToItsEndOffScreenAndLogsItsLoad)
{
    ScratchFolder run;
    PrepareRunFolder();
    std::string cmd = "export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy; "
                      "timeout -s KILL 400 " + quoted(NIMB_PROGRAM) + " >out.txt 2>err.txt & P=$!; " +
                      WaitForLoad("loaded.txt") + "wait $P; S=$?; date +%s.%N >ended.txt; exit $S";
    EXPECT_EQ(ShellStatus(cmd), 0) << "stderr: " << ScratchFolder::Read("err.txt");
    // Every file of the show loads: the error hooks say nothing.
    const std::string err = ScratchFolder::Read("err.txt");
    EXPECT_EQ(err.find("FAILED"), std::string::npos) << err;
    EXPECT_EQ(err.find("no encontrado"), std::string::npos) << err;
    EXPECT_EQ(ScratchFolder::Read("out.txt"), "");

    const std::vector<std::string> expected = {
        "Ostrel #2",        "CStaticGfx2D #3",  "CStaticGfx2D #4",     "CLetrasCutres #21", "CStaticGfx2D #5",
        "CStaticGfx2D #6",  "CLetrasCutres #22", "CObjetoEstela #7",   "CubosInercia #8",   "CStaticGfx2D #9",
        "CStaticGfx2D #10", "CStaticGfx2D #11", "CPulpo #12",          "CStaticGfx2D #13",  "CStaticGfx2D #16",
        "CStaticGfx2D #14", "CStaticGfx2D #16", "CStaticGfx2D #15",    "CStaticGfx2D #16",  "CStaticGfx2D #17",
        "CStaticGfx2D #16", "CStaticGfx2D #18", "CStaticGfx2D #16",    "CStaticGfx2D #19",  "CStaticGfx2D #16",
        "CStaticGfx2D #16", "CBlob2DCompuesto #20", "CStaticGfx2D #16", "CStaticGfx2D #16", "CStaticGfx2D #16"};
    EXPECT_EQ(LoadedNames(ScratchFolder::Read("debug.txt")), expected);

    // The show runs 18 s of sequence time from the end of the load; the exit
    // follows the frame after that (a slow sanitized build adds little here:
    // the sequence clock is the wall clock).
    double played = ReadSeconds("ended.txt") - ReadSeconds("loaded.txt");
    EXPECT_GE(played, 17.5);
    EXPECT_LE(played, 40.0);
}

// Distinct colours among the picture's pixels, counted up to `cap`.
size_t Colours(const BmpImage& p, size_t cap = 4096)
{
    std::vector<uint32_t> seen;
    for (uint32_t c : p.pixels) {
        c &= 0xFFFFFF;
        bool found = false;
        for (uint32_t s : seen)
            if (s == c) {
                found = true;
                break;
            }
        if (!found) {
            seen.push_back(c);
            if (seen.size() >= cap)
                break;
        }
    }
    return seen.size();
}

// Share of the pixels in a rectangle, given in fractions of the picture,
// whose colour passes the test.
double Share(const BmpImage& p, double x0, double y0, double x1, double y1, bool (*pass)(int r, int g, int b))
{
    const int X0 = (int)(x0 * p.width), X1 = (int)(x1 * p.width), Y0 = (int)(y0 * p.height),
              Y1 = (int)(y1 * p.height);
    size_t passed = 0, all = 0;
    for (int y = Y0; y < Y1; ++y)
        for (int x = X0; x < X1; ++x) {
            const uint32_t c = p.At(x, y);
            passed += pass((c >> 16) & 255, (c >> 8) & 255, c & 255);
            ++all;
        }
    return all ? (double)passed / all : 0;
}

// The terrain scene's sky, and the clear colour once the scene is gone.
bool Sky(int r, int, int b)
{
    return b > 150 && b > r + 80;
}
bool NotSky(int r, int g, int b)
{
    return !Sky(r, g, b);
}
// Its grass: dark, no more blue than green.
bool Grass(int r, int g, int b)
{
    return g >= b && r < 150 && g < 150;
}
// The cubes' glass panels: light blue to white.
bool Glass(int r, int g, int b)
{
    return b > 130 && g > 100 && r < 200 && b > r;
}
bool Dark(int r, int g, int b)
{
    return r < 90 && g < 90 && b < 90;
}
// Darker than any colour of the background pictures.
bool Dim(int r, int g, int b)
{
    return r < 130 && g < 130 && b < 130;
}

// What the show has on screen over a span of show time: within [from, to],
// the share of the rectangle's pixels (fractions of the picture) that pass
// lies in [atLeast, below).
struct ShotCheck {
    double from, to;
    const char* what;
    double x0, y0, x1, y1;
    bool (*pass)(int r, int g, int b);
    double atLeast, below;
};

// Show times at which schedule entries start or end: what is on screen
// changes there, so shots closer than kSettle to one are not judged.
const double kSceneChanges[] = {0, 1, 2, 3, 4, 5, 5.2, 6, 6.4, 6.6, 6.8, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18};
const double kSettle = 0.3;

bool NearSceneChange(double t)
{
    for (double c : kSceneChanges)
        if (std::fabs(t - c) < kSettle)
            return true;
    return false;
}

// One line of the program's event trace: seconds, event, detail.
struct TraceEvent {
    double seconds;
    std::string event, detail;
};

std::vector<TraceEvent> ReadTrace(const std::string& file)
{
    std::vector<TraceEvent> events;
    std::istringstream in(ScratchFolder::Read(file));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        TraceEvent e;
        if (fields >> e.seconds >> e.event) {
            fields >> e.detail;
            events.push_back(e);
        }
    }
    return events;
}

// A screenshot and the show time of the frame it holds.
struct Shot {
    std::string file;
    double showTime;
};

// The frame a save holds is the last one begun before it; its show time is
// its start less the music's start (the sequence clock starts with the music).
std::vector<Shot> ShotsOfTrace(const std::vector<TraceEvent>& events, std::string* problem)
{
    std::vector<Shot> shots;
    double music = -1, frame = -1;
    for (const TraceEvent& e : events) {
        if (e.event == "music")
            music = e.seconds;
        else if (e.event == "scene")
            frame = e.seconds;
        else if (e.event == "save") {
            if (music < 0 || frame < music) {
                *problem = "a screenshot before the show's first frame: " + e.detail;
                return {};
            }
            shots.push_back({e.detail, frame - music});
        }
    }
    return shots;
}

// The trail crosses the top of the picture from 2 s to 2.5 s; the screen
// pictures over the blob grid veil it, so it is told by pixels darker than
// the background's, not by black ones. Rows of one name form one check.
const std::vector<ShotCheck> kShowChecks = {
    {0, 2, "terrain scene: sky above", 0, 0, 1, 0.1, Sky, 0.8, 1.01},
    {2.5, 4, "terrain scene: sky above", 0, 0, 1, 0.1, Sky, 0.8, 1.01},
    {0, 4, "terrain scene: grass below", 0, 0.7, 0.3, 0.95, Grass, 0.6, 1.01},
    {3, 5, "cubes over the terrain", 0.05, 0.35, 0.95, 0.8, Glass, 0.08, 1.01},
    {5, 10, "no terrain scene: no sky", 0, 0, 1, 0.1, Sky, 0, 0.5},
    {5, 10, "no terrain scene: no grass", 0, 0.7, 0.3, 0.95, Grass, 0, 0.5},
    {7, 9, "dark middle background", 0, 0, 1, 0.1, Dark, 0.15, 1.01},
    {9, 15, "pixel frame along the left edge", 0, 0.1, 0.03, 0.9, NotSky, 0.4, 1.01},
    {10, 11, "no blob grid yet", 0.2, 0.2, 0.8, 0.8, Dim, 0, 0.02},
    {11, 17, "blob grid in the middle", 0.2, 0.2, 0.8, 0.8, Dim, 0.05, 1.01},
};

// Plays the show in the working folder on the display with F11 pressed
// every 0.1 s from the end of the load until the program ends; each press
// leaves one "<milliseconds>.bmp", and the event trace tells which frame
// each one holds. Judges every shot away from a change of scene and counts,
// by name, the checks it was judged by.
void PlayAndJudgeShots(const std::string& display, std::map<std::string, int>* judged)
{
    std::string presses;
    for (int i = 0; i < 400; ++i)
        presses += " F11";
    std::string cmd =
        "export DISPLAY=" + display + "; unset SDL_VIDEODRIVER; export SDL_AUDIODRIVER=dummy; "
        "NIMB_EVENT_TRACE=trace.txt timeout -s KILL 400 " + quoted(NIMB_PROGRAM) + " >out.txt 2>err.txt & P=$!; "
        "W=$(timeout 120 xdotool search --sync --onlyvisible --name '^NimbGfx Application$' | head -n 1); "
        "[ -n \"$W\" ] && timeout 60 xdotool windowfocus --sync \"$W\"; " +
        WaitForLoad("loaded.txt") +
        "K=; [ -n \"$W\" ] && { xdotool key --delay 100" + presses + " 2>/dev/null & K=$!; }; "
        "wait $P; S=$?; [ -n \"$K\" ] && kill $K 2>/dev/null; [ -n \"$W\" ] || S=200; exit $S";
    int status = ShellStatus(cmd);
    ASSERT_EQ(status, 0) << (status == 200 ? "no window appeared; " : "") << "stderr: "
                         << ScratchFolder::Read("err.txt");

    std::string problem;
    const std::vector<Shot> shots = ShotsOfTrace(ReadTrace("trace.txt"), &problem);
    ASSERT_TRUE(problem.empty()) << problem;
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator("."))
        files += e.path().extension() == ".bmp";
    ASSERT_EQ(files, shots.size()) << "one file per screenshot";
    ASSERT_FALSE(shots.empty());

    long previousClock = -1;
    for (const Shot& shot : shots) {
        SCOPED_TRACE(shot.file + " at " + std::to_string(shot.showTime) + " s of the show");
        // Named by the millisecond clock: later shots, larger names.
        const long clock = std::atol(shot.file.c_str());
        EXPECT_EQ(shot.file, std::to_string(clock) + ".bmp");
        EXPECT_GE(clock, previousClock);
        previousClock = clock;
        BmpImage p;
        ASSERT_TRUE(ReadBmp(shot.file, &p));
        EXPECT_GT(p.width, 400);
        EXPECT_GT(p.height, 300);
        const double t = shot.showTime;
        if (NearSceneChange(t))
            continue;
        if (t < 18) {
            EXPECT_GT(Colours(p, 65), 64u) << "a flat picture";
        }
        for (const ShotCheck& c : kShowChecks) {
            if (t < c.from || t > c.to)
                continue;
            ++(*judged)[c.what];
            const double share = Share(p, c.x0, c.y0, c.x1, c.y1, c.pass);
            EXPECT_GE(share, c.atLeast) << c.what;
            EXPECT_LT(share, c.below) << c.what;
        }
    }
}

TEST(Show, ScreenshotsTakenWithF11ShowTheShow)
{
    if (!ProgramInstalled("Xvfb") || !ProgramInstalled("xdotool"))
        GTEST_SKIP() << "Xvfb or xdotool is not installed (scripts/install-deps installs them)";
    Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    // A loaded machine may draw no frame inside a short span of the show:
    // the show is played again, at most five times in all, until every
    // check has judged a shot.
    std::map<std::string, int> judged;
    auto allJudged = [&] {
        for (const ShotCheck& c : kShowChecks)
            if (judged[c.what] == 0)
                return false;
        return true;
    };
    for (int play = 1; play <= 5 && !allJudged(); ++play) {
        SCOPED_TRACE("play " + std::to_string(play));
        ScratchFolder run;
        PrepareRunFolder();
        ASSERT_NO_FATAL_FAILURE(PlayAndJudgeShots(x.display(), &judged));
    }
    for (const ShotCheck& c : kShowChecks)
        EXPECT_GT(judged[c.what], 0) << "no screenshot away from a change of scene for: " << c.what;
}

} // namespace
