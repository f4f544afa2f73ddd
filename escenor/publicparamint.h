// Integer effect parameter with constant, linear and sine keys.
#pragma once

#include "publicparam.h"

class PublicParamInt : public PublicParam {
public:
    PublicParamInt(const char* name, int value, int min, int max);
    // Reads the value from the text with "%d".
    PublicParamInt(const char* name, const char* text, int min, int max);
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
    // Truncates toward zero and stores; a value that is not a number or
    // does not fit an int is rejected like any other out of bounds.
    void SetFromDouble(double value);
};
