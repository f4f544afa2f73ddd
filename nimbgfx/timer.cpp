#include "timer.h"

#include <windows.h>
#include <mmsystem.h>

namespace {
bool g_timerInitialised = false;
bool g_timerHasCounter = false;
LONGLONG g_timerTicksPerSecond = 0;
bool g_timerStopped = true;

// The three instants of the clock: counter ticks with the counter, seconds
// with the multimedia timer. An instant of 0 is none.
template <typename Instant>
struct Instants {
    Instant stop = 0;
    Instant lastElapsed = 0;
    Instant base = 0;
};
Instants<LONGLONG> g_ticks;
Instants<double> g_seconds;

// Runs a command on one set of instants. `now` reads the clock, `seconds`
// turns a span of instants into seconds, `tenth` is 0.1 s of instants.
template <typename Instant, typename Now, typename Seconds>
float runCommand(Instants<Instant>& c, TimerCommand command, Now now, Seconds seconds, Instant tenth)
{
    Instant t;
    if (c.stop != 0 && command != TimerCommand::Start && command != TimerCommand::AbsoluteTime)
        t = c.stop;
    else
        t = now();

    switch (command) {
    case TimerCommand::Reset:
        c.base = t;
        c.lastElapsed = t;
        c.stop = 0;
        g_timerStopped = false;
        return 0.0f;
    case TimerCommand::Start:
        if (g_timerStopped)
            c.base += t - c.stop;
        c.stop = 0;
        c.lastElapsed = t;
        g_timerStopped = false;
        return 0.0f;
    case TimerCommand::Stop:
        if (!g_timerStopped) {
            c.stop = t;
            c.lastElapsed = t;
            g_timerStopped = true;
        }
        return 0.0f;
    case TimerCommand::Advance:
        c.stop += tenth;
        return 0.0f;
    case TimerCommand::AbsoluteTime:
        return (float)seconds(t);
    case TimerCommand::AppTime:
        return (float)seconds(t - c.base);
    case TimerCommand::ElapsedTime: {
        double elapsed = seconds(t - c.lastElapsed);
        c.lastElapsed = t;
        return (float)elapsed;
    }
    }
    return -1.0f;
}

float counterTimer(TimerCommand command)
{
    const double freq = (double)g_timerTicksPerSecond;
    return runCommand<LONGLONG>(
        g_ticks, command,
        [] {
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            return now.QuadPart;
        },
        [freq](LONGLONG ticks) { return (double)ticks / freq; }, g_timerTicksPerSecond / 10);
}

float millisecondTimer(TimerCommand command)
{
    return runCommand<double>(
        g_seconds, command, [] { return timeGetTime() * 0.001; }, [](double s) { return s; },
        (double)0.1f);
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
    g_ticks = Instants<LONGLONG>();
    g_seconds = Instants<double>();
}
