// StaticMesh on the recording fake: loading with its log line and bounds, a
// missing file, the states it draws with, and culling by its sphere.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "camera.h"
#include "fake_engine.h"
#include "renderer.h"
#include "staticmesh.h"
#include "tailmesh.h"

namespace {

using StaticMeshTest = FakeEngineTest;

DWORD RenderState(IDirect3DDevice9* dev, D3DRENDERSTATETYPE state)
{
    DWORD v = 0;
    dev->GetRenderState(state, &v);
    return v;
}

TEST_F(StaticMeshTest, LoadLogsTheFormatAfterNormalsWereAdded)
{
    const struct {
        const char* file;
        bool colours;
        const char* line;
    } cases[] = {
        {"plain.x", false, "Cargando StaticMesh \"data\\models\\plain.x\" FVF: 0x12 (|D3DFVF_NORMAL|||D3DFVF_XYZ|)\n"},
        {"coloured.x", true,
         "Cargando StaticMesh \"data\\models\\coloured.x\" FVF: 0x52 (D3DFVF_DIFFUSE|D3DFVF_NORMAL|||D3DFVF_XYZ|)\n"},
    };
    std::string expected;
    for (const auto& c : cases) {
        WriteFile(std::string("data/models/") + c.file, XMeshText({{2, 1.0f, ""}}, c.colours));
        StaticMesh mesh;
        EXPECT_EQ(mesh.Load(c.file), S_OK);
        expected += c.line;
    }
    EXPECT_EQ(ReadFile("debug.txt"), expected);
}

TEST_F(StaticMeshTest, WhenTheResourceCouldNotAddNormalsLoadAddsThemWithColours)
{
    WriteFile("data/models/plain.x", XSquareText());
    // The resource's own conversion clones into system memory: that fails.
    fake.Fail("CreateVertexBuffer").WhenArg("Pool", D3DPOOL_SYSTEMMEM).Times(1);
    StaticMesh mesh;
    ASSERT_EQ(mesh.Load("plain.x"), S_OK);
    EXPECT_EQ(ReadFile("debug.txt"), "Cargando StaticMesh \"data\\models\\plain.x\" FVF: 0x2 (||||D3DFVF_XYZ|)\n");
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;
    ID3DXMesh* loaded = mesh.m_pMesh->m_pSysMemMesh;
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetFVF(), fvf);
    EXPECT_EQ(loaded->GetOptions(), (DWORD)D3DXMESH_MANAGED);
    ASSERT_NE(mesh.m_pMesh->m_pLocalMesh, nullptr);
    EXPECT_EQ(mesh.m_pMesh->m_pLocalMesh->GetFVF(), fvf);
    // Normals from the faces; the added colour is opaque white.
    BYTE* v = nullptr;
    ASSERT_EQ(loaded->LockVertexBuffer(D3DLOCK_READONLY, (void**)&v), S_OK);
    for (DWORD i = 0; i < loaded->GetNumVertices(); ++i) {
        const float* normal = reinterpret_cast<const float*>(v + i * 28 + 12);
        EXPECT_FLOAT_EQ(std::fabs(normal[2]), 1.0f) << i;
        EXPECT_EQ(*reinterpret_cast<const DWORD*>(v + i * 28 + 24), 0xFFFFFFFFu) << i;
    }
    loaded->UnlockVertexBuffer();
    EXPECT_TRUE(mesh.m_hasSphere);
}

TEST_F(StaticMeshTest, LoadTakesTheSphereAndBoxOfTheMeshsOwnUnits)
{
    WriteFile("data/models/square.x", XSquareText());
    StaticMesh mesh;
    EXPECT_FALSE(mesh.m_hasSphere);
    EXPECT_FALSE(mesh.m_hasBox);
    mesh.m_scale = 3.0f;
    ASSERT_EQ(mesh.Load("square.x"), S_OK);
    EXPECT_TRUE(mesh.m_hasSphere);
    EXPECT_TRUE(mesh.m_hasBox);
    EXPECT_NEAR(mesh.m_sphereCenter.x, 0.0f, 1e-6);
    EXPECT_NEAR(mesh.m_sphereCenter.y, 0.0f, 1e-6);
    EXPECT_NEAR(mesh.m_sphereRadius, std::sqrt(2.0f), 1e-5);
    EXPECT_EQ(mesh.m_boxMin, D3DXVECTOR3(-1, -1, 0));
    EXPECT_EQ(mesh.m_boxMax, D3DXVECTOR3(1, 1, 0));
    ASSERT_NE(mesh.m_pMesh->m_pLocalMesh, nullptr);
}

