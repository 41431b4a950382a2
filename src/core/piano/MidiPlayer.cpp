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

double arrival(const MidiInbox::Message& message) { return static_cast<double>(message.arrived) / TICKS_PER_SECOND; }
}  // namespace

MidiPlayer::MidiPlayer(Piano& piano, std::array<PianoKey, NUM_KEYS>& keys, Stroke& right, Stroke& left,
                       KeySounds& sounds, const Clock& clock, const Clock& arrivals, EventLog* log)
    : piano_(piano), keys_(keys), right_(right), left_(left), sounds_(sounds), clock_(clock), log_(log),
      inbox_(arrivals) {}

bool MidiPlayer::chordHeld(const ChordInfo& chord) const {
    for (int i = 0; i < chord.numNotes; ++i)
        if (!state_[static_cast<std::size_t>(chord.notes[i])].held) return false;
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

// A key struck again while its last note still sounds: that note dies away over a few frames,
// as a stroke ended early does, instead of being cut with a click.
void MidiPlayer::fadeOutVoice(int key) {
    KeyState& k = state_[static_cast<std::size_t>(key)];
    if (k.voice.isNull()) return;
    const float press = k.releasing ? keys_[static_cast<std::size_t>(key)].pressFactor : 1.0f;
    sounds_.stopped(k.toldKey);
    sounds_.fadeOut(k.voice, k.volume * press * press);
    k.releasing = false;
}

// The key rises from when the message came in, which may be most of a frame ago.
void MidiPlayer::letGo(int key, double at) {
    KeyState& k = state_[static_cast<std::size_t>(key)];
    if (!k.held) return;
    k.held = false;
    k.releasing = true;
    k.releasedAt = at;
    liftFollowingHands(key);
}

std::string MidiPlayer::waited(const MidiInbox::Message& message) const {
    return " waited " + std::to_string(clock_.seconds() - arrival(message));
}

void MidiPlayer::noteOn(int note, int velocity, const MidiInbox::Message& message) {
    if (log_ != nullptr) log_->log("midi-in", "on " + std::to_string(note) + " " + std::to_string(velocity) + waited(message));
    const int key = midiNoteKey(note);
    KeyState& k = state_[static_cast<std::size_t>(key)];
    fadeOutVoice(key);
    k.volume = velocityVolume(velocity) * sounds_.noteStartVolume();
    k.voice = sounds_.play(key, "midi-play");
    k.voice.setVolume(k.volume);
    k.down = k.held = k.fromPort = true;
    keys_[static_cast<std::size_t>(key)].press(1);
    followWithRightHand(key);
    followWithLeftHand();
}

void MidiPlayer::noteOff(int note, const MidiInbox::Message& message) {
    if (log_ != nullptr) log_->log("midi-in", "off " + std::to_string(note) + waited(message));
    const int key = midiNoteKey(note);
    state_[static_cast<std::size_t>(key)].down = false;
    if (!pedal_) letGo(key, arrival(message));
}

void MidiPlayer::controller(int number, int value, const MidiInbox::Message& message) {
    const int SUSTAIN = 64, ALL_SOUND_OFF = 120, ALL_NOTES_OFF = 123;
    if (number == SUSTAIN) {
        if (log_ != nullptr) log_->log("midi-in", "pedal " + std::to_string(value));
        pedal_ = value >= 64;
    } else if (number == ALL_NOTES_OFF || number == ALL_SOUND_OFF) {
        for (KeyState& k : state_) k.down = false;
        if (number == ALL_SOUND_OFF) pedal_ = false;
    } else {
        return;
    }
    if (pedal_) return;
    for (int key = 0; key < NUM_KEYS; ++key)
        if (!state_[static_cast<std::size_t>(key)].down) letGo(key, arrival(message));
}

void MidiPlayer::play(const MidiInbox::Message& message) {
    if (message.bytes[0] == MidiInbox::RESET) {
        if (log_ != nullptr) log_->log("midi-in", "reset" + waited(message));
        releaseAllAt(arrival(message));
        return;
    }
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
bool MidiPlayer::riseReleasedKeys() {
    const double now = clock_.seconds();
    bool moved = false;
    for (int key = 0; key < NUM_KEYS; ++key) {
        KeyState& k = state_[static_cast<std::size_t>(key)];
        if (!k.releasing) continue;
        moved = true;
        const float press = static_cast<float>(std::max(0.0, 1 - (now - k.releasedAt) / RELEASE_SECONDS));
        keys_[static_cast<std::size_t>(key)].press(press);
        k.voice.setVolume(k.volume * press * press);
        if (press == 0) {
            k.voice.stop();
            k.voice = SoundHandle();
            k.releasing = false;
            sounds_.stopped(k.toldKey);
        }
    }
    return moved;
}

void MidiPlayer::soundKey(int key, float volume) {
    KeyState& k = state_[static_cast<std::size_t>(key)];
    fadeOutVoice(key);
    k.volume = volume;
    k.voice = sounds_.play(key);
    if (volume != 1) k.voice.setVolume(volume);
    k.down = k.held = true;
    k.fromPort = false;
    keys_[static_cast<std::size_t>(key)].press(1);
    sounds_.sounded(k.toldKey, key, volume);
}

void MidiPlayer::releaseKey(int key) {
    state_[static_cast<std::size_t>(key)].down = false;
    if (!pedal_) letGo(key, clock_.seconds());
}

void MidiPlayer::releaseAll() { releaseAllAt(clock_.seconds()); }

void MidiPlayer::releaseAllAt(double at) {
    pedal_ = false;
    for (int key = 0; key < NUM_KEYS; ++key) {
        KeyState& k = state_[static_cast<std::size_t>(key)];
        if (k.fromPort) k.down = false;
        if (!k.down) letGo(key, at);
    }
    piano_.requestFrame();
}

bool MidiPlayer::keysMoving() const {
    return std::any_of(state_.begin(), state_.end(), [](const KeyState& k) { return k.releasing; });
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

int MidiPlayer::chosenProgram() const { return INSTRUMENT_PROGRAMS[static_cast<std::size_t>(sounds_.instrument())]; }

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
