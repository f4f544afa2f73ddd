// The C runtime helpers: the MSVC random generator, clock() and paths
// written with backslashes and another case.
#include <mscrt.h>

#include "scratch_folder.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST(MsCrt, RandIsTheMsvcGenerator)
{
    ms_srand(1);
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int e : expected)
        EXPECT_EQ(ms_rand(), e);
    ms_srand(1);
}

TEST(MsCrt, ClockCountsMillisecondsFromStart)
{
    long a = ms_clock();
    long b = ms_clock();
    EXPECT_GE(a, 0);
    EXPECT_LE(a, b);
    EXPECT_EQ(MS_CLOCKS_PER_SEC, 1000);
}

TEST(MsCrt, OpenMapsBackslashesAndMatchesCaseInsensitively)
{
    ScratchFolder dir;
    mkdir("Data", 0700);
    mkdir("Data/Textures", 0700);
    ScratchFolder::Write("Data/Textures/Fondo.PNG", "png");
    struct Case {
        const char* path;
        bool found;
    };
    const Case cases[] = {
        {"data\\textures\\fondo.png", true},
        {"Data/Textures/Fondo.PNG", true},
        {"./DATA\\TEXTURES/FONDO.png", true},
        {"data\\textures\\other.png", false},
        {"data\\models\\fondo.png", false},
    };
    for (const Case& c : cases) {
        FILE* f = ms_fopen(c.path, "rb");
        EXPECT_EQ(f != nullptr, c.found) << c.path;
        if (f) {
            char buf[4] = {};
            EXPECT_EQ(std::fread(buf, 1, 3, f), 3u);
            EXPECT_STREQ(buf, "png");
            std::fclose(f);
        }
    }
    // A new file in an existing folder written with other case and backslashes.
    FILE* f = ms_fopen("data\\textures\\nuevo.bmp", "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    struct stat st;
    EXPECT_EQ(stat("Data/Textures/nuevo.bmp", &st), 0);

    char out[8];
    EXPECT_FALSE(ms_resolve_path("data\\textures\\fondo.png", out, sizeof out));
    char big[256];
    ASSERT_TRUE(ms_resolve_path("data\\textures\\fondo.png", big, sizeof big));
    EXPECT_STREQ(big, "Data/Textures/Fondo.PNG");
}

TEST(MsCrt, AppendCreatesAppendsAndFindsTheFileAsOpenDoes)
{
    ScratchFolder dir;
    mkdir("Logs", 0700);
    EXPECT_TRUE(ms_append("a.txt", "one\n", 4));
    EXPECT_TRUE(ms_append("a.txt", "two", 3));
    EXPECT_TRUE(ms_append("a.txt", "", 0));
    EXPECT_EQ(ScratchFolder::Read("a.txt"), "one\ntwo");
    // Backslashes and another case reach the file that exists.
    ScratchFolder::Write("Logs/Run.TXT", "x");
    EXPECT_TRUE(ms_append("logs\\run.txt", "y", 1));
    EXPECT_EQ(ScratchFolder::Read("Logs/Run.TXT"), "xy");
    std::string big(100000, 'q');
    EXPECT_TRUE(ms_append("big.txt", big.data(), big.size()));
    EXPECT_EQ(ScratchFolder::Read("big.txt"), big);
    // What cannot be opened for writing fails.
    EXPECT_FALSE(ms_append("Logs", "z", 1));
    EXPECT_FALSE(ms_append("missing/folder/a.txt", "z", 1));
    EXPECT_FALSE(ms_append(nullptr, "z", 1));
}
