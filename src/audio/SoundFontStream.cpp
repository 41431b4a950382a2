// Feeding a synthesizer's blocks to a streaming OpenAL source: buffers unqueued as the mixer
// is done with them, filled again and queued; a source that ran dry started again. At rest,
// with no voice and nothing audible, nothing is rendered and the thread sleeps until an event.
#include "SoundFontStream.h"

#include <AL/alext.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "OpenAlSound.h"

namespace {
// Below -90 dB and with no voice left, the reverb's tail is done with.
constexpr float QUIET = 3e-5f;
}  // namespace

std::unique_ptr<SoundFontStream> SoundFontStream::start(OpenAlSoundEngine& engine,
                                                        std::unique_ptr<SoundFontSynth> synth, StreamFeed feed) {
    std::unique_ptr<SoundFontStream> stream(new SoundFontStream(engine, std::move(synth), feed));
    bool made = false;
    engine.withContext([&] {
        if (alIsExtensionPresent("AL_EXT_FLOAT32") != AL_TRUE) return;
        alGetError();
        alGenSources(1, &stream->source_);
        if (alGetError() != AL_NO_ERROR) return;
        alSourcei(stream->source_, AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(stream->source_, AL_POSITION, 0.0f, 0.0f, 0.0f);
        // The synthesizer pans its own notes: its left and right reach the speakers as they are.
        if (alIsExtensionPresent("AL_SOFT_direct_channels") == AL_TRUE)
            alSourcei(stream->source_, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
        made = alGetError() == AL_NO_ERROR;
    });
    if (!made) {
        std::fprintf(stderr, "tinklewood: OpenAL gave no source to stream %s from; it stays silent\n",
                     stream->name().c_str());
        return nullptr;
    }
    engine.addStream(stream.get());
    SoundFontStream* self = stream.get();
    self->synth_->onEvent([self] {
        self->event_ = true;
        if (self->feed_ != StreamFeed::Thread) return;
        // Through the mutex, so the thread cannot miss it between looking and sleeping.
        { std::lock_guard<std::mutex> lock(self->wakeMutex_); }
        self->wake_.notify_one();
    });
    if (feed == StreamFeed::Thread) self->thread_ = std::thread([self] { self->feedOnThread(); });
    return stream;
}

SoundFontStream::SoundFontStream(OpenAlSoundEngine& engine, std::unique_ptr<SoundFontSynth> synth, StreamFeed feed)
    : synth_(std::move(synth)), feed_(feed), engine_(&engine) {}

SoundFontStream::~SoundFontStream() {
    release();
    OpenAlSoundEngine* engine = nullptr;
    {
        std::lock_guard<std::mutex> lock(engineMutex_);
        std::swap(engine, engine_);
    }
    // Outside the lock: the engine's pumpStreams takes its list's lock, then this stream's.
    if (engine != nullptr) engine->removeStream(this);
}

void SoundFontStream::release() {
    {
        std::lock_guard<std::mutex> lock(wakeMutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    std::lock_guard<std::mutex> lock(engineMutex_);
    if (engine_ == nullptr || source_ == 0) return;
    engine_->withContext([&] {
        alSourceStop(source_);
        alSourcei(source_, AL_BUFFER, 0);
        alDeleteSources(1, &source_);
        if (!buffers_.empty()) alDeleteBuffers(static_cast<ALsizei>(buffers_.size()), buffers_.data());
    });
    source_ = 0;
    buffers_.clear();
    freeBuffers_.clear();
}

void SoundFontStream::engineShutDown() {
    release();
    std::lock_guard<std::mutex> lock(engineMutex_);
    engine_ = nullptr;
}

void SoundFontStream::pump(int frames) {
    if (feed_ == StreamFeed::Pulled) fill(std::max(frames, 0) + BLOCK_FRAMES);
}

void SoundFontStream::feedOnThread() {
    // The mixer's own thread asks for real-time scheduling (OpenAL Soft's rt-prio); the
    // thread that feeds it must keep up with it, or the stream runs dry whenever the machine
    // is busy. Where that is not allowed (an ordinary user outside the audio group) it runs
    // as it is.
    sched_param realTime{};
    realTime.sched_priority = 1;
    pthread_setschedparam(pthread_self(), SCHED_RR, &realTime);
    // The mixer takes a block a period; looking twice a period refills each buffer within half
    // a period of its being played.
    const auto look = std::chrono::microseconds(1000000LL * BLOCK_FRAMES / 2 / synth_->sampleRate());
    std::unique_lock<std::mutex> lock(wakeMutex_);
    while (!stopping_) {
        lock.unlock();
        fill(QUEUED_BLOCKS * BLOCK_FRAMES);
        lock.lock();
        if (resting_)
            wake_.wait(lock, [&] { return stopping_ || event_; });
        else
            wake_.wait_for(lock, look, [&] { return stopping_; });
    }
    lock.unlock();
    std::lock_guard<std::mutex> engineLock(engineMutex_);
    if (engine_ != nullptr) engine_->leaveThread();
}

void SoundFontStream::fill(int frames) {
    std::lock_guard<std::mutex> lock(engineMutex_);
    if (engine_ == nullptr || source_ == 0) return;
    ALint queued = 0, state = AL_INITIAL;
    const bool open = engine_->withContext([&] {
        ALint processed = 0;
        alGetSourcei(source_, AL_BUFFERS_PROCESSED, &processed);
        for (; processed > 0; --processed) {
            ALuint buffer = 0;
            alSourceUnqueueBuffers(source_, 1, &buffer);
            if (buffer != 0) freeBuffers_.push_back(buffer);
        }
        alGetSourcei(source_, AL_BUFFERS_QUEUED, &queued);
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
    });
    if (!open) return;
    if (event_.exchange(false)) {
        resting_ = false;
        quietBlocks_ = 0;
    }
    if (resting_) {
        sounding_ = false;  // the queue plays out its silent tail and the source stops
        return;
    }
    if (sounding_ && state != AL_PLAYING) ++underruns_;

    // Rendered outside the engine's lock: the program's thread starting samples meanwhile
    // does not wait for the synthesizer.
    const int wanted = std::max<int>(0, (frames + BLOCK_FRAMES - 1) / BLOCK_FRAMES - queued);
    int made = 0;
    for (; made < wanted && !resting_; ++made) {
        staging_.resize(static_cast<std::size_t>(made + 1) * 2 * BLOCK_FRAMES);
        float* block = staging_.data() + static_cast<std::size_t>(made) * 2 * BLOCK_FRAMES;
        synth_->render(block, BLOCK_FRAMES);
        float peak = 0.0f;
        for (int i = 0; i < 2 * BLOCK_FRAMES; ++i) peak = std::max(peak, std::fabs(block[i]));
        quietBlocks_ = peak < QUIET && synth_->activeVoices() == 0 ? quietBlocks_ + 1 : 0;
        // One quiet block more is queued, so the tail ends in silence rather than a cut.
        if (quietBlocks_ >= 2) resting_ = true;
    }
    if (made == 0) return;

    engine_->withContext([&] {
        alGetError();
        for (int i = 0; i < made; ++i) {
            ALuint buffer = 0;
            if (!freeBuffers_.empty()) {
                buffer = freeBuffers_.back();
                freeBuffers_.pop_back();
            } else {
                alGenBuffers(1, &buffer);
                if (alGetError() != AL_NO_ERROR) break;
                buffers_.push_back(buffer);
            }
            const float* block = staging_.data() + static_cast<std::size_t>(i) * 2 * BLOCK_FRAMES;
            alBufferData(buffer, AL_FORMAT_STEREO_FLOAT32, block,
                         static_cast<ALsizei>(2 * BLOCK_FRAMES * sizeof(float)), synth_->sampleRate());
            alSourceQueueBuffers(source_, 1, &buffer);
        }
        if (state != AL_PLAYING) {
            alSourcePlay(source_);
            ++starts_;
        }
    });
    // Come to rest, the source is left to run dry.
    sounding_ = !resting_;
}
