// The application: window procedure and message loop driven by synthetic
// SDL events under the offscreen driver, with a frame hook for the renderer.
#include "application.h"
#include "config.h"
#include "msglistener.h"
#include "renderer.h"

#include <mscrt.h>

#include "sdl_events.h"
#include "scratch_folder.h"
#include "windows/win_internal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

class App : public ::testing::Test {
public:
    void TearDown() override
    {
        SetAppFrameHook(nullptr, nullptr);
        PlatformSetIdleWaitHook(nullptr, nullptr);
        delete app_;
        g_pApp = nullptr;
        PlatformResetMessageQueue();
    }
    void start(bool windowed)
    {
        ScratchFolder::Write("config.xml", std::string("<main><windowed>") + (windowed ? "true" : "false") +
                                            "</windowed></main>");
        PlatformResetMessageQueue();
        g_takeScreenshot = false;
        g_capturing = false;
        app_ = new Application;
        SetAppFrameHook(&App::frame, this);
        app_->Create(320, 240);
        hwnd_ = app_->m_hWnd;
        ASSERT_NE(hwnd_, nullptr);
    }
    static bool frame(void* self)
    {
        App* t = static_cast<App*>(self);
        ++t->frames_;
        return t->onFrame_ ? t->onFrame_(t->frames_) : t->frames_ < 1000;
    }
    LRESULT send(UINT m, WPARAM w, LPARAM l = 0) { return app_->WndProc(hwnd_, m, w, l); }

    ScratchFolder dir_;
    Application* app_ = nullptr;
    HWND hwnd_ = nullptr;
    int frames_ = 0;
    std::function<bool(int)> onFrame_;
};

// A size of 0 or below, or more than a window can be, is said in one line
// with what was asked and what happened (after the failed call's own
// report); a good size says nothing.
TEST_F(App, WindowSizesItCannotHaveAreSaid)
{
    const struct {
        int width, height;
        const char* line;
    } cases[] = {
        {320, 240, ""},
        {0, 240, "NimbGfx Application: a window of 0 x 240 (resx, resy) was asked for; its client area is 1 x "},
        {-5, -5, "NimbGfx Application: a window of -5 x -5 (resx, resy) was asked for; its client area is 1 x 1.\n"},
        {100000, 600,
         "CreateWindow\nNimbGfx Application: the main window could not be created: 100000 x 600 (resx, resy) is more "
         "than a window can be.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ScratchFolder::Write("config.xml", "<main><windowed>true</windowed></main>");
        PlatformResetMessageQueue();
        UnregisterClassA("NimbGfx Application", GetModuleHandleA(nullptr));  // as in a new process
        app_ = new Application;
        SetAppFrameHook(&App::frame, this);
        ::testing::internal::CaptureStderr();
        app_->Create(c.width, c.height);
        std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.substr(0, std::strlen(c.line)), c.line);
        EXPECT_EQ(said.empty(), *c.line == '\0');
        EXPECT_EQ(app_->m_hWnd != nullptr, c.width < 100000);
        delete app_;
        app_ = nullptr;
        g_pApp = nullptr;
    }
}

TEST_F(App, CreateActivatesTheWindowAndPublishesTheObjects)
{
    start(true);
    EXPECT_EQ(g_pApp, app_);
    EXPECT_NE(g_pConfig, nullptr);
    EXPECT_NE(g_pMsgListener, nullptr);
    EXPECT_TRUE(app_->m_active);
    EXPECT_TRUE(app_->m_windowed);
    EXPECT_TRUE(IsWindow(hwnd_));
}

struct CloseWay {
    const char* name;
    std::function<void(HWND)> push;
};

class AppCloses : public App, public ::testing::WithParamInterface<CloseWay> {
};

TEST_P(AppCloses, WithOneTeardownExitCodeZeroAndNoFurtherFrame)
{
    start(true);
    onFrame_ = [this](int n) {
        if (n == 2)
            GetParam().push(hwnd_);
        return true;
    };
    EXPECT_EQ(app_->Run(), 0);
    EXPECT_EQ(frames_, 2);
    EXPECT_FALSE(IsWindow(hwnd_));
    EXPECT_EQ(g_pConfig, nullptr);
    EXPECT_EQ(g_pMsgListener, nullptr);
    EXPECT_EQ(app_->m_pRenderer, nullptr);
    EXPECT_FALSE(app_->m_active);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)); // WM_QUIT taken, nothing left
}

