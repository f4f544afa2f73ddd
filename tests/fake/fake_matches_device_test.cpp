// The fake and the real device agree where tests on the fake rely on them
// agreeing: default states, reference counts, texture layouts, clear rules.
#include <gtest/gtest.h>

#include "fake_d3d9.h"
#include "test_window.h"

#include <windows.h>
#include <d3d9.h>

#include <map>
#include <memory>
#include <vector>

namespace {

const int kWidth = 64, kHeight = 48;

// One windowed device of each kind, made with the same parameters.
class FakeMatchesDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        hwnd = TestWindow(kWidth, kHeight);
        ASSERT_NE(hwnd, nullptr);
        real = Make(depthFormat);
    }
    void TearDown() override
    {
        if (real) {
            EXPECT_EQ(real->Release(), 0u);
        }
        if (faked) {
            EXPECT_EQ(faked->Release(), 0u);
        }
        if (hwnd)
            DestroyWindow(hwnd);
    }

    // A device from whatever Direct3DCreate9 gives now.
    IDirect3DDevice9* Make(D3DFORMAT depth)
    {
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d)
            return nullptr;
        D3DPRESENT_PARAMETERS pp{};
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = hwnd;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = depth;
        IDirect3DDevice9* dev = nullptr;
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev);
        d3d->Release();
        return dev;
    }

    // Both devices; the fake is installed only after the real one exists.
    bool Both()
    {
        if (!real)
            return false;
        if (!installed) {
            installed.reset(new FakeD3D9());
            faked = Make(depthFormat);
        }
        return faked != nullptr;
    }

    D3DFORMAT depthFormat = D3DFMT_D24S8;
    HWND hwnd = nullptr;
    IDirect3DDevice9* real = nullptr;
    IDirect3DDevice9* faked = nullptr;
    std::unique_ptr<FakeD3D9> installed;
};

TEST_F(FakeMatchesDevice, EveryStateStartsAtTheSameValue)
{
    ASSERT_TRUE(Both()) << "no real device";
    for (DWORD s = 0; s < 256; ++s) {
        DWORD f = 0, r = 0;
        if (FAILED(faked->GetRenderState((D3DRENDERSTATETYPE)s, &f)))
            continue;
        ASSERT_EQ(real->GetRenderState((D3DRENDERSTATETYPE)s, &r), D3D_OK) << "render state " << s;
        EXPECT_EQ(r, f) << "render state " << s;
    }
    for (DWORD stage = 0; stage < 8; ++stage)
        for (DWORD t = 0; t < 33; ++t) {
            DWORD f = 0, r = 0;
            if (FAILED(faked->GetTextureStageState(stage, (D3DTEXTURESTAGESTATETYPE)t, &f)))
                continue;
            ASSERT_EQ(real->GetTextureStageState(stage, (D3DTEXTURESTAGESTATETYPE)t, &r), D3D_OK)
                << "stage " << stage << " state " << t;
            EXPECT_EQ(r, f) << "stage " << stage << " state " << t;
        }
    for (DWORD sampler = 0; sampler < 16; ++sampler)
        for (DWORD t = 1; t < 14; ++t) {
            DWORD f = 0, r = 0;
            if (FAILED(faked->GetSamplerState(sampler, (D3DSAMPLERSTATETYPE)t, &f)))
                continue;
            ASSERT_EQ(real->GetSamplerState(sampler, (D3DSAMPLERSTATETYPE)t, &r), D3D_OK)
                << "sampler " << sampler << " state " << t;
            EXPECT_EQ(r, f) << "sampler " << sampler << " state " << t;
        }
    D3DVIEWPORT9 vf, vr;
    faked->GetViewport(&vf);
    real->GetViewport(&vr);
    EXPECT_EQ(vf.Width, vr.Width);
    EXPECT_EQ(vf.Height, vr.Height);
}

