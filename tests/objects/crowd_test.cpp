// Crowds and impostors on the recording fake: shared meshes, the impostor's
// resources and their failures, the depth at which the impostor takes over,
// the refresh threshold and what a refresh does to the device.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "camera.h"
#include "crowd.h"
#include "fake_engine.h"
#include "renderer.h"

namespace {

class CrowdTest : public FakeEngineTest {
protected:
    void SetUp() override
    {
        FakeEngineTest::SetUp();
        WriteFile("data/models/square.x", XSquareText());
    }

    // Draws the object as the scene would: its world transform set, the
    // camera applied, the view depth stored.
    void Draw(SceneObject* o, Camera* camera, float viewDepth)
    {
        camera->Apply();
        o->UpdateWorld();
        dev->SetTransform(D3DTS_WORLD, o->GetWorld());
        o->m_viewDepth = viewDepth;
        dev->BeginScene();
        o->Render(camera, 0.0f);
        dev->EndScene();
    }

    // An instance the test owns; the crowd forgets it.
    static std::unique_ptr<CrowdMesh> Instance(Crowd& crowd)
    {
        std::unique_ptr<CrowdMesh> m(crowd.AddInstance());
        crowd.m_instances.clear();
        return m;
    }

    // Render-target switches since the log was cleared.
    size_t Switches() { return fake.Count("SetRenderTarget"); }
};

TEST_F(CrowdTest, InstancesShareTheCrowdsMeshAndBoundsAndOutliveIt)
{
    Crowd* crowd = new Crowd(false);
    ASSERT_EQ(crowd->Load("square.x"), S_OK);
    const size_t texturesBefore = fake.Count("CreateTexture");
    std::vector<CrowdMesh*> made;
    for (int i = 0; i < 3; ++i)
        made.push_back(crowd->AddInstance());
    EXPECT_EQ(std::vector<CrowdMesh*>(crowd->m_instances.begin(), crowd->m_instances.end()), made);
    for (CrowdMesh* m : made) {
        EXPECT_EQ(m->m_pMesh, crowd->m_pMesh);
        EXPECT_TRUE(m->m_hasSphere);
        EXPECT_TRUE(m->m_hasBox);
        EXPECT_EQ(m->m_sphereCenter, crowd->m_sphereCenter);
        EXPECT_EQ(m->m_sphereRadius, crowd->m_sphereRadius);
        EXPECT_EQ(m->m_boxMin, D3DXVECTOR3(-1, -1, 0));
        EXPECT_EQ(m->m_boxMax, D3DXVECTOR3(1, 1, 0));
        EXPECT_FALSE(m->m_useImpostor);
        EXPECT_EQ(m->m_pImpostorTexture, nullptr);
        EXPECT_EQ(m->vertexBufferImpostor, nullptr);
        EXPECT_EQ(m->m_impostorAngle, 1000.0f);
        EXPECT_FALSE(m->m_transparent);
    }
    // Without impostors nothing more is made, and every depth draws the mesh.
    EXPECT_EQ(fake.Count("CreateTexture"), texturesBefore);
    Camera camera;
    fake.ClearLog();
    Draw(made[0], &camera, 500.0f);
    ASSERT_EQ(fake.Draws().size(), 1u);
    EXPECT_EQ(fake.Draws()[0].method, "DrawIndexedPrimitive");

    // The crowd draws nothing itself.
    fake.ClearLog();
    dev->BeginScene();
    EXPECT_EQ(crowd->Render(&camera, 0.0f), 0);
    dev->EndScene();
    EXPECT_TRUE(fake.Draws().empty());

    // Deleting the crowd deletes the mesh but none of the instances.
    delete crowd;
    for (CrowdMesh* m : made) {
        EXPECT_EQ(m->m_scale, 1.0f);
        delete m;
    }
}

TEST_F(CrowdTest, ImpostorTexturesTryTheFormatsInOrder)
{
    const struct {
        std::vector<D3DFORMAT> accepted;
        std::vector<uint64_t> tried;
        bool impostor;
    } cases[] = {
        {{D3DFMT_A1R5G5B5, D3DFMT_A8R8G8B8}, {D3DFMT_A1R5G5B5}, true},
        {{D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8}, {D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4}, true},
        {{D3DFMT_A8R8G8B8}, {D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8}, true},
        {{D3DFMT_X8R8G8B8}, {D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8}, false},
    };
    Crowd crowd(true);
    ASSERT_EQ(crowd.Load("square.x"), S_OK);
    for (const auto& c : cases) {
        fake.renderTargetFormats = std::set<D3DFORMAT>(c.accepted.begin(), c.accepted.end());
        fake.ClearLog();
        std::unique_ptr<CrowdMesh> m = Instance(crowd);
        std::vector<uint64_t> tried;
        for (const FakeCall* call : fake.Find("CreateTexture")) {
            EXPECT_EQ(call->Arg("Width"), 128u);
            EXPECT_EQ(call->Arg("Height"), 128u);
            EXPECT_EQ(call->Arg("Levels"), 1u);
            EXPECT_EQ(call->Arg("Usage"), (uint64_t)D3DUSAGE_RENDERTARGET);
            EXPECT_EQ(call->Arg("Pool"), (uint64_t)D3DPOOL_DEFAULT);
            tried.push_back(call->Arg("Format"));
        }
        EXPECT_EQ(tried, c.tried);
        EXPECT_EQ(m->m_useImpostor, c.impostor);
        EXPECT_EQ(m->m_pImpostorTexture != nullptr, c.impostor);
        EXPECT_EQ(m->vertexBufferImpostor != nullptr, c.impostor);
        // Managed resources are evicted before the target is made.
        std::vector<std::string> order = fake.Sequence({"EvictManagedResources", "CreateTexture"});
        ASSERT_FALSE(order.empty());
        EXPECT_EQ(order.front(), "EvictManagedResources");
        if (!c.impostor) {
            EXPECT_EQ(fake.Count("CreateVertexBuffer"), 0u);
            fake.ClearLog();
            Camera camera;
            Draw(m.get(), &camera, 50.0f);
            ASSERT_EQ(fake.Draws().size(), 1u);
            EXPECT_EQ(fake.Draws()[0].method, "DrawIndexedPrimitive");
        }
    }
}

// The quad is twice as wide as the box, from the box's bottom to its top,
// around the origin; one depth-stencil surface serves every impostor.
TEST_F(CrowdTest, TheImpostorQuadSpansTwiceTheBoxWidth)
{
    WriteFile("data/models/wide.x", XMeshText({{2, 1.0f, ""}})); // x 0..2.5, y 0..1
    Crowd crowd(true);
    ASSERT_EQ(crowd.Load("wide.x"), S_OK);
    fake.ClearLog();
    std::unique_ptr<CrowdMesh> a = Instance(crowd);
    std::unique_ptr<CrowdMesh> b = Instance(crowd);
    ASSERT_TRUE(a->m_useImpostor);
    ASSERT_EQ(fake.Count("CreateVertexBuffer"), 2u);
    const FakeCall* vb = fake.Find("CreateVertexBuffer")[0];
    EXPECT_EQ(vb->Arg("Length"), 80u);
    EXPECT_EQ(vb->Arg("Usage"), 0u);
    EXPECT_EQ(vb->Arg("FVF"), 0x102u);
    EXPECT_EQ(vb->Arg("Pool"), (uint64_t)D3DPOOL_MANAGED);
    ASSERT_EQ(fake.Count("CreateDepthStencilSurface"), 1u);
    const FakeCall* ds = fake.Find("CreateDepthStencilSurface")[0];
    EXPECT_EQ(ds->Arg("Width"), 128u);
    EXPECT_EQ(ds->Arg("Height"), 128u);
    EXPECT_EQ(ds->Arg("Format"), (uint64_t)D3DFMT_D24S8);

    float* v = nullptr;
    ASSERT_EQ(a->vertexBufferImpostor->Lock(0, 0, reinterpret_cast<void**>(&v), D3DLOCK_READONLY), S_OK);
    const float w = 2.5f;
    const float expected[4][5] = {{-w, 1, 0, 0, 0}, {w, 1, 0, 1, 0}, {-w, 0, 0, 0, 1}, {w, 0, 0, 1, 1}};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 5; ++k)
            EXPECT_NEAR(v[i * 5 + k], expected[i][k], 1e-6) << i << "," << k;
    a->vertexBufferImpostor->Unlock();
}

