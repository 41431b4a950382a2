// Light state and the concert beams' sweep. The sweep eases from one random aim point to
// the next; the generator is left unseeded, so every run draws the same sequence.
#include <cmath>
#include <cstdlib>

#include "constants.h"
#include "Piano.h"
#include "lights.h"

std::array<float, 4> lightPos = {0.0f, 5.0f, 0.0f, 1.0f};
std::array<float, 3> spotDir = {0.0f, -2.0f, 0.0f};
float spotCutoff = 50.0f;
std::array<float, 4> ambient_intensity = {0.3f, 0.3f, 0.3f, 1.0f};
std::array<float, 4> diffuse_intensity = {1.0f, 1.0f, 1.0f, 1.0f};
std::array<float, 4> specular_intensity = {1.0f, 1.0f, 1.0f, 1.0f};
float background_intensity = 1.0f;

std::array<Vector, 3> SPOT_STARTING = CONCERT_DEFAULT_DIR;
std::array<Vector, 3> SPOT_TARGETS = {Vector(std::array<float, 3>{-2, -5, -2}),
                                      Vector(std::array<float, 3>{3, -5, 0}),
                                      Vector(std::array<float, 3>{4, -5, -2})};
std::array<Vector, 3> concertSpotDir = CONCERT_DEFAULT_DIR;
float concertTime = 0.0f;

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
