#include "publicparamfloat.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "publicparamkeys.h"

namespace {
// Rounds to the nearest float; beyond the float range gives an infinity.
float ToFloat(double v)
{
    if (std::isfinite(v) && std::fabs(v) > FLT_MAX)
        return v > 0 ? HUGE_VALF : -HUGE_VALF;
    return (float)v;
}
}

PublicParamFloat::PublicParamFloat(const char* name, float value, float min, float max)
    : PublicParam(name), m_value(value), m_min(min), m_max(max)
{
}

float PublicParamFloat::Parse(const char* text)
{
    float v = 0.0f;
    if (!text || std::sscanf(text, "%f", &v) != 1)
        return 0.0f;
    return v;
}

PublicParamFloat::~PublicParamFloat()
{
    keys::DestroyAll(m_constantKeys);
    keys::DestroyAll(m_linearKeys);
    keys::DestroyAll(m_sineKeys);
    keys::DestroyAll(m_splineKeys1);
    keys::DestroyAll(m_splineKeys2);
}

char* PublicParamFloat::ToString()
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, "%f", m_value);
    return CopyText(buffer);
}

void PublicParamFloat::Evaluate()
{
    keys::Walk(
        g_sequenceTime, [this](float value) { SetValue(value); },
        [this](double value) { SetValue(ToFloat(value)); }, m_sineKeys, m_linearKeys, m_constantKeys);
}

float PublicParamFloat::GetValue()
{
    Evaluate();
    return m_value;
}

void PublicParamFloat::SetValue(float value)
{
    if (m_min <= value && value <= m_max)
        m_value = value;
}

void PublicParamFloat::AddConstantKey(float start, float end, float value)
{
    keys::Insert(m_constantKeys, new ConstantKey<float>{start, end, value});
}

void PublicParamFloat::AddLinearKey(float start, float end, float from, float to)
{
    keys::Insert(m_linearKeys, new LinearKey<float>{start, end, from, to});
}

void PublicParamFloat::AddSineKey(float start, float end, float base, float amplitude, float frequency)
{
    keys::Insert(m_sineKeys, new SineKey<float>{start, end, base, amplitude, frequency});
}
