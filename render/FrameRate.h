// CTRFrameRate: the frame gate on the performance counter. Update() advances an accumulated clock that starts
// at its first call and accepts at most one frame per 1/60 s; GetFrameTime() is the clock at the last
// accepted frame and GetElapsedTime() the time between the last two accepted frames, both in seconds.
#pragma once

#include "platform/win32/Win32.h"

class CTRFrameRate {
public:
    CTRFrameRate();
    ~CTRFrameRate() = default;

    CTRFrameRate(const CTRFrameRate&) = delete;
    CTRFrameRate& operator=(const CTRFrameRate&) = delete;

    // Seconds since construction: (counter now - counter at construction) / frequency.
    float GetTime() const;

    // Advances the clock by the time since the previous call (never backwards); true when a frame is due.
    bool Update();

    float GetElapsedTime() const { return elapsed; }
    float GetFrameTime() const { return frameTime; }

private:
    LARGE_INTEGER frequency;  // counter ticks per second
    LARGE_INTEGER start;      // counter at construction
    float previous;           // GetTime() at the previous Update; 0 until the first Update
    float delta;              // time between the last two Update calls, never negative
    float elapsed;            // time between the last two accepted frames
    float frameTime;          // clock at the last accepted frame
    float clock;              // sum of all deltas since the first Update
    float frameInterval;      // minimum time between accepted frames (1/60 s)
};
