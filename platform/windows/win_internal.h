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

// ---- Icons and the device cursor -------------------------------------------------
struct SDL_Cursor;
// The LoadCursorA id of a system cursor handle; 0 for any other handle.
WORD PlatformSystemCursorId(HCURSOR cursor);
bool PlatformIsApplicationIcon(HICON icon);
// The SDL cursor of an icon made by CreateIconIndirect; null for any other
// handle or when SDL cannot make one.
SDL_Cursor* PlatformIconSdlCursor(HICON icon);
// Shows the current cursor again after a change.
void PlatformApplyCursor();
// The device cursor (IDirect3DDevice9::SetCursorProperties and ShowCursor):
// an ARGB picture, top row first, with its hot spot. While shown it takes
// the window cursor's place.
void PlatformSetDeviceCursor(const uint32_t* argb, int width, int height, int hotX, int hotY);
// Returns whether it was shown before.
bool PlatformShowDeviceCursor(bool show);
// False while no picture was set.
bool PlatformDeviceCursor(std::vector<uint32_t>* argb, int* width, int* height, int* hotX, int* hotY);
// Null unless a picture is set and shown (or SDL cannot make the cursor).
SDL_Cursor* PlatformDeviceCursorIfShown();
