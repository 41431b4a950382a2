// Starting, fading and stopping the keys' samples, and telling those who follow the sound.
#include "KeySounds.h"

#include <algorithm>

namespace {
constexpr float ORGAN_NOTE_VOLUME = 0.5f;
constexpr float CHORD_NOTE_VOLUME = 0.5f;
constexpr float CHOIR_CHORD_VOLUME = 0.35f;

// A stroke ended before its time lets its sample die away over this many frames (0.1 s at 60
// frames a second), the next frame stops it: cut at once it would click, and a note ended by
// the next one typed would last a single frame.
constexpr int FADE_FRAMES = 6;
}  // namespace

float KeySounds::noteStartVolume() const { return instrument_ == ORGAN ? ORGAN_NOTE_VOLUME : 1.0f; }

float KeySounds::chordStartVolume() const { return instrument_ == CHOIR ? CHOIR_CHORD_VOLUME : CHORD_NOTE_VOLUME; }

SoundHandle KeySounds::play(int key, const char* event) {
    const std::string path = samplePath(key);
    // Logged once playing: a sample the background loading has not reached yet is decoded
    // first, tens of milliseconds on a busy machine, and its sound starts only then.
    SoundHandle handle = engine_ != nullptr ? engine_->play2D(path) : SoundHandle();
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
