// Synthetic SDL input for a window made by CreateWindowExA.
#pragma once

#include <windows.h>
#include <SDL.h>

#include "windows/sdl_window.h"

#include <cstring>

inline void PushKey(HWND h, SDL_Keycode sym, bool down, Uint16 mod = 0, bool repeat = false)
{
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = SDL_GetWindowID(PlatformSdlWindow(h));
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
    e.key.keysym.mod = mod;
    SDL_PushEvent(&e);
}

inline void PushText(HWND h, const char* utf8)
{
    SDL_Event e = {};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = SDL_GetWindowID(PlatformSdlWindow(h));
    std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
    SDL_PushEvent(&e);
}

inline void PushWindowEvent(HWND h, Uint8 event)
{
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(PlatformSdlWindow(h));
    e.window.event = event;
    SDL_PushEvent(&e);
}

// Mouse input at a point of the window's client area (button: SDL_BUTTON_LEFT...).
inline void PushMouseButton(HWND h, int x, int y, bool down, Uint8 button = SDL_BUTTON_LEFT)
{
    SDL_Event e = {};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = SDL_GetWindowID(PlatformSdlWindow(h));
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = x;
    e.button.y = y;
    SDL_PushEvent(&e);
}

inline void PushMouseMotion(HWND h, int x, int y)
{
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SDL_GetWindowID(PlatformSdlWindow(h));
    e.motion.x = x;
    e.motion.y = y;
    SDL_PushEvent(&e);
}
