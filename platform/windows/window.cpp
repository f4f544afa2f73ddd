// Window classes, windows, focus, capture and activation over SDL2, and the
// window records the other files of the layer share.
#include "windows.h"
#include "win_state.h"

#include <SDL.h>

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using win::driverShapesWindows;
using win::g_state;
using win::setActive;
using win::topLevelOf;
using win::Window;
using win::WindowClass;
using win::within;

win::State win::g_state;

namespace {

void registerSystemClasses()
{
    if (g_state.systemClasses)
        return;
    g_state.systemClasses = true;
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
        wc.atom = g_state.nextAtom++;
        wc.system = true;
        g_state.classes.push_back(wc);
    }
}

WindowClass* findClass(LPCSTR name, HINSTANCE instance, bool anyInstance)
{
    registerSystemClasses();
    for (auto& c : g_state.classes) {
        bool nameMatch = IS_INTRESOURCE(name) ? c.atom == (ATOM)(uintptr_t)name
                                              : strcasecmp(c.name.c_str(), name) == 0;
        if (nameMatch && (anyInstance || c.instance == instance || c.system))
            return &c;
    }
    return nullptr;
}

HWND parentOf(HWND h)
{
    Window* w = win::find(h);
    return w ? w->parent : nullptr;
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

bool isFullScreenStyle(DWORD style, DWORD exStyle, int x, int y)
{
    return (style & WS_POPUP) && (style & WS_CAPTION) != WS_CAPTION && !(exStyle & WS_EX_TOOLWINDOW) && x == 0 &&
           y == 0;
}

} // namespace

// ---- Layer-internal -------------------------------------------------------------
bool PlatformEnsureVideo()
{
    if (g_state.videoUp)
        return true;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
        return false;
    g_state.videoUp = true;
    SDL_StartTextInput();
    win::applyCursor();
    return true;
}

SDL_Window* PlatformSdlWindow(HWND hwnd)
{
    Window* w = win::find(hwnd);
    return w && !w->destroying ? w->sdl : nullptr;
}

SDL_Window* PlatformGLWindow(HWND hwnd)
{
    Window* w = win::find(hwnd);
    if (!w || w->destroying || !w->sdl)
        return nullptr;
    w->gl = true;
    return w->sdl;
}

