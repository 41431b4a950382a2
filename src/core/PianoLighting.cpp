// Light state and the concert beams' sweep. The sweep eases from one random aim point to
// the next; the generator is left unseeded, so every run draws the same sequence.
#include <cmath>
#include <cstdlib>

#include "constants.h"
#include "Piano.h"
#include "lights.h"

std::array<float, 4>& lightPos = app.light.lightPos;
std::array<float, 3>& spotDir = app.light.spotDir;
float& spotCutoff = app.light.spotCutoff;
std::array<float, 4>& ambient_intensity = app.light.ambient_intensity;
std::array<float, 4>& diffuse_intensity = app.light.diffuse_intensity;
std::array<float, 4>& specular_intensity = app.light.specular_intensity;
float& background_intensity = app.light.background_intensity;

std::array<Vector, 3>& SPOT_STARTING = app.light.SPOT_STARTING;
std::array<Vector, 3>& SPOT_TARGETS = app.light.SPOT_TARGETS;
std::array<Vector, 3>& concertSpotDir = app.light.concertSpotDir;
float& concertTime = app.light.concertTime;

namespace {
const float HALF_SWEEP = PI / 2;  // 1.570795: the phase runs from -HALF_SWEEP to +HALF_SWEEP

// One coordinate of a new aim point: a whole number of random size and sign, then offset.
float drawAim(int lb, int ub, double offset) {
    const int magnitude = randInt(lb, ub);  // drawn before the sign, always
    const int value = magnitude * randSign();
    return static_cast<float>(static_cast<float>(value) + offset);
}
}  // namespace

int randInt(int lb, int ub) { return lb + std::rand() % (ub - lb + 1); }

int randSign() { return std::rand() % 2 == 1 ? -1 : 1; }

void animateConcertLights() {
    const float s = std::sin(concertTime);
    for (int i = 0; i < 3; ++i) {
        concertSpotDir[i] =
            ((SPOT_TARGETS[i] + SPOT_STARTING[i]) + (SPOT_TARGETS[i] - SPOT_STARTING[i]) * s) * 0.5f;
    }

    if (concertTime >= HALF_SWEEP) {
        for (int i = 0; i < 3; ++i) SPOT_STARTING[i].copyData(SPOT_TARGETS[i], 3, 0, 0);
        SPOT_TARGETS[0][0] = drawAim(2, 5, 2.5);
        SPOT_TARGETS[0][2] = drawAim(3, 6, 0.0);
        SPOT_TARGETS[1][0] = drawAim(5, 9, 0.0);
        SPOT_TARGETS[1][2] = drawAim(3, 6, 0.0);
        SPOT_TARGETS[2][0] = drawAim(2, 5, -2.5);
        SPOT_TARGETS[2][2] = drawAim(3, 6, 0.0);
        concertLightsTimer->reset();
    }

    // Clamped at half a turn, so a slow frame still finishes the sweep before a new one.
    const float seconds = static_cast<float>(concertLightsTimer->elapsed());
    concertTime = std::fmin(seconds * CONCERT_SPEED, PI) - HALF_SWEEP;
}
