// MIDI in and out on the program's side: the queue from the MIDI threads, notes played as
// keys and samples, the hands following them, and the keys the program sounds sent out.
#include "MidiPlaying.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <initializer_list>
#include <mutex>
#include <string>

#include "EventLog.h"
#include "Piano.h"
#include "animation.h"
#include "timer.h"

namespace {
// ---- The queue from the MIDI threads ---------------------------------------------------
struct Message {
    unsigned char bytes[3];
    clocksource::Ticks arrived;  // logged with the message: how long it waited to be played
};

// A frame takes what came in since the last one; 1024 messages are seconds of the fastest
// playing, so only a flood from a program fills it.
const std::size_t QUEUE_CAPACITY = 1024;

struct InputQueue {
    std::mutex lock;
    std::array<Message, QUEUE_CAPACITY> ring;
    std::size_t first = 0, count = 0;
    std::atomic<MidiWake> wake{nullptr};
};

// Made once and never destroyed: the MIDI threads may still call in while the process exits.
InputQueue& inputQueue() {
    static InputQueue* queue = new InputQueue;
    return *queue;
}

// ---- Playing what came in --------------------------------------------------------------
// A released letter's key rises in the first fifth of the stroke's up phase, its sample
// fading with the square of the key's press; a MIDI note's key rises the same way.
const double RELEASE_SECONDS = 0.2 * NOTE_SPEED_FACTOR;
// The hands' strokes for MIDI notes run this much faster than a letter's: the note already
// sounds, so the finger should be on the key within 0.04 s instead of 0.16 s.
const float FOLLOW_SPEED = 4;

double nowSeconds() { return static_cast<double>(clocksource::now()) / clocksource::TICKS_PER_SECOND; }

// The right hand's thirteen keys: the upper eight white keys and the upper five black ones.
bool rightHandKey(int key) { return (key >= 7 && key < NUM_WHITE_KEYS) || key >= NUM_WHITE_KEYS + 5; }

bool chordHeld(const ChordInfo& chord) {
    for (int i = 0; i < chord.numNotes; ++i)
        if (!app.midi.keys[chord.notes[i]].held) return false;
    return true;
}

void followWithRightHand(int key) {
    if (!rightHandKey(key) || currNote >= 0 || !app.input.pendingNotes.empty()) return;
    currNote = key;
    app.performance.nextNoteSpeed = FOLLOW_SPEED;
    activateRightAnimation();
    app.performance.noteShowOnly = true;
    updateHandsAnimationStatus();
}

void followWithLeftHand() {
    if (playChord != NONE || !app.input.pendingChords.empty()) return;
    for (ChordEnum chord : CHORD_KEY_TABLE[mode]) {
        if (!chordHeld(CHORDS[chord])) continue;
        playChord = chord;
        app.input.chordLetterHeld = 0;  // no letter's release may end it
        app.performance.nextChordSpeed = FOLLOW_SPEED;
        activateLeftChordAnimation();
        app.performance.chordShowOnly = true;
        updateHandsAnimationStatus();
        return;
    }
}

// A hand following MIDI lifts when a key it shows is let go.
void liftFollowingHands(int key) {
    if (app.performance.noteShowOnly && currNote == key && noteKeyPressed) {
        noteKeyPressed = false;
        updateHandsAnimationStatus();
    }
    if (app.performance.chordShowOnly && playChord != NONE && chordKeyPressed) {
        const ChordInfo& chord = CHORDS[playChord];
        if (std::find(chord.notes, chord.notes + chord.numNotes, key) != chord.notes + chord.numNotes) {
            chordKeyPressed = false;
            updateHandsAnimationStatus();
        }
    }
}

// A key struck again while its last note still sounds: that note dies away over a few
// frames, as a stroke ended early does, instead of being cut with a click.
void fadeOutVoice(int key) {
    MidiKeyState& k = app.midi.keys[key];
    if (k.voice.isNull()) return;
    const float press = k.releasing ? keys[key]->pressFactor : 1.0f;
    app.performance.fading.push_back({k.voice, k.volume * press * press, 0});
    k.voice = SoundHandle();
    k.releasing = false;
}

// The key rises from when the message came in, which may be most of a frame ago.
void letGo(int key, double at) {
    MidiKeyState& k = app.midi.keys[key];
    if (!k.held) return;
    k.held = false;
    k.releasing = true;
    k.releasedAt = at;
    liftFollowingHands(key);
}

double arrival(const Message& message) {
    return static_cast<double>(message.arrived) / clocksource::TICKS_PER_SECOND;
}

std::string waited(const Message& message) { return " waited " + std::to_string(nowSeconds() - arrival(message)); }

void noteOn(int note, int velocity, const Message& message) {
    logEvent("midi-in", "on " + std::to_string(note) + " " + std::to_string(velocity) + waited(message));
    const int key = midiNoteKey(note);
    MidiKeyState& k = app.midi.keys[key];
    fadeOutVoice(key);
    k.volume = velocityVolume(velocity) * noteStartVolume();
    logEvent("midi-play", samplePath(key));
    if (engine != nullptr) {
        k.voice = engine->play2D(samplePath(key));
        k.voice.setVolume(k.volume);
    }
    k.down = k.held = true;
    keys[key]->press(1);
    followWithRightHand(key);
    followWithLeftHand();
}

void noteOff(int note, const Message& message) {
    logEvent("midi-in", "off " + std::to_string(note) + waited(message));
    const int key = midiNoteKey(note);
    app.midi.keys[key].down = false;
    if (!app.midi.pedal) letGo(key, arrival(message));
}

void controller(int number, int value, const Message& message) {
    const int SUSTAIN = 64, ALL_SOUND_OFF = 120, ALL_NOTES_OFF = 123;
    if (number == SUSTAIN) {
        logEvent("midi-in", "pedal " + std::to_string(value));
        app.midi.pedal = value >= 64;
    } else if (number == ALL_NOTES_OFF || number == ALL_SOUND_OFF) {
        for (MidiKeyState& k : app.midi.keys) k.down = false;
        if (number == ALL_SOUND_OFF) app.midi.pedal = false;
    } else {
        return;
    }
    if (app.midi.pedal) return;
    for (int key = 0; key < NUM_KEYS; ++key)
        if (!app.midi.keys[key].down) letGo(key, arrival(message));
}

void play(const Message& message) {
    const int type = message.bytes[0] & 0xF0;
    const int data1 = message.bytes[1] & 0x7F, data2 = message.bytes[2] & 0x7F;
    if (type == 0x90 && data2 > 0)
        noteOn(data1, data2, message);
    else if (type == 0x80 || type == 0x90)
        noteOff(data1, message);  // a note-on of velocity 0 is a note-off
    else if (type == 0xB0)
        controller(data1, data2, message);
}

// Whether a key moved.
bool riseReleasedKeys() {
    const double now = nowSeconds();
    bool moved = false;
    for (int key = 0; key < NUM_KEYS; ++key) {
        MidiKeyState& k = app.midi.keys[key];
        if (!k.releasing) continue;
        moved = true;
        const float press = static_cast<float>(std::max(0.0, 1 - (now - k.releasedAt) / RELEASE_SECONDS));
        keys[key]->press(press);
        k.voice.setVolume(k.volume * press * press);
        if (press == 0) {
            k.voice.stop();
            k.voice = SoundHandle();
            k.releasing = false;
        }
    }
    return moved;
}

// ---- The output ------------------------------------------------------------------------
MidiSend output = nullptr;

void send(std::initializer_list<unsigned char> bytes) { output(bytes.begin(), bytes.size()); }

int chosenProgram() { return instrumentPrograms[activeInstrument]; }

void sendProgram() {
    send({0xC0, static_cast<unsigned char>(chosenProgram())});
    app.midi.programSent = chosenProgram();
}

void sendKeySound(int key, bool on, float volume) {
    if (output == nullptr) return;
    std::array<bool, NUM_KEYS>& sent = app.midi.sent;
    const auto note = static_cast<unsigned char>(keyMidiNote(key));
    if (on) {
        const bool silent = std::none_of(sent.begin(), sent.end(), [](bool s) { return s; });
        if (silent || app.midi.programSent != chosenProgram()) sendProgram();
        if (sent[key]) send({0x80, note, 64});
        send({0x90, note, static_cast<unsigned char>(volumeVelocity(volume))});
        sent[key] = true;
    } else if (sent[key]) {
        send({0x80, note, 64});
        sent[key] = false;
    }
}
}  // namespace

