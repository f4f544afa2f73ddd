// Float effect parameter with constant, linear and sine keys.
#pragma once

#include <type_traits>

#include "publicparam.h"

class PublicParamFloat : public PublicParam {
public:
    PublicParamFloat(const char* name, float value, float min, float max);
    // Reads the value from the text with "%f" (0 when it holds no number).
    // Only a text picks this one: a literal 0 is a value.
    template <typename Text, typename = std::enable_if_t<std::is_same_v<std::decay_t<Text>, const char*> ||
                                                          std::is_same_v<std::decay_t<Text>, char*>>>
    PublicParamFloat(const char* name, Text text, float min, float max) : PublicParamFloat(name, Parse(text), min, max)
    {
    }
    ~PublicParamFloat() override;

    // A new copy of the value formatted with "%f"; the caller deletes it.
    char* ToString() override;
    void Evaluate() override;

    // Applies the keys, then returns the value.
    float GetValue();
    // Stores the value only when m_min <= value <= m_max.
    void SetValue(float value);

    void AddConstantKey(float start, float end, float value);
    void AddLinearKey(float start, float end, float from, float to);
    void AddSineKey(float start, float end, float base, float amplitude, float frequency);

    float m_value;
    float m_min;
    float m_max;
    std::list<ConstantKey<float>*> m_constantKeys;
    std::list<LinearKey<float>*> m_linearKeys;
    std::list<SineKey<float>*> m_sineKeys;
    std::list<SplineKey*> m_splineKeys1;
    std::list<SplineKey*> m_splineKeys2;

private:
    static float Parse(const char* text);
};
