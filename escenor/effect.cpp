#include "effect.h"

#include <cassert>
#include <cstdio>
#include <cstring>

int g_effectCount = 0;

Effect::Effect()
    : m_name(PublicParam::CopyText("Efecto sin nombre")), m_refCount(0), m_initialised(false), m_started(false),
      m_lastTime(-1.0f), m_delta(0.0f)
{
}

Effect::Effect(const char* name)
    : m_name(PublicParam::CopyText(name)), m_refCount(0), m_initialised(false), m_started(false), m_lastTime(-1.0f),
      m_delta(0.0f)
{
}

Effect::~Effect()
{
    for (PublicParam* param : m_params)
        delete param;
    m_params.clear();
    delete[] m_name;
    m_name = nullptr;
}

void Effect::SetName(const char* className)
{
    delete[] m_name;
    g_effectCount++;
    if (!className)
        className = "";
    int n = std::snprintf(nullptr, 0, "%s #%d", className, g_effectCount);
    m_name = new char[n + 1];
    std::snprintf(m_name, n + 1, "%s #%d", className, g_effectCount);
}

PublicParam* Effect::GetParam(const char* name)
{
    PublicParam* retorno = nullptr;
    if (name) {
        for (PublicParam* param : m_params) {
            if (std::strcmp(param->GetName(), name) == 0) {
                retorno = param;
                break;
            }
        }
    }
    assert(retorno != NULL);
    return retorno;
}

int Effect::DoInit()
{
    if (m_initialised)
        return 0;
    int result = Init();
    m_initialised = true;
    return result;
}

int Effect::DoStart()
{
    if (!m_initialised)
        DoInit();
    if (m_started)
        return 0;
    int result = Start();
    m_started = true;
    return result;
}

int Effect::DoRender(float t)
{
    if (!m_started)
        DoStart();
    m_delta = (m_lastTime == -1.0f) ? t : t - m_lastTime;
    int result = Render(t);
    m_lastTime = t;
    return result;
}

void Effect::Release()
{
    if (m_refCount <= 1)
        delete this;
    else
        m_refCount--;
}
