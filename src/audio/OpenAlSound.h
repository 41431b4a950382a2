// The sound layer's engine on OpenAL Soft: samples decoded once by libsndfile and kept, played
// on a fixed pool of voices. Exposed for the tests, which build it on a loopback device.
#pragma once

#include "AudioOnly.h"

#include <AL/alc.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "Sound.h"

class OpenAlSoundEngine final : public SoundEngine {
public:
    // Sounds that can play at once; a start beyond that cuts the oldest.
    static constexpr std::size_t VOICES = 32;

    // Builds the engine on an open device. With ownsDevice the engine closes it; otherwise the
    // caller closes it after the engine is gone. contextAttributes may be null. The preload
    // files are decoded on a worker thread started here. Null, after one line on stderr, when
    // no context or voices can be made (an owned device is closed then).
    static std::unique_ptr<OpenAlSoundEngine> create(ALCdevice* device, bool ownsDevice,
                                                     const ALCint* contextAttributes,
                                                     std::vector<std::string> preload);
    ~OpenAlSoundEngine() override;

    SoundHandle play2D(const std::string& path) override;
    void setVolume(const SoundHandle& handle, float volume) override;
    void stop(const SoundHandle& handle) override;

    // Stops every sound, joins the worker and releases the context and the device; every call
    // after it is silence. Run at process exit for the engines createSoundEngine made.
    void shutdown();

    // Blocks until the worker has gone through its preload list.
    void waitForPreload();
    // Files decoded and kept (or found unplayable): one entry per distinct path.
    std::size_t cachedFiles() const;
    // Bytes OpenAL holds for the kept samples, as it reports them.
    std::size_t heldSampleBytes() const;

private:
    struct Impl;
    explicit OpenAlSoundEngine(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};
