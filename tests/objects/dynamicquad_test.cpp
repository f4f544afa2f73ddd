// The dynamic screen quad: its creation, locks and states on the recording
// fake, and its pixels on the real device.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "camera.h"
#include "fake_d3d9.h"
#include "quads.h"
#include "scene.h"
#include "show_device.h"

namespace {

// ---- On the recording fake ------------------------------------------------------

// Puts a fake device behind m_pd3dDevice for the test's length.
class DynamicQuadFake : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_saved = m_pd3dDevice;
        m_device = m_fake.MakeDevice();
        ASSERT_NE(m_device, nullptr);
        m_pd3dDevice = m_device;
        m_fake.ClearLog();
    }
    void TearDown() override
    {
        m_pd3dDevice = m_saved;
        if (m_device)
            m_device->Release();
        EXPECT_TRUE(m_fake.Problems().empty()) << m_fake.Problems().front();
    }

    FakeD3D9 m_fake;
    IDirect3DDevice9* m_device = nullptr;
    IDirect3DDevice9* m_saved = nullptr;
};

TEST_F(DynamicQuadFake, EvictsThenMakesADynamicDefaultPoolTextureAndItsFixedVertices)
{
    DynamicQuad quad(64, 200, 100, false);
    EXPECT_EQ(m_fake.Sequence({"EvictManagedResources", "CreateTexture", "CreateVertexBuffer"}),
              (std::vector<std::string>{"EvictManagedResources", "CreateTexture", "CreateVertexBuffer"}));
    const FakeCall* create = m_fake.Find("CreateTexture").at(0);
    EXPECT_EQ(create->Arg("Width"), 64u);
    EXPECT_EQ(create->Arg("Height"), 64u);
    EXPECT_EQ(create->Arg("Levels"), 1u);
    EXPECT_EQ(create->Arg("Usage"), (uint64_t)D3DUSAGE_DYNAMIC);
    EXPECT_EQ(create->Arg("Format"), (uint64_t)D3DFMT_A8R8G8B8);
    EXPECT_EQ(create->Arg("Pool"), (uint64_t)D3DPOOL_DEFAULT);
    ASSERT_NE(quad.m_pTexture, nullptr);
    EXPECT_EQ(quad.m_textureSize, 64);
    EXPECT_FALSE(quad.m_transparent);

    ASSERT_NE(quad.vertexBuffer, nullptr);
    D3DVERTEXBUFFER_DESC desc;
    quad.vertexBuffer->GetDesc(&desc);
    EXPECT_EQ(desc.Size, 96u);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(desc.FVF, (DWORD)(D3DFVF_XYZRHW | D3DFVF_TEX1));
    void* data = nullptr;
    ASSERT_EQ(quad.vertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), S_OK);
    QuadVertex v[4];
    std::memcpy(v, data, sizeof v);
    quad.vertexBuffer->Unlock();
    const float expected[4][6] = {{-0.5f, -0.5f, 0, 1, 0, 0},
                                  {199.5f, -0.5f, 0, 1, 1, 0},
                                  {-0.5f, 99.5f, 0, 1, 0, 1},
                                  {199.5f, 99.5f, 0, 1, 1, 1}};
    for (int i = 0; i < 4; ++i) {
        const float got[6] = {v[i].x, v[i].y, v[i].z, v[i].rhw, v[i].u, v[i].v};
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(got[k], expected[i][k]) << "vertex " << i << " field " << k;
    }
}

