// Layer-internal: the SDL window behind a window handle. Only the platform
// layer includes this header (the device creates its GL context on it).
#pragma once

#include "wintypes.h"

struct SDL_Window;

// The SDL window of a window created by CreateWindowExA; null for an unknown
// or destroyed handle. Windows are created with SDL_WINDOW_OPENGL.
SDL_Window* PlatformSdlWindow(HWND hwnd);
