// SkinMesh on the recording fake device: the level chosen by view depth, the
// animation time carried between levels, the shared random speed walk, the
// frame-time cap, fog while drawing, and levels that did not load.
#include "skinned_fixture.h"

#include <cmath>
#include <limits>

#include <mscrt.h>

#include "camera.h"
#include "renderer.h"
#include "skinmesh.h"
#include "skinnedmodel.h"

using namespace skinned;

namespace {

class SkinMeshTest : public FakeSkinTest {
protected:
    void SetUp() override
    {
        FakeSkinTest::SetUp();
        folder.WriteModel("strip.x", StripFile());
        D3DXMATRIX projection;
        D3DXMatrixPerspectiveFovLH(&projection, 0.8f, 4.0f / 3.0f, 1.0f, 1000.0f);
        m_pd3dDevice->SetTransform(D3DTS_PROJECTION, &projection);
        g_speedSample = 0.0f;
        g_speedWalk = 0.0f;
    }

    // A mesh with every level loaded from the strip.
    SkinMesh* Make(int levels)
    {
        SkinMesh* mesh = new SkinMesh(levels);
        for (int i = 0; i < levels; ++i)
            EXPECT_EQ(mesh->LoadLod(i, "strip.x"), S_OK);
        return mesh;
    }

    void Draw(SkinMesh* mesh, float depth, float frameTime)
    {
        mesh->m_viewDepth = depth;
        m_pd3dDevice->BeginScene();
        EXPECT_EQ(mesh->Render(&camera, frameTime), 0);
        m_pd3dDevice->EndScene();
    }

    // The level a single first draw advanced: level 0 when no other moved.
    static int Drawn(SkinMesh* mesh)
    {
        int level = 0;
        for (int i = 1; i < mesh->m_numlods; ++i)
            if (mesh->m_lods[i]->GetTrackPosition() != 0.0)
                level = i;
        return level;
    }

