// Layer-internal: what the window layer asks of GDI. Window device contexts
// draw into a window's surface, limited to what shows of the window. The
// system never includes this header.
#pragma once

#include "wingdi.h"

// A device context that draws into a window's surface (a bitmap of this
// layer, or null for one that draws nothing), with the default attributes.
HDC PlatformCreateWindowDC(HBITMAP surface);
// Where the window's client area lies in the surface, and the surface area
// output may touch (null: the whole surface).
void PlatformSetWindowDCArea(HDC hdc, int originX, int originY, HRGN visible);
// Back to the default attributes, objects and current position.
void PlatformResetDC(HDC hdc);
// The GetStockObject index of a stock handle, -1 for any other handle.
int PlatformStockObjectIndex(HGDIOBJ object);
