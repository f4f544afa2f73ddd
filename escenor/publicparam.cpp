#include "publicparam.h"

#include <cstring>

float g_sequenceTime = 0.0f;

PublicParam::PublicParam(const char* name) : m_name(CopyText(name))
{
}

char* PublicParam::CopyText(const char* text)
{
    if (!text)
        text = "";
    size_t n = std::strlen(text);
    char* copy = new char[n + 1];
    std::memcpy(copy, text, n + 1);
    return copy;
}

PublicParam::~PublicParam()
{
    delete[] m_name;
}
