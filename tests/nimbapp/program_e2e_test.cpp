// The real program as a user runs it: under Xvfb in a temporary run folder,
// closed with Esc sent by xdotool; and the ways it refuses to start.
#include "scratch_folder.h"
#include "xvfb.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string quoted(const std::string& s)
{
    return "'" + s + "'";
}

TEST(Program, EscapeUnderXvfbEndsItWithStatusZero)
{
    if (!ProgramInstalled("Xvfb") || !ProgramInstalled("xdotool"))
        GTEST_SKIP() << "Xvfb or xdotool is not installed (scripts/install-deps installs them)";
    Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    ScratchFolder run;
    std::filesystem::copy_file(std::string(NIMB_SOURCE_DIR) + "/run/config.xml", "config.xml");
    std::error_code ec;
    std::filesystem::create_directory_symlink(std::string(NIMB_RUN_DIR) + "/data", "data", ec);
    std::string cmd =
        "export DISPLAY=" + x.display() + "; unset SDL_VIDEODRIVER; export SDL_AUDIODRIVER=dummy; "
        "timeout -s KILL 180 " + quoted(NIMB_PROGRAM) + " >out.txt 2>err.txt & P=$!; "
        "W=$(timeout 120 xdotool search --sync --onlyvisible --name '^NimbGfx Application$' | head -n 1); "
        "[ -n \"$W\" ] && timeout 60 xdotool windowfocus --sync \"$W\" key Escape; "
        "wait $P; S=$?; [ -n \"$W\" ] || S=200; exit $S";
    int status = ShellStatus(cmd);
    EXPECT_EQ(status, 0) << (status == 200 ? "no window appeared; " : "") << "stderr: "
                         << ScratchFolder::Read("err.txt");
}

TEST(Program, WithoutConfigOpensNoWindowAndFails)
{
    ScratchFolder run;
    std::string cmd = "export SDL_VIDEODRIVER=offscreen; timeout -s KILL 60 " + quoted(NIMB_PROGRAM) +
                      " >out.txt 2>err.txt";
    int status = ShellStatus(cmd);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, 137) << "it did not end by itself";
    const std::string err = ScratchFolder::Read("err.txt");
    const size_t at = err.find("Could not load test file 'config.xml'.");
    EXPECT_NE(at, std::string::npos) << err;
    EXPECT_EQ(err.find("Could not load test file", at + 1), std::string::npos) << "said twice: " << err;
    EXPECT_EQ(ScratchFolder::Read("out.txt"), "");
}

TEST(Program, WindowThatCannotBeCreatedEndsWithAnError)
{
    ScratchFolder run;
    std::filesystem::copy_file(std::string(NIMB_SOURCE_DIR) + "/run/config.xml", "config.xml");
    std::string cmd = "export SDL_VIDEODRIVER=no_such_driver; timeout -s KILL 60 " + quoted(NIMB_PROGRAM) +
                      " >out.txt 2>err.txt";
    EXPECT_EQ(ShellStatus(cmd), 1);
    EXPECT_NE(ScratchFolder::Read("err.txt").find("could not be created"), std::string::npos);
}

} // namespace
