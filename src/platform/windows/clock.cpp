// The performance counter: monotonic, and much finer than the 10-16 ms of
// the tick count.
#include "platform/clock.h"

#include <windows.h>

int64_t clockMs() {
    static const int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return (int64_t)f.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Whole seconds and the rest apart, so that the product cannot overflow.
    int64_t ticks = (int64_t)now.QuadPart;
    return ticks / frequency * 1000 + ticks % frequency * 1000 / frequency;
}
