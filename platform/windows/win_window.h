// Layer-internal: the window records shared by the window, painting and
// control files of the Windows layer. The system never includes this header.
#pragma once

#include "windows.h"

#include <string>
#include <vector>

struct SDL_Window;

namespace win {

struct Window {
    HWND handle = nullptr;
    SDL_Window* sdl = nullptr; // top-level windows only
    unsigned sdlId = 0;
    WNDPROC proc = nullptr;
    DWORD style = 0; // WS_VISIBLE is kept in `visible`
    DWORD exStyle = 0;
    UINT classStyle = 0;
    HCURSOR classCursor = nullptr;
    HBRUSH classBrush = nullptr;
    HINSTANCE instance = nullptr;
    HWND parent = nullptr; // child windows
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    std::string text;
    // Top-level: outer position on the screen. Child: position and size in
    // the parent's client area.
    int x = 0, y = 0;
    int width = 0, height = 0;
    // A full-screen popup keeps the size it was created with as its client
    // area, as a display-mode change would give it, whatever the desktop's.
    bool fullScreen = false;
    int fullWidth = 0, fullHeight = 0;
    bool visible = false;
    bool active = false;
    bool minimized = false;
    bool destroying = false;
    // Top-level windows: the top-level window of the parent given at
    // creation. A caption-less tool window with an owner is a pop-up like a
    // dropped list: never activated, its keys go to its owner.
    HWND owner = nullptr;
    bool popup = false;

    // Painting: the update rectangle in client coordinates.
    bool needsPaint = false;
    bool needsErase = false;
    RECT update = {0, 0, 0, 0};
    // Top-level windows: the shape in window coordinates (owned; null for
    // none), the GDI surface the window and its children draw into, and
    // whether the surface changed since it was last shown.
    HRGN region = nullptr;
    HBITMAP surface = nullptr;
    void* surfaceBits = nullptr; // 32-bit rows, top row first
    int surfaceWidth = 0, surfaceHeight = 0;
    bool surfaceDirty = false;
    bool shaped = false; // the SDL window can take a shape
    bool gl = false;     // OpenGL draws the SDL window
    HDC ownDc = nullptr; // CS_OWNDC
};

Window* find(HWND h);
// A live window (not being destroyed) or null.
Window* live(HWND h);
Window* topLevel(Window* w);
bool isChild(const Window* w);
// Visible with all its ancestors.
bool shown(Window* w);
LRESULT send(HWND h, UINT message, WPARAM wParam, LPARAM lParam);
// Every window, parents before their children, siblings bottom first.
std::vector<Window*> allWindows();
std::vector<Window*> childrenOf(HWND parent);
void clientSize(Window* w, int& cw, int& ch);
// The client area's origin in its top-level window's client area.
void clientOrigin(Window* w, int& x, int& y);
// The client area's origin within the window rectangle (the frame).
void frameOffset(const Window* w, int& dx, int& dy);
// The top-level window's client origin on the screen.
void screenOrigin(Window* top, int& x, int& y);
// Whether the window holds the top-level window's GL drawable.
bool drawnByGL(Window* top);

// ---- Painting (win_paint.cpp) ---------------------------------------------------
// Adds r (client coordinates; null: all) to the update area of the window and
// of the children it does not clip.
void invalidate(Window* w, const RECT* r, bool erase);
// The window whose WM_PAINT comes next, null when none needs painting.
Window* nextToPaint(HWND filter);
// Puts the changed surfaces on the screen.
void presentSurfaces();
// The window's area in its top-level client area that shows it (not hidden
// by its ancestors, the shape or clipped children and siblings);
// the caller deletes it.
HRGN visibleRegion(Window* w);
// Releases the drawing resources of a window that goes.
void releasePaint(Window* w);
// Gives the SDL window the shape of the region.
void applyShape(Window* top);
// The top-level window changed size: a new surface, all repainted.
void resized(Window* top);

// ---- Controls -----------------------------------------------------------------------
// A rectangle in a system colour; a one-pixel frame, top and left in one
// system colour, bottom and right in another.
void fillSys(HDC dc, const RECT& r, int sysColour);
void edge(HDC dc, const RECT& r, int topLeft, int bottomRight);
// WM_COMMAND to the control's parent: its id and a notification code.
void notifyParent(HWND control, int code);

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ComboListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace win
