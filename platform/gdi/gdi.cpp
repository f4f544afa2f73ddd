// GDI stock objects, memory device contexts, DIB sections and text over
// FreeType.
#include "gdi_internal.h"
#include "windows.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <strings.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace gdi {

struct Glyph {
    int advance = 0;
    int left = 0, top = 0; // bitmap offset from the pen on the baseline
    int width = 0, rows = 0;
    std::vector<BYTE> coverage; // width * rows, 0..255
};

struct Font : Object {
    Font() : Object(Kind::Font) {}
    ~Font() override
    {
        if (face)
            FT_Done_Face(face);
    }
    FT_Face face = nullptr;
    int ascent = 0, descent = 0;
    LONG weight = FW_NORMAL;
    bool italic = false, antialias = true, emboldening = false, slanting = false;
    std::unordered_map<uint32_t, Glyph> glyphs;
    LONG avgWidth = 0, maxWidth = 0;
};

} // namespace gdi

using namespace gdi;

namespace {

std::set<Object*> g_objects;
std::set<Dc*> g_dcs;
FT_Library g_ft = nullptr;
std::set<std::string> g_reportedFaces;

// Unicode code points of code page 1252's bytes 0x80 to 0x9F; the five
// unassigned ones map to the same C1 code, as Windows converts them.
const uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t cp1252ToUnicode(unsigned char c)
{
    return (c >= 0x80 && c <= 0x9F) ? kCp1252High[c - 0x80] : c;
}

// Families with the same metrics as the Windows faces they stand for.
const char* const kMetricAliases[][2] = {
    {"Arial", "Liberation Sans"},
    {"Helvetica", "Liberation Sans"},
    {"Arial Narrow", "Liberation Sans Narrow"},
    {"Times New Roman", "Liberation Serif"},
    {"Times", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
    {"Courier", "Liberation Mono"},
};

bool familyServes(const char* requested, const char* matched)
{
    if (strcasecmp(requested, matched) == 0)
        return true;
    for (const auto& alias : kMetricAliases)
        if (strcasecmp(requested, alias[0]) == 0 && strcasecmp(matched, alias[1]) == 0)
            return true;
    return false;
}

bool ensureFreeType()
{
    if (g_ft)
        return true;
    return FT_Init_FreeType(&g_ft) == 0;
}

Bitmap* stockBitmap()
{
    static Bitmap* bmp = [] {
        Bitmap* b = new Bitmap();
        b->width = b->height = 1;
        b->bpp = 1;
        b->stride = 4;
        b->bits.assign(4, 0);
        b->stock = true;
        g_objects.insert(b);
        return b;
    }();
    return bmp;
}

Font* createFont(const LOGFONTA& lf, bool stock);

Font* stockFont()
{
    return static_cast<Font*>(toObject(GetStockObject(SYSTEM_FONT)));
}

// Finds the font file for a face, weight and slant through fontconfig.
bool matchFontFile(const char* family, LONG weight, bool italic, std::string& file, int& index,
                   std::string& matchedFamily, int& matchedWeight, int& matchedSlant)
{
    if (!FcInit())
        return false;
    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pat, FC_WEIGHT, FcWeightFromOpenType(weight > 0 ? (int)weight : FW_NORMAL));
    FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pat, &result);
    FcPatternDestroy(pat);
    if (!match)
        return false;
    FcChar8* path = nullptr;
    FcChar8* fam = nullptr;
    bool ok = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path;
    if (ok) {
        file = reinterpret_cast<const char*>(path);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch)
            index = 0;
        matchedFamily = FcPatternGetString(match, FC_FAMILY, 0, &fam) == FcResultMatch && fam
                            ? reinterpret_cast<const char*>(fam)
                            : "";
        if (FcPatternGetInteger(match, FC_WEIGHT, 0, &matchedWeight) != FcResultMatch)
            matchedWeight = FC_WEIGHT_REGULAR;
        if (FcPatternGetInteger(match, FC_SLANT, 0, &matchedSlant) != FcResultMatch)
            matchedSlant = FC_SLANT_ROMAN;
    }
    FcPatternDestroy(match);
    return ok;
}