void queueMidiInput(const unsigned char* message, std::size_t size) {
    if (size < 3) return;
    const int type = message[0] & 0xF0;
    if (type != 0x80 && type != 0x90 && type != 0xB0) return;
    InputQueue& queue = inputQueue();
    bool first;
    {
        std::lock_guard<std::mutex> hold(queue.lock);
        if (queue.count == QUEUE_CAPACITY) return;
        Message& slot = queue.ring[(queue.first + queue.count) % QUEUE_CAPACITY];
        std::copy(message, message + 3, slot.bytes);
        slot.arrived = clocksource::now();
        first = queue.count++ == 0;
    }
    // Once per wait: the frame loop takes everything queued by the time it runs.
    const MidiWake wake = queue.wake.load();
    if (first && wake != nullptr) wake();
}

bool midiInputPending() {
    InputQueue& queue = inputQueue();
    std::lock_guard<std::mutex> hold(queue.lock);
    return queue.count > 0;
}

void wakeOnMidiInput(MidiWake wake) { inputQueue().wake.store(wake); }

void discardMidiInput() {
    InputQueue& queue = inputQueue();
    std::lock_guard<std::mutex> hold(queue.lock);
    queue.count = 0;
}

void stepMidi() {
    // Taken out under the lock and played outside it, so a MIDI thread never waits on a
    // sample starting.
    static std::array<Message, QUEUE_CAPACITY> taken;
    std::size_t count = 0;
    {
        InputQueue& queue = inputQueue();
        std::lock_guard<std::mutex> hold(queue.lock);
        for (; count < queue.count; ++count) taken[count] = queue.ring[(queue.first + count) % QUEUE_CAPACITY];
        queue.first = (queue.first + count) % QUEUE_CAPACITY;
        queue.count = 0;
    }
    for (std::size_t i = 0; i < count; ++i) play(taken[i]);
    const bool moved = riseReleasedKeys();
    // Outside a frame step nothing else asks for the keys to be drawn where they now are.
    if ((count > 0 || moved) && shellHooks.requestRedisplay != nullptr) shellHooks.requestRedisplay();
    if (output != nullptr && app.midi.programSent != chosenProgram()) sendProgram();
}

