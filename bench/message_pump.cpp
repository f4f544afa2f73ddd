// Cost of one idle pass of the message loop: the two PeekMessageA calls the
// loop makes before each frame, with SDL pumped by each.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    return DefWindowProcA(h, m, w, l);
}

int main()
{
    if (!std::getenv("SDL_VIDEODRIVER"))
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "BenchPump";
    RegisterClassA(&wc);
    HWND h = CreateWindowExA(0, "BenchPump", "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                             nullptr, wc.hInstance, nullptr);
    if (!h) {
        std::fprintf(stderr, "no window\n");
        return 1;
    }
    const int passes = 200000;
    MSG msg;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < passes; ++i) {
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }
    auto t1 = std::chrono::steady_clock::now();
    for (int i = 0; i < passes; ++i) {
        PostMessageA(h, WM_USER, i, 0);
        GetMessageA(&msg, nullptr, 0, 0);
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    auto t2 = std::chrono::steady_clock::now();
    double idle = std::chrono::duration<double, std::micro>(t1 - t0).count() / passes;
    double posted = std::chrono::duration<double, std::micro>(t2 - t1).count() / passes;
    std::printf("idle pass (2 peeks): %.3f us\npost + get + dispatch: %.3f us\n", idle, posted);
    DestroyWindow(h);
    return 0;
}