// The counts AddRef reports after each step, on one device.
std::vector<ULONG> CountsOf(IDirect3DDevice9* dev)
{
    std::vector<ULONG> counts;
    auto deviceCount = [&]() {
        dev->AddRef();
        counts.push_back(dev->Release());
    };
    deviceCount();
    IDirect3DTexture9* tex = nullptr;
    dev->CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr);
    deviceCount();
    IDirect3DSurface9* level = nullptr;
    tex->GetSurfaceLevel(1, &level);
    tex->AddRef();
    counts.push_back(tex->Release());
    counts.push_back(level->Release());
    dev->SetTexture(0, tex);
    tex->AddRef();
    counts.push_back(tex->Release());
    IDirect3DSurface9* bb = nullptr;
    dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    deviceCount();
    counts.push_back(bb->Release());
    IDirect3DStateBlock9* sb = nullptr;
    dev->CreateStateBlock(D3DSBT_ALL, &sb);
    deviceCount();
    counts.push_back(sb->Release());
    counts.push_back(tex->Release()); // still bound
    dev->SetTexture(0, nullptr);
    deviceCount();
    IDirect3D9* d3d = nullptr;
    dev->GetDirect3D(&d3d);
    counts.push_back(d3d->Release());
    return counts;
}

TEST_F(FakeMatchesDevice, ReferenceCountsComeOutTheSame)
{
    ASSERT_TRUE(Both()) << "no real device";
    EXPECT_EQ(CountsOf(faked), CountsOf(real));
}

// What Reset and TestCooperativeLevel answer after each step, on one device.
std::vector<HRESULT> ResetAnswersOf(IDirect3DDevice9* dev, HWND hwnd)
{
    std::vector<HRESULT> answers;
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = hwnd;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    auto step = [&](HRESULT hr) {
        answers.push_back(hr);
        answers.push_back(dev->TestCooperativeLevel());
        answers.push_back(dev->Present(nullptr, nullptr, nullptr, nullptr));
    };
    IDirect3DTexture9* held = nullptr;
    dev->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &held, nullptr);
    D3DPRESENT_PARAMETERS p = pp;
    step(dev->Reset(&p));
    held->Release();
    p = pp;
    p.Windowed = FALSE;
    p.BackBufferWidth = 0;
    step(dev->Reset(&p));
    step(dev->Reset(nullptr));
    IDirect3DTexture9* managed = nullptr;
    dev->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr);
    p = pp;
    p.BackBufferWidth = 32;
    p.BackBufferHeight = 16;
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    step(dev->Reset(&p));
    DWORD lighting = 0;
    dev->GetRenderState(D3DRS_LIGHTING, &lighting);
    answers.push_back((HRESULT)lighting);
    D3DVIEWPORT9 v{};
    dev->GetViewport(&v);
    answers.push_back((HRESULT)(v.Width * 1000 + v.Height));
    managed->Release();
    return answers;
}

TEST_F(FakeMatchesDevice, ResetAndTestCooperativeLevelAnswerTheSame)
{
    ASSERT_TRUE(Both()) << "no real device";
    EXPECT_EQ(ResetAnswersOf(faked, hwnd), ResetAnswersOf(real, hwnd));
}

