// Impostors on the real device: the image stands where the mesh would, and
// rendering it leaves the frame's depth alone.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <vector>

#include "camera.h"
#include "crowd.h"
#include "fake_engine.h"
#include "scene.h"
#include "show_device.h"

namespace {

struct ScreenVertex {
    float x, y, z, rhw;
    DWORD colour;
};

// A pre-transformed rectangle of one colour at depth z, depth-tested.
void Rect(float x0, float y0, float x1, float y1, float z, DWORD colour)
{
    const ScreenVertex v[4] = {
        {x0, y0, z, 1, colour}, {x1, y0, z, 1, colour}, {x0, y1, z, 1, colour}, {x1, y1, z, 1, colour}};
    IDirect3DDevice9* dev = m_pd3dDevice;
    dev->SetTexture(0, nullptr);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(ScreenVertex));
}

class CrowdPixels : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_DEVICE();
        ResetStates();
        // A light straight down the view, as a scene leaves one on.
        D3DLIGHT9 light = {};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {1, 1, 1, 1};
        light.Direction = {0, 0, 1};
        m_pd3dDevice->SetLight(0, &light);
        m_pd3dDevice->LightEnable(0, TRUE);
        std::ofstream("data/models/crowd_square.x") << XSquareText();
    }
    void TearDown() override
    {
        if (!ShowDevice())
            return;
        m_pd3dDevice->LightEnable(0, FALSE);
        ResetStates();
    }
};

TEST_F(CrowdPixels, AFarInstanceShowsItsMeshThroughTheImpostor)
{
    Crowd crowd(true);
    ASSERT_EQ(crowd.Load("crowd_square.x"), S_OK);
    std::unique_ptr<CrowdMesh> near(crowd.AddInstance());
    std::unique_ptr<CrowdMesh> far(crowd.AddInstance());
    crowd.m_instances.clear();
    ASSERT_TRUE(far->m_useImpostor);
    near->m_position = D3DXVECTOR3(-1.5f, 0, 0);
    far->m_position = D3DXVECTOR3(6, 0, 30);
    Scene scene;
    scene.Add(near.get());
    scene.Add(far.get());
    Camera camera;
    BeginFrame(0xFF000000);
    scene.Render(&camera, 0.0f);
    Frame f = EndFrame();
    ASSERT_EQ(f.width, kScreenW);
    EXPECT_LT(near->m_viewDepth, 20.0f);
    EXPECT_GE(far->m_viewDepth, 20.0f);
    EXPECT_NE(far->m_impostorAngle, 1000.0f);
    EXPECT_EQ(near->m_impostorAngle, 1000.0f);

    // Where each origin lands on the screen.
    D3DXMATRIX view, projection;
    m_pd3dDevice->GetTransform(D3DTS_VIEW, &view);
    m_pd3dDevice->GetTransform(D3DTS_PROJECTION, &projection);
    auto screen = [&](const D3DXVECTOR3& p, int* x, int* y) {
        D3DXVECTOR3 c;
        D3DXMATRIX vp = view * projection;
        D3DXVec3TransformCoord(&c, &p, &vp);
        *x = (int)((c.x + 1) * 0.5f * kScreenW);
        *y = (int)((1 - c.y) * 0.5f * kScreenH);
    };
    int nx, ny, fx, fy;
    screen(near->m_position, &nx, &ny);
    screen(far->m_position, &fx, &fy);
    // Both lit alike by the light: the impostor carries the mesh's shade.
    EXPECT_GT(f.R(nx, ny), 100);
    EXPECT_GT(f.R(fx, fy), 100);
    EXPECT_NEAR(f.R(fx, fy), f.R(nx, ny), 40);
    // The quad is 2 high and 4 wide; the image of the mesh seen from 9
    // units fills only its middle, and around it the impostor is clear.
    EXPECT_EQ(f.At(fx, fy - 15) & 0xFFFFFF, 0u);
    EXPECT_EQ(f.At(fx + 30, fy) & 0xFFFFFF, 0u);
}

