// Skinned models on the real device: a skeleton split over several draws
// puts every cell where its bone is, in hardware and in the software path,
// and a walking player animates and moves, on flat ground and on the show's
// fogged terrain behind the chasing camera.
#include "skinned_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "camera.h"
#include "device_fixture.h"
#include "renderer.h"
#include "scene.h"
#include "skinmesh.h"
#include "skinnedmodel.h"
#include "terrain.h"
#include "texturecache.h"
#include "utils.h"

using namespace skinned;

namespace {

const int kWidth = 160, kHeight = 120;
const DWORD kSky = 0xFFFF00FF;

class RealSkinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.ok());
        hwnd = TestWindow(kWidth, kHeight);
        ASSERT_NE(hwnd, nullptr);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        D3DPRESENT_PARAMETERS pp;
        std::memset(&pp, 0, sizeof pp);
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.BackBufferWidth = kWidth;
        pp.BackBufferHeight = kHeight;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.hDeviceWindow = hwnd;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &m_pd3dDevice),
                  S_OK);
        m_pd3dDevice->GetDeviceCaps(&g_d3dCaps);
        InitTextureCache();
    }
    void TearDown() override
    {
        FreeTextureCache();
        if (m_pd3dDevice) {
            EXPECT_EQ(m_pd3dDevice->Release(), 0u);
        }
        m_pd3dDevice = nullptr;
        if (d3d)
            d3d->Release();
        if (hwnd)
            DestroyWindow(hwnd);
    }

    std::vector<DWORD> Frame()
    {
        std::vector<DWORD> out;
        IDirect3DSurface9* bb = nullptr;
        if (FAILED(m_pd3dDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb)))
            return out;
        D3DLOCKED_RECT lr;
        if (SUCCEEDED(bb->LockRect(&lr, nullptr, D3DLOCK_READONLY))) {
            out.resize(kWidth * kHeight);
            for (int y = 0; y < kHeight; ++y)
                std::memcpy(&out[y * kWidth], (const BYTE*)lr.pBits + y * lr.Pitch, kWidth * 4);
            bb->UnlockRect();
        }
        bb->Release();
        return out;
    }

    // Writes the frame as a PPM picture when NIMB_SKINNED_SHOTS names a folder.
    static void Shot(const std::vector<DWORD>& f, const char* name)
    {
        const char* dir = std::getenv("NIMB_SKINNED_SHOTS");
        if (!dir || f.empty())
            return;
        FILE* out = std::fopen((std::string(dir) + "/" + name + ".ppm").c_str(), "wb");
        if (!out)
            return;
        std::fprintf(out, "P6 %d %d 255\n", kWidth, kHeight);
        for (DWORD c : f) {
            const unsigned char rgb[3] = {(unsigned char)(c >> 16), (unsigned char)(c >> 8), (unsigned char)c};
            std::fwrite(rgb, 1, 3, out);
        }
        std::fclose(out);
    }

    RunFolder folder;
    HWND hwnd = nullptr;
    IDirect3D9* d3d = nullptr;
};

struct CellsCase {
    int bones;
    bool software;
};

class SkeletonOnTheDevice : public RealSkinTest, public ::testing::WithParamInterface<CellsCase> {
};