Font* createFont(const LOGFONTA& lf, bool stock)
{
    if (!ensureFreeType())
        return nullptr;
    char requested[LF_FACESIZE + 1] = {};
    std::memcpy(requested, lf.lfFaceName, LF_FACESIZE);
    const char* family = requested[0] ? requested : "sans-serif";
    LONG weight = lf.lfWeight > 0 ? lf.lfWeight : FW_NORMAL;
    bool italic = lf.lfItalic != 0;

    std::string file, matchedFamily;
    int index = 0, matchedWeight = 0, matchedSlant = 0;
    if (!matchFontFile(family, weight, italic, file, index, matchedFamily, matchedWeight, matchedSlant)) {
        std::fprintf(stderr, "gdi: no font found for face \"%s\"\n", family);
        return nullptr;
    }
    if (requested[0] && !stock && !familyServes(requested, matchedFamily.c_str()) && g_reportedFaces.insert(requested).second)
        std::fprintf(stderr, "gdi: font face \"%s\" is not installed; using \"%s\"\n", requested,
                     matchedFamily.c_str());

    FT_Face face = nullptr;
    if (FT_New_Face(g_ft, file.c_str(), index, &face) != 0 || !face) {
        std::fprintf(stderr, "gdi: cannot load font file \"%s\"\n", file.c_str());
        return nullptr;
    }
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);

    double units = face->units_per_EM ? face->units_per_EM : 2048;
    double ascU = face->ascender, descU = -face->descender;
    if (const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
        if (os2->usWinAscent + os2->usWinDescent > 0) {
            ascU = os2->usWinAscent;
            descU = os2->usWinDescent;
        }
    }
    if (ascU + descU <= 0) {
        ascU = units * 0.9;
        descU = units * 0.2;
    }
    // Negative heights give the em size, positive ones the cell height.
    LONG h = lf.lfHeight;
    double em;
    if (h < 0)
        em = -(double)h;
    else if (h > 0)
        em = h * units / (ascU + descU);
    else
        em = 16.0;
    em = std::min(em, 4096.0);
    if (FT_Set_Char_Size(face, 0, (FT_F26Dot6)std::lround(em * 64.0), 72, 72) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }

    Font* font = new Font();
    font->face = face;
    font->weight = weight;
    font->italic = italic;
    font->antialias = lf.lfQuality != NONANTIALIASED_QUALITY;
    font->ascent = (int)std::lround(ascU * em / units);
    font->descent = (int)std::lround(descU * em / units);
    if (h > 0)
        font->descent = std::max(0, (int)h - font->ascent);
    font->emboldening = weight >= FW_SEMIBOLD && matchedWeight < FC_WEIGHT_DEMIBOLD;
    font->slanting = italic && matchedSlant == FC_SLANT_ROMAN;
    font->stock = stock;
    g_objects.insert(font);
    return font;
}

const Glyph& glyphFor(Font* font, unsigned char c)
{
    uint32_t cp = cp1252ToUnicode(c);
    auto it = font->glyphs.find(cp);
    if (it != font->glyphs.end())
        return it->second;
    Glyph& g = font->glyphs[cp];
    FT_Face face = font->face;
    FT_UInt index = FT_Get_Char_Index(face, cp);
    FT_Int32 flags = FT_LOAD_DEFAULT | (font->antialias ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO);
    if (FT_Load_Glyph(face, index, flags) != 0)
        return g;
    FT_GlyphSlot slot = face->glyph;
    if (font->emboldening)
        FT_GlyphSlot_Embolden(slot);
    if (font->slanting)
        FT_GlyphSlot_Oblique(slot);
    g.advance = (int)((slot->advance.x + 32) >> 6);
    if (FT_Render_Glyph(slot, font->antialias ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0)
        return g;
    const FT_Bitmap& bm = slot->bitmap;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = (int)bm.width;
    g.rows = (int)bm.rows;
    g.coverage.assign((size_t)g.width * g.rows, 0);
    for (int y = 0; y < g.rows; ++y) {
        const unsigned char* src = bm.buffer + (ptrdiff_t)y * bm.pitch;
        for (int x = 0; x < g.width; ++x) {
            BYTE v;
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                v = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY && bm.num_grays > 1)
                v = (BYTE)(src[x] * 255 / (bm.num_grays - 1));
            else
                v = src[x];
            g.coverage[(size_t)y * g.width + x] = v;
        }
    }
    return g;
}

Font* currentFont(Dc* dc)
{
    return dc->font ? dc->font : stockFont();
}

struct TextLayout {
    std::vector<int> advances;
    long long width = 0;
};

TextLayout layOut(Font* font, LPCSTR text, UINT count, const INT* dx)
{
    TextLayout t;
    t.advances.resize(count);
    for (UINT i = 0; i < count; ++i) {
        t.advances[i] = dx ? dx[i] : glyphFor(font, (unsigned char)text[i]).advance;
        t.width += t.advances[i];
    }
    return t;
}

