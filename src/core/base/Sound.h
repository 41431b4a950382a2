// The program's sound layer: start a sample file at its own pitch or another, change its
// volume, stop it; and open a SoundFont as a synthesizer.
// It fails soft: with no device, a missing file or a stale handle every call is silence.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Synth.h"

class SoundEngine;

// A handle to one started sample. Copyable, never released; it stays usable for the whole
// run and does nothing once its sound has ended or its voice serves another sound.
class SoundHandle {
public:
    SoundHandle() = default;
    SoundHandle(SoundEngine* engine, std::uint32_t voice, std::uint32_t generation)
        : engine_(engine), voice_(voice), generation_(generation) {}

    void setVolume(float volume);  // 0 silent .. 1 full
    void stop();
    bool isNull() const { return engine_ == nullptr; }

    std::uint32_t voice() const { return voice_; }
    std::uint32_t generation() const { return generation_; }

private:
    SoundEngine* engine_ = nullptr;
    std::uint32_t voice_ = 0;
    std::uint32_t generation_ = 0;
};

class SoundEngine {
public:
    virtual ~SoundEngine() = default;
    // Starts the sample at path at full volume, at once.
    virtual SoundHandle play2D(const std::string& path) = 0;
    // The same, played `pitch` times as fast: 2 an octave up (and half as long), 0.5 an
    // octave down; NotePitch.h gives the ratio for a MIDI note. Ratios from 1/16 to 32 (MIDI's
    // whole range from the 25 keys) play true. An engine that cannot change pitch plays
    // the sample at its own.
    virtual SoundHandle playAtPitch(const std::string& path, float pitch) {
        (void)pitch;
        return play2D(path);
    }
    // Makes ahead, in the background, what playAtPitch needs to start these samples at these
    // pitches at once, so that not even their first note is late. An engine that needs nothing
    // made ahead, or one rendered faster than real time (the render tool's), does nothing.
    virtual void prepareAtPitch(const std::vector<std::pair<std::string, float>>& samples) { (void)samples; }
    virtual void setVolume(const SoundHandle& handle, float volume) = 0;
    virtual void stop(const SoundHandle& handle) = 0;

    // A SoundFont (.sf2, .sf3) loaded as a synthesizer whose sound reaches this engine's
    // output, with General MIDI's piano (or, lacking it, its first preset) on every melodic
    // channel and its drum kit on channel 9. Null,
    // after one line on stderr naming the file and why, when it cannot be read or there is no
    // synthesizer. Loading reads the whole file: a General MIDI SoundFont of 150 MB takes a
    // fifth of a second or more. Dropping the synthesizer silences it.
    virtual std::unique_ptr<Synth> openSoundFont(const std::string& path);
};

// Opens the default output device and starts decoding the preload files in the background,
// so the first note of each plays without a hitch. Null, after one line on stderr, when there
// is no device. The engine is the sound layer's to close: closeSoundEngine closes it, and
// process exit does what is left undone; it must not be deleted.
// mixerConfig, when given, is an OpenAL Soft config file with the program's mixing period: it
// is read after the user's own config files, unless the user names a file of their own in
// ALSOFT_CONF, which then wins.
SoundEngine* createSoundEngine(const std::vector<std::string>& preload, const std::string& mixerConfig = "");
// Closes an engine createSoundEngine made, now rather than at process exit: its threads are
// joined and its device closed (a wave writer's file is then complete). The engine stays, as
// handles point at it; every later call on it is silence. Anything else, null included, is
// left alone.
void closeSoundEngine(SoundEngine* engine);
