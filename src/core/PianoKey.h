// A key of the keyboard: its size, rest position and how far it is pressed.
#pragma once

class PianoKey {
public:
    virtual ~PianoKey() = default;

    // Sets pressFactor to factor clamped to 0..1. True when a key at rest starts down, and
    // whenever a key not at rest is set below half-way (a release to 0 included).
    bool press(float factor);

    float width;   // along X
    float height;  // along Y
    float length;  // along Z
    float posX, posY, posZ;  // centre at rest
    float pressFactor;       // 0 at rest .. 1 fully down
};
