// The launcher on a real display: this test program shows it under Xvfb
// in a child process, and xdotool clicks and types as a user would.
#include "vornlauncher.h"
#include "xvfb.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kOutVariable[] = "NIMB_LAUNCHER_OUT";

std::string ReadText(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The dialog the child shows; the test knows where its parts are.
const int kWidth = 300, kHeight = 200;

void ShowDialog(const char* out)
{
    std::vector<unsigned int> skin((size_t)kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            int dx = x - kWidth / 2, dy = y - kHeight / 2;
            // An ellipse of skin on the key colour.
            bool inside = dx * dx * (kHeight / 2) * (kHeight / 2) + dy * dy * (kWidth / 2) * (kWidth / 2) <=
                          (kWidth / 2) * (kWidth / 2) * (kHeight / 2) * (kHeight / 2);
            skin[(size_t)y * kWidth + x] = inside ? 0xFF2050A0u + (unsigned)(y / 4) : 0xFF00FF00u;
        }
    VORNLauncher launcher;
    launcher.SetSkin(skin.data(), kWidth, kHeight, 0xFF00FF00u);
    launcher.AddCheck(60, 50, 100, 20, "Sound", 0);
    launcher.AddCombo(170, 50, 90, 100, "Low|Mid|High&", "Detail");
    launcher.AddButton(80, 140, 60, 24, "Start");
    launcher.AddButton(160, 140, 60, 24, "Quit");
    std::map<std::string, std::string> choices = launcher.Run();
    std::ofstream file(out);
    for (const auto& kv : choices)
        file << kv.first << '=' << kv.second << '\n';
}

// Run by the test below in a child process, with a display.
TEST(DISABLED_LauncherChild, ShowsTheDialogAndWritesItsChoices)
{
    const char* out = std::getenv(kOutVariable);
    ASSERT_NE(out, nullptr);
    ShowDialog(out);
}

TEST(LauncherOnADisplay, TakesClicksKeysAndADragFromXdotool)
{
    if (!ProgramInstalled("Xvfb") || !ProgramInstalled("xdotool"))
        GTEST_SKIP() << "Xvfb or xdotool is not installed (scripts/install-deps installs them)";
    Xvfb x("800x600x24");
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    char folder[] = "/tmp/nimb_launcher_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string dir = folder;
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    // Positions inside the window: the check item, the list's box, the skin
    // and the Start button. Each step waits for what the one before it
    // shows: the opened list as a window of its own, the list gone, the
    // window at the end of the drag.
    std::string cmd =
        "cd '" + dir + "'; export DISPLAY=" + x.display() + "; unset SDL_VIDEODRIVER; " + kOutVariable +
        "=choices.txt timeout -s KILL 90 '" + self +
        "' --gtest_also_run_disabled_tests --gtest_filter='DISABLED_LauncherChild.*' >child.txt 2>&1 & P=$!; "
        "W=$(timeout 60 xdotool search --sync --onlyvisible --name '^VORNLauncher$' | head -n 1); "
        "[ -n \"$W\" ] || { kill $P; exit 200; }; "
        "C=$(xdotool getwindowpid \"$W\"); "
        "list() { [ $(xdotool search --onlyvisible --pid $C 2>/dev/null | wc -l) -ge 2 ]; }; "
        "await() { for i in $(seq 600); do eval \"$1\" && return 0; sleep 0.05; done; return 1; }; "
        "xdotool windowfocus --sync \"$W\"; "
        "xdotool getwindowgeometry \"$W\" | grep Position > before.txt; "
        "eval $(xdotool getwindowgeometry --shell \"$W\"); BX=$X; BY=$Y; "
        "xdotool mousemove --window \"$W\" 70 60 click 1; "
        "xdotool mousemove --window \"$W\" 200 58 click 1; "
        "await list || echo 'the list did not show' >> waits.txt; "
        "xdotool key Up key Return; "
        "await '! list' || echo 'the list did not close' >> waits.txt; "
        "xdotool mousemove --window \"$W\" 120 110 mousedown 1 mousemove_relative 20 10 mousemove_relative 20 10 "
        "mouseup 1; "
        "await 'eval $(xdotool getwindowgeometry --shell \"$W\"); [ $X,$Y = $((BX + 40)),$((BY + 20)) ]' || "
        "echo 'the window did not reach the end of the drag' >> waits.txt; "
        "xdotool getwindowgeometry \"$W\" | grep Position > after.txt; "
        "xdotool mousemove --window \"$W\" 110 152 click 1; "
        "wait $P";
    int status = ShellStatus(cmd);
    std::string child = ReadText(dir + "/child.txt");
    EXPECT_EQ(status, 0) << (status == 200 ? "no window appeared; " : "") << child;
    EXPECT_EQ(ReadText(dir + "/waits.txt"), "") << child;
    EXPECT_EQ(ReadText(dir + "/choices.txt"), "Detail=Mid\nQuit=false\nSound=true\nStart=true\n") << child;
    // The drag moved the window by (40, 20).
    int bx = 0, by = 0, ax = 0, ay = 0;
    EXPECT_EQ(std::sscanf(ReadText(dir + "/before.txt").c_str(), " Position: %d,%d", &bx, &by), 2);
    EXPECT_EQ(std::sscanf(ReadText(dir + "/after.txt").c_str(), " Position: %d,%d", &ax, &ay), 2);
    EXPECT_EQ(ax - bx, 40);
    EXPECT_EQ(ay - by, 20);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

} // namespace
