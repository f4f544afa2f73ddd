// Painting: update areas, WM_PAINT, window device contexts drawing into the
// top-level window's GDI surface, window regions and showing the surface.
#include "win_window.h"

#include "gdi/gdi_window.h"

#include <SDL.h>

#include <algorithm>
#include <vector>

using win::Window;

namespace {

RECT clientRectOf(Window* w)
{
    int cw, ch;
    win::clientSize(w, cw, ch);
    return {0, 0, cw, ch};
}

// The region's rectangles.
std::vector<RECT> rectsOf(HRGN region)
{
    std::vector<RECT> out;
    DWORD size = GetRegionData(region, 0, nullptr);
    if (size < sizeof(RGNDATAHEADER))
        return out;
    std::vector<BYTE> buffer(size);
    RGNDATA* data = reinterpret_cast<RGNDATA*>(buffer.data());
    if (GetRegionData(region, size, data) != size)
        return out;
    out.resize(data->rdh.nCount);
    std::memcpy(out.data(), buffer.data() + data->rdh.dwSize, out.size() * sizeof(RECT));
    return out;
}

void cut(HRGN region, const RECT& r, int mode)
{
    HRGN other = CreateRectRgnIndirect(&r);
    CombineRgn(region, region, other, mode);
    DeleteObject(other);
}

// The child's rectangle in its top-level window's client area.
RECT areaInTop(Window* w)
{
    int x, y;
    win::clientOrigin(w, x, y);
    int cw, ch;
    win::clientSize(w, cw, ch);
    return {x, y, x + cw, y + ch};
}

// The surface the top-level window draws into, made to the client size;
// null for a window OpenGL draws.
HBITMAP surfaceOf(Window* top)
{
    if (win::drawnByGL(top))
        return nullptr;
    int cw, ch;
    win::clientSize(top, cw, ch);
    if (top->surface && (top->surfaceWidth != cw || top->surfaceHeight != ch)) {
        if (DeleteObject(top->surface)) {
            top->surface = nullptr;
            top->surfaceBits = nullptr;
        }
    }
    if (!top->surface && cw > 0 && ch > 0) {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = cw;
        bi.bmiHeader.biHeight = -ch;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        top->surface = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &top->surfaceBits, nullptr, 0);
        top->surfaceWidth = cw;
        top->surfaceHeight = ch;
    }
    return top->surface;
}

// A device context for the window's client area, limited to what shows
// of it (and to `limit`, client coordinates, when given).
HDC windowDc(Window* w, const RECT* limit)
{
    Window* top = win::topLevel(w);
    HBITMAP surface = surfaceOf(top);
    HDC dc;
    if (w->classStyle & CS_OWNDC) {
        if (!w->ownDc)
            w->ownDc = PlatformCreateWindowDC(surface);
        dc = w->ownDc;
    } else {
        dc = PlatformCreateWindowDC(surface);
    }
    int ox, oy;
    win::clientOrigin(w, ox, oy);
    HRGN visible = win::visibleRegion(w);
    if (limit) {
        RECT r = *limit;
        OffsetRect(&r, ox, oy);
        cut(visible, r, RGN_AND);
    }
    PlatformSetWindowDCArea(dc, ox, oy, visible);
    DeleteObject(visible);
    return dc;
}

void doneWithDc(Window* w, HDC dc)
{
    if (!w || dc != w->ownDc)
        DeleteDC(dc);
    if (w)
        if (Window* top = win::topLevel(w))
            top->surfaceDirty = top->surface != nullptr;
}

HDC screenDc()
{
    static HDC dc = PlatformCreateWindowDC(nullptr);
    return dc;
}

} // namespace

