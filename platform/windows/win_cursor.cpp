// The cursor's one home: icons and cursors made from bitmaps, the system's
// own cursors and icon with their pictures, the cursor shown (SetCursor,
// ShowCursor) and the device cursor that may take its place, over SDL's
// system and colour cursors.
#include "windows.h"
#include "win_state.h"

#include <SDL.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <set>
#include <vector>

using win::DeviceCursor;
using win::g_state;
using win::Icon;

namespace {

// The system cursors LoadCursorA knows; a handle is its entry's address.
struct SystemCursor {
    WORD id;
    SDL_SystemCursor sdlId;
};
const SystemCursor kSystemCursors[win::kSystemCursorCount] = {
    {32512, SDL_SYSTEM_CURSOR_ARROW},     {32513, SDL_SYSTEM_CURSOR_IBEAM}, {32514, SDL_SYSTEM_CURSOR_WAIT},
    {32515, SDL_SYSTEM_CURSOR_CROSSHAIR}, {32649, SDL_SYSTEM_CURSOR_HAND},
};

HCURSOR systemCursorHandle(int i)
{
    return reinterpret_cast<HCURSOR>(const_cast<SystemCursor*>(&kSystemCursors[i]));
}

int systemCursorIndex(HCURSOR c)
{
    for (int i = 0; i < win::kSystemCursorCount; ++i)
        if (systemCursorHandle(i) == c)
            return i;
    return -1;
}

WORD systemCursorId(HCURSOR c)
{
    int i = systemCursorIndex(c);
    return i >= 0 ? kSystemCursors[i].id : 0;
}

// The application icon's handle is this object's address.
const char kApplicationIcon = 0;

HICON applicationIcon()
{
    return reinterpret_cast<HICON>(const_cast<char*>(&kApplicationIcon));
}

// A bitmap's pixels as 0x00RRGGBB, top row first.
bool readBitmap(HBITMAP bitmap, int& width, int& height, std::vector<uint32_t>& pixels)
{
    BITMAP bm;
    if (!bitmap || GetObjectA(bitmap, sizeof(bm), &bm) == 0 || bm.bmWidth <= 0 || bm.bmHeight <= 0)
        return false;
    width = bm.bmWidth;
    height = bm.bmHeight;
    pixels.assign((size_t)width * height, 0);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(nullptr);
    int lines = GetDIBits(dc, bitmap, 0, (UINT)height, pixels.data(), &bmi, DIB_RGB_COLORS);
    DeleteDC(dc);
    for (uint32_t& p : pixels)
        p &= 0xFFFFFF;
    return lines == height;
}

// A 1-bit bitmap of `rows` word-aligned rows from per-pixel bits.
HBITMAP monochromeBitmap(int width, int rows, const std::vector<uint8_t>& on)
{
    const size_t stride = (((size_t)width + 15) / 16) * 2;
    std::vector<BYTE> bits(stride * rows, 0);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < width; ++x)
            if (on[(size_t)y * width + x])
                bits[stride * y + x / 8] |= (BYTE)(0x80 >> (x % 8));
    return CreateBitmap(width, rows, 1, 1, bits.data());
}

// ARGB of what the picture shows; where the screen shows through, or would
// be inverted, transparent.
std::vector<uint32_t> argbOf(const Icon& icon)
{
    std::vector<uint32_t> out(icon.color.size(), 0);
    for (size_t i = 0; i < out.size(); ++i)
        if (!icon.andMask[i])
            out[i] = icon.color[i] | 0xFF000000u;
    return out;
}

SDL_Cursor* makeSdlCursor(const std::vector<uint32_t>& argb, int width, int height, int hotX, int hotY)
{
    if (!SDL_WasInit(SDL_INIT_VIDEO) || argb.empty())
        return nullptr;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(argb.data()), width, height, 32,
                                                              width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!surface)
        return nullptr;
    // SDL wants the hot spot inside the picture.
    hotX = std::min(std::max(hotX, 0), width - 1);
    hotY = std::min(std::max(hotY, 0), height - 1);
    SDL_Cursor* cursor = SDL_CreateColorCursor(surface, hotX, hotY);
    SDL_FreeSurface(surface);
    return cursor;
}

