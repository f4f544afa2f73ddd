// GDI drawing: brushes, pens, pixels, lines, rectangles, block transfers
// and the system colours.
#include "gdi_internal.h"
#include "windows.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

using namespace gdi;

namespace {

const COLORREF kSysColors[] = {
    RGB(212, 208, 200), // scroll bar
    RGB(58, 110, 165),  // desktop
    RGB(10, 36, 106),   // active caption
    RGB(128, 128, 128), // inactive caption
    RGB(212, 208, 200), // menu
    RGB(255, 255, 255), // window
    RGB(0, 0, 0),       // window frame
    RGB(0, 0, 0),       // menu text
    RGB(0, 0, 0),       // window text
    RGB(255, 255, 255), // caption text
    RGB(212, 208, 200), // active border
    RGB(212, 208, 200), // inactive border
    RGB(128, 128, 128), // application workspace
    RGB(10, 36, 106),   // highlight
    RGB(255, 255, 255), // highlight text
    RGB(212, 208, 200), // button face
    RGB(128, 128, 128), // button shadow
    RGB(128, 128, 128), // grey text
    RGB(0, 0, 0),       // button text
    RGB(212, 208, 200), // inactive caption text
    RGB(255, 255, 255), // button highlight
    RGB(64, 64, 64),    // 3D dark shadow
    RGB(212, 208, 200), // 3D light
};
const int kSysColorCount = (int)(sizeof kSysColors / sizeof kSysColors[0]);

Brush* toBrush(HBRUSH h)
{
    uintptr_t v = (uintptr_t)h;
    if (v >= 1 && v <= (uintptr_t)kSysColorCount)
        return static_cast<Brush*>(toObject(GetSysColorBrush((int)v - 1)));
    Object* o = toObject(h);
    return o && o->kind == Kind::Brush ? static_cast<Brush*>(o) : nullptr;
}

int clampCoord(long long v)
{
    return (int)std::max<long long>(INT_MIN / 4, std::min<long long>(INT_MAX / 4, v));
}

// Device rectangle of a logical one, normalised.
RECT toDevice(Dc* dc, int left, int top, int right, int bottom)
{
    RECT r = {clampCoord((long long)std::min(left, right) + dc->originX),
              clampCoord((long long)std::min(top, bottom) + dc->originY),
              clampCoord((long long)std::max(left, right) + dc->originX),
              clampCoord((long long)std::max(top, bottom) + dc->originY)};
    return r;
}

void fill(Dc* dc, Bitmap* bmp, const RECT& device, COLORREF color)
{
    for (const RECT& part : drawableParts(dc, bmp, device))
        for (int y = part.top; y < part.bottom; ++y)
            for (int x = part.left; x < part.right; ++x)
                bmp->put(x, y, color);
}

// A pen's pixel under the DC's binary raster operation.
void penPixel(Dc* dc, Bitmap* bmp, int x, int y, COLORREF color)
{
    if (!canDraw(dc, bmp, x, y))
        return;
    switch (dc->rop2) {
    case R2_NOP:
        return;
    case R2_BLACK:
        bmp->put(x, y, 0);
        return;
    case R2_WHITE:
        bmp->put(x, y, RGB(255, 255, 255));
        return;
    case R2_NOT:
        bmp->put(x, y, ~bmp->get(x, y) & 0x00FFFFFF);
        return;
    case R2_XORPEN:
        bmp->put(x, y, (bmp->get(x, y) ^ color) & 0x00FFFFFF);
        return;
    default:
        bmp->put(x, y, color);
        return;
    }
}

// A pen dot of the pen's width centred on device (x, y).
void penDot(Dc* dc, Bitmap* bmp, const Pen* pen, int x, int y)
{
    int w = std::max(1, pen->width);
    int x0 = x - (w - 1) / 2, y0 = y - (w - 1) / 2;
    for (int dy = 0; dy < w; ++dy)
        for (int dx = 0; dx < w; ++dx)
            penPixel(dc, bmp, x0 + dx, y0 + dy, pen->color);
}

// Bresenham from (x0, y0) towards (x1, y1), the end point left out.
void penLine(Dc* dc, Bitmap* bmp, int x0, int y0, int x1, int y1)
{
    const Pen* pen = dc->pen;
    if (pen->style == PS_NULL)
        return;
    long long dx = std::llabs((long long)x1 - x0), dy = -std::llabs((long long)y1 - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    long long err = dx + dy;
    long long steps = std::max(dx, -dy);
    // A line far longer than any bitmap is drawn over the part that can show.
    if (steps > 4 * 32768)
        steps = 4 * 32768;
    int x = x0, y = y0;
    for (long long i = 0; i < steps; ++i) {
        bool dotted = pen->style == PS_DOT || pen->style == PS_DASH;
        if (!dotted || (pen->style == PS_DOT ? (i % 2 == 0) : (i % 12 < 8)))
            penDot(dc, bmp, pen, x, y);
        long long e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

// The result of a ternary raster operation on pattern, source and
// destination colours, bit by bit.
COLORREF rop3(DWORD rop, COLORREF p, COLORREF s, COLORREF d)
{
    unsigned code = (rop >> 16) & 0xFF;
    COLORREF out = 0;
    for (int i = 0; i < 8; ++i) {
        if (!(code & (1u << i)))
            continue;
        COLORREF term = ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
        out |= term;
    }
    return out & 0x00FFFFFF;
}

bool usesSource(DWORD rop)
{
    unsigned code = (rop >> 16) & 0xFF;
    return ((code >> 2) & 0x33) != (code & 0x33);
}

} // namespace

// ---- System colours -----------------------------------------------------------
DWORD GetSysColor(int index)
{
    return index >= 0 && index < kSysColorCount ? kSysColors[index] : 0;
}

HBRUSH GetSysColorBrush(int index)
{
    static Brush* brushes[kSysColorCount];
    if (index < 0 || index >= kSysColorCount)
        return nullptr;
    if (!brushes[index]) {
        Brush* b = new Brush();
        b->color = kSysColors[index];
        b->stock = true;
        registerObject(b);
        brushes[index] = b;
    }
    return reinterpret_cast<HBRUSH>(static_cast<Object*>(brushes[index]));
}

// ---- Bitmaps, brushes, pens ---------------------------------------------------------
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height)
{
    Dc* dc = toDc(hdc);
    if (!dc || width < 0 || height < 0 || width > 32768 || height > 32768)
        return nullptr;
    int bpp = !dc->windowDc && dc->bitmap ? dc->bitmap->bpp : 32;
    Bitmap* bmp = new Bitmap();
    bmp->width = width;
    bmp->height = height;
    bmp->bpp = bpp;
    bmp->topDown = true;
    bmp->stride = (((size_t)width * bpp + 31) / 32) * 4;
    bmp->bits.assign(bmp->stride * height, 0);
    registerObject(bmp);
    return reinterpret_cast<HBITMAP>(static_cast<Object*>(bmp));
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    Brush* b = new Brush();
    b->color = color & 0x00FFFFFF;
    registerObject(b);
    return reinterpret_cast<HBRUSH>(static_cast<Object*>(b));
}

HPEN CreatePen(int style, int width, COLORREF color)
{
    if (style < PS_SOLID || style > PS_INSIDEFRAME)
        return nullptr;
    Pen* p = new Pen();
    p->style = style;
    p->width = std::max(1, std::min(width, 256));
    p->color = color & 0x00FFFFFF;
    registerObject(p);
    return reinterpret_cast<HPEN>(static_cast<Object*>(p));
}

// ---- Drawing ---------------------------------------------------------------------------
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color)
{
    Dc* dc = toDc(hdc);
    if (!dc)
        return CLR_INVALID;
    Bitmap* bmp = target(dc);
    long long dx = (long long)x + dc->originX, dy = (long long)y + dc->originY;
    if (!bmp || dx < 0 || dy < 0 || dx >= bmp->width || dy >= bmp->height || !canDraw(dc, bmp, (int)dx, (int)dy))
        return CLR_INVALID;
    bmp->put((int)dx, (int)dy, color & 0x00FFFFFF);
    return bmp->get((int)dx, (int)dy);
}

COLORREF GetPixel(HDC hdc, int x, int y)
{
    Dc* dc = toDc(hdc);
    if (!dc)
        return CLR_INVALID;
    Bitmap* bmp = target(dc);
    long long dx = (long long)x + dc->originX, dy = (long long)y + dc->originY;
    if (!bmp || dx < 0 || dy < 0 || dx >= bmp->width || dy >= bmp->height || !canDraw(dc, bmp, (int)dx, (int)dy))
        return CLR_INVALID;
    return bmp->get((int)dx, (int)dy);
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT previous)
{
    Dc* dc = toDc(hdc);
    if (!dc)
        return FALSE;
    if (previous)
        *previous = dc->position;
    dc->position = {x, y};
    return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y)
{
    Dc* dc = toDc(hdc);
    if (!dc)
        return FALSE;
    if (Bitmap* bmp = target(dc))
        penLine(dc, bmp, clampCoord((long long)dc->position.x + dc->originX),
                clampCoord((long long)dc->position.y + dc->originY), clampCoord((long long)x + dc->originX),
                clampCoord((long long)y + dc->originY));
    dc->position = {x, y};
    return TRUE;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom)
{
    Dc* dc = toDc(hdc);
    if (!dc)
        return FALSE;
    Bitmap* bmp = target(dc);
    if (!bmp)
        return TRUE;
    RECT r = toDevice(dc, left, top, right, bottom);
    if (r.right - r.left < 2 || r.bottom - r.top < 2)
        return TRUE;
    const Pen* pen = dc->pen;
    int inset = pen->style == PS_NULL ? 0 : 1;
    if (!dc->brush->hollow)
        fill(dc, bmp, {r.left + inset, r.top + inset, r.right - inset, r.bottom - inset}, dc->brush->color);
    if (pen->style != PS_NULL) {
        int l = r.left, t = r.top, rr = r.right - 1, b = r.bottom - 1;
        penLine(dc, bmp, l, t, rr, t);
        penLine(dc, bmp, rr, t, rr, b);
        penLine(dc, bmp, rr, b, l, b);
        penLine(dc, bmp, l, b, l, t);
    }
    return TRUE;
}

int SetROP2(HDC hdc, int mode)
{
    Dc* dc = toDc(hdc);
    if (!dc || mode < R2_BLACK || mode > R2_WHITE)
        return 0;
    int old = dc->rop2;
    dc->rop2 = mode;
    return old;
}

BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop)
{
    Dc* dc = toDc(hdc);
    if (!dc || usesSource(rop))
        return FALSE;
    Bitmap* bmp = target(dc);
    if (!bmp)
        return TRUE;
    COLORREF pattern = dc->brush->hollow ? 0 : dc->brush->color;
    RECT r = toDevice(dc, x, y, (int)std::min<long long>(INT_MAX, (long long)x + width),
                      (int)std::min<long long>(INT_MAX, (long long)y + height));
    for (const RECT& part : drawableParts(dc, bmp, r))
        for (int py = part.top; py < part.bottom; ++py)
            for (int px = part.left; px < part.right; ++px)
                bmp->put(px, py, rop3(rop, pattern, 0, bmp->get(px, py)));
    return TRUE;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int sx, int sy, DWORD rop)
{
    if (!usesSource(rop))
        return PatBlt(dest, x, y, width, height, rop);
    Dc* dd = toDc(dest);
    Dc* sd = toDc(src);
    if (!dd || !sd || width < 0 || height < 0)
        return FALSE;
    Bitmap* to = target(dd);
    Bitmap* from = target(sd);
    if (!to || !from)
        return TRUE;
    COLORREF pattern = dd->brush->hollow ? 0 : dd->brush->color;
    // Device offsets from destination to source.
    long long ox = (long long)sx + sd->originX - ((long long)x + dd->originX);
    long long oy = (long long)sy + sd->originY - ((long long)y + dd->originY);
    RECT r = toDevice(dd, x, y, (int)std::min<long long>(INT_MAX, (long long)x + width),
                      (int)std::min<long long>(INT_MAX, (long long)y + height));
    // A copy within one bitmap reads the source before it is written.
    Bitmap snapshot;
    if (from == to) {
        snapshot = *from;
        from = &snapshot;
    }
    for (const RECT& part : drawableParts(dd, to, r))
        for (int py = part.top; py < part.bottom; ++py)
            for (int px = part.left; px < part.right; ++px) {
                long long qx = px + ox, qy = py + oy;
                if (qx < 0 || qy < 0 || qx >= from->width || qy >= from->height)
                    continue;
                if (sd->limited && !contains(sd->visible, (int)qx, (int)qy))
                    continue;
                COLORREF s = from->get((int)qx, (int)qy);
                // Between depths: a 1-bit source gives the destination's
                // text colour for 0 and background colour for 1; a colour
                // source gives 1 on a 1-bit destination where it matches the
                // source's background colour.
                if (from->bpp == 1 && to->bpp != 1)
                    s = s ? dd->bkColor : dd->textColor;
                else if (from->bpp != 1 && to->bpp == 1)
                    s = s == sd->bkColor ? RGB(255, 255, 255) : 0;
                to->put(px, py, rop3(rop, pattern, s, to->get(px, py)));
            }
    return TRUE;
}

