// Window classes, windows and the message queue over SDL2.
#include "windows.h"
#include "sdl_window.h"
#include "win_internal.h"

#include <SDL.h>

#include <strings.h>

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace {

struct WindowClass {
    std::string name;
    HINSTANCE instance;
    WNDCLASSA wc;
    ATOM atom;
};

struct Window {
    HWND handle = nullptr;
    SDL_Window* sdl = nullptr;
    Uint32 sdlId = 0;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HCURSOR classCursor = nullptr;
    int x = 0, y = 0; // outer position
    // A full-screen popup keeps the size it was created with as its client
    // area, as a display-mode change would give it, whatever the desktop's.
    bool fullScreen = false;
    int fullWidth = 0, fullHeight = 0;
    bool visible = false;
    bool active = false;
    bool minimized = false;
    bool destroying = false;
};

struct Queued {
    MSG msg;
    std::string chars; // what TranslateMessage makes of a key-down
};

std::vector<WindowClass> g_classes;
ATOM g_nextAtom = 0xC000;
std::map<HWND, Window*> g_windows;
uintptr_t g_nextHandle = 0x10000;
HWND g_activeWindow = nullptr;

std::deque<Queued> g_posted;
std::deque<Queued> g_input;
bool g_quitPending = false;
int g_quitCode = 0;

// The last key-down removed from the queue, with its characters.
bool g_haveLastKey = false;
MSG g_lastKey;
std::string g_lastKeyChars;

bool g_keyDown[256];
bool g_keyToggled[256];

PlatformBeforeWindowHook g_beforeWindowHook = nullptr;
PlatformIdleWaitHook g_idleHook = nullptr;
void* g_idleContext = nullptr;
unsigned g_idleWaits = 0;

bool g_videoUp = false;
bool g_glLoaded = false;

// ---- Cursors, icons, stock objects -----------------------------------------
struct SystemCursor {
    WORD id;
    SDL_SystemCursor sdlId;
    SDL_Cursor* sdl;
};
SystemCursor g_systemCursors[] = {
    {32512, SDL_SYSTEM_CURSOR_ARROW, nullptr},
    {32513, SDL_SYSTEM_CURSOR_IBEAM, nullptr},
    {32514, SDL_SYSTEM_CURSOR_WAIT, nullptr},
    {32515, SDL_SYSTEM_CURSOR_CROSSHAIR, nullptr},
    {32649, SDL_SYSTEM_CURSOR_HAND, nullptr},
};
const int kCursorCount = (int)(sizeof g_systemCursors / sizeof g_systemCursors[0]);
HCURSOR cursorHandle(int i)
{
    return reinterpret_cast<HCURSOR>(&g_systemCursors[i]);
}
int cursorIndex(HCURSOR c)
{
    for (int i = 0; i < kCursorCount; ++i)
        if (cursorHandle(i) == c)
            return i;
    return -1;
}

HCURSOR g_cursor = cursorHandle(0);
int g_cursorCount = 0;

char g_applicationIcon;
const int kStockCount = 20;
char g_stockObjects[kStockCount];

void applyCursor()
{
    if (!g_videoUp)
        return;
    bool visible = g_cursor && g_cursorCount >= 0;
    if (visible) {
        int i = cursorIndex(g_cursor);
        if (i >= 0) {
            if (!g_systemCursors[i].sdl)
                g_systemCursors[i].sdl = SDL_CreateSystemCursor(g_systemCursors[i].sdlId);
            if (g_systemCursors[i].sdl)
                SDL_SetCursor(g_systemCursors[i].sdl);
        }
    }
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

// ---- Windows ------------------------------------------------------------------
Window* findWindow(HWND h)
{
    auto it = g_windows.find(h);
    return it == g_windows.end() ? nullptr : it->second;
}

Window* findSdlWindow(Uint32 id)
{
    for (auto& kv : g_windows)
        if (kv.second->sdlId == id && !kv.second->destroying)
            return kv.second;
    return nullptr;
}

WindowClass* findClass(LPCSTR name, HINSTANCE instance, bool anyInstance)
{
    for (auto& c : g_classes) {
        bool nameMatch = IS_INTRESOURCE(name) ? c.atom == (ATOM)(uintptr_t)name
                                              : strcasecmp(c.name.c_str(), name) == 0;
        if (nameMatch && (anyInstance || c.instance == instance))
            return &c;
    }
    return nullptr;
}

// Nominal frame: border on the left, right and bottom; border plus caption on top.
void frameMetrics(DWORD style, int& border, int& caption)
{
    border = 0;
    caption = 0;
    if (style & WS_THICKFRAME)
        border = 8;
    else if (style & WS_DLGFRAME)
        border = 3;
    else if (style & WS_BORDER)
        border = 1;
    if ((style & WS_CAPTION) == WS_CAPTION)
        caption = 23;
}

bool isFullScreenStyle(DWORD style, int x, int y)
{
    return (style & WS_POPUP) && (style & WS_CAPTION) != WS_CAPTION && x == 0 && y == 0;
}

LRESULT sendTo(HWND h, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* w = findWindow(h);
    if (!w || !w->proc)
        return 0;
    return w->proc(h, message, wParam, lParam);
}

void setActive(HWND h, bool active, bool minimized)
{
    Window* w = findWindow(h);
    if (!w)
        return;
    if (active && g_activeWindow && g_activeWindow != h)
        setActive(g_activeWindow, false, findWindow(g_activeWindow) ? findWindow(g_activeWindow)->minimized : false);
    w = findWindow(h);
    if (!w || (w->active == active && w->minimized == minimized))
        return;
    w->active = active;
    w->minimized = minimized;
    if (active)
        g_activeWindow = h;
    else if (g_activeWindow == h)
        g_activeWindow = nullptr;
    sendTo(h, WM_ACTIVATE, MAKEWPARAM(active ? WA_ACTIVE : WA_INACTIVE, minimized ? 1 : 0), 0);
}

void clientSize(Window* w, int& cw, int& ch)
{
    cw = ch = 0;
    if (w && w->fullScreen) {
        cw = w->fullWidth;
        ch = w->fullHeight;
    } else if (w && w->sdl) {
        SDL_GL_GetDrawableSize(w->sdl, &cw, &ch);
    }
}

void dropMessagesOf(HWND h)
{
    auto drop = [h](std::deque<Queued>& q) {
        q.erase(std::remove_if(q.begin(), q.end(), [h](const Queued& m) { return m.msg.hwnd == h; }), q.end());
    };
    drop(g_posted);
    drop(g_input);
    if (g_haveLastKey && g_lastKey.hwnd == h)
        g_haveLastKey = false;
}

// ---- Keyboard translation -----------------------------------------------------
BYTE vkFromKeysym(const SDL_Keysym& ks)
{
    SDL_Keycode k = ks.sym;
    if (k >= SDLK_a && k <= SDLK_z)
        return (BYTE)('A' + (k - SDLK_a));
    if (k >= SDLK_0 && k <= SDLK_9)
        return (BYTE)('0' + (k - SDLK_0));
    if (k >= SDLK_F1 && k <= SDLK_F12)
        return (BYTE)(VK_F1 + (k - SDLK_F1));
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9)
        return (BYTE)(VK_NUMPAD1 + (k - SDLK_KP_1));
    switch (k) {
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_RETURN: return VK_RETURN;
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_HOME: return VK_HOME;
    case SDLK_END: return VK_END;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT: case SDLK_RALT: return VK_MENU;
    case SDLK_LGUI: return VK_LWIN;
    case SDLK_RGUI: return VK_RWIN;
    case SDLK_APPLICATION: return VK_APPS;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_NUMLOCKCLEAR: return VK_NUMLOCK;
    case SDLK_SCROLLLOCK: return VK_SCROLL;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_PRINTSCREEN: return VK_SNAPSHOT;
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    default: break;
    }
    // Letters of other layouts and punctuation: by key position (US layout).
    SDL_Scancode s = ks.scancode;
    if (s >= SDL_SCANCODE_A && s <= SDL_SCANCODE_Z)
        return (BYTE)('A' + (s - SDL_SCANCODE_A));
    switch (s) {
    case SDL_SCANCODE_SEMICOLON: return VK_OEM_1;
    case SDL_SCANCODE_EQUALS: return VK_OEM_PLUS;
    case SDL_SCANCODE_COMMA: return VK_OEM_COMMA;
    case SDL_SCANCODE_MINUS: return VK_OEM_MINUS;
    case SDL_SCANCODE_PERIOD: return VK_OEM_PERIOD;
    case SDL_SCANCODE_SLASH: return VK_OEM_2;
    case SDL_SCANCODE_GRAVE: return VK_OEM_3;
    case SDL_SCANCODE_LEFTBRACKET: return VK_OEM_4;
    case SDL_SCANCODE_BACKSLASH: return VK_OEM_5;
    case SDL_SCANCODE_RIGHTBRACKET: return VK_OEM_6;
    case SDL_SCANCODE_APOSTROPHE: return VK_OEM_7;
    case SDL_SCANCODE_NONUSBACKSLASH: return VK_OEM_102;
    default: return 0;
    }
}

bool isExtendedKey(SDL_Keycode k)
{
    switch (k) {
    case SDLK_LEFT: case SDLK_RIGHT: case SDLK_UP: case SDLK_DOWN:
    case SDLK_INSERT: case SDLK_DELETE: case SDLK_HOME: case SDLK_END:
    case SDLK_PAGEUP: case SDLK_PAGEDOWN: case SDLK_RCTRL: case SDLK_RALT:
    case SDLK_KP_ENTER: case SDLK_KP_DIVIDE:
        return true;
    default:
        return false;
    }
}

// Code page 1252 byte of a Unicode code point, '?' when it has none.
unsigned char toCp1252(uint32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return (unsigned char)cp;
    static const uint16_t high[32] = {
        0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
        0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
    };
    for (int i = 0; i < 32; ++i)
        if (high[i] && high[i] == cp)
            return (unsigned char)(0x80 + i);
    return '?';
}

std::string utf8ToCp1252(const char* s)
{
    std::string out;
    const unsigned char* p = (const unsigned char*)s;
    while (*p) {
        uint32_t cp;
        int extra;
        if (*p < 0x80) {
            cp = *p;
            extra = 0;
        } else if ((*p & 0xE0) == 0xC0) {
            cp = *p & 0x1F;
            extra = 1;
        } else if ((*p & 0xF0) == 0xE0) {
            cp = *p & 0x0F;
            extra = 2;
        } else if ((*p & 0xF8) == 0xF0) {
            cp = *p & 0x07;
            extra = 3;
        } else {
            ++p;
            out += '?';
            continue;
        }
        ++p;
        bool ok = true;
        for (int i = 0; i < extra; ++i) {
            if ((*p & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (*p & 0x3F);
            ++p;
        }
        out += ok ? (char)toCp1252(cp) : '?';
    }
    return out;
}

// The control character Windows gives a key, 0 for none.
char controlChar(BYTE vk, Uint16 mod)
{
    switch (vk) {
    case VK_BACK: return 8;
    case VK_TAB: return 9;
    case VK_RETURN: return 13;
    case VK_ESCAPE: return 27;
    default: break;
    }
    if ((mod & KMOD_CTRL) && !(mod & KMOD_ALT) && vk >= 'A' && vk <= 'Z')
        return (char)(vk - 'A' + 1);
    return 0;
}

HWND inputTarget(Uint32 windowId)
{
    if (windowId) {
        Window* w = findSdlWindow(windowId);
        return w ? w->handle : nullptr;
    }
    return g_activeWindow;
}

void queueInput(HWND h, UINT message, WPARAM wParam, LPARAM lParam, std::string chars = std::string())
{
    Queued q;
    q.msg.hwnd = h;
    q.msg.message = message;
    q.msg.wParam = wParam;
    q.msg.lParam = lParam;
    q.msg.time = timeGetTime();
    q.msg.pt.x = q.msg.pt.y = 0;
    q.chars = std::move(chars);
    g_input.push_back(std::move(q));
}

void setKey(BYTE vk, bool down, bool repeat)
{
    if (down && !repeat && !g_keyDown[vk])
        g_keyToggled[vk] = !g_keyToggled[vk];
    g_keyDown[vk] = down;
}

void keyEvent(const SDL_KeyboardEvent& e, const std::string& text)
{
    HWND h = inputTarget(e.windowID);
    BYTE vk = vkFromKeysym(e.keysym);
    bool down = e.type == SDL_KEYDOWN;
    if (vk == 0)
        return;
    Uint16 mod = e.keysym.mod;
    bool alt = (mod & KMOD_ALT) != 0 || vk == VK_MENU;
    bool ctrl = (mod & KMOD_CTRL) != 0;
    bool wasDown = g_keyDown[vk];
    setKey(vk, down, e.repeat != 0);
    switch (e.keysym.sym) {
    case SDLK_LSHIFT: setKey(VK_LSHIFT, down, e.repeat != 0); break;
    case SDLK_RSHIFT: setKey(VK_RSHIFT, down, e.repeat != 0); break;
    case SDLK_LCTRL: setKey(VK_LCONTROL, down, e.repeat != 0); break;
    case SDLK_RCTRL: setKey(VK_RCONTROL, down, e.repeat != 0); break;
    case SDLK_LALT: setKey(VK_LMENU, down, e.repeat != 0); break;
    case SDLK_RALT: setKey(VK_RMENU, down, e.repeat != 0); break;
    default: break;
    }
    if (!h)
        return;
    bool sys = (alt && !ctrl) || vk == VK_F10;
    LPARAM lp = 1;
    if (isExtendedKey(e.keysym.sym))
        lp |= (LPARAM)1 << 24;
    if (alt)
        lp |= (LPARAM)1 << 29;
    if (down) {
        if (e.repeat || wasDown)
            lp |= (LPARAM)1 << 30;
        std::string chars;
        if (char c = controlChar(vk, mod))
            chars += c;
        chars += text;
        queueInput(h, sys ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, lp, chars);
    } else {
        lp |= (LPARAM)3 << 30;
        queueInput(h, sys ? WM_SYSKEYUP : WM_KEYUP, vk, lp);
    }
}

void windowEvent(const SDL_WindowEvent& e)
{
    Window* w = findSdlWindow(e.windowID);
    if (!w)
        return;
    HWND h = w->handle;
    switch (e.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        setActive(h, true, w->minimized);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
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
        clientSize(w, cw, ch);
        sendTo(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cw, ch));
        break;
    }
    case SDL_WINDOWEVENT_ENTER:
        sendTo(h, WM_SETCURSOR, (WPARAM)h, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        break;
    case SDL_WINDOWEVENT_CLOSE:
        queueInput(h, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    default:
        break;
    }
}

void mouseButton(const SDL_MouseButtonEvent& e)
{
    HWND h = inputTarget(e.windowID);
    if (!h)
        return;
    UINT m;
    bool down = e.type == SDL_MOUSEBUTTONDOWN;
    switch (e.button) {
    case SDL_BUTTON_LEFT: m = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
    case SDL_BUTTON_RIGHT: m = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
    case SDL_BUTTON_MIDDLE: m = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
    default: return;
    }
    queueInput(h, m, 0, MAKELPARAM(e.x, e.y));
}

// Turns waiting SDL events into messages: input is queued, window-state
// changes are sent to the window procedure at once.
void pump()
{
    if (!g_videoUp)
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
                text += utf8ToCp1252(events[i + 1].text.text);
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
            HWND h = inputTarget(e.text.windowID);
            if (h)
                for (unsigned char c : utf8ToCp1252(e.text.text))
                    queueInput(h, WM_CHAR, c, 1);
            break;
        }
        case SDL_WINDOWEVENT:
            windowEvent(e.window);
            break;
        case SDL_MOUSEMOTION: {
            HWND h = inputTarget(e.motion.windowID);
            if (h) {
                sendTo(h, WM_SETCURSOR, (WPARAM)h, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
                queueInput(h, WM_MOUSEMOVE, 0, MAKELPARAM(e.motion.x, e.motion.y));
            }
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            mouseButton(e.button);
            break;
        default:
            break; // SDL_QUIT and the rest: the window's own close comes as SDL_WINDOWEVENT_CLOSE
        }
    }
}

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

// Finds the next message: posted ones, then input, then WM_QUIT.
bool take(LPMSG out, HWND h, UINT lo, UINT hi, bool remove)
{
    for (std::deque<Queued>* q : {&g_posted, &g_input}) {
        for (auto it = q->begin(); it != q->end(); ++it) {
            if (!matches(it->msg, h, lo, hi))
                continue;
            Queued item = *it;
            if (remove) {
                q->erase(it);
                if (item.msg.message == WM_KEYDOWN || item.msg.message == WM_SYSKEYDOWN) {
                    g_haveLastKey = true;
                    g_lastKey = item.msg;
                    g_lastKeyChars = item.chars;
                }
            }
            if (out)
                *out = item.msg;
            return true;
        }
    }
    if (g_quitPending) {
        if (out) {
            std::memset(out, 0, sizeof *out);
            out->message = WM_QUIT;
            out->wParam = (WPARAM)(intptr_t)g_quitCode;
            out->time = timeGetTime();
        }
        if (remove)
            g_quitPending = false;
        return true;
    }
    return false;
}

bool anyWaiting()
{
    return !g_posted.empty() || !g_input.empty() || g_quitPending;
}

// Blocks until an SDL event or a posted message arrives.
void idleWait()
{
    ++g_idleWaits;
    if (g_idleHook) {
        g_idleHook(g_idleContext);
        pump();
        return;
    }
    if (g_videoUp && SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT))
        return;
    if (g_videoUp)
        SDL_WaitEvent(nullptr);
    else
        Sleep(10);
}

void postTo(std::deque<Queued>& q, HWND h, UINT message, WPARAM wParam, LPARAM lParam)
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

} // namespace