TEST_P(SkeletonOnTheDevice, EveryCellIsDrawnWhereItsBoneIs)
{
    const CellsCase& k = GetParam();
    if (k.software)
        g_d3dCaps.VertexShaderVersion = D3DVS_VERSION(1, 0);
    folder.WriteModel("cells.x", CellsFile(k.bones));
    SkinnedModel model;
    D3DXVECTOR3 center;
    float radius;
    ASSERT_EQ(model.Load("data\\models\\cells.x", "data\\shaders\\SkinnedMesh.fx", &g_d3dCaps, m_pd3dDevice, &center,
                         &radius),
              S_OK);
    model.OnResetDevice(m_pd3dDevice);
    SkinMeshContainer* c = static_cast<SkinMeshContainer*>(model.m_pFrameRoot->pMeshContainer);
    EXPECT_EQ(c->m_softwareSkinning, k.software);
    EXPECT_EQ(c->m_numBoneCombinations > 1, k.bones > 26);

    // 10 pixels a unit: cell i covers x 2 (i % 8) .. +1, y 2 (i / 8) .. +1.
    D3DXMATRIX world, view, projection;
    D3DXMatrixIdentity(&world);
    D3DXMatrixIdentity(&view);
    D3DXMatrixOrthoOffCenterLH(&projection, 0.0f, 16.0f, 0.0f, 12.0f, -1.0f, 1.0f);
    model.Update(&world, 0.0f, 1.0f);
    m_pd3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kSky, 1.0f, 0);
    m_pd3dDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    m_pd3dDevice->BeginScene();
    EXPECT_EQ(model.Render(&g_d3dCaps, m_pd3dDevice, &view, &projection, D3DXVECTOR4(0, 0, -1, 0)), S_OK);
    m_pd3dDevice->EndScene();
    std::vector<DWORD> f = Frame();
    ASSERT_EQ(f.size(), (size_t)kWidth * kHeight);
    Shot(f, ("cells" + std::to_string(k.bones) + (k.software ? "sw" : "hw")).c_str());
    auto at = [&](float x, float y) { return f[(int)((12.0f - y) * 10) * kWidth + (int)(x * 10)]; };
    for (int i = 0; i < 40; ++i) {
        const float x = 2.0f * (i % 8) + 0.5f, y = 2.0f * (i / 8) + 0.5f;
        if (i < k.bones)
            EXPECT_NE(at(x, y), kSky) << "cell " << i << " missing";
        else
            EXPECT_EQ(at(x, y), kSky) << "cell " << i << " drawn without a bone";
        EXPECT_EQ(at(x + 1.0f, y + 1.0f), kSky) << "beside cell " << i;
    }
    EXPECT_EQ(at(0.5f, 11.5f), kSky);
    model.Release(&g_d3dCaps);
}

INSTANTIATE_TEST_SUITE_P(Draws, SkeletonOnTheDevice,
                         ::testing::Values(CellsCase{20, false}, CellsCase{40, false}, CellsCase{40, true}));

// Flat ground at y = 0, drawn unlit in one colour.
class Ground : public SceneObject {
public:
    static const DWORD kColor = 0xFF2E8B3A;
    int Render(Camera*, float) override
    {
        struct V {
            float x, y, z;
            DWORD c;
        } v[4] = {{-1000, 0, -1000, kColor}, {-1000, 0, 1000, kColor}, {1000, 0, -1000, kColor},
                  {1000, 0, 1000, kColor}};
        m_pd3dDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
        m_pd3dDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        m_pd3dDevice->SetTexture(0, nullptr);
        m_pd3dDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        m_pd3dDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        m_pd3dDevice->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        m_pd3dDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V));
        return 0;
    }
};

// The pixels that are neither sky nor ground.
struct Figure {
    int count = 0;
    int top = kHeight, bottom = -1, left = kWidth, right = -1;
    double cx = 0.0;

    explicit Figure(const std::vector<DWORD>& f)
    {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const DWORD c = f[y * kWidth + x] | 0xFF000000;
                if (c == kSky || c == (Ground::kColor | 0xFF000000))
                    continue;
                ++count;
                cx += x;
                top = std::min(top, y), bottom = std::max(bottom, y);
                left = std::min(left, x), right = std::max(right, x);
            }
        if (count)
            cx /= count;
    }
};

class PlayerScene : public RealSkinTest {
protected:
    void SetUp() override
    {
        RealSkinTest::SetUp();
        for (int lod = 0; lod < 3; ++lod) {
            const std::string name = "tiny-tex000-lod" + std::to_string(lod) + ".x";
            folder.LinkRunModel(name);
        }
    }
    std::vector<DWORD> Draw(Scene& scene, Camera& camera, float frameTime)
    {
        m_pd3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kSky, 1.0f, 0);
        m_pd3dDevice->BeginScene();
        scene.Render(&camera, frameTime);
        m_pd3dDevice->EndScene();
        return Frame();
    }
};