// Glyphs with the pen's top-left corner at device (left, top), inside the
// device rectangle `clip` and what the device context may touch.
void drawGlyphs(Dc* dc, Bitmap* bmp, Font* font, LPCSTR text, const std::vector<int>& advances, long long left,
                long long top, const RECT& clip)
{
    long long pen = left;
    long long baseline = top + font->ascent;
    for (size_t i = 0; i < advances.size(); ++i) {
        const Glyph& g = glyphFor(font, (unsigned char)text[i]);
        long long gx = pen + g.left, gy = baseline - g.top;
        for (int row = 0; row < g.rows; ++row) {
            long long py = gy + row;
            if (py < clip.top || py >= clip.bottom)
                continue;
            for (int col = 0; col < g.width; ++col) {
                long long px = gx + col;
                if (px < clip.left || px >= clip.right)
                    continue;
                int cov = g.coverage[(size_t)row * g.width + col];
                if (cov && canDraw(dc, bmp, (int)px, (int)py))
                    bmp->blend((int)px, (int)py, dc->textColor, cov);
            }
        }
        pen += advances[i];
    }
}

void fillDevice(Dc* dc, Bitmap* bmp, const RECT& r, COLORREF color)
{
    for (const RECT& part : drawableParts(dc, bmp, r))
        for (int y = part.top; y < part.bottom; ++y)
            for (int x = part.left; x < part.right; ++x)
                bmp->put(x, y, color);
}

int clampInt(long long v)
{
    return (int)std::max<long long>(INT_MIN / 2, std::min<long long>(INT_MAX / 2, v));
}

} // namespace

// ---- Shared helpers -----------------------------------------------------------
namespace gdi {

Dc* toDc(HDC hdc)
{
    Dc* dc = reinterpret_cast<Dc*>(hdc);
    return (dc && g_dcs.count(dc)) ? dc : nullptr;
}

Object* toObject(HGDIOBJ h)
{
    Object* o = static_cast<Object*>(h);
    return (o && g_objects.count(o)) ? o : nullptr;
}

void registerObject(Object* o)
{
    g_objects.insert(o);
}

Font* defaultFont()
{
    return stockFont();
}

Font* createStockFont(int index)
{
    LOGFONTA lf = {};
    switch (index) {
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case SYSTEM_FIXED_FONT:
        lf.lfHeight = -13;
        lf.lfWeight = FW_NORMAL;
        std::strcpy(lf.lfFaceName, "monospace");
        break;
    case ANSI_VAR_FONT:
    case DEFAULT_GUI_FONT:
        lf.lfHeight = -11;
        lf.lfWeight = FW_NORMAL;
        std::strcpy(lf.lfFaceName, "sans-serif");
        break;
    default: // SYSTEM_FONT, DEVICE_DEFAULT_FONT
        lf.lfHeight = -16;
        lf.lfWeight = FW_BOLD;
        std::strcpy(lf.lfFaceName, "sans-serif");
        break;
    }
    return createFont(lf, true);
}

Bitmap* target(Dc* dc)
{
    Bitmap* bmp = dc->windowDc ? dc->surface : dc->bitmap;
    return bmp && (bmp->bpp == 1 || bmp->bpp == 24 || bmp->bpp == 32) && bmp->width > 0 ? bmp : nullptr;
}

bool canDraw(Dc* dc, Bitmap* bmp, int x, int y)
{
    if (!bmp->contains(x, y))
        return false;
    return !dc->limited || contains(dc->visible, x, y);
}

std::vector<RECT> drawableParts(Dc* dc, Bitmap* bmp, const RECT& r)
{
    RECT box = {std::max<LONG>(r.left, 0), std::max<LONG>(r.top, 0), std::min<LONG>(r.right, bmp->width),
                std::min<LONG>(r.bottom, bmp->height)};
    std::vector<RECT> out;
    if (box.left >= box.right || box.top >= box.bottom)
        return out;
    if (!dc->limited) {
        out.push_back(box);
        return out;
    }
    return combine(dc->visible, std::vector<RECT>{box}, RGN_AND);
}

COLORREF Bitmap::get(int x, int y)
{
    if (bpp == 1)
        return (row(y)[x >> 3] & (0x80 >> (x & 7))) ? RGB(255, 255, 255) : RGB(0, 0, 0);
    const BYTE* p = row(y) + (size_t)x * (bpp / 8);
    return RGB(p[2], p[1], p[0]);
}

void Bitmap::put(int x, int y, COLORREF color)
{
    if (bpp == 1) {
        BYTE& b = row(y)[x >> 3];
        bool white = GetRValue(color) + GetGValue(color) + GetBValue(color) >= 384;
        b = white ? (BYTE)(b | (0x80 >> (x & 7))) : (BYTE)(b & ~(0x80 >> (x & 7)));
        return;
    }
    BYTE* p = row(y) + (size_t)x * (bpp / 8);
    p[0] = GetBValue(color);
    p[1] = GetGValue(color);
    p[2] = GetRValue(color);
    if (bpp == 32)
        p[3] = 0; // GDI clears the fourth byte
}

void Bitmap::blend(int x, int y, COLORREF color, int coverage)
{
    if (coverage >= 255 || bpp == 1) {
        if (coverage >= 128)
            put(x, y, color);
        return;
    }
    COLORREF under = get(x, y);
    auto mix = [coverage](int a, int b) { return (BYTE)((a * (255 - coverage) + b * coverage + 127) / 255); };
    put(x, y, RGB(mix(GetRValue(under), GetRValue(color)), mix(GetGValue(under), GetGValue(color)),
                  mix(GetBValue(under), GetBValue(color))));
}

} // namespace gdi

