#pragma once

#include <cstdint>
#include <vector>

// One keyboard window message.
struct Message {
    uint32_t m_message; // WM_KEYDOWN, WM_KEYUP or WM_CHAR
    uint32_t m_wParam;  // virtual-key code, or the character for WM_CHAR
    uint32_t m_extra;   // 0 for every message the window procedure posts
};

// The keyboard messages that arrived since the last frame, oldest first.
class MsgListener {
public:
    MsgListener();
    ~MsgListener();

    void Post(uint32_t message, uint32_t wParam);
    void Post(uint32_t message, uint32_t wParam, uint32_t extra);
    // Releases every message and the list's storage.
    void Clear();
    unsigned Count() const;
    // 0 <= num < Count(); valid until the next Clear.
    Message* Get(int num) const;

private:
    std::vector<Message*> m_mensajes;
};

extern MsgListener* g_pMsgListener;
