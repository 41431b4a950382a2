// Turning the notes of a MIDI file into a song for the two hands: the melody goes to the
// right hand's thirteen keys, the accompaniment becomes the left hand's chords, both on the
// song player's grid of beats. Window-free and library-free: the file itself is read by an
// adapter (src/audio/MidiFile) into the plain description below.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ChordInfo.h"
#include "SongFile.h"

// One note as the file plays it, in the file's ticks.
struct MidiNote {
    int track = 0;    // in file order, from 0
    int channel = 0;  // 0..15; 9 is General MIDI's drum channel
    int pitch = 60;   // MIDI note number, 60 = C4
    int velocity = 64;
    long long startTick = 0;
    long long endTick = 0;
};

struct MidiTempo {
    long long tick = 0;
    double secondsPerQuarter = 0.5;
};

struct MidiMeter {
    long long tick = 0;
    int numerator = 4;
    int denominator = 4;  // as a fraction: 8 for 6/8
};

// What else a channel is told as the file plays: its program, a controller (bank, volume,
// pan, the sustain pedal...) or the pitch bend.
struct MidiControl {
    enum Kind { PROGRAM, CONTROLLER, PITCH_BEND };
    long long tick = 0;
    int track = 0;
    int channel = 0;
    Kind kind = PROGRAM;
    int number = 0;  // the program, or the controller's number
    int value = 0;   // a controller's value 0..127; a bend's 0..16383, 8192 the centre
};

// What a MIDI file holds that a song, or the file played as written, needs.
struct MidiScore {
    int ticksPerQuarter = 480;
    std::vector<MidiNote> notes;
    std::vector<MidiTempo> tempos;  // 120 beats a minute until the first
    std::vector<MidiMeter> meters;  // 4/4 until the first
    std::vector<MidiControl> controls;  // in file order within each track
    long long endTick = 0;              // where the last track ends: the file's length
};

// What the import made of the notes.
struct MidiImportReport {
    int melodyTrack = -1;
    int melodyChannel = -1;
    int transposition = 0;  // semitones added to every pitch, melody and chords alike
    Mode mode = MAJOR;
    int kept = 0;    // melody notes played at their transposed pitch
    int folded = 0;  // melody notes moved by whole octaves into the right hand's keys
    std::map<std::pair<int, int>, int> folds;  // (written pitch, played pitch) -> notes
    int droppedTooClose = 0;  // melody notes starting too soon after the note before
    int droppedDrums = 0;
    int droppedOutside = 0;   // other notes wholly before the melody's first note or after its end
    int accompaniment = 0;    // notes the chords were chosen from
    int chordEntries = 0;     // left-hand entries written
    int halfBarsWithoutChord = 0;

    int dropped() const { return droppedTooClose + droppedDrums + droppedOutside; }
    // A few lines saying what was kept, folded and dropped.
    std::string text() const;
};

// The right hand's keys as MIDI pitches, by note index: C4 D4 E4 F4 G4 A4 B4 C5, then the
// black keys C#4 D#4 F#4 G#4 A#4. Together they are every semitone from 60 to 72.
const int RIGHT_HAND_PITCHES[13] = {60, 62, 64, 65, 67, 69, 71, 72, 61, 63, 66, 68, 70};
const int RIGHT_HAND_LOWEST = 60;
const int RIGHT_HAND_HIGHEST = 72;

// The pitch classes (0 = C) of the five chords of each mode, in chord-letter order.
const int MODE_CHORD_PITCH_CLASSES[NUM_MODES][5][3] = {
    {{0, 4, 7}, {2, 5, 9}, {0, 5, 9}, {0, 4, 9}, {2, 7, 11}},   // major: C Dm F Am G
    {{0, 4, 9}, {2, 5, 11}, {2, 5, 9}, {0, 5, 9}, {4, 8, 11}}};  // minor: Am Bdim Dm F E

// Entries shorter than this are over before the finger has come down.
const int SHORTEST_ENTRY_BEATS = 2;
// An imported piece lasting longer than this is refused rather than written.
const int MAX_IMPORT_BEATS = 6 * 60 * 60;  // an hour at 6 beats a second

// Makes a song of score. On success fills song (with its mode) and report and returns true;
// otherwise puts one short description of the problem into error and returns false.
// - The melody is the highest voice of the busiest track and channel (drums, channel 10,
//   excepted); every other note is accompaniment.
// - The song starts at the melody's first note; a melody note less than two beats after the
//   one before is dropped; a rest joins the note before it.
// - The left hand has one slot a half bar (joined to the next when shorter than two beats);
//   a slot without a chord lets the chord before it ring on, and when the piece starts
//   without one, its first chord is struck from the start. Both hands end together.
bool songFromMidi(const MidiScore& score, SongData& song, MidiImportReport& report,
                  std::string& error);

// The one line that refuses a MIDI file, its name and problem printable: "Error: Malformed MIDI
// file PATH: PROBLEM".
std::string malformedMidiFile(const std::string& path, const std::string& problem);

// "C4", "F#5": the name of a MIDI pitch.
std::string pitchName(int pitch);
