// Playing from a MIDI keyboard or a MIDI file, and telling a MIDI output what the program plays.
//
// In: a note-on sounds at once, with no finger travel first, at its own pitch (the sample of its
// name's nearest key, whole octaves faster or slower, or the SoundFont's own note) and at a
// volume set by its velocity, and presses its key; a note outside the 25 keys presses the key
// it folds onto by octaves. A note-off (or the sustain pedal's release, controller 64) lets the
// note fade as a released letter's does, and its key rise once no note on it is held. The hands
// follow when free, moving only: a note of the right hand's thirteen keys gets a right-hand
// stroke, a held triad that is one of the current mode's five chords gets the left hand's
// chord; neither sounds nor presses anything itself. Notes from MIDI are not told to the key
// sound observers, so the MIDI output never sends them back. A MIDI file played as written is
// fed in the same way, on notes of its own.
//
// Out: every key the program sounds (letters, songs, play along) goes out as note on and off on
// channel 1, velocity from its volume; a program change names the instrument (General MIDI)
// before the first note, after every change of instrument, and before a note that follows
// silence, so a synthesizer connected late still plays the right instrument.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <mutex>

#include "Clock.h"
#include "EventLog.h"
#include "KeyNotes.h"
#include "KeySounds.h"
#include "MidiTimeline.h"
#include "PianoKey.h"
#include "Stroke.h"
#include "modelDims.h"

// Messages from the MIDI threads, waiting for the program's thread. Safe to call from any thread.
class MidiInbox {
public:
    struct Message {
        unsigned char bytes[3];
        Ticks arrived;  // logged with the message: how long it waited to be played
    };
    // A frame takes what came in since the last one; 1024 messages are seconds of the fastest
    // playing, so only a flood from a program fills it.
    static constexpr std::size_t CAPACITY = 1024;
    // What wakes the frame loop: called on the MIDI thread when a message lands in an empty
    // queue, so it must be safe there (the shell writes to an eventfd its wait watches).
    using Wake = void (*)(void* context);

    explicit MidiInbox(const Clock& clock) : clock_(clock) {}

    // One message as it came in, status byte first. Note on and off and controllers are kept,
    // everything else is dropped; a flood faster than the frames drops the newest.
    void queue(const unsigned char* message, std::size_t size);
    // The MIDI system went away: every key and note held from MIDI is to be let go, after the
    // messages that came before. Queued as a System Reset, which a full queue takes in place
    // of its newest message.
    void connectionLost();
    bool pending();
    // Null stops the waking; the pair is changed under the queue's lock, so a MIDI thread
    // never calls one wake with another's context.
    void onArrival(Wake wake, void* context);
    // Moves everything queued into `out` (at most CAPACITY), in order; returns how many.
    std::size_t take(std::array<Message, CAPACITY>& out);
    void discard();

    // System Reset: never queued from a port (a message of one byte), only by connectionLost.
    static constexpr unsigned char RESET = 0xFF;

private:
    void put(const unsigned char* message, bool evenWhenFull);

    const Clock& clock_;
    std::mutex lock_;
    std::array<Message, CAPACITY> ring_;
    std::size_t first_ = 0, count_ = 0;
    Wake wake_ = nullptr;
    void* wakeContext_ = nullptr;
};

// The hands' strokes that follow notes already sounding run this much faster than a letter's:
// the finger should be on the key within 0.04 s instead of 0.16 s.
constexpr float FOLLOW_SPEED = 4;

class MidiPlayer {
public:
    // The piano around the player.
    class Piano {
    public:
        virtual ~Piano() = default;
        virtual void beginStroke(bool right, int target, unsigned char letter) = 0;
        virtual Mode mode() const = 0;
        virtual void requestFrame() = 0;
    };
    using Send = std::function<void(const unsigned char* message, std::size_t size)>;

    // clock is the piano's (its step's time during a step); arrivals stamps messages as they come
    // in, on the MIDI threads.
    MidiPlayer(Piano& piano, std::array<PianoKey, NUM_KEYS>& keys, Stroke& right, Stroke& left, KeySounds& sounds,
               const Clock& clock, const Clock& arrivals, EventLog* log);

    MidiInbox& inbox() { return inbox_; }
    // Plays the queued messages, lets released notes fade and keys rise (asking for a redraw
    // when a key moved) and keeps the MIDI output's program in step with the instrument. Run by
    // the frame step, and by the frame loop each time it wakes.
    void step();
    // Released keys are still rising, or released notes fading: frames are needed.
    bool keysMoving() const;

