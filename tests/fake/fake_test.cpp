// The recording fake device: what the tests of the system's code rely on.
#include <gtest/gtest.h>

#include "fake_d3d9.h"

#include <d3d9.h>

#include <cstring>

namespace {

DWORD FloatBits(float f)
{
    DWORD d;
    std::memcpy(&d, &f, sizeof d);
    return d;
}

D3DPRESENT_PARAMETERS Windowed(D3DFORMAT depth = D3DFMT_D24S8)
{
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferFormat = D3DFMT_UNKNOWN;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = depth;
    pp.BackBufferCount = 3;
    return pp;
}

HWND FakeWindow()
{
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
}

// A fake with one windowed device made the way the renderer makes it.
class FakeDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        d3d = Direct3DCreate9(0x80000020);
        ASSERT_NE(d3d, nullptr);
        D3DPRESENT_PARAMETERS pp = Windowed();
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(), D3DCREATE_MIXED_VERTEXPROCESSING, &pp, &dev),
                  D3D_OK);
        fd = fake.LastDevice();
        ASSERT_EQ(fd, dev);
    }
    void TearDown() override
    {
        if (dev) {
            EXPECT_EQ(dev->Release(), 0u);
        }
        if (d3d) {
            EXPECT_EQ(d3d->Release(), 0u);
        }
        EXPECT_EQ(fake.LiveObjects(), 0u);
        EXPECT_TRUE(fake.Problems().empty()) << fake.Problems().front();
    }

    FakeD3D9 fake;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* dev = nullptr;
    FakeDevice* fd = nullptr;
};

TEST(FakeD3D9Install, Direct3DCreate9ReturnsTheFakeWhileInstalled)
{
    {
        FakeD3D9 fake;
        IDirect3D9* d3d = Direct3DCreate9(0x80000020);
        ASSERT_NE(d3d, nullptr);
        EXPECT_EQ(d3d, fake.LastDirect3D());
        EXPECT_EQ(Direct3DCreate9(31), nullptr); // wrong SDK version
        EXPECT_EQ(d3d->Release(), 0u);
        EXPECT_EQ(fake.LiveObjects(), 0u);
        EXPECT_EQ(fake.Count("Direct3DCreate9"), 2u);
    }
    IDirect3D9* real = Direct3DCreate9(D3D_SDK_VERSION);
    EXPECT_EQ(dynamic_cast<FakeDirect3D9*>(real), nullptr);
    if (real)
        real->Release();
}

TEST(FakeD3D9Install, ScriptedCreateFailureGivesNull)
{
    FakeD3D9 fake;
    fake.Fail("Direct3DCreate9");
    EXPECT_EQ(Direct3DCreate9(0x80000020), nullptr);
    EXPECT_EQ(fake.LiveObjects(), 0u);
}

TEST(FakeD3D9Install, ObjectsOutlivingTheFakeStillWork)
{
    IDirect3D9* d3d;
    {
        FakeD3D9 fake;
        d3d = Direct3DCreate9(0x80000020);
    }
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);
    EXPECT_EQ(d3d->Release(), 0u);
}

// ---- The device-creation walk -----------------------------------------------------

TEST(FakeD3D9Adapter, CheckDeviceTypeAcceptsOnlyTheScriptedDisplayFormats)
{
    FakeD3D9 fake;
    fake.displayFormats = {D3DFMT_R5G6B5};
    IDirect3D9* d3d = Direct3DCreate9(0x80000020);
    const D3DFORMAT order[] = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_A2B10G10R10, D3DFMT_R5G6B5};
    D3DFORMAT found = D3DFMT_UNKNOWN;
    for (D3DFORMAT f : order)
        if (SUCCEEDED(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, f, f, FALSE))) {
            found = f;
            break;
        }
    EXPECT_EQ(found, D3DFMT_R5G6B5);
    auto calls = fake.Find("CheckDeviceType");
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0]->Arg("AdapterFormat"), (uint64_t)D3DFMT_X8R8G8B8);
    EXPECT_TRUE(FAILED(calls[2]->result));
    EXPECT_EQ(calls[3]->result, D3D_OK);
    d3d->Release();
}

struct WalkCase {
    const char* name;
    std::set<D3DFORMAT> depthFormats;
    DWORD vertexProcessing;
    size_t attempts;           // CreateDevice calls until a device exists
    D3DFORMAT depthFormat;     // of the device made
    DWORD behavior;            // of the device made
};

