// One hand's stroke: the finger (a note) or the hand (a chord) goes down, strikes its keys,
// holds while its letter is held, and comes back up, pressing the keys and sounding, fading
// and stopping their samples on the way. Both hands use this one type; what differs between a
// note and a chord is data: which keys, the hand's animation, and how the sound follows a key.
//
// A stroke runs on its own time axis: down from 0 to 0.2 s, held with the clock paused, up
// from 0.2 to 0.4 s. The keys move only in the last fifth of the way down and the first fifth
// of the way up.
#pragma once

#include <array>
#include <deque>

#include "ChordInfo.h"
#include "Clock.h"
#include "Hand.h"
#include "KeySounds.h"
#include "PianoKey.h"
#include "animation.h"
#include "modelDims.h"

// A letter typed while its hand was busy: it plays, in the order typed, as soon as the hand's
// stroke has sounded.
struct PendingStroke {
    unsigned char letter;
    int target;     // key index of a note, or ChordEnum of a chord (named by the mode at the press)
    bool released;  // let go before its turn: it plays as a tap
    Mode mode;      // the mode at the press, for a recording
    double pressedAt;  // seconds on the piano's clock
};

// How fast the stroke of a letter pressed at `pressedAt` must run, starting at `now`, to strike
// its key STRIKE_SECONDS after its press, as a stroke on a free hand does: 1 for a full stroke,
// faster for a letter that waited for its hand, but never striking in under two steps.
float fittedSpeed(double pressedAt, double now);

class Stroke {
public:
    enum Kind { NOTE, CHORD };
    static constexpr int NO_TARGET = -1;
    static constexpr int MAX_KEYS = 3;

    Stroke(Kind kind, Hand& hand, std::array<PianoKey, NUM_KEYS>& keys, KeySounds& sounds, const Clock& clock);

    Kind kind() const { return kind_; }
    bool busy() const { return target_ != NO_TARGET; }
    // The key of a note, the ChordEnum of a chord; NO_TARGET when the hand is free.
    int target() const { return target_; }
    float downSeconds() const { return kind_ == NOTE ? NOTE_DOWN_SECONDS : CHORD_DOWN_SECONDS; }
    // The keys the stroke strikes (one for a note, three for a chord).
    int keyCount() const;
    int key(int slot) const;

    // Starts a stroke on `target`, the held letter `letter` (0: no letter's, it follows MIDI),
    // at the speed asked for by nextSpeed.
    void begin(int target, unsigned char letter);
    // The frame's step of the stroke under way: keys, samples and the hand's pose.
    void update();
    // Ends the stroke at once: keys at rest, samples faded and stopped, the hand at rest and free.
    void endNow();
    // Hands the held state to the hand: a held stroke goes down, a released one comes up.
    void updateHand();
    // The stroke's letter (or MIDI note) is let go now: a stroke held at the bottom comes up
    // from this moment, however long before its next step.
    void release();
    // Whether the stroke moves by itself: on its way down or up, not held at the bottom with its
    // clock paused (until the step that pauses it has run).
    bool moving() const { return busy() && !(held && timer_.isPaused()); }
    // Seconds on the stroke's own clock, which stands still while the stroke is held.
    double clockSeconds() const { return timer_.elapsed(); }

    // The letter of a held stroke is down; released, the stroke comes back up.
    bool held = false;
    unsigned char letter = 0;     // the letter that started it; its release ends it
    unsigned int count = 0;       // strokes started so far: tells one stroke from the next
    bool sounded = false;         // has struck its keys: a waiting letter may end it from now on
    bool showOnly = false;        // moves the hand only: the keys and sound are a MIDI note's
    float speed = 1;              // 1 is the full 0.2 s down phase
    float nextSpeed = 1;          // asked for the next stroke (the song player, MIDI)
    float time = 0;               // seconds into the stroke on its own clock
    float phase = 0;              // a note's progress through its phase, 0..1
    std::deque<PendingStroke> pending;

private:
    void animateDown();
    void animateUp();
    void startSample(int slot);
    void fadeSample(int slot, float press);

    Kind kind_;
    Hand& hand_;
    std::array<PianoKey, NUM_KEYS>& keys_;
    KeySounds& sounds_;
    Timer timer_;
    int target_ = NO_TARGET;
    // The sample of each key struck, the volume it was last given (a stroke ended early fades
    // from there) and the one it started at, and the key it sounds while it sounds (-1 once
    // stopped).
    std::array<SoundHandle, MAX_KEYS> voices_{};
    std::array<float, MAX_KEYS> volumes_{};
    std::array<float, MAX_KEYS> startVolumes_{};
    std::array<int, MAX_KEYS> soundingKeys_{-1, -1, -1};
};