    // A key sounded at once by a letter, in the way of playing where letters sound at the press:
    // as a MIDI note-on at `volume`, but told to those who follow the sound (the recorder, the
    // MIDI output), since the user played it. releaseKey lets it go as a note-off does.
    void soundKey(int key, float volume);
    void releaseKey(int key);
    // Lets go of every note that came in through MIDI, and of the pedal, as their note-offs
    // would: the MIDI system went away, and they will never come. Letters still down stay.
    void releaseAll();

    // A MIDI file played as written: its messages come at their times, played as a keyboard's
    // are but on notes of their own, so the file and a keyboard never end each other's notes.
    // Its drum notes (channel 10) sound only on a SoundFont, pressing no key; its programs,
    // controllers and pitch bends reach a SoundFont, its sustain pedals hold its notes as a
    // keyboard's pedal does. startFile sets a SoundFont's channels as they were when it was
    // opened; endFile lets go of every note and pedal the file holds and gives the SoundFont's
    // channels back their first sound.
    void startFile();
    void playFileMessage(const TimedMidiMessage& message);
    void endFile();
    // The instrument changed: a file playing on a SoundFont tells it the programs so far.
    void instrumentChanged();

    // Sends to `send` from now on; empty stops sending (note-offs first for what still sounds).
    void startOutput(Send send);
    void stopOutput();
    // A key the program sounded started (on) or stopped.
    void keySounded(int key, bool on, float volume);

    // Whose notes a note's state is: a keyboard's channel (0..15), a file's (16..31), or the
    // letters that sound at the press.
    static constexpr int KEYBOARD = 0, FILE = 16, LETTERS = 32, SOURCES = 33;

    struct NoteState {
        bool down = false;       // note-on without its note-off
        bool held = false;       // sounding as struck: down, or kept by its channel's pedal
        bool releasing = false;  // let go: fading
        double releasedAt = 0;   // seconds on the program's clock
        float volume = 0;        // the note's starting volume
        int key = -1;            // the key it presses (folded by octaves); -1 none (a file's drums)
        bool synth = false;      // a SoundFont's note: released at once, the SoundFont's own release heard
        SoundHandle voice;
        int toldKey = -1;        // its key while those who follow the sound know it sounds
    };
    // A note (0..127) of a source channel.
    const NoteState& note(int source, int note) const { return notes_[index(source, note)]; }
    // A key is shown down while a note on it is held, and rises once the last is let go.
    bool keyHeld(int key) const { return keysHeld_[static_cast<std::size_t>(key)] > 0; }
    bool pedal(int source) const { return pedals_[static_cast<std::size_t>(source)]; }

private:
    static std::size_t index(int source, int note) { return static_cast<std::size_t>(source * 128 + note); }

    void play(const MidiInbox::Message& message);
    void noteOn(int source, int note, int velocity);
    void noteOff(int source, int note, double at);
    void controller(int source, int number, int value, double at);
    bool sustained(int source) const;
    bool chordHeld(const ChordInfo& chord) const;
    void followWithRightHand(int key);
    void followWithLeftHand();
    void liftFollowingHands(int key);
    void fadeOutVoice(NoteState& n);
    void hold(NoteState& n);
    void letGo(NoteState& n, double at);
    void letGoUnheld(int source, double at);
    void releaseSources(int first, double at);
    void releaseAllAt(double at);
    bool riseReleasedKeys();
    std::string waited(const MidiInbox::Message& message) const;
    void send(std::initializer_list<unsigned char> bytes);
    int chosenProgram() const;
    void sendProgram();

    Piano& piano_;
    std::array<PianoKey, NUM_KEYS>& keys_;
    Stroke& right_;
    Stroke& left_;
    KeySounds& sounds_;
    const Clock& clock_;
    EventLog* log_;
    MidiInbox inbox_;
    std::array<MidiInbox::Message, MidiInbox::CAPACITY> taken_;
    std::vector<NoteState> notes_ = std::vector<NoteState>(SOURCES * 128);
    std::array<bool, SOURCES> pedals_{};  // sustain, controller 64, of each source channel
    std::vector<std::size_t> releasing_;  // notes let go and fading, by index
    // Each key: the notes on it that are held, and when the last of them was let go.
    std::array<int, NUM_KEYS> keysHeld_{};
    std::array<bool, NUM_KEYS> keyRising_{};
    std::array<double, NUM_KEYS> keyReleasedAt_{};
    // A file's program and bank of each channel so far (-1 none), for a SoundFont chosen mid-file.
    bool filePlaying_ = false;
    std::array<int, 16> filePrograms_{}, fileBanks_{};
    // The output: the program last sent (-1 none yet) and the keys it has a note-on out for.
    Send output_;
    int programSent_ = -1;
    std::array<bool, NUM_KEYS> sent_ = {};
};