const CloseWay kCloseWays[] = {
    {"Escape", [](HWND h) { PushKey(h, SDLK_ESCAPE, true); PushKey(h, SDLK_ESCAPE, false); }},
    {"WindowManagerClose", [](HWND h) { PushWindowEvent(h, SDL_WINDOWEVENT_CLOSE); }},
    {"AltF4", [](HWND h) {
         PushKey(h, SDLK_LALT, true, KMOD_LALT);
         PushKey(h, SDLK_F4, true, KMOD_LALT);
     }},
    {"EscapeHeldDown", [](HWND h) {
         PushKey(h, SDLK_ESCAPE, true);
         PushKey(h, SDLK_ESCAPE, true, 0, true);
         PushKey(h, SDLK_ESCAPE, true, 0, true);
     }},
};

INSTANTIATE_TEST_SUITE_P(Ways, AppCloses, ::testing::ValuesIn(kCloseWays),
                         [](const ::testing::TestParamInfo<CloseWay>& p) { return std::string(p.param.name); });

TEST_F(App, FalseFrameResultEndsTheLoopWithoutAnotherFrame)
{
    start(true);
    onFrame_ = [](int n) { return n < 3; };
    EXPECT_EQ(app_->Run(), 0);
    EXPECT_EQ(frames_, 3);
    EXPECT_FALSE(IsWindow(hwnd_));
}

TEST_F(App, KeyPressReachesTheListenerAsDownCharUp)
{
    start(true);
    std::vector<Message> seen;
    onFrame_ = [&](int n) {
        if (n == 1) {
            PushKey(hwnd_, SDLK_a, true);
            PushText(hwnd_, "a");
            PushKey(hwnd_, SDLK_a, false);
        } else if (n == 2) {
            for (unsigned i = 0; i < g_pMsgListener->Count(); ++i)
                seen.push_back(*g_pMsgListener->Get(i));
            return false;
        }
        return true;
    };
    EXPECT_EQ(app_->Run(), 0);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].m_message, (uint32_t)WM_KEYDOWN);
    EXPECT_EQ(seen[0].m_wParam, (uint32_t)'A');
    EXPECT_EQ(seen[1].m_message, (uint32_t)WM_CHAR);
    EXPECT_EQ(seen[1].m_wParam, (uint32_t)'a');
    EXPECT_EQ(seen[2].m_message, (uint32_t)WM_KEYUP);
    EXPECT_EQ(seen[2].m_wParam, (uint32_t)'A');
    for (auto& m : seen)
        EXPECT_EQ(m.m_extra, 0u);
}

TEST_F(App, ControlKeysAreConsumedAndTheirKeyUpsPosted)
{
    start(true);
    for (WPARAM vk : {VK_F1, VK_F2, VK_F11, VK_F12, VK_F12})
        EXPECT_EQ(send(WM_KEYDOWN, vk), 0);
    EXPECT_EQ(g_pMsgListener->Count(), 0u);
    send(WM_KEYUP, VK_F11);
    send(WM_SYSKEYDOWN, 'X', 1 << 29);
    send(WM_SYSCHAR, 'x', 1 << 29);
    send(WM_KEYDOWN, VK_LEFT);
    ASSERT_EQ(g_pMsgListener->Count(), 2u);
    EXPECT_EQ(g_pMsgListener->Get(0)->m_message, (uint32_t)WM_KEYUP);
    EXPECT_EQ(g_pMsgListener->Get(0)->m_wParam, (uint32_t)VK_F11);
    EXPECT_EQ(g_pMsgListener->Get(1)->m_wParam, (uint32_t)VK_LEFT);
}

TEST_F(App, F11RequestsScreenshotsAndF12TogglesCapture)
{
    start(true);
    send(WM_KEYDOWN, VK_F11);
    EXPECT_TRUE(g_takeScreenshot);
    g_takeScreenshot = false;
    send(WM_KEYDOWN, VK_F11, 1 << 30); // auto-repeat sets it again
    EXPECT_TRUE(g_takeScreenshot);

    g_captureFrame = 9;
    long before = ms_clock();
    send(WM_KEYDOWN, VK_F12);
    long after = ms_clock();
    EXPECT_TRUE(g_capturing);
    EXPECT_EQ(g_captureFrame, 0);
    EXPECT_GE(g_captureId, before);
    EXPECT_LE(g_captureId, after);
    g_captureFrame = 4;
    send(WM_KEYDOWN, VK_F12);
    EXPECT_FALSE(g_capturing);
    EXPECT_EQ(g_captureFrame, 4);
    send(WM_KEYDOWN, VK_F12);
    EXPECT_TRUE(g_capturing);
    EXPECT_EQ(g_captureFrame, 0);
    EXPECT_GE(g_captureId, after);
    g_capturing = false;
}