namespace win {

void invalidate(Window* w, const RECT* r, bool erase)
{
    if (!w || w->destroying)
        return;
    RECT area = clientRectOf(w);
    if (r && !IntersectRect(&area, &area, r))
        return;
    if (IsRectEmpty(&area))
        return;
    if (w->needsPaint)
        UnionRect(&w->update, &w->update, &area);
    else
        w->update = area;
    w->needsPaint = true;
    w->needsErase = w->needsErase || erase;
    if (w->style & WS_CLIPCHILDREN)
        return;
    for (Window* c : childrenOf(w->handle)) {
        if (!c->visible || c->destroying)
            continue;
        RECT inChild = {area.left - c->x, area.top - c->y, area.right - c->x, area.bottom - c->y};
        invalidate(c, &inChild, erase);
    }
}

Window* nextToPaint(HWND filter)
{
    for (Window* w : allWindows())
        if (w->needsPaint && !w->destroying && (!filter || w->handle == filter) && shown(w))
            return w;
    return nullptr;
}

HRGN visibleRegion(Window* w)
{
    Window* top = topLevel(w);
    RECT own = areaInTop(w);
    HRGN region = CreateRectRgnIndirect(&own);
    for (Window* a = w; a && a->parent; a = find(a->parent)) {
        Window* p = find(a->parent);
        if (p && p->parent)
            cut(region, areaInTop(p), RGN_AND);
    }
    RECT topArea = clientRectOf(top);
    cut(region, topArea, RGN_AND);
    if (top->region) {
        HRGN shape = CreateRectRgn(0, 0, 0, 0);
        CombineRgn(shape, top->region, nullptr, RGN_COPY);
        int fx, fy;
        frameOffset(top, fx, fy);
        OffsetRgn(shape, -fx, -fy);
        CombineRgn(region, region, shape, RGN_AND);
        DeleteObject(shape);
    }
    if (w->style & WS_CLIPCHILDREN)
        for (Window* c : childrenOf(w->handle))
            if (c->visible)
                cut(region, areaInTop(c), RGN_DIFF);
    if ((w->style & WS_CLIPSIBLINGS) && w->parent)
        for (Window* s : childrenOf(w->parent))
            if (s->handle > w->handle && s->visible)
                cut(region, areaInTop(s), RGN_DIFF);
    return region;
}

void presentSurfaces()
{
    for (Window* top : allWindows()) {
        if (top->parent || !top->surfaceDirty || !top->surface || !top->sdl || top->destroying || drawnByGL(top))
            continue;
        top->surfaceDirty = false;
        if (!top->visible)
            continue;
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        SDL_Surface* screen = SDL_GetWindowSurface(top->sdl);
        if (!screen)
            continue;
        SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(top->surfaceBits, top->surfaceWidth,
                                                                  top->surfaceHeight, 32, top->surfaceWidth * 4,
                                                                  SDL_PIXELFORMAT_RGB888);
        if (!source)
            continue;
        SDL_FillRect(screen, nullptr, 0);
        if (top->region) {
            // Only what lies inside the shape shows.
            int fx, fy;
            frameOffset(top, fx, fy);
            for (const RECT& r : rectsOf(top->region)) {
                SDL_Rect part = {r.left - fx, r.top - fy, r.right - r.left, r.bottom - r.top};
                SDL_Rect to = part;
                SDL_BlitSurface(source, &part, screen, &to);
            }
        } else {
            SDL_BlitSurface(source, nullptr, screen, nullptr);
        }
        SDL_FreeSurface(source);
        SDL_UpdateWindowSurface(top->sdl);
    }
}

void releasePaint(Window* w)
{
    if (w->ownDc) {
        DeleteDC(w->ownDc);
        w->ownDc = nullptr;
    }
    if (w->surface) {
        DeleteObject(w->surface);
        w->surface = nullptr;
        w->surfaceBits = nullptr;
    }
    if (w->region) {
        DeleteObject(w->region);
        w->region = nullptr;
    }
}

void applyShape(Window* top)
{
    if (!top->shaped || !top->sdl)
        return;
    int cw, ch;
    clientSize(top, cw, ch);
    if (cw <= 0 || ch <= 0)
        return;
    SDL_Surface* mask = SDL_CreateRGBSurfaceWithFormat(0, cw, ch, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!mask)
        return;
    if (top->region) {
        SDL_FillRect(mask, nullptr, 0x00000000);
        for (const RECT& r : rectsOf(top->region)) {
            SDL_Rect part = {r.left, r.top, r.right - r.left, r.bottom - r.top};
            SDL_FillRect(mask, &part, 0xFFFFFFFF);
        }
    } else {
        SDL_FillRect(mask, nullptr, 0xFFFFFFFF);
    }
    SDL_WindowShapeMode mode;
    mode.mode = ShapeModeBinarizeAlpha;
    mode.parameters.binarizationCutoff = 128;
    SDL_SetWindowShape(top->sdl, mask, &mode);
    SDL_FreeSurface(mask);
}

void fillSys(HDC dc, const RECT& r, int sysColour)
{
    FillRect(dc, &r, GetSysColorBrush(sysColour));
}

void edge(HDC dc, const RECT& r, int topLeft, int bottomRight)
{
    fillSys(dc, {r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    fillSys(dc, {r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    fillSys(dc, {r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
    fillSys(dc, {r.right - 1, r.top, r.right, r.bottom}, bottomRight);
}

void notifyParent(HWND control, int code)
{
    if (HWND parent = GetParent(control))
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code), (LPARAM)control);
}

void resized(Window* top)
{
    applyShape(top);
    invalidate(top, nullptr, true);
}

} // namespace win

// ---- Update areas -------------------------------------------------------------------
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase)
{
    if (!hwnd) {
        for (Window* w : win::allWindows())
            if (!w->parent)
                win::invalidate(w, nullptr, erase != 0);
        return TRUE;
    }
    Window* w = win::live(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    win::invalidate(w, rect, erase != 0);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect)
{
    Window* w = win::live(hwnd);
    if (!w)
        return FALSE;
    RECT covered;
    if (!rect || (UnionRect(&covered, rect, &w->update) && EqualRect(&covered, rect))) {
        w->needsPaint = false;
        w->needsErase = false;
    }
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, LPRECT rect, BOOL)
{
    Window* w = win::live(hwnd);
    if (!w)
        return FALSE;
    if (rect)
        *rect = w->needsPaint ? w->update : RECT{0, 0, 0, 0};
    return w->needsPaint ? TRUE : FALSE;
}

// ---- Device contexts ----------------------------------------------------------------
HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint)
{
    Window* w = win::live(hwnd);
    if (!w || !paint)
        return nullptr;
    std::memset(paint, 0, sizeof *paint);
    RECT update = w->needsPaint ? w->update : RECT{0, 0, 0, 0};
    bool erase = w->needsErase && w->needsPaint;
    w->needsPaint = false;
    w->needsErase = false;
    HDC dc = windowDc(w, &update);
    paint->hdc = dc;
    paint->rcPaint = update;
    if (erase)
        paint->fErase = win::send(hwnd, WM_ERASEBKGND, (WPARAM)dc, 0) == 0;
    return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint)
{
    if (!paint || !paint->hdc)
        return FALSE;
    doneWithDc(win::find(hwnd), paint->hdc);
    return TRUE;
}

HDC GetDC(HWND hwnd)
{
    if (!hwnd)
        return screenDc();
    Window* w = win::live(hwnd);
    return w ? windowDc(w, nullptr) : nullptr;
}

int ReleaseDC(HWND hwnd, HDC hdc)
{
    if (!hdc)
        return 0;
    if (hdc == screenDc())
        return 1;
    doneWithDc(win::find(hwnd), hdc);
    return 1;
}

// ---- Regions ---------------------------------------------------------------------------
int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw)
{
    Window* w = win::live(hwnd);
    if (!w || w->parent) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->region && w->region != region)
        DeleteObject(w->region);
    w->region = region;
    win::applyShape(w);
    w->surfaceDirty = w->surface != nullptr;
    if (redraw)
        win::invalidate(w, nullptr, true);
    return 1;
}

int GetWindowRgn(HWND hwnd, HRGN region)
{
    Window* w = win::live(hwnd);
    if (!w || !w->region)
        return ERROR;
    return CombineRgn(region, w->region, nullptr, RGN_COPY);
}