TEST_F(CrowdTest, FailedImpostorResourcesAreReleasedAndTheMeshIsDrawn)
{
    const char* failing[] = {"CreateDepthStencilSurface", "CreateVertexBuffer", "VertexBuffer::Lock",
                             "VertexBuffer::Unlock"};
    Crowd crowd(true);
    ASSERT_EQ(crowd.Load("square.x"), S_OK);
    const size_t alive = fake.LiveObjects();
    for (const char* method : failing) {
        SCOPED_TRACE(method);
        fake.ClearFailures();
        fake.Fail(method);
        std::unique_ptr<CrowdMesh> m = Instance(crowd);
        EXPECT_FALSE(m->m_useImpostor);
        EXPECT_EQ(m->m_pImpostorTexture, nullptr);
        EXPECT_EQ(m->vertexBufferImpostor, nullptr);
        EXPECT_EQ(fake.LiveObjects(), alive);
        fake.ClearLog();
        Camera camera;
        Draw(m.get(), &camera, 50.0f);
        ASSERT_EQ(fake.Draws().size(), 1u);
        EXPECT_EQ(fake.Draws()[0].method, "DrawIndexedPrimitive");
    }
}

TEST_F(CrowdTest, TheImpostorTakesOverFromAViewDepthOfTwenty)
{
    Crowd crowd(true);
    ASSERT_EQ(crowd.Load("square.x"), S_OK);
    std::unique_ptr<CrowdMesh> m = Instance(crowd);
    m->m_position = D3DXVECTOR3(0, 0, 30);
    m->m_alpha = 0.5f;
    Camera camera;

    fake.ClearLog();
    Draw(m.get(), &camera, 19.99f);
    ASSERT_EQ(fake.Draws().size(), 1u);
    EXPECT_EQ(fake.Draws()[0].method, "DrawIndexedPrimitive");
    EXPECT_EQ(Switches(), 0u);

    fake.ClearLog();
    Draw(m.get(), &camera, 20.0f);
    // The refresh draws the mesh into the impostor, then the quad is drawn.
    ASSERT_EQ(fake.Draws().size(), 2u);
    const FakeDraw& into = fake.Draws()[0];
    EXPECT_EQ(into.method, "DrawIndexedPrimitive");
    EXPECT_NE(into.renderTarget, fake.AsFake(dev)->BackBuffer(0));
    const FakeDraw& quad = fake.Draws()[1];
    EXPECT_EQ(quad.method, "DrawPrimitive");
    EXPECT_EQ(quad.type, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(quad.primitiveCount, 2u);
    EXPECT_EQ(quad.fvf, 0x102u);
    EXPECT_EQ(quad.textures[0], m->m_pImpostorTexture);
    EXPECT_EQ(quad.renderTarget, fake.AsFake(dev)->BackBuffer(0));
    EXPECT_EQ(quad.stageStates[0][D3DTSS_COLOROP], (DWORD)D3DTOP_SELECTARG1);
    EXPECT_EQ(quad.stageStates[0][D3DTSS_COLORARG1], (DWORD)D3DTA_TEXTURE);
    EXPECT_EQ(quad.stageStates[0][D3DTSS_ALPHAOP], (DWORD)D3DTOP_SELECTARG1);
    EXPECT_EQ(quad.stageStates[0][D3DTSS_ALPHAARG1], (DWORD)D3DTA_TEXTURE);
    EXPECT_EQ(quad.stageStates[1][D3DTSS_COLOROP], (DWORD)D3DTOP_DISABLE);
    EXPECT_EQ(quad.stageStates[1][D3DTSS_ALPHAOP], (DWORD)D3DTOP_DISABLE);
    EXPECT_EQ(quad.renderStates[D3DRS_ALPHABLENDENABLE], (DWORD)TRUE);
    EXPECT_EQ(quad.renderStates[D3DRS_SRCBLEND], (DWORD)D3DBLEND_SRCALPHA);
    EXPECT_EQ(quad.renderStates[D3DRS_DESTBLEND], (DWORD)D3DBLEND_INVSRCALPHA);
    EXPECT_EQ(quad.renderStates[D3DRS_LIGHTING], (DWORD)TRUE);
    EXPECT_EQ(quad.renderStates[D3DRS_ZWRITEENABLE], (DWORD)TRUE);
    // Billboard: upright at the object's position, the view restored.
    EXPECT_EQ(quad.world.m[1][0], 0.0f);
    EXPECT_EQ(quad.world.m[1][1], 1.0f);
    EXPECT_EQ(quad.world.m[1][2], 0.0f);
    EXPECT_EQ(quad.world.m[3][2], 30.0f);
    EXPECT_EQ(std::memcmp(&quad.view, camera.GetView(), sizeof(D3DMATRIX)), 0);
    DWORD blend = TRUE;
    dev->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
    EXPECT_EQ(blend, (DWORD)FALSE);
    EXPECT_FALSE(m->m_transparent);
    // UsesImpostor says so and only then marks the object transparent.
    EXPECT_TRUE(m->UsesImpostor());
    EXPECT_TRUE(m->m_transparent);
    m->m_viewDepth = 19.99f;
    EXPECT_FALSE(m->UsesImpostor());
    EXPECT_FALSE(m->m_transparent);
}

// A refresh renders into the impostor with its own depth surface, clears it
// to transparent black, and puts the back buffer and the frame's depth back.
TEST_F(CrowdTest, ARefreshSwapsTargetAndDepthAndPutsBothBack)
{
    Crowd crowd(true);
    ASSERT_EQ(crowd.Load("square.x"), S_OK);
    std::unique_ptr<CrowdMesh> m = Instance(crowd);
    m->m_position = D3DXVECTOR3(0, 0, 30);
    Camera camera;
    FakeDevice* fd = fake.AsFake(dev);
    FakeSurface* frameDepth = fd->CurrentDepthStencil();
    fake.ClearLog();
    Draw(m.get(), &camera, 30.0f);
    EXPECT_EQ(m->m_impostorAngle, 0.0f);

    const std::vector<std::string> order = fake.Sequence(
        {"SetRenderTarget", "SetDepthStencilSurface", "Clear", "DrawIndexedPrimitive", "DrawPrimitive"});
    const std::vector<std::string> expected = {"SetRenderTarget",      "SetDepthStencilSurface",
                                               "Clear",                "DrawIndexedPrimitive",
                                               "SetDepthStencilSurface", "SetRenderTarget",
                                               "DrawPrimitive"};
    EXPECT_EQ(order, expected);
    const FakeCall* clear = fake.Find("Clear")[0];
    EXPECT_EQ(clear->Arg("Flags"), (uint64_t)(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL));
    EXPECT_EQ(clear->Arg("Color"), 0u);
    EXPECT_EQ(clear->ArgF("Z"), 1.0f);
    EXPECT_EQ(clear->Arg("Stencil"), 0u);
    const std::vector<const FakeCall*> depths = fake.Find("SetDepthStencilSurface");
    ASSERT_EQ(depths.size(), 2u);
    FakeSurface* own = fake.AsFake(reinterpret_cast<IDirect3DSurface9*>(depths[0]->Arg("ZStencil")));
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->Desc().Width, 128u);
    EXPECT_EQ(own->Desc().Height, 128u);
    EXPECT_EQ(fd->CurrentDepthStencil(), frameDepth);
    EXPECT_EQ(fd->CurrentRenderTarget(), fd->BackBuffer(0));
    // The mesh went into the impostor with depth writes on and no blending,
    // seen from 9 units on the camera's side, level with the origin.
    const FakeDraw& into = fake.Draws()[0];
    EXPECT_EQ(into.renderStates[D3DRS_ZWRITEENABLE], (DWORD)TRUE);
    EXPECT_EQ(into.renderStates[D3DRS_ALPHABLENDENABLE], (DWORD)FALSE);
    D3DXMATRIX view(into.view);
    D3DXVECTOR3 origin(0, 0, 30), seen;
    D3DXVec3TransformCoord(&seen, &origin, &view);
    EXPECT_NEAR(seen.x, 0.0f, 1e-5);
    EXPECT_NEAR(seen.y, 0.0f, 1e-5);
    EXPECT_NEAR(seen.z, 9.0f, 1e-5);

    // The same view again: no refresh.
    fake.ClearLog();
    Draw(m.get(), &camera, 30.0f);
    EXPECT_EQ(Switches(), 0u);
    EXPECT_EQ(fake.Draws().size(), 1u);
}

