// The launcher dialog as a user drives it: synthetic mouse and key events
// through SDL's offscreen driver, given one at a time whenever the dialog
// waits for input, and a picture of the window read back from its surface.
#include <windows.h>

#include "sdl_events.h"
#include "vornlauncher.h"
#include "windows/win_internal.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

typedef std::map<std::string, std::string> Choices;
typedef std::function<void()> Step;

const int W = 260, H = 180;
const unsigned int kKey = 0xFFFF00FF;
const unsigned int kNotKey = 0x00FF00FF; // the key's colour with another alpha
const POINT kAlphaPixel = {5, 0};

// A skin with a key-coloured border two pixels wide (one pixel of it
// differing from the key only in alpha) around a gradient.
std::vector<unsigned int> MakeSkin()
{
    std::vector<unsigned int> p((size_t)W * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            bool border = x < 2 || y < 2 || x >= W - 2 || y >= H - 2;
            p[(size_t)y * W + x] = border ? kKey : 0xFF000000u | (unsigned)(40 + y / 2) << 16 | (unsigned)(90 + x / 4) << 8 | 160u;
        }
    p[(size_t)kAlphaPixel.y * W + kAlphaPixel.x] = kNotKey;
    return p;
}

COLORREF SkinColour(const std::vector<unsigned int>& skin, int x, int y)
{
    unsigned int p = skin[(size_t)y * W + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

// Runs one step each time the dialog waits for input; a dialog still open
// when the steps are used up is a failure and is ended.
struct Script {
    std::vector<Step> steps;
    size_t next = 0;
    static void Idle(void* context)
    {
        Script* s = static_cast<Script*>(context);
        if (s->next < s->steps.size()) {
            s->steps[s->next++]();
            return;
        }
        ADD_FAILURE() << "the dialog is still open after the last step";
        PostQuitMessage(0);
    }
};

// The window's picture as shown: 0x00RRGGBB by pixel.
struct Picture {
    int width = 0, height = 0;
    std::vector<Uint32> pixels;
    COLORREF at(int x, int y) const
    {
        Uint32 p = pixels[(size_t)y * width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    int darkIn(const RECT& r) const
    {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                COLORREF c = at(x, y);
                n += GetRValue(c) + GetGValue(c) + GetBValue(c) < 200;
            }
        return n;
    }
};

Picture Capture(HWND h)
{
    Picture pic;
    SDL_Surface* s = SDL_GetWindowSurface(PlatformSdlWindow(h));
    if (!s)
        return pic;
    SDL_Surface* c = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_RGB888, 0);
    pic.width = c->w;
    pic.height = c->h;
    for (int y = 0; y < c->h; ++y) {
        const Uint32* row = reinterpret_cast<const Uint32*>(static_cast<const Uint8*>(c->pixels) + y * c->pitch);
        pic.pixels.insert(pic.pixels.end(), row, row + c->w);
    }
    SDL_FreeSurface(c);
    return pic;
}

// The dialog of these tests: two buttons, two check items (the first
// ticked) and three lists.
const RECT kStart = {20, 140, 90, 164};
const RECT kQuit = {110, 140, 180, 164};
const RECT kSound = {16, 16, 126, 36};
const RECT kWindowed = {16, 44, 126, 64};
const RECT kResolution = {140, 16, 240, 106};
const RECT kDetail = {140, 56, 240, 136};
const RECT kMode = {140, 96, 240, 156};
const POINT kSkinSpot = {60, 100}; // no control there

class Launcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        skin = MakeSkin();
        launcher = new VORNLauncher;
        launcher->SetSkin(skin.data(), W, H, kKey);
        Add(kStart, "Start");
        Add(kQuit, "Quit");
        launcher->AddCheck(kSound.left, kSound.top, kSound.right - kSound.left, kSound.bottom - kSound.top, "Sound", 1);
        launcher->AddCheck(kWindowed.left, kWindowed.top, kWindowed.right - kWindowed.left,
                           kWindowed.bottom - kWindowed.top, "Windowed", 0);
        AddList(kResolution, "640x480|800x600|1024x768&", "Resolution");
        AddList(kDetail, "Low|High&Quality|Medium", "Detail");
        AddList(kMode, "Fast|Slow", "Mode");
    }
    void TearDown() override
    {
        PlatformSetIdleWaitHook(nullptr, nullptr);
        delete launcher;
        UnregisterClassA("VORNLauncher", GetModuleHandleA(nullptr));
        PlatformResetMessageQueue();
    }
    void Add(const RECT& r, const char* label)
    {
        launcher->AddButton(r.left, r.top, r.right - r.left, r.bottom - r.top, label);
    }
    void AddList(const RECT& r, const char* options, const char* key)
    {
        launcher->AddCombo(r.left, r.top, r.right - r.left, r.bottom - r.top, options, key);
    }
    Choices Run(std::vector<Step> steps)
    {
        script.steps = std::move(steps);
        script.next = 0;
        PlatformSetIdleWaitHook(&Script::Idle, &script);
        Choices c = launcher->Run();
        PlatformSetIdleWaitHook(nullptr, nullptr);
        return c;
    }
    HWND Window() const { return launcher->m_hWnd; }
    Step Click(POINT p)
    {
        return [this, p] {
            PushMouseButton(Window(), p.x, p.y, true);
            PushMouseButton(Window(), p.x, p.y, false);
        };
    }
    Step Key(SDL_Keycode k)
    {
        return [this, k] {
            PushKey(Window(), k, true);
            PushKey(Window(), k, false);
        };
    }
    static POINT Centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
    // A list's box: the top of its rectangle (the rest is the opened list).
    static POINT Box(const RECT& r) { return {(r.left + r.right) / 2, r.top + 8}; }
    // The middle of option i of the list at r once it is open.
    POINT Option(const RECT& r, int i)
    {
        HWND list = nullptr;
        for (LauncherCombo* c : launcher->m_combos)
            if (c->m_x == r.left && c->m_y == r.top)
                list = c->m_hWnd;
        RECT box;
        GetClientRect(list, &box);
        int item = (int)SendMessageA(list, CB_GETITEMHEIGHT, 0, 0);
        return {(r.left + r.right) / 2 - 10, r.top + box.bottom + 1 + i * item + item / 2};
    }
    Step ClickOption(const RECT& r, int i)
    {
        return [this, r, i] { Click(Option(r, i))(); };
    }
    std::vector<unsigned int> skin;
    VORNLauncher* launcher = nullptr;
    Script script;
};