TEST_F(DynamicQuadFake, FallsBackToAManagedTextureAndToALockWithoutFlags)
{
    m_fake.Fail("CreateTexture").WhenArg("Pool", D3DPOOL_DEFAULT);
    DynamicQuad quad(32, 32, 32, true);
    std::vector<const FakeCall*> creates = m_fake.Find("CreateTexture");
    ASSERT_EQ(creates.size(), 2u);
    EXPECT_EQ(creates[1]->Arg("Usage"), 0u);
    EXPECT_EQ(creates[1]->Arg("Pool"), (uint64_t)D3DPOOL_MANAGED);
    EXPECT_EQ(creates[1]->Arg("Levels"), 1u);
    ASSERT_NE(quad.m_pTexture, nullptr);

    m_fake.Fail("LockRect").WhenArg("Flags", D3DLOCK_DISCARD);
    m_fake.ClearLog();
    void* bits = nullptr;
    int pitch = 0;
    quad.LockRect(&bits, &pitch);
    std::vector<const FakeCall*> locks = m_fake.Find("LockRect");
    ASSERT_EQ(locks.size(), 2u);
    EXPECT_EQ(locks[0]->Arg("Flags"), (uint64_t)D3DLOCK_DISCARD);
    EXPECT_EQ(locks[1]->Arg("Flags"), 0u);
    EXPECT_NE(bits, nullptr);
    EXPECT_EQ(pitch, 32 * 4);
    quad.UnlockRect();
    EXPECT_EQ(m_fake.Count("UnlockRect"), 1u);
}

TEST_F(DynamicQuadFake, ALockThatFailsTwiceGivesNothingToWrite)
{
    DynamicQuad quad(16, 16, 16, false);
    m_fake.Fail("LockRect");
    void* bits = &quad;
    int pitch = 99;
    quad.LockRect(&bits, &pitch);
    EXPECT_EQ(m_fake.Count("LockRect"), 2u);
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(pitch, 0);
}

TEST_F(DynamicQuadFake, WithoutATextureItDrawsNothingAndTouchesNoState)
{
    m_fake.Fail("CreateTexture");
    DynamicQuad quad(16, 16, 16, true);
    EXPECT_EQ(m_fake.Count("CreateTexture"), 2u);
    EXPECT_EQ(quad.m_pTexture, nullptr);
    void* bits = &quad;
    int pitch = 1;
    quad.LockRect(&bits, &pitch);
    EXPECT_EQ(bits, nullptr);
    m_fake.ClearLog();
    m_device->BeginScene();
    EXPECT_EQ(quad.Render(nullptr, 0.0f), 0);
    m_device->EndScene();
    EXPECT_EQ(m_fake.Sequence(), (std::vector<std::string>{"BeginScene", "EndScene"}));
}

struct StateCase {
    const char* name;
    bool alpha;
    DWORD fogBefore;
    DWORD blendBefore;
    DWORD blendAfter;
};

void PrintTo(const StateCase& c, std::ostream* os) { *os << c.name; }

class DynamicQuadStates : public DynamicQuadFake, public ::testing::WithParamInterface<StateCase> {};

