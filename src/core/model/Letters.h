// The letters that play, and the one place where a letter is turned into a key. The right hand
// plays thirteen note letters: the upper eight white keys, then the upper five black keys; the
// left hand plays five chord letters, whose chords the mode chooses.
#pragma once

#include <cstddef>
#include <string_view>

#include "modelDims.h"

inline constexpr std::string_view WHITE_NOTE_LETTERS = "sdfghjkl";
inline constexpr std::string_view BLACK_NOTE_LETTERS = "eryui";
inline constexpr std::string_view NOTE_LETTERS = "sdfghjkleryui";  // the two above, in that order
inline constexpr std::string_view CHORD_LETTERS = "zxcvb";
constexpr int NUM_NOTE_LETTERS = static_cast<int>(NOTE_LETTERS.size());
constexpr int NUM_CHORD_LETTERS = static_cast<int>(CHORD_LETTERS.size());

// A letter's place in its table, -1 when it is none of them (0 is never a letter).
constexpr int letterIndex(std::string_view letters, unsigned char letter) {
    if (letter == 0) return -1;
    const std::size_t at = letters.find(static_cast<char>(letter));
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}
constexpr int noteLetterIndex(unsigned char letter) { return letterIndex(NOTE_LETTERS, letter); }
constexpr int chordLetterIndex(unsigned char letter) { return letterIndex(CHORD_LETTERS, letter); }

// The key a note letter's index plays, and back: -1 for a key the right hand has no letter for.
constexpr int noteIndexKey(int index) { return index <= 7 ? index + 7 : index + 12; }
constexpr int keyNoteIndex(int key) {
    if (key >= 7 && key < NUM_WHITE_KEYS) return key - 7;
    if (key >= NUM_WHITE_KEYS + 5 && key < NUM_KEYS) return key - 12;
    return -1;
}
constexpr unsigned char noteLetterOfKey(int key) {
    const int index = keyNoteIndex(key);
    return index < 0 ? 0 : static_cast<unsigned char>(NOTE_LETTERS[static_cast<std::size_t>(index)]);
}
