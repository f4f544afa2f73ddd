// The arrow and Shift keys polled through DirectInput, with the
// asynchronous key state when the device cannot be read.
#pragma once

#include <windows.h>
#include <dinput.h>

class NimbInput {
public:
    NimbInput();
    ~NimbInput();

    // Sets the system keyboard up for `window` (non-exclusive, foreground,
    // Windows logo key off) and acquires it; failing steps are reported.
    void Init(HWND window);
    // One poll: the 256 key bytes (bit 7 set while down) and the five flags.
    // When the device cannot be read it is acquired again and this read
    // comes from ReadAsync.
    unsigned char* Read();
    // The flags from the asynchronous key state; the key bytes stay 0.
    unsigned char* ReadAsync();
    void Release();

    IDirectInput8* m_pDI;
    IDirectInputDevice8* m_pKeyboard;
    unsigned char m_keys[256];
    int m_up;
    int m_down;
    int m_left;
    int m_right;
    int m_shift;

private:
    NimbInput(const NimbInput&) = delete;
    NimbInput& operator=(const NimbInput&) = delete;
};
