#include "publicparamint.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "publicparamkeys.h"

PublicParamInt::PublicParamInt(const char* name, int value, int min, int max)
    : PublicParam(name), m_value(value), m_min(min), m_max(max)
{
}

int PublicParamInt::Parse(const char* text)
{
    int v = 0;
    if (!text || std::sscanf(text, "%d", &v) != 1)
        return 0;
    return v;
}

PublicParamInt::~PublicParamInt()
{
    keys::DestroyAll(m_constantKeys);
    keys::DestroyAll(m_linearKeys);
    keys::DestroyAll(m_sineKeys);
    keys::DestroyAll(m_splineKeys1);
    keys::DestroyAll(m_splineKeys2);
}

char* PublicParamInt::ToString()
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, "%d", m_value);
    return CopyText(buffer);
}

void PublicParamInt::SetFromDouble(double value)
{
    // Fails for NaN too.
    if (!(value > -2147483649.0 && value < 2147483648.0))
        return;
    SetValue((int)value);
}

void PublicParamInt::Evaluate()
{
    keys::Walk(
        g_sequenceTime, [this](int value) { SetValue(value); }, [this](double value) { SetFromDouble(value); },
        m_sineKeys, m_linearKeys, m_constantKeys);
}

int PublicParamInt::GetValue()
{
    Evaluate();
    return m_value;
}

void PublicParamInt::SetValue(int value)
{
    if (m_min <= value && value <= m_max)
        m_value = value;
}

void PublicParamInt::AddConstantKey(float start, float end, int value)
{
    keys::Insert(m_constantKeys, new ConstantKey<int>{start, end, value});
}

void PublicParamInt::AddLinearKey(float start, float end, int from, int to)
{
    keys::Insert(m_linearKeys, new LinearKey<int>{start, end, from, to});
}

void PublicParamInt::AddSineKey(float start, float end, int base, int amplitude, float frequency)
{
    keys::Insert(m_sineKeys, new SineKey<int>{start, end, base, amplitude, frequency});
}
