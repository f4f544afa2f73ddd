// Linked into the program (not into the layer's library): before main, the
// process starts itself again with glibc's heap backing its large blocks with
// transparent huge pages. glibc reads that setting (a tunable) only as a
// process starts. Loading the largest terrain touches a few hundred megabytes
// of fresh memory; in 4 KiB pages its page faults take about a third of the
// load.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kTunable[] = "glibc.malloc.hugetlb";

// The command line as the process was started: its arguments, NUL-separated.
std::vector<std::string> CommandLine()
{
    std::vector<std::string> args;
    FILE* f = std::fopen("/proc/self/cmdline", "rb");
    if (!f)
        return args;
    std::string arg;
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c == 0) {
            args.push_back(arg);
            arg.clear();
        } else {
            arg += (char)c;
        }
    }
    std::fclose(f);
    return args;
}

__attribute__((constructor)) void StartWithHugePages()
{
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (tunables && std::strstr(tunables, kTunable))
        return;  // set already (also by this step's own restart)
    // Valgrind would not follow the restart.
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload && std::strstr(preload, "vgpreload"))
        return;
    std::vector<std::string> args = CommandLine();
    if (args.empty())
        return;
    std::string value = tunables && *tunables ? std::string(tunables) + ":" : std::string();
    value += std::string(kTunable) + "=1";
    if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0)
        return;
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    // Not restarted: go on as started.
    if (tunables)
        setenv("GLIBC_TUNABLES", tunables, 1);
    else
        unsetenv("GLIBC_TUNABLES");
}

} // namespace
