// A clock the tests move by hand, installed for the life of the object.
#pragma once

#include "timer.h"

class DrivenClock {
public:
    DrivenClock() {
        ticks() = 1000000;  // any start; Timers only see differences
        clocksource::set(&DrivenClock::read);
    }
    ~DrivenClock() { clocksource::set(nullptr); }

    void advance(double seconds) {
        ticks() += static_cast<clocksource::Ticks>(seconds * clocksource::TICKS_PER_SECOND + 0.5);
    }

private:
    static clocksource::Ticks& ticks() {
        static clocksource::Ticks value = 0;
        return value;
    }
    static clocksource::Ticks read() { return ticks(); }
};