// The impostor's image as ARGB pixels, top row first (16-bit formats
// widened; only their alpha matters here).
std::vector<DWORD> ImpostorImage(CrowdMesh* m)
{
    std::vector<DWORD> pixels;
    IDirect3DSurface9* level = nullptr;
    IDirect3DSurface9* copy = nullptr;
    if (FAILED(m->m_pImpostorTexture->GetSurfaceLevel(0, &level)))
        return pixels;
    D3DSURFACE_DESC desc;
    level->GetDesc(&desc);
    if (SUCCEEDED(m_pd3dDevice->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                            &copy, nullptr)) &&
        SUCCEEDED(m_pd3dDevice->GetRenderTargetData(level, copy))) {
        D3DLOCKED_RECT locked;
        if (SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
            for (UINT y = 0; y < desc.Height; ++y) {
                const BYTE* row = static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch;
                for (UINT x = 0; x < desc.Width; ++x) {
                    if (desc.Format == D3DFMT_A8R8G8B8) {
                        pixels.push_back(reinterpret_cast<const DWORD*>(row)[x]);
                    } else {
                        const WORD p = reinterpret_cast<const WORD*>(row)[x];
                        const bool opaque = desc.Format == D3DFMT_A1R5G5B5 ? (p & 0x8000) != 0 : (p >> 12) != 0;
                        pixels.push_back(opaque ? 0xFF000000u : 0u);
                    }
                }
            }
            copy->UnlockRect();
        }
    }
    if (copy)
        copy->Release();
    level->Release();
    return pixels;
}

// Two squares turned alike, one seen from the left and one from the right:
// one nearly edge-on, the other nearly face-on, each in its own image.
TEST_F(CrowdPixels, InstancesAtOneDepthSeenFromTwoSidesHoldTheirOwnImages)
{
    Crowd crowd(true);
    ASSERT_EQ(crowd.Load("crowd_square.x"), S_OK);
    std::unique_ptr<CrowdMesh> left(crowd.AddInstance());
    std::unique_ptr<CrowdMesh> right(crowd.AddInstance());
    crowd.m_instances.clear();
    left->m_position = D3DXVECTOR3(-12, 0, 26);
    right->m_position = D3DXVECTOR3(12, 0, 26);
    left->m_yaw = right->m_yaw = 0.8f;
    Scene scene;
    scene.Add(left.get());
    scene.Add(right.get());
    Camera camera;
    BeginFrame(0xFF000000);
    scene.Render(&camera, 0.0f);
    EndFrame();
    EXPECT_NEAR(left->m_impostorAngle, -right->m_impostorAngle, 1e-6);
    const std::vector<DWORD> a = ImpostorImage(left.get()), b = ImpostorImage(right.get());
    ASSERT_EQ(a.size(), (size_t)kImpostorSize * kImpostorSize);
    ASSERT_EQ(b.size(), a.size());
    int differ = 0, coveredA = 0, coveredB = 0;
    for (UINT y = 0; y < kImpostorSize; ++y)
        for (UINT x = 0; x < kImpostorSize; ++x) {
            const DWORD p = a[y * kImpostorSize + x], q = b[y * kImpostorSize + x];
            coveredA += (p >> 24) != 0;
            coveredB += (q >> 24) != 0;
            differ += (p >> 24) != (q >> 24);
        }
    // The left one sees the square more edge-on.
    EXPECT_GT(coveredA, 100);
    EXPECT_GT(coveredB, coveredA * 2);
    EXPECT_GE(differ, coveredB - coveredA);
}

TEST_F(CrowdPixels, ARefreshLeavesTheFramesDepthAlone)
{
    Crowd crowd(true);
    ASSERT_EQ(crowd.Load("crowd_square.x"), S_OK);
    std::unique_ptr<CrowdMesh> far(crowd.AddInstance());
    crowd.m_instances.clear();
    far->m_position = D3DXVECTOR3(40, 0, 30); // right of the view
    Scene scene;
    scene.Add(far.get());
    Camera camera;
    BeginFrame(0xFF000000);
    // The frame's depth at 0.5 everywhere, the whole screen red.
    Rect(0, 0, kScreenW, kScreenH, 0.5f, 0xFFFF0000);
    camera.Apply();
    far->UpdateWorld();
    m_pd3dDevice->SetTransform(D3DTS_WORLD, far->GetWorld());
    far->m_viewDepth = 34.0f;
    far->Render(&camera, 0.0f);
    ASSERT_NE(far->m_impostorAngle, 1000.0f);
    // Green behind the red fails the depth test everywhere.
    m_pd3dDevice->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    Rect(0, 0, kScreenW, kScreenH, 0.7f, 0xFF00FF00);
    Frame f = EndFrame();
    ASSERT_EQ(f.width, kScreenW);
    for (int y = 0; y < kScreenH; y += 16)
        for (int x = 0; x < kScreenW; x += 16)
            ASSERT_EQ(f.At(x, y) & 0xFFFFFF, 0xFF0000u) << x << ", " << y;
}

} // namespace