TEST_F(FakeMatchesDevice, TextureLevelsHaveTheSamePitchAndSize)
{
    ASSERT_TRUE(Both()) << "no real device";
    const D3DFORMAT formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
                                 D3DFMT_A4R4G4B4, D3DFMT_A8, D3DFMT_L8, D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5};
    for (D3DFORMAT fmt : formats) {
        for (IDirect3DDevice9* dev : {faked, real}) {
            IDirect3DTexture9* tex = nullptr;
            ASSERT_EQ(dev->CreateTexture(32, 16, 0, 0, fmt, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK)
                << (dev == real ? "real " : "fake ") << fmt;
            tex->Release();
        }
        IDirect3DTexture9* a = nullptr;
        IDirect3DTexture9* b = nullptr;
        faked->CreateTexture(32, 16, 0, 0, fmt, D3DPOOL_MANAGED, &a, nullptr);
        real->CreateTexture(32, 16, 0, 0, fmt, D3DPOOL_MANAGED, &b, nullptr);
        ASSERT_EQ(a->GetLevelCount(), b->GetLevelCount()) << fmt;
        for (UINT l = 0; l < a->GetLevelCount(); ++l) {
            D3DSURFACE_DESC da, db;
            a->GetLevelDesc(l, &da);
            b->GetLevelDesc(l, &db);
            EXPECT_EQ(da.Width, db.Width) << fmt << " level " << l;
            EXPECT_EQ(da.Height, db.Height) << fmt << " level " << l;
            D3DLOCKED_RECT la, lb;
            ASSERT_EQ(a->LockRect(l, &la, nullptr, D3DLOCK_READONLY), D3D_OK);
            ASSERT_EQ(b->LockRect(l, &lb, nullptr, D3DLOCK_READONLY), D3D_OK);
            EXPECT_EQ(la.Pitch, lb.Pitch) << fmt << " level " << l;
            a->UnlockRect(l);
            b->UnlockRect(l);
        }
        a->Release();
        b->Release();
    }
}

// Every state a snapshot can read back, lights 0-3 included, by a key of
// its own (kind << 16 | number).
std::map<uint32_t, DWORD> Snapshot(IDirect3DDevice9* dev)
{
    std::map<uint32_t, DWORD> v;
    for (DWORD s = 0; s < 256; ++s) {
        DWORD x = 0;
        if (SUCCEEDED(dev->GetRenderState((D3DRENDERSTATETYPE)s, &x)))
            v[(1u << 16) | s] = x;
    }
    for (DWORD stage = 0; stage < 8; ++stage)
        for (DWORD t = 0; t < 33; ++t) {
            DWORD x = 0;
            if (SUCCEEDED(dev->GetTextureStageState(stage, (D3DTEXTURESTAGESTATETYPE)t, &x)))
                v[(2u << 16) | (stage << 8) | t] = x;
        }
    for (DWORD sampler = 0; sampler < 4; ++sampler)
        for (DWORD t = 1; t < 14; ++t) {
            DWORD x = 0;
            if (SUCCEEDED(dev->GetSamplerState(sampler, (D3DSAMPLERSTATETYPE)t, &x)))
                v[(3u << 16) | (sampler << 8) | t] = x;
        }
    for (DWORD l = 0; l < 4; ++l) {
        D3DLIGHT9 light{};
        BOOL on = FALSE;
        v[(4u << 16) | (l << 1)] = SUCCEEDED(dev->GetLight(l, &light)) ? (DWORD)light.Type : 0xFFFF;
        v[(4u << 16) | (l << 1) | 1] = SUCCEEDED(dev->GetLightEnable(l, &on)) ? (on ? 1u : 0u) : 0xFFFF;
    }
    D3DMATERIAL9 m{};
    dev->GetMaterial(&m);
    v[5u << 16] = (DWORD)(m.Diffuse.r * 1000.0f);
    D3DMATRIX w{};
    dev->GetTransform(D3DTS_WORLD, &w);
    v[6u << 16] = (DWORD)(w._41 * 1000.0f);
    DWORD fvf = 0;
    dev->GetFVF(&fvf);
    v[7u << 16] = fvf;
    return v;
}

