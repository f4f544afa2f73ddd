// The settings file: every key's rule, defaults and bad files.
#include "config.h"

#include "scratch_folder.h"

#include <tinyxml.h>

#include <gtest/gtest.h>

#include <set>

#include <cstring>
#include <functional>
#include <string>

namespace {

std::string mainWith(const std::string& body)
{
    return "<?xml version=\"1.0\" ?>\n<main>\n" + body + "\n</main>\n";
}

struct KeyCase {
    const char* name;
    std::string body;                           // inside <main>
    std::function<bool(const Config&)> holds;  // what the Config then holds
};

class ConfigKeys : public ::testing::TestWithParam<KeyCase> {
};

TEST_P(ConfigKeys, Reads)
{
    ScratchFolder dir;
    ScratchFolder::Write("config.xml", mainWith(GetParam().body));
    Config c;
    EXPECT_TRUE(GetParam().holds(c)) << GetParam().body;
}

bool defaults(const Config& c)
{
    return !c.m_modelosAltaResolucion && c.m_arboles && c.m_resolucionTerreno == 128 && c.m_useBumpMap &&
           c.m_useDetailTextures && !c.m_skipValidation && c.m_canvasTransparentes && c.m_mipmapping &&
           !c.m_standalone && !c.m_useDirectInput && c.m_resx == 640 && c.m_resy == 480 && c.m_windowed &&
           !c.m_showfps && c.m_modelo == 0 && c.m_textura == 0 && std::strcmp(c.m_ipservidor, "127.0.0.1") == 0 &&
           c.m_login[0] == 0 && c.m_password[0] == 0 && c.m_bgm;
}

const KeyCase kCases[] = {
    {"NoKeys", "", defaults},
    {"OnlySizeAndFullScreen", "<resx>800</resx><resy>600</resy><windowed>FALSE</windowed>",
     [](const Config& c) {
         Config d = c;
         d.m_resx = 640, d.m_resy = 480, d.m_windowed = true;
         return c.m_resx == 800 && c.m_resy == 600 && !c.m_windowed && defaults(d);
     }},
    {"BoolTrueAnyCase", "<showfps>TrUe</showfps><skipValidation>TRUE</skipValidation>",
     [](const Config& c) { return c.m_showfps && c.m_skipValidation; }},
    {"BoolYesAndOneAreFalse", "<windowed>yes</windowed><mipmapping>1</mipmapping>",
     [](const Config& c) { return !c.m_windowed && !c.m_mipmapping; }},
    {"BoolFalse", "<arboles>false</arboles><bgm>nope</bgm>",
     [](const Config& c) { return !c.m_arboles && !c.m_bgm; }},
    {"EmptyElementKeepsDefault", "<arboles></arboles><resx/>",
     [](const Config& c) { return c.m_arboles && c.m_resx == 640; }},
    {"IntLeadingDigits", "<resx>  1024x</resx><resy>-12</resy>",
     [](const Config& c) { return c.m_resx == 1024 && c.m_resy == -12; }},
    {"IntNoDigitsIsZero", "<resx>abc</resx>", [](const Config& c) { return c.m_resx == 0; }},
    {"IntSaturates", "<resx>99999999999999</resx><resy>-99999999999999</resy>",
     [](const Config& c) { return c.m_resx == INT32_MAX && c.m_resy == INT32_MIN; }},
    {"TerrainRejected100", "<resolucionTerreno>100</resolucionTerreno>",
     [](const Config& c) { return c.m_resolucionTerreno == 128; }},
    {"TerrainTaken1024", "<resolucionTerreno>1024</resolucionTerreno>",
     [](const Config& c) { return c.m_resolucionTerreno == 1024; }},
    {"TerrainRejected2048", "<resolucionTerreno>2048</resolucionTerreno>",
     [](const Config& c) { return c.m_resolucionTerreno == 128; }},
    {"TerrainLeadingDigits", "<resolucionTerreno>256abc</resolucionTerreno>",
     [](const Config& c) { return c.m_resolucionTerreno == 256; }},
    {"Terrain32", "<resolucionTerreno>32</resolucionTerreno>",
     [](const Config& c) { return c.m_resolucionTerreno == 32; }},
    {"Modelo127", "<modelo>127</modelo>", [](const Config& c) { return c.m_modelo == 127; }},
    {"Modelo128Ignored", "<modelo>128</modelo><textura>300</textura>",
     [](const Config& c) { return c.m_modelo == 0 && c.m_textura == 0; }},
    {"ModeloNegative", "<modelo>-1</modelo>", [](const Config& c) { return c.m_modelo == -1; }},
    {"TexturaLowEightBits", "<textura>-200</textura>",
     [](const Config& c) { return c.m_textura == (int8_t)(uint8_t)(-200 & 0xFF); }},
    {"Texts", "<ipservidor>10.0.0.2</ipservidor><login>ana</login><password>p w</password>",
     [](const Config& c) {
         return std::strcmp(c.m_ipservidor, "10.0.0.2") == 0 && std::strcmp(c.m_login, "ana") == 0 &&
                std::strcmp(c.m_password, "p w") == 0;
     }},
    {"EmptyTextKeepsDefault", "<ipservidor></ipservidor>",
     [](const Config& c) { return std::strcmp(c.m_ipservidor, "127.0.0.1") == 0; }},
    {"LongTextIsCut", "<login>" + std::string(5000, 'x') + "</login>",
     [](const Config& c) { return std::strlen(c.m_login) == 4095 && c.m_login[4094] == 'x'; }},
    {"FirstOfTwoElementsCounts", "<resx>800</resx><resx>1024</resx>",
     [](const Config& c) { return c.m_resx == 800; }},
    {"CommentNamedLikeAKeyHidesIt", "<!--resx--><resx>800</resx>",
     [](const Config& c) { return c.m_resx == 640; }},
    {"KeysAreCaseSensitive", "<ResX>800</ResX>", [](const Config& c) { return c.m_resx == 640; }},
    {"OtherElementsIgnored", "<foo>1</foo><resy>700</resy>", [](const Config& c) { return c.m_resy == 700; }},
};

INSTANTIATE_TEST_SUITE_P(Table, ConfigKeys, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<KeyCase>& p) { return std::string(p.param.name); });

