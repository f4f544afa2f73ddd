// The player models as the engine loads them: each variant and level through
// the hierarchy loader and the skinned model's allocator, its bounds, its 21
// bones, and a walk that swings the hands and feet.
#include <gtest/gtest.h>

#include <unistd.h>

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

#include <cstring>
#include <string>

#include "fake_d3d9.h"
#include "renderer.h"
#include "skinnedmodel.h"
#include "texturecache.h"

namespace {

class EnginePlayerModel : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        char cwd[4096];
        m_previous = getcwd(cwd, sizeof cwd) ? cwd : ".";
        ASSERT_EQ(chdir(NIMB_RUN_DIR), 0);
        m_pd3dDevice = m_fake.MakeDevice();
        ASSERT_NE(m_pd3dDevice, nullptr);
        m_pd3dDevice->GetDeviceCaps(&g_d3dCaps);
        InitTextureCache();
    }
    void TearDown() override
    {
        m_model.Release(&g_d3dCaps);
        FreeTextureCache();
        if (m_pd3dDevice) {
            EXPECT_EQ(m_pd3dDevice->Release(), 0u);
        }
        m_pd3dDevice = nullptr;
        EXPECT_EQ(chdir(m_previous.c_str()), 0);
    }

    static D3DXVECTOR3 Place(SkinFrame* root, const char* bone)
    {
        const SkinFrame* f = static_cast<SkinFrame*>(D3DXFrameFind(root, bone));
        return f ? D3DXVECTOR3(f->m_combined._41, f->m_combined._42, f->m_combined._43) : D3DXVECTOR3(0, 0, 0);
    }

    FakeD3D9 m_fake;
    SkinnedModel m_model;
    std::string m_previous;
};

TEST_P(EnginePlayerModel, LoadsWithItsBoundsBonesAndAWalkThatSwingsTheLimbs)
{
    char file[64];
    std::snprintf(file, sizeof file, "data\\models\\tiny-tex%03d-lod%d.x", GetParam() / 3, GetParam() % 3);
    SCOPED_TRACE(file);
    D3DXVECTOR3 center;
    float radius = 0.0f;
    ASSERT_EQ(m_model.Load(file, "data\\shaders\\SkinnedMesh.fx", &g_d3dCaps, m_pd3dDevice, &center, &radius), S_OK);

    // 520 to 540 units tall with the origin at mid-height: the sphere, about
    // the mean vertex, holds the head and the feet.
    EXPECT_GT(radius, 255.0f);
    EXPECT_LT(radius, 320.0f);
    EXPECT_LT(D3DXVec3Length(&center), 50.0f);
    for (float y : {-255.0f, 255.0f}) {
        const D3DXVECTOR3 d = D3DXVECTOR3(0.0f, y, 0.0f) - center;
        EXPECT_LE(D3DXVec3Length(&d), radius) << y;
    }

    int skinned = 0;
    for (D3DXMESHCONTAINER* m = m_model.m_pFrameRoot->pMeshContainer; m; m = m->pNextMeshContainer) {
        SkinMeshContainer* c = static_cast<SkinMeshContainer*>(m);
        if (!c->pSkinInfo)
            continue;
        ++skinned;
        EXPECT_EQ(c->pSkinInfo->GetNumBones(), 21u);
        EXPECT_EQ(c->m_paletteSize, 21u);
        EXPECT_GE(c->m_maxInfluences, 1u);
        EXPECT_LE(c->m_maxInfluences, 4u);
        EXPECT_NE(c->m_materialTextures[0], nullptr) << "the texture loads";
    }
    EXPECT_EQ(skinned, 1);
    EXPECT_EQ(m_model.m_numBoneMatrices, 21u);

    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    const char* const limbs[] = {"L_Hand", "R_Hand", "L_Foot", "R_Foot"};
    D3DXVECTOR3 start[4];
    m_model.Update(&world, 0.0f, 1.0f);
    for (int i = 0; i < 4; ++i)
        start[i] = Place(m_model.m_pFrameRoot, limbs[i]);
    EXPECT_LT(start[2].y, -150.0f) << "the feet are low";
    EXPECT_GT(start[0].y, -100.0f) << "the hands hang at the side";
    // A quarter of a second in, every hand and foot has swung.
    m_model.Update(&world, 0.25f, 1.0f);
    for (int i = 0; i < 4; ++i) {
        const D3DXVECTOR3 d = Place(m_model.m_pFrameRoot, limbs[i]) - start[i];
        EXPECT_GT(D3DXVec3Length(&d), 10.0f) << limbs[i];
    }
}

INSTANTIATE_TEST_SUITE_P(ShowData, EnginePlayerModel, ::testing::Range(0, 9));

} // namespace