void PlatformSetBeforeWindowHook(PlatformBeforeWindowHook hook)
{
    g_state.beforeWindowHook = hook;
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
    c.atom = g_state.nextAtom++;
    g_state.classes.push_back(c);
    return c.atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance)
{
    if (!className) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    for (auto it = g_state.classes.begin(); it != g_state.classes.end(); ++it) {
        bool nameMatch = IS_INTRESOURCE(className) ? it->atom == (ATOM)(uintptr_t)className
                                                   : strcasecmp(it->name.c_str(), className) == 0;
        if (nameMatch && it->instance == instance) {
            g_state.classes.erase(it);
            return TRUE;
        }
    }
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

// ---- Windows ---------------------------------------------------------------------
namespace {

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
    HWND h = (HWND)g_state.nextHandle;
    g_state.nextHandle += 0x10;
    return h;
}

void moveFocusOutOf(HWND gone)
{
    if (g_state.focus && within(g_state.focus, gone)) {
        HWND parent = parentOf(gone);
        g_state.focus = parent && !win::find(parent)->destroying ? topLevelOf(parent) : nullptr;
    }
}

// A pop-up that goes or hides while the display's keyboard focus is on it
// (a display without a window manager focuses every window shown) hands it
// back to its owner.
void giveBackKeyboard(Window* w)
{
    if (!w->popup || !w->sdl || SDL_GetKeyboardFocus() != w->sdl)
        return;
    Window* owner = win::live(w->owner);
    if (owner && owner->sdl && owner->visible && !owner->minimized)
        SDL_SetWindowInputFocus(owner->sdl);
}

void destroyTree(HWND hwnd)
{
    Window* w = win::find(hwnd);
    if (!w || w->destroying)
        return;
    w->destroying = true;
    if (g_state.capture && within(g_state.capture, hwnd)) {
        HWND old = g_state.capture;
        g_state.capture = nullptr;
        win::send(old, WM_CAPTURECHANGED, 0, 0);
    }
    moveFocusOutOf(hwnd);
    win::send(hwnd, WM_DESTROY, 0, 0);
    for (Window* child : win::childrenOf(hwnd))
        destroyTree(child->handle);
    win::send(hwnd, WM_NCDESTROY, 0, 0);
    win::dropMessagesOf(hwnd);
    if (g_state.active == hwnd)
        g_state.active = nullptr;
    w = win::find(hwnd);
    win::releasePaint(w);
    giveBackKeyboard(w);
    if (w->sdl)
        SDL_DestroyWindow(w->sdl);
    g_state.windows.erase(hwnd);
    delete w;
}

// The SDL window of a top-level window at w->x, w->y of the outer size given.
bool makeSdlWindow(Window* w, int width, int height)
{
    int x = w->x, y = w->y;
    bool fullScreen = isFullScreenStyle(w->style, w->exStyle, x, y);
    int border, caption;
    frameMetrics(w->style, border, caption);
    int cw = std::max(1, width - 2 * border);
    int ch = std::max(1, height - 2 * border - caption);
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (fullScreen)
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    else if ((w->style & WS_CAPTION) != WS_CAPTION)
        flags |= SDL_WINDOW_BORDERLESS;
    else if (w->style & WS_THICKFRAME)
        flags |= SDL_WINDOW_RESIZABLE;
    // Over every window, taking no focus from the window manager.
    if (w->popup)
        flags |= SDL_WINDOW_POPUP_MENU | SDL_WINDOW_SKIP_TASKBAR;
    // The Direct3D device draws in place in the window's framebuffer,
    // with its depth and stencil buffers.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    if (g_state.beforeWindowHook)
        g_state.beforeWindowHook();
    if (!g_state.glLoaded) {
        // One lasting reference: the GL library then stays loaded while
        // windows come and go, instead of being loaded and unloaded with each.
        g_state.glLoaded = SDL_GL_LoadLibrary(nullptr) == 0;
    }
    // SDL makes no window larger than this on either side.
    const int kLargestSide = 16384;
    if (cw > kLargestSide || ch > kLargestSide) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
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
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    w->sdl = sdl;
    w->sdlId = SDL_GetWindowID(sdl);
    w->shaped = shaped;
    w->fullScreen = fullScreen;
    w->fullWidth = cw;
    w->fullHeight = ch;
    return true;
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
    Window* parentWindow = parent ? win::find(parent) : nullptr;
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
        Window* owner = parentWindow && !parentWindow->destroying ? win::topLevel(parentWindow) : nullptr;
        w->owner = owner ? owner->handle : nullptr;
        w->popup = owner && (exStyle & WS_EX_TOOLWINDOW) && (style & WS_CAPTION) != WS_CAPTION;
    }
    if (!child && !makeSdlWindow(w, width, height)) {
        delete w;
        return nullptr;
    }
    HWND h = w->handle;
    g_state.windows[h] = w;
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
    bool ok = win::send(h, WM_NCCREATE, 0, (LPARAM)&cs) != 0 && win::find(h);
    if (ok)
        ok = win::send(h, WM_CREATE, 0, (LPARAM)&cs) != -1 && win::find(h);
    if (!ok) {
        if (win::find(h))
            DestroyWindow(h);
        return nullptr;
    }
    if (style & WS_VISIBLE)
        ShowWindow(h, SW_SHOW);
    return win::find(h) ? h : nullptr;
}

BOOL DestroyWindow(HWND hwnd)
{
    Window* w = win::find(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->destroying)
        return TRUE;
    if (w->active)
        setActive(hwnd, false, w->minimized);
    w = win::find(hwnd);
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
    Window* w = win::find(hwnd);
    return w && !w->destroying ? TRUE : FALSE;
}