const Choices kUntouched = {{"Start", "false"},        {"Quit", "false"},   {"Sound", "true"},
                            {"Windowed", "false"},     {"Detail", "High"},  {"Mode", "Fast"},
                            {"Resolution", "1024x768"}};

Choices With(Choices c, const Choices& changes)
{
    for (const auto& kv : changes)
        c[kv.first] = kv.second;
    return c;
}

TEST_F(Launcher, PushingAButtonEndsItWithThatButtonTrue)
{
    EXPECT_EQ(Run({Click(Centre(kQuit))}), With(kUntouched, {{"Quit", "true"}}));
}

TEST_F(Launcher, EscEndsItWithNoButtonPushed)
{
    EXPECT_EQ(Run({Key(SDLK_ESCAPE)}), kUntouched);
}

TEST_F(Launcher, ClickingACheckItemTogglesItsTick)
{
    Choices got = Run({Click(Centre(kSound)), Click(Centre(kWindowed)), Click(Centre(kWindowed)),
                       Click(Centre(kWindowed)), Click(Centre(kStart))});
    EXPECT_EQ(got, With(kUntouched, {{"Sound", "false"}, {"Windowed", "true"}, {"Start", "true"}}));
}

TEST_F(Launcher, ListOptionsAreChosenWithTheMouseAndTheKeyboard)
{
    Choices got = Run({
        Click(Box(kResolution)), ClickOption(kResolution, 0), // 640x480
        Click(Box(kDetail)), Key(SDLK_DOWN), Key(SDLK_RETURN),  // High -> Medium
        Click(Box(kMode)), Key(SDLK_ESCAPE),                    // opened and given up
        Key(SDLK_DOWN),                                            // closed: Fast -> Slow at once
        Click(Centre(kStart)),
    });
    EXPECT_EQ(got, With(kUntouched, {{"Resolution", "640x480"}, {"Detail", "Medium"}, {"Mode", "Slow"}, {"Start", "true"}}));
}

