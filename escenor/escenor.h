// The sequencer: a schedule of effects on the sequence clock.
#pragma once

#include <list>

#include "effect.h"

// One scheduled appearance of an effect; holds one reference to it.
struct ScheduleItem {
    Effect* m_pEffect;
    float m_start; // sequence seconds
    float m_end;   // sequence seconds; 0 means never
    float m_layer; // drawn lowest first
};

class Escenor {
public:
    // Builds the show (through LoadScript) and opens the sound output.
    explicit Escenor(const char* scriptFile);
    // Stops the sound and releases every effect still scheduled.
    ~Escenor();

    // Does not open the file: builds the show in code. Returns 0.
    int LoadScript(const char* scriptFile);
    // The show itself (effects/show.cpp).
    void BuildShow();

    // Schedules the effect over [start, end] on the given layer.
    void AddEffect(Effect* effect, float start, float end, float layer);
    // The effect that draws the load progress; no reference is taken.
    void SetLoadingEffect(Effect* effect, float unused1, float unused2);

    // Initialises every scheduled effect behind the loading effect, starts
    // the music and the sequence clock.
    void Init();
    // One frame; false when nothing is pending or running.
    bool RenderFrame();
    // Jumps the show to the given sequence time.
    void Seek(float time);

    std::list<ScheduleItem*> m_pendingItems; // by start
    std::list<ScheduleItem*> m_activeItems;  // by layer
    Effect* m_pLoadingEffect;
    float m_startTime; // application seconds at sequence time 0
    Effect* m_pText1;
    Effect* m_pText2;

    // The music module's bytes, kept until the sound is stopped.
    unsigned char* m_pMusicData;

private:
    Escenor(const Escenor&) = delete;
    Escenor& operator=(const Escenor&) = delete;
};
