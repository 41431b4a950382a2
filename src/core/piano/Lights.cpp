// The light keys and the concert beams' sweep.
#include "Lights.h"

#include <cmath>
#include <cstdlib>

#include "constants.h"
#include "interface.h"
#include "lights.h"

namespace {
constexpr float HALF_SWEEP = PI / 2;  // 1.570795: the phase runs from -HALF_SWEEP to +HALF_SWEEP
// Steps per press, applied in double and stored in single precision.
constexpr double LIGHT_STEP = 0.05;     // diffuse, specular and background
constexpr double AMBIENT_STEP = 0.015;  // keeps the ambient at 0.3 of the diffuse level

// One coordinate of a new aim point: a whole number of random size and sign, then offset.
float drawAim(int lb, int ub, double offset) {
    const int magnitude = randInt(lb, ub);  // drawn before the sign, always
    const int value = magnitude * randSign();
    return static_cast<float>(static_cast<float>(value) + offset);
}
}  // namespace

int randInt(int lb, int ub) { return lb + std::rand() % (ub - lb + 1); }

int randSign() { return std::rand() % 2 == 1 ? -1 : 1; }

Lights::Lights(const Clock& clock)
    : sweepTo_{Vector(std::array<float, 3>{-2, -5, -2}), Vector(std::array<float, 3>{3, -5, 0}),
               Vector(std::array<float, 3>{4, -5, -2})},
      phase_(-PI / 2),
      timer_(clock) {}

void Lights::stepConcert() {
    const float s = std::sin(phase_);
    for (int i = 0; i < 3; ++i)
        state_.concertSpotDir[i] = ((sweepTo_[i] + sweepFrom_[i]) + (sweepTo_[i] - sweepFrom_[i]) * s) * 0.5f;

    if (phase_ >= HALF_SWEEP) {
        for (int i = 0; i < 3; ++i) sweepFrom_[i].copyData(sweepTo_[i], 3, 0, 0);
        sweepTo_[0][0] = drawAim(2, 5, 2.5);
        sweepTo_[0][2] = drawAim(3, 6, 0.0);
        sweepTo_[1][0] = drawAim(5, 9, 0.0);
        sweepTo_[1][2] = drawAim(3, 6, 0.0);
        sweepTo_[2][0] = drawAim(2, 5, -2.5);
        sweepTo_[2][2] = drawAim(3, 6, 0.0);
        timer_.reset();
    }

    // Clamped at half a turn, so a slow frame still finishes the sweep before a new one.
    const float seconds = static_cast<float>(timer_.elapsed());
    phase_ = std::fmin(seconds * CONCERT_SPEED, PI) - HALF_SWEEP;
}

void Lights::concertOn() {
    timer_.reset();
    state_.background_intensity = 0.0f;
}

void Lights::restoreLevels() {
    // Back to the levels the program starts with, where the ambient is 0.3 of the diffuse
    // light: full ambient would wash out the shading of the hands and the keys' sides.
    const LightState start;
    state_.specular_intensity = start.specular_intensity;
    state_.diffuse_intensity = start.diffuse_intensity;
    state_.ambient_intensity = start.ambient_intensity;
    state_.background_intensity = start.background_intensity;
}

void Lights::stepLevels(double sign) {
    for (int c = 0; c < 3; ++c) {
        state_.specular_intensity[c] = static_cast<float>(state_.specular_intensity[c] + sign * LIGHT_STEP);
        state_.diffuse_intensity[c] = static_cast<float>(state_.diffuse_intensity[c] + sign * LIGHT_STEP);
        state_.ambient_intensity[c] = static_cast<float>(state_.ambient_intensity[c] + sign * AMBIENT_STEP);
    }
    state_.background_intensity = static_cast<float>(state_.background_intensity + sign * LIGHT_STEP);
}

bool Lights::lightKey(unsigned char key) {
    if (key == '<' && state_.diffuse_intensity[0] > 0) {
        stepLevels(-1);
    } else if (key == '>' && state_.diffuse_intensity[0] < 1) {
        stepLevels(+1);
    } else if (key == '/' && state_.spotCutoff > SPOT_MIN) {
        state_.spotCutoff -= SPOT_INCREMENT;
    } else if (key == '?' && state_.spotCutoff < SPOT_MAX) {
        state_.spotCutoff += SPOT_INCREMENT;
    } else {
        return false;
    }
    return true;
}

void Lights::arrowKey(int key) {
    switch (key) {
        case KEY_LEFT: state_.spotDir[0] -= SPOT_DIR_STEP; break;
        case KEY_RIGHT: state_.spotDir[0] += SPOT_DIR_STEP; break;
        case KEY_UP: state_.spotDir[2] -= SPOT_DIR_STEP; break;
        case KEY_DOWN: state_.spotDir[2] += SPOT_DIR_STEP; break;
        default: break;
    }
}