namespace {

BOOL showChild(HWND hwnd, Window* w, bool show)
{
    BOOL wasVisible = w->visible ? TRUE : FALSE;
    if (show == w->visible)
        return wasVisible;
    w->visible = show;
    win::send(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    Window* p = win::live(w->parent);
    if (!win::find(hwnd) || !p)
        return wasVisible;
    RECT area = childRect(w);
    if (show) {
        win::invalidate(w, nullptr, true);
    } else {
        win::invalidate(p, &area, true);
        moveFocusOutOf(hwnd);
    }
    return wasVisible;
}

// SW_SHOW and the like; SW_SHOWNA and SW_SHOWNOACTIVATE leave activation
// and focus where they are.
void showTopLevel(HWND hwnd, Window* w, int cmdShow)
{
    if (w->visible)
        return;
    w->visible = true;
    SDL_ShowWindow(w->sdl);
    if (cmdShow == SW_SHOWMAXIMIZED)
        SDL_MaximizeWindow(w->sdl);
    win::send(hwnd, WM_SHOWWINDOW, TRUE, 0);
    if (!win::find(hwnd))
        return;
    if (cmdShow != SW_SHOWNA && cmdShow != SW_SHOWNOACTIVATE) {
        setActive(hwnd, true, false);
        if (!win::find(hwnd))
            return;
        if (!g_state.focus || topLevelOf(g_state.focus) != hwnd)
            g_state.focus = hwnd;
        win::send(hwnd, WM_SETFOCUS, 0, 0);
    }
    int cw, ch;
    clientSize(win::find(hwnd), cw, ch);
    win::send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cw, ch));
    win::send(hwnd, WM_MOVE, 0, 0);
    if (Window* still = win::find(hwnd))
        win::invalidate(still, nullptr, true);
}

} // namespace

