// MIDI in and out on the piano's side: the inbox the MIDI threads fill, notes played as keys
// and samples, the hands following them, and the keys the program sounds sent out.
#include "MidiPlayer.h"

#include <algorithm>
#include <string>

#include "Letters.h"
#include "animation.h"

// ---- The queue from the MIDI threads -----------------------------------------------------
void MidiInbox::queue(const unsigned char* message, std::size_t size) {
    if (size < 3) return;
    const int type = message[0] & 0xF0;
    if (type != 0x80 && type != 0x90 && type != 0xB0) return;
    put(message, false);
}

void MidiInbox::connectionLost() {
    const unsigned char reset[3] = {RESET, 0, 0};
    put(reset, true);
}

void MidiInbox::put(const unsigned char* message, bool evenWhenFull) {
    bool first;
    Wake wake;
    void* context;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (count_ == CAPACITY && !evenWhenFull) return;
        if (count_ == CAPACITY) --count_;  // the newest goes, as when a flood fills the queue
        Message& slot = ring_[(first_ + count_) % CAPACITY];
        std::copy(message, message + 3, slot.bytes);
        slot.arrived = clock_.now();
        first = count_++ == 0;
        wake = wake_;
        context = wakeContext_;
    }
    // Once per wait: the frame loop takes everything queued by the time it runs. Called outside
    // the lock, with the pair as it stood: onArrival may change it meanwhile.
    if (first && wake != nullptr) wake(context);
}

bool MidiInbox::pending() {
    std::lock_guard<std::mutex> hold(lock_);
    return count_ > 0;
}

void MidiInbox::onArrival(Wake wake, void* context) {
    std::lock_guard<std::mutex> hold(lock_);
    wake_ = wake;
    wakeContext_ = context;
}

std::size_t MidiInbox::take(std::array<Message, CAPACITY>& out) {
    std::lock_guard<std::mutex> hold(lock_);
    std::size_t count = 0;
    for (; count < count_; ++count) out[count] = ring_[(first_ + count) % CAPACITY];
    first_ = (first_ + count) % CAPACITY;
    count_ = 0;
    return count;
}

void MidiInbox::discard() {
    std::lock_guard<std::mutex> hold(lock_);
    count_ = 0;
}

// ---- Playing what came in ----------------------------------------------------------------
namespace {
// A released letter's key rises in the first fifth of the stroke's up phase, its sample fading
// with the square of the key's press; a MIDI note's key rises the same way.
constexpr double RELEASE_SECONDS = 0.2 * NOTE_DOWN_SECONDS;
constexpr int SUSTAIN = 64, ALL_SOUND_OFF = 120, RESET_CONTROLLERS = 121, ALL_NOTES_OFF = 123;

double arrival(const MidiInbox::Message& message) { return static_cast<double>(message.arrived) / TICKS_PER_SECOND; }

// How far down a note let go at `releasedAt` still is at `now`: 1 held, 0 at rest.
float pressAfter(double releasedAt, double now) {
    return static_cast<float>(std::max(0.0, 1 - (now - releasedAt) / RELEASE_SECONDS));
}
}  // namespace

MidiPlayer::MidiPlayer(Piano& piano, std::array<PianoKey, NUM_KEYS>& keys, Stroke& right, Stroke& left,
                       KeySounds& sounds, const Clock& clock, const Clock& arrivals, EventLog* log)
    : piano_(piano), keys_(keys), right_(right), left_(left), sounds_(sounds), clock_(clock), log_(log),
      inbox_(arrivals) {}

bool MidiPlayer::chordHeld(const ChordInfo& chord) const {
    for (int i = 0; i < chord.numNotes; ++i)
        if (!keyHeld(chord.notes[i])) return false;
    return true;
}

void MidiPlayer::followWithRightHand(int key) {
    if (keyNoteIndex(key) < 0 || right_.busy() || !right_.pending.empty()) return;
    right_.nextSpeed = FOLLOW_SPEED;
    piano_.beginStroke(true, key, 0);
    right_.showOnly = true;
    right_.updateHand();
    left_.updateHand();
}

void MidiPlayer::followWithLeftHand() {
    if (left_.busy() || !left_.pending.empty()) return;
    for (ChordEnum chord : CHORD_KEY_TABLE[piano_.mode()]) {
        if (!chordHeld(CHORDS[chord])) continue;
        left_.nextSpeed = FOLLOW_SPEED;
        piano_.beginStroke(false, chord, 0);  // no letter's release may end it
        left_.showOnly = true;
        left_.updateHand();
        right_.updateHand();
        return;
    }
}

