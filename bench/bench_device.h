// A small window with a windowed device on it, for the benchmarks that need
// one (run them with SDL_VIDEODRIVER=offscreen to stay headless).
#pragma once

#include <windows.h>
#include <d3d9.h>

class BenchDevice {
public:
    explicit BenchDevice(const char* title)
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = title;
        RegisterClassA(&wc);
        m_hwnd = CreateWindowExA(0, title, title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp = {};
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = m_hwnd;
        if (m_hwnd && d3d)
            d3d->CreateDevice(0, D3DDEVTYPE_HAL, m_hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &m_device);
        // The device keeps its own reference to the object that made it.
        if (d3d)
            d3d->Release();
    }
    ~BenchDevice()
    {
        if (m_device)
            m_device->Release();
        if (m_hwnd)
            DestroyWindow(m_hwnd);
    }

    // Null when no device could be made.
    IDirect3DDevice9* Get() const { return m_device; }

private:
    BenchDevice(const BenchDevice&) = delete;
    BenchDevice& operator=(const BenchDevice&) = delete;

    HWND m_hwnd = nullptr;
    IDirect3DDevice9* m_device = nullptr;
};
