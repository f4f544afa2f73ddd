// The Windows UI layer over SDL (offscreen driver): classes, windows,
// message order, keyboard translation, default handling.
#include <windows.h>
#include <SDL.h>

#include "sdl_events.h"
#include "windows/win_internal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> g_seen;

LRESULT CALLBACK RecordingProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    g_seen.push_back({m, w, l});
    return DefWindowProcA(h, m, w, l);
}

// Records and swallows WM_CLOSE (the window stays).
LRESULT CALLBACK KeepOpenProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    g_seen.push_back({m, w, l});
    if (m == WM_CLOSE)
        return 0;
    return DefWindowProcA(h, m, w, l);
}

const char* kClass = "LayerTestClass";
const char* kKeepClass = "LayerKeepClass";

class WindowsLayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = RecordingProc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
            wc.lpszClassName = kClass;
            ASSERT_NE(RegisterClassA(&wc), 0);
            wc.lpfnWndProc = KeepOpenProc;
            wc.lpszClassName = kKeepClass;
            ASSERT_NE(RegisterClassA(&wc), 0);
            registered = true;
        }
        PlatformResetMessageQueue();
        g_seen.clear();
    }
    void TearDown() override
    {
        for (HWND h : windows_)
            if (IsWindow(h))
                DestroyWindow(h);
        PlatformResetMessageQueue();
    }
    HWND make(DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE, int w = 640, int h = 480, const char* cls = kClass)
    {
        HWND hwnd = CreateWindowExA(0, cls, "Test", style, 0, 0, w, h, nullptr, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
        // These tests follow the queue; a shown window's first WM_PAINT is
        // not theirs.
        if (hwnd)
            ValidateRect(hwnd, nullptr);
        windows_.push_back(hwnd);
        return hwnd;
    }
    static std::vector<UINT> messages()
    {
        std::vector<UINT> out;
        for (auto& s : g_seen)
            out.push_back(s.message);
        return out;
    }
    // Retrieves, translates and dispatches everything waiting; returns what was retrieved.
    static std::vector<MSG> drain()
    {
        std::vector<MSG> got;
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            got.push_back(m);
            if (m.message == WM_QUIT)
                break;
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        return got;
    }
    std::vector<HWND> windows_;
};

TEST_F(WindowsLayer, ClassRegistryRefusesDuplicatesAndUnknownClasses)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "layertestclass"; // names ignore case
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CLASS_ALREADY_EXISTS);
    wc.lpfnWndProc = nullptr;
    wc.lpszClassName = "Other";
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "x", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);
}

// A size no window can have fails as an invalid parameter; a size of 0 or
// below gives a client area of one pixel on that side.
TEST_F(WindowsLayer, WindowSizesAreHeldToWhatAWindowCanHave)
{
    SetLastError(0);
    EXPECT_EQ(make(WS_OVERLAPPEDWINDOW, 100000, 480), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(make(WS_POPUP, 640, 20000), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    for (int side : {0, -5}) {
        HWND h = make(WS_OVERLAPPEDWINDOW, side, 300);
        ASSERT_NE(h, nullptr);
        RECT r;
        ASSERT_TRUE(GetClientRect(h, &r));
        EXPECT_EQ(r.right - r.left, 1);
        EXPECT_GT(r.bottom - r.top, 200);
    }
}

TEST_F(WindowsLayer, VisibleWindowIsCreatedActiveWithAnOpenGLSdlWindow)
{
    HWND h = make();
    ASSERT_NE(h, nullptr);
    SDL_Window* sdl = PlatformSdlWindow(h);
    ASSERT_NE(sdl, nullptr);
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_OPENGL);
    auto seen = messages();
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen[0], (UINT)WM_NCCREATE);
    EXPECT_EQ(seen[1], (UINT)WM_CREATE);
    bool activated = false;
    for (auto& s : g_seen)
        if (s.message == WM_ACTIVATE && LOWORD(s.wParam) == WA_ACTIVE && HIWORD(s.wParam) == 0)
            activated = true;
    EXPECT_TRUE(activated);
    EXPECT_EQ(GetForegroundWindow(), h);
}

