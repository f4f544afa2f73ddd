// The log writer and the C runtime helpers.
#include "debuglog.h"

#include <mscrt.h>

#include "temp_folder.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

TEST(DebugLog, AppendsAcrossCallsAndRunsWithoutAddingAnything)
{
    TempFolder dir;
    TempFolder::write("debug.txt", "earlier run\n");
    DebugLog("Inicializando efecto: \"%s\"\n", "Barra #0");
    DebugLog("hecho");
    DebugLog("%d%% %s", 50, "100%");
    EXPECT_EQ(TempFolder::read("debug.txt"), "earlier run\nInicializando efecto: \"Barra #0\"\nhecho50% 100%");
}

TEST(DebugLog, LongTextIsWrittenWhole)
{
    TempFolder dir;
    std::string big(10000, 'z');
    DebugLog("%s|", big.c_str());
    EXPECT_EQ(TempFolder::read("debug.txt"), big + "|");
}

TEST(DebugLog, UnopenableLogIsIgnored)
{
    TempFolder dir;
    mkdir("debug.txt", 0700);
    DebugLog("lost %d\n", 1);
    ReportError("Could not load test file 'config.xml'. Error='%s'. Exiting.\n", "x");
    ReportWarning("Fichero \"%s\" no encontrado", "a.png");
    struct stat st;
    ASSERT_EQ(stat("debug.txt", &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

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
    TempFolder dir;
    mkdir("Data", 0700);
    mkdir("Data/Textures", 0700);
    TempFolder::write("Data/Textures/Fondo.PNG", "png");
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