// ---- The system's pictures --------------------------------------------------------
// 'X' black, 'o' white, anything else transparent; 32 x 32.
const char* const kArrow[] = {
    "X",          "XX",         "XoX",        "XooX",       "XoooX",       "XooooX",     "XoooooX",
    "XooooooX",   "XoooooooX",  "XooooooooX", "XoooooXXXXX", "XooXooX",    "XoX XooX",   "XX  XooX",
    "X    XooX",  "     XooX",  "      XooX", "      XooX",  "       XX",
};

Icon* pictureFromArt(const char* const* art, int rows, DWORD hotX, DWORD hotY)
{
    Icon* icon = new Icon();
    icon->isIcon = false;
    icon->monochrome = true;
    icon->width = icon->height = 32;
    icon->hotX = hotX;
    icon->hotY = hotY;
    icon->andMask.assign(32 * 32, 1);
    icon->color.assign(32 * 32, 0);
    for (int y = 0; y < rows && y < 32; ++y)
        for (int x = 0; art[y][x] && x < 32; ++x) {
            char c = art[y][x];
            if (c != 'X' && c != 'o')
                continue;
            icon->andMask[(size_t)y * 32 + x] = 0;
            icon->color[(size_t)y * 32 + x] = c == 'o' ? 0xFFFFFF : 0;
        }
    return icon;
}

// A cross or an I-beam: white strokes edged in black around (15, 15).
Icon* strokePicture(bool beam)
{
    std::vector<std::string> art(32, std::string(32, ' '));
    auto put = [&](int x, int y, char c) {
        if (x >= 0 && x < 32 && y >= 0 && y < 32 && (c == 'o' || art[y][x] != 'o'))
            art[y][x] = c;
    };
    auto stroke = [&](int x0, int y0, int x1, int y1) {
        for (int y = y0 - 1; y <= y1 + 1; ++y)
            for (int x = x0 - 1; x <= x1 + 1; ++x)
                put(x, y, 'X');
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                put(x, y, 'o');
    };
    if (beam) {
        stroke(15, 6, 15, 24);
        stroke(12, 5, 18, 5);
        stroke(12, 25, 18, 25);
    } else {
        stroke(15, 4, 15, 26);
        stroke(4, 15, 26, 15);
    }
    std::vector<const char*> rows;
    for (const std::string& r : art)
        rows.push_back(r.c_str());
    return pictureFromArt(rows.data(), 32, 15, 15);
}

// The application icon: a small white window with a blue title bar.
Icon* applicationPicture()
{
    Icon* icon = new Icon();
    icon->width = icon->height = 32;
    icon->hotX = icon->hotY = 16;
    icon->andMask.assign(32 * 32, 1);
    icon->color.assign(32 * 32, 0);
    for (int y = 3; y < 29; ++y)
        for (int x = 2; x < 30; ++x) {
            bool edge = y == 3 || y == 28 || x == 2 || x == 29;
            icon->andMask[(size_t)y * 32 + x] = 0;
            icon->color[(size_t)y * 32 + x] = edge ? 0x000000 : y < 9 ? 0x0000A0 : 0xFFFFFF;
        }
    return icon;
}

Icon* systemPicture(HICON handle)
{
    auto& pictures = g_state.cursor.systemPictures;
    auto it = pictures.find(handle);
    if (it != pictures.end())
        return it->second.get();
    Icon* picture = nullptr;
    if (handle == applicationIcon())
        picture = applicationPicture();
    else
        switch (systemCursorId(handle)) {
        case 32513: picture = strokePicture(true); break;  // I-beam
        case 32515: picture = strokePicture(false); break; // cross
        case 0: break;
        default: // the arrow stands in for the others
            picture = pictureFromArt(kArrow, (int)(sizeof kArrow / sizeof kArrow[0]), 0, 0);
            break;
        }
    if (picture)
        pictures[handle].reset(picture);
    return picture;
}

