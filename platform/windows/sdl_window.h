// Layer-internal: the SDL window behind a window handle. Only the platform
// layer includes this header (the device creates its GL context on it).
#pragma once

#include "wintypes.h"

struct SDL_Window;

// The SDL window of a window created by CreateWindowExA; null for an unknown
// or destroyed handle. Windows are created with SDL_WINDOW_OPENGL; the layer
// sets no GL attribute itself.
//
// The drawable of a full-screen window (WS_POPUP without caption at 0,0) is
// the desktop, and any window may change size later (WM_SIZE): present to
// the size SDL_GL_GetDrawableSize reports at the time.
SDL_Window* PlatformSdlWindow(HWND hwnd);
// The same for a window whose drawable OpenGL takes (the Direct3D device):
// the layer no longer shows the window's GDI surface on it.
SDL_Window* PlatformGLWindow(HWND hwnd);

// SDL chooses the X11 visual when the window is created, so attributes that
// shape the default framebuffer (double buffer, depth, stencil, samples,
// sRGB) must be set before that. A hook set here runs inside CreateWindowExA,
// after SDL video is initialised and right before every SDL_CreateWindow.
// Context attributes (version, profile) can still be set later, before
// SDL_GL_CreateContext. Null removes the hook.
typedef void (*PlatformBeforeWindowHook)();
void PlatformSetBeforeWindowHook(PlatformBeforeWindowHook hook);

// Initialises SDL video (idempotent); false when no video driver works.
bool PlatformEnsureVideo();
