// Key press state, and the sizes and rest positions of the white and black keys.
#include "PianoKey.h"

#include <algorithm>

#include "modelDims.h"

bool PianoKey::press(float factor) {
    const bool result = (factor > 0 && pressFactor == 0) || (factor < 0.5f && pressFactor > 0);
    pressFactor = std::min(std::max(factor, 0.0f), 1.0f);
    return result;
}

PianoKey whiteKey(int n) {
    PianoKey key;
    key.width = KEY_WIDTH;
    key.height = KEYBOARD_DEPTH;
    key.length = KEYBOARD_HEIGHT;
    key.posX = n * KEY_WIDTH - 4.2f;  // centred keyboard: key 0 at -4.2, key 14 at 4.2
    return key;
}

PianoKey blackKey(int n) {
    // Half a white key in every direction, resting on the white keys' top, at the back.
    PianoKey key;
    key.width = KEY_WIDTH / 2;
    key.height = KEYBOARD_DEPTH / 2;
    key.length = KEYBOARD_HEIGHT / 2;
    key.posY = 0.375f;
    key.posZ = -0.75f;
    key.posX = blackKeyX(n);
    return key;
}

float blackKeyX(int n) {
    const float width = KEY_WIDTH / 2;
    const int scalePosition = n % 5;
    const int octave = n / 5;
    float x = (2 * width) * (7 * octave) - 4.5f + (scalePosition + 1) * width * 2;
    // No black key between E and F: the upper three of an octave sit one white key on.
    if (scalePosition > 1) x += 0.6f;
    return x;
}

std::array<PianoKey, NUM_KEYS> restingKeyboard() {
    std::array<PianoKey, NUM_KEYS> keys;
    for (int i = 0; i < NUM_WHITE_KEYS; ++i) keys[static_cast<std::size_t>(i)] = whiteKey(i);
    for (int i = 0; i < NUM_BLACK_KEYS; ++i) keys[static_cast<std::size_t>(NUM_WHITE_KEYS + i)] = blackKey(i);
    return keys;
}