TEST_F(CrowdTest, ACameraThatPitchesDownLeavesTheBillboardUpright)
{
    Crowd crowd(true);
    ASSERT_EQ(crowd.Load("square.x"), S_OK);
    std::unique_ptr<CrowdMesh> m = Instance(crowd);
    m->m_position = D3DXVECTOR3(3, 0, 30);
    m->m_scale = 2.0f;
    Camera camera;
    camera.SetPosition(0, 20, -4);
    camera.SetLookAt(0, 0, 30);
    fake.ClearLog();
    Draw(m.get(), &camera, 30.0f);
    ASSERT_FALSE(fake.Draws().empty());
    const D3DMATRIX& w = fake.Draws().back().world;
    // Right along the camera's level right, up along the world's up.
    EXPECT_NEAR(w.m[0][1], 0.0f, 1e-6);
    EXPECT_NEAR(std::hypot(w.m[0][0], w.m[0][2]), 2.0f, 1e-5);
    EXPECT_EQ(w.m[1][0], 0.0f);
    EXPECT_EQ(w.m[1][1], 2.0f);
    EXPECT_EQ(w.m[1][2], 0.0f);
    EXPECT_EQ(w.m[3][0], 3.0f);
    EXPECT_EQ(w.m[3][1], 0.0f);
    EXPECT_EQ(w.m[3][2], 30.0f);
}

