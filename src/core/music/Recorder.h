// Recording what the user plays with the letters ("7"): kept with its timing, saved as a song
// the program plays back through the hands, and beside it as a Standard MIDI File of what
// sounded.
#pragma once

#include <string>
#include <vector>

#include "ChordInfo.h"
#include "SongFile.h"

// One letter the user played: when its stroke started and when its letter came up.
struct RecordedStroke {
    bool right;      // a note letter; otherwise a chord letter
    int index;       // its position in its letter table
    Mode mode;       // the chord mode when it started
    double start;    // seconds on the recording's clock
    double end;
    bool sounded = false;  // its key was struck while the recording ran
};

// One sample starting or stopping while the recording ran.
struct RecordedSound {
    double seconds;
    int key;
    bool on;
    float volume;
};

// The instrument changed while the recording ran.
struct RecordedProgram {
    double seconds;
    int program;  // General MIDI, 0..127
};

struct Recording {
    Mode startMode = MAJOR;
    int instrument = 0;
    std::vector<RecordedStroke> strokes;
    std::vector<RecordedSound> sounds;
    std::vector<RecordedProgram> programs;
};

// The recording as a song: each hand's letters in order from the recording's first letter,
// each lasting until the next of its hand (the format has no rests: silence joins the letter
// before it), the last as long as it was held; a beat is BEAT_SECONDS, and no entry
// is shorter than two. A mode change between chords is written before the chord that follows
// it. Empty when nothing was played.
SongData songFromRecording(const Recording& recording);

// What the MIDI file holds: (seconds from the recording's first letter, MIDI pitch, velocity,
// 0 ending the note), every note ended; and the instrument's changes, each a program change at
// its time (program 0..127, pitch and velocity unused).
struct RecordedMidiEvent {
    double seconds;
    int pitch;
    int velocity;
    int program = -1;
};
std::vector<RecordedMidiEvent> midiFromRecording(const Recording& recording);
