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

// What each hook writes on standard error, and that it writes nothing else.
struct Reported {
    std::string out, err;
    bool logged;
};

template <typename Report>
Reported Capture(Report report)
{
    ScratchFolder dir;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    report();
    Reported r;
    r.err = testing::internal::GetCapturedStderr();
    r.out = testing::internal::GetCapturedStdout();
    struct stat st;
    r.logged = stat("debug.txt", &st) == 0;
    return r;
}

TEST(ErrorHooks, EachReportIsOneLineOnStandardErrorAndNothingElse)
{
    const std::string big(3000, 'q');
    const struct {
        Reported r;
        std::string line;
    } cases[] = {
        {Capture([] { ReportError("CreateVertexBuffer FAILED [StaticQuad]"); }),
         "CreateVertexBuffer FAILED [StaticQuad]\n"},
        {Capture([] { ReportError("Fichero \"%s\" no encontrado", "tiny-tex003-lod1.x"); }),
         "Fichero \"tiny-tex003-lod1.x\" no encontrado\n"},
        {Capture([] { ReportError("Could not load test file 'config.xml'. Error='%s'. Exiting.\n", "x"); }),
         "Could not load test file 'config.xml'. Error='x'. Exiting.\n"},
        {Capture([] { ReportWarning("Fichero \"%s\" no encontrado", "a.png"); }), "Fichero \"a.png\" no encontrado\n"},
        {Capture([] { ReportWarning("two\nlines\r\n\n"); }), "two lines\n"},
        {Capture([] { ReportError("%d%%", 50); }), "50%\n"},
        {Capture([&big] { ReportError("%s|", big.c_str()); }), big + "|\n"},
        {Capture([] {
             ReportError("Clear FAILED");
             ReportWarning("%s", "");
         }),
         "Clear FAILED\n\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.r.err, c.line);
        EXPECT_EQ(c.r.out, "");
        EXPECT_FALSE(c.r.logged) << c.line;
    }
}
