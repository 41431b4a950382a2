// A key of the keyboard: its size, rest position and how far it is pressed. Keys 0..14 are the
// white keys from the left, 15..24 the black keys from the left.
#pragma once

#include <array>

#include "modelDims.h"

struct PianoKey {
    // Sets pressFactor to factor clamped to 0..1. True when a key at rest starts down, and
    // whenever a key not at rest is set below half-way (a release to 0 included).
    bool press(float factor);

    float width = 0;   // along X
    float height = 0;  // along Y
    float length = 0;  // along Z
    float posX = 0, posY = 0, posZ = 0;  // centre at rest
    float pressFactor = 0;               // 0 at rest .. 1 fully down
};

// White key n (0..14 from the left) and black key n (0..9 from the left), at rest.
PianoKey whiteKey(int n);
PianoKey blackKey(int n);
// The 25 keys at rest, in key index order.
std::array<PianoKey, NUM_KEYS> restingKeyboard();
// Where black key n's centre stands along X: on its boundary between two white keys,
// skipping E-F and B-C.
float blackKeyX(int n);
