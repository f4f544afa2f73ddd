// The event pump: SDL events into messages. Input is queued for its
// top-level window and routed when it is taken from the queue (to the
// window under the pointer, the capture or the focus); window-state
// changes reach the window procedure at once.
#include "windows.h"
#include "win_state.h"

#include <SDL.h>

#include <string>
#include <vector>

using win::g_state;
using win::Queued;
using win::Route;
using win::setActive;
using win::topLevelOf;
using win::Window;

namespace {

HWND inputTarget(Uint32 windowId)
{
    if (windowId) {
        Window* w = win::findSdlWindow(windowId);
        return w ? w->handle : nullptr;
    }
    return g_state.active;
}

// Keys, text and the wheel: a pop-up's go to its owner (whose focus window
// takes them), wherever the display's keyboard focus went.
HWND keyTarget(Uint32 windowId)
{
    HWND h = inputTarget(windowId);
    Window* w = win::live(h);
    if (w && w->popup)
        if (Window* owner = win::live(w->owner))
            return owner->handle;
    return h;
}

// Whether the display's keyboard focus went to a pop-up `top` owns.
bool focusInPopupOf(HWND top)
{
    SDL_Window* focus = SDL_GetKeyboardFocus();
    Window* w = focus ? win::findSdlWindow(SDL_GetWindowID(focus)) : nullptr;
    return w && w->popup && w->owner == top;
}

Queued& queueInput(HWND h, UINT message, WPARAM wParam, LPARAM lParam, std::string chars = std::string())
{
    Queued q;
    q.msg.hwnd = h;
    q.msg.message = message;
    q.msg.wParam = wParam;
    q.msg.lParam = lParam;
    q.msg.time = timeGetTime();
    q.msg.pt = g_state.mouse.pos;
    q.chars = std::move(chars);
    g_state.queue.input.push_back(std::move(q));
    return g_state.queue.input.back();
}

// The topmost visible, enabled window at client point p of `parent`, or
// `parent` itself; p becomes the point in that window's client area.
HWND hitChild(HWND parent, POINT& p)
{
    // From the top of the z-order.
    std::vector<Window*> kids = win::childrenOf(parent);
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
        Window* k = *it;
        if (!k->visible || (k->style & WS_DISABLED))
            continue;
        if (p.x >= k->x && p.y >= k->y && p.x < k->x + k->width && p.y < k->y + k->height) {
            POINT inner = {p.x - k->x, p.y - k->y};
            HWND h = hitChild(k->handle, inner);
            p = inner;
            return h;
        }
    }
    return parent;
}

// Where a mouse message at client point p of top-level window `top` goes:
// the capturing window, else the window under the pointer inside the
// window's shape; null when it goes nowhere. p becomes the target's client
// point.
HWND routeMouse(HWND top, POINT& p)
{
    Window* t = win::find(top);
    if (!t || t->destroying)
        return nullptr;
    if (Window* c = win::live(g_state.capture)) {
        int ox, oy;
        win::clientOrigin(c, ox, oy);
        if (win::topLevel(c) == t) {
            p.x -= ox;
            p.y -= oy;
        } else {
            // Another top-level window: through the screen.
            int sx, sy, cx, cy;
            win::screenOrigin(t, sx, sy);
            win::screenOrigin(win::topLevel(c), cx, cy);
            p.x += sx - cx - ox;
            p.y += sy - cy - oy;
        }
        return c->handle;
    }
    if (t->region) {
        int fx, fy;
        win::frameOffset(t, fx, fy);
        if (!PtInRegion(t->region, p.x + fx, p.y + fy))
            return nullptr;
    }
    return hitChild(top, p);
}

void keyEvent(const SDL_KeyboardEvent& e, const std::string& text)
{
    win::KeyMessage m;
    if (!win::keyMessage(e, text, m))
        return;
    if (HWND h = keyTarget(e.windowID))
        queueInput(h, m.message, m.vk, m.lParam, m.chars).route = Route::Key;
}

void windowEvent(const SDL_WindowEvent& e)
{
    Window* w = win::findSdlWindow(e.windowID);
    if (!w)
        return;
    HWND h = w->handle;
    switch (e.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        if (!w->popup)
            setActive(h, true, w->minimized);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        if (!focusInPopupOf(h))
            setActive(h, false, w->minimized);
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        setActive(h, false, true);
        break;
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED:
        if (w->minimized)
            setActive(h, true, false);
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
        int cw, ch;
        win::clientSize(w, cw, ch);
        win::resized(w);
        win::send(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cw, ch));
        break;
    }
    case SDL_WINDOWEVENT_MOVED:
        if (!w->fullScreen) {
            int fx, fy;
            win::frameOffset(w, fx, fy);
            if (w->x != e.data1 - fx || w->y != e.data2 - fy) {
                w->x = e.data1 - fx;
                w->y = e.data2 - fy;
                win::send(h, WM_MOVE, 0, MAKELPARAM(e.data1, e.data2));
            }
        }
        break;
    case SDL_WINDOWEVENT_EXPOSED:
        w->surfaceDirty = w->surface != nullptr;
        break;
    case SDL_WINDOWEVENT_ENTER:
        win::send(h, WM_SETCURSOR, (WPARAM)h, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        break;
    case SDL_WINDOWEVENT_CLOSE:
        queueInput(h, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    default:
        break;
    }
}

