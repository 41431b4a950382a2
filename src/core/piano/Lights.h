// The lights the keys change: the spot light's aim, width and levels, and the concert beams'
// sweep, which eases from one random aim point to the next. The generator is C's rand(), left
// unseeded, so every run draws the same sequence.
#pragma once

#include <array>

#include "Clock.h"
#include "Scene.h"
#include "Vector.h"

class Lights {
public:
    explicit Lights(const Clock& clock);

    const LightState& state() const { return state_; }

    // One frame of the concert sweep.
    void stepConcert();
    // Concert lights on: the sweep starts afresh and the picture goes dark.
    void concertOn();
    // Back to the levels the program starts with.
    void restoreLevels();
    // The light keys; true when the key was one of them and changed something.
    bool lightKey(unsigned char key);
    // The arrow keys swing the spot light.
    void arrowKey(int key);

    // The sweep, for tests: where it goes from and to, and its phase (radians, -PI/2 .. PI/2).
    const std::array<Vector, 3>& sweepFrom() const { return sweepFrom_; }
    const std::array<Vector, 3>& sweepTo() const { return sweepTo_; }
    float sweepPhase() const { return phase_; }
    double sweepSeconds() const { return timer_.elapsed(); }

private:
    void stepLevels(double sign);

    LightState state_;
    std::array<Vector, 3> sweepFrom_ = CONCERT_DEFAULT_DIR;  // beam directions at the start of the sweep
    std::array<Vector, 3> sweepTo_;                          // ... and at its end
    float phase_;
    Timer timer_;
};

int randInt(int lb, int ub);
int randSign();
