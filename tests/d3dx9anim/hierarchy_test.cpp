// Frame hierarchies loaded from .x text through a counting allocator, their
// animation, bounds and destruction.
#include "hierarchy_allocator.h"

#include "../d3dx9mesh/mesh_fixture.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr float kPi = 3.14159265358979f;

const char* const kIdentity = "1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;;";

// Root (with the Body mesh) > Arm (moved 10 along x, with the skinned
// ArmMesh) > Hand; an animation turns Arm about y.
std::string armFile(const std::string& secondBone = "Hand", const std::string& firstWeights = "4; 0,1,2,3; 1.0,0.5,0.5,1.0;",
                    const std::string& secondKey = "4800;4;0.7071068,0.0,0.7071068,0.0;;")
{
    return std::string("xof 0303txt 0032\n") +
           "Frame Root {\n"
           "  FrameTransformMatrix { " + kIdentity + " }\n"
           "  Mesh Body {\n"
           "    3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;;\n"
           "    1; 3;0,1,2;;\n"
           "  }\n"
           "  Frame Arm {\n"
           "    FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 10.0,0.0,0.0,1.0;; }\n"
           "    Frame Hand {\n"
           "      FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,5.0,0.0,1.0;; }\n"
           "    }\n"
           "    Mesh ArmMesh {\n"
           "      4; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 1.0;1.0;0.0;, 0.0;1.0;0.0;;\n"
           "      2; 3;0,1,2;, 3;0,2,3;;\n"
           "      MeshMaterialList { 1; 2; 0,0;;\n"
           "        Material { 1.0;0.0;0.0;1.0;; 8.0; 1.0;1.0;1.0;; 0.0;0.0;0.0;; TextureFilename { \"arm.png\"; } }\n"
           "      }\n"
           "      XSkinMeshHeader { 2; 4; 2; }\n"
           "      SkinWeights { \"Arm\"; " + firstWeights + " " + kIdentity + " }\n"
           "      SkinWeights { \"" + secondBone + "\"; 2; 1,2; 0.5,0.5; "
           "1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,-5.0,0.0,1.0;; }\n"
           "    }\n"
           "  }\n"
           "}\n"
           "AnimTicksPerSecond { 4800; }\n"
           "AnimationSet Wave {\n"
           "  Animation { {Arm} AnimationKey { 0; 2; 0;4;1.0,0.0,0.0,0.0;;, " + secondKey + "; } }\n"
           "}\n";
}

class HierarchyTest : public MeshTest {
protected:
    HRESULT Load(const std::string& text)
    {
        return D3DXLoadMeshHierarchyFromXInMemory(text.data(), (DWORD)text.size(), D3DXMESH_MANAGED, dev, &alloc,
                                                  nullptr, &root, &controller);
    }

    void TearDown() override
    {
        if (controller)
            controller->Release();
        if (root) {
            EXPECT_EQ(S_OK, D3DXFrameDestroy(root, &alloc));
        }
        EXPECT_EQ(0, alloc.frames) << "frames left alive";
        EXPECT_EQ(0, alloc.containers) << "mesh containers left alive";
        MeshTest::TearDown();
    }

    CountingAllocator alloc;
    D3DXFRAME* root = nullptr;
    ID3DXAnimationController* controller = nullptr;
};