// A hand following MIDI lifts when a key it shows is let go.
void MidiPlayer::liftFollowingHands(int key) {
    if (right_.showOnly && right_.target() == key && right_.held) {
        right_.release();
        left_.updateHand();
        right_.updateHand();
    }
    if (left_.showOnly && left_.busy() && left_.held) {
        const ChordInfo& chord = CHORDS[static_cast<std::size_t>(left_.target())];
        if (std::find(chord.notes, chord.notes + chord.numNotes, key) != chord.notes + chord.numNotes) {
            left_.release();
            left_.updateHand();
            right_.updateHand();
        }
    }
}

// A note struck again while it still sounds: the earlier sound dies away over a few frames, as
// a stroke ended early does, instead of being cut with a click.
void MidiPlayer::fadeOutVoice(NoteState& n) {
    if (n.voice.isNull()) return;
    const float press = n.releasing ? pressAfter(n.releasedAt, clock_.seconds()) : 1.0f;
    sounds_.stopped(n.toldKey);
    if (n.synth)
        n.voice.stop();
    else
        sounds_.fadeOut(n.voice, n.volume * press * press);
    n.voice = SoundHandle();
    n.releasing = false;
}

// The note sounds as struck from now on, and its key is down.
void MidiPlayer::hold(NoteState& n) {
    n.down = true;
    const bool wasHeld = n.held;
    n.held = true;
    if (n.key < 0) return;
    if (!wasHeld) ++keysHeld_[static_cast<std::size_t>(n.key)];
    keyRising_[static_cast<std::size_t>(n.key)] = false;
    keys_[static_cast<std::size_t>(n.key)].press(1);
}

// The note fades from when its note-off came in, which may be most of a frame ago; its key
// rises once no other note on it is held.
void MidiPlayer::letGo(NoteState& n, double at) {
    if (!n.held) return;
    n.held = false;
    if (n.synth) {
        n.voice.stop();
        n.voice = SoundHandle();
        sounds_.stopped(n.toldKey);
    } else if (!n.voice.isNull()) {
        n.releasing = true;
        n.releasedAt = at;
        releasing_.push_back(static_cast<std::size_t>(&n - notes_.data()));
    }
    if (n.key < 0) return;
    const auto key = static_cast<std::size_t>(n.key);
    if (--keysHeld_[key] > 0) return;
    keyRising_[key] = true;
    keyReleasedAt_[key] = at;
    liftFollowingHands(n.key);
}

// Notes of the source no longer down and no longer held by a pedal.
void MidiPlayer::letGoUnheld(int source, double at) {
    if (sustained(source)) return;
    for (int note = 0; note < 128; ++note) {
        NoteState& n = notes_[index(source, note)];
        if (!n.down) letGo(n, at);
    }
}

// A keyboard's pedal holds its own channel's notes and the letters that sound at the press.
bool MidiPlayer::sustained(int source) const {
    if (source != LETTERS) return pedals_[static_cast<std::size_t>(source)];
    return std::any_of(pedals_.begin() + KEYBOARD, pedals_.begin() + KEYBOARD + 16, [](bool down) { return down; });
}

std::string MidiPlayer::waited(const MidiInbox::Message& message) const {
    return " waited " + std::to_string(clock_.seconds() - arrival(message));
}

void MidiPlayer::noteOn(int source, int note, int velocity) {
    const bool drum = source == FILE + MIDI_DRUM_CHANNEL;
    if (drum && sounds_.synth() == nullptr) return;  // the samples have no drums
    NoteState& n = notes_[index(source, note)];
    fadeOutVoice(n);
    n.key = drum ? -1 : midiNoteKey(note);
    n.volume = velocityVolume(velocity) * sounds_.noteStartVolume();
    n.synth = sounds_.synth() != nullptr;
    n.voice = sounds_.playNote(note, n.volume, source % 16, "midi-play");
    hold(n);
    if (n.key < 0) return;
    followWithRightHand(n.key);
    followWithLeftHand();
}

void MidiPlayer::noteOff(int source, int note, double at) {
    NoteState& n = notes_[index(source, note)];
    n.down = false;
    if (!sustained(source)) letGo(n, at);
}

