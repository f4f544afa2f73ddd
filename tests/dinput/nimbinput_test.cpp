// NimbInput: the five flags from DirectInput, and the asynchronous key
// state when the device cannot be read.
#include <windows.h>

#include "foreground_window.h"
#include "nimbinput.h"
#include "sdl_events.h"
#include "windows/win_internal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class NimbInputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = MakeForegroundWindow();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        Release(held);
        input.Release();
        DestroyWindow(window);
        PlatformResetMessageQueue();
    }
    void Hold(const std::vector<SDL_Keycode>& keys)
    {
        for (SDL_Keycode k : keys)
            PushKey(window, k, true);
        held = keys;
    }
    void Release(const std::vector<SDL_Keycode>& keys)
    {
        for (SDL_Keycode k : keys)
            PushKey(window, k, false);
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&m);
        held.clear();
    }
    std::string Flags() const
    {
        return std::to_string(input.m_up) + std::to_string(input.m_down) + std::to_string(input.m_left) +
               std::to_string(input.m_right) + std::to_string(input.m_shift);
    }
    HWND window = nullptr;
    NimbInput input;
    std::vector<SDL_Keycode> held;
};

// Flags in the order up, down, left, right, shift.
struct FlagCase {
    std::vector<SDL_Keycode> keys;
    const char* flags;
};

const FlagCase kFlagCases[] = {
    {{}, "00000"},
    {{SDLK_UP}, "10000"},
    {{SDLK_DOWN}, "01000"},
    {{SDLK_LEFT}, "00100"},
    {{SDLK_RIGHT}, "00010"},
    {{SDLK_LSHIFT}, "00001"},
    {{SDLK_RSHIFT}, "00001"},
    {{SDLK_LSHIFT, SDLK_RSHIFT}, "00001"},
    {{SDLK_UP, SDLK_LEFT, SDLK_RSHIFT}, "10101"},
    {{SDLK_a, SDLK_KP_8, SDLK_KP_4}, "00000"}, // not the arrows
};

TEST_F(NimbInputTest, ArrowsAndShiftGiveTheFiveFlags)
{
    input.Init(window);
    ASSERT_NE(input.m_pKeyboard, nullptr);
    for (const FlagCase& c : kFlagCases) {
        Hold(c.keys);
        unsigned char* keys = input.Read();
        EXPECT_EQ(keys, input.m_keys);
        EXPECT_EQ(Flags(), c.flags) << "keys held: " << c.keys.size();
        if (!c.keys.empty() && c.keys[0] == SDLK_UP) {
            EXPECT_EQ(keys[DIK_UP], 0x80);
        }
        Release(c.keys);
    }
}

TEST_F(NimbInputTest, UnacquiredDeviceFallsBackToTheAsyncKeyStateForThatRead)
{
    input.Init(window);
    for (const FlagCase& c : kFlagCases) {
        Hold(c.keys);
        // The window goes to the background: the foreground device is lost.
        PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_LOST);
        unsigned char* keys = input.Read();
        EXPECT_EQ(Flags(), c.flags);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(keys[i], 0) << i;
        PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);
        Release(c.keys);
    }
    // Back in the foreground the read that acquires the device again is
    // still the fallback's; the one after it comes from the device.
    Hold({SDLK_DOWN});
    EXPECT_EQ(input.Read()[DIK_DOWN], 0);
    EXPECT_EQ(Flags(), "01000");
    EXPECT_EQ(input.Read()[DIK_DOWN], 0x80);
    EXPECT_EQ(Flags(), "01000");
}

TEST_F(NimbInputTest, ReadWithoutDeviceUsesTheAsyncKeyState)
{
    Hold({SDLK_RIGHT});
    input.m_keys[3] = 0x80;
#ifdef NDEBUG
    EXPECT_EQ(input.Read(), input.m_keys);
    EXPECT_EQ(Flags(), "00010");
    EXPECT_EQ(input.m_keys[3], 0);
#endif
    EXPECT_EQ(input.ReadAsync(), input.m_keys);
    EXPECT_EQ(Flags(), "00010");
}

TEST_F(NimbInputTest, ReleaseTwiceReleasesNothingTheSecondTime)
{
    input.Init(window);
    ASSERT_NE(input.m_pDI, nullptr);
    input.m_pDI->AddRef();
    IDirectInput8* di = input.m_pDI;
    input.Release();
    EXPECT_EQ(input.m_pKeyboard, nullptr);
    EXPECT_EQ(input.m_pDI, nullptr);
    input.Release();
    // Only the reference taken above is left.
    EXPECT_EQ(di->Release(), 0u);
}

} // namespace
