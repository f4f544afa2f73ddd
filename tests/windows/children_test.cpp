// Child windows over SDL's offscreen driver: painting order and update
// areas, window device contexts and shapes on the shown picture, mouse
// routing, focus, capture, and the BUTTON and COMBOBOX controls.
#include <windows.h>
#include <SDL.h>

#include "sdl_events.h"
#include "windows/win_internal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> g_seen;
const UINT kWatched[] = {WM_PAINT,  WM_COMMAND,     WM_LBUTTONDOWN, WM_LBUTTONUP,     WM_DESTROY,
                         WM_NCDESTROY, WM_SETFOCUS, WM_KILLFOCUS,   WM_KEYDOWN,       WM_CAPTURECHANGED};

LRESULT CALLBACK Recording(HWND h, UINT m, WPARAM w, LPARAM l)
{
    for (UINT watched : kWatched)
        if (m == watched)
            g_seen.push_back({h, m, w, l});
    return DefWindowProcA(h, m, w, l);
}

class Children : public ::testing::Test {
protected:
    void SetUp() override
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = Recording;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
            wc.lpszClassName = "ChildrenTest";
            ASSERT_NE(RegisterClassA(&wc), 0);
            registered = true;
        }
        top = CreateWindowExA(0, "ChildrenTest", "top", WS_POPUP | WS_VISIBLE, 40, 30, 200, 150, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(top, nullptr);
        g_seen.clear();
    }
    void TearDown() override
    {
        DestroyWindow(top);
        PlatformResetMessageQueue();
    }
    HWND Child(const char* cls, DWORD style, int x, int y, int w, int h, int id, HWND parent = nullptr,
               const char* text = "")
    {
        return CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent ? parent : top,
                               (HMENU)(intptr_t)id, GetModuleHandleA(nullptr), nullptr);
    }
    static void Pump()
    {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    void Click(int x, int y)
    {
        PushMouseButton(top, x, y, true);
        PushMouseButton(top, x, y, false);
        Pump();
    }
    void Key(SDL_Keycode k)
    {
        PushKey(top, k, true);
        PushKey(top, k, false);
        Pump();
    }
    std::vector<Seen> Only(UINT message) const
    {
        std::vector<Seen> out;
        for (const Seen& s : g_seen)
            if (s.message == message)
                out.push_back(s);
        return out;
    }
    // The shown picture's pixel, 0x00RRGGBB as a COLORREF.
    COLORREF Shown(int x, int y)
    {
        SDL_Surface* s = SDL_GetWindowSurface(PlatformSdlWindow(top));
        SDL_Surface* c = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_RGB888, 0);
        Uint32 p = reinterpret_cast<const Uint32*>(static_cast<const Uint8*>(c->pixels) + y * c->pitch)[x];
        SDL_FreeSurface(c);
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    HWND top = nullptr;
};

TEST_F(Children, PaintComesAfterOtherMessagesParentsFirstOncePerUpdate)
{
    HWND a = Child("ChildrenTest", 0, 10, 10, 50, 40, 1);
    HWND b = Child("ChildrenTest", 0, 100, 10, 50, 40, 2);
    PostMessageA(top, WM_COMMAND, 7, 0);
    Pump();
    std::vector<HWND> order;
    for (const Seen& s : g_seen)
        order.push_back(s.message == WM_COMMAND ? nullptr : s.hwnd);
    EXPECT_EQ(order, (std::vector<HWND>{nullptr, top, a, b}));

    // Without WS_CLIPCHILDREN a parent's update takes in its children there.
    g_seen.clear();
    RECT left = {0, 0, 70, 150};
    InvalidateRect(top, &left, TRUE);
    Pump();
    EXPECT_EQ(Only(WM_PAINT).size(), 2u);
    EXPECT_EQ(Only(WM_PAINT)[1].hwnd, a);
    SetWindowLongA(top, GWL_STYLE, GetWindowLongA(top, GWL_STYLE) | WS_CLIPCHILDREN);
    g_seen.clear();
    InvalidateRect(top, nullptr, TRUE);
    Pump();
    ASSERT_EQ(Only(WM_PAINT).size(), 1u);
    EXPECT_EQ(Only(WM_PAINT)[0].hwnd, top);
}