TEST_F(WindowsLayer, HiddenWindowIsNotActivated)
{
    HWND h = make(WS_OVERLAPPEDWINDOW);
    ASSERT_NE(h, nullptr);
    for (auto m : messages())
        EXPECT_NE(m, (UINT)WM_ACTIVATE);
    EXPECT_NE(GetForegroundWindow(), h);
}

TEST_F(WindowsLayer, FramedClientAreaIsOuterSizeLessTheNominalFrame)
{
    HWND h = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 800, 600);
    RECT r;
    ASSERT_TRUE(GetClientRect(h, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 800 - 16);
    EXPECT_EQ(r.bottom, 600 - 39);
    RECT a = {0, 0, r.right, r.bottom};
    AdjustWindowRect(&a, WS_OVERLAPPEDWINDOW, FALSE);
    EXPECT_EQ(a.right - a.left, 800);
    EXPECT_EQ(a.bottom - a.top, 600);
}

TEST_F(WindowsLayer, PopupAtOriginIsFullScreen)
{
    HWND h = make(WS_POPUP | WS_VISIBLE | WS_SYSMENU, 640, 480);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(SDL_GetWindowFlags(PlatformSdlWindow(h)) & SDL_WINDOW_FULLSCREEN_DESKTOP);
    // The client area is the size asked for, not the desktop's: the device's
    // back buffer takes it and is shown across the whole screen.
    RECT r;
    EXPECT_TRUE(GetClientRect(h, &r));
    EXPECT_EQ(r.right, 640);
    EXPECT_EQ(r.bottom, 480);
    EXPECT_TRUE(GetWindowRect(h, &r));
    EXPECT_EQ(r.right - r.left, 640);
    EXPECT_EQ(r.bottom - r.top, 480);
}

TEST_F(WindowsLayer, DestroyWindowSendsDestroyAndDropsQueuedMessages)
{
    HWND h = make();
    PostMessageA(h, WM_USER + 1, 0, 0);
    PostMessageA(nullptr, WM_USER + 2, 0, 0);
    g_seen.clear();
    EXPECT_TRUE(DestroyWindow(h));
    auto seen = messages();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0], (UINT)WM_ACTIVATE); // it was the active window
    EXPECT_EQ(LOWORD(g_seen[0].wParam), WA_INACTIVE);
    EXPECT_EQ(seen[1], (UINT)WM_DESTROY);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(PlatformSdlWindow(h), nullptr);
    EXPECT_FALSE(PostMessageA(h, WM_USER, 0, 0));
    auto got = drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, (UINT)(WM_USER + 2));
    EXPECT_EQ(GetForegroundWindow(), nullptr);
}

