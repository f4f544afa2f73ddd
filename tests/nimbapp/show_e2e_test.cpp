// The whole show as a user meets it: the real program played to its end
// off-screen, and under Xvfb with F11 pressed at chosen show times.
#include "bmp_file.h"
#include "scratch_folder.h"
#include "xvfb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

struct ShotCheck {
    double time;        // show seconds after the load
    const char* what;   // what the show has on screen then
    double x0, y0, x1, y1;
    bool (*pass)(int r, int g, int b);
    double atLeast, below;  // bounds of the share that passes
};

TEST(Show, ScreenshotsTakenWithF11ShowTheShow)
{
    if (!ProgramInstalled("Xvfb") || !ProgramInstalled("xdotool"))
        GTEST_SKIP() << "Xvfb or xdotool is not installed (scripts/install-deps installs them)";
    Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    ScratchFolder run;
    PrepareRunFolder();
    // Show times (seconds after the load) at which a user presses F11; each
    // press leaves one "<milliseconds>.bmp" in the run folder.
    const std::vector<double> times = {2.5, 3.8, 8.5, 13.0};
    const std::vector<ShotCheck> checks = {
        {2.5, "terrain scene: sky above", 0, 0, 1, 0.1, Sky, 0.8, 1.01},
        {2.5, "terrain scene: grass below", 0, 0.7, 0.3, 0.95, Grass, 0.6, 1.01},
        {3.8, "cubes over the terrain", 0.05, 0.35, 0.95, 0.8, Glass, 0.08, 1.01},
        {8.5, "no terrain scene: no sky", 0, 0, 1, 0.1, Sky, 0, 0.5},
        {8.5, "no terrain scene: no grass", 0, 0.7, 0.3, 0.95, Grass, 0, 0.5},
        {8.5, "dark middle background", 0, 0, 1, 0.1, Dark, 0.15, 1.01},
        {13.0, "pixel frame along the left edge", 0, 0.1, 0.03, 0.9, NotSky, 0.4, 1.01},
        {13.0, "blob grid in the middle", 0.2, 0.2, 0.8, 0.8, Dark, 0.02, 1.01},
    };
    std::string keys;
    double last = 0;
    for (double t : times) {
        keys += "sleep " + std::to_string(t - last) + "; timeout 10 xdotool windowfocus --sync \"$W\" key F11; ";
        last = t;
    }
    std::string cmd =
        "export DISPLAY=" + x.display() + "; unset SDL_VIDEODRIVER; export SDL_AUDIODRIVER=dummy; "
        "timeout -s KILL 400 " + quoted(NIMB_PROGRAM) + " >out.txt 2>err.txt & P=$!; "
        "W=$(timeout 120 xdotool search --sync --onlyvisible --name '^NimbGfx Application$' | head -n 1); "
        "[ -n \"$W\" ] && timeout 60 xdotool windowfocus --sync \"$W\"; " +
        WaitForLoad("loaded.txt") + keys + "wait $P; S=$?; [ -n \"$W\" ] || S=200; exit $S";
    int status = ShellStatus(cmd);
    ASSERT_EQ(status, 0) << (status == 200 ? "no window appeared; " : "") << "stderr: "
                         << ScratchFolder::Read("err.txt");

    std::vector<std::filesystem::path> shots;
    for (const auto& e : std::filesystem::directory_iterator("."))
        if (e.path().extension() == ".bmp")
            shots.push_back(e.path());
    ASSERT_EQ(shots.size(), times.size());
    // Named by the millisecond clock: name order is time order.
    std::sort(shots.begin(), shots.end(), [](const auto& a, const auto& b) {
        return std::atoll(a.stem().c_str()) < std::atoll(b.stem().c_str());
    });
    for (size_t i = 0; i < shots.size(); ++i) {
        SCOPED_TRACE("screenshot at about " + std::to_string(times[i]) + " s");
        BmpImage p;
        ASSERT_TRUE(ReadBmp(shots[i].string(), &p));
        EXPECT_GT(p.width, 400);
        EXPECT_GT(p.height, 300);
        EXPECT_GT(Colours(p), 64u) << "a flat picture";
        for (const ShotCheck& c : checks) {
            if (c.time != times[i])
                continue;
            const double share = Share(p, c.x0, c.y0, c.x1, c.y1, c.pass);
            EXPECT_GE(share, c.atLeast) << c.what;
            EXPECT_LT(share, c.below) << c.what;
        }
    }
}

} // namespace
