// Writes the ground of the multiplayer-client scene into <run>/data/textures/:
// the height map "TerrainHeight.png", the ground picture "TerrainBase.dds"
// and the tiling detail picture "TerrainDetail.dds".
#include <cstdio>
#include <filesystem>
#include <string>

#include "terrain_maps.h"

int main(int argc, char** argv)
{
    using namespace tools;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <run folder>\n", argv[0]);
        return 2;
    }
    std::string dir = std::string(argv[1]) + "/data/textures/";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "make_terrain: cannot create %s\n", dir.c_str());
        return 1;
    }
    bool ok = TerrainHeightMap().SaveGrey(dir + "TerrainHeight.png");
    ok = TerrainBase().SaveDds(dir + "TerrainBase.dds") && ok;
    ok = TerrainDetail().SaveDds(dir + "TerrainDetail.dds") && ok;
    if (!ok)
        std::fprintf(stderr, "make_terrain: cannot write the pictures in %s\n", dir.c_str());
    return ok ? 0 : 1;
}