TEST_F(WindowsLayer, PeekWithoutRemoveLeavesTheMessageAndQuitComesLast)
{
    HWND h = make();
    PostQuitMessage(7);
    PostMessageA(h, WM_USER, 1, 2);
    MSG m = {};
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, (UINT)WM_USER);
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, (UINT)WM_USER);
    EXPECT_EQ(m.wParam, (WPARAM)1);
    EXPECT_EQ(m.lParam, (LPARAM)2);
    EXPECT_EQ(m.hwnd, h);
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
    EXPECT_EQ(m.message, (UINT)WM_QUIT);
    EXPECT_EQ(m.wParam, (WPARAM)7);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(WindowsLayer, PeekFiltersByRangeAndWindow)
{
    HWND a = make();
    HWND b = make();
    PostMessageA(a, WM_USER + 5, 0, 0);
    PostMessageA(b, WM_USER + 1, 0, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER, WM_USER + 2, PM_REMOVE));
    EXPECT_EQ(m.hwnd, b);
    EXPECT_FALSE(PeekMessageA(&m, b, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageA(&m, a, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, (UINT)(WM_USER + 5));
}

TEST_F(WindowsLayer, KeyPressGivesKeyDownCharKeyUpInOrder)
{
    HWND h = make();
    PushKey(h, SDLK_a, true);
    PushText(h, "a");
    PushKey(h, SDLK_a, false);
    g_seen.clear();
    drain();
    std::vector<Seen> keys;
    for (auto& s : g_seen)
        if (s.message >= WM_KEYFIRST && s.message <= WM_KEYLAST)
            keys.push_back(s);
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].message, (UINT)WM_KEYDOWN);
    EXPECT_EQ(keys[0].wParam, (WPARAM)'A');
    EXPECT_EQ(keys[1].message, (UINT)WM_CHAR);
    EXPECT_EQ(keys[1].wParam, (WPARAM)'a');
    EXPECT_EQ(keys[2].message, (UINT)WM_KEYUP);
    EXPECT_EQ(keys[2].wParam, (WPARAM)'A');
    EXPECT_TRUE(keys[2].lParam & ((LPARAM)1 << 31));
}

TEST_F(WindowsLayer, VirtualKeysAndCharactersTable)
{
    struct Case {
        SDL_Keycode sym;
        Uint16 mod;
        const char* text;
        UINT down;
        WPARAM vk;
        std::vector<WPARAM> chars;
    };
    const Case cases[] = {
        {SDLK_ESCAPE, 0, nullptr, WM_KEYDOWN, VK_ESCAPE, {27}},
        {SDLK_BACKSPACE, 0, nullptr, WM_KEYDOWN, VK_BACK, {8}},
        {SDLK_TAB, 0, nullptr, WM_KEYDOWN, VK_TAB, {9}},
        {SDLK_RETURN, 0, nullptr, WM_KEYDOWN, VK_RETURN, {13}},
        {SDLK_c, KMOD_LCTRL, nullptr, WM_KEYDOWN, 'C', {3}},
        {SDLK_5, 0, "5", WM_KEYDOWN, '5', {'5'}},
        {SDLK_n, 0, "\xC3\xB1", WM_KEYDOWN, 'N', {0xF1}},      // n with tilde
        {SDLK_e, 0, "\xE2\x82\xAC", WM_KEYDOWN, 'E', {0x80}},  // euro sign
        {SDLK_e, 0, "\xE4\xB8\x80", WM_KEYDOWN, 'E', {'?'}},   // outside code page 1252
        {SDLK_F1, 0, nullptr, WM_KEYDOWN, VK_F1, {}},
        {SDLK_F12, 0, nullptr, WM_KEYDOWN, VK_F12, {}},
        {SDLK_LEFT, 0, nullptr, WM_KEYDOWN, VK_LEFT, {}},
        {SDLK_DELETE, 0, nullptr, WM_KEYDOWN, VK_DELETE, {}},
        {SDLK_RSHIFT, KMOD_RSHIFT, nullptr, WM_KEYDOWN, VK_SHIFT, {}},
        {SDLK_LCTRL, KMOD_LCTRL, nullptr, WM_KEYDOWN, VK_CONTROL, {}},
        {SDLK_LALT, KMOD_LALT, nullptr, WM_SYSKEYDOWN, VK_MENU, {}},
        {SDLK_F10, 0, nullptr, WM_SYSKEYDOWN, VK_F10, {}},
        {SDLK_x, KMOD_LALT, "x", WM_SYSKEYDOWN, 'X', {'x'}},
    };
    HWND h = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 320, 240, kKeepClass);
    for (const Case& c : cases) {
        SCOPED_TRACE(SDL_GetKeyName(c.sym));
        PushKey(h, c.sym, true, c.mod);
        if (c.text)
            PushText(h, c.text);
        PushKey(h, c.sym, false, c.mod);
        g_seen.clear();
        drain();
        std::vector<Seen> keys;
        for (auto& s : g_seen)
            if (s.message >= WM_KEYFIRST && s.message <= WM_KEYLAST)
                keys.push_back(s);
        ASSERT_EQ(keys.size(), 2 + c.chars.size());
        EXPECT_EQ(keys[0].message, c.down);
        EXPECT_EQ(keys[0].wParam, c.vk);
        UINT charMsg = c.down == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
        for (size_t i = 0; i < c.chars.size(); ++i) {
            EXPECT_EQ(keys[1 + i].message, charMsg);
            EXPECT_EQ(keys[1 + i].wParam, c.chars[i]);
        }
        EXPECT_EQ(keys.back().message, c.down == WM_SYSKEYDOWN ? (UINT)WM_SYSKEYUP : (UINT)WM_KEYUP);
    }
}