// ---- Stock objects ------------------------------------------------------------
namespace {

const int kStockCount = 20;
Object* g_stock[kStockCount];

Object* makeStock(int index)
{
    Object* o = nullptr;
    switch (index) {
    case WHITE_BRUSH:
    case LTGRAY_BRUSH:
    case GRAY_BRUSH:
    case DKGRAY_BRUSH:
    case BLACK_BRUSH:
    case NULL_BRUSH: {
        static const COLORREF colours[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                                           RGB(64, 64, 64), RGB(0, 0, 0), 0};
        Brush* b = new Brush();
        b->color = colours[index];
        b->hollow = index == NULL_BRUSH;
        o = b;
        break;
    }
    case WHITE_PEN:
    case BLACK_PEN:
    case NULL_PEN: {
        Pen* p = new Pen();
        p->color = index == WHITE_PEN ? RGB(255, 255, 255) : RGB(0, 0, 0);
        p->style = index == NULL_PEN ? PS_NULL : PS_SOLID;
        o = p;
        break;
    }
    case DEFAULT_PALETTE:
        o = new Palette();
        break;
    default:
        break;
    }
    if (o) {
        o->stock = true;
        registerObject(o);
    }
    return o;
}

} // namespace

HGDIOBJ GetStockObject(int index)
{
    if (index < 0 || index >= kStockCount)
        return nullptr;
    if (!g_stock[index]) {
        if (index >= OEM_FIXED_FONT && index <= DEFAULT_GUI_FONT && index != DEFAULT_PALETTE)
            g_stock[index] = reinterpret_cast<Object*>(createStockFont(index));
        else
            g_stock[index] = makeStock(index);
    }
    return g_stock[index];
}

int PlatformStockObjectIndex(HGDIOBJ object)
{
    if (!object)
        return -1;
    for (int i = 0; i < kStockCount; ++i)
        if (g_stock[i] == object)
            return i;
    return -1;
}

namespace gdi {

Brush* stockBrush(int index)
{
    return static_cast<Brush*>(toObject(GetStockObject(index)));
}

Pen* stockPen(int index)
{
    return static_cast<Pen*>(toObject(GetStockObject(index)));
}

} // namespace gdi

// ---- Device contexts ------------------------------------------------------------
int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    long long p = (long long)a * b;
    long long half = c > 0 ? c / 2 : -(c / 2);
    long long r = ((p < 0) != (c < 0)) ? (p - (c > 0 ? half : -half)) / c : (p + (c > 0 ? half : -half)) / c;
    if (r > INT_MAX || r < INT_MIN)
        return -1;
    return (int)r;
}

namespace {

Dc* newDc()
{
    Dc* dc = new Dc();
    dc->brush = stockBrush(WHITE_BRUSH);
    dc->pen = stockPen(BLACK_PEN);
    ++dc->brush->selected;
    ++dc->pen->selected;
    g_dcs.insert(dc);
    return dc;
}

void releaseSelections(Dc* dc)
{
    for (Object* o : std::initializer_list<Object*>{dc->bitmap, dc->font, dc->brush, dc->pen})
        if (o)
            --o->selected;
    if (dc->surface)
        --dc->surface->selected;
}

} // namespace

HDC CreateCompatibleDC(HDC hdc)
{
    if (hdc && !toDc(hdc))
        return nullptr;
    Dc* dc = newDc();
    dc->bitmap = stockBitmap();
    ++dc->bitmap->selected;
    return reinterpret_cast<HDC>(dc);
}

BOOL DeleteDC(HDC hdc)
{
    Dc* dc = toDc(hdc);
    if (!dc)
        return FALSE;
    releaseSelections(dc);
    g_dcs.erase(dc);
    delete dc;
    return TRUE;
}