TEST_F(CrowdTest, OnADepthFormatWithoutStencilTheClearIsRetriedWithoutIt)
{
    IDirect3DDevice9* noStencil = fake.MakeDevice(800, 600, D3DFMT_D24X8);
    ASSERT_NE(noStencil, nullptr);
    IDirect3DDevice9* previous = m_pd3dDevice;
    m_pd3dDevice = noStencil;
    {
        Crowd crowd(true);
        ASSERT_EQ(crowd.Load("square.x"), S_OK);
        std::unique_ptr<CrowdMesh> m = Instance(crowd);
        ASSERT_TRUE(m->m_useImpostor);
        m->m_position = D3DXVECTOR3(0, 0, 30);
        Camera camera;
        fake.ClearLog();
        camera.Apply();
        m->UpdateWorld();
        noStencil->SetTransform(D3DTS_WORLD, m->GetWorld());
        m->m_viewDepth = 30.0f;
        noStencil->BeginScene();
        m->Render(&camera, 0.0f);
        noStencil->EndScene();
        const std::vector<const FakeCall*> clears = fake.Find("Clear");
        ASSERT_EQ(clears.size(), 2u);
        EXPECT_TRUE(FAILED(clears[0]->result));
        EXPECT_EQ(clears[1]->Arg("Flags"), (uint64_t)(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER));
        EXPECT_EQ(clears[1]->result, S_OK);
    }
    m_pd3dDevice = previous;
    noStencil->Release();
}