TEST_F(Children, DeviceContextsDrawOnlyWhereTheWindowShows)
{
    HWND child = Child("ChildrenTest", 0, 20, 20, 30, 30, 1);
    Pump();
    HDC dc = GetDC(child);
    RECT huge = {-100, -100, 400, 400};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &huge, red);
    ReleaseDC(child, dc);
    Pump(); // shows the surface
    EXPECT_EQ(Shown(20, 20), RGB(255, 0, 0));
    EXPECT_EQ(Shown(49, 49), RGB(255, 0, 0));
    EXPECT_EQ(Shown(50, 50), RGB(255, 255, 255)) << "class background of the parent";
    EXPECT_EQ(Shown(19, 30), RGB(255, 255, 255));

    // A shape: outside it nothing shows and no mouse input arrives.
    SetWindowRgn(top, CreateRectRgn(0, 0, 100, 150), TRUE);
    Pump();
    EXPECT_EQ(Shown(150, 100), RGB(0, 0, 0));
    EXPECT_EQ(Shown(60, 100), RGB(255, 255, 255));
    g_seen.clear();
    Click(150, 100);
    EXPECT_TRUE(Only(WM_LBUTTONDOWN).empty());
    Click(60, 100);
    EXPECT_EQ(Only(WM_LBUTTONDOWN).size(), 1u);
    DeleteObject(red);
}

TEST_F(Children, MouseGoesToTheTopmostChildUnderItOrToTheCapture)
{
    HWND under = Child("ChildrenTest", 0, 10, 10, 80, 80, 1);
    HWND over = Child("ChildrenTest", 0, 50, 50, 80, 80, 2);
    HWND inner = Child("ChildrenTest", 0, 5, 5, 20, 20, 3, over);
    Click(60, 60);
    Click(20, 20);
    Click(170, 120);
    std::vector<Seen> downs = Only(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 3u);
    EXPECT_EQ(downs[0].hwnd, inner);
    EXPECT_EQ(downs[0].lParam, MAKELPARAM(5, 5));
    EXPECT_EQ(downs[1].hwnd, under);
    EXPECT_EQ(downs[2].hwnd, top);
    EXPECT_EQ(downs[0].wParam & MK_LBUTTON, (WPARAM)MK_LBUTTON);

    g_seen.clear();
    SetCapture(under);
    Click(170, 120);
    ASSERT_EQ(Only(WM_LBUTTONUP).size(), 1u);
    EXPECT_EQ(Only(WM_LBUTTONUP)[0].hwnd, under);
    EXPECT_EQ(Only(WM_LBUTTONUP)[0].lParam, MAKELPARAM(160, 110));
    ReleaseCapture();
    ASSERT_EQ(Only(WM_CAPTURECHANGED).size(), 1u);
}

TEST_F(Children, KeysGoToTheFocusAndDestroyingGoesParentFirstThenChildren)
{
    HWND a = Child("ChildrenTest", 0, 0, 0, 10, 10, 1);
    HWND b = Child("ChildrenTest", 0, 20, 0, 10, 10, 2, a);
    EXPECT_EQ(SetFocus(b), top);
    EXPECT_EQ(GetFocus(), b);
    Key(SDLK_x);
    ASSERT_EQ(Only(WM_KEYDOWN).size(), 1u);
    EXPECT_EQ(Only(WM_KEYDOWN)[0].hwnd, b);
    EXPECT_EQ(GetDlgItem(top, 1), a);
    EXPECT_EQ(GetDlgCtrlID(b), 2);
    EXPECT_EQ(GetParent(b), a);
    EXPECT_EQ((HINSTANCE)(intptr_t)GetWindowLongA(a, GWL_HINSTANCE), GetModuleHandleA(nullptr));
    EXPECT_TRUE(GetWindowLongA(a, GWL_STYLE) & WS_CHILD);
    g_seen.clear();
    DestroyWindow(a);
    std::vector<std::pair<HWND, UINT>> got;
    for (const Seen& s : g_seen)
        if (s.message == WM_DESTROY || s.message == WM_NCDESTROY)
            got.push_back({s.hwnd, s.message});
    EXPECT_EQ(got, (std::vector<std::pair<HWND, UINT>>{
                       {a, WM_DESTROY}, {b, WM_DESTROY}, {b, WM_NCDESTROY}, {a, WM_NCDESTROY}}));
    EXPECT_FALSE(IsWindow(b));
    EXPECT_EQ(GetFocus(), top);
}

