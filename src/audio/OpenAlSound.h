// The sound layer's engine on OpenAL Soft: samples decoded once by libsndfile and kept, played
// on a fixed pool of voices at any pitch; SoundFonts streamed through the same mixer. Exposed
// for the tests and the render tool, which build it on a loopback device.
#pragma once

#include "AudioOnly.h"

#include <AL/alc.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Sound.h"
#include "SoundFontStream.h"

class OpenAlSoundEngine final : public SoundEngine {
public:
    // Sounds that can play at once; a start beyond that cuts the oldest.
    static constexpr std::size_t VOICES = 32;

    // Builds the engine on an open device. With ownsDevice the engine closes it; otherwise the
    // caller closes it after the engine is gone. contextAttributes may be null. The preload
    // files are decoded on a worker thread started here. Null, after one line on stderr, when
    // no context or voices can be made (an owned device is closed then). A loopback device
    // that is rendered by hand wants StreamFeed::Pulled and pumpStreams before each render.
    static std::unique_ptr<OpenAlSoundEngine> create(ALCdevice* device, bool ownsDevice,
                                                     const ALCint* contextAttributes,
                                                     std::vector<std::string> preload,
                                                     StreamFeed feed = StreamFeed::Thread);
    ~OpenAlSoundEngine() override;

    SoundHandle play2D(const std::string& path) override;
    // Held to 1/64..64 (OpenAL Soft 1.19 itself holds a voice's speed to 255 times, measured
    // on the loopback device). Whole octaves up play a copy of the sample made that much higher
    // beforehand, on the caller's thread at the first such note (decoded again, then raised
    // by libsamplerate: 25 to 40 ms for a 3 s sample on a busy two-core machine) and kept,
    // once per file and octave; what is left under an octave, and every step down, is
    // resampled by OpenAL Soft's best resampler, its 23rd-order sinc, where its default
    // linear one would leave aliases 10 dB under the harmonics.
    SoundHandle playAtPitch(const std::string& path, float pitch) override;
    // With the thread feed (a sound device), the copies raised by octaves that these pitches
    // need are made by the preload worker, after its preload list, at its low priority.
    void prepareAtPitch(const std::vector<std::pair<std::string, float>>& samples) override;
    void setVolume(const SoundHandle& handle, float volume) override;
    void stop(const SoundHandle& handle) override;
    // The synthesizer's blocks go to a streaming source of this engine's context; see
    // SoundFontStream for the feeding. Dropping every synthesizer before the engine goes is
    // not needed: the engine silences those left when it shuts down.
    std::unique_ptr<Synth> openSoundFont(const std::string& path) override;
    // Pulled feed: every stream queues what the next `frames` frames of the mix need. Call it
    // before each render of the loopback device; with the thread feed it does nothing.
    void pumpStreams(int frames);

    // Stops every sound, joins the worker and releases the context and the device; every call
    // after it is silence. Run at process exit for the engines createSoundEngine made.
    void shutdown();

    // Blocks until the worker has gone through its preload list and the copies asked for.
    void waitForPreload();
    // Files decoded and kept (or found unplayable): one entry per distinct path, and one per
    // path and octave for the copies made higher.
    std::size_t cachedFiles() const;
    // Bytes OpenAL holds for the kept samples, as it reports them.
    std::size_t heldSampleBytes() const;

    // For the streams: runs alCalls with this engine's context bound and its lock on OpenAL's
    // error state held. False, running nothing, once the engine has shut down.
    bool withContext(const std::function<void()>& alCalls);
    // A thread that used withContext lets go of the context before it ends.
    void leaveThread();
    // Streams made on this engine, silenced when it shuts down.
    void addStream(SoundFontStream* stream);
    void removeStream(SoundFontStream* stream);
    // Of the output device, frames a second.
    int sampleRate() const;

private:
    struct Impl;
    explicit OpenAlSoundEngine(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};
