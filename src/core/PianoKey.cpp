// Key press state, and the sizes and rest positions of the white and black keys.
#include "PianoKey.h"

#include <algorithm>

#include "BlackKey.h"
#include "WhiteKey.h"
#include "modelDims.h"

bool PianoKey::press(float factor) {
    const bool result = (factor > 0 && pressFactor == 0) || (factor < 0.5f && pressFactor > 0);
    pressFactor = std::min(std::max(factor, 0.0f), 1.0f);
    return result;
}

WhiteKey::WhiteKey(int n) {
    width = KEY_WIDTH;
    height = KEYBOARD_DEPTH;
    length = KEYBOARD_HEIGHT;
    posX = n * KEY_WIDTH - 4.2f;  // centred keyboard: key 0 at -4.2, key 14 at 4.2
    posY = 0;
    posZ = 0;
    pressFactor = 0;
}

BlackKey::BlackKey(int n) {
    // Half a white key in every direction, resting on the white keys' top, at the back.
    width = KEY_WIDTH / 2;
    height = KEYBOARD_DEPTH / 2;
    length = KEYBOARD_HEIGHT / 2;
    posY = 0.375f;
    posZ = -0.75f;
    pressFactor = 0;
    calcPos(n);
}

void BlackKey::calcPos(int n) {
    const int scalePosition = n % 5;
    const int octave = n / 5;
    posX = (2 * width) * (7 * octave) - 4.5f + (scalePosition + 1) * width * 2;
    // No black key between E and F: the upper three of an octave sit one white key on.
    if (scalePosition > 1) posX += 0.6f;
}
