// The renderer's device bring-up, default states and frame sequence on the
// recording fake device.
#include <gtest/gtest.h>

#include <d3d9.h>
#include <d3d9_testing.h>

#include <algorithm>
#include <string>
#include <vector>

#include "application.h"
#include "effect.h"
#include "escenor.h"
#include "escenor_testing.h"
#include "fake_d3d9.h"
#include "renderer.h"
#include "app_globals.h"
#include "texturecache.h"
#include <mscrt.h>

namespace {

HWND FakeWindow()
{
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
}

std::vector<D3DFORMAT> DepthFormatsTried(const FakeD3D9& fake)
{
    std::vector<D3DFORMAT> out;
    for (const FakeCall* c : fake.Find("CreateDevice"))
        out.push_back((D3DFORMAT)c->Arg("AutoDepthStencilFormat"));
    return out;
}

class RendererOnFake : public ::testing::Test {
protected:
    void Build(bool showfps = false, bool mipmapping = true)
    {
        globals_ = new AppGlobals(showfps, mipmapping);
        gfx_ = new NimbGfx();
        gfx_->m_hWnd = FakeWindow();
        gfx_->m_width = 800;
        gfx_->m_height = 600;
    }
    void TearDown() override
    {
        delete gfx_;
        gfx_ = nullptr;
        delete globals_;
        globals_ = nullptr;
        g_takeScreenshot = false;
        g_capturing = false;
    }