// ---- Layer-internal -------------------------------------------------------------
bool PlatformEnsureVideo()
{
    if (g_videoUp)
        return true;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
        return false;
    g_videoUp = true;
    SDL_StartTextInput();
    applyCursor();
    return true;
}

SDL_Window* PlatformSdlWindow(HWND hwnd)
{
    Window* w = findWindow(hwnd);
    return w && !w->destroying ? w->sdl : nullptr;
}

void PlatformSetBeforeWindowHook(PlatformBeforeWindowHook hook)
{
    g_beforeWindowHook = hook;
}

void PlatformSetIdleWaitHook(PlatformIdleWaitHook hook, void* context)
{
    g_idleHook = hook;
    g_idleContext = context;
}

unsigned PlatformIdleWaitCount()
{
    return g_idleWaits;
}

void PlatformResetMessageQueue()
{
    pump();
    g_posted.clear();
    g_input.clear();
    g_quitPending = false;
    g_haveLastKey = false;
}

bool PlatformCursorVisible()
{
    return g_cursor && g_cursorCount >= 0;
}

int PlatformStockObjectIndex(HGDIOBJ object)
{
    char* p = static_cast<char*>(object);
    if (p >= g_stockObjects && p < g_stockObjects + kStockCount)
        return (int)(p - g_stockObjects);
    return -1;
}