TEST_F(CrowdTest, RefreshesFollowTheHorizontalAngleThreshold)
{
    struct Case {
        float stored, angle;
        bool refresh;
    };
    const Case cases[] = {
        {1000.0f, 0.0f, true},      {1000.0f, -3.14f, true},  {0.5f, 0.5f, false},
        {0.5f, 0.5f + 0.01f, false}, {0.5f, 0.5f - 0.01f, false}, {0.5f, 0.511f, true},
        {0.5f, 0.489f, true},       {3.14f, -3.1405f, false}, {3.14f, -3.13f, true},
        {-3.14f, 3.1405f, false},   {-3.14f, 3.13f, true},    {1.0f, -1.0f, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ImpostoredMesh::NeedsRefresh(c.stored, c.angle), c.refresh) << c.stored << " -> " << c.angle;

    // Driven by the camera: turning the view about the object by less than
    // the threshold keeps the image, by more renders it again.
    Crowd crowd(true);
    ASSERT_EQ(crowd.Load("square.x"), S_OK);
    std::unique_ptr<CrowdMesh> m = Instance(crowd);
    m->m_position = D3DXVECTOR3(0, 0, 30);
    Camera camera;
    Draw(m.get(), &camera, 30.0f);
    const float start = m->m_impostorAngle;
    const struct {
        float eyeX;
        bool refresh;
    } moves[] = {{0.2f, false}, {0.35f, true}, {0.35f, false}, {-0.5f, true}};
    for (const auto& mv : moves) {
        camera.SetPosition(mv.eyeX, 0, -4);
        camera.SetLookAt(mv.eyeX, 0, 0);
        fake.ClearLog();
        Draw(m.get(), &camera, 30.0f);
        EXPECT_EQ(Switches() != 0, mv.refresh) << mv.eyeX;
        if (mv.refresh) {
            EXPECT_NEAR(m->m_impostorAngle, std::atan2(-mv.eyeX, 34.0f), 1e-6);
        }
    }
    EXPECT_NE(m->m_impostorAngle, start);
}

TEST_F(CrowdTest, AFailedTargetSwitchDrawsTheMeshAndTriesAgainNextFrame)
{
    Crowd crowd(true);
    ASSERT_EQ(crowd.Load("square.x"), S_OK);
    std::unique_ptr<CrowdMesh> m = Instance(crowd);
    m->m_position = D3DXVECTOR3(0, 0, 30);
    Camera camera;
    FakeDevice* fd = fake.AsFake(dev);
    for (const char* method : {"GetSurfaceLevel", "SetDepthStencilSurface"}) {
        SCOPED_TRACE(method);
        fake.ClearFailures();
        fake.Fail(method).Times(1);
        fake.ClearLog();
        Draw(m.get(), &camera, 30.0f);
        EXPECT_EQ(m->m_impostorAngle, 1000.0f);
        ASSERT_EQ(fake.Draws().size(), 1u);
        EXPECT_EQ(fake.Draws()[0].method, "DrawIndexedPrimitive");
        EXPECT_EQ(fd->CurrentRenderTarget(), fd->BackBuffer(0));
        EXPECT_EQ(fd->CurrentDepthStencil(), fd->AutoDepthStencil());
    }
    fake.ClearFailures();
    Draw(m.get(), &camera, 30.0f);
    EXPECT_EQ(m->m_impostorAngle, 0.0f);
}

TEST_F(CrowdTest, EveryDrawOfAnInstanceDumpsTheRenderStates)
{
    Crowd crowd(false);
    ASSERT_EQ(crowd.Load("square.x"), S_OK);
    std::unique_ptr<CrowdMesh> a = Instance(crowd);
    std::unique_ptr<CrowdMesh> b = Instance(crowd);
    Camera camera;
    Draw(a.get(), &camera, 5.0f);
    const std::string before = ReadFile("debug.txt");
    Draw(a.get(), &camera, 5.0f);
    Draw(b.get(), &camera, 5.0f);
    const std::string dashes(52, '-');
    EXPECT_EQ(ReadFile("debug.txt").substr(before.size()), dashes + "\n" + dashes + "\n");
}

TEST_F(CrowdTest, AStaticImpostoredMeshMovesBetweenThePassesByItsDepth)
{
    StaticImpostoredMesh mesh;
    EXPECT_TRUE(mesh.m_transparent);
    EXPECT_TRUE(mesh.m_useImpostor);
    EXPECT_EQ(mesh.m_pImpostorTexture, nullptr);
    mesh.m_position = D3DXVECTOR3(0.5f, 2.0f, 0.0f);
    EXPECT_EQ(mesh.Load("square.x"), 0);
    ASSERT_NE(mesh.m_pImpostorTexture, nullptr);
    float* v = nullptr;
    ASSERT_EQ(mesh.vertexBufferImpostor->Lock(0, 0, reinterpret_cast<void**>(&v), D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(v[0], 0.5f - 2.0f);
    EXPECT_EQ(v[1], 2.0f + 1.0f);
    EXPECT_EQ(v[15], 0.5f + 2.0f);
    EXPECT_EQ(v[16], 2.0f - 1.0f);
    mesh.vertexBufferImpostor->Unlock();

    Camera camera;
    // Its own depth from the world and the view, whatever the scene stored.
    mesh.m_position = D3DXVECTOR3(0, 0, 10);
    fake.ClearLog();
    Draw(&mesh, &camera, 100.0f);
    EXPECT_FALSE(mesh.m_transparent);
    EXPECT_EQ(Switches(), 0u);
    mesh.m_position = D3DXVECTOR3(0, 0, 16);
    fake.ClearLog();
    Draw(&mesh, &camera, 0.0f);
    EXPECT_TRUE(mesh.m_transparent);
    EXPECT_EQ(Switches(), 2u);
    ASSERT_EQ(fake.Draws().size(), 2u);
    EXPECT_EQ(fake.Draws()[1].method, "DrawPrimitive");
    DWORD zwrite = TRUE;
    dev->GetRenderState(D3DRS_ZWRITEENABLE, &zwrite);
    EXPECT_EQ(zwrite, (DWORD)FALSE);
}

} // namespace
