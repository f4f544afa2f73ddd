// Writes the show's meshes into <run>/data/models/ (.x text files) and their
// textures into <run>/data/textures/: the arrow of the trails and the blob
// grid, the tree of the multiplayer-client scene and its skinned players
// (three texture variants, three levels of detail each).
#include <cstdio>
#include <filesystem>
#include <string>

#include "models.h"

int main(int argc, char** argv)
{
    using namespace tools;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <run folder>\n", argv[0]);
        return 2;
    }
    std::string models = std::string(argv[1]) + "/data/models/";
    std::string textures = std::string(argv[1]) + "/data/textures/";
    std::error_code ec1, ec2;
    std::filesystem::create_directories(models, ec1);
    std::filesystem::create_directories(textures, ec2);
    if (ec1 || ec2) {
        std::fprintf(stderr, "make_models: cannot create %s or %s\n", models.c_str(), textures.c_str());
        return 1;
    }
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
