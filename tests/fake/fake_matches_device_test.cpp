// The fake and the real device agree where tests on the fake rely on them
// agreeing: default states, reference counts, texture layouts, clear rules.
#include <gtest/gtest.h>

#include "fake_d3d9.h"

#include <windows.h>
#include <d3d9.h>

#include <memory>
#include <vector>

namespace {

const int kWidth = 64, kHeight = 48;

// One windowed device of each kind, made with the same parameters.
class FakeMatchesDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "FakeMatchesDevice";
        RegisterClassA(&wc);
        RECT outer = {0, 0, kWidth, kHeight};
        AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
        hwnd = CreateWindowExA(0, wc.lpszClassName, "FakeMatchesDevice", WS_OVERLAPPEDWINDOW, 0, 0,
                               outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, wc.hInstance,
                               nullptr);
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
        UnregisterClassA("FakeMatchesDevice", GetModuleHandleA(nullptr));
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