    ScratchFolder folder_;
    FakeD3D9 fake_;
    AppGlobals* globals_ = nullptr;
    NimbGfx* gfx_ = nullptr;
};

TEST_F(RendererOnFake, FullScreenTakesTheFirstAcceptedBackBufferFormat)
{
    fake_.displayFormats = {D3DFMT_R5G6B5};
    Build();
    ASSERT_TRUE(gfx_->CreateDevice(false));

    std::vector<D3DFORMAT> checked;
    for (const FakeCall* c : fake_.Find("CheckDeviceType")) {
        EXPECT_EQ(c->Arg("AdapterFormat"), c->Arg("BackBufferFormat"));
        EXPECT_EQ(c->Arg("Windowed"), 0u);
        checked.push_back((D3DFORMAT)c->Arg("AdapterFormat"));
    }
    EXPECT_EQ(checked, (std::vector<D3DFORMAT>{D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_A2B10G10R10,
                                               D3DFMT_R5G6B5}));
    const D3DPRESENT_PARAMETERS& pp = fake_.LastDevice()->Params();
    EXPECT_EQ(pp.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(pp.BackBufferWidth, 800u);
    EXPECT_EQ(pp.BackBufferHeight, 600u);
    EXPECT_FALSE(pp.Windowed);
    EXPECT_EQ(pp.BackBufferCount, 3u);
    EXPECT_EQ(pp.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(pp.PresentationInterval, (UINT)D3DPRESENT_INTERVAL_IMMEDIATE);
    EXPECT_EQ(pp.Flags, (DWORD)D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL);
    EXPECT_TRUE(pp.EnableAutoDepthStencil);
}

TEST_F(RendererOnFake, WindowedLetsTheWindowSizeTheBackBuffer)
{
    Build();
    ASSERT_TRUE(gfx_->CreateDevice(true));
    EXPECT_EQ(fake_.Count("CheckDeviceType"), 0u);
    const FakeCall* create = fake_.Find("CreateDevice").front();
    EXPECT_EQ(create->Arg("BackBufferFormat"), (uint64_t)D3DFMT_UNKNOWN);
    EXPECT_EQ(create->Arg("BackBufferWidth"), 0u);
    EXPECT_EQ(create->Arg("BackBufferHeight"), 0u);
    EXPECT_EQ(create->Arg("Windowed"), 1u);
    EXPECT_EQ(create->Arg("AutoDepthStencilFormat"), (uint64_t)D3DFMT_D24S8);
}

TEST_F(RendererOnFake, DepthFormatsAreEachTriedTwiceUntilOneIsAccepted)
{
    fake_.depthFormats = {D3DFMT_D24X8, D3DFMT_D16};
    Build();
    ASSERT_TRUE(gfx_->CreateDevice(true));

    EXPECT_EQ(DepthFormatsTried(fake_),
              (std::vector<D3DFORMAT>{D3DFMT_D24S8, D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D24X4S4,
                                      D3DFMT_D15S1, D3DFMT_D15S1, D3DFMT_D32, D3DFMT_D32,
                                      D3DFMT_D24X8}));
    for (const FakeCall* c : fake_.Find("CreateDevice"))
        EXPECT_EQ(c->Arg("BehaviorFlags"), (uint64_t)D3DCREATE_MIXED_VERTEXPROCESSING);
    EXPECT_EQ(fake_.DevicesCreated(), 1u);

    // Without a stencil the first clear fails, and the second clears the frame.
    gfx_->SetDefaultStates();
    fake_.ClearLog();
    gfx_->RenderFrame();
    std::vector<const FakeCall*> clears = fake_.Find("Clear");
    ASSERT_EQ(clears.size(), 2u);
    EXPECT_EQ(clears[0]->Arg("Flags"), (uint64_t)(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL));
    EXPECT_TRUE(FAILED(clears[0]->result));
    EXPECT_EQ(clears[1]->Arg("Flags"), (uint64_t)(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER));
    EXPECT_EQ(clears[1]->result, S_OK);
    EXPECT_EQ(clears[1]->Arg("Color"), 0xFF00BFFFu);
}

TEST_F(RendererOnFake, WithoutMixedVertexProcessingTheSoftwarePassStartsOver)
{
    fake_.vertexProcessing = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    Build();
    ASSERT_TRUE(gfx_->CreateDevice(true));

    std::vector<const FakeCall*> calls = fake_.Find("CreateDevice");
    ASSERT_EQ(calls.size(), 15u);
    for (size_t i = 0; i < 14; i++) {
        EXPECT_EQ(calls[i]->Arg("BehaviorFlags"), (uint64_t)D3DCREATE_MIXED_VERTEXPROCESSING);
        EXPECT_TRUE(FAILED(calls[i]->result));
    }
    EXPECT_EQ(calls[14]->Arg("BehaviorFlags"), (uint64_t)D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    EXPECT_EQ(calls[14]->Arg("AutoDepthStencilFormat"), (uint64_t)D3DFMT_D24S8);
    EXPECT_EQ(calls[14]->result, S_OK);
}

TEST_F(RendererOnFake, DefaultStatesAreRecordedInTheDefaultBlock)
{
    Build();
    ASSERT_TRUE(gfx_->CreateDevice(true));
    gfx_->SetDefaultStates();

    FakeStateBlock* block = fake_.AsFake(g_pDefaultStateBlock);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->Type(), D3DSBT_ALL);
    struct { D3DRENDERSTATETYPE state; DWORD value; } expected[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE},       {D3DRS_AMBIENT, 0xFF202020},
        {D3DRS_LIGHTING, FALSE},           {D3DRS_DITHERENABLE, TRUE},
        {D3DRS_NORMALIZENORMALS, FALSE},   {D3DRS_SPECULARENABLE, FALSE},
        {D3DRS_CULLMODE, D3DCULL_CCW},
    };
    for (const auto& e : expected) {
        EXPECT_TRUE(block->CarriesRenderState(e.state)) << e.state;
        EXPECT_EQ(block->RenderState(e.state), e.value) << e.state;
    }
    for (DWORD s = 0; s < 3; s++) {
        EXPECT_EQ(block->SamplerState(s, D3DSAMP_MINFILTER), (DWORD)D3DTEXF_LINEAR);
        EXPECT_EQ(block->SamplerState(s, D3DSAMP_MAGFILTER), (DWORD)D3DTEXF_LINEAR);
        EXPECT_EQ(block->SamplerState(s, D3DSAMP_MIPFILTER), (DWORD)D3DTEXF_LINEAR);
    }
    const D3DMATERIAL9& m = block->Values().material;
    EXPECT_EQ(m.Diffuse.r, 1.0f);
    EXPECT_EQ(m.Diffuse.g, 0.0f);
    EXPECT_EQ(m.Ambient.r, 1.0f);
    EXPECT_EQ(m.Ambient.a, 1.0f);
    EXPECT_EQ(m.Specular.a, 0.0f);
    EXPECT_EQ(m.Power, 0.0f);
}

TEST_F(RendererOnFake, MipMappingOffLeavesSamplersWithoutMipFilter)
{
    Build(false, false);
    ASSERT_TRUE(gfx_->CreateDevice(true));
    gfx_->SetDefaultStates();

    FakeStateBlock* block = fake_.AsFake(g_pDefaultStateBlock);
    ASSERT_NE(block, nullptr);
    for (DWORD s = 0; s < 3; s++) {
        EXPECT_EQ(block->SamplerState(s, D3DSAMP_MIPFILTER), (DWORD)D3DTEXF_NONE) << s;
        EXPECT_EQ(block->SamplerState(s, D3DSAMP_MINFILTER), (DWORD)D3DTEXF_LINEAR) << s;
    }
}

TEST_F(RendererOnFake, FrameClearsDrawsAndPresentsThenEmptiesTheListener)
{
    Build();
    ASSERT_TRUE(gfx_->CreateDevice(true));
    gfx_->SetDefaultStates();
    g_pMsgListener->Post(0x100, 'A');
    g_pMsgListener->Post(0x101, 'A');
    fake_.ClearLog();

    gfx_->RenderFrame();

    EXPECT_EQ(fake_.Sequence({"Clear", "BeginScene", "EndScene", "Present", "GetBackBuffer"}),
              (std::vector<std::string>{"Clear", "BeginScene", "EndScene", "Present"}));
    const FakeCall* clear = fake_.Find("Clear").front();
    EXPECT_EQ(clear->Arg("Flags"), (uint64_t)(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL));
    EXPECT_EQ(clear->Arg("Color"), 0xFF00BFFFu);
    EXPECT_EQ(clear->ArgF("Z"), 1.0f);
    EXPECT_EQ(clear->Arg("Stencil"), 0u);
    EXPECT_EQ(clear->Arg("Count"), 0u);
    EXPECT_EQ(g_pMsgListener->Count(), 0u);
    EXPECT_FALSE(fake_.LastDevice()->InScene());
    EXPECT_TRUE(fake_.Problems().empty());
}

TEST_F(RendererOnFake, ScreenshotIsSavedAfterPresentAndOnlyOnce)
{
    Build();
    ASSERT_TRUE(gfx_->CreateDevice(true));
    gfx_->SetDefaultStates();
    fake_.ClearLog();

    g_takeScreenshot = true;
    gfx_->RenderFrame();
    EXPECT_FALSE(g_takeScreenshot);
    EXPECT_EQ(fake_.Sequence({"Present", "GetBackBuffer"}),
              (std::vector<std::string>{"Present", "GetBackBuffer"}));
    EXPECT_EQ(folder_.Files(".bmp").size(), 1u);

    gfx_->RenderFrame();
    EXPECT_EQ(fake_.Count("GetBackBuffer"), 1u);
    EXPECT_EQ(folder_.Files(".bmp").size(), 1u);
}

TEST_F(RendererOnFake, FailedBackBufferReadSavesNothingAndCaptureGoesOn)
{
    Build();
    ASSERT_TRUE(gfx_->CreateDevice(true));
    gfx_->SetDefaultStates();
    fake_.Fail("GetBackBuffer").Times(1);

    g_capturing = true;
    g_captureId = 7;
    g_captureFrame = 0;
    gfx_->RenderFrame();
    gfx_->RenderFrame();
    EXPECT_FALSE(std::filesystem::exists("7_0000.bmp"));
    EXPECT_TRUE(std::filesystem::exists("7_0001.bmp"));
}

TEST_F(RendererOnFake, ShowFpsOffMakesNoFontAndDrawsNoText)
{
    Build(false);
    ASSERT_TRUE(gfx_->CreateDevice(true));
    gfx_->SetDefaultStates();
    gfx_->CreateFpsFont();
    EXPECT_EQ(gfx_->fuente, nullptr);
    EXPECT_EQ(fake_.Count("CreateTexture"), 0u);
    EXPECT_EQ(fake_.Count("CreateVertexBuffer"), 0u);

    fake_.ClearLog();
    gfx_->RenderFrame();
    EXPECT_EQ(fake_.Count("DrawPrimitive"), 0u);
    EXPECT_EQ(fake_.Count("GetViewport"), 0u);
}

TEST_F(RendererOnFake, TeardownLeavesNoObjectAlive)
{
    ScratchFolder::Write("data/textures/a.bmp", MakeBmp32(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}));
    Build(true);
    ASSERT_TRUE(gfx_->CreateDevice(true));
    gfx_->SetDefaultStates();
    gfx_->CreateFpsFont();
    IDirect3DTexture9* tex = nullptr;
    // A user that never gives its texture back: the cache lets it go.
    ASSERT_EQ(LoadTextureFromFile("a.bmp", &tex), S_OK);
    gfx_->RenderFrame();

    delete gfx_;
    gfx_ = nullptr;
    EXPECT_EQ(m_pd3dDevice, nullptr);
    EXPECT_EQ(g_pD3D, nullptr);
    EXPECT_EQ(g_pDefaultStateBlock, nullptr);
    EXPECT_TRUE(g_textureCache.empty());
    EXPECT_EQ(fake_.LiveObjects(), 0u) << ::testing::PrintToString(fake_.LiveObjectKinds());
}

// F11 and F12 as the window procedure receives them, served by the frames.
class CaptureKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        ScratchFolder::Write("config.xml", "<main><windowed>true</windowed></main>");
        app_ = new Application();
        g_pMsgListener = new MsgListener();
        gfx_ = new NimbGfx();
        gfx_->m_hWnd = FakeWindow();
        ASSERT_TRUE(gfx_->CreateDevice(true));
        gfx_->SetDefaultStates();
    }
    void TearDown() override
    {
        delete gfx_;
        app_->Teardown();
        delete app_;
        g_capturing = false;
        g_takeScreenshot = false;
    }
    void Key(WPARAM vk) { app_->WndProc(nullptr, WM_KEYDOWN, vk, 0); }
    static std::string CaptureName(int id, int frame)
    {
        char name[64];
        std::snprintf(name, sizeof(name), "%d_%04d.bmp", id, frame);
        return name;
    }

    ScratchFolder folder_;
    FakeD3D9 fake_;
    Application* app_ = nullptr;
    NimbGfx* gfx_ = nullptr;
};

