// Layer-internal: GDI objects and device contexts, shared by the GDI files.
// The window layer sees only gdi_window.h. The system never includes this
// header.
#pragma once

#include "gdi_window.h"
#include "wingdi.h"

#include <vector>

namespace gdi {

enum class Kind { Bitmap, Font, Brush, Pen, Region, Palette };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    Kind kind;
    int selected = 0; // number of device contexts holding it
    bool stock = false;
};

struct Bitmap : Object {
    Bitmap() : Object(Kind::Bitmap) {}
    int width = 0, height = 0, bpp = 1;
    bool topDown = false;
    bool section = false; // made by CreateDIBSection: its pixels are the caller's too
    size_t stride = 0;
    std::vector<BYTE> bits;

    BYTE* row(int y) { return bits.data() + stride * (size_t)(topDown ? y : height - 1 - y); }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    // 1-bit pixels read black (0) or white (1); writing picks the nearer.
    COLORREF get(int x, int y);
    void put(int x, int y, COLORREF color);
    // colour over the pixel with coverage 0..255.
    void blend(int x, int y, COLORREF color, int coverage);
};

struct Font;

struct Brush : Object {
    Brush() : Object(Kind::Brush) {}
    COLORREF color = 0;
    bool hollow = false;
};

struct Pen : Object {
    Pen() : Object(Kind::Pen) {}
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
};

// Rectangles in y-x bands: sorted by top then left, the rectangles of one
// band share top and bottom, and none overlap or touch within a band.
struct Region : Object {
    Region() : Object(Kind::Region) {}
    std::vector<RECT> rects;
};

struct Palette : Object {
    Palette() : Object(Kind::Palette) {}
};

struct Dc {
    Bitmap* bitmap = nullptr;  // selected bitmap (memory DCs)
    Bitmap* surface = nullptr; // a window's drawing surface (window DCs)
    bool windowDc = false;
    Font* font = nullptr;
    Brush* brush = nullptr;
    Pen* pen = nullptr;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    int rop2 = R2_COPYPEN;
    UINT align = TA_LEFT | TA_TOP;
    int mapMode = MM_TEXT;
    POINT position = {0, 0};
    // Device coordinates of the logical origin, and the device area output
    // may touch (window DCs); without `limited` the whole target.
    int originX = 0, originY = 0;
    bool limited = false;
    std::vector<RECT> visible;
};

Dc* toDc(HDC hdc);
Object* toObject(HGDIOBJ h);
void registerObject(Object* o);

// The bitmap output goes to, null when there is nothing to draw into.
Bitmap* target(Dc* dc);
// Whether device pixel (x, y) may be drawn.
bool canDraw(Dc* dc, Bitmap* bmp, int x, int y);
// The parts of device rectangle r that may be drawn, each clipped to the target.
std::vector<RECT> drawableParts(Dc* dc, Bitmap* bmp, const RECT& r);

// Region arithmetic on banded rectangle lists.
std::vector<RECT> combine(const std::vector<RECT>& a, const std::vector<RECT>& b, int mode);
std::vector<RECT> normalise(const std::vector<RECT>& any);
bool contains(const std::vector<RECT>& banded, int x, int y);

// The stock objects the device context starts with.
Brush* stockBrush(int index);
Pen* stockPen(int index);
Font* defaultFont();

} // namespace gdi
