#include "publicparam.h"

#include <cstring>

float g_sequenceTime = 0.0f;

PublicParam::PublicParam(const char* name)
{
    if (!name)
        name = "";
    size_t n = std::strlen(name);
    m_name = new char[n + 1];
    std::memcpy(m_name, name, n + 1);
}

PublicParam::~PublicParam()
{
    delete[] m_name;
}
