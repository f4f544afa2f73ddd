// A shown framed window, which is the foreground window (the one a
// foreground DirectInput device reads for).
#pragma once

#include <windows.h>

inline LRESULT CALLBACK ForegroundWindowProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    return DefWindowProcA(h, m, w, l);
}

inline HWND MakeForegroundWindow()
{
    static const char kClass[] = "DirectInputTestWindow";
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ForegroundWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kClass;
        registered = RegisterClassA(&wc) != 0;
    }
    HWND h = CreateWindowExA(0, kClass, "Input", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
    if (h)
        ValidateRect(h, nullptr);
    return h;
}
