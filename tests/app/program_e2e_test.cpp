// The real program as a user runs it: under Xvfb in a temporary run folder,
// closed with Esc sent by xdotool; and the ways it refuses to start.
#include "temp_folder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

bool installed(const char* program)
{
    std::string cmd = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// An Xvfb server on a display number it picks itself.
class Xvfb {
public:
    Xvfb()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, 1);
            dup2(devnull, 2);
            std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                   (char*)nullptr);
            _exit(127);
        }
        close(fds[1]);
        char buf[32] = {};
        ssize_t n = 0, got;
        while (n < (ssize_t)sizeof buf - 1 && (got = read(fds[0], buf + n, sizeof buf - 1 - n)) > 0) {
            n += got;
            if (buf[n - 1] == '\n')
                break;
        }
        close(fds[0]);
        if (n > 0)
            display_ = ":" + std::string(buf, buf[n - 1] == '\n' ? n - 1 : n);
    }
    ~Xvfb()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// Runs a shell command; its exit status, or -1.
int shell(const std::string& cmd)
{
    int st = std::system(cmd.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string quoted(const std::string& s)
{
    return "'" + s + "'";
}

TEST(Program, EscapeUnderXvfbEndsItWithStatusZero)
{
    if (!installed("Xvfb") || !installed("xdotool"))
        GTEST_SKIP() << "Xvfb or xdotool is not installed (scripts/install-deps installs them)";
    Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    TempFolder run;
    std::filesystem::copy_file(std::string(NIMB_SOURCE_DIR) + "/run/config.xml", "config.xml");
    std::error_code ec;
    std::filesystem::create_directory_symlink(std::string(NIMB_RUN_DIR) + "/data", "data", ec);
    std::string cmd =
        "export DISPLAY=" + x.display() + "; unset SDL_VIDEODRIVER; export SDL_AUDIODRIVER=dummy; "
        "timeout -s KILL 180 " + quoted(NIMB_PROGRAM) + " >out.txt 2>err.txt & P=$!; "
        "W=$(timeout 120 xdotool search --sync --onlyvisible --name '^NimbGfx Application$' | head -n 1); "
        "[ -n \"$W\" ] && timeout 60 xdotool windowfocus --sync \"$W\" key Escape; "
        "wait $P; S=$?; [ -n \"$W\" ] || S=200; exit $S";
    int status = shell(cmd);
    EXPECT_EQ(status, 0) << (status == 200 ? "no window appeared; " : "") << "stderr: "
                         << TempFolder::read("err.txt");
}

TEST(Program, WithoutConfigOpensNoWindowAndFails)
{
    TempFolder run;
    std::string cmd = "export SDL_VIDEODRIVER=offscreen; timeout -s KILL 60 " + quoted(NIMB_PROGRAM) +
                      " >out.txt 2>err.txt";
    int status = shell(cmd);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, 137) << "it did not end by itself";
    EXPECT_NE(TempFolder::read("err.txt").find("Could not load test file 'config.xml'."), std::string::npos);
}

TEST(Program, WindowThatCannotBeCreatedEndsWithAnError)
{
    TempFolder run;
    std::filesystem::copy_file(std::string(NIMB_SOURCE_DIR) + "/run/config.xml", "config.xml");
    std::string cmd = "export SDL_VIDEODRIVER=no_such_driver; timeout -s KILL 60 " + quoted(NIMB_PROGRAM) +
                      " >out.txt 2>err.txt";
    EXPECT_EQ(shell(cmd), 1);
    EXPECT_NE(TempFolder::read("err.txt").find("could not be created"), std::string::npos);
}

} // namespace
