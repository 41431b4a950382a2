// The processor clock that C's clock() reads would stop while the program waits for the
// next frame, so time here is the monotonic wall clock, read in this one place.
#include "timer.h"

#include <chrono>

namespace clocksource {
namespace {
Ticks realClock() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}
Source current = realClock;
}  // namespace

Ticks now() { return current(); }

void set(Source source) { current = source != nullptr ? source : realClock; }
}  // namespace clocksource

Timer::Timer() { reset(); }

Timer::~Timer() = default;

void Timer::reset() {
    startTime = clocksource::now();
    pauseTime = startTime;
    pauseOffset = 0.0;
    paused = false;
}

double Timer::elapsed() const {
    const clocksource::Ticks end = paused ? pauseTime : clocksource::now();
    return (static_cast<double>(end - startTime) - pauseOffset) / clocksource::TICKS_PER_SECOND;
}

void Timer::pause() {
    if (paused) return;
    pauseTime = clocksource::now();
    paused = true;
}

void Timer::unpause() {
    if (!paused) return;
    pauseOffset += static_cast<double>(clocksource::now() - pauseTime);
    paused = false;
}