void MidiPlayer::controller(int source, int number, int value, double at) {
    if (number == SUSTAIN) {
        pedals_[static_cast<std::size_t>(source)] = value >= 64;
    } else if (number == ALL_NOTES_OFF || number == ALL_SOUND_OFF) {
        for (int note = 0; note < 128; ++note) notes_[index(source, note)].down = false;
        if (number == ALL_SOUND_OFF) pedals_[static_cast<std::size_t>(source)] = false;
    } else {
        return;
    }
    letGoUnheld(source, at);
    if (source < FILE) letGoUnheld(LETTERS, at);
}

void MidiPlayer::play(const MidiInbox::Message& message) {
    if (message.bytes[0] == MidiInbox::RESET) {
        if (log_ != nullptr) log_->log("midi-in", "reset" + waited(message));
        releaseAllAt(arrival(message));
        return;
    }
    const int type = message.bytes[0] & 0xF0, source = KEYBOARD + (message.bytes[0] & 0x0F);
    const int data1 = message.bytes[1] & 0x7F, data2 = message.bytes[2] & 0x7F;
    if (type == 0x90 && data2 > 0) {
        if (log_ != nullptr)
            log_->log("midi-in", "on " + std::to_string(data1) + " " + std::to_string(data2) + waited(message));
        noteOn(source, data1, data2);
    } else if (type == 0x80 || type == 0x90) {  // a note-on of velocity 0 is a note-off
        if (log_ != nullptr) log_->log("midi-in", "off " + std::to_string(data1) + waited(message));
        noteOff(source, data1, arrival(message));
    } else if (type == 0xB0) {
        if (data1 == SUSTAIN && log_ != nullptr) log_->log("midi-in", "pedal " + std::to_string(data2));
        controller(source, data1, data2, arrival(message));
    }
}

// ---- A MIDI file played as written ---------------------------------------------------------
void MidiPlayer::startFile() {
    filePlaying_ = true;
    filePrograms_.fill(-1);
    fileBanks_.fill(0);
    if (Synth* synth = sounds_.synth()) synth->reset();
}

void MidiPlayer::playFileMessage(const TimedMidiMessage& message) {
    const int type = message.kind(), channel = message.channel(), source = FILE + channel;
    const int data1 = message.bytes[1] & 0x7F, data2 = message.bytes[2] & 0x7F;
    Synth* synth = sounds_.synth();
    const double now = clock_.seconds();
    if (type == 0x90 && data2 > 0) {
        noteOn(source, data1, data2);
    } else if (type == 0x80 || type == 0x90) {
        noteOff(source, data1, now);
    } else if (type == 0xB0) {
        if (data1 == 0) fileBanks_[static_cast<std::size_t>(channel)] = data2;
        // The pedal is the player's here, as a keyboard's is: it holds the notes themselves.
        if (data1 == SUSTAIN || data1 == ALL_NOTES_OFF || data1 == ALL_SOUND_OFF)
            controller(source, data1, data2, now);
        else if (synth != nullptr)
            synth->controller(channel, data1, data2);
    } else if (type == 0xC0) {
        filePrograms_[static_cast<std::size_t>(channel)] = data1;
        if (synth != nullptr) synth->programChange(channel, data1);
    } else if (type == 0xE0 && synth != nullptr) {
        synth->pitchBend(channel, data1 | data2 << 7);
    }
}

void MidiPlayer::endFile() {
    if (!filePlaying_) return;
    filePlaying_ = false;
    releaseSources(FILE, clock_.seconds());
    // Without cutting what still dies away: the next letter plays the instrument's own sound.
    if (Synth* synth = sounds_.synth()) {
        for (int channel = 0; channel < 16; ++channel) {
            synth->controller(channel, RESET_CONTROLLERS, 0);
            synth->controller(channel, 7, 100);
            synth->controller(channel, 10, 64);
            synth->controller(channel, 0, 0);
            synth->programChange(channel, 0);
        }
    }
}

void MidiPlayer::instrumentChanged() {
    Synth* synth = sounds_.synth();
    if (!filePlaying_ || synth == nullptr) return;
    for (int channel = 0; channel < 16; ++channel) {
        if (filePrograms_[static_cast<std::size_t>(channel)] < 0) continue;
        synth->controller(channel, 0, fileBanks_[static_cast<std::size_t>(channel)]);
        synth->programChange(channel, filePrograms_[static_cast<std::size_t>(channel)]);
    }
}

