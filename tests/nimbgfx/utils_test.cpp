// Materials, lights, float states and the render-state dump.
#include <gtest/gtest.h>

#include <d3d9.h>

#include <string>

#include "fake_d3d9.h"
#include "renderer.h"
#include "app_globals.h"
#include "utils.h"

namespace {

TEST(InitMaterial, SetsDiffuseAndAmbientOnly)
{
    D3DMATERIAL9 m;
    std::memset(&m, 0x5A, sizeof(m));
    InitMaterial(m, 1.0f, 0.0f, 0.0f, 1.0f);
    const D3DCOLORVALUE red = {1.0f, 0.0f, 0.0f, 1.0f};
    for (const D3DCOLORVALUE* c : {&m.Diffuse, &m.Ambient}) {
        EXPECT_EQ(c->r, red.r);
        EXPECT_EQ(c->g, red.g);
        EXPECT_EQ(c->b, red.b);
        EXPECT_EQ(c->a, red.a);
    }
    for (const D3DCOLORVALUE* c : {&m.Specular, &m.Emissive}) {
        EXPECT_EQ(c->r, 0.0f);
        EXPECT_EQ(c->g, 0.0f);
        EXPECT_EQ(c->b, 0.0f);
        EXPECT_EQ(c->a, 0.0f);
    }
    EXPECT_EQ(m.Power, 0.0f);
}

TEST(InitLight, OneVectorIsPositionAndNormalisedDirection)
{
    D3DLIGHT9 l;
    std::memset(&l, 0x5A, sizeof(l));
    InitLight(l, D3DLIGHT_DIRECTIONAL, -1.0f, -1.0f, 1.0f);
    EXPECT_EQ(l.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_NEAR(l.Direction.x, -0.57735f, 1e-5f);
    EXPECT_NEAR(l.Direction.y, -0.57735f, 1e-5f);
    EXPECT_NEAR(l.Direction.z, 0.57735f, 1e-5f);
    EXPECT_EQ(l.Position.x, -1.0f);
    EXPECT_EQ(l.Position.y, -1.0f);
    EXPECT_EQ(l.Position.z, 1.0f);
    EXPECT_EQ(l.Diffuse.r, 1.0f);
    EXPECT_EQ(l.Diffuse.g, 1.0f);
    EXPECT_EQ(l.Diffuse.b, 1.0f);
    EXPECT_EQ(l.Diffuse.a, 0.0f);
    EXPECT_EQ(l.Range, 1000.0f);
    EXPECT_EQ(l.Specular.r, 0.0f);
    EXPECT_EQ(l.Ambient.g, 0.0f);
    EXPECT_EQ(l.Falloff, 0.0f);
    EXPECT_EQ(l.Attenuation0, 0.0f);
    EXPECT_EQ(l.Attenuation1, 0.0f);
    EXPECT_EQ(l.Attenuation2, 0.0f);
    EXPECT_EQ(l.Theta, 0.0f);
    EXPECT_EQ(l.Phi, 0.0f);
}

TEST(FloatToDword, KeepsTheBits)
{
    EXPECT_EQ(FloatToDword(1.0f), 0x3F800000u);
    EXPECT_EQ(FloatToDword(-2.5f), 0xC0200000u);
    EXPECT_EQ(FloatToDword(0.0f), 0u);
}

class DumpRenderStatesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_renderStatesTaken = false;
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS pp;
        std::memset(&pp, 0, sizeof(pp));
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        pp.hDeviceWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
        ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                     &m_pd3dDevice),
                  S_OK);
    }
    void TearDown() override
    {
        if (m_pd3dDevice != nullptr)
            m_pd3dDevice->Release();
        m_pd3dDevice = nullptr;
        if (d3d_ != nullptr)
            d3d_->Release();
        g_renderStatesTaken = false;
    }

    ScratchFolder folder_;
    FakeD3D9 fake_;
    IDirect3D9* d3d_ = nullptr;
};

TEST_F(DumpRenderStatesTest, LogsOnlyWhatChangedSinceThePreviousCall)
{
    const std::string dashes = "----------------------------------------------------\n";
    DumpRenderStates();
    EXPECT_EQ(ScratchFolder::Read("debug.txt"), dashes);
    DumpRenderStates();
    EXPECT_EQ(ScratchFolder::Read("debug.txt"), dashes + dashes);

    m_pd3dDevice->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    DumpRenderStates();
    EXPECT_EQ(ScratchFolder::Read("debug.txt"),
              dashes + dashes + dashes + "Valor 14 difiere: antes: 0x1 ahora: 0x0\n");

    m_pd3dDevice->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    m_pd3dDevice->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    DumpRenderStates();
    EXPECT_EQ(ScratchFolder::Read("debug.txt"),
              dashes + dashes + dashes + "Valor 14 difiere: antes: 0x1 ahora: 0x0\n" + dashes +
                  "Valor 7 difiere: antes: 0x1 ahora: 0x0\n" +
                  "Valor 14 difiere: antes: 0x0 ahora: 0x1\n");
}

}  // namespace
