// An Xvfb display for tests that drive a program as a user would, with
// xdotool, and the shell helpers they share.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

// Whether a program is on the path.
inline bool ProgramInstalled(const char* program)
{
    std::string cmd = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// Runs a shell command; its exit status, or -1.
inline int ShellStatus(const std::string& cmd)
{
    int st = std::system(cmd.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// An Xvfb server on a display number it picks itself, gone with the object.
class Xvfb {
public:
    explicit Xvfb(const char* screen = "1024x768x24")
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
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
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

    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
};
