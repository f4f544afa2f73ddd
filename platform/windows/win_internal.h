// Layer-internal: test seams and facts other layer parts need about the
// Windows UI and kernel calls. The system never includes this header.
#pragma once

#include "gdi/gdi_window.h" // PlatformStockObjectIndex
#include "wintypes.h"

#include <vector>

// ---- Clocks -----------------------------------------------------------------
// Scripted clocks: QueryPerformanceFrequency fails when hasCounter is false
// (else it reports `frequency`), QueryPerformanceCounter returns the value
// set with PlatformSetCounter, timeGetTime and GetTickCount the value set
// with PlatformSetTimeGetTime. PlatformRealClocks goes back to the system.
void PlatformScriptClocks(bool hasCounter, LONGLONG frequency);
void PlatformSetCounter(LONGLONG ticks);
void PlatformSetTimeGetTime(DWORD milliseconds);
void PlatformRealClocks();

// ---- Message queue ------------------------------------------------------------
// Called instead of blocking when WaitMessage or GetMessageA would block
// with nothing waiting; the hook may post messages or push SDL events (a
// WaitMessage then returns; GetMessageA calls it again until a message
// comes). Null removes it.
typedef void (*PlatformIdleWaitHook)(void* context);
void PlatformSetIdleWaitHook(PlatformIdleWaitHook hook, void* context);
// Number of times WaitMessage and GetMessageA blocked or ran the hook.
unsigned PlatformIdleWaitCount();
// Drops every queued message and the pending WM_QUIT (between tests).
void PlatformResetMessageQueue();

// ---- Keyboard -------------------------------------------------------------------
// Turns waiting SDL events into messages now; window-state changes (focus)
// reach their windows during the call.
void PlatformPumpEvents();
// The keys down now, by SDL scancode (512 entries), after the waiting input
// has been turned into messages (DirectInput reads the keyboard here).
void PlatformKeyboardScancodes(bool down[512]);

// ---- Cursor -----------------------------------------------------------------------
// Whether the cursor would show now (current cursor not null and display
// count >= 0).
bool PlatformCursorVisible();

// ---- The device cursor -----------------------------------------------------------
// IDirect3DDevice9::SetCursorProperties and ShowCursor: an ARGB picture, top
// row first, with its hot spot. While shown it takes the window cursor's place.
void PlatformSetDeviceCursor(const uint32_t* argb, int width, int height, int hotX, int hotY);
// Returns whether it was shown before.
bool PlatformShowDeviceCursor(bool show);
// False while no picture was set.
bool PlatformDeviceCursor(std::vector<uint32_t>* argb, int* width, int* height, int* hotX, int* hotY);