    Camera camera;
};

struct LevelCase {
    int levels;
    float depth;
    int level;
};

class SkinMeshLevel : public SkinMeshTest, public ::testing::WithParamInterface<LevelCase> {
};

TEST_P(SkinMeshLevel, IsChosenByTheAbsoluteViewDepth)
{
    const LevelCase& k = GetParam();
    SkinMesh* mesh = Make(k.levels);
    Draw(mesh, k.depth, 0.1f);
    EXPECT_EQ(Drawn(mesh), k.level);
    EXPECT_NEAR(mesh->m_lods[0]->GetTrackPosition(), 0.1, 1e-6) << "level 0 keeps the time";
    delete mesh;
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(Depths, SkinMeshLevel,
                         ::testing::Values(LevelCase{3, 0.0f, 0}, LevelCase{3, 17.38f, 0}, LevelCase{3, 17.39f, 1},
                                           LevelCase{3, -17.39f, 1}, LevelCase{3, 20.0f, 1},
                                           LevelCase{3, -20.0f, 1}, LevelCase{3, 64.59f, 1},
                                           LevelCase{3, 64.6f, 2}, LevelCase{3, 1000.0f, 2},
                                           LevelCase{2, 17.38f, 0}, LevelCase{2, 17.39f, 1},
                                           LevelCase{2, 1000.0f, 1}, LevelCase{1, 1000.0f, 0},
                                           LevelCase{3, kNaN, 2}, LevelCase{3, kInf, 2}, LevelCase{3, -kInf, 2}));

TEST_F(SkinMeshTest, SwitchingLevelsContinuesTheAnimationFromTheSameTime)
{
    SkinMesh* mesh = Make(3);
    Draw(mesh, 5.0f, 0.2f);  // level 0
    Draw(mesh, 30.0f, 0.1f); // level 1 takes level 0's time and gives it back
    EXPECT_NEAR(mesh->m_lods[1]->GetTrackPosition(), 0.3, 1e-6);
    EXPECT_NEAR(mesh->m_lods[0]->GetTrackPosition(), 0.3, 1e-6);
    Draw(mesh, 100.0f, 0.1f); // level 2
    EXPECT_NEAR(mesh->m_lods[2]->GetTrackPosition(), 0.4, 1e-6);
    EXPECT_NEAR(mesh->m_lods[0]->GetTrackPosition(), 0.4, 1e-6);
    EXPECT_NEAR(mesh->m_lods[1]->GetTrackPosition(), 0.3, 1e-6) << "a level not drawn is left alone";
    Draw(mesh, -5.0f, 0.1f);
    EXPECT_NEAR(mesh->m_lods[0]->GetTrackPosition(), 0.5, 1e-6);
    EXPECT_NEAR(mesh->m_lods[2]->GetTrackPosition(), 0.4, 1e-6);
    delete mesh;
}

TEST_F(SkinMeshTest, SpeedScalesTheStepAndLongFramesAreCappedAtHalfASecond)
{
    SkinMesh* mesh = Make(1);
    mesh->m_movimiento = 0.5f;
    Draw(mesh, 5.0f, 2.0f);
    EXPECT_NEAR(mesh->m_lods[0]->GetTrackPosition(), 0.25, 1e-6);
    mesh->m_movimiento = 2.0f;
    Draw(mesh, 5.0f, 0.1f);
    EXPECT_NEAR(mesh->m_lods[0]->GetTrackPosition(), 0.45, 1e-6);
    delete mesh;
}

TEST_F(SkinMeshTest, SpeedZeroFollowsTheSharedRandomWalk)
{
    SkinMesh* a = Make(1);
    SkinMesh* b = Make(1);
    a->m_movimiento = 0.0f;
    b->m_movimiento = 0.0f;
    ms_srand(7);
    const float step = 0.25f;
    for (int frame = 0; frame < 40; ++frame) {
        Draw(a, 5.0f, step);
        Draw(b, 5.0f, step);
    }
    // Replay: each draw takes one sample; the speed is the walk before it.
    ms_srand(7);
    float walk = 0.0f, sample = 0.0f;
    double posA = 0.0, posB = 0.0;
    for (int frame = 0; frame < 40; ++frame) {
        for (double* pos : {&posA, &posB}) {
            sample = (float)(ms_rand() / 32767.0 - 0.5);
            const float speed = 0.3f * walk;
            EXPECT_LE(std::fabs(speed), 0.15f);
            *pos += (double)step * speed;
            walk = walk * 15.0f / 16.0f + sample / 16.0f;
        }
    }
    EXPECT_FLOAT_EQ(g_speedWalk, walk);
    EXPECT_FLOAT_EQ(g_speedSample, sample);
    EXPECT_NE(walk, 0.0f);
    EXPECT_NEAR(a->m_lods[0]->GetTrackPosition(), posA, 1e-5);
    EXPECT_NEAR(b->m_lods[0]->GetTrackPosition(), posB, 1e-5);
    delete a;
    delete b;
}

TEST_F(SkinMeshTest, TheFirstRandomStepDoesNotMove)
{
    SkinMesh* mesh = Make(1);
    mesh->m_movimiento = 0.0f;
    ms_srand(1);
    Draw(mesh, 5.0f, 0.5f);
    EXPECT_EQ(mesh->m_lods[0]->GetTrackPosition(), 0.0);
    EXPECT_NE(g_speedWalk, 0.0f);
    delete mesh;
}

TEST_F(SkinMeshTest, FogIsOffWhileDrawingAndRestoredAfter)
{
    SkinMesh* mesh = Make(2);
    for (DWORD fog : {TRUE, FALSE}) {
        SCOPED_TRACE(fog);
        m_pd3dDevice->SetRenderState(D3DRS_FOGENABLE, fog);
        fake.ClearLog();
        Draw(mesh, 5.0f, 0.1f);
        ASSERT_FALSE(fake.Draws().empty());
        for (const FakeDraw& d : fake.Draws()) {
            EXPECT_EQ(d.renderStates[D3DRS_FOGENABLE], (DWORD)FALSE);
            EXPECT_EQ(d.stageStates[0][D3DTSS_COLOROP], (DWORD)D3DTOP_MODULATE);
            EXPECT_EQ(d.stageStates[0][D3DTSS_COLORARG1], (DWORD)D3DTA_TEXTURE);
            EXPECT_EQ(d.stageStates[0][D3DTSS_COLORARG2], (DWORD)D3DTA_DIFFUSE);
            EXPECT_EQ(d.stageStates[0][D3DTSS_ALPHAOP], (DWORD)D3DTOP_SELECTARG1);
            EXPECT_EQ(d.stageStates[1][D3DTSS_COLOROP], (DWORD)D3DTOP_DISABLE);
        }
        DWORD after = 7;
        m_pd3dDevice->GetRenderState(D3DRS_FOGENABLE, &after);
        EXPECT_EQ(after, fog);
    }
    delete mesh;
}

TEST_F(SkinMeshTest, LevelsThatDidNotLoadStillSetTheSphereFlagAndAreNotDrawn)
{
    SkinMesh* mesh = new SkinMesh(2);
    EXPECT_FALSE(mesh->m_hasSphere);
    EXPECT_EQ(mesh->m_movimiento, 1.0f);
    EXPECT_EQ(mesh->LoadLod(0, "missing.x"), S_OK);
    // The flag follows anyway; the sphere is what it was: none, at the object's place.
    EXPECT_TRUE(mesh->m_hasSphere);
    EXPECT_EQ(mesh->m_sphereRadius, 0.0f);
    EXPECT_EQ(mesh->m_sphereCenter.x, 0.0f);
    EXPECT_NE(folder.ReadFile("debug.txt").find("Cargando SkinMesh \"data\\models\\missing.x\"\n"),
              std::string::npos);
    Draw(mesh, 5.0f, 0.1f);
    EXPECT_TRUE(fake.Draws().empty());

    EXPECT_EQ(mesh->LoadLod(1, "strip.x"), S_OK);
    EXPECT_TRUE(mesh->m_hasSphere);
    EXPECT_NEAR(mesh->m_sphereCenter.x, 10.0f, 1e-4f);
    Draw(mesh, 5.0f, 0.1f); // level 0 failed: nothing drawn
    EXPECT_TRUE(fake.Draws().empty());
    Draw(mesh, 50.0f, 0.1f); // level 1 draws without a clock to carry
    EXPECT_FALSE(fake.Draws().empty());
    EXPECT_NEAR(mesh->m_lods[1]->GetTrackPosition(), 0.1, 1e-6);
    delete mesh;

    // A level that fails after one that loaded keeps that one's sphere.
    mesh = new SkinMesh(2);
    EXPECT_EQ(mesh->LoadLod(0, "strip.x"), S_OK);
    const float radius = mesh->m_sphereRadius;
    EXPECT_GT(radius, 0.0f);
    EXPECT_EQ(mesh->LoadLod(1, "missing.x"), S_OK);
    EXPECT_TRUE(mesh->m_hasSphere);
    EXPECT_EQ(mesh->m_sphereRadius, radius);
    EXPECT_NEAR(mesh->m_sphereCenter.x, 10.0f, 1e-4f);
    delete mesh;
}

TEST_F(SkinMeshTest, TheSphereIsTheLastLoadedLevels)
{
    folder.WriteModel("cells.x", CellsFile(4));
    SkinMesh* mesh = new SkinMesh(2);
    EXPECT_EQ(mesh->LoadLod(0, "strip.x"), S_OK);
    EXPECT_EQ(mesh->LoadLod(1, "cells.x"), S_OK);
    EXPECT_TRUE(mesh->m_hasSphere);
    EXPECT_LT(mesh->m_sphereCenter.x, 5.0f);
    delete mesh;
}

} // namespace
