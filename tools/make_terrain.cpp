// Writes the ground of the multiplayer-client scene into <run>/data/textures/:
// the height map "TerrainHeight.png", the ground picture "TerrainBase.dds"
// and the tiling detail picture "TerrainDetail.dds".
#include <cstdio>
#include <string>

#include "runfolder.h"
#include "terrain_maps.h"

int main(int argc, char** argv)
{
    using namespace tools;
    std::string dir;
    if (int status = DataFolder(argc, argv, "textures", dir))
        return status;
    bool ok = TerrainHeightMap().SaveGrey(dir + "TerrainHeight.png");
    ok = TerrainBase().SaveDds(dir + "TerrainBase.dds") && ok;
    ok = TerrainDetail().SaveDds(dir + "TerrainDetail.dds") && ok;
    if (!ok)
        std::fprintf(stderr, "make_terrain: cannot write the pictures in %s\n", dir.c_str());
    return ok ? 0 : 1;
}