TEST_F(CaptureKeys, F12ThreeTimesStartsStopsAndStartsAnewFromFrameZero)
{
    Key(VK_F12);
    ASSERT_TRUE(g_capturing);
    const int first = g_captureId;
    gfx_->RenderFrame();
    gfx_->RenderFrame();
    Key(VK_F12);
    EXPECT_FALSE(g_capturing);
    gfx_->RenderFrame();
    EXPECT_EQ(folder_.Files(".bmp").size(), 2u);

    // The process clock moves on before the third press.
    for (long start = ms_clock(); ms_clock() == start;) {
    }
    Key(VK_F12);
    ASSERT_TRUE(g_capturing);
    EXPECT_NE(g_captureId, first);
    gfx_->RenderFrame();

    EXPECT_TRUE(std::filesystem::exists(CaptureName(first, 0)));
    EXPECT_TRUE(std::filesystem::exists(CaptureName(first, 1)));
    EXPECT_TRUE(std::filesystem::exists(CaptureName(g_captureId, 0)));
    EXPECT_EQ(folder_.Files(".bmp").size(), 3u);
}

TEST_F(CaptureKeys, F11DuringCaptureSavesAScreenshotInThatFramesPlace)
{
    Key(VK_F12);
    const int id = g_captureId;
    gfx_->RenderFrame();
    Key(VK_F11);
    gfx_->RenderFrame();
    gfx_->RenderFrame();
    EXPECT_TRUE(std::filesystem::exists(CaptureName(id, 0)));
    EXPECT_TRUE(std::filesystem::exists(CaptureName(id, 1)));
    EXPECT_FALSE(std::filesystem::exists(CaptureName(id, 2)));
    std::vector<std::string> all = folder_.Files(".bmp");
    ASSERT_EQ(all.size(), 3u);
    int screenshots = 0;
    for (const std::string& f : all)
        screenshots += f.find('_') == std::string::npos;
    EXPECT_EQ(screenshots, 1);
}

