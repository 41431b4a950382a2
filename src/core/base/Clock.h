// Time for the whole program: one clock object, read in whole microseconds. The program reads
// the monotonic clock; tests and the render tool move a clock by hand. Timers are stopwatches
// on a clock, never on a clock of their own.
#pragma once

#include <cstdint>

using Ticks = std::int64_t;
constexpr double TICKS_PER_SECOND = 1000000.0;

class Clock {
public:
    virtual ~Clock() = default;
    virtual Ticks now() const = 0;
    double seconds() const { return static_cast<double>(now()) / TICKS_PER_SECOND; }
};

// The monotonic wall clock: the processor clock C's clock() reads would stand still while the
// program waits for its next frame.
class SteadyClock final : public Clock {
public:
    Ticks now() const override;
};

// A clock that moves only when told: tests, and the render tool (moved by the samples it mixed).
class DrivenClock final : public Clock {
public:
    explicit DrivenClock(Ticks start = 1000000) : ticks_(start) {}
    Ticks now() const override { return ticks_; }
    void set(Ticks ticks) { ticks_ = ticks; }
    void advance(double seconds) { ticks_ += static_cast<Ticks>(seconds * TICKS_PER_SECOND + 0.5); }

private:
    Ticks ticks_;
};

// A pausable stopwatch on a clock.
class Timer {
public:
    explicit Timer(const Clock& clock);

    void reset();
    // Seconds since the last reset, paused spans excluded.
    double elapsed() const;
    void pause();
    void unpause();
    bool isPaused() const { return paused; }

private:
    const Clock* clock;
    Ticks startTime;
    Ticks pauseTime;
    double pauseOffset;  // ticks spent paused since the last reset
    bool paused;
};