struct SysCommand {
    WPARAM command;
    bool refusedInFullScreen;
};

TEST_F(App, FullScreenRefusesSystemCommandsAsWholeValues)
{
    const SysCommand cases[] = {
        {SC_SIZE, true},      {SC_MOVE, true},          {SC_MAXIMIZE, true},
        {SC_KEYMENU, true},   {SC_MONITORPOWER, true},  {SC_SIZE | 2, false},
        {SC_MOVE | 2, false}, {SC_KEYMENU | 1, false},  {SC_SCREENSAVE, false},
    };
    for (bool windowed : {false, true}) {
        start(windowed);
        for (const SysCommand& c : cases) {
            bool refused = c.refusedInFullScreen && !windowed;
            EXPECT_EQ(send(WM_SYSCOMMAND, c.command), refused ? 1 : 0)
                << std::hex << c.command << (windowed ? " windowed" : " full screen");
            EXPECT_TRUE(IsWindow(hwnd_));
        }
        send(WM_SYSCOMMAND, SC_CLOSE);
        EXPECT_FALSE(IsWindow(hwnd_));
        EXPECT_EQ(g_pConfig, nullptr);
        delete app_;
        app_ = nullptr;
    }
}

TEST_F(App, FullScreenHidesTheCursorOnlyWhileActive)
{
    start(false);
    EXPECT_EQ(send(WM_SETCURSOR, (WPARAM)hwnd_, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), 1);
    EXPECT_FALSE(PlatformCursorVisible());
    send(WM_ACTIVATE, WA_INACTIVE);
    send(WM_SETCURSOR, (WPARAM)hwnd_, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_TRUE(PlatformCursorVisible());
    delete app_;
    app_ = nullptr;
    start(true);
    send(WM_SETCURSOR, (WPARAM)hwnd_, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_TRUE(PlatformCursorVisible());
}

struct Pause {
    const char* name;
    Uint8 leave;
    Uint8 back;
};

class AppPauses : public App, public ::testing::WithParamInterface<Pause> {
};

TEST_P(AppPauses, InactiveWindowDrawsNoFrameAndWaits)
{
    start(true);
    struct Ctx {
        AppPauses* test;
        int framesWhileWaiting = -1;
    } ctx{this};
    PushWindowEvent(hwnd_, GetParam().leave);
    PlatformSetIdleWaitHook(
        [](void* p) {
            Ctx* c = static_cast<Ctx*>(p);
            if (c->framesWhileWaiting < 0) {
                c->framesWhileWaiting = c->test->frames_;
                PushWindowEvent(c->test->hwnd_, GetParam().back);
            }
        },
        &ctx);
    unsigned waits = PlatformIdleWaitCount();
    onFrame_ = [](int) { return false; };
    EXPECT_EQ(app_->Run(), 0);
    EXPECT_EQ(ctx.framesWhileWaiting, 0);
    EXPECT_GT(PlatformIdleWaitCount(), waits);
    EXPECT_EQ(frames_, 1); // drawn again once active
}

const Pause kPauses[] = {
    {"FocusLost", SDL_WINDOWEVENT_FOCUS_LOST, SDL_WINDOWEVENT_FOCUS_GAINED},
    {"Minimised", SDL_WINDOWEVENT_MINIMIZED, SDL_WINDOWEVENT_RESTORED},
};

INSTANTIATE_TEST_SUITE_P(Ways, AppPauses, ::testing::ValuesIn(kPauses),
                         [](const ::testing::TestParamInfo<Pause>& p) { return std::string(p.param.name); });

TEST_F(App, TeardownRunsOnceAndLaterMessagesAreHarmless)
{
    start(true);
    app_->Teardown();
    EXPECT_FALSE(IsWindow(hwnd_));
    app_->Teardown();
    EXPECT_EQ(send(WM_KEYDOWN, 'A'), 0);
    send(WM_CHAR, 'a');
    send(WM_KEYUP, 'A');
    send(WM_CLOSE, 0);
    send(WM_ACTIVATE, WA_ACTIVE);
    EXPECT_EQ(app_->m_hWnd, nullptr);
    EXPECT_EQ(g_pMsgListener, nullptr);
}

} // namespace
