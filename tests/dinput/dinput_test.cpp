// DirectInput 8 over SDL key events: creation, cooperative levels,
// acquisition and its loss with the foreground, and the key state.
#include <windows.h>
#include <dinput.h>

#include "foreground_window.h"
#include "sdl_events.h"
#include "windows/win_internal.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A visible (foreground) window and the keyboard device on it.
class DirectInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = MakeForegroundWindow();
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(GetForegroundWindow(), window);
        ASSERT_EQ(DirectInput8Create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A, (void**)&di, nullptr),
                  DI_OK);
        ASSERT_EQ(di->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr), DI_OK);
    }
    void TearDown() override
    {
        for (SDL_Keycode k : pressed)
            PushKey(window, k, false);
        Pump();
        if (keyboard)
            keyboard->Release();
        if (di)
            di->Release();
        DestroyWindow(window);
        PlatformResetMessageQueue();
    }
    void Press(SDL_Keycode k, bool down = true)
    {
        PushKey(window, k, down);
        if (down)
            pressed.push_back(k);
    }
    static void Pump()
    {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&m);
    }
    void Ready()
    {
        ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
        ASSERT_EQ(keyboard->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
        ASSERT_EQ(keyboard->Acquire(), DI_OK);
    }
    HWND window = nullptr;
    IDirectInput8* di = nullptr;
    IDirectInputDevice8* keyboard = nullptr;
    std::vector<SDL_Keycode> pressed;
};

TEST_F(DirectInput, CreationChecksVersionInterfaceAndDevice)
{
    void* out = &out;
    HINSTANCE me = GetModuleHandleA(nullptr);
    EXPECT_EQ(DirectInput8Create(me, 0x0700, IID_IDirectInput8A, &out, nullptr), DIERR_OLDDIRECTINPUTVERSION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(DirectInput8Create(me, 0x0900, IID_IDirectInput8A, &out, nullptr), DIERR_BETADIRECTINPUTVERSION);
    EXPECT_EQ(DirectInput8Create(me, 0x0800, IID_IDirectInput8W, &out, nullptr), DIERR_NOINTERFACE);
    EXPECT_EQ(DirectInput8Create(nullptr, 0x0800, IID_IDirectInput8A, &out, nullptr), DIERR_INVALIDPARAM);
    EXPECT_EQ(DirectInput8Create(me, 0x0800, IID_IDirectInput8A, nullptr, nullptr), E_POINTER);

    IDirectInputDevice8* mouse = keyboard;
    EXPECT_EQ(di->CreateDevice(GUID_SysMouse, &mouse, nullptr), DIERR_DEVICENOTREG);
    EXPECT_EQ(mouse, nullptr);
    EXPECT_EQ(di->GetDeviceStatus(GUID_SysKeyboard), DI_OK);

    void* same = nullptr;
    ASSERT_EQ(keyboard->QueryInterface(IID_IDirectInputDevice8A, &same), S_OK);
    EXPECT_EQ(same, keyboard);
    EXPECT_EQ(keyboard->Release(), 1u);
}

TEST_F(DirectInput, CooperativeLevelsTakeOneOfEachPairOnATopLevelWindow)
{
    struct Case {
        DWORD flags;
        HRESULT want;
    };
    const Case cases[] = {
        {DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY, DI_OK},
        {DISCL_NONEXCLUSIVE | DISCL_BACKGROUND, DI_OK},
        {DISCL_EXCLUSIVE | DISCL_FOREGROUND, DI_OK},
        {DISCL_EXCLUSIVE | DISCL_BACKGROUND, E_NOTIMPL}, // not for the keyboard
        {DISCL_NONEXCLUSIVE, DIERR_INVALIDPARAM},
        {DISCL_FOREGROUND | DISCL_BACKGROUND | DISCL_NONEXCLUSIVE, DIERR_INVALIDPARAM},
        {DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, DIERR_INVALIDPARAM},
        {0x100 | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, DIERR_INVALIDPARAM},
    };
    for (const Case& c : cases)
        EXPECT_EQ(keyboard->SetCooperativeLevel(window, c.flags), c.want) << std::hex << c.flags;
    HWND child = CreateWindowExA(0, "BUTTON", "b", WS_CHILD, 0, 0, 10, 10, window, nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(keyboard->SetCooperativeLevel(child, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), E_HANDLE);
    EXPECT_EQ(keyboard->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), E_HANDLE);
}

TEST_F(DirectInput, AcquisitionNeedsAFormatAndGuardsTheState)
{
    BYTE keys[256];
    EXPECT_EQ(keyboard->Acquire(), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
    Ready();
    EXPECT_EQ(keyboard->Acquire(), DI_NOEFFECT);
    EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DIERR_ACQUIRED);
    EXPECT_EQ(keyboard->GetDeviceState(255, keys), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->Poll(), DI_NOEFFECT);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keyboard->Unacquire(), DI_OK);
    EXPECT_EQ(keyboard->Unacquire(), DI_NOEFFECT);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
}