int GetDeviceCaps(HDC hdc, int index)
{
    Dc* dc = toDc(hdc);
    Bitmap* bmp = dc ? (dc->windowDc ? dc->surface : dc->bitmap) : nullptr;
    switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    case BITSPIXEL:
        return bmp && !dc->windowDc ? bmp->bpp : 32;
    case PLANES:
        return 1;
    case HORZRES:
        return bmp ? bmp->width : 0;
    case VERTRES:
        return bmp ? bmp->height : 0;
    default:
        return 0;
    }
}

int SetMapMode(HDC hdc, int mode)
{
    Dc* dc = toDc(hdc);
    if (!dc || mode != MM_TEXT)
        return 0;
    int old = dc->mapMode;
    dc->mapMode = mode;
    return old;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD)
{
    if (bits)
        *bits = nullptr;
    if (!info || usage != DIB_RGB_COLORS || section)
        return nullptr;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || (h.biBitCount != 24 && h.biBitCount != 32) ||
        (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && h.biBitCount == 32)))
        return nullptr;
    if (h.biCompression == BI_BITFIELDS) {
        // Only the layout text is drawn in: blue, green, red in the low bytes.
        DWORD masks[3];
        std::memcpy(masks, reinterpret_cast<const BYTE*>(info) + sizeof(BITMAPINFOHEADER), sizeof(masks));
        if (masks[0] != 0x00FF0000 || masks[1] != 0x0000FF00 || masks[2] != 0x000000FF)
            return nullptr;
    }
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == LONG_MIN || h.biWidth > 32768 ||
        std::labs(h.biHeight) > 32768)
        return nullptr;
    Bitmap* bmp = new Bitmap();
    bmp->width = h.biWidth;
    bmp->height = (int)std::labs(h.biHeight);
    bmp->topDown = h.biHeight < 0;
    bmp->bpp = h.biBitCount;
    bmp->section = true;
    bmp->stride = (((size_t)bmp->width * bmp->bpp + 31) / 32) * 4;
    bmp->bits.assign(bmp->stride * bmp->height, 0);
    g_objects.insert(bmp);
    if (bits)
        *bits = bmp->bits.data();
    return reinterpret_cast<HBITMAP>(static_cast<Object*>(bmp));
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                  DWORD quality, DWORD pitchAndFamily, LPCSTR faceName)
{
    LOGFONTA lf = {};
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = (BYTE)(italic != 0);
    lf.lfUnderline = (BYTE)(underline != 0);
    lf.lfStrikeOut = (BYTE)(strikeOut != 0);
    lf.lfCharSet = (BYTE)charSet;
    lf.lfOutPrecision = (BYTE)outPrecision;
    lf.lfClipPrecision = (BYTE)clipPrecision;
    lf.lfQuality = (BYTE)quality;
    lf.lfPitchAndFamily = (BYTE)pitchAndFamily;
    if (faceName) {
        std::strncpy(lf.lfFaceName, faceName, LF_FACESIZE - 1);
        lf.lfFaceName[LF_FACESIZE - 1] = 0;
    }
    return CreateFontIndirectA(&lf);
}

HFONT CreateFontIndirectA(const LOGFONTA* logFont)
{
    if (!logFont)
        return nullptr;
    Font* font = createFont(*logFont, false);
    return font ? reinterpret_cast<HFONT>(static_cast<Object*>(font)) : nullptr;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object)
{
    Dc* dc = toDc(hdc);
    Object* obj = toObject(object);
    if (!dc || !obj)
        return nullptr;
    switch (obj->kind) {
    case Kind::Bitmap: {
        Bitmap* bmp = static_cast<Bitmap*>(obj);
        // Only memory DCs take bitmaps, and a bitmap one DC at a time.
        if (dc->windowDc || (bmp->selected > 0 && dc->bitmap != bmp && !bmp->stock))
            return nullptr;
        Bitmap* old = dc->bitmap;
        if (old)
            --old->selected;
        ++bmp->selected;
        dc->bitmap = bmp;
        return static_cast<Object*>(old);
    }
    case Kind::Font: {
        Font* font = static_cast<Font*>(obj);
        Font* old = dc->font ? dc->font : stockFont();
        if (dc->font)
            --dc->font->selected;
        ++font->selected;
        dc->font = font;
        return static_cast<Object*>(old);
    }
    case Kind::Brush: {
        Brush* old = dc->brush;
        --old->selected;
        dc->brush = static_cast<Brush*>(obj);
        ++dc->brush->selected;
        return static_cast<Object*>(old);
    }
    case Kind::Pen: {
        Pen* old = dc->pen;
        --old->selected;
        dc->pen = static_cast<Pen*>(obj);
        ++dc->pen->selected;
        return static_cast<Object*>(old);
    }
    default:
        return nullptr;
    }
}

