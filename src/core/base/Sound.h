// The program's sound layer: start a sample file, change its volume, stop it.
// It fails soft: with no device, a missing file or a stale handle every call is silence.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    virtual void setVolume(const SoundHandle& handle, float volume) = 0;
    virtual void stop(const SoundHandle& handle) = 0;
};

// Opens the default output device and starts decoding the preload files in the background,
// so the first note of each plays without a hitch. Null, after one line on stderr, when there
// is no device. The engine is the sound layer's to close: its device is closed at process
// exit (also after exit() from a key handler), and it must not be deleted.
// mixerConfig, when given, is an OpenAL Soft config file with the program's mixing period: it
// is read after the user's own config files, unless the user names a file of their own in
// ALSOFT_CONF, which then wins.
SoundEngine* createSoundEngine(const std::vector<std::string>& preload, const std::string& mixerConfig = "");
