// The show's renderer on an 800x600 window, for the benchmarks that draw the
// show's own objects. Works in a scratch folder under /tmp that sees the run
// folder's data and settings, as the program sees its own folder. Headless
// (SDL's offscreen driver) unless SDL_VIDEODRIVER is set.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "config.h"
#include "renderer.h"

// Null (with a line on standard error) when the folder or the device could not be made.
inline NimbGfx* OpenShowGfx(const char* name, const std::string& run)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::string folder = "/tmp/bench_" + std::string(name) + "_XXXXXX";
    if (!mkdtemp(&folder[0]) || chdir(folder.c_str()) != 0) {
        std::fprintf(stderr, "bench_%s: no scratch folder\n", name);
        return nullptr;
    }
    std::error_code ec;
    std::filesystem::create_symlink(run + "/data", "data", ec);
    std::filesystem::copy_file(run + "/config.xml", "config.xml", ec);
    g_pConfig = new Config();
    g_pConfig->m_resx = 800;
    g_pConfig->m_resy = 600;

    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = name;
    RegisterClassA(&wc);
    RECT r = {0, 0, 800, 600};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    HWND hwnd = CreateWindowExA(0, name, name, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, r.right - r.left,
                                r.bottom - r.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    NimbGfx* gfx = new NimbGfx();
    gfx->m_hWnd = hwnd;
    gfx->m_width = 800;
    gfx->m_height = 600;
    if (!hwnd || !gfx->CreateDevice(true)) {
        std::fprintf(stderr, "bench_%s: no device\n", name);
        return nullptr;
    }
    gfx->SetDefaultStates();
    return gfx;
}

// Frees what OpenShowGfx made and removes its scratch folder.
inline void CloseShowGfx(NimbGfx* gfx)
{
    HWND hwnd = gfx->m_hWnd;
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::current_path(ec);
    delete gfx;
    DestroyWindow(hwnd);
    delete g_pConfig;
    g_pConfig = nullptr;
    if (!ec && folder.filename().string().rfind("bench_", 0) == 0 && chdir("/") == 0)
        std::filesystem::remove_all(folder, ec);
}
