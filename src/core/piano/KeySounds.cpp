// Starting, fading and stopping the keys' sounds, choosing the instrument, and telling those
// who follow the sound.
#include "KeySounds.h"

#include <algorithm>

#include "KeyNotes.h"
#include "NotePitch.h"

namespace {
constexpr float ORGAN_NOTE_VOLUME = 0.5f;
constexpr float CHORD_NOTE_VOLUME = 0.5f;
constexpr float CHOIR_CHORD_VOLUME = 0.35f;

// A stroke ended before its time lets its sample die away over this many frames (0.1 s at 60
// frames a second), the next frame stops it: cut at once it would click, and a note ended by
// the next one typed would last a single frame.
constexpr int FADE_FRAMES = 6;
}  // namespace

KeySounds::KeySounds(SoundEngine* engine, ResourcePaths resources, EventLog* log,
                     std::vector<SoundFontEntry> soundFonts)
    : engine_(engine), resources_(std::move(resources)), log_(log) {
    for (SoundFontEntry& entry : soundFonts)
        soundFonts_.push_back({std::move(entry), std::make_unique<SynthVoices>(), false});
    prepareHighNotes();
}

// A note above the keys plays the sample of C#4..C5 of its name, one to three octaves up (to
// C8): the engine makes those raised copies ahead, so that even the first such note is not
// late by their making (25 to 40 ms each on a busy machine).
void KeySounds::prepareHighNotes() const {
    if (engine_ == nullptr || instrument_ >= NUM_INSTRUMENTS) return;
    std::vector<std::pair<std::string, float>> samples;
    for (int note = HIGHEST_MIDI_NOTE + 1; note <= HIGHEST_MIDI_NOTE + 36; ++note) {
        const NoteSample sample = noteSample(note);
        samples.emplace_back(samplePath(sample.key), sample.pitch);
    }
    engine_->prepareAtPitch(samples);
}

bool KeySounds::setInstrument(int instrument) {
    if (instrument < 0 || instrument >= instrumentCount()) return false;
    if (instrument == instrument_) return true;
    std::unique_ptr<Synth> opened;
    if (instrument >= NUM_INSTRUMENTS) {
        SoundFontInstrument& font = soundFonts_[static_cast<std::size_t>(instrument - NUM_INSTRUMENTS)];
        if (font.unreadable) return false;
        // Read whole when chosen, not at start-up: a General MIDI SoundFont is 150 MB.
        opened = engine_ != nullptr ? engine_->openSoundFont(font.entry.path) : nullptr;
        if (opened == nullptr && engine_ != nullptr) {
            font.unreadable = true;
            return false;
        }
    }
    // One SoundFont is held at a time.
    for (SoundFontInstrument& font : soundFonts_) font.voices->open(nullptr);
    instrument_ = instrument;
    if (opened != nullptr) soundFonts_[static_cast<std::size_t>(instrument - NUM_INSTRUMENTS)].voices->open(std::move(opened));
    prepareHighNotes();
    return true;
}

int KeySounds::nextInstrument(int instrument) const {
    for (int next = instrument + 1; next < instrumentCount(); ++next)
        if (next < NUM_INSTRUMENTS || !soundFonts_[static_cast<std::size_t>(next - NUM_INSTRUMENTS)].unreadable)
            return next;
    return PIANO;
}

std::string KeySounds::instrumentName(int instrument) const {
    if (instrument < NUM_INSTRUMENTS) return std::string(INSTRUMENT_NAMES[static_cast<std::size_t>(instrument)]);
    return soundFonts_[static_cast<std::size_t>(instrument - NUM_INSTRUMENTS)].entry.name;
}

Synth* KeySounds::synth() const {
    if (instrument_ < NUM_INSTRUMENTS) return nullptr;
    return soundFonts_[static_cast<std::size_t>(instrument_ - NUM_INSTRUMENTS)].voices->synth();
}

float KeySounds::noteStartVolume() const { return instrument_ == ORGAN ? ORGAN_NOTE_VOLUME : 1.0f; }

float KeySounds::chordStartVolume() const { return instrument_ == CHOIR ? CHOIR_CHORD_VOLUME : CHORD_NOTE_VOLUME; }

SoundHandle KeySounds::play(int key, float volume, const char* event) {
    return playNote(keyMidiNote(key), volume, 0, event);
}

SoundHandle KeySounds::playNote(int note, float volume, int channel, const char* event) {
    if (instrument_ >= NUM_INSTRUMENTS) {
        SynthVoices& voices = *soundFonts_[static_cast<std::size_t>(instrument_ - NUM_INSTRUMENTS)].voices;
        SoundHandle handle = voices.start(channel, note, volume);
        if (log_ != nullptr)
            log_->log(event, "soundfont channel " + std::to_string(channel) + " note " + std::to_string(note));
        return handle;
    }
    const NoteSample sample = noteSample(note);
    const std::string path = samplePath(sample.key);
    // Logged once playing: a sample the background loading has not reached yet is decoded
    // first, tens of milliseconds on a busy machine, and its sound starts only then.
    SoundHandle handle;
    if (engine_ != nullptr) handle = sample.octaves == 0 ? engine_->play2D(path) : engine_->playAtPitch(path, sample.pitch);
    if (volume != 1) handle.setVolume(volume);
    if (log_ != nullptr) log_->log(event, path);
    return handle;
}

void KeySounds::notify(int key, bool on, float volume) {
    for (const KeySoundObserver& observer : observers_) observer(key, on, volume);
}

void KeySounds::sounded(int& key, int newKey, float volume) {
    key = newKey;
    notify(newKey, true, volume);
}

void KeySounds::stopped(int& key) {
    if (key < 0) return;
    notify(key, false, 0);
    key = -1;
}

void KeySounds::fadeOut(SoundHandle& handle, float volume) {
    if (handle.isNull()) return;
    fading_.push_back({handle, volume, 0});
    handle = SoundHandle();
}

void KeySounds::stepFades() {
    for (Fading& f : fading_) {
        ++f.step;
        if (f.step <= FADE_FRAMES)
            f.handle.setVolume(f.volume * static_cast<float>(FADE_FRAMES - f.step) / FADE_FRAMES);
        else
            f.handle.stop();
    }
    fading_.erase(std::remove_if(fading_.begin(), fading_.end(), [](const Fading& f) { return f.step > FADE_FRAMES; }),
                  fading_.end());
}