TEST_F(PlayerScene, APlayerWalksAndAnimatesOnTheGround)
{
    Scene scene;
    Ground* ground = new Ground();
    scene.Add(ground);
    SkinMesh* player = new SkinMesh(3);
    for (int lod = 0; lod < 3; ++lod)
        EXPECT_EQ(player->LoadLod(lod, ("tiny-tex000-lod" + std::to_string(lod) + ".x").c_str()), S_OK);
    ASSERT_TRUE(player->m_hasSphere);
    for (int lod = 0; lod < 3; ++lod)
        ASSERT_TRUE(player->m_lods[lod]->IsLoaded()) << lod;
    // As the players stand: scaled to 1/200, origin 1.35 above the ground.
    player->m_scale = 0.005f;
    player->m_position = D3DXVECTOR3(100.0f, 1.35f, 0.0f);
    player->m_movimiento = 0.8f;
    scene.Add(player);

    Camera camera;
    camera.SetPosition(100.0f, 1.6f, -6.0f);
    camera.SetLookAt(100.0f, 1.2f, 0.0f);

    const Figure still(Draw(scene, camera, 0.0f));
    std::vector<DWORD> first = Frame();
    Shot(first, "player0");
    ASSERT_GT(still.count, 200) << "the player is not drawn";
    // About 2.7 units tall seen from 6 away (60 degrees: 6.9 units fill 120 rows).
    EXPECT_NEAR(still.bottom - still.top, 47, 12);
    // Feet on the ground: the lowest row lies at the ground under the player.
    D3DXMATRIX view = *camera.GetView(), projection;
    m_pd3dDevice->GetTransform(D3DTS_PROJECTION, &projection);
    D3DXVECTOR3 feet(100.0f, 0.0f, 0.0f), screen;
    D3DXMATRIX vp = view * projection;
    D3DXVec3TransformCoord(&screen, &feet, &vp);
    const float feetRow = (1.0f - screen.y) * 0.5f * kHeight;
    EXPECT_NEAR(still.bottom, feetRow, 5.0f);

    // A quarter second of walk moves the limbs.
    const std::vector<DWORD> later = Draw(scene, camera, 0.25f);
    Shot(later, "player1");
    int changed = 0;
    for (size_t i = 0; i < later.size(); ++i)
        changed += (later[i] | 0xFF000000) != (first[i] | 0xFF000000);
    EXPECT_GT(changed, 40) << "the animation did not move the player";
    EXPECT_GT(player->m_lods[0]->GetTrackPosition(), 0.19);

    // Walking: a step to the side moves the figure with it.
    const Figure before(later);
    for (int step = 0; step < 5; ++step) {
        player->m_position.x += 0.1f;
        Draw(scene, camera, 0.05f);
    }
    const Figure after(Frame());
    Shot(Frame(), "player2");
    EXPECT_GT(after.cx - before.cx, 5.0);
    EXPECT_NEAR(after.count, before.count, before.count * 0.5);

    // Far away, a lower level draws the same figure, smaller.
    player->m_position = D3DXVECTOR3(100.0f, 1.35f, 40.0f);
    const Figure far(Draw(scene, camera, 0.05f));
    EXPECT_GT(far.count, 5);
    EXPECT_LT(far.count, before.count / 4);
    EXPECT_GT(player->m_lods[1]->GetTrackPosition() + player->m_lods[2]->GetTrackPosition(), 0.0);

    scene.m_objects.clear();
    delete ground;
    delete player;
}

} // namespace