TEST_P(DynamicQuadStates, DrawsWithFogOffThenTurnsFogOn)
{
    const StateCase& c = GetParam();
    DynamicQuad quad(16, 100, 50, c.alpha);
    m_device->SetRenderState(D3DRS_FOGENABLE, c.fogBefore);
    m_device->SetRenderState(D3DRS_ALPHABLENDENABLE, c.blendBefore);
    m_device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_ADD);
    m_device->BeginScene();
    EXPECT_EQ(quad.Render(nullptr, 0.0f), 0);
    m_device->EndScene();

    ASSERT_EQ(m_fake.Draws().size(), 1u);
    const FakeDraw& d = m_fake.Draws().back();
    EXPECT_EQ(d.method, "DrawPrimitive");
    EXPECT_EQ(d.type, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(d.primitiveCount, 2u);
    EXPECT_EQ(d.fvf, (DWORD)(D3DFVF_XYZRHW | D3DFVF_TEX1));
    EXPECT_EQ(d.textures[0], quad.m_pTexture);
    EXPECT_EQ(d.renderStates[D3DRS_FOGENABLE], (DWORD)FALSE);
    EXPECT_EQ(d.stageStates[0][D3DTSS_COLOROP], (DWORD)D3DTOP_SELECTARG1);
    EXPECT_EQ(d.stageStates[0][D3DTSS_COLORARG1], (DWORD)D3DTA_TEXTURE);
    EXPECT_EQ(d.stageStates[0][D3DTSS_ALPHAOP], (DWORD)D3DTOP_ADD); // stage 0 alpha is left as it was
    EXPECT_EQ(d.stageStates[1][D3DTSS_COLOROP], (DWORD)D3DTOP_DISABLE);
    EXPECT_EQ(d.stageStates[1][D3DTSS_ALPHAOP], (DWORD)D3DTOP_DISABLE);
    if (c.alpha) {
        EXPECT_EQ(d.renderStates[D3DRS_ALPHABLENDENABLE], (DWORD)TRUE);
        EXPECT_EQ(d.renderStates[D3DRS_SRCBLEND], (DWORD)D3DBLEND_SRCALPHA);
        EXPECT_EQ(d.renderStates[D3DRS_DESTBLEND], (DWORD)D3DBLEND_INVSRCALPHA);
    } else {
        EXPECT_EQ(d.renderStates[D3DRS_ALPHABLENDENABLE], c.blendBefore);
    }

    DWORD fog = 0, blend = 0;
    m_device->GetRenderState(D3DRS_FOGENABLE, &fog);
    m_device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
    EXPECT_EQ(fog, (DWORD)TRUE);
    EXPECT_EQ(blend, c.blendAfter);
}

INSTANTIATE_TEST_SUITE_P(Cases, DynamicQuadStates,
                         ::testing::Values(StateCase{"OpaqueFogWasOff", false, FALSE, FALSE, FALSE},
                                           StateCase{"OpaqueLeavesBlendingAsItWas", false, TRUE, TRUE, TRUE},
                                           StateCase{"BlendedFogWasOff", true, FALSE, FALSE, FALSE},
                                           StateCase{"BlendedTurnsBlendingOff", true, TRUE, TRUE, FALSE}),
                         [](const ::testing::TestParamInfo<StateCase>& info) { return std::string(info.param.name); });

// ---- On the real device -----------------------------------------------------------

class DynamicQuadPixels : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_DEVICE();
        ResetStates();
    }
    void TearDown() override
    {
        if (ShowDevice())
            ResetStates();
    }

    // Writes `pixel(x, y)` (ARGB) into every texel.
    static void Fill(DynamicQuad& quad, uint32_t (*pixel)(int x, int y, int side))
    {
        void* bits = nullptr;
        int pitch = 0;
        quad.LockRect(&bits, &pitch);
        ASSERT_NE(bits, nullptr);
        for (int y = 0; y < quad.m_textureSize; ++y)
            for (int x = 0; x < quad.m_textureSize; ++x) {
                uint32_t texel = pixel(x, y, quad.m_textureSize);
                std::memcpy((char*)bits + (size_t)y * pitch + (size_t)x * 4, &texel, 4);
            }
        quad.UnlockRect();
    }

    // One frame of the object alone in a scene, over black.
    static Frame Draw(SceneObject* object)
    {
        Scene scene;
        scene.Add(object);
        Camera camera;
        BeginFrame(0xFF000000);
        scene.Render(&camera, 0.0f);
        return EndFrame();
    }
};

uint32_t RedThenGreen(int x, int, int side) { return x < side / 2 ? 0xFFFF0000u : 0xFF00FF00u; }
uint32_t HalfWhite(int, int, int) { return 0x80FFFFFFu; }
uint32_t Blue(int, int, int) { return 0xFF0000FFu; }
uint32_t Red(int, int, int) { return 0xFFFF0000u; }