bool midiKeysMoving() {
    return std::any_of(app.midi.keys.begin(), app.midi.keys.end(), [](const MidiKeyState& k) { return k.releasing; });
}

void startMidiOutput(MidiSend sendMessage) {
    output = sendMessage;
    observeKeySounds(sendKeySound);
}

void stopMidiOutput() {
    if (output == nullptr) return;
    for (int key = 0; key < NUM_KEYS; ++key) sendKeySound(key, false, 0);
    output = nullptr;
}

int midiNoteKey(int note) {
    while (note < LOWEST_MIDI_NOTE) note += 12;
    while (note > HIGHEST_MIDI_NOTE) note -= 12;
    // Within an octave from C: white keys at these semitones, black keys at the others.
    static const int WHITE[12] = {0, -1, 1, -1, 2, 3, -1, 4, -1, 5, -1, 6};
    static const int BLACK[12] = {-1, 0, -1, 1, -1, -1, 2, -1, 3, -1, 4, -1};
    const int octave = (note - LOWEST_MIDI_NOTE) / 12, semitone = (note - LOWEST_MIDI_NOTE) % 12;
    if (WHITE[semitone] >= 0) return octave * 7 + WHITE[semitone];
    return NUM_WHITE_KEYS + octave * 5 + BLACK[semitone];
}

int keyMidiNote(int key) {
    static const int WHITE[7] = {0, 2, 4, 5, 7, 9, 11};
    static const int BLACK[5] = {1, 3, 6, 8, 10};
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