BOOL ShowWindow(HWND hwnd, int cmdShow)
{
    Window* w = win::find(hwnd);
    if (!w)
        return FALSE;
    if (w->parent)
        return showChild(hwnd, w, cmdShow != SW_HIDE);
    BOOL wasVisible = w->visible ? TRUE : FALSE;
    switch (cmdShow) {
    case SW_HIDE:
        if (w->visible) {
            giveBackKeyboard(w);
            w->visible = false;
            SDL_HideWindow(w->sdl);
            win::send(hwnd, WM_SHOWWINDOW, FALSE, 0);
            if (win::find(hwnd) && w->active)
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
    default: // SW_SHOW, SW_SHOWNORMAL, SW_SHOWMAXIMIZED, SW_SHOWDEFAULT, SW_SHOWNA, SW_SHOWNOACTIVATE
        showTopLevel(hwnd, w, cmdShow);
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
            win::send(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
        if (sized)
            win::send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
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
    win::send(hwnd, WM_MOVE, 0, MAKELPARAM(x + fx, y + fy));
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
        win::send(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect)
{
    Window* w = win::find(hwnd);
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
    Window* w = win::find(hwnd);
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
    Window* w = win::find(hwnd);
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
    Window* w = win::find(hwnd);
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
    return win::send(hwnd, WM_SETTEXT, 0, (LPARAM)(text ? text : "")) ? TRUE : FALSE;
}

int GetWindowTextA(HWND hwnd, LPSTR text, int size)
{
    if (!text || size <= 0)
        return 0;
    text[0] = '\0';
    if (!win::live(hwnd))
        return 0;
    return (int)win::send(hwnd, WM_GETTEXT, (WPARAM)size, (LPARAM)text);
}

int GetWindowTextLengthA(HWND hwnd)
{
    return win::live(hwnd) ? (int)win::send(hwnd, WM_GETTEXTLENGTH, 0, 0) : 0;
}

HWND GetParent(HWND hwnd)
{
    Window* w = win::find(hwnd);
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
        if (g_state.focus && within(g_state.focus, hwnd))
            moveFocusOutOf(hwnd);
    }
    win::send(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
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
    Window* w = win::find(hwnd);
    return w && w->parent ? (int)w->id : 0;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index)
{
    Window* w = win::find(hwnd);
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
    Window* w = win::find(hwnd);
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
    return g_state.active;
}

HWND GetActiveWindow()
{
    return g_state.active;
}

HWND GetFocus()
{
    if (g_state.focus && g_state.active && topLevelOf(g_state.focus) == g_state.active && win::live(g_state.focus))
        return g_state.focus;
    return g_state.active;
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
        if (top != g_state.active)
            setActive(top, true, false);
    }
    g_state.focus = hwnd;
    if (old && win::live(old))
        win::send(old, WM_KILLFOCUS, (WPARAM)hwnd, 0);
    if (hwnd && win::live(hwnd) && g_state.focus == hwnd)
        win::send(hwnd, WM_SETFOCUS, (WPARAM)old, 0);
    return old;
}

HWND SetCapture(HWND hwnd)
{
    HWND old = g_state.capture;
    if (hwnd && !win::live(hwnd))
        return old;
    g_state.capture = hwnd;
    if (old && old != hwnd && win::live(old))
        win::send(old, WM_CAPTURECHANGED, 0, (LPARAM)hwnd);
    return old;
}

BOOL ReleaseCapture()
{
    HWND old = g_state.capture;
    g_state.capture = nullptr;
    if (old && win::live(old))
        win::send(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture()
{
    return g_state.capture;
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

// ---- Window records for the other layer files -------------------------------------------
namespace win {

Window* find(HWND h)
{
    auto it = g_state.windows.find(h);
    return it == g_state.windows.end() ? nullptr : it->second;
}

Window* live(HWND h)
{
    Window* w = win::find(h);
    return w && !w->destroying ? w : nullptr;
}

Window* topLevel(Window* w)
{
    while (w && w->parent) {
        Window* p = win::find(w->parent);
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
    for (; w; w = w->parent ? win::find(w->parent) : nullptr)
        if (!w->visible || w->destroying || (!w->parent && w->minimized))
            return false;
    return true;
}

LRESULT send(HWND h, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* w = find(h);
    if (!w || !w->proc)
        return 0;
    return w->proc(h, message, wParam, lParam);
}

std::vector<Window*> allWindows()
{
    std::vector<Window*> out;
    out.reserve(g_state.windows.size());
    for (auto& kv : g_state.windows)
        out.push_back(kv.second);
    return out;
}

std::vector<Window*> childrenOf(HWND parent)
{
    std::vector<Window*> out;
    if (!parent)
        return out;
    for (auto& kv : g_state.windows)
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
        w = win::find(w->parent);
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

Window* findSdlWindow(unsigned id)
{
    for (auto& kv : g_state.windows)
        if (kv.second->sdl && kv.second->sdlId == id && !kv.second->destroying)
            return kv.second;
    return nullptr;
}

HWND topLevelOf(HWND h)
{
    Window* w = win::find(h);
    return w ? win::topLevel(w)->handle : nullptr;
}

bool within(HWND h, HWND ancestor)
{
    for (; h; h = parentOf(h))
        if (h == ancestor)
            return true;
    return false;
}

void setActive(HWND h, bool active, bool minimized)
{
    Window* w = win::find(h);
    if (!w)
        return;
    if (active && g_state.active && g_state.active != h)
        setActive(g_state.active, false, win::find(g_state.active) ? win::find(g_state.active)->minimized : false);
    w = win::find(h);
    if (!w || (w->active == active && w->minimized == minimized))
        return;
    w->active = active;
    w->minimized = minimized;
    if (active)
        g_state.active = h;
    else if (g_state.active == h)
        g_state.active = nullptr;
    win::send(h, WM_ACTIVATE, MAKEWPARAM(active ? WA_ACTIVE : WA_INACTIVE, minimized ? 1 : 0), 0);
}

bool driverShapesWindows()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, "x11") == 0;
}

} // namespace win
