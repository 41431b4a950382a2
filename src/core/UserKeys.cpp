// The keys the user holds down, for the shell, which checks them against the keyboard.
#include "Piano.h"

std::vector<unsigned char> userHeldKeys() {
    std::vector<unsigned char> held;
    for (int key = 0; key < 256; ++key) {
        if (!keyPressed[key]) continue;
        // The song player presses its letters through the same handler, but no key on the
        // keyboard stands behind them: releasing them would cut a song short.
        if (key == app.song.right.heldLetter || key == app.song.left.heldLetter) continue;
        held.push_back(static_cast<unsigned char>(key));
    }
    return held;
}