class CreateDeviceWalk : public ::testing::TestWithParam<WalkCase> {};

// The renderer's walk: every depth format in order, two attempts each, first
// with mixed then with software vertex processing.
TEST_P(CreateDeviceWalk, RefusesWhatTheScriptRefuses)
{
    const WalkCase& wc = GetParam();
    FakeD3D9 fake;
    fake.depthFormats = wc.depthFormats;
    fake.vertexProcessing = wc.vertexProcessing;
    IDirect3D9* d3d = Direct3DCreate9(0x80000020);
    const D3DFORMAT depths[] = {D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D15S1, D3DFMT_D32,
                                D3DFMT_D24X8, D3DFMT_D16_LOCKABLE, D3DFMT_D16};
    IDirect3DDevice9* dev = nullptr;
    for (DWORD vp : {D3DCREATE_MIXED_VERTEXPROCESSING, D3DCREATE_SOFTWARE_VERTEXPROCESSING}) {
        for (D3DFORMAT f : depths) {
            D3DPRESENT_PARAMETERS pp = Windowed(f);
            for (int attempt = 0; attempt < 2 && !dev; ++attempt)
                d3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(), vp, &pp, &dev);
            if (dev)
                break;
        }
        if (dev)
            break;
    }
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(fake.Count("CreateDevice"), wc.attempts);
    EXPECT_EQ(fake.LastDevice()->Params().AutoDepthStencilFormat, wc.depthFormat);
    EXPECT_EQ(fake.LastDevice()->BehaviorFlags(), wc.behavior);
    dev->Release();
    EXPECT_EQ(d3d->Release(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CreateDeviceWalk,
    ::testing::Values(
        WalkCase{"AllAccepted", {D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D16}, D3DCREATE_MIXED_VERTEXPROCESSING, 1,
                 D3DFMT_D24S8, D3DCREATE_MIXED_VERTEXPROCESSING},
        WalkCase{"DepthBeforeD24X8Refused", {D3DFMT_D24X8, D3DFMT_D16}, D3DCREATE_MIXED_VERTEXPROCESSING, 9,
                 D3DFMT_D24X8, D3DCREATE_MIXED_VERTEXPROCESSING},
        WalkCase{"NoMixedVertexProcessing", {D3DFMT_D24S8}, D3DCREATE_SOFTWARE_VERTEXPROCESSING, 15, D3DFMT_D24S8,
                 D3DCREATE_SOFTWARE_VERTEXPROCESSING}),
    [](const ::testing::TestParamInfo<WalkCase>& info) { return std::string(info.param.name); });

TEST(FakeD3D9Adapter, CreateDeviceFillsInTheWindowedBackBuffer)
{
    FakeD3D9 fake;
    fake.clientWidth = 320;
    fake.clientHeight = 200;
    IDirect3D9* d3d = Direct3DCreate9(0x80000020);
    D3DPRESENT_PARAMETERS pp = Windowed();
    pp.BackBufferCount = 0;
    IDirect3DDevice9* dev = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(), D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev),
              D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, 320u);
    EXPECT_EQ(pp.BackBufferHeight, 200u);
    EXPECT_EQ(pp.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(pp.BackBufferCount, 1u);
    D3DVIEWPORT9 vp;
    dev->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 320u);
    EXPECT_EQ(vp.Height, 200u);
    dev->Release();
    d3d->Release();
}

TEST(FakeD3D9Adapter, MakeDeviceGivesADeviceThatEndsWithItsRelease)
{
    FakeD3D9 fake;
    IDirect3DDevice9* dev = fake.MakeDevice(100, 50, D3DFMT_D16);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(fake.LastDevice()->Params().BackBufferWidth, 100u);
    EXPECT_EQ(fake.LastDevice()->AutoDepthStencil()->Desc().Format, D3DFMT_D16);
    EXPECT_EQ(dev->Release(), 0u);
    EXPECT_EQ(fake.LiveObjects(), 0u);
}