TEST_F(Launcher, AnOpenListCoversTheListsBelowIt)
{
    // Resolution's list lies over the Detail box: a click there chooses an
    // option of Resolution and leaves Detail closed.
    Choices got = Run({Click(Box(kResolution)),
                       [this] {
                           POINT p = Option(kResolution, 2);
                           EXPECT_GE(p.y, kDetail.top);
                           Click(p)();
                       },
                       [this] {
                           for (LauncherCombo* c : launcher->m_combos)
                               EXPECT_FALSE(SendMessageA(c->m_hWnd, CB_GETDROPPEDSTATE, 0, 0)) << c->m_key;
                           Click(Centre(kQuit))();
                       }});
    EXPECT_EQ(got, With(kUntouched, {{"Quit", "true"}}));
}

TEST_F(Launcher, AnOpenListIsAPopUpThatReachesPastTheWindowsEdge)
{
    // A list low in the dialog: its options run on below the window.
    const RECT kLow = {186, 150, 256, 260};
    AddList(kLow, "North|South|East|West", "Low");
    HWND list = nullptr;
    Choices got = Run({Click(Box(kLow)),
                       [&] {
                           HWND combo = launcher->m_combos.back()->m_hWnd;
                           COMBOBOXINFO info = {};
                           info.cbSize = sizeof info;
                           ASSERT_TRUE(GetComboBoxInfo(combo, &info));
                           list = info.hwndList;
                           ASSERT_NE(list, nullptr);
                           EXPECT_EQ(GetParent(list), nullptr) << "a top-level window";
                           EXPECT_TRUE(GetWindowLongA(list, GWL_STYLE) & WS_POPUP);
                           EXPECT_TRUE(IsWindowVisible(list));
                           RECT window, box, dropped;
                           GetWindowRect(Window(), &window);
                           GetWindowRect(combo, &box);
                           GetWindowRect(list, &dropped);
                           EXPECT_EQ(dropped.left, box.left);
                           EXPECT_EQ(dropped.right, box.right);
                           EXPECT_EQ(dropped.top, box.bottom);
                           // The last option lies wholly below the window, and shows.
                           int item = (int)SendMessageA(combo, CB_GETITEMHEIGHT, 0, 0);
                           RECT last = {2, 1 + 3 * item, dropped.right - dropped.left - 2, 1 + 4 * item};
                           EXPECT_GT(dropped.top + last.top, window.bottom);
                           Picture pic = Capture(list);
                           ASSERT_GE(pic.height, last.bottom);
                           EXPECT_GT(pic.darkIn(last), 10) << "the text of West";
                           EXPECT_EQ(pic.at(last.right - 2, last.top + 1), RGB(255, 255, 255));
                           // Clicked where the display shows it.
                           POINT p = {(last.left + last.right) / 2, (last.top + last.bottom) / 2};
                           PushMouseButton(list, p.x, p.y, true);
                           PushMouseButton(list, p.x, p.y, false);
                       },
                       [&] {
                           EXPECT_FALSE(IsWindow(list)) << "closed by the choice";
                           Click(Centre(kQuit))();
                       }});
    EXPECT_EQ(got, With(kUntouched, {{"Low", "West"}, {"Quit", "true"}}));
}

