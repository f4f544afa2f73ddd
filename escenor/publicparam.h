// Named, keyed effect settings: the base class and the key records.
#pragma once

#include <list>

// Sequence time in seconds (the load progress 0..1 while loading). Every
// parameter applies its keys at this time when it is read.
extern float g_sequenceTime;

// A held value over [m_start, m_end] (sequence seconds).
template <typename T>
struct ConstantKey {
    float m_start;
    float m_end;
    T m_value;
};

// A ramp from m_from at m_start to m_to at m_end.
template <typename T>
struct LinearKey {
    float m_start;
    float m_end;
    T m_from;
    T m_to;
};

// m_base + m_amplitude * sin((time - m_start) * m_frequency).
template <typename T>
struct SineKey {
    float m_start;
    float m_end;
    T m_base;
    T m_amplitude;
    float m_frequency; // radians per second
};

// A further key kind; nothing creates one.
struct SplineKey {
    float m_start;
    float m_end;
};

class PublicParam {
public:
    explicit PublicParam(const char* name);
    virtual ~PublicParam();

    // The value as text.
    virtual char* ToString() = 0;
    // Applies the keys at g_sequenceTime.
    virtual void Evaluate() = 0;

    const char* GetName() const { return m_name; }

    char* m_name;

    // A new copy of the text (null reads as empty) that the caller deletes.
    static char* CopyText(const char* text);

private:
    PublicParam(const PublicParam&) = delete;
    PublicParam& operator=(const PublicParam&) = delete;
};
