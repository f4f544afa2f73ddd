// Writes the show's meshes into <run>/data/models/ (.x text files) and their
// textures into <run>/data/textures/: the arrow of the trails and the blob
// grid, the tree of the multiplayer-client scene and its skinned players
// (three texture variants, three levels of detail each).
#include <cstdio>
#include <string>

#include "models.h"
#include "runfolder.h"

int main(int argc, char** argv)
{
    using namespace tools;
    std::string models, textures;
    if (int status = DataFolder(argc, argv, "models", models))
        return status;
    if (int status = DataFolder(argc, argv, "textures", textures))
        return status;
    int failed = 0;
    auto model = [&](const XFile& file, const std::string& name) {
        if (!SaveXFile(file, models + name)) {
            std::fprintf(stderr, "make_models: cannot write %s%s\n", models.c_str(), name.c_str());
            ++failed;
        }
    };
    auto picture = [&](const Image& img, const std::string& name) {
        if (!img.Save(textures + name)) {
            std::fprintf(stderr, "make_models: cannot write %s%s\n", textures.c_str(), name.c_str());
            ++failed;
        }
    };
    model(ArrowModel(), "arrow.x");
    picture(ArrowTexture(), kArrowTexture);
    model(TreeModel(), "tree1.x");
    picture(TreeBarkTexture(), kTreeBarkTexture);
    picture(TreeLeavesTexture(), kTreeLeavesTexture);
    for (int variant = 0; variant < kPlayerVariants; ++variant) {
        for (int lod = 0; lod < kPlayerLods; ++lod)
            model(PlayerModel(variant, lod), PlayerFile(variant, lod));
        picture(PlayerTexture(variant), PlayerTextureFile(variant));
    }
    return failed ? 1 : 0;
}