TEST_F(Children, ButtonsNotifyTheirParentWhenReleasedOverThem)
{
    HWND push = Child("BUTTON", BS_PUSHBUTTON, 10, 10, 60, 24, 11, nullptr, "Go");
    HWND check = Child("BUTTON", BS_AUTOCHECKBOX, 10, 50, 80, 20, 12, nullptr, "Box");
    Click(20, 20);
    // Pressed, then released away from it: no click.
    PushMouseButton(top, 20, 20, true);
    PushMouseMotion(top, 150, 120);
    PushMouseButton(top, 150, 120, false);
    Pump();
    Click(15, 55);
    Key(SDLK_SPACE); // the check box has the focus now
    std::vector<Seen> commands = Only(WM_COMMAND);
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(11, BN_CLICKED));
    EXPECT_EQ((HWND)commands[0].lParam, push);
    EXPECT_EQ(commands[1].wParam, MAKEWPARAM(12, BN_CLICKED));
    EXPECT_EQ(commands[2].wParam, MAKEWPARAM(12, BN_CLICKED));
    EXPECT_EQ(SendMessageA(check, BM_GETCHECK, 0, 0), BST_UNCHECKED); // ticked, then unticked
    EXPECT_EQ(GetCapture(), nullptr);
    char text[8];
    EXPECT_EQ(GetWindowTextA(push, text, sizeof text), 2);
    EXPECT_STREQ(text, "Go");
}

TEST_F(Children, DropDownListKeepsItsItemsAndNotifiesItsChoices)
{
    HWND list = Child("COMBOBOX", CBS_DROPDOWNLIST, 10, 10, 120, 100, 21);
    for (const char* s : {"one", "two", "three"})
        SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)s);
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(SendMessageA(list, CB_SETCURSEL, 5, 0), CB_ERR);
    EXPECT_EQ(SendMessageA(list, CB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(SendMessageA(list, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)"THREE"), 2);
    EXPECT_EQ(SendMessageA(list, CB_GETLBTEXTLEN, 2, 0), 5);
    EXPECT_EQ(SendMessageA(list, CB_GETLBTEXT, 3, 0), CB_ERR);
    RECT box;
    GetWindowRect(list, &box);
    EXPECT_LT(box.bottom - box.top, 40) << "the window is the closed box";

    auto codes = [] {
        std::vector<int> out;
        for (const Seen& s : g_seen)
            if (s.message == WM_COMMAND)
                out.push_back(HIWORD(s.wParam));
        g_seen.clear();
        return out;
    };
    Click(20, 15);
    EXPECT_TRUE(SendMessageA(list, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(codes(), (std::vector<int>{CBN_SETFOCUS, CBN_DROPDOWN}));
    Key(SDLK_DOWN);
    Key(SDLK_RETURN);
    EXPECT_EQ(codes(), (std::vector<int>{CBN_SELCHANGE, CBN_SELENDOK, CBN_CLOSEUP}));
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 2);
    Key(SDLK_HOME); // closed: the choice changes at once
    EXPECT_EQ(codes(), (std::vector<int>{CBN_SELCHANGE}));
    Key(SDLK_F4);
    Key(SDLK_DOWN);
    Key(SDLK_ESCAPE);
    EXPECT_EQ(codes(), (std::vector<int>{CBN_DROPDOWN, CBN_SELENDCANCEL, CBN_CLOSEUP}));
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
    PushText(top, "t");
    Pump();
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 1) << "typing a letter";
    EXPECT_EQ(SendMessageA(list, CB_DELETESTRING, 0, 0), 2);
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
}

} // namespace
