// A SoundFont synthesizer heard through the OpenAL engine: its blocks queued on a streaming
// source of the engine's context, fed by a thread of its own on a sound device, or pulled
// block by block by whoever renders a loopback device.
#pragma once

#include <AL/al.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "SoundFontSynth.h"

class OpenAlSoundEngine;

// How a stream's blocks are made: on its own thread, as the device plays; or only when the
// renderer of a loopback device asks (OpenAlSoundEngine::pumpStreams), so that what is
// rendered depends on nothing but the events and the samples rendered.
enum class StreamFeed { Thread, Pulled };

class SoundFontStream final : public Synth {
public:
    // One block a buffer: the mixing period the program asks for (res/alsoft.conf), so the
    // mixer takes one buffer a period.
    static constexpr int BLOCK_FRAMES = 256;
    // Buffers queued ahead on a device: an event waits behind two to three of them (12 to 17
    // ms at 44.1 kHz) before the device's own buffer; the feeding thread may be two blocks
    // late before the source runs dry.
    static constexpr int QUEUED_BLOCKS = 3;

    // Null, after one line on stderr, when the engine cannot give it a source.
    static std::unique_ptr<SoundFontStream> start(OpenAlSoundEngine& engine, std::unique_ptr<SoundFontSynth> synth,
                                                  StreamFeed feed);
    ~SoundFontStream() override;

    const std::string& name() const override { return synth_->name(); }
    const std::vector<SynthPreset>& presets() const override { return synth_->presets(); }
    void noteOn(int channel, int key, int velocity) override { synth_->noteOn(channel, key, velocity); }
    void noteOff(int channel, int key) override { synth_->noteOff(channel, key); }
    void programChange(int channel, int program) override { synth_->programChange(channel, program); }
    void selectPreset(int channel, int bank, int program) override { synth_->selectPreset(channel, bank, program); }
    void controller(int channel, int number, int value) override { synth_->controller(channel, number, value); }
    void pitchBend(int channel, int value) override { synth_->pitchBend(channel, value); }
    void allNotesOff() override { synth_->allNotesOff(); }
    void reset() override { synth_->reset(); }

    // Pulled feed: queues what the next `frames` frames of the mix need. Run before each
    // render of the loopback device.
    void pump(int frames);
    // Times the source ran dry while there was sound to play (a feeding thread late by more
    // than the queue), and times it was started from rest.
    int underruns() const { return underruns_; }
    int starts() const { return starts_; }
    // The engine's call before it shuts down: the feeding stops, the source and buffers go
    // back, and the stream stays silent and leaves the engine alone from then on. On the
    // thread that destroys streams.
    void engineShutDown();

private:
    SoundFontStream(OpenAlSoundEngine& engine, std::unique_ptr<SoundFontSynth> synth, StreamFeed feed);
    void feedOnThread();
    // Renders and queues blocks until at least `frames` frames wait in the queue, unless the
    // synthesizer has fallen silent and nothing has happened since.
    void fill(int frames);
    void release();

    std::unique_ptr<SoundFontSynth> synth_;
    const StreamFeed feed_;

    std::mutex engineMutex_;  // guards engine_, which the engine clears when it shuts down first
    OpenAlSoundEngine* engine_;
    ALuint source_ = 0;
    std::vector<ALuint> buffers_;      // every buffer made, to delete them
    std::vector<ALuint> freeBuffers_;  // unqueued, ready to fill
    bool sounding_ = false;            // the source should be playing: blocks were queued since the last rest
    int quietBlocks_ = 0;              // rendered in a row with no voice and nothing audible
    std::atomic<bool> resting_{true};  // nothing is rendered until an event
    std::atomic<bool> event_{false};   // an event came since the last fill
    std::atomic<int> underruns_{0}, starts_{0};
    std::vector<float> staging_;       // blocks rendered, waiting to be queued

    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};
