// A SoundFont instrument's notes as the keys' sounds: each note started on the synthesizer gets
// a sound handle, so strokes, MIDI notes and fades treat it as they treat a sample.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "Sound.h"
#include "Synth.h"

// A synthesizer's note cannot be made quieter once started: its velocity is set by the volume
// it starts at, and the first lower volume (its key rising) or a stop releases it, so the
// instrument's own release is heard. Handles outlive the synthesizer: once it is closed they do
// nothing, as a stale handle of the engine does.
class SynthVoices final : public SoundEngine {
public:
    static constexpr int CHANNELS = 16;

    SynthVoices() = default;
    SynthVoices(const SynthVoices&) = delete;
    SynthVoices& operator=(const SynthVoices&) = delete;

    // Takes the synthesizer to play on; null closes it, silencing what it still sounds.
    void open(std::unique_ptr<Synth> synth);
    Synth* synth() const { return synth_.get(); }

    // Starts a note (0..127) on a channel (0..15) at the velocity of `volume` (0..1, as
    // velocityVolume gives it). A note struck again ends its earlier handle's say over it.
    SoundHandle start(int channel, int note, float volume);

    SoundHandle play2D(const std::string&) override { return {}; }  // it plays no sample files
    void setVolume(const SoundHandle& handle, float volume) override;
    void stop(const SoundHandle& handle) override;

private:
    struct Note {
        std::uint32_t generation = 0;
        float volume = 0;  // what it started at
        bool sounding = false;
    };
    Note* noteOf(const SoundHandle& handle);
    void release(const SoundHandle& handle);

    std::unique_ptr<Synth> synth_;
    std::array<Note, CHANNELS * 128> notes_{};
};
