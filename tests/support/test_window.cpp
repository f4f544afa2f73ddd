#include "test_window.h"

#include <cstring>

namespace {
const char kClassName[] = "nimb test window";

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    return DefWindowProcA(h, m, w, l);
}
} // namespace

HWND TestWindow(int clientWidth, int clientHeight, bool visible)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc;
        std::memset(&wc, 0, sizeof(wc));
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kClassName;
        registered = RegisterClassA(&wc) != 0;
    }
    DWORD style = WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0);
    RECT r = {0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&r, style, FALSE);
    return CreateWindowExA(0, kClassName, kClassName, style, 0, 0, r.right - r.left, r.bottom - r.top, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}
