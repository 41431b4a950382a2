// Key events with their key codes, on the program's own connection to the X server, and the
// names the user's layout gives the playing letters' keys.
#include "KeyInput.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include <xkbcommon/xkbcommon.h>

// After the program's headers: Xlib's macros (None, Bool, Status) would clash with them.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

KeyInput::KeyInput(Display* glutDisplay, unsigned long window) {
    if (glutDisplay == nullptr || window == 0) return;
    Display* display = XOpenDisplay(DisplayString(glutDisplay));
    if (display == nullptr) return;
    int opcode = 0, errors = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &xkbEvents_, &errors, &major, &minor)) xkbEvents_ = -1;
    display_ = display;
    // The window's keys come here and no longer to freeglut: one reader, so none is read twice
    // or lost between two.
    XWindowAttributes attributes;
    if (XGetWindowAttributes(glutDisplay, window, &attributes))
        XSelectInput(glutDisplay, window, attributes.your_event_mask & ~(KeyPressMask | KeyReleaseMask));
    XFlush(glutDisplay);
    // Exposures come to freeglut as they did, and here too: a frame that shows only what changed
    // must show everything again where the window lost its contents.
    XSelectInput(display, window, KeyPressMask | KeyReleaseMask | ExposureMask);
    window_ = window;
    // A held key repeats as presses alone, which the shell drops, rather than as release-press
    // pairs that look like new presses.
    XkbSetDetectableAutoRepeat(display, True, nullptr);
    if (xkbEvents_ >= 0) {
        // Told when the layout changes (setxkbmap, another keyboard) or its group is switched.
        XkbSelectEvents(display, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                        XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
        XkbSelectEventDetails(display, XkbUseCoreKbd, XkbStateNotify, XkbGroupStateMask, XkbGroupStateMask);
    }
    findLetterKeys();
    XFlush(display);
}

KeyInput::~KeyInput() {
    if (display_ != nullptr) XCloseDisplay(display_);
}

int KeyInput::fd() const { return display_ != nullptr ? ConnectionNumber(display_) : -1; }

bool KeyInput::pending() const { return display_ != nullptr && XPending(display_) > 0; }

// The key codes of the playing letters' places, by the XKB names of the keys (AC02 and so on):
// the same on every layout, whichever key codes the server gives them.
void KeyInput::findLetterKeys() {
    letterAt_.fill(0);
    byPlace_ = false;
    if (xkbEvents_ < 0) return;
    XkbDescPtr keyboard = XkbGetMap(display_, 0, XkbUseCoreKbd);
    if (keyboard == nullptr) return;
    if (XkbGetNames(display_, XkbKeyNamesMask, keyboard) == Success && keyboard->names != nullptr &&
        keyboard->names->keys != nullptr) {
        for (int code = keyboard->min_key_code; code <= keyboard->max_key_code && code < 256; ++code) {
            const char* name = keyboard->names->keys[code].name;
            const std::string_view keyName(name, strnlen(name, XkbKeyNameLength));
            for (std::size_t i = 0; i < LETTER_KEY_NAMES.size(); ++i)
                if (LETTER_KEY_NAMES[i] == keyName)
                    letterAt_[static_cast<std::size_t>(code)] = static_cast<unsigned char>(PLAYING_LETTERS[i]);
        }
    }
    XkbFreeKeyboard(keyboard, 0, True);
    byPlace_ = std::count_if(letterAt_.begin(), letterAt_.end(), [](unsigned char l) { return l != 0; }) ==
               NUM_PLAYING_LETTERS;
}

bool KeyInput::read(const std::function<void(const KeyEvent&)>& take) {
    bool layoutChanged = false;
    while (display_ != nullptr && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == KeyPress || event.type == KeyRelease) {
            KeyEvent key;
            key.down = event.type == KeyPress;
            key.code = event.xkey.keycode;
            char typed[8];
            KeySym symbol = NoSymbol;
            const int length = XLookupString(&event.xkey, typed, sizeof typed, &symbol, nullptr);
            key.character = length == 1 ? static_cast<unsigned char>(typed[0]) : 0;
            key.symbol = symbol;
            // Ctrl or Alt with a letter is a shortcut of the desktop's, not a note.
            if ((event.xkey.state & (ControlMask | Mod1Mask)) == 0 && key.code < letterAt_.size())
                key.letter = letterAt_[key.code];
            // A playing letter typed elsewhere (AZERTY's "z", in QWERTY's "w" place) is no note:
            // the notes are where their letters stand on the US layout.
            const unsigned char lower = static_cast<unsigned char>(key.character | 0x20);
            if (byPlace_ && key.letter == 0 && key.character >= 'A' && playingLetterIndex(lower) >= 0)
                key.character = 0;
            take(key);
        } else if (event.type == xkbEvents_) {
            const auto* xkb = reinterpret_cast<const XkbEvent*>(&event);
            if (xkb->any.xkb_type == XkbMapNotify) XkbRefreshKeyboardMapping(const_cast<XkbMapNotifyEvent*>(&xkb->map));
            if (xkb->any.xkb_type == XkbNewKeyboardNotify || xkb->any.xkb_type == XkbMapNotify) findLetterKeys();
            layoutChanged = true;
        } else if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            layoutChanged = true;
        } else if (event.type == Expose) {
            exposed_ = true;
        }
    }
    return layoutChanged;
}

bool KeyInput::takeExposed() {
    if (display_ == nullptr) return true;
    // The X server sends an exposure to freeglut and here alike, but the frame freeglut draws
    // for it may come before this connection's copy has arrived: a round trip brings it.
    XSync(display_, False);
    // Only the exposures, from all that the connection has: the keys stay in order for read().
    XEvent event;
    while (XCheckTypedWindowEvent(display_, window_, Expose, &event)) exposed_ = true;
    const bool exposed = exposed_;
    exposed_ = false;
    return exposed;
}

std::array<bool, 256> KeyInput::keysDown() const {
    std::array<bool, 256> down{};
    if (display_ == nullptr) return down;
    char keymap[32];
    XQueryKeymap(display_, keymap);
    for (std::size_t code = 0; code < down.size(); ++code) down[code] = (keymap[code >> 3] >> (code & 7)) & 1;
    return down;
}

LetterNames KeyInput::names() const {
    LetterNames names;
    if (display_ == nullptr || xkbEvents_ < 0) return names;
    XkbStateRec state;
    const int group = XkbGetState(display_, XkbUseCoreKbd, &state) == Success ? state.group : 0;
    for (std::size_t code = 0; code < letterAt_.size(); ++code) {
        if (letterAt_[code] == 0) continue;
        KeySym symbol = XkbKeycodeToKeysym(display_, static_cast<KeyCode>(code), group, 0);
        if (symbol == NoSymbol) symbol = XkbKeycodeToKeysym(display_, static_cast<KeyCode>(code), 0, 0);
        // A key that types nothing printable (a dead key, a function) keeps the letter's name.
        char utf8[16];
        const int length = xkb_keysym_to_utf8(static_cast<xkb_keysym_t>(symbol), utf8, sizeof utf8);
        if (length > 1 && static_cast<unsigned char>(utf8[0]) >= 0x20 && utf8[0] != 0x7f)
            names.set(letterAt_[code], std::string(utf8, static_cast<std::size_t>(length - 1)));
    }
    return names;
}
