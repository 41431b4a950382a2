// Sizes of the keyboard and the hands, in scene units (the keyboard is 9 units wide).
// X runs along the keyboard from the lowest key, Y points up, Z towards the player.
#pragma once

constexpr int NUM_WHITE_KEYS = 15;
constexpr int NUM_BLACK_KEYS = 10;
constexpr int NUM_KEYS = NUM_WHITE_KEYS + NUM_BLACK_KEYS;

constexpr float KEY_WIDTH = 0.6f;                              // a white key along X
constexpr float KEYBOARD_WIDTH = NUM_WHITE_KEYS * KEY_WIDTH;   // 9.0
constexpr float KEYBOARD_DEPTH = 0.5f;                         // a white key's thickness (Y)
constexpr float KEYBOARD_HEIGHT = 3.0f;                        // a white key's length (Z)

constexpr float PALM_LENGTH = 1.55f;
constexpr float PALM_WIDTH = 1.55f;
constexpr float PALM_THICKNESS = PALM_LENGTH / 4.0f;           // 0.3875
constexpr float FINGER_LENGTH = PALM_LENGTH / 2.2f;            // every finger segment
constexpr float FINGER_RAD = 0.18625f;
constexpr float DEFAULT_X = -KEYBOARD_WIDTH / 2.0f + 2.015f;   // left hand at rest: -2.485
constexpr float thumbRot = 5;    // degrees, fixed roll of the thumb root about its own axis
constexpr float thumbRot2 = 30;  // degrees, fixed bend of the thumb root out of the palm plane
