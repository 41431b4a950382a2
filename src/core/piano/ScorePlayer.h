// A MIDI file played as written: every message of its timeline at its time on the piano's clock,
// fed to the MIDI player as a keyboard's notes are, at a tempo the user may change.
#pragma once

#include <cstddef>

#include "MidiPlayer.h"
#include "MidiTimeline.h"

class ScorePlayer {
public:
    explicit ScorePlayer(MidiPlayer& midi) : midi_(midi) {}

    // Starts the timeline from its beginning now: what is due within half a step of its start
    // plays at once. Ends the one before, letting go of what it held.
    void start(MidiTimeline timeline);
    // One step of the piano's time: the file moves on by `tempo` steps of its own and plays each
    // message due by then, to the nearest step (a message is at most half a step early or late).
    // At the file's end it stops.
    void step();
    // Lets go of every note the file holds; its sound dies away as a keyboard's released notes do.
    void stop();
    bool playing() const { return playing_; }

    // The file's speed against its written tempo (1 as written); held to 0.05..20.
    void setTempo(double tempo);
    double tempo() const { return tempo_; }

    // Seconds into the file at its written tempo, and what it holds: for a view of the notes to
    // come, messages()[nextMessage()] is the first not yet played.
    double position() const { return position_; }
    const MidiTimeline& timeline() const { return timeline_; }
    std::size_t nextMessage() const { return next_; }

private:
    void playDue(double until);

    MidiPlayer& midi_;
    MidiTimeline timeline_;
    bool playing_ = false;
    double tempo_ = 1;
    double position_ = 0;
    std::size_t next_ = 0;
};