// An effect that counts its frames and clears nothing.
class CountingEffect : public Effect {
public:
    CountingEffect() { SetName("CountingEffect"); }
    ~CountingEffect() override { s_alive--; }
    int Init() override { return 0; }
    int Start() override { return 0; }
    int Render(float) override
    {
        s_frames++;
        return 0;
    }
    static int s_frames;
    static int s_alive;
};
int CountingEffect::s_frames = 0;
int CountingEffect::s_alive = 0;

void OneEffectShow(Escenor* e)
{
    CountingEffect::s_alive += 2;
    e->SetLoadingEffect(new CountingEffect(), 0.0f, 1.0f);
    e->AddEffect(new CountingEffect(), 0.0f, 0.0f, 0.0f);  // never ends
}

TEST_F(RendererOnFake, InitBringsUpEverythingAndTeardownGivesItBack)
{
    ScratchFolder::Write("data/music/brunkunch.it", "not a module");
    SetShowBuilderForTesting(OneEffectShow);
    CountingEffect::s_frames = 0;
    CountingEffect::s_alive = 0;
    Build(true);
    gfx_->Init(FakeWindow(), 800, 600, true);
    SetShowBuilderForTesting(nullptr);

    ASSERT_NE(m_pd3dDevice, nullptr);
    ASSERT_NE(gfx_->m_pEscenor, nullptr);
    ASSERT_NE(gfx_->fuente, nullptr);
    EXPECT_EQ(gfx_->m_fps, 0.0f);
    // The default block is recorded before the font makes its own blocks.
    std::vector<std::string> order = fake_.Sequence({"CreateStateBlock", "BeginStateBlock", "CreateTexture"});
    ASSERT_FALSE(order.empty());
    EXPECT_EQ(order.front(), "CreateStateBlock");
    EXPECT_EQ(CountingEffect::s_frames, 3);  // the loading effect at 0, after the entry, at 1

    fake_.ClearLog();
    EXPECT_TRUE(gfx_->RenderFrame());  // an entry that never ends
    EXPECT_GE(fake_.Count("DrawPrimitive"), 1u);  // the frame-rate text
    EXPECT_EQ(fake_.Count("Present"), 1u);

    delete gfx_;
    gfx_ = nullptr;
    EXPECT_EQ(CountingEffect::s_alive, 0);
    EXPECT_EQ(fake_.LiveObjects(), 0u) << ::testing::PrintToString(fake_.LiveObjectKinds());
}

// Without any device the program cannot go on: one line on standard error
// and a non-zero exit code, not a frame drawn through a null device.
using RendererWithoutDeviceDeathTest = RendererOnFake;

TEST_F(RendererWithoutDeviceDeathTest, NoDeviceEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    fake_.depthFormats = {};
    Build();
    EXPECT_EXIT(gfx_->Init(FakeWindow(), 800, 600, true), ::testing::ExitedWithCode(1),
                "no Direct3D 9 device could be created");
}

TEST_F(RendererWithoutDeviceDeathTest, NoDirect3DEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Build();
    EXPECT_EXIT(
        {
            SetDirect3DCreate9Hook([](UINT) -> IDirect3D9* { return nullptr; });
            gfx_->Init(FakeWindow(), 800, 600, true);
        },
        ::testing::ExitedWithCode(1), "Direct3D 9 is not available");
}

}  // namespace
