// Timer: a pausable stopwatch. All readings come from one clock source, the real monotonic
// clock in the program and a hand-driven one in tests.
#pragma once

#include <cstdint>

namespace clocksource {
// Clock readings are whole ticks of a microsecond.
using Ticks = std::int64_t;
constexpr double TICKS_PER_SECOND = 1000000.0;

// Returns the current reading of the clock in use.
Ticks now();

// Replaces the clock (nullptr restores the real one). Tests drive time through this.
using Source = Ticks (*)();
void set(Source source);
}  // namespace clocksource

class Timer {
public:
    Timer();
    virtual ~Timer();

    void reset();
    // Seconds since the last reset, paused spans excluded.
    double elapsed() const;
    void pause();
    void unpause();
    bool isPaused() const { return paused; }

private:
    clocksource::Ticks startTime;
    clocksource::Ticks pauseTime;
    double pauseOffset;  // ticks spent paused since the last reset
    bool paused;
};