// ---- Classes ----------------------------------------------------------------------
ATOM RegisterClassA(const WNDCLASSA* wc)
{
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || IS_INTRESOURCE(wc->lpszClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (findClass(wc->lpszClassName, wc->hInstance, false)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    WindowClass c;
    c.name = wc->lpszClassName;
    c.instance = wc->hInstance;
    c.wc = *wc;
    c.wc.lpszClassName = nullptr; // the copy in `name` holds
    c.wc.lpszMenuName = nullptr;
    c.atom = g_nextAtom++;
    g_classes.push_back(c);
    return c.atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance)
{
    if (!className) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    for (auto it = g_classes.begin(); it != g_classes.end(); ++it) {
        bool nameMatch = IS_INTRESOURCE(className) ? it->atom == (ATOM)(uintptr_t)className
                                                   : strcasecmp(it->name.c_str(), className) == 0;
        if (nameMatch && it->instance == instance) {
            g_classes.erase(it);
            return TRUE;
        }
    }
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

// ---- Windows ---------------------------------------------------------------------
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    if (!className) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    WindowClass* cls = findClass(className, instance, false);
    if (!cls)
        cls = findClass(className, instance, true);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (!PlatformEnsureVideo()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (x == CW_USEDEFAULT)
        x = y = 0;
    if (width == CW_USEDEFAULT)
        width = 640, height = 480;
    bool fullScreen = isFullScreenStyle(style, x, y);
    int border, caption;
    frameMetrics(style, border, caption);
    int cw = std::max(1, width - 2 * border);
    int ch = std::max(1, height - 2 * border - caption);

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (fullScreen)
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    else if ((style & WS_CAPTION) != WS_CAPTION)
        flags |= SDL_WINDOW_BORDERLESS;
    else if (style & WS_THICKFRAME)
        flags |= SDL_WINDOW_RESIZABLE;
    if (g_beforeWindowHook)
        g_beforeWindowHook();
    if (!g_glLoaded) {
        // One lasting reference: the GL library then stays loaded while
        // windows come and go, instead of being loaded and unloaded with each.
        g_glLoaded = SDL_GL_LoadLibrary(nullptr) == 0;
    }
    const char* title = windowName ? windowName : "";
    SDL_Window* sdl = SDL_CreateWindow(title, x + border, y + border + caption, cw, ch, flags);
    if (!sdl) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Window* w = new Window;
    w->handle = (HWND)g_nextHandle;
    g_nextHandle += 0x10;
    w->sdl = sdl;
    w->sdlId = SDL_GetWindowID(sdl);
    w->proc = cls->wc.lpfnWndProc;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->classCursor = cls->wc.hCursor;
    w->x = x;
    w->y = y;
    w->fullScreen = fullScreen;
    w->fullWidth = cw;
    w->fullHeight = ch;
    HWND h = w->handle;
    g_windows[h] = w;

    CREATESTRUCTA cs;
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.cy = height;
    cs.cx = width;
    cs.y = y;
    cs.x = x;
    cs.style = (LONG)style;
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    bool ok = sendTo(h, WM_NCCREATE, 0, (LPARAM)&cs) != 0 && findWindow(h);
    if (ok)
        ok = sendTo(h, WM_CREATE, 0, (LPARAM)&cs) != -1 && findWindow(h);
    if (!ok) {
        if (findWindow(h))
            DestroyWindow(h);
        return nullptr;
    }
    if (style & WS_VISIBLE)
        ShowWindow(h, SW_SHOW);
    return findWindow(h) ? h : nullptr;
}

BOOL DestroyWindow(HWND hwnd)
{
    Window* w = findWindow(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->destroying)
        return TRUE;
    if (w->active)
        setActive(hwnd, false, w->minimized);
    w = findWindow(hwnd);
    if (!w || w->destroying)
        return TRUE;
    w->destroying = true;
    sendTo(hwnd, WM_DESTROY, 0, 0);
    sendTo(hwnd, WM_NCDESTROY, 0, 0);
    dropMessagesOf(hwnd);
    if (g_activeWindow == hwnd)
        g_activeWindow = nullptr;
    SDL_DestroyWindow(w->sdl);
    g_windows.erase(hwnd);
    delete w;
    return TRUE;
}

BOOL IsWindow(HWND hwnd)
{
    Window* w = findWindow(hwnd);
    return w && !w->destroying ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hwnd, int cmdShow)
{
    Window* w = findWindow(hwnd);
    if (!w)
        return FALSE;
    BOOL wasVisible = w->visible ? TRUE : FALSE;
    switch (cmdShow) {
    case SW_HIDE:
        if (w->visible) {
            w->visible = false;
            SDL_HideWindow(w->sdl);
            sendTo(hwnd, WM_SHOWWINDOW, FALSE, 0);
            if (findWindow(hwnd) && w->active)
                setActive(hwnd, false, w->minimized);
        }
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        if (!w->visible) {
            w->visible = true;
            SDL_ShowWindow(w->sdl);
        }
        SDL_MinimizeWindow(w->sdl);
        setActive(hwnd, false, true);
        break;
    case SW_RESTORE:
        SDL_RestoreWindow(w->sdl);
        if (!w->visible) {
            w->visible = true;
            SDL_ShowWindow(w->sdl);
        }
        setActive(hwnd, true, false);
        break;
    default: // SW_SHOW, SW_SHOWNORMAL, SW_SHOWMAXIMIZED, SW_SHOWDEFAULT
        if (!w->visible) {
            w->visible = true;
            SDL_ShowWindow(w->sdl);
            if (cmdShow == SW_SHOWMAXIMIZED)
                SDL_MaximizeWindow(w->sdl);
            sendTo(hwnd, WM_SHOWWINDOW, TRUE, 0);
            if (!findWindow(hwnd))
                break;
            setActive(hwnd, true, false);
            if (!findWindow(hwnd))
                break;
            sendTo(hwnd, WM_SETFOCUS, 0, 0);
            int cw, ch;
            clientSize(findWindow(hwnd), cw, ch);
            sendTo(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cw, ch));
            sendTo(hwnd, WM_MOVE, 0, 0);
        }
        break;
    }
    return wasVisible;
}

BOOL UpdateWindow(HWND hwnd)
{
    return IsWindow(hwnd);
}

BOOL GetClientRect(HWND hwnd, LPRECT rect)
{
    Window* w = findWindow(hwnd);
    if (!w || !rect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    int cw, ch;
    clientSize(w, cw, ch);
    rect->left = rect->top = 0;
    rect->right = cw;
    rect->bottom = ch;
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect)
{
    Window* w = findWindow(hwnd);
    if (!w || !rect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    int cw, ch;
    clientSize(w, cw, ch);
    RECT r = {w->x, w->y, 0, 0};
    int border, caption;
    frameMetrics(w->style, border, caption);
    r.right = r.left + cw + 2 * border;
    r.bottom = r.top + ch + 2 * border + caption;
    *rect = r;
    return TRUE;
}

BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu)
{
    return AdjustWindowRectEx(rect, style, menu, 0);
}

BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD)
{
    if (!rect)
        return FALSE;
    int border, caption;
    frameMetrics(style, border, caption);
    rect->left -= border;
    rect->right += border;
    rect->top -= border + caption + (menu ? 20 : 0);
    rect->bottom += border;
    return TRUE;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text)
{
    Window* w = findWindow(hwnd);
    if (!w)
        return FALSE;
    SDL_SetWindowTitle(w->sdl, text ? text : "");
    return TRUE;
}

HWND GetForegroundWindow()
{
    return g_activeWindow;
}

HWND GetActiveWindow()
{
    return g_activeWindow;
}

HWND GetFocus()
{
    return g_activeWindow;
}

int GetSystemMetrics(int index)
{
    switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
        SDL_DisplayMode mode;
        if (PlatformEnsureVideo() && SDL_GetDesktopDisplayMode(0, &mode) == 0)
            return index == SM_CXSCREEN ? mode.w : mode.h;
        return index == SM_CXSCREEN ? 640 : 480;
    }
    case SM_CXFRAME:
    case SM_CYFRAME:
        return 8;
    case SM_CYCAPTION:
        return 23;
    default:
        return 0;
    }
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_SYSCOMMAND: {
        Window* w = findWindow(hwnd);
        switch (wParam & 0xFFF0) {
        case SC_CLOSE:
            SendMessageA(hwnd, WM_CLOSE, 0, 0);
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
            break; // no menus, moves or sizes from the keyboard
        }
        return 0;
    }
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & ((LPARAM)1 << 29)))
            SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSKEYUP:
        if (wParam == VK_MENU || wParam == VK_F10)
            SendMessageA(hwnd, WM_SYSCOMMAND, SC_KEYMENU, 0);
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            Window* w = findWindow(hwnd);
            if (w && w->classCursor) {
                SetCursor(w->classCursor);
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

// ---- Messages ------------------------------------------------------------------------
BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hwnd) {
        Window* w = findWindow(hwnd);
        if (!w || w->destroying) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
    }
    postTo(g_posted, hwnd, message, wParam, lParam);
    return TRUE;
}

