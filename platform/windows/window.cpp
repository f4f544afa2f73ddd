// Window classes, windows and the message queue over SDL2.
#include "windows.h"
#include "sdl_window.h"
#include "win_internal.h"
#include "win_window.h"

#include <SDL.h>

#include <strings.h>

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

using win::Window;

namespace {

struct WindowClass {
    std::string name;
    HINSTANCE instance;
    WNDCLASSA wc;
    ATOM atom;
    bool system = false; // the layer's own control classes, for any instance
};

// Mouse and keyboard input is queued for its top-level window and goes to
// the window under the pointer, the capturing window or the focus window
// when it is taken from the queue.
enum class Route { None, Mouse, Key };

struct Queued {
    MSG msg;
    std::string chars; // what TranslateMessage makes of a key-down
    Route route = Route::None;
    POINT client = {0, 0}; // mouse: in the top-level window's client area
};

std::vector<WindowClass> g_classes;
ATOM g_nextAtom = 0xC000;
std::map<HWND, Window*> g_windows;
uintptr_t g_nextHandle = 0x10000;
HWND g_activeWindow = nullptr;
HWND g_focus = nullptr;
HWND g_capture = nullptr;
POINT g_cursorPos = {0, 0};   // screen
DWORD g_lastMessagePos = 0;   // GetMessagePos
WPARAM g_mouseButtons = 0;    // MK_ flags of the buttons down
WPARAM g_retrievedButtons = 0; // the same as of the last mouse message retrieved

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
bool g_scancodeDown[SDL_NUM_SCANCODES];

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

void applyCursor()
{
    if (!g_videoUp)
        return;
    // A device cursor that is shown takes the window cursor's place.
    if (SDL_Cursor* device = PlatformDeviceCursorIfShown()) {
        SDL_SetCursor(device);
        SDL_ShowCursor(SDL_ENABLE);
        return;
    }
    bool visible = g_cursor && g_cursorCount >= 0;
    if (visible) {
        int i = cursorIndex(g_cursor);
        if (i >= 0) {
            if (!g_systemCursors[i].sdl)
                g_systemCursors[i].sdl = SDL_CreateSystemCursor(g_systemCursors[i].sdlId);
            if (g_systemCursors[i].sdl)
                SDL_SetCursor(g_systemCursors[i].sdl);
        } else if (SDL_Cursor* made = PlatformIconSdlCursor(g_cursor)) {
            SDL_SetCursor(made);
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
        if (kv.second->sdl && kv.second->sdlId == id && !kv.second->destroying)
            return kv.second;
    return nullptr;
}

void registerSystemClasses()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    struct {
        const char* name;
        WNDPROC proc;
        UINT style;
    } const classes[] = {
        {"BUTTON", win::ButtonProc, CS_DBLCLKS | CS_PARENTDC | CS_GLOBALCLASS},
        {"COMBOBOX", win::ComboBoxProc, CS_DBLCLKS | CS_PARENTDC | CS_GLOBALCLASS},
        {"ComboLBox", win::ComboListProc, CS_DBLCLKS | CS_GLOBALCLASS},
    };
    for (const auto& c : classes) {
        WindowClass wc;
        wc.name = c.name;
        wc.instance = nullptr;
        std::memset(&wc.wc, 0, sizeof wc.wc);
        wc.wc.style = c.style;
        wc.wc.lpfnWndProc = c.proc;
        wc.wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.atom = g_nextAtom++;
        wc.system = true;
        g_classes.push_back(wc);
    }
}

WindowClass* findClass(LPCSTR name, HINSTANCE instance, bool anyInstance)
{
    registerSystemClasses();
    for (auto& c : g_classes) {
        bool nameMatch = IS_INTRESOURCE(name) ? c.atom == (ATOM)(uintptr_t)name
                                              : strcasecmp(c.name.c_str(), name) == 0;
        if (nameMatch && (anyInstance || c.instance == instance || c.system))
            return &c;
    }
    return nullptr;
}

HWND parentOf(HWND h)
{
    Window* w = findWindow(h);
    return w ? w->parent : nullptr;
}

HWND topLevelOf(HWND h)
{
    Window* w = findWindow(h);
    return w ? win::topLevel(w)->handle : nullptr;
}

// Whether `h` is `ancestor` or lies inside it.
bool within(HWND h, HWND ancestor)
{
    for (; h; h = parentOf(h))
        if (h == ancestor)
            return true;
    return false;
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

using win::clientSize;

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

Queued& queueInput(HWND h, UINT message, WPARAM wParam, LPARAM lParam, std::string chars = std::string())
{
    Queued q;
    q.msg.hwnd = h;
    q.msg.message = message;
    q.msg.wParam = wParam;
    q.msg.lParam = lParam;
    q.msg.time = timeGetTime();
    q.msg.pt = g_cursorPos;
    q.chars = std::move(chars);
    g_input.push_back(std::move(q));
    return g_input.back();
}

// The topmost visible, enabled window at client point p of `parent`, or
// `parent` itself; p becomes the point in that window's client area.
HWND hitChild(HWND parent, POINT& p)
{
    // Overlays first, then the others, each from the top of the z-order.
    std::vector<Window*> kids = win::childrenOf(parent);
    std::vector<Window*> order;
    for (auto it = kids.rbegin(); it != kids.rend(); ++it)
        if ((*it)->overlay)
            order.push_back(*it);
    for (auto it = kids.rbegin(); it != kids.rend(); ++it)
        if (!(*it)->overlay)
            order.push_back(*it);
    for (Window* k : order) {
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
    Window* t = findWindow(top);
    if (!t || t->destroying)
        return nullptr;
    if (Window* c = win::live(g_capture)) {
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
    if (e.keysym.scancode > SDL_SCANCODE_UNKNOWN && e.keysym.scancode < SDL_NUM_SCANCODES)
        g_scancodeDown[e.keysym.scancode] = down;
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
    // Shift, Ctrl and Alt stay down while either of their two keys is.
    if (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU) {
        BYTE left = vk == VK_SHIFT ? VK_LSHIFT : vk == VK_CONTROL ? VK_LCONTROL : VK_LMENU;
        g_keyDown[vk] = g_keyDown[left] || g_keyDown[left + 1];
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
        queueInput(h, sys ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, lp, chars).route = Route::Key;
    } else {
        lp |= (LPARAM)3 << 30;
        queueInput(h, sys ? WM_SYSKEYUP : WM_KEYUP, vk, lp).route = Route::Key;
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
        win::resized(w);
        sendTo(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cw, ch));
        break;
    }
    case SDL_WINDOWEVENT_MOVED:
        if (!w->fullScreen) {
            int fx, fy;
            win::frameOffset(w, fx, fy);
            if (w->x != e.data1 - fx || w->y != e.data2 - fy) {
                w->x = e.data1 - fx;
                w->y = e.data2 - fy;
                sendTo(h, WM_MOVE, 0, MAKELPARAM(e.data1, e.data2));
            }
        }
        break;
    case SDL_WINDOWEVENT_EXPOSED:
        w->surfaceDirty = w->surface != nullptr;
        break;
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

WPARAM keyFlags()
{
    return g_mouseButtons | (g_keyDown[VK_SHIFT] ? MK_SHIFT : 0) | (g_keyDown[VK_CONTROL] ? MK_CONTROL : 0);
}

void queueMouse(HWND top, UINT message, int x, int y)
{
    Window* t = findWindow(top);
    int sx = 0, sy = 0;
    if (t)
        win::screenOrigin(t, sx, sy);
    g_cursorPos = {sx + x, sy + y};
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
    g_mouseButtons = down ? (g_mouseButtons | flag) : (g_mouseButtons & ~flag);
    queueMouse(h, m, e.x, e.y);
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
                HWND under = g_capture ? nullptr : routeMouse(h, p);
                if (under)
                    sendTo(under, WM_SETCURSOR, (WPARAM)under, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
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
            HWND h = inputTarget(e.wheel.windowID);
            int notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
            if (h && notches)
                queueInput(h, WM_MOUSEWHEEL, MAKEWPARAM(keyFlags(), (WORD)(SHORT)(notches * 120)),
                           MAKELPARAM(g_cursorPos.x, g_cursorPos.y))
                    .route = Route::Key;
            break;
        }
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

bool inRange(UINT message, UINT lo, UINT hi)
{
    return (lo == 0 && hi == 0) || (message >= lo && message <= hi);
}

// Sends input to the window it goes to now; false when it goes nowhere.
bool routeInput(Queued& q)
{
    if (q.route == Route::Key) {
        HWND top = topLevelOf(q.msg.hwnd);
        if (g_focus && top && topLevelOf(g_focus) == top && win::live(g_focus))
            q.msg.hwnd = g_focus;
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

// Finds the next message: posted ones, then input, then WM_QUIT, then
// WM_PAINT for a window that needs painting.
bool take(LPMSG out, HWND h, UINT lo, UINT hi, bool remove)
{
    for (std::deque<Queued>* q : {&g_posted, &g_input}) {
        for (auto it = q->begin(); it != q->end();) {
            if (q == &g_input && !routeInput(*it)) {
                it = q->erase(it);
                continue;
            }
            if (!matches(it->msg, h, lo, hi)) {
                ++it;
                continue;
            }
            Queued item = *it;
            g_lastMessagePos = (DWORD)MAKELONG(item.msg.pt.x, item.msg.pt.y);
            if (remove && item.msg.message >= WM_MOUSEFIRST && item.msg.message <= WM_MOUSELAST &&
                item.msg.message != WM_MOUSEWHEEL)
                g_retrievedButtons = item.msg.wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON);
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
    // WM_QUIT comes whatever the filter asks for.
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
    if (inRange(WM_PAINT, lo, hi) && h != (HWND)(intptr_t)-1) {
        if (Window* w = win::nextToPaint(h)) {
            if (out) {
                std::memset(out, 0, sizeof *out);
                out->hwnd = w->handle;
                out->message = WM_PAINT;
                out->time = timeGetTime();
                out->pt = g_cursorPos;
            }
            return true;
        }
    }
    win::presentSurfaces();
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

SDL_Window* PlatformGLWindow(HWND hwnd)
{
    Window* w = findWindow(hwnd);
    if (!w || w->destroying || !w->sdl)
        return nullptr;
    w->gl = true;
    return w->sdl;
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

void PlatformPumpEvents()
{
    pump();
}

void PlatformKeyboardScancodes(bool down[512])
{
    pump();
    static_assert(SDL_NUM_SCANCODES == 512, "scancode table size");
    std::memcpy(down, g_scancodeDown, sizeof g_scancodeDown);
}

bool PlatformCursorVisible()
{
    return g_cursor && g_cursorCount >= 0;
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
namespace {

// Shaped SDL windows exist only where the video driver has them.
bool driverShapesWindows()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, "x11") == 0;
}

SDL_Window* createSdlWindow(const char* title, int x, int y, int w, int h, Uint32 flags, bool& shaped)
{
    shaped = false;
    // A borderless window that is not full screen may get a shape later.
    if ((flags & SDL_WINDOW_BORDERLESS) && !(flags & SDL_WINDOW_FULLSCREEN_DESKTOP) && driverShapesWindows()) {
        if (SDL_Window* sdl = SDL_CreateShapedWindow(title, (unsigned)std::max(0, x), (unsigned)std::max(0, y),
                                                     (unsigned)w, (unsigned)h, flags)) {
            shaped = true;
            return sdl;
        }
    }
    return SDL_CreateWindow(title, x, y, w, h, flags);
}

HWND newHandle()
{
    HWND h = (HWND)g_nextHandle;
    g_nextHandle += 0x10;
    return h;
}

void moveFocusOutOf(HWND gone)
{
    if (g_focus && within(g_focus, gone)) {
        HWND parent = parentOf(gone);
        g_focus = parent && !findWindow(parent)->destroying ? topLevelOf(parent) : nullptr;
    }
}

void destroyTree(HWND hwnd)
{
    Window* w = findWindow(hwnd);
    if (!w || w->destroying)
        return;
    w->destroying = true;
    if (g_capture && within(g_capture, hwnd)) {
        HWND old = g_capture;
        g_capture = nullptr;
        sendTo(old, WM_CAPTURECHANGED, 0, 0);
    }
    moveFocusOutOf(hwnd);
    sendTo(hwnd, WM_DESTROY, 0, 0);
    for (Window* child : win::childrenOf(hwnd))
        destroyTree(child->handle);
    sendTo(hwnd, WM_NCDESTROY, 0, 0);
    dropMessagesOf(hwnd);
    if (g_activeWindow == hwnd)
        g_activeWindow = nullptr;
    w = findWindow(hwnd);
    win::releasePaint(w);
    if (w->sdl)
        SDL_DestroyWindow(w->sdl);
    g_windows.erase(hwnd);
    delete w;
}

// The rectangle a child covers in its parent's client area.
RECT childRect(const Window* w)
{
    return {w->x, w->y, w->x + w->width, w->y + w->height};
}

} // namespace

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
    bool child = (style & WS_CHILD) != 0;
    Window* parentWindow = parent ? findWindow(parent) : nullptr;
    if (child && (!parentWindow || parentWindow->destroying)) {
        SetLastError(parent ? ERROR_INVALID_WINDOW_HANDLE : ERROR_TLW_WITH_WSCHILD);
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

    Window* w = new Window;
    w->handle = newHandle();
    w->proc = cls->wc.lpfnWndProc;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->classStyle = cls->wc.style;
    w->classCursor = cls->wc.hCursor;
    w->classBrush = cls->wc.hbrBackground;
    w->instance = instance;
    w->text = windowName && !IS_INTRESOURCE(windowName) ? windowName : "";
    w->x = x;
    w->y = y;
    if (child) {
        w->parent = parent;
        w->id = (LONG_PTR)(intptr_t)menu;
        w->width = std::max(0, width);
        w->height = std::max(0, height);
    } else {
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
        // The Direct3D device draws in place in the window's framebuffer,
        // with its depth and stencil buffers.
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
        if (g_beforeWindowHook)
            g_beforeWindowHook();
        if (!g_glLoaded) {
            // One lasting reference: the GL library then stays loaded while
            // windows come and go, instead of being loaded and unloaded with each.
            g_glLoaded = SDL_GL_LoadLibrary(nullptr) == 0;
        }
        // SDL makes no window larger than this on either side.
        const int kLargestSide = 16384;
        if (cw > kLargestSide || ch > kLargestSide) {
            delete w;
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        const char* title = w->text.c_str();
        bool shaped = false;
        SDL_Window* sdl = createSdlWindow(title, x + border, y + border + caption, cw, ch, flags, shaped);
        if (!sdl) {
            // A display without such buffers still gets a window (the device
            // then draws into buffers of its own).
            SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
            SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
            sdl = createSdlWindow(title, x + border, y + border + caption, cw, ch, flags, shaped);
        }
        if (!sdl) {
            delete w;
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        w->sdl = sdl;
        w->sdlId = SDL_GetWindowID(sdl);
        w->shaped = shaped;
        w->fullScreen = fullScreen;
        w->fullWidth = cw;
        w->fullHeight = ch;
    }
    HWND h = w->handle;
    g_windows[h] = w;
    if (w->shaped)
        win::applyShape(w); // the whole rectangle until a region comes

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
    HWND parent = w->parent;
    RECT area = childRect(w);
    bool wasShown = w->parent && win::shown(w);
    destroyTree(hwnd);
    // The parent shows again where the child was.
    if (wasShown)
        if (Window* p = win::live(parent))
            win::invalidate(p, &area, true);
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
    if (w->parent) {
        bool show = cmdShow != SW_HIDE;
        if (show == w->visible)
            return wasVisible;
        w->visible = show;
        sendTo(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        Window* p = win::live(w->parent);
        if (!findWindow(hwnd) || !p)
            return wasVisible;
        RECT area = childRect(w);
        if (show)
            win::invalidate(w, nullptr, true);
        else
            win::invalidate(p, &area, true);
        if (!show)
            moveFocusOutOf(hwnd);
        return wasVisible;
    }
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
            win::invalidate(w, nullptr, true);
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
            if (!g_focus || topLevelOf(g_focus) != hwnd)
                g_focus = hwnd;
            sendTo(hwnd, WM_SETFOCUS, 0, 0);
            int cw, ch;
            clientSize(findWindow(hwnd), cw, ch);
            sendTo(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cw, ch));
            sendTo(hwnd, WM_MOVE, 0, 0);
            if (Window* still = findWindow(hwnd))
                win::invalidate(still, nullptr, true);
        }
        break;
    }
    return wasVisible;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint)
{
    Window* w = win::live(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    width = std::max(0, width);
    height = std::max(0, height);
    if (w->parent) {
        RECT before = childRect(w);
        bool moved = w->x != x || w->y != y, sized = w->width != width || w->height != height;
        w->x = x;
        w->y = y;
        w->width = width;
        w->height = height;
        if (moved)
            sendTo(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
        if (sized)
            sendTo(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
        if (repaint && win::shown(w)) {
            if (Window* p = win::live(w->parent))
                win::invalidate(p, &before, true);
            if (Window* again = win::live(hwnd))
                win::invalidate(again, nullptr, true);
        }
        return TRUE;
    }
    if (w->fullScreen)
        return TRUE;
    int fx, fy;
    win::frameOffset(w, fx, fy);
    int border, caption;
    frameMetrics(w->style, border, caption);
    w->x = x;
    w->y = y;
    SDL_SetWindowPosition(w->sdl, x + fx, y + fy);
    SDL_SetWindowSize(w->sdl, std::max(1, width - 2 * border), std::max(1, height - 2 * border - caption));
    sendTo(hwnd, WM_MOVE, 0, MAKELPARAM(x + fx, y + fy));
    if (Window* again = win::live(hwnd)) {
        win::resized(again);
        if (repaint)
            win::invalidate(again, nullptr, true);
    }
    return TRUE;
}

BOOL UpdateWindow(HWND hwnd)
{
    Window* w = win::live(hwnd);
    if (!w)
        return FALSE;
    // Paints the window now if it needs it, before any other message.
    if (w->needsPaint && win::shown(w))
        sendTo(hwnd, WM_PAINT, 0, 0);
    return TRUE;
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
    if (w->parent) {
        int ox, oy, sx, sy;
        win::clientOrigin(w, ox, oy);
        win::screenOrigin(win::topLevel(w), sx, sy);
        *rect = {sx + ox, sy + oy, sx + ox + w->width, sy + oy + w->height};
        return TRUE;
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

BOOL ScreenToClient(HWND hwnd, LPPOINT point)
{
    Window* w = findWindow(hwnd);
    if (!w || !point)
        return FALSE;
    int ox, oy, sx, sy;
    win::clientOrigin(w, ox, oy);
    win::screenOrigin(win::topLevel(w), sx, sy);
    point->x -= sx + ox;
    point->y -= sy + oy;
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, LPPOINT point)
{
    Window* w = findWindow(hwnd);
    if (!w || !point)
        return FALSE;
    int ox, oy, sx, sy;
    win::clientOrigin(w, ox, oy);
    win::screenOrigin(win::topLevel(w), sx, sy);
    point->x += sx + ox;
    point->y += sy + oy;
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
    if (!win::live(hwnd))
        return FALSE;
    return sendTo(hwnd, WM_SETTEXT, 0, (LPARAM)(text ? text : "")) ? TRUE : FALSE;
}

int GetWindowTextA(HWND hwnd, LPSTR text, int size)
{
    if (!text || size <= 0)
        return 0;
    text[0] = '\0';
    if (!win::live(hwnd))
        return 0;
    return (int)sendTo(hwnd, WM_GETTEXT, (WPARAM)size, (LPARAM)text);
}

int GetWindowTextLengthA(HWND hwnd)
{
    return win::live(hwnd) ? (int)sendTo(hwnd, WM_GETTEXTLENGTH, 0, 0) : 0;
}

HWND GetParent(HWND hwnd)
{
    Window* w = findWindow(hwnd);
    return w ? w->parent : nullptr;
}

BOOL IsChild(HWND parent, HWND hwnd)
{
    return parent && hwnd != parent && within(hwnd, parent) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd)
{
    Window* w = win::live(hwnd);
    return w && win::shown(w) ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd)
{
    Window* w = win::live(hwnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable)
{
    Window* w = win::live(hwnd);
    if (!w)
        return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    if ((enable != 0) == !wasDisabled)
        return wasDisabled;
    if (enable) {
        w->style &= ~WS_DISABLED;
    } else {
        w->style |= WS_DISABLED;
        if (g_focus && within(g_focus, hwnd))
            moveFocusOutOf(hwnd);
    }
    sendTo(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    if (Window* again = win::live(hwnd))
        win::invalidate(again, nullptr, true);
    return wasDisabled;
}

HWND GetDlgItem(HWND parent, int id)
{
    for (Window* c : win::childrenOf(parent))
        if (c->id == id && !c->destroying)
            return c->handle;
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd)
{
    Window* w = findWindow(hwnd);
    return w && w->parent ? (int)w->id : 0;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index)
{
    Window* w = findWindow(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (index) {
    case GWL_WNDPROC: return (LONG_PTR)w->proc;
    case GWL_HINSTANCE: return (LONG_PTR)w->instance;
    case GWL_HWNDPARENT: return (LONG_PTR)w->parent;
    case GWL_ID: return w->id;
    case GWL_STYLE: return (LONG_PTR)(LONG)(w->style | (w->visible ? WS_VISIBLE : 0));
    case GWL_EXSTYLE: return (LONG_PTR)(LONG)w->exStyle;
    case GWL_USERDATA: return w->userData;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value)
{
    Window* w = findWindow(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR old = GetWindowLongPtrA(hwnd, index);
    switch (index) {
    case GWL_WNDPROC:
        w->proc = (WNDPROC)value;
        break;
    case GWL_ID:
        w->id = value;
        break;
    case GWL_STYLE:
        w->style = (DWORD)value & ~WS_VISIBLE;
        break;
    case GWL_EXSTYLE:
        w->exStyle = (DWORD)value;
        break;
    case GWL_USERDATA:
        w->userData = value;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return old;
}

LONG GetWindowLongA(HWND hwnd, int index)
{
    return (LONG)GetWindowLongPtrA(hwnd, index);
}

LONG SetWindowLongA(HWND hwnd, int index, LONG value)
{
    return (LONG)SetWindowLongPtrA(hwnd, index, value);
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
    if (g_focus && g_activeWindow && topLevelOf(g_focus) == g_activeWindow && win::live(g_focus))
        return g_focus;
    return g_activeWindow;
}

HWND SetFocus(HWND hwnd)
{
    HWND old = GetFocus();
    if (hwnd && !win::live(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (hwnd == old)
        return old;
    if (hwnd) {
        HWND top = topLevelOf(hwnd);
        if (top != g_activeWindow)
            setActive(top, true, false);
    }
    g_focus = hwnd;
    if (old && win::live(old))
        sendTo(old, WM_KILLFOCUS, (WPARAM)hwnd, 0);
    if (hwnd && win::live(hwnd) && g_focus == hwnd)
        sendTo(hwnd, WM_SETFOCUS, (WPARAM)old, 0);
    return old;
}

HWND SetCapture(HWND hwnd)
{
    HWND old = g_capture;
    if (hwnd && !win::live(hwnd))
        return old;
    g_capture = hwnd;
    if (old && old != hwnd && win::live(old))
        sendTo(old, WM_CAPTURECHANGED, 0, (LPARAM)hwnd);
    return old;
}

BOOL ReleaseCapture()
{
    HWND old = g_capture;
    g_capture = nullptr;
    if (old && win::live(old))
        sendTo(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture()
{
    return g_capture;
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
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVTHUMB:
        return 17;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2;
    default:
        return 0;
    }
}

namespace {

// Drags the top-level window with the mouse until the left button is up
// (the window procedure's caption drag). On X11 the pointer is followed on
// the screen: a window that moves with the pointer sees no motion in it.
void moveLoop(HWND top)
{
    Window* t = win::live(top);
    if (!t || t->parent || t->fullScreen || !(g_retrievedButtons & MK_LBUTTON))
        return;
    POINT start = {(SHORT)LOWORD(g_lastMessagePos), (SHORT)HIWORD(g_lastMessagePos)};
    int startX = t->x, startY = t->y;
    bool onScreen = driverShapesWindows() && !g_idleHook;
    auto follow = [&](POINT pt) {
        Window* w = win::live(top);
        int x = startX + pt.x - start.x, y = startY + pt.y - start.y;
        if (w && (w->x != x || w->y != y)) {
            int fx, fy;
            win::frameOffset(w, fx, fy);
            w->x = x;
            w->y = y;
            SDL_SetWindowPosition(w->sdl, x + fx, y + fy);
            sendTo(top, WM_MOVE, 0, MAKELPARAM(x + fx, y + fy));
        }
    };
    sendTo(top, WM_ENTERSIZEMOVE, 0, 0);
    bool done = false;
    while (!done && win::live(top)) {
        pump();
        bool any = false;
        for (auto it = g_input.begin(); it != g_input.end() && !done;) {
            if (it->route != Route::Mouse) {
                ++it;
                continue;
            }
            UINT m = it->msg.message;
            POINT pt = it->msg.pt;
            it = g_input.erase(it);
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
            idleWait();
    }
    if (win::live(top))
        sendTo(top, WM_EXITSIZEMOVE, 0, 0);
}

} // namespace

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* w = findWindow(hwnd);
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
    case WM_SYSCOMMAND: {
        if (w && w->parent)
            return 0;
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
            break; // no menus, and no moves or sizes from the keyboard
        }
        return 0;
    }
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        // A child's system keys belong to its top-level window.
        if (w && w->parent)
            return sendTo(w->parent, message, wParam, lParam);
        if (message == WM_SYSKEYDOWN && wParam == VK_F4 && (lParam & ((LPARAM)1 << 29)))
            SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        if (message == WM_SYSKEYUP && (wParam == VK_MENU || wParam == VK_F10))
            SendMessageA(hwnd, WM_SYSCOMMAND, SC_KEYMENU, 0);
        return 0;
    case WM_SETCURSOR:
        // A child asks its parent first.
        if (w && w->parent && sendTo(w->parent, WM_SETCURSOR, wParam, lParam))
            return TRUE;
        if (LOWORD(lParam) == HTCLIENT) {
            Window* again = findWindow(hwnd);
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

DWORD GetMessagePos()
{
    return g_lastMessagePos;
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

BOOL GetCursorPos(LPPOINT point)
{
    if (!point)
        return FALSE;
    pump();
    *point = g_cursorPos;
    return TRUE;
}

BOOL SetCursorPos(int x, int y)
{
    g_cursorPos = {x, y};
    if (g_videoUp)
        SDL_WarpMouseGlobal(x, y); // where the video driver can
    return TRUE;
}

WORD PlatformSystemCursorId(HCURSOR cursor)
{
    int i = cursorIndex(cursor);
    return i >= 0 ? g_systemCursors[i].id : 0;
}

bool PlatformIsApplicationIcon(HICON icon)
{
    return icon == reinterpret_cast<HICON>(&g_applicationIcon);
}

void PlatformApplyCursor()
{
    applyCursor();
}

// ---- Rectangles ------------------------------------------------------------------------
BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom)
{
    if (!rect)
        return FALSE;
    *rect = {left, top, right, bottom};
    return TRUE;
}

BOOL SetRectEmpty(LPRECT rect)
{
    return SetRect(rect, 0, 0, 0, 0);
}

BOOL IsRectEmpty(const RECT* rect)
{
    return !rect || rect->right <= rect->left || rect->bottom <= rect->top;
}

BOOL PtInRect(const RECT* rect, POINT point)
{
    return rect && point.x >= rect->left && point.x < rect->right && point.y >= rect->top && point.y < rect->bottom;
}

BOOL OffsetRect(LPRECT rect, int dx, int dy)
{
    if (!rect)
        return FALSE;
    rect->left += dx;
    rect->right += dx;
    rect->top += dy;
    rect->bottom += dy;
    return TRUE;
}

BOOL InflateRect(LPRECT rect, int dx, int dy)
{
    if (!rect)
        return FALSE;
    rect->left -= dx;
    rect->right += dx;
    rect->top -= dy;
    rect->bottom += dy;
    return TRUE;
}

BOOL IntersectRect(LPRECT out, const RECT* a, const RECT* b)
{
    if (!out || !a || !b)
        return FALSE;
    RECT r = {std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
              std::min(a->bottom, b->bottom)};
    if (IsRectEmpty(&r)) {
        SetRectEmpty(out);
        return FALSE;
    }
    *out = r;
    return TRUE;
}

BOOL UnionRect(LPRECT out, const RECT* a, const RECT* b)
{
    if (!out || !a || !b)
        return FALSE;
    if (IsRectEmpty(a)) {
        *out = *b;
    } else if (IsRectEmpty(b)) {
        *out = *a;
    } else {
        *out = {std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                std::max(a->bottom, b->bottom)};
    }
    return !IsRectEmpty(out);
}

BOOL EqualRect(const RECT* a, const RECT* b)
{
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

// ---- Window records for the other layer files -------------------------------------------
namespace win {

Window* find(HWND h)
{
    return findWindow(h);
}

Window* live(HWND h)
{
    Window* w = findWindow(h);
    return w && !w->destroying ? w : nullptr;
}

Window* topLevel(Window* w)
{
    while (w && w->parent) {
        Window* p = findWindow(w->parent);
        if (!p)
            break;
        w = p;
    }
    return w;
}

bool isChild(const Window* w)
{
    return w && w->parent;
}

bool shown(Window* w)
{
    for (; w; w = w->parent ? findWindow(w->parent) : nullptr)
        if (!w->visible || w->destroying || (!w->parent && w->minimized))
            return false;
    return true;
}

LRESULT send(HWND h, UINT message, WPARAM wParam, LPARAM lParam)
{
    return sendTo(h, message, wParam, lParam);
}

std::vector<Window*> allWindows()
{
    std::vector<Window*> out;
    out.reserve(g_windows.size());
    for (auto& kv : g_windows)
        out.push_back(kv.second);
    return out;
}

std::vector<Window*> childrenOf(HWND parent)
{
    std::vector<Window*> out;
    if (!parent)
        return out;
    for (auto& kv : g_windows)
        if (kv.second->parent == parent)
            out.push_back(kv.second);
    return out;
}

void clientSize(Window* w, int& cw, int& ch)
{
    cw = ch = 0;
    if (!w)
        return;
    if (w->parent) {
        cw = w->width;
        ch = w->height;
    } else if (w->fullScreen) {
        cw = w->fullWidth;
        ch = w->fullHeight;
    } else if (w->sdl) {
        SDL_GL_GetDrawableSize(w->sdl, &cw, &ch);
    }
}

void clientOrigin(Window* w, int& x, int& y)
{
    x = y = 0;
    while (w && w->parent) {
        x += w->x;
        y += w->y;
        w = findWindow(w->parent);
    }
}

void frameOffset(const Window* w, int& dx, int& dy)
{
    int border, caption;
    frameMetrics(w->parent ? 0 : w->style, border, caption);
    dx = border;
    dy = border + caption;
    if (w->fullScreen)
        dx = dy = 0;
}

void screenOrigin(Window* top, int& x, int& y)
{
    int fx, fy;
    frameOffset(top, fx, fy);
    x = top->fullScreen ? 0 : top->x + fx;
    y = top->fullScreen ? 0 : top->y + fy;
}

bool drawnByGL(Window* top)
{
    return top && top->gl;
}

} // namespace win
