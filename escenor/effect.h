// Base class of every effect the sequencer schedules.
#pragma once

#include <vector>

#include "publicparam.h"
#include "publicparamfloat.h"
#include "publicparamint.h"
#include "publicparamstring.h"

// Number of Effect::SetName calls so far; never reset.
extern int g_effectCount;

class Effect {
public:
    Effect();
    // Copies the given name instead of the default one.
    explicit Effect(const char* name);
    // Frees the name and the parameters with their keys.
    virtual ~Effect() = 0;

    // Creates the effect's resources.
    virtual int Init() = 0;
    // First activation.
    virtual int Start() = 0;
    // Draws one frame for time t (see DoRender).
    virtual int Render(float t) = 0;

    // m_name := "<className> #<n>", n being the new value of g_effectCount.
    void SetName(const char* className);
    // The first parameter of that exact name, or null.
    PublicParam* GetParam(const char* name);

    // Init once; returns its result, or 0 when already initialised.
    int DoInit();
    // Init if needed, then Start once; returns Start's result or 0.
    int DoStart();
    // Start if needed, sets m_delta, renders and remembers t.
    int DoRender(float t);

    // One more schedule entry holds the effect.
    void AddRef() { m_refCount++; }
    // Deletes the effect when at most one holder is left, else counts down.
    void Release();

    char* m_name;
    int m_refCount;
    std::vector<PublicParam*> m_params;
    bool m_initialised;
    bool m_started;
    float m_lastTime; // -1 until the first render
    float m_delta;    // t minus the previous t

private:
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;
};

// The parameter of that exact name (the first, as GetParam finds it) when it
// is of class T; null when there is none of that name or it is of another
// class.
template <class T>
T* ParamOf(Effect* effect, const char* name)
{
    return effect ? dynamic_cast<T*>(effect->GetParam(name)) : nullptr;
}
