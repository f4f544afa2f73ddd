#include "nimbinput.h"

#include <cassert>
#include <cstring>

#include "debuglog.h"
#include "utils.h"

namespace {
// Non-exclusive, foreground only, Windows logo key off.
const DWORD kCooperation = DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY;

bool KeyDown(SHORT state)
{
    return (state & 0x8000) != 0;
}
}

NimbInput::NimbInput()
    : m_pDI(nullptr), m_pKeyboard(nullptr), m_up(0), m_down(0), m_left(0), m_right(0), m_shift(0)
{
    std::memset(m_keys, 0, sizeof m_keys);
}

NimbInput::~NimbInput()
{
    Release();
}

void NimbInput::Init(HWND window)
{
    Release();
    if (FAILED(DirectInput8Create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A, (void**)&m_pDI,
                                  nullptr))) {
        ReportError("DirectInput8Create");
        m_pDI = nullptr;
        return;
    }
    if (FAILED(m_pDI->CreateDevice(GUID_SysKeyboard, &m_pKeyboard, nullptr))) {
        ReportError("CreateDevice");
        m_pKeyboard = nullptr;
        return;
    }
    if (FAILED(m_pKeyboard->SetDataFormat(&c_dfDIKeyboard)))
        ReportError("SetDataFormat");
    if (FAILED(m_pKeyboard->SetCooperativeLevel(window, kCooperation)))
        ReportError("SetCooperativeLevel");
    m_pKeyboard->Acquire();
}

unsigned char* NimbInput::Read()
{
    assert(m_pKeyboard != NULL && "m_pKeyboard != NULL");
    if (!m_pKeyboard)
        return ReadAsync();
    std::memset(m_keys, 0, sizeof m_keys);
    m_up = m_down = m_left = m_right = m_shift = 0;
    if (FAILED(m_pKeyboard->GetDeviceState(sizeof m_keys, m_keys))) {
        m_pKeyboard->Acquire();
        return ReadAsync();
    }
    m_up = (m_keys[DIK_UP] & 0x80) ? 1 : 0;
    m_down = (m_keys[DIK_DOWN] & 0x80) ? 1 : 0;
    m_left = (m_keys[DIK_LEFT] & 0x80) ? 1 : 0;
    m_right = (m_keys[DIK_RIGHT] & 0x80) ? 1 : 0;
    m_shift = ((m_keys[DIK_LSHIFT] | m_keys[DIK_RSHIFT]) & 0x80) ? 1 : 0;
    return m_keys;
}

unsigned char* NimbInput::ReadAsync()
{
    std::memset(m_keys, 0, sizeof m_keys);
    m_up = KeyDown(GetAsyncKeyState(VK_UP)) ? 1 : 0;
    m_down = KeyDown(GetAsyncKeyState(VK_DOWN)) ? 1 : 0;
    m_left = KeyDown(GetAsyncKeyState(VK_LEFT)) ? 1 : 0;
    m_right = KeyDown(GetAsyncKeyState(VK_RIGHT)) ? 1 : 0;
    m_shift = KeyDown(GetAsyncKeyState(VK_SHIFT)) ? 1 : 0;
    return m_keys;
}

void NimbInput::Release()
{
    SafeRelease(m_pKeyboard);
    SafeRelease(m_pDI);
}
