// DefWindowProcA: what a window does with the messages its procedure
// passes on, and the move loop of a caption drag.
#include "windows.h"
#include "win_state.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

using win::g_state;
using win::Route;
using win::setActive;
using win::Window;

namespace {

// Drags the top-level window with the mouse until the left button is up
// (the window procedure's caption drag). On X11 the pointer is followed on
// the screen: a window that moves with the pointer sees no motion in it.
void moveLoop(HWND top)
{
    Window* t = win::live(top);
    if (!t || t->parent || t->fullScreen || !(g_state.queue.retrievedButtons & MK_LBUTTON))
        return;
    POINT start = {(SHORT)LOWORD(g_state.queue.lastMessagePos), (SHORT)HIWORD(g_state.queue.lastMessagePos)};
    int startX = t->x, startY = t->y;
    bool onScreen = win::driverShapesWindows() && !g_state.idleHook;
    auto follow = [&](POINT pt) {
        Window* w = win::live(top);
        int x = startX + pt.x - start.x, y = startY + pt.y - start.y;
        if (w && (w->x != x || w->y != y)) {
            int fx, fy;
            win::frameOffset(w, fx, fy);
            w->x = x;
            w->y = y;
            SDL_SetWindowPosition(w->sdl, x + fx, y + fy);
            win::send(top, WM_MOVE, 0, MAKELPARAM(x + fx, y + fy));
        }
    };
    win::send(top, WM_ENTERSIZEMOVE, 0, 0);
    bool done = false;
    while (!done && win::live(top)) {
        win::pump();
        bool any = false;
        for (auto it = g_state.queue.input.begin(); it != g_state.queue.input.end() && !done;) {
            if (it->route != Route::Mouse) {
                ++it;
                continue;
            }
            UINT m = it->msg.message;
            POINT pt = it->msg.pt;
            it = g_state.queue.input.erase(it);
            any = true;
            if (m == WM_LBUTTONUP)
                done = true;
            else if (m == WM_MOUSEMOVE && !onScreen)
                follow(pt);
        }
        if (onScreen) {
            int gx, gy;
            Uint32 buttons = SDL_GetGlobalMouseState(&gx, &gy);
            follow({gx, gy});
            if (!(buttons & SDL_BUTTON_LMASK))
                done = true;
        }
        if (done || any)
            continue;
        if (onScreen)
            SDL_WaitEventTimeout(nullptr, 10);
        else
            win::idleWait();
    }
    if (win::live(top))
        win::send(top, WM_EXITSIZEMOVE, 0, 0);
}

// The window menu's commands; no menus, and no moves or sizes from the keyboard.
void sysCommand(HWND hwnd, Window* w, WPARAM wParam)
{
    switch (wParam & 0xFFF0) {
    case SC_CLOSE:
        SendMessageA(hwnd, WM_CLOSE, 0, 0);
        break;
    case SC_MOVE:
        if ((wParam & 0x000F) == HTCAPTION)
            moveLoop(hwnd);
        break;
    case SC_MINIMIZE:
        if (w) {
            SDL_MinimizeWindow(w->sdl);
            setActive(hwnd, false, true);
        }
        break;
    case SC_MAXIMIZE:
        if (w)
            SDL_MaximizeWindow(w->sdl);
        break;
    case SC_RESTORE:
        if (w) {
            SDL_RestoreWindow(w->sdl);
            if (w->minimized)
                setActive(hwnd, true, false);
        }
        break;
    default:
        break;
    }
}

} // namespace

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* w = win::find(hwnd);
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_SETTEXT:
        if (!w)
            return FALSE;
        w->text = lParam ? (const char*)lParam : "";
        if (w->sdl)
            SDL_SetWindowTitle(w->sdl, w->text.c_str());
        return TRUE;
    case WM_GETTEXT: {
        if (!w || wParam == 0 || !lParam)
            return 0;
        size_t n = std::min(w->text.size(), (size_t)wParam - 1);
        std::memcpy((char*)lParam, w->text.data(), n);
        ((char*)lParam)[n] = '\0';
        return (LRESULT)n;
    }
    case WM_GETTEXTLENGTH:
        return w ? (LRESULT)w->text.size() : 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (BeginPaint(hwnd, &ps))
            EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        if (!w || !w->classBrush)
            return 0;
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect((HDC)wParam, &r, w->classBrush);
        return 1;
    }
    case WM_NCLBUTTONDOWN:
        if (wParam == HTCAPTION)
            SendMessageA(hwnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, lParam);
        return 0;
    case WM_SYSCOMMAND:
        if (!w || !w->parent)
            sysCommand(hwnd, w, wParam);
        return 0;
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        // A child's system keys belong to its top-level window.
        if (w && w->parent)
            return win::send(w->parent, message, wParam, lParam);
        if (message == WM_SYSKEYDOWN && wParam == VK_F4 && (lParam & ((LPARAM)1 << 29)))
            SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        if (message == WM_SYSKEYUP && (wParam == VK_MENU || wParam == VK_F10))
            SendMessageA(hwnd, WM_SYSCOMMAND, SC_KEYMENU, 0);
        return 0;
    case WM_SETCURSOR:
        // A child asks its parent first.
        if (w && w->parent && win::send(w->parent, WM_SETCURSOR, wParam, lParam))
            return TRUE;
        if (LOWORD(lParam) == HTCLIENT) {
            Window* again = win::find(hwnd);
            if (again && again->classCursor) {
                SetCursor(again->classCursor);
                return TRUE;
            }
        }
        return FALSE;
    case WM_MOUSEACTIVATE:
        return 1; // MA_ACTIVATE
    default:
        return 0;
    }
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(hwnd, message, wParam, lParam) : 0;
}
