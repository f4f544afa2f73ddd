// A renderer brought up on the recording fake or on the real device (a
// framed window of a known client size, off-screen).
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <memory>

#include "fake_d3d9.h"
#include "renderer.h"
#include "test_window.h"
#include "app_globals.h"

enum class DeviceKind { Fake, Real };

inline const char* DeviceKindName(DeviceKind k)
{
    return k == DeviceKind::Fake ? "Fake" : "Real";
}

class TestDevice {
public:
    static constexpr int kClientWidth = 320;
    static constexpr int kClientHeight = 240;

    TestDevice(DeviceKind kind, bool showfps, bool mipmapping)
        : globals_(showfps, mipmapping)
    {
        if (kind == DeviceKind::Fake) {
            fake_.reset(new FakeD3D9());
            fake_->clientWidth = kClientWidth;
            fake_->clientHeight = kClientHeight;
            hwnd_ = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
        } else {
            hwnd_ = TestWindow(kClientWidth, kClientHeight, true);
        }
        gfx_ = new NimbGfx();
        gfx_->m_hWnd = hwnd_;
        gfx_->m_width = kClientWidth;
        gfx_->m_height = kClientHeight;
        ok_ = hwnd_ != nullptr && gfx_->CreateDevice(true);
        if (ok_) {
            gfx_->SetDefaultStates();
            gfx_->CreateFpsFont();
        }
    }
    ~TestDevice()
    {
        delete gfx_;
        if (!fake_ && hwnd_ != nullptr)
            DestroyWindow(hwnd_);
    }

    bool ok() const { return ok_; }
    NimbGfx* gfx() { return gfx_; }
    IDirect3DDevice9* device() { return m_pd3dDevice; }
    FakeD3D9* fake() { return fake_.get(); }

private:
    AppGlobals globals_;
    std::unique_ptr<FakeD3D9> fake_;
    HWND hwnd_ = nullptr;
    NimbGfx* gfx_ = nullptr;
    bool ok_ = false;
};
