// The playing letters by their place on the keyboard. Notes and chords are read by the key's
// position, named as the US layout names it ("s" is the key XKB calls AC02, wherever the
// user's layout puts its "s"), so the hands' keys are the same physical keys on every layout;
// what is shown for each is the letter the user's own layout puts on that key.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "Letters.h"

// The eighteen playing letters: the note letters, then the chord letters.
inline constexpr std::string_view PLAYING_LETTERS = "sdfghjkleryuizxcvb";
constexpr int NUM_PLAYING_LETTERS = static_cast<int>(PLAYING_LETTERS.size());
static_assert(NUM_PLAYING_LETTERS == NUM_NOTE_LETTERS + NUM_CHORD_LETTERS);

// The XKB name of the key each playing letter is, in PLAYING_LETTERS' order: row (AB the bottom
// letter row, AC the middle one, AD the top one) and place from the left.
inline constexpr std::array<std::string_view, NUM_PLAYING_LETTERS> LETTER_KEY_NAMES = {
    "AC02", "AC03", "AC04", "AC05", "AC06", "AC07", "AC08", "AC09",  // s d f g h j k l
    "AD03", "AD04", "AD06", "AD07", "AD08",                          // e r y u i
    "AB01", "AB02", "AB03", "AB04", "AB05"};                         // z x c v b

// A letter's place in PLAYING_LETTERS, -1 for any other character.
constexpr int playingLetterIndex(unsigned char letter) { return letterIndex(PLAYING_LETTERS, letter); }

// What the user's layout shows on each playing letter's key, as UTF-8. Until told otherwise,
// each letter stands for itself (the US layout).
class LetterNames {
public:
    LetterNames();
    // The name shown for a playing letter; any other character as itself.
    std::string of(unsigned char letter) const;
    // Names the key of a playing letter; an empty name leaves it at the letter itself.
    void set(unsigned char letter, const std::string& name);
    // The letters and their names as one line, "s=s d=d ... z=w", for the event log.
    std::string describe() const;

    bool operator==(const LetterNames& other) const { return names_ == other.names_; }
    bool operator!=(const LetterNames& other) const { return !(*this == other); }

private:
    std::array<std::string, NUM_PLAYING_LETTERS> names_;
};

// Text that names keys (the help text) as the user's layout shows them: each word of one
// playing letter alone, a lower-case letter between spaces or line ends ("z    x     c"), is a
// key and becomes its name. Every other word, "Esc" or the note names "C D E", stays.
std::string nameLettersIn(std::string_view text, const LetterNames& names);