TEST_F(Launcher, OptionWrittenWithAnAmpersandShowsAndComesBackCut)
{
    Choices got = Run({[this] {
        HWND detail = launcher->m_combos[1]->m_hWnd;
        char text[64] = {};
        SendMessageA(detail, CB_GETLBTEXT, 1, (LPARAM)text);
        EXPECT_STREQ(text, "High");
        EXPECT_EQ(SendMessageA(detail, CB_GETCURSEL, 0, 0), 1);
        EXPECT_EQ(SendMessageA(detail, CB_GETCOUNT, 0, 0), 3);
        Key(SDLK_ESCAPE)();
    }});
    EXPECT_EQ(got["Detail"], "High");
    EXPECT_EQ(launcher->m_combos[1]->m_options, (std::vector<std::string>{"Low", "High", "Medium"}));
}

TEST_F(Launcher, EmptyOptionsAreLeftOutAndNeverRead)
{
    struct Case {
        const char* options;
        std::vector<std::string> kept;
        const char* shown;
    };
    const Case cases[] = {
        {"a||b", {"a", "b"}, "a"},     {"|x|", {"x"}, "x"},      {"", {}, ""},
        {"|||", {}, ""},               {"p|q&|", {"p", "q"}, "q"}, {"&|z", {"", "z"}, ""},
    };
    for (const Case& c : cases)
        launcher->AddCombo(10, 10, 50, 50, c.options, c.options);
    Choices got = Run({Key(SDLK_ESCAPE)});
    size_t first = launcher->m_combos.size() - sizeof cases / sizeof cases[0];
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const LauncherCombo* combo = launcher->m_combos[first + i];
        EXPECT_EQ(combo->m_options, cases[i].kept) << cases[i].options;
        EXPECT_EQ(combo->m_count, (int)cases[i].kept.size()) << cases[i].options;
        EXPECT_EQ(got[cases[i].options], cases[i].shown) << cases[i].options;
    }
}

TEST_F(Launcher, DraggingTheSkinMovesTheWindowButPressingAControlDoesNot)
{
    RECT before = {}, afterControls = {}, afterSkin = {};
    auto drag = [this](POINT from, int dx, int dy) {
        return [this, from, dx, dy] {
            PushMouseButton(Window(), from.x, from.y, true);
            PushMouseMotion(Window(), from.x + dx / 2, from.y + dy / 2);
            PushMouseMotion(Window(), from.x + dx, from.y + dy);
            PushMouseButton(Window(), from.x + dx, from.y + dy, false);
        };
    };
    Choices got = Run({
        [this, &before] { GetWindowRect(Window(), &before); },
        // Pressed on a control, released away from it: neither a click nor a move.
        drag(Centre(kStart), 0, -60),
        drag(Centre(kSound), 150, 0),
        [this, &afterControls] { GetWindowRect(Window(), &afterControls); },
        drag(kSkinSpot, 37, -21),
        [this, &afterSkin] { GetWindowRect(Window(), &afterSkin); },
        Click(Centre(kQuit)),
    });
    EXPECT_EQ(got, With(kUntouched, {{"Quit", "true"}}));
    EXPECT_EQ(afterControls.left, before.left);
    EXPECT_EQ(afterControls.top, before.top);
    EXPECT_EQ(afterSkin.left, before.left + 37);
    EXPECT_EQ(afterSkin.top, before.top - 21);
    EXPECT_EQ(afterSkin.right - afterSkin.left, W);
}

TEST_F(Launcher, WindowIsCentredOnTheScreen)
{
    RECT r = {};
    Run({[this, &r] {
        GetWindowRect(Window(), &r);
        Key(SDLK_ESCAPE)();
    }});
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - W) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - H) / 2);
    EXPECT_EQ(r.bottom - r.top, H);
}

