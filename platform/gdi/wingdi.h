// Windows GDI over FreeType and fontconfig: memory device contexts, bitmaps
// and device-independent bitmap sections, fonts and text (code page 1252),
// brushes, pens, lines, rectangles, pixels, block transfers and regions.
// Output goes into the selected bitmap of a memory device context, or into
// a window's drawing surface for the device contexts of windows (GetDC,
// BeginPaint), and is clipped to the bitmap and to what the window shows.
#pragma once

#include "wintypes.h"

// ---- Bitmaps ---------------------------------------------------------------
#define BI_RGB 0L
#define BI_RLE8 1L
#define BI_RLE4 2L
#define BI_BITFIELDS 3L
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight; // negative: rows run top-down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits; // a section's pixels, else null
} BITMAP, *PBITMAP, *LPBITMAP;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *LPBITMAPINFO;

typedef struct tagPALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY, *LPPALETTEENTRY;

// ---- Fonts -----------------------------------------------------------------
#define LF_FACESIZE 32

#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_REGULAR 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_EXTRABOLD 800
#define FW_HEAVY 900

#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2

#define OUT_DEFAULT_PRECIS 0
#define OUT_STRING_PRECIS 1
#define OUT_TT_PRECIS 4
#define OUT_TT_ONLY_PRECIS 7
#define CLIP_DEFAULT_PRECIS 0

#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4
#define CLEARTYPE_QUALITY 5

#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE (0 << 4)
#define FF_ROMAN (1 << 4)
#define FF_SWISS (2 << 4)
#define FF_MODERN (3 << 4)

typedef struct tagLOGFONTA {
    LONG lfHeight; // < 0: character (em) height in pixels; > 0: cell height
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
} LOGFONTA, *LPLOGFONTA;

typedef struct tagTEXTMETRICA {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
} TEXTMETRICA, *LPTEXTMETRICA;

// ---- Device context state --------------------------------------------------
#define MM_TEXT 1

#define TRANSPARENT 1
#define OPAQUE 2

#define TA_NOUPDATECP 0
#define TA_UPDATECP 1
#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24

#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004

#define CLR_INVALID 0xFFFFFFFF
#define GDI_ERROR 0xFFFFFFFFL
#define HGDI_ERROR ((HGDIOBJ)(LONG_PTR)-1)

// GetDeviceCaps indices.
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define LOGPIXELSX 88
#define LOGPIXELSY 90

// Pens.
#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6

// Binary raster operations (SetROP2) for pens.
#define R2_BLACK 1
#define R2_NOT 6
#define R2_XORPEN 7
#define R2_NOP 11
#define R2_COPYPEN 13
#define R2_WHITE 16

// Ternary raster operations (BitBlt, PatBlt): the low byte of the high word
// is the result for the patterns P = 0xF0, S = 0xCC, D = 0xAA.
#define SRCCOPY 0x00CC0020
#define SRCPAINT 0x00EE0086
#define SRCAND 0x008800C6
#define SRCINVERT 0x00660046
#define SRCERASE 0x00440328
#define NOTSRCCOPY 0x00330008
#define NOTSRCERASE 0x001100A6
#define MERGECOPY 0x00C000CA
#define MERGEPAINT 0x00BB0226
#define PATCOPY 0x00F00021
#define PATPAINT 0x00FB0A09
#define PATINVERT 0x005A0049
#define DSTINVERT 0x00550009
#define BLACKNESS 0x00000042
#define WHITENESS 0x00FF0062

// Regions.
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define RGN_ERROR ERROR
#define RGN_AND 1
#define RGN_OR 2
#define RGN_XOR 3
#define RGN_DIFF 4
#define RGN_COPY 5
#define RDH_RECTANGLES 1

typedef struct _RGNDATAHEADER {
    DWORD dwSize; // of this header
    DWORD iType;  // RDH_RECTANGLES
    DWORD nCount; // rectangles that follow
    DWORD nRgnSize;
    RECT rcBound;
} RGNDATAHEADER, *PRGNDATAHEADER;

typedef struct _RGNDATA {
    RGNDATAHEADER rdh;
    char Buffer[1]; // nCount RECTs
} RGNDATA, *PRGNDATA, *LPRGNDATA;

typedef struct tagXFORM {
    FLOAT eM11, eM12, eM21, eM22, eDx, eDy;
} XFORM, *LPXFORM;

// System colours (GetSysColor); a class background brush may be given as
// (HBRUSH)(COLOR_x + 1).
#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_ACTIVECAPTION 2
#define COLOR_INACTIVECAPTION 3
#define COLOR_MENU 4
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_MENUTEXT 7
#define COLOR_WINDOWTEXT 8
#define COLOR_CAPTIONTEXT 9
#define COLOR_ACTIVEBORDER 10
#define COLOR_INACTIVEBORDER 11
#define COLOR_APPWORKSPACE 12
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_INACTIVECAPTIONTEXT 19
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define COLOR_3DFACE COLOR_BTNFACE
#define COLOR_3DSHADOW COLOR_BTNSHADOW
#define COLOR_3DHIGHLIGHT COLOR_BTNHIGHLIGHT

