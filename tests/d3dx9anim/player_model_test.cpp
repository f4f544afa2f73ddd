// The show's player model through the hierarchy loader, the skin conversion
// and the animation controller, as the skinned model uses them.
#include "hierarchy_allocator.h"

#include "../d3dx9mesh/mesh_fixture.h"

#include <algorithm>
#include <string>

namespace {

D3DXMESHCONTAINER* skinnedContainer(D3DXFRAME* frame)
{
    for (; frame; frame = frame->pFrameSibling) {
        for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer)
            if (c->pSkinInfo)
                return c;
        if (D3DXMESHCONTAINER* c = skinnedContainer(frame->pFrameFirstChild))
            return c;
    }
    return nullptr;
}

class PlayerModel : public MeshTest, public ::testing::WithParamInterface<const char*> {
};

TEST_P(PlayerModel, LoadsSkinsAndAnimatesLikeTheSkinnedModelNeeds)
{
    std::string path = std::string(NIMB_RUN_DIR) + "/data/models/" + GetParam();
    CountingAllocator alloc;
    D3DXFRAME* root = nullptr;
    ID3DXAnimationController* controller = nullptr;
    ASSERT_EQ(S_OK, D3DXLoadMeshHierarchyFromX(path.c_str(), D3DXMESH_MANAGED, dev, &alloc, nullptr, &root,
                                               &controller));
    ASSERT_NE(nullptr, controller);
    D3DXMESHCONTAINER* c = skinnedContainer(root);
    ASSERT_NE(nullptr, c);
    ID3DXSkinInfo* skin = c->pSkinInfo;
    ASSERT_GT(skin->GetNumBones(), 0u);
    for (DWORD b = 0; b < skin->GetNumBones(); ++b)
        EXPECT_NE(nullptr, D3DXFrameFind(root, skin->GetBoneName(b))) << skin->GetBoneName(b);

    DWORD palette = std::min<DWORD>(26, skin->GetNumBones());
    DWORD maxInfl = 0, numCombos = 0;
    ID3DXBuffer* table = nullptr;
    ID3DXMesh* blended = nullptr;
    ASSERT_EQ(S_OK, skin->ConvertToIndexedBlendedMesh(c->MeshData.pMesh, D3DXMESHOPT_VERTEXCACHE | D3DXMESH_MANAGED,
                                                      palette, c->pAdjacency, nullptr, nullptr, nullptr, &maxInfl,
                                                      &numCombos, &table, &blended));
    EXPECT_GE(maxInfl, 1u);
    EXPECT_LE(maxInfl, 4u);
    EXPECT_GE(numCombos, 1u);
    EXPECT_EQ(c->MeshData.pMesh->GetNumFaces(), blended->GetNumFaces());
    blended->Release();
    table->Release();

    // Half a second of the walk moves some bone of the skin.
    std::vector<D3DXMATRIX> before;
    for (DWORD b = 0; b < skin->GetNumBones(); ++b)
        before.push_back(D3DXFrameFind(root, skin->GetBoneName(b))->TransformationMatrix);
    ASSERT_EQ(S_OK, controller->AdvanceTime(0.5, nullptr));
    bool moved = false;
    for (DWORD b = 0; b < skin->GetNumBones(); ++b)
        moved = moved || before[b] != D3DXFrameFind(root, skin->GetBoneName(b))->TransformationMatrix;
    EXPECT_TRUE(moved);

    controller->Release();
    EXPECT_EQ(S_OK, D3DXFrameDestroy(root, &alloc));
    EXPECT_EQ(0, alloc.frames);
    EXPECT_EQ(0, alloc.containers);
}

INSTANTIATE_TEST_SUITE_P(ShowData, PlayerModel,
                         ::testing::Values("tiny-tex000-lod0.x", "tiny-tex001-lod1.x", "tiny-tex002-lod2.x"));

} // namespace
