// Keys and MIDI notes, and the General MIDI velocity curve.
#include "KeyNotes.h"

#include <algorithm>
#include <cmath>

#include "modelDims.h"

int midiNoteKey(int note) {
    while (note < LOWEST_MIDI_NOTE) note += 12;
    while (note > HIGHEST_MIDI_NOTE) note -= 12;
    // Within an octave from C: white keys at these semitones, black keys at the others.
    static constexpr int WHITE[12] = {0, -1, 1, -1, 2, 3, -1, 4, -1, 5, -1, 6};
    static constexpr int BLACK[12] = {-1, 0, -1, 1, -1, -1, 2, -1, 3, -1, 4, -1};
    const int octave = (note - LOWEST_MIDI_NOTE) / 12, semitone = (note - LOWEST_MIDI_NOTE) % 12;
    if (WHITE[semitone] >= 0) return octave * 7 + WHITE[semitone];
    return NUM_WHITE_KEYS + octave * 5 + BLACK[semitone];
}

int keyMidiNote(int key) {
    static constexpr int WHITE[7] = {0, 2, 4, 5, 7, 9, 11};
    static constexpr int BLACK[5] = {1, 3, 6, 8, 10};
    if (key < NUM_WHITE_KEYS) return LOWEST_MIDI_NOTE + key / 7 * 12 + WHITE[key % 7];
    const int black = key - NUM_WHITE_KEYS;
    return LOWEST_MIDI_NOTE + black / 5 * 12 + BLACK[black % 5];
}

float velocityVolume(int velocity) {
    const float v = static_cast<float>(std::min(std::max(velocity, 0), 127)) / 127.0f;
    return v * v;
}

int volumeVelocity(float volume) {
    const int velocity = static_cast<int>(std::lround(127.0f * std::sqrt(std::min(std::max(volume, 0.0f), 1.0f))));
    return std::max(velocity, 1);
}
