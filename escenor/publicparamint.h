// Integer effect parameter with constant, linear and sine keys.
#pragma once

#include <type_traits>

#include "publicparam.h"

class PublicParamInt : public PublicParam {
public:
    PublicParamInt(const char* name, int value, int min, int max);
    // Reads the value from the text with "%d" (0 when it holds no number).
    // Only a text picks this one: a literal 0 is a value.
    template <typename Text, typename = std::enable_if_t<std::is_same_v<std::decay_t<Text>, const char*> ||
                                                          std::is_same_v<std::decay_t<Text>, char*>>>
    PublicParamInt(const char* name, Text text, int min, int max) : PublicParamInt(name, Parse(text), min, max)
    {
    }
    ~PublicParamInt() override;

    // A new copy of the value formatted with "%d"; the caller deletes it.
    char* ToString() override;
    void Evaluate() override;

    // Applies the keys, then returns the value.
    int GetValue();
    // Stores the value only when m_min <= value <= m_max.
    void SetValue(int value);

    void AddConstantKey(float start, float end, int value);
    void AddLinearKey(float start, float end, int from, int to);
    void AddSineKey(float start, float end, int base, int amplitude, float frequency);

    int m_value;
    int m_min;
    int m_max;
    std::list<ConstantKey<int>*> m_constantKeys;
    std::list<LinearKey<int>*> m_linearKeys;
    std::list<SineKey<int>*> m_sineKeys;
    std::list<SplineKey*> m_splineKeys1;
    std::list<SplineKey*> m_splineKeys2;

private:
    static int Parse(const char* text);
    // Truncates toward zero and stores; a value that is not a number or
    // does not fit an int is rejected like any other out of bounds.
    void SetFromDouble(double value);
};
