// The log writer.
#include "debuglog.h"

#include "scratch_folder.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

TEST(DebugLog, AppendsAcrossCallsAndRunsWithoutAddingAnything)
{
    ScratchFolder dir;
    ScratchFolder::Write("debug.txt", "earlier run\n");
    DebugLog("Inicializando efecto: \"%s\"\n", "Barra #0");
    DebugLog("hecho");
    DebugLog("%d%% %s", 50, "100%");
    EXPECT_EQ(ScratchFolder::Read("debug.txt"), "earlier run\nInicializando efecto: \"Barra #0\"\nhecho50% 100%");
}

TEST(DebugLog, LongTextIsWrittenWhole)
{
    ScratchFolder dir;
    std::string big(10000, 'z');
    DebugLog("%s|", big.c_str());
    EXPECT_EQ(ScratchFolder::Read("debug.txt"), big + "|");
}

TEST(DebugLog, UnopenableLogIsIgnored)
{
    ScratchFolder dir;
    mkdir("debug.txt", 0700);
    DebugLog("lost %d\n", 1);
    ReportError("Could not load test file 'config.xml'. Error='%s'. Exiting.\n", "x");
    ReportWarning("Fichero \"%s\" no encontrado", "a.png");
    struct stat st;
    ASSERT_EQ(stat("debug.txt", &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST(DebugLog, ALongLineBetweenShortOnesKeepsTheOrder)
{
    ScratchFolder dir;
    std::string big(5000, 'w');
    DebugLog("a%d", 1);
    DebugLog("%s", big.c_str());
    DebugLog("b\n");
    EXPECT_EQ(ScratchFolder::Read("debug.txt"), "a1" + big + "b\n");
}