// One script of sets and state-block operations; the snapshot after each step.
std::vector<std::map<uint32_t, DWORD>> StateBlockScript(IDirect3DDevice9* dev)
{
    std::vector<std::map<uint32_t, DWORD>> steps;
    auto step = [&]() { steps.push_back(Snapshot(dev)); };
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = {1.0f, 0.5f, 0.25f, 1.0f};
    light.Range = 10.0f;
    light.Attenuation0 = 1.0f;
    D3DMATERIAL9 red{};
    red.Diffuse = {1.0f, 0.0f, 0.0f, 1.0f};
    D3DMATRIX moved{};
    moved._11 = moved._22 = moved._33 = moved._44 = 1.0f;
    moved._41 = 3.0f;

    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    dev->SetMaterial(&red);
    IDirect3DStateBlock9* all = nullptr;
    dev->CreateStateBlock(D3DSBT_ALL, &all);
    IDirect3DStateBlock9* pixel = nullptr;
    dev->CreateStateBlock(D3DSBT_PIXELSTATE, &pixel);
    IDirect3DStateBlock9* vertex = nullptr;
    dev->CreateStateBlock(D3DSBT_VERTEXSTATE, &vertex);
    step();

    dev->SetLight(1, &light);
    dev->LightEnable(1, TRUE);
    dev->LightEnable(2, TRUE); // a light never set
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
    dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    dev->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1);
    dev->SetTransform(D3DTS_WORLD, &moved);
    dev->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    step();

    all->Apply(); // the lights made later stay as they are
    step();

    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
    dev->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1);
    pixel->Apply();
    step();
    vertex->Apply();
    step();

    dev->BeginStateBlock();
    dev->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    dev->SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    dev->LightEnable(1, FALSE);
    dev->SetTransform(D3DTS_WORLD, &moved);
    step(); // nothing applied while recording
    IDirect3DStateBlock9* recorded = nullptr;
    dev->EndStateBlock(&recorded);
    recorded->Apply();
    step();

    dev->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    dev->SetRenderState(D3DRS_DITHERENABLE, TRUE);
    recorded->Capture();
    dev->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    recorded->Apply(); // puts back only what the block carries
    step();

    all->Capture();
    dev->SetRenderState(D3DRS_LIGHTING, TRUE);
    dev->LightEnable(1, TRUE);
    all->Apply();
    step();

    recorded->Release();
    vertex->Release();
    pixel->Release();
    all->Release();
    return steps;
}

TEST_F(FakeMatchesDevice, StateBlocksGiveTheSameStatesStepByStep)
{
    ASSERT_TRUE(Both()) << "no real device";
    auto a = StateBlockScript(faked), b = StateBlockScript(real);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        for (const auto& kv : a[i]) {
            auto other = b[i].find(kv.first);
            ASSERT_NE(other, b[i].end()) << "step " << i << ": state " << std::hex << kv.first << " not on the device";
            EXPECT_EQ(kv.second, other->second) << "step " << i << ", state " << std::hex << kv.first;
        }
}

TEST(FakeMatchesAdapter, DefaultCapsAreTheDevicesCaps)
{
    IDirect3D9* real = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(real, nullptr);
    D3DCAPS9 r;
    ASSERT_EQ(real->GetDeviceCaps(0, D3DDEVTYPE_HAL, &r), D3D_OK);
    real->Release();
    FakeD3D9 fake;
    const D3DCAPS9& f = fake.Caps();
    EXPECT_EQ(f.MaxVertexBlendMatrices, r.MaxVertexBlendMatrices);
    EXPECT_EQ(f.MaxVertexBlendMatrixIndex, r.MaxVertexBlendMatrixIndex);
    EXPECT_EQ(f.VertexShaderVersion, r.VertexShaderVersion);
    EXPECT_EQ(f.AlphaCmpCaps, r.AlphaCmpCaps);
    EXPECT_EQ(f.MaxPointSize, r.MaxPointSize);
    // And every other field: when the device's capabilities change,
    // DefaultCaps in tests/support/fake_d3d9.cpp changes with them.
    const DWORD* a = reinterpret_cast<const DWORD*>(&f);
    const DWORD* b = reinterpret_cast<const DWORD*>(&r);
    for (size_t i = 0; i < sizeof(D3DCAPS9) / sizeof(DWORD); ++i)
        EXPECT_EQ(a[i], b[i]) << "D3DCAPS9 word " << i << " (byte offset " << i * 4 << ")";
}