TEST_F(StaticMeshTest, AFileThatCannotBeLoadedStopsTheLoadAndDrawsNothing)
{
    StaticMesh mesh;
    EXPECT_TRUE(FAILED(mesh.Load("nowhere.x")));
    EXPECT_FALSE(mesh.m_hasSphere);
    EXPECT_FALSE(mesh.m_hasBox);
    EXPECT_EQ(ReadFile("debug.txt"), "");
    EXPECT_EQ(fake.Count("VertexBuffer::Lock"), 0u);
    dev->BeginScene();
    EXPECT_EQ(mesh.Render(nullptr, 0.0f), 0);
    dev->EndScene();
    EXPECT_TRUE(fake.Draws().empty());
}

TEST_F(StaticMeshTest, APathLongerThanItsBufferIsRefused)
{
    StaticMesh mesh;
    std::string name(5000, 'a');
    EXPECT_TRUE(FAILED(mesh.Load(name.c_str())));
    EXPECT_EQ(fake.Count("CreateVertexBuffer"), 0u);
}

TEST_F(StaticMeshTest, OpacityBelowOneBlendsWithTheFactorAloneAndWithoutDepthTest)
{
    WriteFile("data/models/square.x", XSquareText());
    StaticMesh mesh;
    ASSERT_EQ(mesh.Load("square.x"), S_OK);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float alpha;
        bool blended;
        DWORD factor;
    } cases[] = {
        {1.0f, false, 0}, {0.5f, true, 0x7F7F7F7F}, {0.999f, true, 0xFEFEFEFE},
        {0.0f, true, 0},  {1.5f, true, 0xFFFFFFFF}, {-0.5f, true, 0},
        {nan, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.alpha);
        mesh.m_alpha = c.alpha;
        dev->SetRenderState(D3DRS_TEXTUREFACTOR, 0x12345678);
        fake.ClearLog();
        dev->BeginScene();
        EXPECT_EQ(mesh.Render(nullptr, 0.0f), 0);
        dev->EndScene();
        ASSERT_EQ(fake.Draws().size(), 1u);
        const FakeDraw& d = fake.Draws()[0];
        EXPECT_EQ(d.renderStates[D3DRS_ALPHABLENDENABLE], (DWORD)c.blended);
        EXPECT_EQ(d.renderStates[D3DRS_ZENABLE], c.blended ? (DWORD)D3DZB_FALSE : (DWORD)D3DZB_TRUE);
        EXPECT_EQ(d.stageStates[0][D3DTSS_COLOROP], (DWORD)D3DTOP_MODULATE);
        EXPECT_EQ(d.stageStates[0][D3DTSS_COLORARG1], (DWORD)D3DTA_TEXTURE);
        EXPECT_EQ(d.stageStates[0][D3DTSS_COLORARG2], (DWORD)D3DTA_DIFFUSE);
        EXPECT_EQ(d.stageStates[0][D3DTSS_ALPHAOP], (DWORD)D3DTOP_SELECTARG1);
        EXPECT_EQ(d.stageStates[0][D3DTSS_ALPHAARG1], c.blended ? (DWORD)D3DTA_TFACTOR : (DWORD)D3DTA_TEXTURE);
        EXPECT_EQ(d.stageStates[1][D3DTSS_COLOROP], (DWORD)D3DTOP_DISABLE);
        EXPECT_EQ(d.stageStates[1][D3DTSS_ALPHAOP], (DWORD)D3DTOP_DISABLE);
        if (c.blended) {
            EXPECT_EQ(d.renderStates[D3DRS_TEXTUREFACTOR], c.factor);
            EXPECT_EQ(d.renderStates[D3DRS_SRCBLEND], (DWORD)D3DBLEND_SRCALPHA);
            EXPECT_EQ(d.renderStates[D3DRS_DESTBLEND], (DWORD)D3DBLEND_INVSRCALPHA);
        } else {
            EXPECT_EQ(d.renderStates[D3DRS_TEXTUREFACTOR], 0x12345678u);
        }
        // Blending and the depth test are put back; the factor stays.
        EXPECT_EQ(RenderState(dev, D3DRS_ALPHABLENDENABLE), (DWORD)FALSE);
        EXPECT_EQ(RenderState(dev, D3DRS_ZENABLE), (DWORD)D3DZB_TRUE);
    }
}

