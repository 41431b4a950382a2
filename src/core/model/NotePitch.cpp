// The octave arithmetic of NotePitch.h; which key a note's name lands on is MIDI's own table.
#include "NotePitch.h"

#include <algorithm>
#include <cmath>

#include "KeyNotes.h"

NoteSample noteSample(int midiNote) {
    const int note = std::clamp(midiNote, 0, 127);
    const int key = midiNoteKey(note);  // folds by octaves into C3..C5, the nearest way
    const int octaves = (note - keyMidiNote(key)) / 12;
    return {key, octaves, std::ldexp(1.0f, octaves)};
}
