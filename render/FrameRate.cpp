#include "render/FrameRate.h"

CTRFrameRate::CTRFrameRate()
    : previous(0.0f), delta(0.0f), elapsed(0.0f), frameTime(0.0f), clock(0.0f), frameInterval(1.0f / 60.0f) {
    frequency.QuadPart = 0;
    start.QuadPart = 0;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
}

float CTRFrameRate::GetTime() const {
    // A counter without a frequency cannot measure anything; report a clock that stands still rather than
    // inf/NaN.
    if (frequency.QuadPart <= 0) return 0.0f;
    LARGE_INTEGER now;
    now.QuadPart = start.QuadPart;
    QueryPerformanceCounter(&now);
    return static_cast<float>(static_cast<double>(now.QuadPart - start.QuadPart) /
                              static_cast<double>(frequency.QuadPart));
}

bool CTRFrameRate::Update() {
    // The clock starts at the first call: the time spent loading before it is not frame time.
    if (previous == 0.0f) {
        previous = GetTime();
        clock = 0.0f;
    }
    const float now = GetTime();
    delta = now - previous;
    if (delta < 0.0f) delta = 0.0f;  // the counter went backwards: count nothing
    previous = now;
    clock = clock + delta;

    if (clock < frameTime + frameInterval) return false;

    // Missed intervals are not caught up: the next frame is due one interval after this one.
    elapsed = clock - frameTime;
    frameTime = clock;
    return true;
}