TEST_F(StaticMeshTest, WithoutMaterialsTheColourAndOpacityAreTheVertexDiffuse)
{
    WriteFile("data/models/square.x", XSquareText());
    StaticMesh mesh;
    ASSERT_EQ(mesh.Load("square.x"), S_OK);
    mesh.m_pMesh->m_useMaterials = false;
    fake.ClearLog();
    dev->BeginScene();
    mesh.Render(nullptr, 0.0f);
    dev->EndScene();
    ASSERT_EQ(fake.Draws().size(), 1u);
    const FakeDraw& d = fake.Draws()[0];
    EXPECT_EQ(d.stageStates[0][D3DTSS_COLOROP], (DWORD)D3DTOP_SELECTARG1);
    EXPECT_EQ(d.stageStates[0][D3DTSS_COLORARG1], (DWORD)D3DTA_DIFFUSE);
    EXPECT_EQ(d.stageStates[0][D3DTSS_ALPHAOP], (DWORD)D3DTOP_SELECTARG1);
    EXPECT_EQ(d.stageStates[0][D3DTSS_ALPHAARG1], (DWORD)D3DTA_DIFFUSE);
}

TEST_F(StaticMeshTest, TwoSidedDrawsWithoutCullingAndLeavesCounterClockwiseCullingOn)
{
    WriteFile("data/models/square.x", XSquareText());
    StaticMesh mesh;
    ASSERT_EQ(mesh.Load("square.x"), S_OK);
    for (bool twoSided : {false, true}) {
        SCOPED_TRACE(twoSided);
        mesh.m_twoSided = twoSided;
        dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
        fake.ClearLog();
        dev->BeginScene();
        mesh.Render(nullptr, 0.0f);
        dev->EndScene();
        ASSERT_EQ(fake.Draws().size(), 1u);
        EXPECT_EQ(fake.Draws()[0].renderStates[D3DRS_CULLMODE], twoSided ? (DWORD)D3DCULL_NONE : (DWORD)D3DCULL_CW);
        EXPECT_EQ(RenderState(dev, D3DRS_CULLMODE), twoSided ? (DWORD)D3DCULL_CCW : (DWORD)D3DCULL_CW);
    }
}

TEST_F(StaticMeshTest, TheSceneCullsAMeshByItsScaledSphere)
{
    WriteFile("data/models/square.x", XSquareText());
    // The default camera at z = -4 sees about 3.1 to each side at z = 0.
    const struct {
        float x, scale;
        bool drawn;
    } cases[] = {{0.0f, 1.0f, true}, {100.0f, 1.0f, false}, {5.5f, 1.0f, false}, {5.5f, 2.0f, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        StaticMesh* mesh = new StaticMesh();
        ASSERT_EQ(mesh->Load("square.x"), S_OK);
        mesh->m_position.x = c.x;
        mesh->m_scale = c.scale;
        Scene scene;
        scene.Add(mesh);
        Camera camera;
        fake.ClearLog();
        dev->BeginScene();
        scene.Render(&camera, 0.0f);
        dev->EndScene();
        EXPECT_EQ(fake.Draws().size(), c.drawn ? 1u : 0u);
        EXPECT_EQ(mesh->m_visible, c.drawn);
        delete mesh;
    }
}

TEST_F(StaticMeshTest, DestroyingAMeshReleasesEverythingItLoaded)
{
    WriteTexture("red.bmp", 0xFF0000);
    WriteFile("data/models/textured.x", XMeshText({{1, 1.0f, "red.bmp"}}));
    const size_t deviceOnly = fake.LiveObjects();
    StaticMesh* mesh = new StaticMesh();
    ASSERT_EQ(mesh->Load("textured.x"), S_OK);
    EXPECT_GT(fake.LiveObjects(), deviceOnly);
    delete mesh;
    EXPECT_EQ(fake.LiveObjects(), deviceOnly);
}

} // namespace
