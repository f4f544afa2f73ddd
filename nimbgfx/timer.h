#pragma once

// The process clock, in seconds.
enum class TimerCommand : int {
    Reset = 0,        // application time counts from 0 again; runs
    Start = 1,        // runs; a stopped span is added to the base
    Stop = 2,         // freezes the readings at the stop instant
    Advance = 3,      // moves the stop instant 0.1 s on
    AbsoluteTime = 4, // the counter now, in seconds
    AppTime = 5,      // seconds since the base
    ElapsedTime = 6,  // seconds since the previous ElapsedTime
};

// Runs a command on the one process-wide clock; -1 for an unknown command.
float Timer(TimerCommand command);

// Puts the clock back to its state at process start, so that the next call
// asks for the counter frequency again (for tests).
void TimerResetState();