namespace {

// The player on the show's terrain, lit and under fog, followed by the
// chasing camera: what the player adds to the picture is told apart by
// drawing the same frame without it.
TEST_F(PlayerScene, APlayerWalksOnTheFoggedTerrain)
{
    m_pd3dDevice->SetRenderState(D3DRS_FOGENABLE, TRUE);
    m_pd3dDevice->SetRenderState(D3DRS_FOGCOLOR, 0xFF8090A0);
    m_pd3dDevice->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    m_pd3dDevice->SetRenderState(D3DRS_FOGSTART, FloatToDword(50.0f));
    m_pd3dDevice->SetRenderState(D3DRS_FOGEND, FloatToDword(300.0f));
    m_pd3dDevice->SetRenderState(D3DRS_LIGHTING, TRUE);
    m_pd3dDevice->SetRenderState(D3DRS_AMBIENT, 0xFF404040);
    D3DLIGHT9 light;
    InitLight(light, D3DLIGHT_DIRECTIONAL, -1.0f, -1.0f, 1.0f);
    m_pd3dDevice->SetLight(0, &light);
    m_pd3dDevice->LightEnable(0, TRUE);

    Scene scene;
    Terrain* terrain = new Terrain("TerrainHeight.png", "TerrainBase.dds", "TerrainDetail.dds", 128, 1024, 64, true,
                                   true);
    ASSERT_NE(terrain->m_pMesh, nullptr);
    scene.Add(terrain);
    SkinMesh* player = new SkinMesh(3);
    for (int lod = 0; lod < 3; ++lod)
        EXPECT_EQ(player->LoadLod(lod, ("tiny-tex000-lod" + std::to_string(lod) + ".x").c_str()), S_OK);
    player->m_scale = 0.005f;
    player->m_yaw = 3.1415927f; // walking toward +z, its back to the camera
    player->m_position = D3DXVECTOR3(100.0f, terrain->GetHeight(100.0f, 0.0f) + 1.35f, 0.0f);
    player->m_movimiento = 0.8f;
    scene.Add(player);
    Camera camera;
    camera.Follow(player);

    auto without = [&]() {
        scene.m_objects.remove(player);
        std::vector<DWORD> f = Draw(scene, camera, 0.0f);
        scene.m_objects.push_back(player);
        return f;
    };
    auto figure = [](const std::vector<DWORD>& with, const std::vector<DWORD>& ground) {
        std::vector<DWORD> diff(with.size(), kSky);
        for (size_t i = 0; i < with.size(); ++i)
            if ((with[i] | 0xFF000000) != (ground[i] | 0xFF000000))
                diff[i] = with[i] | 0xFF000000;
        return diff;
    };

    std::vector<DWORD> previous;
    for (int frame = 0; frame < 4; ++frame) {
        // A step along +z, the feet kept on the ground.
        player->m_position.z += 0.2f;
        player->m_position.y = terrain->GetHeight(player->m_position.x, player->m_position.z) + 1.35f;
        const std::vector<DWORD> with = Draw(scene, camera, 0.1f);
        Shot(with, ("terrain" + std::to_string(frame)).c_str());
        const std::vector<DWORD> shape = figure(with, without());
        const Figure f(shape);
        SCOPED_TRACE(frame);
        ASSERT_GT(f.count, 150) << "the player is not drawn";
        // The chasing camera keeps the player in the middle of the picture.
        EXPECT_NEAR(f.cx, kWidth / 2, 12.0);
        if (!previous.empty()) {
            int changed = 0;
            for (size_t i = 0; i < shape.size(); ++i)
                changed += shape[i] != previous[i];
            EXPECT_GT(changed, 20) << "the walk did not move the limbs";
        }
        previous = shape;
    }
    // The terrain itself was drawn, lit and textured: not one flat colour.
    const std::vector<DWORD> ground = without();
    int different = 0;
    for (DWORD c : ground)
        different += (c | 0xFF000000) != (ground[kWidth * (kHeight - 1)] | 0xFF000000);
    EXPECT_GT(different, kWidth * kHeight / 10);
    DWORD fog = FALSE;
    m_pd3dDevice->GetRenderState(D3DRS_FOGENABLE, &fog);
    EXPECT_EQ(fog, (DWORD)TRUE);
    EXPECT_NEAR(player->m_lods[0]->GetTrackPosition(), 4 * 0.1 * 0.8, 1e-5);

    scene.m_objects.clear();
    delete terrain;
    delete player;
}

} // namespace
