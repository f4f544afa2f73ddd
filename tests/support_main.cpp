#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

// CTest hands each test its environment as "--env=NAME=VALUE" arguments: a
// list-valued ENVIRONMENT property does not survive test discovery whole.
static void TakeEnvironmentArguments(int argc, char** argv)
{
    const char* prefix = "--env=";
    const size_t n = std::strlen(prefix);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix, n) != 0) continue;
        std::string pair(argv[i] + n);
        size_t eq = pair.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        setenv(pair.substr(0, eq).c_str(), pair.substr(eq + 1).c_str(), 1);
    }
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    TakeEnvironmentArguments(argc, argv);
    return RUN_ALL_TESTS();
}
