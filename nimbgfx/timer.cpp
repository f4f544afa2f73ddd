#include "timer.h"

#include <windows.h>
#include <mmsystem.h>

namespace {
bool g_timerInitialised = false;
bool g_timerHasCounter = false;
LONGLONG g_timerTicksPerSecond = 0;
bool g_timerStopped = true;

// Instants in counter ticks (with the counter) ...
LONGLONG g_timerStopTime = 0;
LONGLONG g_timerLastElapsedTime = 0;
LONGLONG g_timerBaseTime = 0;
// ... or in seconds (multimedia timer).
double g_timerStopTimeSec = 0.0;
double g_timerLastElapsedTimeSec = 0.0;
double g_timerBaseTimeSec = 0.0;

float counterTimer(TimerCommand command)
{
    LARGE_INTEGER now;
    if (g_timerStopTime != 0 && command != TimerCommand::Start && command != TimerCommand::AbsoluteTime)
        now.QuadPart = g_timerStopTime;
    else
        QueryPerformanceCounter(&now);
    const LONGLONG t = now.QuadPart;
    const double freq = (double)g_timerTicksPerSecond;

    switch (command) {
    case TimerCommand::Reset:
        g_timerBaseTime = t;
        g_timerLastElapsedTime = t;
        g_timerStopTime = 0;
        g_timerStopped = false;
        return 0.0f;
    case TimerCommand::Start:
        if (g_timerStopped)
            g_timerBaseTime += t - g_timerStopTime;
        g_timerStopTime = 0;
        g_timerLastElapsedTime = t;
        g_timerStopped = false;
        return 0.0f;
    case TimerCommand::Stop:
        if (!g_timerStopped) {
            g_timerStopTime = t;
            g_timerLastElapsedTime = t;
            g_timerStopped = true;
        }
        return 0.0f;
    case TimerCommand::Advance:
        g_timerStopTime += g_timerTicksPerSecond / 10;
        return 0.0f;
    case TimerCommand::AbsoluteTime:
        return (float)((double)t / freq);
    case TimerCommand::AppTime:
        return (float)((double)(t - g_timerBaseTime) / freq);
    case TimerCommand::ElapsedTime: {
        double elapsed = (double)(t - g_timerLastElapsedTime) / freq;
        g_timerLastElapsedTime = t;
        return (float)elapsed;
    }
    }
    return -1.0f;
}

float millisecondTimer(TimerCommand command)
{
    double t;
    if (g_timerStopTimeSec != 0.0 && command != TimerCommand::Start && command != TimerCommand::AbsoluteTime)
        t = g_timerStopTimeSec;
    else
        t = timeGetTime() * 0.001;

    switch (command) {
    case TimerCommand::Reset:
        g_timerBaseTimeSec = t;
        g_timerLastElapsedTimeSec = t;
        g_timerStopTimeSec = 0.0;
        g_timerStopped = false;
        return 0.0f;
    case TimerCommand::Start:
        if (g_timerStopped)
            g_timerBaseTimeSec += t - g_timerStopTimeSec;
        g_timerStopTimeSec = 0.0;
        g_timerLastElapsedTimeSec = t;
        g_timerStopped = false;
        return 0.0f;
    case TimerCommand::Stop:
        if (!g_timerStopped) {
            g_timerStopTimeSec = t;
            g_timerLastElapsedTimeSec = t;
            g_timerStopped = true;
        }
        return 0.0f;
    case TimerCommand::Advance:
        g_timerStopTimeSec += (double)0.1f;
        return 0.0f;
    case TimerCommand::AbsoluteTime:
        return (float)t;
    case TimerCommand::AppTime:
        return (float)(t - g_timerBaseTimeSec);
    case TimerCommand::ElapsedTime: {
        double elapsed = t - g_timerLastElapsedTimeSec;
        g_timerLastElapsedTimeSec = t;
        return (float)elapsed;
    }
    }
    return -1.0f;
}
}

float Timer(TimerCommand command)
{
    if (!g_timerInitialised) {
        g_timerInitialised = true;
        LARGE_INTEGER freq;
        g_timerHasCounter = QueryPerformanceFrequency(&freq) != FALSE && freq.QuadPart > 0;
        g_timerTicksPerSecond = g_timerHasCounter ? freq.QuadPart : 0;
    }
    int value = (int)command;
    if (value < (int)TimerCommand::Reset || value > (int)TimerCommand::ElapsedTime)
        return -1.0f;
    return g_timerHasCounter ? counterTimer(command) : millisecondTimer(command);
}

void TimerResetState()
{
    g_timerInitialised = false;
    g_timerHasCounter = false;
    g_timerTicksPerSecond = 0;
    g_timerStopped = true;
    g_timerStopTime = g_timerLastElapsedTime = g_timerBaseTime = 0;
    g_timerStopTimeSec = g_timerLastElapsedTimeSec = g_timerBaseTimeSec = 0.0;
}
