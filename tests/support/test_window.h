// A framed window whose client area has the given size, for devices under
// test (off-screen under SDL's offscreen driver).
#pragma once

#include <windows.h>

// Null when the window cannot be made. `visible` adds WS_VISIBLE.
HWND TestWindow(int clientWidth, int clientHeight, bool visible = false);
