// Synthesizer notes behind sound handles: velocities at the start, releases for the rest.
#include "SynthVoices.h"

#include <algorithm>

#include "KeyNotes.h"

void SynthVoices::open(std::unique_ptr<Synth> synth) {
    synth_ = std::move(synth);
    for (Note& note : notes_) note.sounding = false;
}

SoundHandle SynthVoices::start(int channel, int note, float volume) {
    if (synth_ == nullptr || channel < 0 || channel >= CHANNELS || note < 0 || note > 127) return {};
    const auto voice = static_cast<std::uint32_t>(channel * 128 + note);
    Note& n = notes_[voice];
    ++n.generation;
    n.volume = std::clamp(volume, 0.0f, 1.0f);
    n.sounding = true;
    synth_->noteOn(channel, note, volumeVelocity(n.volume));
    return SoundHandle(this, voice, n.generation);
}

SynthVoices::Note* SynthVoices::noteOf(const SoundHandle& handle) {
    if (synth_ == nullptr || handle.voice() >= notes_.size()) return nullptr;
    Note& n = notes_[handle.voice()];
    return n.sounding && n.generation == handle.generation() ? &n : nullptr;
}

void SynthVoices::release(const SoundHandle& handle) {
    Note* n = noteOf(handle);
    if (n == nullptr) return;
    n->sounding = false;
    synth_->noteOff(static_cast<int>(handle.voice() / 128), static_cast<int>(handle.voice() % 128));
}

void SynthVoices::setVolume(const SoundHandle& handle, float volume) {
    const Note* n = noteOf(handle);
    if (n != nullptr && volume < n->volume) release(handle);
}

void SynthVoices::stop(const SoundHandle& handle) { release(handle); }
