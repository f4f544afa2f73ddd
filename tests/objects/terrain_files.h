// Scratch folders and small pictures for the terrain tests.
#pragma once

#include <windows.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace terraintest {

// A 24-bit BMP of w x h; `pixel` gives 0xRRGGBB for (x, y), top row first.
inline void WriteBmp(const std::string& path, int w, int h, const std::function<DWORD(int, int)>& pixel)
{
    const int rowBytes = (w * 3 + 3) & ~3;
    std::string bmp = "BM";
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp.push_back((char)((v >> (8 * i)) & 255));
    };
    auto put16 = [&](uint32_t v) {
        bmp.push_back((char)(v & 255));
        bmp.push_back((char)((v >> 8) & 255));
    };
    put32(54 + rowBytes * h);
    put32(0);
    put32(54);
    put32(40);
    put32((uint32_t)w);
    put32((uint32_t)h);
    put16(1);
    put16(24);
    put32(0);
    put32((uint32_t)(rowBytes * h));
    put32(2835);
    put32(2835);
    put32(0);
    put32(0);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const DWORD rgb = pixel(x, y);
            bmp.push_back((char)(rgb & 255));
            bmp.push_back((char)((rgb >> 8) & 255));
            bmp.push_back((char)((rgb >> 16) & 255));
        }
        bmp.append((size_t)(rowBytes - w * 3), '\0');
    }
    std::ofstream(path, std::ios::binary) << bmp;
}

// A fresh working folder with data/textures/ for the test's pictures; the
// previous working folder comes back and the folder goes when it ends.
class ScratchFolder {
public:
    ScratchFolder()
    {
        char cwd[4096];
        m_previous = getcwd(cwd, sizeof cwd) ? cwd : ".";
        char templ[] = "/tmp/nimb_terrain_XXXXXX";
        if (mkdtemp(templ) == nullptr || chdir(templ) != 0)
            return;
        m_folder = templ;
        std::filesystem::create_directories("data/textures");
    }
    ~ScratchFolder()
    {
        if (chdir(m_previous.c_str()) != 0) {
        }
        std::error_code ec;
        if (!m_folder.empty())
            std::filesystem::remove_all(m_folder, ec);
    }
    bool Ok() const { return !m_folder.empty(); }

private:
    std::string m_folder, m_previous;
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
};

} // namespace terraintest
