// Layer-internal: the Windows layer's state in one struct, and the calls its
// files (windows, events, the message queue, keys, the cursor, the window
// procedure) make of each other. The system never includes this header.
//
// window.cpp      window classes, windows, focus, capture and activation
// win_events.cpp  SDL events into messages: the pump and mouse routing
// win_queue.cpp   the message queue: post, send, peek, get, translate
// win_keys.cpp    key translation and the keyboard state
// win_defproc.cpp DefWindowProcA and the move loop
// win_cursor.cpp  icons and the cursor: the system's, made ones, the device's
// win_rect.cpp    rectangle helpers
#pragma once

#include "sdl_window.h"
#include "win_internal.h"
#include "win_window.h"

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct SDL_Cursor;
struct SDL_KeyboardEvent;

namespace win {

struct WindowClass {
    std::string name;
    HINSTANCE instance;
    WNDCLASSA wc;
    ATOM atom;
    bool system = false; // the layer's own control classes, for any instance
};

// Mouse and keyboard input is queued for its top-level window and goes to
// the window under the pointer, the capturing window or the focus window
// when it is taken from the queue.
enum class Route { None, Mouse, Key };

struct Queued {
    MSG msg;
    std::string chars; // what TranslateMessage makes of a key-down
    Route route = Route::None;
    POINT client = {0, 0}; // mouse: in the top-level window's client area
};

struct MessageQueue {
    std::deque<Queued> posted;
    std::deque<Queued> input;
    bool quitPending = false;
    int quitCode = 0;
    // The last key-down removed from the queue, with its characters.
    bool haveLastKey = false;
    MSG lastKey = {};
    std::string lastKeyChars;
    DWORD lastMessagePos = 0;    // GetMessagePos
    WPARAM retrievedButtons = 0; // MK_ buttons of the last mouse message retrieved
};

const int kScancodes = 512; // SDL_NUM_SCANCODES

struct Keyboard {
    bool down[256] = {};
    bool toggled[256] = {};
    bool scancodeDown[kScancodes] = {};
};

struct Mouse {
    POINT pos = {0, 0}; // screen
    WPARAM buttons = 0; // MK_ flags of the buttons down
};

// An icon or cursor made from bitmaps, or the picture of a system one.
struct Icon {
    bool isIcon = true;
    DWORD hotX = 0, hotY = 0;
    int width = 0, height = 0;
    // A monochrome picture's colour is its XOR half: black or white.
    bool monochrome = false;
    std::vector<uint8_t> andMask; // 1 where the screen shows through; top row first
    std::vector<uint32_t> color;  // 0x00RRGGBB, top row first
    SDL_Cursor* sdl = nullptr;
};

// IDirect3DDevice9's cursor: an ARGB picture that takes the window cursor's
// place while shown.
struct DeviceCursor {
    std::vector<uint32_t> argb;
    int width = 0, height = 0, hotX = 0, hotY = 0;
    bool set = false, shown = false;
    SDL_Cursor* sdl = nullptr;
};

const int kSystemCursorCount = 5;
// The arrow's handle (LoadCursorA IDC_ARROW).
HCURSOR arrowCursor();

struct Cursor {
    HCURSOR current = arrowCursor();
    int count = 0; // ShowCursor's display count
    SDL_Cursor* system[kSystemCursorCount] = {};
    DeviceCursor device;
    std::set<Icon*> icons; // made by CreateIconIndirect
    // Pictures of the system cursors and icon, made on first use.
    std::map<HICON, std::unique_ptr<Icon>> systemPictures;
};

struct State {
    std::vector<WindowClass> classes;
    bool systemClasses = false; // BUTTON, COMBOBOX and ComboLBox are in `classes`
    ATOM nextAtom = 0xC000;
    std::map<HWND, Window*> windows;
    uintptr_t nextHandle = 0x10000;
    HWND active = nullptr;
    HWND focus = nullptr;
    HWND capture = nullptr;
    Mouse mouse;
    Keyboard keys;
    MessageQueue queue;
    Cursor cursor;
    PlatformBeforeWindowHook beforeWindowHook = nullptr;
    PlatformIdleWaitHook idleHook = nullptr;
    void* idleContext = nullptr;
    unsigned idleWaits = 0;
    bool videoUp = false;
    bool glLoaded = false;
};

extern State g_state;

// ---- Windows (window.cpp) -------------------------------------------------------------
Window* findSdlWindow(unsigned sdlId);
HWND topLevelOf(HWND h);
// Whether `h` is `ancestor` or lies inside it.
bool within(HWND h, HWND ancestor);
void setActive(HWND h, bool active, bool minimized);
// Shaped SDL windows exist only where the video driver has them.
bool driverShapesWindows();

// ---- Events (win_events.cpp) ----------------------------------------------------------
// Turns waiting SDL events into messages: input is queued, window-state
// changes are sent to the window procedure at once.
void pump();
// Sends queued input to the window it goes to now; false when it goes nowhere.
bool routeInput(Queued& q);

// ---- Message queue (win_queue.cpp) --------------------------------------------------
void dropMessagesOf(HWND h);
// Blocks until an SDL event or a posted message arrives.
void idleWait();
void postTo(std::deque<Queued>& q, HWND h, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Keys (win_keys.cpp) ------------------------------------------------------------
// A key event as a message, once the keyboard state has taken it in; false
// for a key without a virtual-key code.
struct KeyMessage {
    UINT message = 0;
    WPARAM vk = 0;
    LPARAM lParam = 0;
    std::string chars; // what a key-down types
};
bool keyMessage(const SDL_KeyboardEvent& e, const std::string& text, KeyMessage& out);
// What TranslateMessage makes of a key-down that did not come from the
// keyboard, by the keyboard state (Alt as its lParam says).
std::string typedChars(BYTE vk, bool alt);
// UTF-8 text as code page 1252, '?' for what it cannot hold.
std::string cp1252Text(const char* utf8);

// ---- Cursor (win_cursor.cpp) -------------------------------------------------------
// Shows the current cursor again after a change.
void applyCursor();

} // namespace win