BOOL DeleteObject(HGDIOBJ object)
{
    Object* obj = toObject(object);
    if (!obj)
        return FALSE;
    if (obj->stock)
        return TRUE;
    if (obj->selected > 0)
        return FALSE;
    g_objects.erase(obj);
    delete obj;
    return TRUE;
}

COLORREF SetTextColor(HDC hdc, COLORREF color)
{
    Dc* dc = toDc(hdc);
    if (!dc)
        return CLR_INVALID;
    COLORREF old = dc->textColor;
    dc->textColor = color & 0x00FFFFFF;
    return old;
}

COLORREF GetTextColor(HDC hdc)
{
    Dc* dc = toDc(hdc);
    return dc ? dc->textColor : CLR_INVALID;
}

COLORREF SetBkColor(HDC hdc, COLORREF color)
{
    Dc* dc = toDc(hdc);
    if (!dc)
        return CLR_INVALID;
    COLORREF old = dc->bkColor;
    dc->bkColor = color & 0x00FFFFFF;
    return old;
}

COLORREF GetBkColor(HDC hdc)
{
    Dc* dc = toDc(hdc);
    return dc ? dc->bkColor : CLR_INVALID;
}

int SetBkMode(HDC hdc, int mode)
{
    Dc* dc = toDc(hdc);
    if (!dc || (mode != OPAQUE && mode != TRANSPARENT))
        return 0;
    int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

int GetBkMode(HDC hdc)
{
    Dc* dc = toDc(hdc);
    return dc ? dc->bkMode : 0;
}

UINT SetTextAlign(HDC hdc, UINT align)
{
    Dc* dc = toDc(hdc);
    if (!dc)
        return GDI_ERROR;
    UINT old = dc->align;
    dc->align = align;
    return old;
}

UINT GetTextAlign(HDC hdc)
{
    Dc* dc = toDc(hdc);
    return dc ? dc->align : GDI_ERROR;
}

BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR text, int count, LPSIZE size)
{
    Dc* dc = toDc(hdc);
    if (!dc || !size || count < 0 || (!text && count > 0))
        return FALSE;
    Font* font = currentFont(dc);
    if (!font)
        return FALSE;
    LONG cx = 0;
    for (int i = 0; i < count; ++i)
        cx += glyphFor(font, (unsigned char)text[i]).advance;
    size->cx = cx;
    size->cy = font->ascent + font->descent;
    return TRUE;
}

BOOL GetTextMetricsA(HDC hdc, LPTEXTMETRICA tm)
{
    Dc* dc = toDc(hdc);
    if (!dc || !tm)
        return FALSE;
    Font* font = currentFont(dc);
    if (!font)
        return FALSE;
    std::memset(tm, 0, sizeof(*tm));
    tm->tmHeight = font->ascent + font->descent;
    tm->tmAscent = font->ascent;
    tm->tmDescent = font->descent;
    LONG em = (LONG)std::lround(font->face->size->metrics.y_ppem);
    tm->tmInternalLeading = std::max(0L, (long)(tm->tmHeight - em));
    tm->tmAveCharWidth = glyphFor(font, 'x').advance;
    LONG maxWidth = 0;
    for (int c = 32; c < 256; ++c)
        maxWidth = std::max<LONG>(maxWidth, glyphFor(font, (unsigned char)c).advance);
    tm->tmMaxCharWidth = maxWidth;
    tm->tmWeight = font->weight;
    tm->tmDigitizedAspectX = tm->tmDigitizedAspectY = 96;
    tm->tmFirstChar = 32;
    tm->tmLastChar = 255;
    tm->tmDefaultChar = 31;
    tm->tmBreakChar = 32;
    tm->tmItalic = font->italic ? 1 : 0;
    tm->tmPitchAndFamily = VARIABLE_PITCH | 0x04; // TMPF_TRUETYPE
    tm->tmCharSet = ANSI_CHARSET;
    return TRUE;
}

BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count, const INT* dx)
{
    Dc* dc = toDc(hdc);
    if (!dc || (!text && count > 0) || count > (UINT)INT_MAX)
        return FALSE;
    Font* font = currentFont(dc);
    if (!font)
        return FALSE;
    Bitmap* bmp = target(dc);
    if (!bmp)
        return TRUE; // nothing to draw into

    // Device coordinates from here on.
    x += dc->originX;
    y += dc->originY;
    RECT clip = {0, 0, bmp->width, bmp->height};
    if (rect) {
        RECT box = {std::min(rect->left, rect->right) + dc->originX, std::min(rect->top, rect->bottom) + dc->originY,
                    std::max(rect->left, rect->right) + dc->originX,
                    std::max(rect->top, rect->bottom) + dc->originY};
        if (options & ETO_CLIPPED)
            clip = {std::max(clip.left, box.left), std::max(clip.top, box.top), std::min(clip.right, box.right),
                    std::min(clip.bottom, box.bottom)};
        if (options & ETO_OPAQUE)
            fillDevice(dc, bmp, box, dc->bkColor);
    }

    TextLayout layout = layOut(font, text, count, dx);
    int height = font->ascent + font->descent;
    long long left = x, top = y;
    switch (dc->align & TA_CENTER) {
    case TA_RIGHT:
        left = x - layout.width;
        break;
    case TA_CENTER:
        left = x - layout.width / 2;
        break;
    default:
        break;
    }
    switch (dc->align & TA_BASELINE) {
    case TA_BOTTOM:
        top = (long long)y - height;
        break;
    case TA_BASELINE:
        top = (long long)y - font->ascent;
        break;
    default:
        break;
    }
    if (clip.left >= clip.right || clip.top >= clip.bottom)
        return TRUE;
    if (dc->bkMode == OPAQUE && count > 0) {
        RECT cell = {clampInt(std::max<long long>(left, clip.left)), clampInt(std::max<long long>(top, clip.top)),
                     clampInt(std::min<long long>(left + layout.width, clip.right)),
                     clampInt(std::min<long long>(top + height, clip.bottom))};
        fillDevice(dc, bmp, cell, dc->bkColor);
    }
    drawGlyphs(dc, bmp, font, text, layout.advances, left, top, clip);
    return TRUE;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int count)
{
    if (count < 0)
        return FALSE;
    return ExtTextOutA(hdc, x, y, 0, nullptr, text, (UINT)count, nullptr);
}

BOOL GdiFlush()
{
    return TRUE;
}

// ---- DrawText -------------------------------------------------------------------
namespace {

// One line of DrawText: its characters, and the index of the one a single
// "&" underlines (-1 for none).
struct TextLine {
    std::string text;
    int underline = -1;
};

TextLine stripPrefix(const std::string& s, bool prefix)
{
    TextLine line;
    if (!prefix) {
        line.text = s;
        return line;
    }
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&' && i + 1 < s.size()) {
            ++i;
            if (s[i] != '&')
                line.underline = (int)line.text.size();
        } else if (s[i] == '&') {
            continue; // a lone "&" at the end draws nothing
        }
        line.text += s[i];
    }
    return line;
}

long long widthOf(Font* font, const std::string& s)
{
    long long w = 0;
    for (unsigned char c : s)
        w += glyphFor(font, c).advance;
    return w;
}

// Lines at the line breaks; with DT_WORDBREAK long lines also break between
// words to fit `width`.
std::vector<std::string> splitLines(Font* font, const std::string& text, UINT format, long long width)
{
    std::vector<std::string> raw;
    if (format & DT_SINGLELINE) {
        raw.push_back(text);
    } else {
        std::string cur;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' || text[i] == '\n') {
                raw.push_back(cur);
                cur.clear();
                if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                    ++i;
            } else {
                cur += text[i];
            }
        }
        raw.push_back(cur);
    }
    if (!(format & DT_WORDBREAK) || (format & DT_SINGLELINE))
        return raw;
    std::vector<std::string> out;
    for (const std::string& line : raw) {
        std::string cur;
        size_t i = 0;
        while (i < line.size()) {
            size_t end = line.find(' ', i);
            std::string word = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
            std::string tried = cur.empty() ? word : cur + " " + word;
            if (!cur.empty() && widthOf(font, tried) > width) {
                out.push_back(cur);
                cur = word;
            } else {
                cur = tried;
            }
            i = end == std::string::npos ? line.size() : end + 1;
        }
        out.push_back(cur);
    }
    return out;
}

} // namespace

