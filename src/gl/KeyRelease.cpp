// Releases that never reach the main window: a letter held while the focus moves to another
// window sends its release there, and a hidden window gets none. The X server knows which keys
// are really down; a held key that is not is released here with the ordinary key-up.
#include <GL/freeglut.h>

#include <algorithm>
#include <array>
#include <vector>

#include "Piano.h"
#include "Shell.h"

// After the program's headers: Xlib's macros (None, Bool, Status) would clash with them.
#include <GL/glx.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {
// The character code GLUT reports for a keysym, or -1 for one it reports none for.
int characterOf(KeySym sym) {
    if ((sym >= 0x20 && sym <= 0x7e) || (sym >= 0xa0 && sym <= 0xff)) return static_cast<int>(sym);
    switch (sym) {
        case XK_BackSpace: return 8;
        case XK_Tab: return 9;
        case XK_Return: case XK_KP_Enter: return 13;
        case XK_Escape: return 27;
        case XK_Delete: return 127;
        default: return -1;
    }
}

// For each character code, every key that can type it: '+' may come from the main keyboard
// or the keypad, 'K' from the same key as 'k', Ctrl+K (11) too. A character counts as up only
// when all of them are up, so a key is never released while it is down.
using KeysOf = std::array<std::vector<KeyCode>, 256>;

KeysOf keysOf(Display* display) {
    KeysOf keys;
    int minCode = 0, maxCode = 0, perCode = 0;
    XDisplayKeycodes(display, &minCode, &maxCode);
    KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(minCode), maxCode - minCode + 1, &perCode);
    if (map == nullptr) return keys;
    for (int code = minCode; code <= maxCode; ++code) {
        for (int column = 0; column < perCode; ++column) {
            const int character = characterOf(map[(code - minCode) * perCode + column]);
            if (character < 0) continue;
            keys[character].push_back(static_cast<KeyCode>(code));
            if ((character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z'))
                keys[character & 0x1f].push_back(static_cast<KeyCode>(code));  // with Ctrl
        }
    }
    XFree(map);
    return keys;
}

bool anyDown(const char keymap[32], const std::vector<KeyCode>& codes) {
    for (KeyCode code : codes)
        if (keymap[code >> 3] & (1 << (code & 7))) return true;
    return false;
}

// The characters pressed and not yet released, as GLUT reported them.
bool pressed[256] = {};

const KeysOf& keysOfCharacters() {
    static const KeysOf keys = keysOf(glXGetCurrentDisplay());  // the layout as the program started
    return keys;
}
}  // namespace

void releaseKeysNoLongerDown() {
    std::vector<unsigned char> held = userHeldKeys();
    // Keys let go of while the window was hidden can still be down, their repeats dropped:
    // once they are up, their next press is a new one.
    for (int key = 0; key < 256; ++key)
        if (pressed[key] && std::find(held.begin(), held.end(), key) == held.end()) held.push_back(static_cast<unsigned char>(key));
    if (held.empty()) return;
    Display* display = glXGetCurrentDisplay();
    if (display == nullptr) return;
    // Events still waiting hold the key's own release, or repeats of it sent before the
    // release: read ahead of them, the key would be released early and a repeat behind it
    // would look like a new press. Only with nothing waiting did a missing release go elsewhere.
    if (XPending(display) > 0) return;
    const KeysOf& keys = keysOfCharacters();  // the keyboard's layout as the program started
    char keymap[32];
    XQueryKeymap(display, keymap);
    for (unsigned char key : held) {
        // A character no key types (none known) keeps waiting for its own release.
        if (keys[key].empty() || anyDown(keymap, keys[key])) continue;
        if (keyPressed[key]) keyUp(key, 0, 0);
        else pressed[key] = false;
    }
}

void keyDown(unsigned char key, int x, int y) {
    // Pressed again while still down: the X server repeating a held key (it sends presses
    // alone, see below), however long after the key really came up the press is read.
    if (pressed[key]) return;
    pressed[key] = true;
    handleKeyPress(key, x, y);
}

void keyUp(unsigned char key, int x, int y) {
    // A key can go down as one character and come up as another ('s' and 'S' around Shift):
    // its release frees every character its keys type.
    const std::vector<KeyCode>& codes = keysOfCharacters()[key];
    for (int other = 0; other < 256; ++other) {
        if (!pressed[other]) continue;
        const std::vector<KeyCode>& others = keysOfCharacters()[other];
        if (other == key || std::find_first_of(codes.begin(), codes.end(), others.begin(), others.end()) != codes.end())
            pressed[other] = false;
    }
    handleKeyUp(key, x, y);
}

void reportRepeatsAsPressesOnly() {
    // Without this the X server repeats a held key as release-press pairs, and a pair read
    // just after the key really came up looks to GLUT like a new press of it.
    Display* display = glXGetCurrentDisplay();
    if (display != nullptr) XkbSetDetectableAutoRepeat(display, True, nullptr);
}

void mainWindowStatus(int state) {
    // Hidden or minimised, the window gets no more key events, down or up: let go of
    // everything now rather than wait for a release that will go elsewhere.
    // A key still down keeps its mark here, so its repeats, when the window comes back, are
    // not taken for a new press; the check above clears the mark once it is up.
    if (state != GLUT_HIDDEN) return;
    for (unsigned char key : userHeldKeys()) handleKeyUp(key, 0, 0);
}