TEST_F(HierarchyTest, ThreeFramesTwoContainersAndASkinLoadThroughTheAllocator)
{
    ASSERT_EQ(S_OK, Load(armFile()));
    EXPECT_EQ(3, alloc.frames);
    EXPECT_EQ(2, alloc.containers);
    ASSERT_STREQ("Root", root->Name);
    EXPECT_EQ(nullptr, root->pFrameSibling);
    ASSERT_NE(nullptr, root->pMeshContainer);
    EXPECT_STREQ("Body", root->pMeshContainer->Name);
    EXPECT_EQ(nullptr, root->pMeshContainer->pSkinInfo);

    D3DXFRAME* arm = D3DXFrameFind(root, "Arm");
    ASSERT_EQ(root->pFrameFirstChild, arm);
    EXPECT_EQ(10.0f, arm->TransformationMatrix._41);
    ASSERT_NE(nullptr, arm->pFrameFirstChild);
    EXPECT_STREQ("Hand", arm->pFrameFirstChild->Name);
    EXPECT_EQ(arm->pFrameFirstChild, D3DXFrameFind(root, "Hand"));
    EXPECT_EQ(nullptr, D3DXFrameFind(root, "Leg"));

    D3DXMESHCONTAINER* c = arm->pMeshContainer;
    ASSERT_NE(nullptr, c);
    EXPECT_STREQ("ArmMesh", c->Name);
    EXPECT_EQ(D3DXMESHTYPE_MESH, c->MeshData.Type);
    EXPECT_EQ(2u, c->MeshData.pMesh->GetNumFaces());
    ASSERT_EQ(1u, c->NumMaterials);
    EXPECT_STREQ("arm.png", c->pMaterials[0].pTextureFilename);
    EXPECT_EQ(1u, c->pAdjacency[2]) << "the two faces share their diagonal";
    EXPECT_EQ(0u, c->pAdjacency[3]);
    EXPECT_EQ(0xFFFFFFFFu, c->pAdjacency[0]);
    ID3DXSkinInfo* skin = c->pSkinInfo;
    ASSERT_NE(nullptr, skin);
    ASSERT_EQ(2u, skin->GetNumBones());
    EXPECT_STREQ("Arm", skin->GetBoneName(0));
    EXPECT_STREQ("Hand", skin->GetBoneName(1));
    EXPECT_EQ(-5.0f, skin->GetBoneOffsetMatrix(1)->_42);
    EXPECT_EQ(2u, skin->GetNumBoneInfluences(1));
    DWORD most = 0;
    ASSERT_EQ(S_OK, skin->GetMaxVertexInfluences(&most));
    EXPECT_EQ(2u, most);

    // Sphere around both meshes, ArmMesh moved by Arm's matrix.
    const D3DXVECTOR3 points[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {10, 0, 0}, {11, 0, 0}, {11, 1, 0}, {10, 1, 0}};
    D3DXVECTOR3 mean(0, 0, 0);
    for (const D3DXVECTOR3& p : points)
        mean += p / 7.0f;
    float radius = 0.0f;
    for (const D3DXVECTOR3& p : points) {
        D3DXVECTOR3 d = p - mean;
        radius = std::max(radius, D3DXVec3Length(&d));
    }
    D3DXVECTOR3 center;
    float r = 0.0f;
    ASSERT_EQ(S_OK, D3DXFrameCalculateBoundingSphere(root, &center, &r));
    EXPECT_NEAR(mean.x, center.x, 1e-5f);
    EXPECT_NEAR(mean.y, center.y, 1e-5f);
    EXPECT_NEAR(radius, r, 1e-5f);
}

// The file's key is (w, x, y, z) = 90 degrees about y, stored as the inverse
// rotation: a quarter of the way the frame has turned -22.5 degrees.
TEST_F(HierarchyTest, AnimationKeysFromTheFileDriveTheFrameMatrixConjugated)
{
    ASSERT_EQ(S_OK, Load(armFile()));
    ASSERT_NE(nullptr, controller);
    EXPECT_EQ(1u, controller->GetNumAnimationSets());
    EXPECT_EQ(3u, D3DXFrameNumNamedMatrices(root));
    ID3DXAnimationSet* wave = nullptr;
    ASSERT_EQ(S_OK, controller->GetTrackAnimationSet(0, &wave));
    EXPECT_STREQ("Wave", wave->GetName());
    EXPECT_DOUBLE_EQ(1.0, wave->GetPeriod());

    ASSERT_EQ(S_OK, controller->AdvanceTime(0.25, nullptr));
    D3DXMATRIX expected;
    D3DXMatrixRotationY(&expected, -kPi / 8);
    D3DXFRAME* arm = D3DXFrameFind(root, "Arm");
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR((&expected._11)[i], (&arm->TransformationMatrix._11)[i], 1e-5f) << i;

    // Registered keys are used as given: the conjugated keys give the same matrix.
    ID3DXKeyframedAnimationSet* set = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateKeyframedAnimationSet("byHand", 4800.0, D3DXPLAY_LOOP, 1, 0, nullptr, &set));
    D3DXKEY_QUATERNION keys[2] = {{0.0f, D3DXQUATERNION(0, 0, 0, 1)},
                                  {4800.0f, D3DXQUATERNION(0.0f, -0.7071068f, 0.0f, 0.7071068f)}};
    ASSERT_EQ(S_OK, set->RegisterAnimationSRTKeys("Arm", 0, 2, 0, nullptr, keys, nullptr, nullptr));
    ID3DXAnimationController* byHand = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateAnimationController(1, 1, 1, 0, &byHand));
    D3DXMATRIX m;
    ASSERT_EQ(S_OK, byHand->RegisterAnimationOutput("Arm", &m, nullptr, nullptr, nullptr));
    ASSERT_EQ(S_OK, byHand->SetTrackAnimationSet(0, set));
    ASSERT_EQ(S_OK, byHand->AdvanceTime(0.25, nullptr));
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR((&expected._11)[i], (&m._11)[i], 1e-5f) << i;
    byHand->Release();
    set->Release();
    wave->Release();
}

