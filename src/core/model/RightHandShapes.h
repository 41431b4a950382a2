// Right-hand poses: finger shapes at rest and striking, wrist angles, and the hand's
// two places along the keyboard.
#pragma once

#include <array>

#include "Vector.h"

extern const std::array<Vector, 5> RFINGERS_DEFAULT;            // [finger]
extern const Vector DEFAULT_SHAPE_RIGHT;                        // 22 angles at rest
extern const std::array<std::array<Vector, 5>, 2> RFINGERS_PLAY; // [NoteType][finger]
extern const Vector RWRIST_DEFAULT;
extern const std::array<std::array<Vector, 5>, 2> RWRIST_PLAY;   // [NoteType][finger]

constexpr float RIGHT_X[2] = {1.2f, 3.0f};  // palm centre at hand position 0 and 1
constexpr float NOTE_Y_OFFSET = 0.78f;      // palm height while striking
constexpr float NOTE_Z_OFFSET = 2.1f;       // palm depth while striking
// Rest positions of hand positions 0 and 1, then their striking positions.
extern const std::array<Vector, 4> RIGHT_HAND_POSITIONS;