TEST(FakeD3D9Adapter, ScriptedCapsReachBothGetDeviceCaps)
{
    FakeD3D9 fake;
    fake.Caps().MaxVertexBlendMatrices = 2;
    fake.Caps().AlphaCmpCaps = 0;
    IDirect3D9* d3d = Direct3DCreate9(0x80000020);
    D3DCAPS9 caps;
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.MaxVertexBlendMatrices, 2u);
    D3DPRESENT_PARAMETERS pp = Windowed();
    IDirect3DDevice9* dev = nullptr;
    d3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(), D3DCREATE_MIXED_VERTEXPROCESSING, &pp, &dev);
    ASSERT_NE(dev, nullptr);
    std::memset(&caps, 0xFF, sizeof caps);
    ASSERT_EQ(dev->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.AlphaCmpCaps, 0u);
    EXPECT_EQ(caps.MaxTextureBlendStages, 8u);
    dev->Release();
    d3d->Release();
}

// ---- Scripted failures and the call log ------------------------------------------------

TEST_F(FakeDeviceTest, ClearWithStencilFailsOnADepthFormatWithoutStencil)
{
    dev->Release();
    dev = nullptr;
    D3DPRESENT_PARAMETERS pp = Windowed(D3DFMT_D24X8);
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(), D3DCREATE_MIXED_VERTEXPROCESSING, &pp, &dev),
              D3D_OK);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF00BFFF, 1.0f, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00BFFF, 1.0f, 0), D3D_OK);
    // The clear reaches the back buffer's memory.
    IDirect3DSurface9* bb = nullptr;
    ASSERT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(bb->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*(const DWORD*)lr.pBits, 0xFF00BFFFu);
    bb->UnlockRect();
    bb->Release();
    auto clears = fake.Find("Clear");
    ASSERT_EQ(clears.size(), 2u);
    EXPECT_EQ(clears[0]->result, D3DERR_INVALIDCALL);
    EXPECT_EQ(clears[1]->Arg("Color"), 0xFF00BFFFu);
    EXPECT_FLOAT_EQ(clears[1]->ArgF("Z"), 1.0f);
}

TEST_F(FakeDeviceTest, ScriptedFailuresByPredicateAndCount)
{
    fake.Fail("Clear", D3DERR_INVALIDCALL).When([](const FakeCall& c) { return (c.Arg("Flags") & D3DCLEAR_STENCIL) != 0; });
    FakeFailure& second = fake.Fail("GetBackBuffer").After(1).Times(1);
    fake.Fail("SetRenderState").WhenArg("State", D3DRS_FOGENABLE);

    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);

    IDirect3DSurface9* s = nullptr;
    EXPECT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &s), D3D_OK);
    s->Release();
    EXPECT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &s), E_FAIL);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &s), D3D_OK);
    s->Release();
    EXPECT_EQ(second.Failed(), 1);

    EXPECT_EQ(dev->SetRenderState(D3DRS_FOGENABLE, TRUE), E_FAIL);
    EXPECT_EQ(fd->RenderState(D3DRS_FOGENABLE), (DWORD)FALSE);
    EXPECT_EQ(dev->SetRenderState(D3DRS_LIGHTING, FALSE), D3D_OK);

    EXPECT_EQ(fake.Count("GetBackBuffer"), 3u);
    EXPECT_EQ(fake.Count("GetBackBuffer", [](const FakeCall& c) { return FAILED(c.result); }), 1u);
    fake.ClearLog();
    EXPECT_TRUE(fake.Calls().empty());
    dev->Present(nullptr, nullptr, nullptr, nullptr);
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetSamplerState(1, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    EXPECT_EQ(fake.LogText(), "Present(pSourceRect=0, pDestRect=0, hDestWindowOverride=0, pDirtyRegion=0)\n"
                              "SetRenderState(State=D3DRS_LIGHTING, Value=0)\n"
                              "SetSamplerState(Sampler=1, Type=D3DSAMP_MIPFILTER, Value=2)\n");
}