TEST_F(HierarchyTest, ASkinNamingAMissingFrameIsLeftToTheCallersLinkStep)
{
    ASSERT_EQ(S_OK, Load(armFile("Ghost")));
    ID3DXSkinInfo* skin = D3DXFrameFind(root, "Arm")->pMeshContainer->pSkinInfo;
    ASSERT_NE(nullptr, skin);
    EXPECT_STREQ("Ghost", skin->GetBoneName(1));
    EXPECT_EQ(nullptr, D3DXFrameFind(root, skin->GetBoneName(1)));
}

TEST_F(HierarchyTest, AFailingAllocatorLeavesNothingBehind)
{
    alloc.failContainer = 1;
    EXPECT_EQ(E_OUTOFMEMORY, Load(armFile()));
    EXPECT_EQ(nullptr, root);
    EXPECT_EQ(nullptr, controller);
}

struct BrokenCase {
    const char* name;
    std::string text;
};

TEST_F(HierarchyTest, BrokenFilesFailCleanly)
{
    const std::string good = armFile();
    const BrokenCase cases[] = {
        {"truncated", good.substr(0, good.size() / 2)},
        {"weight of a vertex the mesh lacks", armFile("Hand", "4; 0,1,2,7; 1.0,0.5,0.5,1.0;")},
        {"more weights than the data holds", armFile("Hand", "4000000; 0,1,2,3; 1.0,0.5,0.5,1.0;")},
        {"rotation key of three values", armFile("Hand", "4; 0,1,2,3; 1.0,0.5,0.5,1.0;", "4800;3;0.7,0.0,0.7;;")},
        {"no frame and no mesh", "xof 0303txt 0032\nAnimTicksPerSecond { 4800; }\n"},
    };
    for (const BrokenCase& c : cases) {
        SCOPED_TRACE(c.name);
        HRESULT hr = Load(c.text);
        EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
        EXPECT_EQ(nullptr, root);
        EXPECT_EQ(nullptr, controller);
        EXPECT_EQ(0, alloc.frames);
        EXPECT_EQ(0, alloc.containers);
    }
}

TEST_F(HierarchyTest, SeveralTopLevelFramesHangUnderAnUnnamedRoot)
{
    std::string text = std::string("xof 0303txt 0032\n") + "Frame A { FrameTransformMatrix { " + kIdentity +
                       " } }\nFrame B { }\nMesh Loose { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;; }\n";
    ASSERT_EQ(S_OK, Load(text));
    EXPECT_EQ(nullptr, controller) << "no animation in the file";
    EXPECT_EQ(nullptr, root->Name);
    ASSERT_NE(nullptr, root->pFrameFirstChild);
    EXPECT_STREQ("A", root->pFrameFirstChild->Name);
    ASSERT_NE(nullptr, root->pFrameFirstChild->pFrameSibling);
    EXPECT_STREQ("B", root->pFrameFirstChild->pFrameSibling->Name);
    ASSERT_NE(nullptr, root->pMeshContainer);
    EXPECT_STREQ("Loose", root->pMeshContainer->Name);
    EXPECT_EQ(2u, D3DXFrameNumNamedMatrices(root));
}

} // namespace