DWORD GetCurrentThreadId()
{
    return 1;
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (threadId != GetCurrentThreadId()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    postTo(g_posted, nullptr, message, wParam, lParam);
    return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return sendTo(hwnd, message, wParam, lParam);
}

void PostQuitMessage(int exitCode)
{
    g_quitPending = true;
    g_quitCode = exitCode;
}

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    pump();
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
        pump();
        if (take(msg, hwnd, filterMin, filterMax, true))
            return msg->message == WM_QUIT ? 0 : TRUE;
        idleWait();
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
    if (g_haveLastKey && g_lastKey.hwnd == msg->hwnd && g_lastKey.message == m &&
        g_lastKey.wParam == msg->wParam && g_lastKey.lParam == msg->lParam && g_lastKey.time == msg->time) {
        chars = g_lastKeyChars;
        g_haveLastKey = false;
    } else {
        // A key-down made by hand: the characters the key state gives.
        BYTE vk = (BYTE)msg->wParam;
        bool shift = g_keyDown[VK_SHIFT];
        bool ctrl = g_keyDown[VK_CONTROL];
        Uint16 mod = (Uint16)((ctrl ? KMOD_CTRL : 0) | ((msg->lParam >> 29) & 1 ? KMOD_ALT : 0));
        if (char c = controlChar(vk, mod))
            chars += c;
        else if (vk == VK_SPACE || (vk >= '0' && vk <= '9'))
            chars += (char)vk;
        else if (vk >= 'A' && vk <= 'Z')
            chars += (char)(shift != g_keyToggled[VK_CAPITAL] ? vk : vk - 'A' + 'a');
    }
    if (!IsWindow(msg->hwnd) && msg->hwnd)
        return TRUE;
    UINT charMessage = m == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    for (unsigned char c : chars)
        postTo(g_posted, msg->hwnd, charMessage, c, msg->lParam);
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg)
{
    if (!msg || !msg->hwnd)
        return 0;
    return sendTo(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WaitMessage()
{
    pump();
    if (anyWaiting())
        return TRUE;
    idleWait();
    pump();
    return TRUE;
}

// ---- Keyboard -----------------------------------------------------------------------
SHORT GetKeyState(int vk)
{
    if (vk < 0 || vk > 255)
        return 0;
    return (SHORT)((g_keyDown[vk] ? 0x8000 : 0) | (g_keyToggled[vk] ? 1 : 0));
}

SHORT GetAsyncKeyState(int vk)
{
    pump();
    if (vk < 0 || vk > 255)
        return 0;
    return (SHORT)(g_keyDown[vk] ? 0x8000 : 0);
}

// ---- Cursor, icons, stock objects -------------------------------------------------
HCURSOR SetCursor(HCURSOR cursor)
{
    HCURSOR previous = g_cursor;
    g_cursor = cursor;
    if (cursor != previous)
        applyCursor();
    return previous;
}

int ShowCursor(BOOL show)
{
    g_cursorCount += show ? 1 : -1;
    applyCursor();
    return g_cursorCount;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    if (instance || !name || !IS_INTRESOURCE(name))
        return nullptr;
    for (int i = 0; i < kCursorCount; ++i)
        if (g_systemCursors[i].id == (WORD)(uintptr_t)name)
            return cursorHandle(i);
    return nullptr;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name)
{
    if (!instance && name == IDI_APPLICATION)
        return reinterpret_cast<HICON>(&g_applicationIcon);
    return nullptr;
}

HGDIOBJ GetStockObject(int index)
{
    if (index < 0 || index >= kStockCount || index == 9)
        return nullptr;
    return &g_stockObjects[index];
}