int DrawTextA(HDC hdc, LPCSTR text, int count, LPRECT rect, UINT format)
{
    Dc* dc = toDc(hdc);
    if (!dc || !rect || (!text && count != 0))
        return 0;
    Font* font = currentFont(dc);
    if (!font)
        return 0;
    std::string s = count < 0 ? std::string(text) : std::string(text, (size_t)count);
    int lineHeight = font->ascent + font->descent;
    std::vector<std::string> lines = splitLines(font, s, format, (long long)rect->right - rect->left);
    std::vector<TextLine> shown;
    long long widest = 0;
    for (const std::string& l : lines) {
        shown.push_back(stripPrefix(l, !(format & DT_NOPREFIX)));
        widest = std::max(widest, widthOf(font, shown.back().text));
    }
    int total = lineHeight * (int)shown.size();
    if (format & DT_CALCRECT) {
        rect->right = rect->left + clampInt(widest);
        rect->bottom = rect->top + total;
        return total;
    }
    long long top = rect->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            top = rect->top + ((long long)rect->bottom - rect->top - lineHeight) / 2;
        else if (format & DT_BOTTOM)
            top = (long long)rect->bottom - lineHeight;
    }
    Bitmap* bmp = target(dc);
    if (bmp) {
        RECT clip = {0, 0, bmp->width, bmp->height};
        if (!(format & DT_NOCLIP))
            clip = {std::max<LONG>(0, rect->left + dc->originX), std::max<LONG>(0, rect->top + dc->originY),
                    std::min<LONG>(bmp->width, rect->right + dc->originX),
                    std::min<LONG>(bmp->height, rect->bottom + dc->originY)};
        for (size_t i = 0; i < shown.size(); ++i) {
            const TextLine& line = shown[i];
            long long w = widthOf(font, line.text);
            long long left = rect->left;
            if (format & DT_CENTER)
                left = rect->left + ((long long)rect->right - rect->left - w) / 2;
            else if (format & DT_RIGHT)
                left = (long long)rect->right - w;
            long long lineTop = top + (long long)i * lineHeight;
            long long devLeft = left + dc->originX, devTop = lineTop + dc->originY;
            if (clip.left >= clip.right || clip.top >= clip.bottom)
                break;
            if (dc->bkMode == OPAQUE && !line.text.empty()) {
                RECT cell = {clampInt(std::max<long long>(devLeft, clip.left)),
                             clampInt(std::max<long long>(devTop, clip.top)),
                             clampInt(std::min<long long>(devLeft + w, clip.right)),
                             clampInt(std::min<long long>(devTop + lineHeight, clip.bottom))};
                fillDevice(dc, bmp, cell, dc->bkColor);
            }
            TextLayout layout = layOut(font, line.text.c_str(), (UINT)line.text.size(), nullptr);
            drawGlyphs(dc, bmp, font, line.text.c_str(), layout.advances, devLeft, devTop, clip);
            if (line.underline >= 0) {
                long long ux = devLeft;
                for (int k = 0; k < line.underline; ++k)
                    ux += layout.advances[k];
                long long uy = devTop + font->ascent + 1;
                RECT bar = {clampInt(std::max<long long>(ux, clip.left)), clampInt(std::max<long long>(uy, clip.top)),
                            clampInt(std::min<long long>(ux + layout.advances[line.underline], clip.right)),
                            clampInt(std::min<long long>(uy + 1, clip.bottom))};
                fillDevice(dc, bmp, bar, dc->textColor);
            }
        }
    }
    if (format & DT_SINGLELINE)
        return (int)(top - rect->top) + lineHeight;
    return total;
}

// ---- Window device contexts -------------------------------------------------------
HDC PlatformCreateWindowDC(HBITMAP surface)
{
    Dc* dc = newDc();
    dc->windowDc = true;
    Object* o = toObject(surface);
    if (o && o->kind == Kind::Bitmap) {
        dc->surface = static_cast<Bitmap*>(o);
        ++dc->surface->selected;
    }
    return reinterpret_cast<HDC>(dc);
}

void PlatformSetWindowDCArea(HDC hdc, int originX, int originY, HRGN visible)
{
    Dc* dc = toDc(hdc);
    if (!dc)
        return;
    dc->originX = originX;
    dc->originY = originY;
    Object* o = toObject(visible);
    dc->limited = o && o->kind == Kind::Region;
    dc->visible = dc->limited ? static_cast<Region*>(o)->rects : std::vector<RECT>();
}

void PlatformResetDC(HDC hdc)
{
    Dc* dc = toDc(hdc);
    if (!dc)
        return;
    Bitmap* surface = dc->surface;
    Bitmap* bitmap = dc->bitmap;
    releaseSelections(dc);
    Dc fresh;
    fresh.windowDc = dc->windowDc;
    fresh.surface = surface;
    fresh.bitmap = bitmap;
    fresh.originX = dc->originX;
    fresh.originY = dc->originY;
    fresh.limited = dc->limited;
    fresh.visible = dc->visible;
    fresh.brush = stockBrush(WHITE_BRUSH);
    fresh.pen = stockPen(BLACK_PEN);
    *dc = fresh;
    for (Object* o : std::initializer_list<Object*>{dc->bitmap, dc->surface, dc->brush, dc->pen})
        if (o)
            ++o->selected;
}