TEST_F(DirectInput, KeysReadAtTheirKeyCodes)
{
    Ready();
    const struct {
        SDL_Keycode key;
        int dik;
    } keys[] = {{SDLK_UP, DIK_UP},         {SDLK_LSHIFT, DIK_LSHIFT}, {SDLK_a, DIK_A},
                {SDLK_ESCAPE, DIK_ESCAPE}, {SDLK_KP_ENTER, DIK_NUMPADENTER}, {SDLK_RCTRL, DIK_RCONTROL}};
    for (const auto& k : keys) {
        Press(k.key);
        BYTE state[256];
        ASSERT_EQ(keyboard->GetDeviceState(sizeof state, state), DI_OK);
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(state[i], i == k.dik ? 0x80 : 0) << "key " << k.dik << " byte " << i;
        Press(k.key, false);
    }
}

TEST_F(DirectInput, OwnDataFormatPutsKeysWhereItSays)
{
    DIOBJECTDATAFORMAT objects[] = {
        {&GUID_Key, 0, DIDFT_BUTTON | DIDFT_MAKEINSTANCE(DIK_SPACE), 0},
        {nullptr, 5, DIDFT_BUTTON | DIDFT_MAKEINSTANCE(DIK_LEFT), 0},
        {&GUID_Key, 6, DIDFT_OPTIONAL | DIDFT_AXIS | DIDFT_MAKEINSTANCE(1), 0}, // skipped
    };
    DIDATAFORMAT format = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), 0, 8, 3, objects};
    ASSERT_EQ(keyboard->SetDataFormat(&format), DI_OK);
    ASSERT_EQ(keyboard->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    Press(SDLK_LEFT);
    BYTE state[8];
    ASSERT_EQ(keyboard->GetDeviceState(sizeof state, state), DI_OK);
    EXPECT_EQ(state[0], 0);
    EXPECT_EQ(state[5], 0x80);
    objects[2].dwType &= ~DIDFT_OPTIONAL;
    keyboard->Unacquire();
    EXPECT_EQ(keyboard->SetDataFormat(&format), DIERR_INVALIDPARAM);
    format.dwDataSize = 6; // not a multiple of 4
    EXPECT_EQ(keyboard->SetDataFormat(&format), DIERR_INVALIDPARAM);
}

TEST_F(DirectInput, ForegroundDeviceLosesTheKeyboardWithItsWindow)
{
    Ready();
    BYTE state[256];
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_LOST);
    Pump();
    EXPECT_NE(GetForegroundWindow(), window);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof state, state), DIERR_INPUTLOST);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof state, state), DIERR_NOTACQUIRED);
    EXPECT_EQ(keyboard->Acquire(), DIERR_OTHERAPPHASPRIO);
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);
    Pump();
    EXPECT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof state, state), DI_OK);

    // A background device keeps reading.
    keyboard->Unacquire();
    ASSERT_EQ(keyboard->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_LOST);
    Pump();
    EXPECT_EQ(keyboard->GetDeviceState(sizeof state, state), DI_OK);
}

TEST_F(DirectInput, AsyncKeyStateHoldsShiftWhileEitherShiftIsDown)
{
    Press(SDLK_LSHIFT);
    Press(SDLK_RSHIFT);
    Press(SDLK_LSHIFT, false);
    EXPECT_TRUE(GetAsyncKeyState(VK_SHIFT) & 0x8000);
    EXPECT_TRUE(GetAsyncKeyState(VK_RSHIFT) & 0x8000);
    EXPECT_FALSE(GetAsyncKeyState(VK_LSHIFT) & 0x8000);
    Press(SDLK_RSHIFT, false);
    EXPECT_FALSE(GetAsyncKeyState(VK_SHIFT) & 0x8000);
}

} // namespace