Icon* findIcon(HICON handle)
{
    Icon* icon = reinterpret_cast<Icon*>(handle);
    if (icon && g_state.cursor.icons.count(icon))
        return icon;
    return handle ? systemPicture(handle) : nullptr;
}

// The SDL cursor of an icon made by CreateIconIndirect; null for any other
// handle or when SDL cannot make one.
SDL_Cursor* iconSdlCursor(HICON handle)
{
    Icon* icon = reinterpret_cast<Icon*>(handle);
    if (!icon || !g_state.cursor.icons.count(icon))
        return nullptr;
    if (!icon->sdl)
        icon->sdl = makeSdlCursor(argbOf(*icon), icon->width, icon->height, (int)icon->hotX, (int)icon->hotY);
    return icon->sdl;
}

// Null unless a picture is set and shown (or SDL cannot make the cursor).
SDL_Cursor* deviceCursorIfShown()
{
    DeviceCursor& c = g_state.cursor.device;
    if (!c.set || !c.shown)
        return nullptr;
    if (!c.sdl)
        c.sdl = makeSdlCursor(c.argb, c.width, c.height, c.hotX, c.hotY);
    return c.sdl;
}

} // namespace

HICON CreateIconIndirect(PICONINFO info)
{
    if (!info || !info->hbmMask) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int width = 0, maskHeight = 0;
    std::vector<uint32_t> mask;
    if (!readBitmap(info->hbmMask, width, maskHeight, mask)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Icon* icon = new Icon();
    icon->isIcon = info->fIcon != FALSE;
    icon->width = width;
    std::vector<uint32_t> color;
    if (info->hbmColor) {
        int cw = 0, ch = 0;
        if (!readBitmap(info->hbmColor, cw, ch, color) || cw != width || ch != maskHeight) {
            delete icon;
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        icon->height = maskHeight;
    } else {
        // The mask holds the AND half above the XOR half.
        if (maskHeight < 2 || maskHeight % 2) {
            delete icon;
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        icon->monochrome = true;
        icon->height = maskHeight / 2;
    }
    const size_t n = (size_t)icon->width * icon->height;
    icon->andMask.resize(n);
    icon->color.resize(n);
    for (size_t i = 0; i < n; ++i) {
        icon->andMask[i] = mask[i] != 0;
        icon->color[i] = info->hbmColor ? color[i] : (mask[n + i] != 0 ? 0xFFFFFF : 0);
    }
    // An icon's hot spot is its centre.
    icon->hotX = icon->isIcon ? (DWORD)icon->width / 2 : info->xHotspot;
    icon->hotY = icon->isIcon ? (DWORD)icon->height / 2 : info->yHotspot;
    g_state.cursor.icons.insert(icon);
    return reinterpret_cast<HICON>(icon);
}

BOOL GetIconInfo(HICON handle, PICONINFO info)
{
    Icon* icon = findIcon(handle);
    if (!icon || !info) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    info->fIcon = icon->isIcon ? TRUE : FALSE;
    info->xHotspot = icon->hotX;
    info->yHotspot = icon->hotY;
    const size_t n = (size_t)icon->width * icon->height;
    if (icon->monochrome) {
        std::vector<uint8_t> bits(icon->andMask);
        bits.resize(2 * n);
        for (size_t i = 0; i < n; ++i)
            bits[n + i] = icon->color[i] != 0;
        info->hbmMask = monochromeBitmap(icon->width, 2 * icon->height, bits);
        info->hbmColor = nullptr;
    } else {
        info->hbmMask = monochromeBitmap(icon->width, icon->height, icon->andMask);
        info->hbmColor = CreateBitmap(icon->width, icon->height, 1, 32, icon->color.data());
    }
    return info->hbmMask != nullptr;
}

BOOL DestroyIcon(HICON handle)
{
    Icon* icon = reinterpret_cast<Icon*>(handle);
    if (!icon || !g_state.cursor.icons.count(icon))
        return systemPicture(handle) != nullptr; // the system's own are shared and stay
    g_state.cursor.icons.erase(icon);
    if (icon->sdl)
        SDL_FreeCursor(icon->sdl);
    delete icon;
    return TRUE;
}

BOOL DestroyCursor(HCURSOR cursor)
{
    return DestroyIcon(cursor);
}

void PlatformSetDeviceCursor(const uint32_t* argb, int width, int height, int hotX, int hotY)
{
    DeviceCursor& c = g_state.cursor.device;
    c.argb.assign(argb, argb + (size_t)width * height);
    c.width = width;
    c.height = height;
    c.hotX = hotX;
    c.hotY = hotY;
    c.set = true;
    if (c.sdl)
        SDL_FreeCursor(c.sdl);
    c.sdl = nullptr;
    win::applyCursor();
}

bool PlatformShowDeviceCursor(bool show)
{
    bool previous = g_state.cursor.device.shown;
    g_state.cursor.device.shown = show;
    win::applyCursor();
    return previous;
}

bool PlatformDeviceCursor(std::vector<uint32_t>* argb, int* width, int* height, int* hotX, int* hotY)
{
    const DeviceCursor& c = g_state.cursor.device;
    if (!c.set)
        return false;
    if (argb)
        *argb = c.argb;
    if (width)
        *width = c.width;
    if (height)
        *height = c.height;
    if (hotX)
        *hotX = c.hotX;
    if (hotY)
        *hotY = c.hotY;
    return true;
}


// ---- The cursor shown ----------------------------------------------------------------
HCURSOR win::arrowCursor()
{
    return systemCursorHandle(0);
}

void win::applyCursor()
{
    if (!g_state.videoUp)
        return;
    // A device cursor that is shown takes the window cursor's place.
    if (SDL_Cursor* device = deviceCursorIfShown()) {
        SDL_SetCursor(device);
        SDL_ShowCursor(SDL_ENABLE);
        return;
    }
    win::Cursor& c = g_state.cursor;
    bool visible = c.current && c.count >= 0;
    if (visible) {
        int i = systemCursorIndex(c.current);
        if (i >= 0) {
            if (!c.system[i])
                c.system[i] = SDL_CreateSystemCursor(kSystemCursors[i].sdlId);
            if (c.system[i])
                SDL_SetCursor(c.system[i]);
        } else if (SDL_Cursor* made = iconSdlCursor(c.current)) {
            SDL_SetCursor(made);
        }
    }
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

bool PlatformCursorVisible()
{
    return g_state.cursor.current && g_state.cursor.count >= 0;
}

HCURSOR SetCursor(HCURSOR cursor)
{
    HCURSOR previous = g_state.cursor.current;
    g_state.cursor.current = cursor;
    if (cursor != previous)
        win::applyCursor();
    return previous;
}

int ShowCursor(BOOL show)
{
    g_state.cursor.count += show ? 1 : -1;
    win::applyCursor();
    return g_state.cursor.count;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    if (instance || !name || !IS_INTRESOURCE(name))
        return nullptr;
    for (int i = 0; i < win::kSystemCursorCount; ++i)
        if (kSystemCursors[i].id == (WORD)(uintptr_t)name)
            return systemCursorHandle(i);
    return nullptr;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name)
{
    if (!instance && name == IDI_APPLICATION)
        return applicationIcon();
    return nullptr;
}

BOOL GetCursorPos(LPPOINT point)
{
    if (!point)
        return FALSE;
    win::pump();
    *point = g_state.mouse.pos;
    return TRUE;
}

BOOL SetCursorPos(int x, int y)
{
    g_state.mouse.pos = {x, y};
    if (g_state.videoUp)
        SDL_WarpMouseGlobal(x, y); // where the video driver can
    return TRUE;
}
