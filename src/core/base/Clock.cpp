// The monotonic clock, and the stopwatch every part of the program times itself with.
#include "Clock.h"

#include <chrono>

Ticks SteadyClock::now() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

Timer::Timer(const Clock& source) : clock(&source) { reset(); }

void Timer::reset() {
    startTime = clock->now();
    pauseTime = startTime;
    pauseOffset = 0.0;
    paused = false;
}

double Timer::elapsed() const {
    const Ticks end = paused ? pauseTime : clock->now();
    return (static_cast<double>(end - startTime) - pauseOffset) / TICKS_PER_SECOND;
}

void Timer::pause() {
    if (paused) return;
    pauseTime = clock->now();
    paused = true;
}

void Timer::unpause() {
    if (!paused) return;
    pauseOffset += static_cast<double>(clock->now() - pauseTime);
    paused = false;
}