TEST_F(WindowsLayer, AutoRepeatGivesRepeatedKeyDowns)
{
    HWND h = make();
    PushKey(h, SDLK_F11, true);
    PushKey(h, SDLK_F11, true, 0, true);
    PushKey(h, SDLK_F11, true, 0, true);
    PushKey(h, SDLK_F11, false);
    g_seen.clear();
    drain();
    int downs = 0;
    for (auto& s : g_seen)
        if (s.message == WM_KEYDOWN) {
            EXPECT_EQ(s.wParam, (WPARAM)VK_F11);
            EXPECT_EQ((s.lParam >> 30) & 1, downs > 0 ? 1 : 0); // previous key state
            ++downs;
        }
    EXPECT_EQ(downs, 3);
}

TEST_F(WindowsLayer, CloseCommandsReachWmClose)
{
    HWND h = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 320, 240, kKeepClass);
    auto closes = [] {
        int n = 0;
        for (auto& s : g_seen)
            n += s.message == WM_CLOSE;
        return n;
    };
    // The window manager's close.
    PushWindowEvent(h, SDL_WINDOWEVENT_CLOSE);
    g_seen.clear();
    drain();
    EXPECT_EQ(closes(), 1);
    bool sc = false;
    for (auto& s : g_seen)
        sc |= s.message == WM_SYSCOMMAND && s.wParam == SC_CLOSE;
    EXPECT_TRUE(sc);
    // Alt+F4.
    PushKey(h, SDLK_LALT, true, KMOD_LALT);
    PushKey(h, SDLK_F4, true, KMOD_LALT);
    PushKey(h, SDLK_F4, false, KMOD_LALT);
    PushKey(h, SDLK_LALT, false, 0);
    g_seen.clear();
    drain();
    EXPECT_EQ(closes(), 1);
}

TEST_F(WindowsLayer, DefaultCloseDestroysTheWindowAndReleasingAltSendsKeyMenu)
{
    HWND h = make();
    PushKey(h, SDLK_LALT, true, KMOD_LALT);
    PushKey(h, SDLK_LALT, false, 0);
    g_seen.clear();
    drain();
    bool keyMenu = false;
    for (auto& s : g_seen)
        keyMenu |= s.message == WM_SYSCOMMAND && s.wParam == SC_KEYMENU;
    EXPECT_TRUE(keyMenu);
    EXPECT_TRUE(IsWindow(h));
    SendMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(WindowsLayer, FocusAndMinimiseGiveActivateMessages)
{
    HWND h = make();
    struct Step {
        Uint8 event;
        WORD state;
        WORD minimised;
    };
    const Step steps[] = {
        {SDL_WINDOWEVENT_FOCUS_LOST, WA_INACTIVE, 0},
        {SDL_WINDOWEVENT_FOCUS_GAINED, WA_ACTIVE, 0},
        {SDL_WINDOWEVENT_MINIMIZED, WA_INACTIVE, 1},
        {SDL_WINDOWEVENT_RESTORED, WA_ACTIVE, 0},
    };
    for (const Step& s : steps) {
        PushWindowEvent(h, s.event);
        g_seen.clear();
        MSG m;
        PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE); // sent during the peek
        ASSERT_EQ(g_seen.size(), 1u) << (int)s.event;
        EXPECT_EQ(g_seen[0].message, (UINT)WM_ACTIVATE);
        EXPECT_EQ(LOWORD(g_seen[0].wParam), s.state);
        EXPECT_EQ(HIWORD(g_seen[0].wParam), s.minimised);
    }
    // A repeated focus gain changes nothing.
    PushWindowEvent(h, SDL_WINDOWEVENT_FOCUS_GAINED);
    g_seen.clear();
    drain();
    EXPECT_TRUE(g_seen.empty());
}