// DrawText formats.
#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_NOCLIP 0x00000100
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800

// ---- Calls -----------------------------------------------------------------
// (a * b) / c rounded to the nearest integer, in 64 bits; -1 when c is 0 or
// the result does not fit.
int MulDiv(int a, int b, int c);

// A memory device context; its initial bitmap is a 1x1 monochrome one and
// its font the system font.
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
int GetDeviceCaps(HDC hdc, int index);
int SetMapMode(HDC hdc, int mode);

// 24- and 32-bit sections; the pixels are zeroed and stay valid until the
// bitmap is deleted.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);
// 1-, 24- and 32-bit bitmaps; `bits` (or null for zeros) holds word-aligned
// rows, top row first.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitCount, const void* bits);
// A bitmap's BITMAP record (other objects are not described); with a null
// output, the size it needs.
int GetObjectA(HGDIOBJ object, int size, LPVOID out);
// Copies scan lines of a bitmap as 24- or 32-bit pixels (BI_RGB) of the
// bitmap's width: a positive height counts scan lines from the bottom row,
// a negative one from the top. 1-bit pixels read as black (0) or white (1).
// Null bits: fills in the header only. Returns the number of lines copied.
int GetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO info, UINT usage);

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                  DWORD quality, DWORD pitchAndFamily, LPCSTR faceName);
HFONT CreateFontIndirectA(const LOGFONTA* logFont);

// Selecting a bitmap or a font returns the one it replaces; null for a
// handle that is not a bitmap or font of this layer.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
// Fails (FALSE) while the object is selected into a device context.
BOOL DeleteObject(HGDIOBJ object);

COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF GetTextColor(HDC hdc);
COLORREF SetBkColor(HDC hdc, COLORREF color);
COLORREF GetBkColor(HDC hdc);
int SetBkMode(HDC hdc, int mode);
int GetBkMode(HDC hdc);
UINT SetTextAlign(HDC hdc, UINT align);
UINT GetTextAlign(HDC hdc);

BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR text, int count, LPSIZE size);
BOOL GetTextMetricsA(HDC hdc, LPTEXTMETRICA metrics);
BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int count);
BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count, const INT* dx);
BOOL GdiFlush();

// ---- Bitmaps, brushes, pens -------------------------------------------------
// A bitmap like the device context's: 32 bits for a window's or the screen's
// (GetDC(NULL)), the depth of the selected bitmap for a memory DC (1 bit
// while it holds its initial bitmap). Pixels start black.
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);
HBRUSH CreateSolidBrush(COLORREF color);
HPEN CreatePen(int style, int width, COLORREF color);

// ---- Drawing ----------------------------------------------------------------
// Coordinates are logical; output is clipped as the header says. Lines and
// rectangle outlines use the selected pen, fills the selected brush; a
// line leaves out its end point, a rectangle its right and bottom edges.
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color);
COLORREF GetPixel(HDC hdc, int x, int y);
BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT previous);
BOOL LineTo(HDC hdc, int x, int y);
BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
int SetROP2(HDC hdc, int mode);
BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop);
// Source pixels outside the source bitmap leave the destination alone.
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int sx, int sy, DWORD rop);

// ---- Regions --------------------------------------------------------------------
HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* rect);
// size: the bytes at data, header and rectangles; the rectangles may overlap
// and come in any order. Only a null or identity transform is taken.
HRGN ExtCreateRegion(const XFORM* transform, DWORD size, const RGNDATA* data);
// dest may be one of the sources; returns the region type or ERROR.
int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode);
BOOL SetRectRgn(HRGN region, int left, int top, int right, int bottom);
int OffsetRgn(HRGN region, int dx, int dy);
int GetRgnBox(HRGN region, LPRECT box);
BOOL PtInRegion(HRGN region, int x, int y);
BOOL EqualRgn(HRGN a, HRGN b);
// The bytes the region's data take; copies them when size is enough.
DWORD GetRegionData(HRGN region, DWORD size, LPRGNDATA data);

// ---- User-interface drawing (user32 on Windows) -----------------------------------
DWORD GetSysColor(int index);
// Stock brushes of the system colours; null for an unknown index.
HBRUSH GetSysColorBrush(int index);
// brush may be a system colour given as (HBRUSH)(COLOR_x + 1).
int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);
int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush);
// Dotted outline drawn by inverting, so a second call removes it.
BOOL DrawFocusRect(HDC hdc, const RECT* rect);
// DT_ formats; "&" marks the next character as underlined ("&&" is "&")
// unless DT_NOPREFIX. Returns the height of the text.
int DrawTextA(HDC hdc, LPCSTR text, int count, LPRECT rect, UINT format);

#define GetObject GetObjectA
#define CreateFont CreateFontA
#define CreateFontIndirect CreateFontIndirectA
#define GetTextExtentPoint32 GetTextExtentPoint32A
#define GetTextMetrics GetTextMetricsA
#define TextOut TextOutA
#define DrawText DrawTextA
#define ExtTextOut ExtTextOutA
#define LOGFONT LOGFONTA
#define TEXTMETRIC TEXTMETRICA
