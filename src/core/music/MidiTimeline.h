// A MIDI file on the clock, for playing it as written: its ticks made seconds through the
// tempo map, and every note and channel message in the order and at the second it plays.
#pragma once

#include <string>
#include <vector>

#include "MidiImport.h"

// Ticks to seconds and back, through a file's tempo map (120 beats a minute until its first
// tempo; a later change at the same tick replaces an earlier one).
class MidiTimeMap {
public:
    explicit MidiTimeMap(const MidiScore& score);
    double seconds(double tick) const;
    double tick(double seconds) const;

private:
    struct Segment {
        double tick;
        double seconds;
        double secondsPerTick;
    };
    std::vector<Segment> segments_;  // first at tick 0, ticks rising
};

// One channel message at its time: status (with the channel) and data as MIDI sends them.
struct TimedMidiMessage {
    double seconds = 0;
    unsigned char bytes[3] = {0, 0, 0};
    int size = 3;  // 2 for a program change

    int kind() const { return bytes[0] & 0xF0; }
    int channel() const { return bytes[0] & 0x0F; }
    bool noteOn() const { return kind() == 0x90 && bytes[2] > 0; }
};

// General MIDI's drum channel, "channel 10".
constexpr int MIDI_DRUM_CHANNEL = 9;
// A file lasting longer than this is refused: as long as the longest song an import may make.
constexpr double MAX_TIMELINE_SECONDS = 60 * 60;

struct MidiTimeline {
    // By time. At one time a note's end comes before a control, and a control before a note's
    // start, so a note struck again as it ends sounds, and a program changed at a note starts it;
    // a note that starts and ends at once ends after it starts.
    std::vector<TimedMidiMessage> messages;
    double seconds = 0;   // the file's length, to the end of its last track
    int melodicNotes = 0;
    int drumNotes = 0;
};

// The timeline of score. False, with one short description of the problem in error, when it
// holds no notes or lasts longer than MAX_TIMELINE_SECONDS.
bool timelineFromMidi(const MidiScore& score, MidiTimeline& timeline, std::string& error);
