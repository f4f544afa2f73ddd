// Colour effect parameter: four float channels exchanged as packed ARGB or
// floats, in colour or in grey, with constant and linear keys of packed
// values.
#pragma once

#include <cstdint>
#include <type_traits>

#include "publicparam.h"

class PublicParamColor : public PublicParam {
public:
    PublicParamColor(const char* name, uint32_t argb);
    PublicParamColor(const char* name, float alpha, float red, float green, float blue);
    // Reads a signed decimal packed value from the text with "%d"; a text
    // that does not start with a number leaves every channel 0. Only a text
    // picks this one: a literal 0 is a colour.
    template <typename Text, typename = std::enable_if_t<std::is_same_v<std::decay_t<Text>, const char*> ||
                                                          std::is_same_v<std::decay_t<Text>, char*>>>
    PublicParamColor(const char* name, Text text) : PublicParamColor(name, 0u)
    {
        ParseInto(text);
    }
    ~PublicParamColor() override;

    // "0x%x" of GetARGB as a new text; the caller deletes it.
    char* ToString() override;
    void Evaluate() override;

    // Each channel := its byte / 255.
    void SetARGB(uint32_t argb);
    // Stores the channels unchanged (no bounds).
    void SetColor(float alpha, float red, float green, float blue);

    // The getters apply the keys first. Packed: channel x 255 truncated and
    // clamped to 0..255.
    uint32_t GetARGB();
    // Alpha as GetARGB; grey = 0.299 red + 0.587 green + 0.114 blue.
    uint32_t GetGreyARGB();
    void GetColor(float* alpha, float* red, float* green, float* blue);
    // Grey neither scaled nor clamped.
    void GetGreyColor(float* alpha, float* red, float* green, float* blue);

    void AddConstantKey(float start, float end, uint32_t argb);
    // The packed values are interpolated as one signed 32-bit integer.
    void AddLinearKey(float start, float end, uint32_t from, uint32_t to);

    float m_alpha;
    float m_red;
    float m_green;
    float m_blue;
    std::list<ConstantKey<uint32_t>*> m_constantKeys;
    std::list<LinearKey<int32_t>*> m_linearKeys;
    std::list<SplineKey*> m_splineKeys1;
    std::list<SplineKey*> m_splineKeys2;

private:
    void ParseInto(const char* text);
};
