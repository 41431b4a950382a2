// The left hand's chords: which keys each presses, where the hand stands, and its pose.
#pragma once

#include <array>

#include "Vector.h"

enum ChordEnum { CEG, CFA, CEA, DFA, DGB, EGsB, DFB, NUM_CHORDS, NONE };
enum Mode { MAJOR, MINOR, NUM_MODES };

struct ChordInfo {
    int numNotes;
    int notes[3];  // key indices, in the order they are pressed and their sounds kept
    Vector pos;    // palm position while the chord is held
    Vector shape;  // 22-angle pose while the chord is held
};

extern const int CHORD_NOTES[NUM_CHORDS][3];
extern const std::array<Vector, NUM_CHORDS> CHORD_POSITIONS;
extern const std::array<ChordInfo, NUM_CHORDS> CHORDS;
// The chord of each chord letter (z x c v b) in each mode.
extern const ChordEnum CHORD_KEY_TABLE[NUM_MODES][5];
// Each chord's name as a musician writes it: "C", "Dm", "Bdim".
extern const char CHORD_NAMES[NUM_CHORDS][5];