TEST_F(Launcher, KeyColouredBorderIsCutOutOfTheShape)
{
    bool inside[4] = {};
    int clicksOnBorder = 0;
    Choices got = Run({[&] {
        HRGN shape = CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(GetWindowRgn(Window(), shape), ERROR);
        inside[0] = PtInRegion(shape, 0, 0);
        inside[1] = PtInRegion(shape, 1, H - 1);
        inside[2] = PtInRegion(shape, 2, 2);
        inside[3] = PtInRegion(shape, kAlphaPixel.x, kAlphaPixel.y);
        DeleteObject(shape);
        // A press on the border reaches nothing: it starts no drag.
        RECT before;
        GetWindowRect(Window(), &before);
        PushMouseButton(Window(), 1, 100, true);
        PushMouseMotion(Window(), 60, 130);
        PushMouseButton(Window(), 60, 130, false);
        clicksOnBorder = before.left;
    },
                       [&] {
                           RECT now;
                           GetWindowRect(Window(), &now);
                           clicksOnBorder = now.left - clicksOnBorder;
                           Key(SDLK_ESCAPE)();
                       }});
    EXPECT_FALSE(inside[0]);
    EXPECT_FALSE(inside[1]);
    EXPECT_TRUE(inside[2]);
    EXPECT_TRUE(inside[3]) << "a pixel that differs from the key only in alpha stays";
    EXPECT_EQ(clicksOnBorder, 0) << "the window moved";
    EXPECT_EQ(got, kUntouched);
}

