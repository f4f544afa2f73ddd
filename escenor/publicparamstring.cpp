#include "publicparamstring.h"

#include <cassert>
#include <cstring>

#include "publicparamkeys.h"

PublicParamString::PublicParamString(const char* name, const char* text, int maxLength)
    : PublicParam(name), m_value(nullptr), m_maxLength(0)
{
    SetMaxLength(maxLength);
    SetValue(text);
}

PublicParamString::~PublicParamString()
{
    keys::DestroyAll(m_constantKeys);
    keys::DestroyAll(m_linearKeys);
    delete[] m_value;
}

char* PublicParamString::ToString()
{
    return m_value;
}

void PublicParamString::Evaluate()
{
    // Text is never computed: only constant keys are walked.
    keys::Walk(
        g_sequenceTime, [this](const char* text) { SetValue(text); }, [](double) {}, m_constantKeys);
}

const char* PublicParamString::GetValue()
{
    Evaluate();
    return m_value;
}

void PublicParamString::SetValue(const char* text)
{
    if (!text)
        text = "";
    size_t limit = m_maxLength > 0 ? (size_t)m_maxLength : 0;
    size_t n = strnlen(text, limit);
    char* buffer = new char[n + 1];
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
    delete[] m_value;
    m_value = buffer;
}

void PublicParamString::SetMaxLength(int maxLength)
{
    m_maxLength = maxLength;
}

void PublicParamString::AddConstantKey(float start, float end, const char* text)
{
    keys::Insert(m_constantKeys, new ConstantKey<char*>{start, end, CopyText(text)});
}

void PublicParamString::AddLinearKey(float, float, const char*, const char*)
{
    assert(false);
}
