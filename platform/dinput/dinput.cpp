// DirectInput 8: the system keyboard over the Windows layer's key state.
#include "dinput.h"

#include "windows.h"
#include "windows/win_internal.h"

#include <SDL.h>

#include <atomic>
#include <cstring>
#include <vector>

const IID IID_IDirectInput8A = {0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const IID IID_IDirectInput8W = {0xBF798031, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const IID IID_IDirectInputDevice8A = {0x54D41080, 0xDC15, 0x4833, {0xA4, 0x1B, 0x74, 0x8F, 0x73, 0xA3, 0x81, 0x79}};
const GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_Key = {0x55728220, 0xD33C, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

namespace {

const int kKeys = 256;

DIOBJECTDATAFORMAT* keyboardObjects()
{
    static DIOBJECTDATAFORMAT objects[kKeys];
    for (int i = 0; i < kKeys; ++i)
        objects[i] = {&GUID_Key, (DWORD)i, DIDFT_OPTIONAL | DIDFT_BUTTON | DIDFT_MAKEINSTANCE(i), 0};
    return objects;
}

// The key code of each SDL scancode, 0 for keys DirectInput has no code for.
struct ScancodeTable {
    BYTE dik[SDL_NUM_SCANCODES] = {};
    ScancodeTable()
    {
        const struct {
            SDL_Scancode from;
            BYTE to;
        } pairs[] = {
            {SDL_SCANCODE_ESCAPE, DIK_ESCAPE}, {SDL_SCANCODE_1, DIK_1}, {SDL_SCANCODE_2, DIK_2},
            {SDL_SCANCODE_3, DIK_3}, {SDL_SCANCODE_4, DIK_4}, {SDL_SCANCODE_5, DIK_5}, {SDL_SCANCODE_6, DIK_6},
            {SDL_SCANCODE_7, DIK_7}, {SDL_SCANCODE_8, DIK_8}, {SDL_SCANCODE_9, DIK_9}, {SDL_SCANCODE_0, DIK_0},
            {SDL_SCANCODE_MINUS, DIK_MINUS}, {SDL_SCANCODE_EQUALS, DIK_EQUALS},
            {SDL_SCANCODE_BACKSPACE, DIK_BACK}, {SDL_SCANCODE_TAB, DIK_TAB}, {SDL_SCANCODE_Q, DIK_Q},
            {SDL_SCANCODE_W, DIK_W}, {SDL_SCANCODE_E, DIK_E}, {SDL_SCANCODE_R, DIK_R}, {SDL_SCANCODE_T, DIK_T},
            {SDL_SCANCODE_Y, DIK_Y}, {SDL_SCANCODE_U, DIK_U}, {SDL_SCANCODE_I, DIK_I}, {SDL_SCANCODE_O, DIK_O},
            {SDL_SCANCODE_P, DIK_P}, {SDL_SCANCODE_LEFTBRACKET, DIK_LBRACKET},
            {SDL_SCANCODE_RIGHTBRACKET, DIK_RBRACKET}, {SDL_SCANCODE_RETURN, DIK_RETURN},
            {SDL_SCANCODE_LCTRL, DIK_LCONTROL}, {SDL_SCANCODE_A, DIK_A}, {SDL_SCANCODE_S, DIK_S},
            {SDL_SCANCODE_D, DIK_D}, {SDL_SCANCODE_F, DIK_F}, {SDL_SCANCODE_G, DIK_G}, {SDL_SCANCODE_H, DIK_H},
            {SDL_SCANCODE_J, DIK_J}, {SDL_SCANCODE_K, DIK_K}, {SDL_SCANCODE_L, DIK_L},
            {SDL_SCANCODE_SEMICOLON, DIK_SEMICOLON}, {SDL_SCANCODE_APOSTROPHE, DIK_APOSTROPHE},
            {SDL_SCANCODE_GRAVE, DIK_GRAVE}, {SDL_SCANCODE_LSHIFT, DIK_LSHIFT},
            {SDL_SCANCODE_BACKSLASH, DIK_BACKSLASH}, {SDL_SCANCODE_Z, DIK_Z}, {SDL_SCANCODE_X, DIK_X},
            {SDL_SCANCODE_C, DIK_C}, {SDL_SCANCODE_V, DIK_V}, {SDL_SCANCODE_B, DIK_B}, {SDL_SCANCODE_N, DIK_N},
            {SDL_SCANCODE_M, DIK_M}, {SDL_SCANCODE_COMMA, DIK_COMMA}, {SDL_SCANCODE_PERIOD, DIK_PERIOD},
            {SDL_SCANCODE_SLASH, DIK_SLASH}, {SDL_SCANCODE_RSHIFT, DIK_RSHIFT},
            {SDL_SCANCODE_KP_MULTIPLY, DIK_MULTIPLY}, {SDL_SCANCODE_LALT, DIK_LMENU},
            {SDL_SCANCODE_SPACE, DIK_SPACE}, {SDL_SCANCODE_CAPSLOCK, DIK_CAPITAL}, {SDL_SCANCODE_F1, DIK_F1},
            {SDL_SCANCODE_F2, DIK_F2}, {SDL_SCANCODE_F3, DIK_F3}, {SDL_SCANCODE_F4, DIK_F4},
            {SDL_SCANCODE_F5, DIK_F5}, {SDL_SCANCODE_F6, DIK_F6}, {SDL_SCANCODE_F7, DIK_F7},
            {SDL_SCANCODE_F8, DIK_F8}, {SDL_SCANCODE_F9, DIK_F9}, {SDL_SCANCODE_F10, DIK_F10},
            {SDL_SCANCODE_NUMLOCKCLEAR, DIK_NUMLOCK}, {SDL_SCANCODE_SCROLLLOCK, DIK_SCROLL},
            {SDL_SCANCODE_KP_7, DIK_NUMPAD7}, {SDL_SCANCODE_KP_8, DIK_NUMPAD8}, {SDL_SCANCODE_KP_9, DIK_NUMPAD9},
            {SDL_SCANCODE_KP_MINUS, DIK_SUBTRACT}, {SDL_SCANCODE_KP_4, DIK_NUMPAD4},
            {SDL_SCANCODE_KP_5, DIK_NUMPAD5}, {SDL_SCANCODE_KP_6, DIK_NUMPAD6}, {SDL_SCANCODE_KP_PLUS, DIK_ADD},
            {SDL_SCANCODE_KP_1, DIK_NUMPAD1}, {SDL_SCANCODE_KP_2, DIK_NUMPAD2}, {SDL_SCANCODE_KP_3, DIK_NUMPAD3},
            {SDL_SCANCODE_KP_0, DIK_NUMPAD0}, {SDL_SCANCODE_KP_PERIOD, DIK_DECIMAL},
            {SDL_SCANCODE_NONUSBACKSLASH, DIK_OEM_102}, {SDL_SCANCODE_F11, DIK_F11}, {SDL_SCANCODE_F12, DIK_F12},
            {SDL_SCANCODE_KP_ENTER, DIK_NUMPADENTER}, {SDL_SCANCODE_RCTRL, DIK_RCONTROL},
            {SDL_SCANCODE_KP_DIVIDE, DIK_DIVIDE}, {SDL_SCANCODE_PRINTSCREEN, DIK_SYSRQ},
            {SDL_SCANCODE_RALT, DIK_RMENU}, {SDL_SCANCODE_PAUSE, DIK_PAUSE}, {SDL_SCANCODE_HOME, DIK_HOME},
            {SDL_SCANCODE_UP, DIK_UP}, {SDL_SCANCODE_PAGEUP, DIK_PRIOR}, {SDL_SCANCODE_LEFT, DIK_LEFT},
            {SDL_SCANCODE_RIGHT, DIK_RIGHT}, {SDL_SCANCODE_END, DIK_END}, {SDL_SCANCODE_DOWN, DIK_DOWN},
            {SDL_SCANCODE_PAGEDOWN, DIK_NEXT}, {SDL_SCANCODE_INSERT, DIK_INSERT},
            {SDL_SCANCODE_DELETE, DIK_DELETE}, {SDL_SCANCODE_LGUI, DIK_LWIN}, {SDL_SCANCODE_RGUI, DIK_RWIN},
            {SDL_SCANCODE_APPLICATION, DIK_APPS},
        };
        for (const auto& p : pairs)
            dik[p.from] = p.to;
    }
};

bool versionError(DWORD version, HRESULT* hr)
{
    if (version < 0x0800) {
        *hr = DIERR_OLDDIRECTINPUTVERSION;
        return true;
    }
    if (version > 0x0800) {
        *hr = DIERR_BETADIRECTINPUTVERSION;
        return true;
    }
    return false;
}

// Reference counting and QueryInterface for an object of one interface.
template <class Interface, const IID& kIid>
class ComObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == kIid) {
            AddRef();
            *out = static_cast<Interface*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~ComObject() = default;

private:
    std::atomic<ULONG> m_refs{1};
};

// The device holds a reference to the DirectInput object that made it.
class KeyboardDevice final : public ComObject<IDirectInputDevice8A, IID_IDirectInputDevice8A> {
public:
    explicit KeyboardDevice(IDirectInput8A* parent) : m_parent(parent) { m_parent->AddRef(); }

    HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT format) override
    {
        if (m_acquired)
            return DIERR_ACQUIRED;
        if (!format || format->dwSize != sizeof(DIDATAFORMAT) || format->dwObjSize != sizeof(DIOBJECTDATAFORMAT) ||
            format->dwDataSize == 0 || format->dwDataSize % 4 != 0 || (format->dwNumObjs && !format->rgodf))
            return DIERR_INVALIDPARAM;
        // Each object takes one byte of the state: a key by its instance, or
        // the next key not yet taken for DIDFT_ANYINSTANCE.
        std::vector<int> offsets(kKeys, -1);
        int nextFree = 0;
        for (DWORD i = 0; i < format->dwNumObjs; ++i) {
            const DIOBJECTDATAFORMAT& o = format->rgodf[i];
            bool optional = (o.dwType & DIDFT_OPTIONAL) != 0;
            bool keyType = (o.dwType & 0xFF) == 0 || (o.dwType & DIDFT_BUTTON) != 0;
            bool keyGuid = !o.pguid || *o.pguid == GUID_Key;
            if (o.dwOfs >= format->dwDataSize)
                return DIERR_INVALIDPARAM;
            int key = -1;
            if (keyType && keyGuid) {
                if ((o.dwType & DIDFT_INSTANCEMASK) == DIDFT_ANYINSTANCE) {
                    while (nextFree < kKeys && offsets[nextFree] >= 0)
                        ++nextFree;
                    key = nextFree < kKeys ? nextFree : -1;
                } else {
                    int instance = DIDFT_GETINSTANCE(o.dwType);
                    key = instance < kKeys && offsets[instance] < 0 ? instance : -1;
                }
            }
            if (key < 0) {
                if (optional)
                    continue;
                return DIERR_INVALIDPARAM;
            }
            offsets[key] = (int)o.dwOfs;
        }
        m_offsets = offsets;
        m_dataSize = format->dwDataSize;
        m_hasFormat = true;
        return DI_OK;
    }

    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND hwnd, DWORD flags) override
    {
        DWORD exclusive = flags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
        DWORD place = flags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
        if ((flags & ~(DWORD)0x1F) || (exclusive != DISCL_EXCLUSIVE && exclusive != DISCL_NONEXCLUSIVE) ||
            (place != DISCL_FOREGROUND && place != DISCL_BACKGROUND))
            return DIERR_INVALIDPARAM;
        if (!hwnd || !IsWindow(hwnd) || (GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD))
            return E_HANDLE;
        if (exclusive == DISCL_EXCLUSIVE && place == DISCL_BACKGROUND)
            return E_NOTIMPL;
        m_window = hwnd;
        m_foreground = place == DISCL_FOREGROUND;
        return DI_OK;
    }

    HRESULT STDMETHODCALLTYPE Acquire() override
    {
        if (!m_hasFormat)
            return DIERR_INVALIDPARAM;
        if (m_acquired)
            return DI_NOEFFECT;
        if (m_foreground && !inForeground())
            return DIERR_OTHERAPPHASPRIO;
        m_acquired = true;
        m_lost = false;
        return DI_OK;
    }

    HRESULT STDMETHODCALLTYPE Unacquire() override
    {
        if (!m_acquired)
            return DI_NOEFFECT;
        m_acquired = false;
        m_lost = false;
        return DI_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD size, LPVOID data) override
    {
        HRESULT hr = checkAcquired();
        if (FAILED(hr))
            return hr;
        if (!data || size != m_dataSize)
            return DIERR_INVALIDPARAM;
        static const ScancodeTable table;
        bool down[SDL_NUM_SCANCODES];
        PlatformKeyboardScancodes(down);
        bool keyDown[kKeys] = {};
        for (int s = 0; s < SDL_NUM_SCANCODES; ++s)
            if (down[s] && table.dik[s])
                keyDown[table.dik[s]] = true;
        BYTE* out = static_cast<BYTE*>(data);
        std::memset(out, 0, size);
        for (int k = 0; k < kKeys; ++k)
            if (m_offsets[k] >= 0)
                out[m_offsets[k]] = keyDown[k] ? 0x80 : 0;
        return DI_OK;
    }

    HRESULT STDMETHODCALLTYPE Poll() override
    {
        HRESULT hr = checkAcquired();
        return FAILED(hr) ? hr : DI_NOEFFECT;
    }

private:
    ~KeyboardDevice() override { m_parent->Release(); }

    bool inForeground() const
    {
        PlatformPumpEvents(); // the foreground as of now
        return m_window && IsWindow(m_window) && GetForegroundWindow() == m_window;
    }

    // A foreground device loses its acquisition with the foreground; the
    // first read after that says so.
    HRESULT checkAcquired()
    {
        if (m_acquired && m_foreground && !inForeground()) {
            m_acquired = false;
            m_lost = true;
        }
        if (m_acquired)
            return DI_OK;
        if (m_lost) {
            m_lost = false;
            return DIERR_INPUTLOST;
        }
        return DIERR_NOTACQUIRED;
    }

    IDirectInput8A* m_parent;
    HWND m_window = nullptr;
    bool m_foreground = false;
    bool m_hasFormat = false;
    bool m_acquired = false;
    bool m_lost = false;
    DWORD m_dataSize = 0;
    std::vector<int> m_offsets;
};

class DirectInput8 final : public ComObject<IDirectInput8A, IID_IDirectInput8A> {
public:
    HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) override
    {
        if (!device)
            return E_POINTER;
        *device = nullptr;
        if (outer)
            return DIERR_NOAGGREGATION;
        if (guid != GUID_SysKeyboard)
            return DIERR_DEVICENOTREG;
        *device = new KeyboardDevice(this);
        return DI_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDeviceStatus(REFGUID guid) override
    {
        return guid == GUID_SysKeyboard ? DI_OK : DIERR_DEVICENOTREG;
    }

    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE instance, DWORD version) override
    {
        HRESULT hr;
        if (!instance)
            return DIERR_INVALIDPARAM;
        return versionError(version, &hr) ? hr : DI_OK;
    }

private:
    ~DirectInput8() override = default;
};

} // namespace

const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, kKeys, kKeys,
                                     keyboardObjects()};

HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID riid, LPVOID* out, LPUNKNOWN outer)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (outer)
        return DIERR_NOAGGREGATION;
    HRESULT hr;
    if (!instance)
        return DIERR_INVALIDPARAM;
    if (versionError(version, &hr))
        return hr;
    if (riid != IID_IDirectInput8A)
        return DIERR_NOINTERFACE;
    *out = static_cast<IDirectInput8A*>(new DirectInput8());
    return DI_OK;
}
