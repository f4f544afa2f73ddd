#include "msglistener.h"

#include <cassert>

MsgListener::MsgListener()
{
}

MsgListener::~MsgListener()
{
    Clear();
}

void MsgListener::Post(uint32_t message, uint32_t wParam)
{
    Post(message, wParam, 0);
}

void MsgListener::Post(uint32_t message, uint32_t wParam, uint32_t extra)
{
    Message* m = new Message;
    m->m_message = message;
    m->m_wParam = wParam;
    m->m_extra = extra;
    m_mensajes.push_back(m);
}

void MsgListener::Clear()
{
    for (Message* m : m_mensajes)
        delete m;
    std::vector<Message*>().swap(m_mensajes);
}

unsigned MsgListener::Count() const
{
    return (unsigned)m_mensajes.size();
}

Message* MsgListener::Get(int num) const
{
    assert(((unsigned)num < m_mensajes.size()) && (num >= 0));
    if (num < 0 || (unsigned)num >= m_mensajes.size())
        return nullptr;
    return m_mensajes[num];
}
