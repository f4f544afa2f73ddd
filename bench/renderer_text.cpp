// The renderer's own costs on the real device, headless: a bare frame (clear,
// frame-rate text, present), a frame with a screen full of text, and the
// glyph-texture build of the two fonts the show makes (GDI rasterising and
// the mip rebuild through "temp.bmp").
//
//     build/bench/bench_renderer_text [frames]
//
// Runs in a temporary folder (it writes config.xml and temp.bmp there);
// off-screen unless SDL_VIDEODRIVER is set.
#include <windows.h>
#include <d3d9.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "bitmapfont.h"
#include "config.h"
#include "msglistener.h"
#include "renderer.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

const int kWidth = 640, kHeight = 480;

}  // namespace

int main(int argc, char** argv)
{
    int frames = argc > 1 ? std::atoi(argv[1]) : 300;
    if (frames <= 0)
        frames = 300;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    unsetenv("TEMP");

    char templ[] = "/tmp/nimb_bench_XXXXXX";
    if (mkdtemp(templ) == nullptr || chdir(templ) != 0)
        return 1;
    std::ofstream("config.xml") << "<main><showfps>true</showfps><mipmapping>true</mipmapping></main>";
    g_pConfig = new Config();
    g_pMsgListener = new MsgListener();

    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof(wc));
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "NimbBench";
    RegisterClassA(&wc);
    RECT r = {0, 0, kWidth, kHeight};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    HWND hwnd = CreateWindowExA(0, "NimbBench", "NimbBench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                r.right - r.left, r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
    NimbGfx* gfx = new NimbGfx();
    gfx->m_hWnd = hwnd;
    if (hwnd == nullptr || !gfx->CreateDevice(true)) {
        std::fprintf(stderr, "no device\n");
        return 1;
    }
    gfx->SetDefaultStates();

    // Glyph textures of the show's two fonts.
    for (DWORD height : {13u, 24u}) {
        const int runs = 5;
        auto t0 = Clock::now();
        for (int i = 0; i < runs; i++) {
            BitmapFont font("Arial", height, FontBold);
            font.InitDeviceObjects(m_pd3dDevice);
        }
        auto t1 = Clock::now();
        std::printf("glyph texture, Arial %u bold: %.1f ms each\n", (unsigned)height,
                    1000.0 * Seconds(t0, t1) / runs);
    }

    gfx->CreateFpsFont();
    for (int i = 0; i < 10; i++)
        gfx->RenderFrame();
    auto t0 = Clock::now();
    for (int i = 0; i < frames; i++)
        gfx->RenderFrame();
    auto t1 = Clock::now();
    std::printf("bare frame with frame-rate text (%dx%d): %.0f frames/s\n", kWidth, kHeight,
                frames / Seconds(t0, t1));

    // 24 lines of 60 glyphs, the text effect's font.
    BitmapFont text("Arial", 24, FontBold | FontZEnable);
    text.InitDeviceObjects(m_pd3dDevice);
    text.RestoreDeviceObjects();
    std::string page;
    for (int line = 0; line < 24; line++) {
        for (int c = 0; c < 60; c++)
            page.push_back((char)(33 + (line * 7 + c) % 94));
        page.push_back('\n');
    }
    auto t2 = Clock::now();
    for (int i = 0; i < frames; i++) {
        m_pd3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00BFFF, 1.0f, 0);
        m_pd3dDevice->BeginScene();
        text.DrawTextScaled(-1.0f, -1.0f, 0.5f, 0.04f, 0.04f, 0xFFFFFFFF, page.c_str(), TextFiltered);
        m_pd3dDevice->EndScene();
        m_pd3dDevice->Present(nullptr, nullptr, nullptr, nullptr);
    }
    auto t3 = Clock::now();
    double perFrame = Seconds(t2, t3) / frames;
    std::printf("frame with %zu glyphs of text: %.0f frames/s (%.2f us per glyph)\n", page.size() - 24,
                1.0 / perFrame, 1e6 * perFrame / (page.size() - 24));

    text.InvalidateDeviceObjects();
    text.DeleteDeviceObjects();
    delete gfx;
    DestroyWindow(hwnd);
    delete g_pMsgListener;
    delete g_pConfig;
    std::error_code ec;
    std::filesystem::remove_all(templ, ec);
    return 0;
}