// Every default stays, and one line on standard error says why.
TEST(ConfigFile, RootOtherThanMainKeepsEveryDefault)
{
    ScratchFolder dir;
    const struct {
        const char* xml;
        const char* line;
    } cases[] = {
        {"<?xml version=\"1.0\" ?><settings><resx>800</resx></settings>",
         "config.xml: the root element is \"settings\", not \"main\"; every setting keeps its default.\n"},
        {"<?xml version=\"1.0\" ?><!-- nothing here -->",
         "config.xml: no \"main\" element; every setting keeps its default.\n"},
        {"<main><resx>800</resx></main>", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        ScratchFolder::Write("config.xml", c.xml);
        ::testing::internal::CaptureStderr();
        Config config;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.line);
        EXPECT_EQ(defaults(config), *c.line != '\0');
    }
}

TEST(ConfigFile, ShippedConfigNamesOnlyKeysAndLoads)
{
    const std::string shipped = std::string(NIMB_SOURCE_DIR) + "/run/config.xml";
    TiXmlDocument doc(shipped.c_str());
    ASSERT_TRUE(doc.LoadFile());
    const std::set<std::string> keys = {
        "modelosAltaResolucion", "arboles", "resolucionTerreno", "useBumpMap", "useDetailTextures",
        "skipValidation", "canvasTransparentes", "mipmapping", "standalone", "useDirectInput", "resx", "resy",
        "windowed", "showfps", "modelo", "textura", "ipservidor", "login", "password", "bgm"};
    TiXmlNode* root = doc.FirstChild("main");
    ASSERT_NE(root, nullptr);
    for (TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement())
        EXPECT_TRUE(keys.count(e->Value())) << e->Value();

    ScratchFolder dir;
    ScratchFolder::Write("config.xml", ScratchFolder::Read(shipped));
    Config c;
    EXPECT_EQ(c.m_resx, 800);
    EXPECT_EQ(c.m_resy, 600);
    EXPECT_TRUE(c.m_windowed);
}

TEST(ConfigFile, RewriteKeepsTheSettings)
{
    ScratchFolder dir;
    ScratchFolder::Write("config.xml", mainWith("<resx>  1024 </resx>\n\n\n<windowed>false</windowed>"));
    Config before;
    before.Rewrite("config.xml");
    Config after;
    EXPECT_EQ(after.m_resx, 1024);
    EXPECT_FALSE(after.m_windowed);
    EXPECT_NE(ScratchFolder::Read("config.xml").find("<resx>1024</resx>"), std::string::npos);
}

TEST(ConfigParseInt, FollowsAtoi)
{
    EXPECT_EQ(ConfigParseInt(""), 0);
    EXPECT_EQ(ConfigParseInt(" \t\n+42z"), 42);
    EXPECT_EQ(ConfigParseInt("- 5"), 0);
    EXPECT_EQ(ConfigParseInt("2147483647"), INT32_MAX);
    EXPECT_EQ(ConfigParseInt("2147483648"), INT32_MAX);
    EXPECT_EQ(ConfigParseInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(ConfigParseInt("-2147483649"), INT32_MIN);
}

// A file that cannot be loaded ends the program with the report on stderr.
struct BadFile {
    const char* name;
    std::function<void()> make;
    const char* error;
};

class ConfigBadFiles : public ::testing::TestWithParam<BadFile> {
};

TEST_P(ConfigBadFiles, EndTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ScratchFolder dir;
    GetParam().make();
    std::string expected = std::string("Could not load test file 'config\\.xml'\\. Error='") + GetParam().error;
    EXPECT_EXIT({ Config c; }, ::testing::ExitedWithCode(1), expected);
}

const BadFile kBadFiles[] = {
    {"Missing", [] {}, "Failed to open file"},
    {"Directory", [] { std::filesystem::create_directory("config.xml"); }, "Failed to open file"},
    {"Empty", [] { ScratchFolder::Write("config.xml", ""); }, "Error document empty"},
    {"Malformed", [] { ScratchFolder::Write("config.xml", "<main><resx>800</main>"); }, "Error"},
};

INSTANTIATE_TEST_SUITE_P(Table, ConfigBadFiles, ::testing::ValuesIn(kBadFiles),
                         [](const ::testing::TestParamInfo<BadFile>& p) { return std::string(p.param.name); });

} // namespace