TEST_F(DynamicQuadPixels, CoversItsPixelSizeAtTheTopLeftWithTheWholeTexture)
{
    DynamicQuad quad(64, 200, 100, false);
    ASSERT_NE(quad.m_pTexture, nullptr);
    D3DSURFACE_DESC desc;
    quad.m_pTexture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(desc.Usage, (DWORD)D3DUSAGE_DYNAMIC);
    Fill(quad, RedThenGreen);
    Frame f = Draw(&quad);
    ASSERT_EQ(f.width, kScreenW);
    int wrong = 0;
    for (int y = 0; y < 140; ++y)
        for (int x = 0; x < 260; ++x) {
            bool inside = x < 200 && y < 100;
            bool ok;
            if (!inside)
                ok = (f.At(x, y) & 0xFFFFFF) == 0;
            else if (x < 2 || x >= 198 || (x >= 95 && x < 105))
                ok = f.R(x, y) + f.G(x, y) > 240; // filtered across a colour edge (the texture wraps)
            else if (x < 95)
                ok = f.R(x, y) > 240 && f.G(x, y) < 16 && f.B(x, y) == 0;
            else
                ok = f.G(x, y) > 240 && f.R(x, y) < 16 && f.B(x, y) == 0;
            if (!ok && ++wrong <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << f.At(x, y);
        }
    EXPECT_EQ(wrong, 0);
}

TEST_F(DynamicQuadPixels, TextureAlphaBlendsOnlyWhenAsked)
{
    for (bool alpha : {true, false}) {
        DynamicQuad quad(8, 64, 64, alpha);
        Fill(quad, HalfWhite);
        Frame f = Draw(&quad);
        ASSERT_EQ(f.width, kScreenW);
        int expected = alpha ? 128 : 255;
        for (int c : {f.R(32, 32), f.G(32, 32), f.B(32, 32)})
            EXPECT_NEAR(c, expected, 2) << (alpha ? "blended" : "opaque");
    }
}

TEST_F(DynamicQuadPixels, EachFillReplacesThePicture)
{
    DynamicQuad quad(16, 64, 64, false);
    Fill(quad, Red);
    EXPECT_EQ(Draw(&quad).At(10, 10) & 0xFFFFFF, 0xFF0000u);
    Fill(quad, Blue);
    EXPECT_EQ(Draw(&quad).At(10, 10) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(DynamicQuadPixels, IsNotFoggedAndLeavesFogOn)
{
    // Table fog that covers everything at z 0.
    const float start = -2.0f, end = -1.0f;
    auto fogEverything = [&]() {
        m_pd3dDevice->SetRenderState(D3DRS_FOGENABLE, TRUE);
        m_pd3dDevice->SetRenderState(D3DRS_FOGCOLOR, 0xFF00FF00);
        m_pd3dDevice->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
        m_pd3dDevice->SetRenderState(D3DRS_FOGSTART, *(const DWORD*)&start);
        m_pd3dDevice->SetRenderState(D3DRS_FOGEND, *(const DWORD*)&end);
    };
    DynamicQuad quad(8, 64, 64, false);
    Fill(quad, Red);

    // The same fog turns a quad that leaves fog alone green.
    WriteTestPicture("dynamicquad_white.bmp", 8, 8, [](int, int) { return 0xFFFFFFu; });
    StaticQuad control("dynamicquad_white.bmp", kScreenW, kScreenH, false);
    fogEverything();
    EXPECT_EQ(Draw(&control).At(32, 32) & 0xFFFFFF, 0x00FF00u);

    fogEverything();
    EXPECT_EQ(Draw(&quad).At(32, 32) & 0xFFFFFF, 0xFF0000u);
    DWORD fog = FALSE;
    m_pd3dDevice->GetRenderState(D3DRS_FOGENABLE, &fog);
    EXPECT_EQ(fog, (DWORD)TRUE);

    m_pd3dDevice->SetRenderState(D3DRS_FOGENABLE, FALSE);
    Draw(&quad);
    m_pd3dDevice->GetRenderState(D3DRS_FOGENABLE, &fog);
    EXPECT_EQ(fog, (DWORD)TRUE);
}

} // namespace