TEST_F(FakeDeviceTest, GettersAreLoggedAndCanFail)
{
    fake.Fail("GetTransform", D3DERR_INVALIDCALL).WhenArg("State", D3DTS_VIEW);
    D3DMATRIX m;
    EXPECT_EQ(dev->GetTransform(D3DTS_VIEW, &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->GetTransform(D3DTS_WORLD, &m), D3D_OK);
    D3DVIEWPORT9 vp;
    dev->GetViewport(&vp);
    EXPECT_EQ(fake.Count("GetViewport"), 1u);
    DWORD v;
    dev->GetRenderState(D3DRS_ZENABLE, &v);
    EXPECT_EQ(fake.Find("GetRenderState").back()->Text(), "GetRenderState(State=D3DRS_ZENABLE)");
}

TEST_F(FakeDeviceTest, DrawsRecordTheStatesTheySaw)
{
    struct V {
        float x, y, z, rhw;
        DWORD c;
    } quad[4] = {};
    ASSERT_EQ(dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V)), D3DERR_INVALIDCALL);
    ASSERT_EQ(fake.Problems().size(), 1u); // outside BeginScene
    fake.ClearLog();
    fake.ClearProblems();

    dev->BeginScene();
    dev->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V)), D3D_OK);
    dev->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    dev->EndScene();
    ASSERT_EQ(fake.Draws().size(), 1u);
    const FakeDraw& d = fake.Draws()[0];
    EXPECT_EQ(d.renderStates[D3DRS_ZWRITEENABLE], (DWORD)FALSE);
    EXPECT_EQ(d.fvf, (DWORD)(D3DFVF_XYZRHW | D3DFVF_DIFFUSE));
    EXPECT_EQ(d.primitiveCount, 2u);
    ASSERT_NE(fake.CallAt(d.callIndex), nullptr);
    EXPECT_EQ(fake.CallAt(d.callIndex)->method, "DrawPrimitiveUP");
    EXPECT_EQ(fake.Sequence({"BeginScene", "DrawPrimitiveUP", "EndScene"}),
              (std::vector<std::string>{"BeginScene", "DrawPrimitiveUP", "EndScene"}));
}

TEST_F(FakeDeviceTest, DrawPastTheVertexBufferIsAProblem)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(dev->CreateVertexBuffer(3 * 16, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    dev->SetStreamSource(0, vb, 0, 16);
    dev->BeginScene();
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL);
    dev->EndScene();
    EXPECT_EQ(fake.Problems().size(), 1u);
    fake.ClearProblems();
    dev->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
}

TEST_F(FakeDeviceTest, TheLogKeepsTheLatestCallsAndFailuresApplyWithoutIt)
{
    fake.maxCalls = 3;
    for (DWORD i = 0; i < 5; ++i)
        dev->SetRenderState(D3DRS_AMBIENT, i);
    ASSERT_EQ(fake.Calls().size(), 3u);
    EXPECT_EQ(fake.Calls().front().Arg("Value"), 2u);
    EXPECT_EQ(fake.CallAt(1), nullptr);
    EXPECT_EQ(fake.CallAt(fake.Calls().back().index)->Arg("Value"), 4u);

    fake.logging = false;
    fake.ClearLog();
    fake.Fail("BeginScene").Times(1);
    EXPECT_EQ(dev->BeginScene(), E_FAIL);
    EXPECT_EQ(dev->BeginScene(), D3D_OK);
    dev->EndScene();
    EXPECT_TRUE(fake.Calls().empty());
}

// ---- Defaults ----------------------------------------------------------------------------

