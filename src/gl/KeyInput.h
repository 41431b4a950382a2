// The main window's keys, read from the X server on a connection of the program's own, and
// whether the window was exposed.
// freeglut passes on only the character a key types; the playing letters are read by the key
// itself, its place on the keyboard, so that they are the same physical keys on every layout
// (the key AZERTY calls "w" plays the "z" chord). freeglut's connection then gets no key events
// at all, and every key comes through here, in order, with its key code.
#pragma once

#include <array>
#include <functional>

#include "KeyLayout.h"
#include "ShellOnly.h"

struct _XDisplay;

// One key going down or up.
struct KeyEvent {
    bool down = false;
    unsigned int code = 0;        // the X key code: 8 to 255
    unsigned char letter = 0;     // the playing letter at this key's place; 0 for none, or with Ctrl or Alt
    unsigned char character = 0;  // what the key types in the user's layout (Latin-1); 0 for none
    unsigned long symbol = 0;     // its keysym, for keys that type nothing (arrows, F11)
};

class KeyInput {
public:
    // Connects to the display that freeglut uses and takes over the key events of the window.
    // When it cannot, open() is false and freeglut's key callbacks go on as before.
    KeyInput(_XDisplay* glutDisplay, unsigned long window);
    ~KeyInput();
    KeyInput(const KeyInput&) = delete;
    KeyInput& operator=(const KeyInput&) = delete;

    bool open() const { return display_ != nullptr; }
    // The connection's file descriptor, to wait on; -1 when not open.
    int fd() const;
    // Whether events wait to be read (already read from the connection or still in it).
    bool pending() const;
    // Hands each key event waiting to take, in order. True when the keyboard's layout changed
    // meanwhile (another layout chosen, or the group switched): names() to be read again.
    bool read(const std::function<void(const KeyEvent&)>& take);
    // Which keys are down now, by key code, as the X server says.
    std::array<bool, 256> keysDown() const;
    // What the user's layout shows now on each playing letter's key.
    LetterNames names() const;
    // Whether part of the window was exposed (uncovered, mapped again) since the last call:
    // its contents there are lost. Always true when not open.
    bool takeExposed();

private:
    void findLetterKeys();

    _XDisplay* display_ = nullptr;
    int xkbEvents_ = -1;  // the XKB extension's event code
    std::array<unsigned char, 256> letterAt_{};  // by key code: its playing letter, or 0
    // Every playing letter's key was found: letters are read by place. Otherwise (a keyboard
    // whose keys XKB does not name) they are read as typed.
    bool byPlace_ = false;
    unsigned long window_ = 0;
    bool exposed_ = false;  // an Expose taken by read()
};