TEST(FakeMatchesAdapter, FormatChecksGiveTheSameAnswers)
{
    IDirect3D9* real = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(real, nullptr);
    FakeD3D9 fake;
    IDirect3D9* faked = Direct3DCreate9(D3D_SDK_VERSION);
    const D3DFORMAT display[] = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_A2B10G10R10,
                                 D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5};
    for (D3DFORMAT f : display)
        for (BOOL windowed : {FALSE, TRUE})
            EXPECT_EQ(SUCCEEDED(faked->CheckDeviceType(0, D3DDEVTYPE_HAL, f, f, windowed)),
                      SUCCEEDED(real->CheckDeviceType(0, D3DDEVTYPE_HAL, f, f, windowed)))
                << "display format " << f << (windowed ? " windowed" : " full screen");
    const D3DFORMAT depth[] = {D3DFMT_D24S8, D3DFMT_D24X4S4,      D3DFMT_D15S1, D3DFMT_D32,          D3DFMT_D24X8,
                               D3DFMT_D16,   D3DFMT_D16_LOCKABLE, D3DFMT_D24FS8, D3DFMT_D32F_LOCKABLE};
    for (D3DFORMAT f : depth)
        EXPECT_EQ(SUCCEEDED(faked->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL,
                                                     D3DRTYPE_SURFACE, f)),
                  SUCCEEDED(real->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL,
                                                    D3DRTYPE_SURFACE, f)))
            << "depth format " << f;
    for (DWORD f = 20; f <= 117; ++f)
        for (DWORD usage : {0ul, (unsigned long)D3DUSAGE_RENDERTARGET})
            EXPECT_EQ(SUCCEEDED(faked->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, D3DRTYPE_TEXTURE,
                                                         (D3DFORMAT)f)),
                      SUCCEEDED(real->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, D3DRTYPE_TEXTURE,
                                                        (D3DFORMAT)f)))
                << "texture format " << f << " usage " << usage;
    for (D3DFORMAT f : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5, D3DFMT_UYVY})
        EXPECT_EQ(SUCCEEDED(faked->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, f)),
                  SUCCEEDED(real->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, f)))
            << "texture format " << f;
    faked->Release();
    real->Release();
}

TEST_F(FakeMatchesDevice, StageSetUpsValidateAlike)
{
    ASSERT_TRUE(Both()) << "no real device";
    // The four-stage bump set-up; then stage 3 on an operation neither has.
    const DWORD ops[4][3] = {{D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE, D3DTA_TFACTOR},
                             {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT},
                             {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT},
                             {D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT}};
    for (IDirect3DDevice9* dev : {faked, real}) {
        const char* which = dev == real ? "real" : "fake";
        for (DWORD s = 0; s < 4; ++s) {
            dev->SetTextureStageState(s, D3DTSS_COLOROP, ops[s][0]);
            dev->SetTextureStageState(s, D3DTSS_COLORARG1, ops[s][1]);
            dev->SetTextureStageState(s, D3DTSS_COLORARG2, ops[s][2]);
        }
        DWORD passes = 0;
        EXPECT_EQ(dev->ValidateDevice(&passes), D3D_OK) << which;
        dev->SetTextureStageState(3, D3DTSS_COLOROP, D3DTOP_BUMPENVMAPLUMINANCE);
        EXPECT_EQ(dev->ValidateDevice(&passes), D3DERR_UNSUPPORTEDCOLOROPERATION) << which;
    }
}

class FakeMatchesDeviceWithoutStencil : public FakeMatchesDevice {
protected:
    void SetUp() override
    {
        depthFormat = D3DFMT_D24X8;
        FakeMatchesDevice::SetUp();
    }
};

TEST_F(FakeMatchesDeviceWithoutStencil, ClearOfAStencilThatIsNotThereFailsOnBoth)
{
    ASSERT_TRUE(Both()) << "no real device with D24X8";
    for (IDirect3DDevice9* dev : {faked, real}) {
        const char* which = dev == real ? "real" : "fake";
        EXPECT_TRUE(FAILED(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0)))
            << which;
        EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK) << which;
    }
}

} // namespace