TEST_F(FakeDeviceTest, StatesStartAtTheDocumentedDefaults)
{
    const struct {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } renderStates[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE}, // an automatic depth buffer exists
        {D3DRS_FILLMODE, D3DFILL_SOLID},
        {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
        {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_FOGEND, FloatBits(1.0f)},
        {D3DRS_FOGDENSITY, FloatBits(1.0f)},
        {D3DRS_STENCILMASK, 0xFFFFFFFF},
        {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
        {D3DRS_LIGHTING, TRUE},
        {D3DRS_AMBIENT, 0},
        {D3DRS_COLORVERTEX, TRUE},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
        {D3DRS_POINTSIZE, FloatBits(1.0f)},
        {D3DRS_POINTSCALE_A, FloatBits(1.0f)},
        {D3DRS_POINTSIZE_MAX, FloatBits(64.0f)},
        {D3DRS_COLORWRITEENABLE, 0xF},
        {D3DRS_BLENDOP, D3DBLENDOP_ADD},
    };
    for (const auto& rs : renderStates) {
        DWORD v = 0xDEADBEEF;
        ASSERT_EQ(dev->GetRenderState(rs.state, &v), D3D_OK);
        EXPECT_EQ(v, rs.value) << "render state " << rs.state;
    }
    DWORD v;
    dev->GetTextureStageState(0, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, (DWORD)D3DTOP_MODULATE);
    dev->GetTextureStageState(0, D3DTSS_ALPHAOP, &v);
    EXPECT_EQ(v, (DWORD)D3DTOP_SELECTARG1);
    dev->GetTextureStageState(1, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, (DWORD)D3DTOP_DISABLE);
    dev->GetTextureStageState(3, D3DTSS_TEXCOORDINDEX, &v);
    EXPECT_EQ(v, 3u);
    dev->GetSamplerState(2, D3DSAMP_MINFILTER, &v);
    EXPECT_EQ(v, (DWORD)D3DTEXF_POINT);
    dev->GetSamplerState(2, D3DSAMP_MIPFILTER, &v);
    EXPECT_EQ(v, (DWORD)D3DTEXF_NONE);
    dev->GetSamplerState(0, D3DSAMP_ADDRESSU, &v);
    EXPECT_EQ(v, (DWORD)D3DTADDRESS_WRAP);
    D3DMATRIX m;
    dev->GetTransform(D3DTS_WORLD, &m);
    EXPECT_EQ(m._11, 1.0f);
    EXPECT_EQ(m._12, 0.0f);
    D3DLIGHT9 light;
    EXPECT_EQ(dev->GetLight(0, &light), D3DERR_INVALIDCALL);
}

TEST_F(FakeDeviceTest, EnablingALightNeverSetCreatesTheDefaultLight)
{
    ASSERT_EQ(dev->LightEnable(2, TRUE), D3D_OK);
    D3DLIGHT9 light;
    ASSERT_EQ(dev->GetLight(2, &light), D3D_OK);
    EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(light.Diffuse.r, 1.0f);
    EXPECT_EQ(light.Direction.z, 1.0f);
    BOOL on = FALSE;
    dev->GetLightEnable(2, &on);
    EXPECT_TRUE(on);
}

// ---- State blocks ----------------------------------------------------------------------------

TEST_F(FakeDeviceTest, CreatedBlockCapturesAndAppliesEveryState)
{
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetSamplerState(1, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    IDirect3DStateBlock9* sb = nullptr;
    ASSERT_EQ(dev->CreateStateBlock(D3DSBT_ALL, &sb), D3D_OK);
    FakeStateBlock* fsb = fake.AsFake(sb);
    ASSERT_NE(fsb, nullptr);
    EXPECT_TRUE(fsb->CarriesRenderState(D3DRS_LIGHTING));
    EXPECT_EQ(fsb->SamplerState(1, D3DSAMP_MIPFILTER), (DWORD)D3DTEXF_LINEAR);

    dev->SetRenderState(D3DRS_LIGHTING, TRUE);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetSamplerState(1, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    ASSERT_EQ(sb->Apply(), D3D_OK);
    EXPECT_EQ(fd->RenderState(D3DRS_LIGHTING), (DWORD)FALSE);
    EXPECT_EQ(fd->RenderState(D3DRS_ALPHABLENDENABLE), (DWORD)FALSE);
    EXPECT_EQ(fd->SamplerState(1, D3DSAMP_MIPFILTER), (DWORD)D3DTEXF_LINEAR);

    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    ASSERT_EQ(sb->Capture(), D3D_OK);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    sb->Apply();
    EXPECT_EQ(fd->RenderState(D3DRS_ALPHABLENDENABLE), (DWORD)TRUE);
    EXPECT_EQ(sb->Release(), 0u);
}

TEST_F(FakeDeviceTest, RecordedBlockHoldsOnlyWhatWasSetAndRecordingDoesNotApply)
{
    ASSERT_EQ(dev->BeginStateBlock(), D3D_OK);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    EXPECT_EQ(fd->RenderState(D3DRS_ALPHABLENDENABLE), (DWORD)FALSE);
    IDirect3DStateBlock9* sb = nullptr;
    ASSERT_EQ(dev->EndStateBlock(&sb), D3D_OK);
    FakeStateBlock* fsb = fake.AsFake(sb);
    EXPECT_TRUE(fsb->Recorded());
    EXPECT_TRUE(fsb->CarriesRenderState(D3DRS_ALPHABLENDENABLE));
    EXPECT_FALSE(fsb->CarriesRenderState(D3DRS_LIGHTING));

    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    sb->Apply();
    EXPECT_EQ(fd->RenderState(D3DRS_ALPHABLENDENABLE), (DWORD)TRUE);
    EXPECT_EQ(fd->StageState(0, D3DTSS_COLOROP), (DWORD)D3DTOP_SELECTARG2);
    EXPECT_EQ(fd->RenderState(D3DRS_LIGHTING), (DWORD)FALSE); // not in the block

    // Capture refreshes only the recorded states.
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    sb->Capture();
    EXPECT_EQ(fsb->RenderState(D3DRS_ALPHABLENDENABLE), (DWORD)FALSE);
    EXPECT_FALSE(fsb->CarriesRenderState(D3DRS_LIGHTING));
    sb->Release();
}

TEST_F(FakeDeviceTest, BlockMadeBeforeALightExistedLeavesThatLightAlone)
{
    IDirect3DStateBlock9* before = nullptr;
    dev->CreateStateBlock(D3DSBT_ALL, &before);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {0.5f, 0.5f, 0.5f, 1.0f};
    light.Direction = {0.0f, -1.0f, 0.0f};
    dev->SetLight(0, &light);
    dev->LightEnable(0, TRUE);
    before->Capture(); // still carries nothing for light 0
    IDirect3DStateBlock9* after = nullptr;
    dev->CreateStateBlock(D3DSBT_ALL, &after);

    before->Apply();
    EXPECT_TRUE(fd->LightEnabled(0));
    EXPECT_FALSE(fake.AsFake(before)->CarriesLight(0));

    dev->LightEnable(0, FALSE);
    after->Apply();
    EXPECT_TRUE(fd->LightEnabled(0));
    before->Release();
    after->Release();
}

TEST_F(FakeDeviceTest, PixelAndVertexBlocksSplitTheStates)
{
    IDirect3DStateBlock9* px = nullptr;
    IDirect3DStateBlock9* vx = nullptr;
    dev->CreateStateBlock(D3DSBT_PIXELSTATE, &px);
    dev->CreateStateBlock(D3DSBT_VERTEXSTATE, &vx);
    EXPECT_TRUE(fake.AsFake(px)->CarriesRenderState(D3DRS_ALPHABLENDENABLE));
    EXPECT_FALSE(fake.AsFake(px)->CarriesRenderState(D3DRS_LIGHTING));
    EXPECT_TRUE(fake.AsFake(vx)->CarriesRenderState(D3DRS_LIGHTING));
    EXPECT_FALSE(fake.AsFake(vx)->CarriesRenderState(D3DRS_ALPHABLENDENABLE));
    EXPECT_TRUE(fake.AsFake(px)->CarriesSamplerState(0, D3DSAMP_MIPFILTER));
    EXPECT_TRUE(fake.AsFake(vx)->CarriesStageState(0, D3DTSS_TEXCOORDINDEX));
    EXPECT_FALSE(fake.AsFake(px)->CarriesStageState(0, D3DTSS_TEXCOORDINDEX));
    px->Release();
    vx->Release();
}

// ---- Reference counts ------------------------------------------------------------------------

TEST_F(FakeDeviceTest, ResourcesHoldTheirDeviceAndTheDeviceHoldsDirect3D)
{
    EXPECT_EQ(d3d->AddRef(), 3u); // ours, the device's, this one
    EXPECT_EQ(d3d->Release(), 2u);

    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(dev->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    EXPECT_EQ(dev->AddRef(), 3u);
    EXPECT_EQ(dev->Release(), 2u);

    IDirect3DSurface9* level = nullptr;
    tex->GetSurfaceLevel(0, &level);
    EXPECT_EQ(tex->AddRef(), 3u); // the level counts on its texture
    tex->Release();
    EXPECT_EQ(level->Release(), 1u);

    IDirect3DSurface9* bb = nullptr;
    dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    EXPECT_EQ(dev->AddRef(), 4u); // the back buffer in use holds the device
    dev->Release();
    EXPECT_EQ(bb->Release(), 0u);

    IDirect3DStateBlock9* sb = nullptr;
    dev->CreateStateBlock(D3DSBT_ALL, &sb);
    EXPECT_EQ(dev->AddRef(), 4u);
    dev->Release();
    sb->Release();
    EXPECT_EQ(tex->Release(), 0u);
    EXPECT_EQ(dev->AddRef(), 2u);
    dev->Release();
}

TEST_F(FakeDeviceTest, ABoundTextureOutlivesItsLastReleaseUntilUnbound)
{
    IDirect3DTexture9* tex = nullptr;
    dev->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr);
    dev->SetTexture(0, tex);
    IDirect3DStateBlock9* sb = nullptr;
    dev->CreateStateBlock(D3DSBT_ALL, &sb);
    EXPECT_EQ(tex->Release(), 0u); // binding is not a public reference
    EXPECT_EQ(fd->Texture(0), tex);
    const size_t withTexture = fake.LiveObjects();
    dev->SetTexture(0, nullptr);
    EXPECT_EQ(fake.LiveObjects(), withTexture); // the state block still holds it
    sb->Apply();
    EXPECT_EQ(fd->Texture(0), tex);
    dev->SetTexture(0, nullptr);
    sb->Release();
    EXPECT_LT(fake.LiveObjects(), withTexture);
}

TEST_F(FakeDeviceTest, DeviceOutlivingItsOwnerEndsWithItsLastResource)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    dev->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb, nullptr);
    EXPECT_EQ(dev->Release(), 1u); // the buffer still holds it
    dev = nullptr;
    EXPECT_EQ(fake.LastDevice(), fd);
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(fake.LastDevice(), nullptr);
}

// ---- Texture memory ------------------------------------------------------------------------------

struct LayoutCase {
    D3DFORMAT format;
    UINT width, height;
    INT pitch;        // of level 0
    size_t level0;    // bytes of level 0
};

class TextureLayout : public FakeDeviceTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(TextureLayout, LockRectExposesTheDirect3DLayout)
{
    const LayoutCase& lc = GetParam();
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(dev->CreateTexture(lc.width, lc.height, 0, 0, lc.format, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_EQ(lr.Pitch, lc.pitch);
    std::memset(lr.pBits, 0xAB, lc.level0); // the whole level is writable
    tex->UnlockRect(0);
    EXPECT_EQ(fake.AsFake(tex)->Level(0).bits.size(), lc.level0);
    UINT levels = tex->GetLevelCount();
    D3DSURFACE_DESC last;
    tex->GetLevelDesc(levels - 1, &last);
    EXPECT_EQ(last.Width, 1u);
    EXPECT_EQ(last.Height, 1u);
    EXPECT_EQ(tex->Release(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, TextureLayout,
                         ::testing::Values(LayoutCase{D3DFMT_A8R8G8B8, 16, 8, 64, 512},
                                           LayoutCase{D3DFMT_X8R8G8B8, 3, 5, 12, 60},
                                           LayoutCase{D3DFMT_R5G6B5, 16, 16, 32, 512},
                                           LayoutCase{D3DFMT_A4R4G4B4, 8, 2, 16, 32},
                                           LayoutCase{D3DFMT_A8, 7, 3, 7, 21},
                                           LayoutCase{D3DFMT_L8, 16, 16, 16, 256},
                                           LayoutCase{D3DFMT_DXT1, 16, 8, 32, 64},
                                           LayoutCase{D3DFMT_DXT5, 16, 16, 64, 256}));

TEST_F(FakeDeviceTest, LockRectOfARectanglePointsAtIt)
{
    IDirect3DTexture9* tex = nullptr;
    dev->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr);
    D3DLOCKED_RECT lr;
    RECT r{2, 3, 6, 7};
    ASSERT_EQ(tex->LockRect(0, &lr, &r, 0), D3D_OK);
    EXPECT_EQ((BYTE*)lr.pBits - fake.AsFake(tex)->Level(0).bits.data(), 3 * 64 + 2 * 4);
    tex->UnlockRect(0);
    tex->Release();
}

TEST_F(FakeDeviceTest, LockMisuseFailsAndIsReported)
{
    IDirect3DTexture9* rt = nullptr;
    dev->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &rt, nullptr);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(rt->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);
    IDirect3DTexture9* tex = nullptr;
    dev->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr);
    EXPECT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);
    tex->UnlockRect(0);
    EXPECT_EQ(tex->UnlockRect(0), D3DERR_INVALIDCALL);
    EXPECT_EQ(fake.Problems().size(), 3u);
    fake.ClearProblems();
    rt->Release();
    tex->Release();
}

} // namespace