// The system's minimise and restore commands, through the default handling,
// deactivate and reactivate the window once each.
TEST_F(WindowsLayer, MinimiseAndRestoreCommandsGiveActivateMessages)
{
    HWND h = make();
    drain();
    const struct {
        WPARAM command;
        WORD state;
        WORD minimised;
    } steps[] = {{SC_MINIMIZE, WA_INACTIVE, 1}, {SC_RESTORE, WA_ACTIVE, 0}};
    for (const auto& s : steps) {
        g_seen.clear();
        SendMessageA(h, WM_SYSCOMMAND, s.command, 0);
        drain(); // whatever SDL reports about it changes nothing more
        std::vector<Seen> activations;
        for (const Seen& m : g_seen)
            if (m.message == WM_ACTIVATE)
                activations.push_back(m);
        ASSERT_EQ(activations.size(), 1u) << std::hex << s.command;
        EXPECT_EQ(LOWORD(activations[0].wParam), s.state);
        EXPECT_EQ(HIWORD(activations[0].wParam), s.minimised);
    }
    EXPECT_TRUE(IsWindow(h));
}

TEST_F(WindowsLayer, WaitMessageReturnsForPostedMessagesAndEvents)
{
    HWND h = make();
    drain();
    PostMessageA(h, WM_USER, 0, 0);
    unsigned before = PlatformIdleWaitCount();
    EXPECT_TRUE(WaitMessage()); // already waiting: does not block
    EXPECT_EQ(PlatformIdleWaitCount(), before);
    drain();
    PlatformSetIdleWaitHook([](void* ctx) { PostMessageA((HWND)ctx, WM_USER + 3, 0, 0); }, h);
    EXPECT_TRUE(WaitMessage());
    PlatformSetIdleWaitHook(nullptr, nullptr);
    EXPECT_EQ(PlatformIdleWaitCount(), before + 1);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, (UINT)(WM_USER + 3));
    // An SDL event ends the wait too.
    PushKey(h, SDLK_b, true);
    EXPECT_TRUE(WaitMessage());
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, (UINT)WM_KEYDOWN);
}

TEST_F(WindowsLayer, CursorFollowsSetCursorAndShowCount)
{
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(LoadCursorA(GetModuleHandleA(nullptr), IDC_ARROW), nullptr);
    SetCursor(arrow);
    EXPECT_TRUE(PlatformCursorVisible());
    EXPECT_EQ(SetCursor(nullptr), arrow);
    EXPECT_FALSE(PlatformCursorVisible());
    SetCursor(arrow);
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_FALSE(PlatformCursorVisible());
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_TRUE(PlatformCursorVisible());
}

TEST_F(WindowsLayer, ModuleIconAndStockObjects)
{
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    EXPECT_EQ(GetModuleHandleA("nosuch.dll"), nullptr);
    EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), nullptr), nullptr);
    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
    HGDIOBJ white = GetStockObject(WHITE_BRUSH);
    ASSERT_NE(white, nullptr);
    EXPECT_NE(white, GetStockObject(BLACK_BRUSH));
    EXPECT_EQ(PlatformStockObjectIndex(white), WHITE_BRUSH);
    EXPECT_EQ(PlatformStockObjectIndex(&white), -1);
}

} // namespace