// ---- Keys rising and notes fading ----------------------------------------------------------
// Whether a key moved.
bool MidiPlayer::riseReleasedKeys() {
    const double now = clock_.seconds();
    bool moved = false;
    for (std::size_t key = 0; key < keyRising_.size(); ++key) {
        if (!keyRising_[key]) continue;
        moved = true;
        const float press = pressAfter(keyReleasedAt_[key], now);
        keys_[key].press(press);
        keyRising_[key] = press > 0;
    }
    // A note struck again since it was let go is no longer fading.
    releasing_.erase(std::remove_if(releasing_.begin(), releasing_.end(),
                                    [this, now](std::size_t i) {
                                        NoteState& n = notes_[i];
                                        if (!n.releasing) return true;
                                        const float press = pressAfter(n.releasedAt, now);
                                        n.voice.setVolume(n.volume * press * press);
                                        if (press > 0) return false;
                                        n.voice.stop();
                                        n.voice = SoundHandle();
                                        n.releasing = false;
                                        sounds_.stopped(n.toldKey);
                                        return true;
                                    }),
                     releasing_.end());
    return moved;
}

void MidiPlayer::soundKey(int key, float volume) {
    const int note = keyMidiNote(key);
    NoteState& n = notes_[index(LETTERS, note)];
    fadeOutVoice(n);
    n.key = key;
    n.volume = volume;
    n.synth = sounds_.synth() != nullptr;
    n.voice = sounds_.playNote(note, volume, 0, "play");
    hold(n);
    sounds_.sounded(n.toldKey, key, volume);
}

void MidiPlayer::releaseKey(int key) {
    noteOff(LETTERS, keyMidiNote(key), clock_.seconds());
}

void MidiPlayer::releaseAll() { releaseAllAt(clock_.seconds()); }

void MidiPlayer::releaseAllAt(double at) {
    releaseSources(KEYBOARD, at);
    letGoUnheld(LETTERS, at);  // letters the pedal was holding
    piano_.requestFrame();
}

// Every note and pedal of the sixteen channels from `first`, as if their note-offs had come.
void MidiPlayer::releaseSources(int first, double at) {
    for (int source = first; source < first + 16; ++source) {
        pedals_[static_cast<std::size_t>(source)] = false;
        for (int note = 0; note < 128; ++note) notes_[index(source, note)].down = false;
        letGoUnheld(source, at);
    }
}

bool MidiPlayer::keysMoving() const {
    return !releasing_.empty() || std::any_of(keyRising_.begin(), keyRising_.end(), [](bool rising) { return rising; });
}

void MidiPlayer::step() {
    // Taken out under the lock and played outside it, so a MIDI thread never waits on a sample
    // starting.
    const std::size_t count = inbox_.take(taken_);
    for (std::size_t i = 0; i < count; ++i) play(taken_[i]);
    const bool moved = riseReleasedKeys();
    // Outside a frame step nothing else asks for the keys to be drawn where they now are.
    if (count > 0 || moved) piano_.requestFrame();
    if (output_ && programSent_ != chosenProgram()) sendProgram();
}

// ---- The output --------------------------------------------------------------------------
void MidiPlayer::send(std::initializer_list<unsigned char> bytes) { output_(bytes.begin(), bytes.size()); }

int MidiPlayer::chosenProgram() const { return instrumentProgram(sounds_.instrument()); }

void MidiPlayer::sendProgram() {
    send({0xC0, static_cast<unsigned char>(chosenProgram())});
    programSent_ = chosenProgram();
}

void MidiPlayer::keySounded(int key, bool on, float volume) {
    if (!output_) return;
    const auto note = static_cast<unsigned char>(keyMidiNote(key));
    bool& sent = sent_[static_cast<std::size_t>(key)];
    if (on) {
        const bool silent = std::none_of(sent_.begin(), sent_.end(), [](bool s) { return s; });
        if (silent || programSent_ != chosenProgram()) sendProgram();
        if (sent) send({0x80, note, 64});
        send({0x90, note, static_cast<unsigned char>(volumeVelocity(volume))});
        sent = true;
    } else if (sent) {
        send({0x80, note, 64});
        sent = false;
    }
}

void MidiPlayer::startOutput(Send sendMessage) { output_ = std::move(sendMessage); }

void MidiPlayer::stopOutput() {
    if (!output_) return;
    for (int key = 0; key < NUM_KEYS; ++key) keySounded(key, false, 0);
    output_ = nullptr;
}
