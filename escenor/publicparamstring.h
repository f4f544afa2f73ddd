// Text effect parameter with constant keys.
#pragma once

#include "publicparam.h"

class PublicParamString : public PublicParam {
public:
    PublicParamString(const char* name, const char* text, int maxLength);
    ~PublicParamString() override;

    // The value buffer itself (not a copy).
    char* ToString() override;
    void Evaluate() override;

    // Applies the keys, then returns the value buffer itself; it stays valid
    // until the next evaluation or SetValue.
    const char* GetValue();
    // Keeps at most m_maxLength characters of the text.
    void SetValue(const char* text);
    // Texts set later are cut to the new length; the current one is not.
    void SetMaxLength(int maxLength);

    // The key holds its own copy of the text.
    void AddConstantKey(float start, float end, const char* text);
    // Text cannot be interpolated: adds nothing.
    void AddLinearKey(float start, float end, const char* from, const char* to);

    char* m_value;
    int m_maxLength;
    std::list<ConstantKey<char*>*> m_constantKeys;
    std::list<LinearKey<char*>*> m_linearKeys;
};
