// The program's process starts itself again with glibc's huge-page tunable
// set, keeping its arguments and the tunables it was given.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The probe's standard output when started through the shell with `env` before it.
std::string RunProbe(const std::string& env)
{
    const std::string command = "env -u GLIBC_TUNABLES -u LD_PRELOAD " + env + " '" NIMB_PROCESS_PROBE "'" +
                                " 'two words' '' last 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return "";
    std::string out;
    char buffer[256];
    for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), p)) > 0;)
        out.append(buffer, n);
    const int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    return out;
}

const char kArgs[] = "arg=two words\narg=\narg=last\n";

TEST(ProcessStart, RestartsWithHugePagesKeepingTheArgumentsAndTheOtherTunables)
{
    const struct {
        const char* env;
        const char* tunables;
    } cases[] = {
        {"", "glibc.malloc.hugetlb=1"},
        {"GLIBC_TUNABLES=glibc.malloc.check=0", "glibc.malloc.check=0:glibc.malloc.hugetlb=1"},
        // Set by the user: left as it is, with no restart.
        {"GLIBC_TUNABLES=glibc.malloc.hugetlb=0", "glibc.malloc.hugetlb=0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunProbe(c.env), std::string("tunables=") + c.tunables + "\n" + kArgs) << c.env;
}

TEST(ProcessStart, IsNotRestartedUnderValgrind)
{
    // Valgrind preloads a library of this name (here a missing one, which the
    // loader skips); a restart would leave valgrind behind.
    EXPECT_EQ(RunProbe("LD_PRELOAD=/nonexistent/vgpreload_core-amd64-linux.so"), std::string("tunables=(none)\n") + kArgs);
}

} // namespace
