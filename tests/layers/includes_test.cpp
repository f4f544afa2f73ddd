// The platform layer is a sealed floor: the system's code includes the
// Windows-style headers only, never SDL, GL, FreeType or a header internal to
// the layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kSystemFolders[] = {"nimbapp", "nimbgfx", "escenor", "effects"};

// Header names of the layer: every header under platform/, and the ones the
// system may include (the build's public header folder).
struct PlatformHeaders {
    std::set<std::string> all, open;
};

PlatformHeaders ReadPlatformHeaders()
{
    PlatformHeaders h;
    for (const auto& e : fs::recursive_directory_iterator(fs::path(NIMB_SOURCE_DIR) / "platform"))
        if (e.is_regular_file() && e.path().extension() == ".h") h.all.insert(e.path().filename().string());
    for (const auto& e : fs::directory_iterator(fs::path(NIMB_BINARY_DIR) / "platform" / "include"))
        h.open.insert(e.path().filename().string());
    return h;
}

// Why an included name breaks the floor; empty when it does not.
std::string Breach(const std::string& name, const PlatformHeaders& h)
{
    const std::string base = fs::path(name).filename().string();
    static const char* const kLibraries[] = {"SDL", "GL/", "GLES", "EGL/", "KHR/", "ft2build", "freetype",
                                             "fontconfig", "libopenmpt", "glslang", "spirv"};
    for (const char* lib : kLibraries)
        if (name.compare(0, std::char_traits<char>::length(lib), lib) == 0) return "a library under the layer";
    auto endsWith = [&](const char* tail) {
        const size_t n = std::char_traits<char>::length(tail);
        return base.size() >= n && base.compare(base.size() - n, n, tail) == 0;
    };
    if (endsWith("_impl.h") || endsWith("_internal.h") || base == "gl_api.h") return "a layer-internal header";
    if (h.all.count(base) && !h.open.count(base)) return "a layer-internal header";
    if (name.find('/') != std::string::npos && h.all.count(base)) return "a path into the layer";
    return "";
}

// The names a file includes, with their line numbers.
std::vector<std::pair<int, std::string>> Includes(const fs::path& file)
{
    std::vector<std::pair<int, std::string>> out;
    std::ifstream in(file);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        size_t i = line.find_first_not_of(" \t");
        if (i == std::string::npos || line[i] != '#') continue;
        i = line.find_first_not_of(" \t", i + 1);
        if (i == std::string::npos || line.compare(i, 7, "include") != 0) continue;
        i = line.find_first_of("<\"", i + 7);
        if (i == std::string::npos) continue;
        const size_t end = line.find(line[i] == '<' ? '>' : '"', i + 1);
        if (end != std::string::npos) out.emplace_back(n, line.substr(i + 1, end - i - 1));
    }
    return out;
}

TEST(SealedFloor, TellsOpenHeadersFromInternalOnes)
{
    const PlatformHeaders h = ReadPlatformHeaders();
    ASSERT_TRUE(h.open.count("d3d9.h"));
    struct Case {
        const char* name;
        bool breach;
    } cases[] = {
        {"windows.h", false}, {"d3d9.h", false}, {"d3dx9.h", false}, {"bass.h", false}, {"dinput.h", false},
        {"mmsystem.h", false}, {"mscrt.h", false}, {"tinyxml.h", false}, {"zlib.h", false}, {"cstring", false},
        {"renderer.h", false}, {"SDL.h", true}, {"SDL2/SDL.h", true}, {"GL/gl.h", true}, {"GL/glcorearb.h", true},
        {"ft2build.h", true}, {"freetype/freetype.h", true}, {"gl_api.h", true}, {"d3d9_impl.h", true},
        {"d3d9/d3d9_impl.h", true}, {"d3dx9effect_impl.h", true}, {"win_internal.h", true},
        {"windows/win_internal.h", true}, {"d3d9_device.h", true}, {"sdl_window.h", true}, {"d3d9/d3d9.h", true},
        {"fx_parse.h", true},
    };
    for (const Case& c : cases) EXPECT_EQ(!Breach(c.name, h).empty(), c.breach) << c.name;
}

TEST(SealedFloor, SystemCodeIncludesOnlyTheWindowsStyleHeaders)
{
    const PlatformHeaders h = ReadPlatformHeaders();
    int files = 0;
    for (const char* folder : kSystemFolders) {
        const fs::path root = fs::path(NIMB_SOURCE_DIR) / folder;
        ASSERT_TRUE(fs::is_directory(root)) << root;
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            const std::string ext = e.path().extension().string();
            if (!e.is_regular_file() || (ext != ".cpp" && ext != ".h" && ext != ".c" && ext != ".inl")) continue;
            ++files;
            for (const auto& inc : Includes(e.path())) {
                const std::string why = Breach(inc.second, h);
                EXPECT_TRUE(why.empty()) << e.path().string() << ":" << inc.first << " includes " << inc.second
                                         << ", " << why;
            }
        }
    }
    EXPECT_GT(files, 50);
}

} // namespace
