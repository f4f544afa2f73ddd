#include "publicparamcolor.h"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "publicparamkeys.h"

namespace {

uint32_t ChannelByte(float channel)
{
    float v = channel * 255.0f;
    if (!(v > 0.0f)) // also not a number
        return 0;
    if (v >= 255.0f)
        return 255;
    return (uint32_t)v;
}

uint32_t Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b)
{
    return (a << 24) | (r << 16) | (g << 8) | b;
}

} // namespace

PublicParamColor::PublicParamColor(const char* name, uint32_t argb)
    : PublicParam(name), m_alpha(0.0f), m_red(0.0f), m_green(0.0f), m_blue(0.0f)
{
    SetARGB(argb);
}

PublicParamColor::PublicParamColor(const char* name, float alpha, float red, float green, float blue)
    : PublicParam(name), m_alpha(0.0f), m_red(0.0f), m_green(0.0f), m_blue(0.0f)
{
    SetColor(alpha, red, green, blue);
}

void PublicParamColor::ParseInto(const char* text)
{
    if (!text)
        return;
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (end == text)
        return;
    // A packed value past 31 bits wraps, as a 32-bit integer read would.
    SetARGB((uint32_t)(unsigned long long)v);
}

PublicParamColor::~PublicParamColor()
{
    keys::DestroyAll(m_constantKeys);
    keys::DestroyAll(m_linearKeys);
    keys::DestroyAll(m_splineKeys1);
    keys::DestroyAll(m_splineKeys2);
}

char* PublicParamColor::ToString()
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%x", (unsigned)GetARGB());
    return CopyText(buffer);
}

void PublicParamColor::Evaluate()
{
    auto held = [this](auto argb) { SetARGB((uint32_t)argb); };
    // Only an active linear key is computed: the packed value as one
    // integer, truncated, wrapping as the difference did.
    auto computed = [this](double value) {
        // Not a number (a key whose start equals its end) sets nothing.
        if (value > -4294967296.0 && value < 4294967296.0)
            SetARGB((uint32_t)(int64_t)std::trunc(value));
        assert(false);
    };
    keys::Walk(g_sequenceTime, held, computed, m_linearKeys, m_constantKeys);
}

void PublicParamColor::SetARGB(uint32_t argb)
{
    m_alpha = (float)((argb >> 24) & 255) / 255.0f;
    m_red = (float)((argb >> 16) & 255) / 255.0f;
    m_green = (float)((argb >> 8) & 255) / 255.0f;
    m_blue = (float)(argb & 255) / 255.0f;
}

void PublicParamColor::SetColor(float alpha, float red, float green, float blue)
{
    m_alpha = alpha;
    m_red = red;
    m_green = green;
    m_blue = blue;
}

uint32_t PublicParamColor::GetARGB()
{
    Evaluate();
    return Pack(ChannelByte(m_alpha), ChannelByte(m_red), ChannelByte(m_green), ChannelByte(m_blue));
}

uint32_t PublicParamColor::GetGreyARGB()
{
    Evaluate();
    float r = m_red * 255.0f;
    float g = m_green * 255.0f;
    float b = m_blue * 255.0f;
    double grey = r * 0.299 + g * 0.587 + b * 0.114;
    uint32_t level = 0;
    if (grey >= 255.0)
        level = 255;
    else if (grey > 0.0)
        level = (uint32_t)grey;
    return Pack(ChannelByte(m_alpha), level, level, level);
}

void PublicParamColor::GetColor(float* alpha, float* red, float* green, float* blue)
{
    Evaluate();
    *alpha = m_alpha;
    *red = m_red;
    *green = m_green;
    *blue = m_blue;
}

void PublicParamColor::GetGreyColor(float* alpha, float* red, float* green, float* blue)
{
    Evaluate();
    float grey = (float)(0.299 * m_red + 0.587 * m_green + 0.114 * m_blue);
    *alpha = m_alpha;
    *red = grey;
    *green = grey;
    *blue = grey;
}

void PublicParamColor::AddConstantKey(float start, float end, uint32_t argb)
{
    keys::Insert(m_constantKeys, new ConstantKey<uint32_t>{start, end, argb});
}

void PublicParamColor::AddLinearKey(float start, float end, uint32_t from, uint32_t to)
{
    keys::Insert(m_linearKeys, new LinearKey<int32_t>{start, end, (int32_t)from, (int32_t)to});
}