TEST_F(Launcher, PictureShowsTheSkinTheTicksAndTheLists)
{
    Picture pic;
    Run({[&] {
        pic = Capture(Window());
        Key(SDLK_ESCAPE)();
    }});
    ASSERT_GE(pic.width, W);
    ASSERT_GE(pic.height, H);
    // The skin, with the cut-out border black and the alpha-only pixel kept.
    EXPECT_EQ(pic.at(kSkinSpot.x, kSkinSpot.y), SkinColour(skin, kSkinSpot.x, kSkinSpot.y));
    EXPECT_EQ(pic.at(W - 3, H - 3), SkinColour(skin, W - 3, H - 3));
    EXPECT_EQ(pic.at(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(pic.at(kAlphaPixel.x, kAlphaPixel.y), RGB(255, 0, 255));
    // Check items: filled with the check colour, a white box of side 10 at
    // the left, the tick drawn in the ticked one only.
    EXPECT_EQ(launcher->m_checkColor, GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(pic.at(kSound.left + 14, kSound.top + 1), launcher->m_checkColor);
    for (const RECT& item : {kSound, kWindowed}) {
        int left = item.left, bottom = item.bottom;
        EXPECT_EQ(pic.at(left, bottom - 6), RGB(0, 0, 0));          // the box's outline
        EXPECT_EQ(pic.at(left + 1, bottom - 7), RGB(255, 255, 255)); // its inside
    }
    EXPECT_EQ(pic.at(kSound.left + 5, kSound.bottom - 8), RGB(0, 0, 0)) << "tick";
    EXPECT_EQ(pic.at(kWindowed.left + 5, kWindowed.bottom - 8), RGB(255, 255, 255)) << "no tick";
    EXPECT_GT(pic.darkIn({kSound.left + 40, kSound.top, kSound.right, kSound.bottom}), 20) << "label";
    // The lists show their options' text on white, with a drop arrow.
    for (const RECT& list : {kResolution, kDetail, kMode}) {
        RECT field = {list.left + 3, list.top + 3, list.right - 20, list.top + 18};
        EXPECT_EQ(pic.at(field.right - 2, field.top + 1), RGB(255, 255, 255));
        EXPECT_GT(pic.darkIn(field), 15);
        EXPECT_GT(pic.darkIn({list.right - 18, list.top + 3, list.right - 3, list.top + 20}), 6) << "arrow";
    }
    // Buttons show their captions.
    EXPECT_GT(pic.darkIn(kStart), 20);
}

TEST_F(Launcher, ClosingTheWindowReadsTheListsBeforeTheyGo)
{
    Choices got = Run({Click(Box(kResolution)), Key(SDLK_UP), Key(SDLK_RETURN), // 800x600
                       [this] { PushWindowEvent(Window(), SDL_WINDOWEVENT_CLOSE); }});
    EXPECT_EQ(got, With(kUntouched, {{"Resolution", "800x600"}}));
}

TEST_F(Launcher, NoQuitMessageIsLeftWhenRunReturns)
{
    for (Step end : {Click(Centre(kStart)), Key(SDLK_ESCAPE), Step([this] {
                         PushWindowEvent(Window(), SDL_WINDOWEVENT_CLOSE);
                     })}) {
        Run({end});
        MSG m;
        int quits = 0;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            quits += m.message == WM_QUIT;
        EXPECT_EQ(quits, 0);
        UnregisterClassA("VORNLauncher", GetModuleHandleA(nullptr));
    }
}

TEST_F(Launcher, WindowIsShownOncePerProcessAndASecondRunDoesNotWait)
{
    Run({Key(SDLK_ESCAPE)});
    // The class stays registered: this run shows nothing and returns at once.
    script.steps.clear();
    Choices got = launcher->Run();
    EXPECT_EQ(got, kUntouched);
}

TEST(LauncherLife, OneLauncherAtATimeAndIdsRestartAfterOne)
{
    VORNLauncher* first = new VORNLauncher;
    EXPECT_EQ(VORNLauncher::Instance(), first);
#ifdef NDEBUG
    // A second one is refused: it takes nothing over, and going leaves the
    // first in place.
    VORNLauncher* second = new VORNLauncher;
    EXPECT_EQ(VORNLauncher::Instance(), first);
    EXPECT_EQ(second->m_hWnd, nullptr);
    EXPECT_EQ(second->m_width, 0);
    delete second;
    EXPECT_EQ(VORNLauncher::Instance(), first);
#endif
    first->AddButton(0, 0, 1, 1, "a");
    int id = first->m_buttons[0]->m_id;
    first->AddCheck(0, 0, 1, 1, "b", 1);
    EXPECT_EQ(first->m_checks[0]->m_id, id + 1);
    EXPECT_EQ(first->IsChecked(id + 1), 1);
    first->ClearChecked(id + 1);
    EXPECT_EQ(first->IsChecked(id + 1), 0);
    EXPECT_EQ(first->IsChecked(999), 0);
    EXPECT_EQ(first->GetCheckWindow(999), nullptr);
    EXPECT_EQ(first->GetCheckLabel(999), "");
    EXPECT_EQ(first->GetCheckLabel(id + 1), "b");
    delete first;
    EXPECT_EQ(VORNLauncher::Instance(), nullptr);
    VORNLauncher next;
    next.AddButton(0, 0, 1, 1, "c");
    EXPECT_EQ(next.m_buttons[0]->m_id, 1);
}

TEST(LauncherLife, SkinRegionDataShapesTheWindow)
{
    VORNLauncher l;
    std::vector<unsigned int> skin((size_t)W * H, 0xFF336699);
    struct {
        RGNDATAHEADER header;
        RECT rects[2];
    } data = {{sizeof(RGNDATAHEADER), RDH_RECTANGLES, 2, 2 * sizeof(RECT), {0, 0, W, H}},
              {{0, 0, W, H / 2}, {W / 4, H / 2, 3 * W / 4, H}}};
    l.SetSkinRegion(skin.data(), W, H, reinterpret_cast<const RGNDATA*>(&data), 2);
    ASSERT_NE(l.m_hRgn, nullptr);
    EXPECT_TRUE(PtInRegion(l.m_hRgn, 1, 1));
    EXPECT_FALSE(PtInRegion(l.m_hRgn, 1, H - 1));
    EXPECT_TRUE(PtInRegion(l.m_hRgn, W / 2, H - 1));
    bool shaped = false;
    Script s;
    s.steps = {[&] {
        HRGN r = CreateRectRgn(0, 0, 0, 0);
        shaped = GetWindowRgn(l.m_hWnd, r) == COMPLEXREGION && !PtInRegion(r, 1, H - 1);
        DeleteObject(r);
        PushKey(l.m_hWnd, SDLK_ESCAPE, true);
    }};
    PlatformSetIdleWaitHook(&Script::Idle, &s);
    l.Run();
    PlatformSetIdleWaitHook(nullptr, nullptr);
    UnregisterClassA("VORNLauncher", GetModuleHandleA(nullptr));
    PlatformResetMessageQueue();
    EXPECT_TRUE(shaped);
}

} // namespace
