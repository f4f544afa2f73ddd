// The message queue of the one thread: posted messages, queued input,
// WM_QUIT and WM_PAINT, and the calls that post, send, peek, wait for,
// translate and dispatch them.
#include "windows.h"
#include "win_state.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

using win::g_state;
using win::Queued;
using win::Window;

void win::dropMessagesOf(HWND h)
{
    auto drop = [h](std::deque<Queued>& q) {
        q.erase(std::remove_if(q.begin(), q.end(), [h](const Queued& m) { return m.msg.hwnd == h; }), q.end());
    };
    drop(g_state.queue.posted);
    drop(g_state.queue.input);
    if (g_state.queue.haveLastKey && g_state.queue.lastKey.hwnd == h)
        g_state.queue.haveLastKey = false;
}

namespace {

bool matches(const MSG& m, HWND h, UINT lo, UINT hi)
{
    if (h == (HWND)(intptr_t)-1) {
        if (m.hwnd)
            return false;
    } else if (h && m.hwnd != h) {
        return false;
    }
    if (lo == 0 && hi == 0)
        return true;
    return m.message >= lo && m.message <= hi;
}

bool inRange(UINT message, UINT lo, UINT hi)
{
    return (lo == 0 && hi == 0) || (message >= lo && message <= hi);
}


// Finds the next message: posted ones, then input, then WM_QUIT, then
// WM_PAINT for a window that needs painting.
bool take(LPMSG out, HWND h, UINT lo, UINT hi, bool remove)
{
    for (std::deque<Queued>* q : {&g_state.queue.posted, &g_state.queue.input}) {
        for (auto it = q->begin(); it != q->end();) {
            if (q == &g_state.queue.input && !win::routeInput(*it)) {
                it = q->erase(it);
                continue;
            }
            if (!matches(it->msg, h, lo, hi)) {
                ++it;
                continue;
            }
            Queued item = *it;
            g_state.queue.lastMessagePos = (DWORD)MAKELONG(item.msg.pt.x, item.msg.pt.y);
            if (remove && item.msg.message >= WM_MOUSEFIRST && item.msg.message <= WM_MOUSELAST &&
                item.msg.message != WM_MOUSEWHEEL)
                g_state.queue.retrievedButtons = item.msg.wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON);
            if (remove) {
                q->erase(it);
                if (item.msg.message == WM_KEYDOWN || item.msg.message == WM_SYSKEYDOWN) {
                    g_state.queue.haveLastKey = true;
                    g_state.queue.lastKey = item.msg;
                    g_state.queue.lastKeyChars = item.chars;
                }
            }
            if (out)
                *out = item.msg;
            return true;
        }
    }
    // WM_QUIT comes whatever the filter asks for.
    if (g_state.queue.quitPending) {
        if (out) {
            std::memset(out, 0, sizeof *out);
            out->message = WM_QUIT;
            out->wParam = (WPARAM)(intptr_t)g_state.queue.quitCode;
            out->time = timeGetTime();
        }
        if (remove)
            g_state.queue.quitPending = false;
        return true;
    }
    if (inRange(WM_PAINT, lo, hi) && h != (HWND)(intptr_t)-1) {
        if (Window* w = win::nextToPaint(h)) {
            if (out) {
                std::memset(out, 0, sizeof *out);
                out->hwnd = w->handle;
                out->message = WM_PAINT;
                out->time = timeGetTime();
                out->pt = g_state.mouse.pos;
            }
            return true;
        }
    }
    win::presentSurfaces();
    return false;
}

bool anyWaiting()
{
    return !g_state.queue.posted.empty() || !g_state.queue.input.empty() || g_state.queue.quitPending;
}

} // namespace

void win::idleWait()
{
    ++g_state.idleWaits;
    if (g_state.idleHook) {
        g_state.idleHook(g_state.idleContext);
        win::pump();
        return;
    }
    if (g_state.videoUp && SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT))
        return;
    if (g_state.videoUp)
        SDL_WaitEvent(nullptr);
    else
        Sleep(10);
}

void win::postTo(std::deque<Queued>& q, HWND h, UINT message, WPARAM wParam, LPARAM lParam)
{
    Queued item;
    item.msg.hwnd = h;
    item.msg.message = message;
    item.msg.wParam = wParam;
    item.msg.lParam = lParam;
    item.msg.time = timeGetTime();
    item.msg.pt.x = item.msg.pt.y = 0;
    q.push_back(std::move(item));
}

void PlatformSetIdleWaitHook(PlatformIdleWaitHook hook, void* context)
{
    g_state.idleHook = hook;
    g_state.idleContext = context;
}

unsigned PlatformIdleWaitCount()
{
    return g_state.idleWaits;
}

void PlatformResetMessageQueue()
{
    win::pump();
    g_state.queue = win::MessageQueue();
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hwnd) {
        Window* w = win::find(hwnd);
        if (!w || w->destroying) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
    }
    win::postTo(g_state.queue.posted, hwnd, message, wParam, lParam);
    return TRUE;
}

DWORD GetCurrentThreadId()
{
    return 1;
}

DWORD GetMessagePos()
{
    return g_state.queue.lastMessagePos;
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (threadId != GetCurrentThreadId()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    win::postTo(g_state.queue.posted, nullptr, message, wParam, lParam);
    return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return win::send(hwnd, message, wParam, lParam);
}

void PostQuitMessage(int exitCode)
{
    g_state.queue.quitPending = true;
    g_state.queue.quitCode = exitCode;
}

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    win::pump();
    return take(msg, hwnd, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax)
{
    if (hwnd && hwnd != (HWND)(intptr_t)-1 && !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    if (!msg)
        return -1;
    for (;;) {
        win::pump();
        if (take(msg, hwnd, filterMin, filterMax, true))
            return msg->message == WM_QUIT ? 0 : TRUE;
        win::idleWait();
    }
}

BOOL TranslateMessage(const MSG* msg)
{
    if (!msg)
        return FALSE;
    UINT m = msg->message;
    if (m == WM_KEYUP || m == WM_SYSKEYUP)
        return TRUE;
    if (m != WM_KEYDOWN && m != WM_SYSKEYDOWN)
        return FALSE;
    std::string chars;
    win::MessageQueue& q = g_state.queue;
    if (q.haveLastKey && q.lastKey.hwnd == msg->hwnd && q.lastKey.message == m && q.lastKey.wParam == msg->wParam &&
        q.lastKey.lParam == msg->lParam && q.lastKey.time == msg->time) {
        chars = q.lastKeyChars;
        q.haveLastKey = false;
    } else {
        // A key-down made by hand.
        chars = win::typedChars((BYTE)msg->wParam, ((msg->lParam >> 29) & 1) != 0);
    }
    if (!IsWindow(msg->hwnd) && msg->hwnd)
        return TRUE;
    UINT charMessage = m == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    for (unsigned char c : chars)
        win::postTo(g_state.queue.posted, msg->hwnd, charMessage, c, msg->lParam);
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg)
{
    if (!msg || !msg->hwnd)
        return 0;
    return win::send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WaitMessage()
{
    win::pump();
    if (anyWaiting())
        return TRUE;
    win::idleWait();
    win::pump();
    return TRUE;
}