WPARAM keyFlags()
{
    const win::Keyboard& keys = g_state.keys;
    return g_state.mouse.buttons | (keys.down[VK_SHIFT] ? MK_SHIFT : 0) | (keys.down[VK_CONTROL] ? MK_CONTROL : 0);
}

void queueMouse(HWND top, UINT message, int x, int y)
{
    Window* t = win::find(top);
    int sx = 0, sy = 0;
    if (t)
        win::screenOrigin(t, sx, sy);
    g_state.mouse.pos = {sx + x, sy + y};
    Queued& q = queueInput(top, message, keyFlags(), MAKELPARAM(x, y));
    q.route = Route::Mouse;
    q.client = {x, y};
}

void mouseButton(const SDL_MouseButtonEvent& e)
{
    HWND h = inputTarget(e.windowID);
    if (!h)
        return;
    UINT m;
    WPARAM flag;
    bool down = e.type == SDL_MOUSEBUTTONDOWN;
    switch (e.button) {
    case SDL_BUTTON_LEFT: m = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; flag = MK_LBUTTON; break;
    case SDL_BUTTON_RIGHT: m = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; flag = MK_RBUTTON; break;
    case SDL_BUTTON_MIDDLE: m = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; flag = MK_MBUTTON; break;
    default: return;
    }
    g_state.mouse.buttons = down ? (g_state.mouse.buttons | flag) : (g_state.mouse.buttons & ~flag);
    queueMouse(h, m, e.x, e.y);
}

} // namespace

void win::pump()
{
    if (!g_state.videoUp)
        return;
    SDL_PumpEvents();
    std::vector<SDL_Event> events;
    SDL_Event ev;
    while (SDL_PeepEvents(&ev, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
        events.push_back(ev);
    for (size_t i = 0; i < events.size(); ++i) {
        const SDL_Event& e = events[i];
        switch (e.type) {
        case SDL_KEYDOWN: {
            // The text a key-down types follows it at once.
            std::string text;
            while (i + 1 < events.size() && events[i + 1].type == SDL_TEXTINPUT) {
                text += win::cp1252Text(events[i + 1].text.text);
                ++i;
            }
            keyEvent(e.key, text);
            break;
        }
        case SDL_KEYUP:
            keyEvent(e.key, std::string());
            break;
        case SDL_TEXTINPUT: {
            // Text without a key-down (input methods): characters only.
            HWND h = keyTarget(e.text.windowID);
            if (h)
                for (unsigned char c : win::cp1252Text(e.text.text))
                    queueInput(h, WM_CHAR, c, 1).route = Route::Key;
            break;
        }
        case SDL_WINDOWEVENT:
            windowEvent(e.window);
            break;
        case SDL_MOUSEMOTION: {
            HWND h = inputTarget(e.motion.windowID);
            if (h) {
                POINT p = {e.motion.x, e.motion.y};
                HWND under = g_state.capture ? nullptr : routeMouse(h, p);
                if (under)
                    win::send(under, WM_SETCURSOR, (WPARAM)under, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
                queueMouse(h, WM_MOUSEMOVE, e.motion.x, e.motion.y);
            }
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            mouseButton(e.button);
            break;
        case SDL_MOUSEWHEEL: {
            // The wheel turns for the focus window.
            HWND h = keyTarget(e.wheel.windowID);
            int notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
            if (h && notches)
                queueInput(h, WM_MOUSEWHEEL, MAKEWPARAM(keyFlags(), (WORD)(SHORT)(notches * 120)),
                           MAKELPARAM(g_state.mouse.pos.x, g_state.mouse.pos.y))
                    .route = Route::Key;
            break;
        }
        default:
            break; // SDL_QUIT and the rest: the window's own close comes as SDL_WINDOWEVENT_CLOSE
        }
    }
}

bool win::routeInput(Queued& q)
{
    if (q.route == Route::Key) {
        HWND top = topLevelOf(q.msg.hwnd);
        if (g_state.focus && top && topLevelOf(g_state.focus) == top && win::live(g_state.focus))
            q.msg.hwnd = g_state.focus;
        return true;
    }
    if (q.route != Route::Mouse)
        return true;
    POINT p = q.client;
    HWND target = routeMouse(q.msg.hwnd, p);
    if (!target)
        return false;
    q.msg.hwnd = target;
    q.msg.lParam = MAKELPARAM(p.x, p.y);
    q.route = Route::None;
    return true;
}

void PlatformPumpEvents()
{
    win::pump();
}