// ---- User-interface drawing ---------------------------------------------------------------
int FillRect(HDC hdc, const RECT* rect, HBRUSH brush)
{
    Dc* dc = toDc(hdc);
    Brush* b = toBrush(brush);
    if (!dc || !rect || !b)
        return 0;
    Bitmap* bmp = target(dc);
    if (!bmp || b->hollow || rect->right <= rect->left || rect->bottom <= rect->top)
        return 1;
    fill(dc, bmp, toDevice(dc, rect->left, rect->top, rect->right, rect->bottom), b->color);
    return 1;
}

int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush)
{
    Dc* dc = toDc(hdc);
    Brush* b = toBrush(brush);
    if (!dc || !rect || !b)
        return 0;
    Bitmap* bmp = target(dc);
    if (!bmp || b->hollow || rect->right <= rect->left || rect->bottom <= rect->top)
        return 1;
    RECT r = toDevice(dc, rect->left, rect->top, rect->right, rect->bottom);
    fill(dc, bmp, {r.left, r.top, r.right, r.top + 1}, b->color);
    fill(dc, bmp, {r.left, r.bottom - 1, r.right, r.bottom}, b->color);
    fill(dc, bmp, {r.left, r.top, r.left + 1, r.bottom}, b->color);
    fill(dc, bmp, {r.right - 1, r.top, r.right, r.bottom}, b->color);
    return 1;
}

BOOL DrawFocusRect(HDC hdc, const RECT* rect)
{
    Dc* dc = toDc(hdc);
    if (!dc || !rect)
        return FALSE;
    Bitmap* bmp = target(dc);
    if (!bmp)
        return TRUE;
    RECT r = toDevice(dc, rect->left, rect->top, rect->right, rect->bottom);
    auto invert = [dc, bmp](int x, int y) {
        if (canDraw(dc, bmp, x, y))
            bmp->put(x, y, ~bmp->get(x, y) & 0x00FFFFFF);
    };
    for (int x = r.left; x < r.right; x += 2) {
        invert(x, r.top);
        if (r.bottom - 1 > r.top)
            invert(x, r.bottom - 1);
    }
    for (int y = r.top + 2; y < r.bottom - 1; y += 2) {
        invert(r.left, y);
        if (r.right - 1 > r.left)
            invert(r.right - 1, y);
    }
    return TRUE;
}
