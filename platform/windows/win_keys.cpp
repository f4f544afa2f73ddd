// Keys: SDL key events as virtual keys, scan codes and characters, and the
// keyboard state GetKeyState and GetAsyncKeyState read.
#include "windows.h"
#include "win_state.h"

#include <SDL.h>

#include <cstring>
#include <string>

using win::g_state;
using win::Keyboard;

namespace {

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

void setKey(BYTE vk, bool down, bool repeat)
{
    if (down && !repeat && !g_state.keys.down[vk])
        g_state.keys.toggled[vk] = !g_state.keys.toggled[vk];
    g_state.keys.down[vk] = down;
}

} // namespace

std::string win::cp1252Text(const char* utf8)
{
    return utf8ToCp1252(utf8);
}

bool win::keyMessage(const SDL_KeyboardEvent& e, const std::string& text, KeyMessage& out)
{
    BYTE vk = vkFromKeysym(e.keysym);
    bool down = e.type == SDL_KEYDOWN;
    if (vk == 0)
        return false;
    Uint16 mod = e.keysym.mod;
    bool alt = (mod & KMOD_ALT) != 0 || vk == VK_MENU;
    bool ctrl = (mod & KMOD_CTRL) != 0;
    bool wasDown = g_state.keys.down[vk];
    if (e.keysym.scancode > SDL_SCANCODE_UNKNOWN && e.keysym.scancode < win::kScancodes)
        g_state.keys.scancodeDown[e.keysym.scancode] = down;
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
        g_state.keys.down[vk] = g_state.keys.down[left] || g_state.keys.down[left + 1];
    }
    bool sys = (alt && !ctrl) || vk == VK_F10;
    LPARAM lp = 1;
    if (isExtendedKey(e.keysym.sym))
        lp |= (LPARAM)1 << 24;
    if (alt)
        lp |= (LPARAM)1 << 29;
    if (down) {
        if (e.repeat || wasDown)
            lp |= (LPARAM)1 << 30;
        out.chars.clear();
        if (char c = controlChar(vk, mod))
            out.chars += c;
        out.chars += text;
        out.message = sys ? WM_SYSKEYDOWN : WM_KEYDOWN;
    } else {
        lp |= (LPARAM)3 << 30;
        out.message = sys ? WM_SYSKEYUP : WM_KEYUP;
    }
    out.vk = vk;
    out.lParam = lp;
    return true;
}

std::string win::typedChars(BYTE vk, bool alt)
{
    const Keyboard& keys = g_state.keys;
    Uint16 mod = (Uint16)((keys.down[VK_CONTROL] ? KMOD_CTRL : 0) | (alt ? KMOD_ALT : 0));
    std::string chars;
    if (char c = controlChar(vk, mod))
        chars += c;
    else if (vk == VK_SPACE || (vk >= '0' && vk <= '9'))
        chars += (char)vk;
    else if (vk >= 'A' && vk <= 'Z')
        chars += (char)(keys.down[VK_SHIFT] != keys.toggled[VK_CAPITAL] ? vk : vk - 'A' + 'a');
    return chars;
}

void PlatformKeyboardScancodes(bool down[512])
{
    win::pump();
    static_assert(SDL_NUM_SCANCODES == win::kScancodes, "scancode table size");
    std::memcpy(down, g_state.keys.scancodeDown, sizeof g_state.keys.scancodeDown);
}

SHORT GetKeyState(int vk)
{
    if (vk < 0 || vk > 255)
        return 0;
    return (SHORT)((g_state.keys.down[vk] ? 0x8000 : 0) | (g_state.keys.toggled[vk] ? 1 : 0));
}

SHORT GetAsyncKeyState(int vk)
{
    win::pump();
    if (vk < 0 || vk > 255)
        return 0;
    return (SHORT)(g_state.keys.down[vk] ? 0x8000 : 0);
}
