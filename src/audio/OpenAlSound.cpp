// The OpenAL Soft engine behind the sound layer: a cache of decoded samples, filled ahead by a
// worker thread, and a fixed pool of voices handed out with generation counts.
#include "OpenAlSound.h"

#include <AL/al.h>
#include <AL/alext.h>
#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unordered_map>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "Printable.h"

namespace {

// Generations are counted across the whole process, not per voice: a handle then matches only
// the start that made it, even when handed to another engine. 0 is never issued.
std::atomic<std::uint32_t> lastGeneration{0};

std::uint32_t nextGeneration() {
    std::uint32_t generation = ++lastGeneration;
    while (generation == 0) generation = ++lastGeneration;
    return generation;
}

// OpenAL Soft (1.19, stereo output, no HRTF) pans a centred mono source into each speaker at
// this share of its level, 4.5 dB down, where a stereo buffer on a direct-channels source
// reaches the speakers at its own level. Measured on the loopback device: the same to float
// precision for every sample. A mono voice's gain is raised by its inverse, so a mono sample,
// held once, sounds exactly as it would doubled into a stereo buffer, at half the memory.
constexpr float MONO_CENTRE_LEVEL = 0.5956621f;

// A file decoded as the voices play it: 16-bit samples, interleaved when there are two channels.
struct Decoded {
    std::vector<ALshort> samples;
    int channels = 0;
    int sampleRate = 0;
    std::string error;  // empty when decoded
};

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '.')) text.pop_back();
    return text;
}

Decoded decodeFile(const std::string& path) {
    Decoded out;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        std::error_code ignored;
        out.error = std::filesystem::is_regular_file(path, ignored)
                        ? "not a sound file that can be decoded (" + trimmed(sf_strerror(nullptr)) + ")"
                        : "no such file";
        return out;
    }
    if (info.channels != 1 && info.channels != 2) {
        sf_close(file);
        out.error = std::to_string(info.channels) + " channels; only mono and stereo play";
        return out;
    }
    out.channels = info.channels;
    out.sampleRate = info.samplerate;
    // Read in blocks rather than trusting the frame count, which a compressed stream only
    // estimates; floats are clamped here so an over-full MP3 frame cannot wrap around.
    std::vector<float> block(4096 * static_cast<std::size_t>(info.channels));
    const sf_count_t blockFrames = 4096;
    out.samples.reserve(info.frames > 0 ? static_cast<std::size_t>(info.frames) * info.channels : 0);
    for (;;) {
        const sf_count_t got = sf_readf_float(file, block.data(), blockFrames);
        if (got <= 0) break;
        for (sf_count_t i = 0; i < got * info.channels; ++i) {
            const float v = std::clamp(block[i], -1.0f, 1.0f);
            out.samples.push_back(static_cast<ALshort>(std::lrint(v * 32767.0f)));
        }
    }
    const int status = sf_error(file);
    sf_close(file);
    if (status != SF_ERR_NO_ERROR) out.error = trimmed(sf_error_number(status));
    else if (out.samples.empty()) out.error = "no audio in the file";
    return out;
}

// The samples as they sound `octaves` octaves up at their own rate: filtered to what fits
// below the Nyquist frequency and thinned out, by libsamplerate's sinc converter. OpenAL
// Soft 1.19's own sinc resamplers fade a source out beyond about six times its speed
// (measured on the loopback device: 10 dB down at 8 times, silent from 15), and its linear
// one folds the upper partials back as aliases 10 dB under the harmonics.
Decoded raisedByOctaves(const Decoded& decoded, int octaves) {
    Decoded out;
    out.channels = decoded.channels;
    out.sampleRate = decoded.sampleRate;
    std::vector<float> in(decoded.samples.size());
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = decoded.samples[i] / 32768.0f;
    const long frames = static_cast<long>(in.size()) / decoded.channels;
    std::vector<float> raised((static_cast<std::size_t>(frames >> octaves) + 2) * decoded.channels);
    SRC_DATA data{};
    data.data_in = in.data();
    data.data_out = raised.data();
    data.input_frames = frames;
    data.output_frames = static_cast<long>(raised.size()) / decoded.channels;
    data.src_ratio = std::ldexp(1.0, -octaves);
    const int status = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, decoded.channels);
    if (status != 0 || data.output_frames_gen <= 0) {
        out.error = status != 0 ? src_strerror(status) : "nothing left after raising it";
        return out;
    }
    out.samples.reserve(static_cast<std::size_t>(data.output_frames_gen) * decoded.channels);
    for (long i = 0; i < data.output_frames_gen * decoded.channels; ++i)
        out.samples.push_back(static_cast<ALshort>(std::lrint(std::clamp(raised[i], -1.0f, 1.0f) * 32767.0f)));
    return out;
}

// A pitch as whole octaves up, made beforehand by raisedByOctaves, and what is left for OpenAL's
// resampler: under an octave up, and every step down.
int octavesUpIn(float& pitch) {
    int exponent = 0;
    const float mantissa = std::frexp(pitch, &exponent);  // pitch = mantissa * 2^exponent, mantissa in [0.5, 1)
    const int octavesUp = pitch >= 2.0f ? exponent - 1 : 0;
    if (octavesUp > 0) pitch = 2.0f * mantissa;
    return octavesUp;
}

// A sample raised by whole octaves is kept apart from the sample itself, under this key.
std::string raisedKey(const std::string& path, int octaves) {
    return octaves == 0 ? path : path + '\n' + std::to_string(octaves) + " octaves up";
}

}  // namespace

struct OpenAlSoundEngine::Impl {
    ALCdevice* device = nullptr;
    bool ownsDevice = false;
    ALCcontext* context = nullptr;
    // ALC_EXT_thread_local_context, when present: each thread binds this context for itself.
    PFNALCSETTHREADCONTEXTPROC setThreadContext = nullptr;
    PFNALCGETTHREADCONTEXTPROC getThreadContext = nullptr;

    // A voice is free when its source is not playing.
    struct Voice {
        ALuint source = 0;
        std::uint32_t generation = 0;  // of the start it plays or last played
        std::uint64_t startedAt = 0;   // start count at that start: the smallest is the oldest
        float level = 1;               // the source's gain at full volume, for its sample's channels
    };
    // Guards the voices and every group of AL calls whose errors are checked: the error state is
    // the context's, shared by the worker and the callers.
    std::mutex alMutex;
    std::array<Voice, VOICES> voices{};
    std::uint64_t starts = 0;
    std::atomic<bool> closed{false};
    bool directChannels = false;  // AL_SOFT_direct_channels: stereo samples reach the speakers unpanned
    // AL_SOFT_source_resampler: the best of OpenAL Soft's resamplers, for voices played at
    // another pitch, and the one it uses by default; -1 without the extension.
    ALint bestResampler = -1, defaultResampler = -1;
    int sampleRate = 44100;

    StreamFeed feed = StreamFeed::Thread;
    std::mutex streamsMutex;
    std::vector<SoundFontStream*> streams;

    // Every path ever asked for, decoded or found unplayable; guarded by cacheMutex. A path is
    // decoded by the first thread that asks; others wait for it rather than decode it twice.
    enum class State { Decoding, Ready, Unplayable };
    struct Sample {
        State state = State::Decoding;
        ALuint buffer = 0;
        int channels = 0;
    };
    mutable std::mutex cacheMutex;
    std::condition_variable cacheChanged;
    std::unordered_map<std::string, Sample> cache;
    bool preloadDone = true;

    // Copies raised by octaves asked for ahead (path, octaves), for the worker after its
    // preload list; guarded by cacheMutex, as is preloadDone, which is false while it works.
    std::vector<std::pair<std::string, int>> raises;
    std::thread worker;
    std::atomic<bool> stopping{false};

    // Makes this engine's context the calling thread's. Cheap when it already is.
    void bind() const {
        if (setThreadContext == nullptr) return;  // the process-wide context was set at creation
        if (getThreadContext() != context) setThreadContext(context);
    }

    // Decodes path once and returns the buffer holding its samples, 0 when it cannot be
    // played, with their channels in `channels` when given. A file that cannot be played is
    // named on stderr at once, or, given failure, described there for the caller to report.
    // octavesUp: the sample as it sounds that many octaves higher at its own rate.
    ALuint bufferFor(const std::string& path, std::string* failure = nullptr, int* channels = nullptr,
                     int octavesUp = 0);
    void preload(const std::vector<std::string>& paths);
    void raiseAhead();
    Voice* voiceFor(const SoundHandle& handle);
};

ALuint OpenAlSoundEngine::Impl::bufferFor(const std::string& path, std::string* failure, int* channels,
                                          int octavesUp) {
    const std::string key = raisedKey(path, octavesUp);
    std::unique_lock<std::mutex> lock(cacheMutex);
    // The entry is looked up afresh after every wait and unlock, never reached through a
    // reference taken before: shutdown() empties the cache meanwhile, and a write through such
    // a reference would land in freed memory.
    const auto ready = [&] {
        const auto found = cache.find(key);
        return found == cache.end() || found->second.state != State::Decoding;
    };
    if (!cache.try_emplace(key).second) {
        cacheChanged.wait(lock, ready);
        const auto found = cache.find(key);
        if (found == cache.end()) return 0;
        if (channels != nullptr) *channels = found->second.channels;
        return found->second.buffer;
    }
    lock.unlock();

    Decoded decoded = decodeFile(path);
    if (decoded.error.empty() && octavesUp > 0) decoded = raisedByOctaves(decoded, octavesUp);
    ALuint buffer = 0;
    bool shutDown = false;  // meanwhile: no context to make the buffer in, nothing to report
    if (decoded.error.empty()) {
        std::lock_guard<std::mutex> alLock(alMutex);
        shutDown = closed;
        if (!shutDown) {
            bind();
            alGetError();
            alGenBuffers(1, &buffer);
            alBufferData(buffer, decoded.channels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16,
                         decoded.samples.data(), static_cast<ALsizei>(decoded.samples.size() * sizeof(ALshort)),
                         decoded.sampleRate);
            if (alGetError() != AL_NO_ERROR) {
                if (alIsBuffer(buffer)) alDeleteBuffers(1, &buffer);
                buffer = 0;
                decoded.error = "OpenAL refused its samples";
            }
        }
    }
    if (buffer == 0 && !shutDown) {
        if (failure != nullptr)
            *failure = decoded.error;
        else
            std::fprintf(stderr, "tinklewood: cannot play %s: %s; that sound stays silent\n",
                         printable(path).c_str(), decoded.error.c_str());
    }

    lock.lock();
    const auto found = cache.find(key);
    if (found == cache.end()) return 0;  // shut down meanwhile: its device went with the buffer
    Sample& sample = found->second;
    sample.buffer = buffer;
    sample.channels = decoded.channels;
    sample.state = buffer != 0 ? State::Ready : State::Unplayable;
    cacheChanged.notify_all();
    if (channels != nullptr) *channels = sample.channels;
    return buffer;
}

void OpenAlSoundEngine::Impl::preload(const std::vector<std::string>& paths) {
    // Decoding all the samples takes about half a second of one core, while the program is
    // drawing its first frames on both: the frames go first. A key pressed before its sample
    // is ready decodes it at once on the caller's thread anyway.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
    // The files this worker found unplayable are told on one line: a misplaced resource
    // folder loses all 125, and a line each would bury the line that says where the
    // resources were looked for. A file another thread decoded first was told by that thread.
    std::string firstPath, firstFailure;
    int failed = 0;
    for (const std::string& path : paths) {
        if (stopping) break;
        std::string failure;
        bufferFor(path, &failure);
        if (failure.empty()) continue;
        if (failed++ == 0) {
            firstPath = path;
            firstFailure = failure;
        }
    }
    if (failed == 1)
        std::fprintf(stderr, "tinklewood: cannot play %s: %s; that sound stays silent\n", printable(firstPath).c_str(),
                     firstFailure.c_str());
    else if (failed > 1)
        std::fprintf(stderr, "tinklewood: cannot play %d samples, the first %s: %s; those sounds stay silent\n",
                     failed, printable(firstPath).c_str(), firstFailure.c_str());
#if defined(__GLIBC__)
    // Start-up's decoding, of these samples and of the pictures before them, leaves freed
    // blocks amid the kept ones, several megabytes of them; glibc gives whole free pages
    // back to the system only when asked.
    malloc_trim(0);
#endif
    raiseAhead();
}

// The copies asked for ahead, until none is left; then the worker is done. One that cannot be
// made is silent, as a note asking for it would find: its sample's own failure was told.
void OpenAlSoundEngine::Impl::raiseAhead() {
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
    for (;;) {
        std::vector<std::pair<std::string, int>> taken;
        {
            std::lock_guard<std::mutex> lock(cacheMutex);
            taken.swap(raises);
            if (taken.empty() || stopping) {
                preloadDone = true;
                cacheChanged.notify_all();
                break;
            }
        }
        std::string failure;
        for (const auto& [path, octaves] : taken)
            if (!stopping) bufferFor(path, &failure, nullptr, octaves);
    }
    if (setThreadContext != nullptr) setThreadContext(nullptr);
}

OpenAlSoundEngine::Impl::Voice* OpenAlSoundEngine::Impl::voiceFor(const SoundHandle& handle) {
    if (handle.isNull() || handle.voice() >= VOICES || closed) return nullptr;
    Voice& voice = voices[handle.voice()];
    return voice.generation == handle.generation() ? &voice : nullptr;
}

std::unique_ptr<OpenAlSoundEngine> OpenAlSoundEngine::create(ALCdevice* device, bool ownsDevice,
                                                              const ALCint* contextAttributes,
                                                              std::vector<std::string> preload, StreamFeed feed) {
    auto impl = std::make_unique<Impl>();
    impl->device = device;
    impl->ownsDevice = ownsDevice;
    impl->feed = feed;
    impl->context = alcCreateContext(device, contextAttributes);
    if (impl->context == nullptr) {
        std::fprintf(stderr, "tinklewood: the sound device gave no OpenAL context; running without sound\n");
        if (ownsDevice) alcCloseDevice(device);
        return nullptr;
    }
    if (alcIsExtensionPresent(device, "ALC_EXT_thread_local_context") == ALC_TRUE) {
        impl->setThreadContext =
            reinterpret_cast<PFNALCSETTHREADCONTEXTPROC>(alcGetProcAddress(device, "alcSetThreadContext"));
        impl->getThreadContext =
            reinterpret_cast<PFNALCGETTHREADCONTEXTPROC>(alcGetProcAddress(device, "alcGetThreadContext"));
    }
    if (impl->setThreadContext == nullptr || impl->getThreadContext == nullptr) {
        impl->setThreadContext = nullptr;
        alcMakeContextCurrent(impl->context);
    }
    impl->bind();

    impl->directChannels = alIsExtensionPresent("AL_SOFT_direct_channels") == AL_TRUE;
    if (alIsExtensionPresent("AL_SOFT_source_resampler") == AL_TRUE) {
        // Listed from the plainest to the finest.
        impl->bestResampler = alGetInteger(AL_NUM_RESAMPLERS_SOFT) - 1;
        impl->defaultResampler = alGetInteger(AL_DEFAULT_RESAMPLER_SOFT);
    }
    ALCint rate = 0;
    alcGetIntegerv(device, ALC_FREQUENCY, 1, &rate);
    if (rate > 0) impl->sampleRate = rate;
    alGetError();
    for (Impl::Voice& voice : impl->voices) {
        alGenSources(1, &voice.source);
        alSourcei(voice.source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(voice.source, AL_POSITION, 0.0f, 0.0f, 0.0f);
        // Room for a mono voice's raised gain; the volume itself stays within 0..1.
        alSourcef(voice.source, AL_MAX_GAIN, 1 / MONO_CENTRE_LEVEL);
    }
    auto engine = std::unique_ptr<OpenAlSoundEngine>(new OpenAlSoundEngine(std::move(impl)));
    if (alGetError() != AL_NO_ERROR) {
        std::fprintf(stderr, "tinklewood: OpenAL gave no %zu voices; running without sound\n", VOICES);
        return nullptr;  // the destructor releases what was made
    }

    if (!preload.empty()) {
        Impl* state = engine->impl_.get();
        state->preloadDone = false;
        state->worker = std::thread([state, paths = std::move(preload)] { state->preload(paths); });
    }
    return engine;
}

OpenAlSoundEngine::OpenAlSoundEngine(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

OpenAlSoundEngine::~OpenAlSoundEngine() { shutdown(); }

SoundHandle OpenAlSoundEngine::play2D(const std::string& path) { return playAtPitch(path, 1.0f); }

SoundHandle OpenAlSoundEngine::playAtPitch(const std::string& path, float pitch) {
    if (impl_->closed) return SoundHandle();
    pitch = std::isfinite(pitch) ? std::clamp(pitch, 1.0f / 64, 64.0f) : 1.0f;
    // Up by whole octaves from a copy raised beforehand; what is left, under an octave, by
    // OpenAL's resampler, as is every step down.
    const int octavesUp = octavesUpIn(pitch);
    int channels = 0;
    const ALuint buffer = impl_->bufferFor(path, nullptr, &channels, octavesUp);
    if (buffer == 0) return SoundHandle();

    std::lock_guard<std::mutex> lock(impl_->alMutex);
    if (impl_->closed) return SoundHandle();
    impl_->bind();
    // The least recently started free voice, or, with all busy, the oldest sound: keeping
    // recent voices untouched as long as possible also keeps recent handles live.
    std::size_t chosen = VOICES;
    for (bool freeOnly : {true, false}) {
        for (std::size_t i = 0; i < VOICES; ++i) {
            const Impl::Voice& voice = impl_->voices[i];
            ALint state = AL_STOPPED;
            if (freeOnly) alGetSourcei(voice.source, AL_SOURCE_STATE, &state);
            if (state == AL_PLAYING) continue;
            if (chosen == VOICES || voice.startedAt < impl_->voices[chosen].startedAt) chosen = i;
        }
        if (chosen != VOICES) break;
    }
    Impl::Voice& voice = impl_->voices[chosen];
    voice.level = channels == 1 ? 1 / MONO_CENTRE_LEVEL : 1.0f;
    alGetError();
    alSourceStop(voice.source);
    if (impl_->directChannels) alSourcei(voice.source, AL_DIRECT_CHANNELS_SOFT, channels == 2 ? AL_TRUE : AL_FALSE);
    alSourcei(voice.source, AL_BUFFER, static_cast<ALint>(buffer));
    alSourcef(voice.source, AL_GAIN, voice.level);
    alSourcef(voice.source, AL_PITCH, pitch);
    if (impl_->bestResampler >= 0)
        alSourcei(voice.source, AL_SOURCE_RESAMPLER_SOFT,
                  pitch == 1.0f ? impl_->defaultResampler : impl_->bestResampler);
    alSourcePlay(voice.source);
    voice.generation = nextGeneration();
    voice.startedAt = ++impl_->starts;
    if (alGetError() != AL_NO_ERROR) return SoundHandle();
    return SoundHandle(this, static_cast<std::uint32_t>(chosen), voice.generation);
}

void OpenAlSoundEngine::prepareAtPitch(const std::vector<std::pair<std::string, float>>& samples) {
    // Rendered by hand, the mix waits for a first note's copy: nothing is late there.
    if (impl_->feed != StreamFeed::Thread || impl_->closed || impl_->stopping) return;
    std::vector<std::pair<std::string, int>> jobs;
    for (auto [path, pitch] : samples) {
        if (!std::isfinite(pitch)) continue;
        pitch = std::clamp(pitch, 1.0f / 64, 64.0f);
        if (const int octaves = octavesUpIn(pitch); octaves > 0) jobs.emplace_back(path, octaves);
    }
    if (jobs.empty()) return;
    {
        std::lock_guard<std::mutex> lock(impl_->cacheMutex);
        impl_->raises.insert(impl_->raises.end(), jobs.begin(), jobs.end());
        if (!impl_->preloadDone) return;  // the worker takes them before it ends
        impl_->preloadDone = false;
    }
    // The worker before has ended, or is about to: it said so under the lock.
    if (impl_->worker.joinable()) impl_->worker.join();
    Impl* state = impl_.get();
    impl_->worker = std::thread([state] { state->raiseAhead(); });
}

void OpenAlSoundEngine::setVolume(const SoundHandle& handle, float volume) {
    std::lock_guard<std::mutex> lock(impl_->alMutex);
    Impl::Voice* voice = impl_->voiceFor(handle);
    if (voice == nullptr) return;
    impl_->bind();
    // Gain is amplitude: 0.25 is -12 dB. A NaN falls to silence.
    alSourcef(voice->source, AL_GAIN, (volume > 0.0f ? std::min(volume, 1.0f) : 0.0f) * voice->level);
}

void OpenAlSoundEngine::stop(const SoundHandle& handle) {
    std::lock_guard<std::mutex> lock(impl_->alMutex);
    Impl::Voice* voice = impl_->voiceFor(handle);
    if (voice == nullptr) return;
    impl_->bind();
    alSourceStop(voice->source);
}

void OpenAlSoundEngine::shutdown() {
    impl_->stopping = true;
    if (impl_->worker.joinable()) impl_->worker.join();
    // Before the lock below: a stream gives its source back through withContext.
    std::vector<SoundFontStream*> streams;
    {
        std::lock_guard<std::mutex> lock(impl_->streamsMutex);
        streams.swap(impl_->streams);
    }
    for (SoundFontStream* stream : streams) stream->engineShutDown();

    std::lock_guard<std::mutex> alLock(impl_->alMutex);
    if (impl_->closed.exchange(true)) return;
    impl_->bind();
    for (Impl::Voice& voice : impl_->voices) {
        if (voice.source == 0) continue;
        alSourceStop(voice.source);
        alDeleteSources(1, &voice.source);
    }
    {
        std::lock_guard<std::mutex> cacheLock(impl_->cacheMutex);
        for (auto& [path, sample] : impl_->cache)
            if (sample.buffer != 0) alDeleteBuffers(1, &sample.buffer);
        impl_->cache.clear();
        impl_->preloadDone = true;
        impl_->cacheChanged.notify_all();
    }
    // The context goes before the device: closing the device is what finishes its output
    // (a wave writer's header, for one).
    if (impl_->setThreadContext != nullptr && impl_->getThreadContext() == impl_->context)
        impl_->setThreadContext(nullptr);
    if (alcGetCurrentContext() == impl_->context) alcMakeContextCurrent(nullptr);
    alcDestroyContext(impl_->context);
    if (impl_->ownsDevice) alcCloseDevice(impl_->device);
}

void OpenAlSoundEngine::waitForPreload() {
    std::unique_lock<std::mutex> lock(impl_->cacheMutex);
    impl_->cacheChanged.wait(lock, [&] { return impl_->preloadDone; });
}

std::size_t OpenAlSoundEngine::cachedFiles() const {
    std::lock_guard<std::mutex> lock(impl_->cacheMutex);
    return impl_->cache.size();
}

std::size_t OpenAlSoundEngine::heldSampleBytes() const {
    std::lock_guard<std::mutex> alLock(impl_->alMutex);
    if (impl_->closed) return 0;
    std::lock_guard<std::mutex> cacheLock(impl_->cacheMutex);
    impl_->bind();
    std::size_t bytes = 0;
    for (const auto& [path, sample] : impl_->cache) {
        ALint size = 0;
        if (sample.buffer != 0) alGetBufferi(sample.buffer, AL_SIZE, &size);
        bytes += static_cast<std::size_t>(std::max(size, 0));
    }
    return bytes;
}

bool OpenAlSoundEngine::withContext(const std::function<void()>& alCalls) {
    std::lock_guard<std::mutex> lock(impl_->alMutex);
    if (impl_->closed) return false;
    impl_->bind();
    alCalls();
    return true;
}

void OpenAlSoundEngine::leaveThread() {
    if (impl_->setThreadContext != nullptr && impl_->getThreadContext() == impl_->context)
        impl_->setThreadContext(nullptr);
}

void OpenAlSoundEngine::addStream(SoundFontStream* stream) {
    std::lock_guard<std::mutex> lock(impl_->streamsMutex);
    impl_->streams.push_back(stream);
}

void OpenAlSoundEngine::removeStream(SoundFontStream* stream) {
    std::lock_guard<std::mutex> lock(impl_->streamsMutex);
    impl_->streams.erase(std::remove(impl_->streams.begin(), impl_->streams.end(), stream), impl_->streams.end());
}

int OpenAlSoundEngine::sampleRate() const { return impl_->sampleRate; }

std::unique_ptr<Synth> OpenAlSoundEngine::openSoundFont(const std::string& path) {
    if (impl_->closed) return nullptr;
    auto synth = std::make_unique<SoundFontSynth>(impl_->sampleRate);
    std::string error;
    if (!synth->load(path, error)) {
        std::fprintf(stderr, "tinklewood: cannot use the SoundFont %s: %s; it is left out\n", path.c_str(),
                     error.c_str());
        return nullptr;
    }
    return SoundFontStream::start(*this, std::move(synth), impl_->feed);
}

void OpenAlSoundEngine::pumpStreams(int frames) {
    std::lock_guard<std::mutex> lock(impl_->streamsMutex);
    for (SoundFontStream* stream : impl_->streams) stream->pump(frames);
}

// ---- The program's engine -------------------------------------------------------------

namespace {

// Engines made by createSoundEngine. Never freed: handles keep pointing at them to the end,
// so at exit they are only shut down.
std::mutex exitListMutex;
std::vector<OpenAlSoundEngine*>* exitList = nullptr;

void shutdownAtExit() {
    std::lock_guard<std::mutex> lock(exitListMutex);
    for (OpenAlSoundEngine* engine : *exitList) engine->shutdown();
}

void closeAtExit(OpenAlSoundEngine* engine) {
    std::lock_guard<std::mutex> lock(exitListMutex);
    if (exitList == nullptr) {
        exitList = new std::vector<OpenAlSoundEngine*>();
        std::atexit(shutdownAtExit);
    }
    exitList->push_back(engine);
}

// Opens the default device with stderr held aside. On a machine with no sound card, ALSA and
// OpenAL explain the failure in about ten lines of their own, where the program's one line
// says what matters; when the device does open, whatever they wrote is passed on unchanged.
// Runs at start-up, before the program has other threads that could write to stderr.
ALCdevice* openDefaultDeviceQuietly() {
    std::fflush(stderr);
    FILE* held = std::tmpfile();
    const int saved = held != nullptr ? dup(STDERR_FILENO) : -1;
    if (saved < 0 || dup2(fileno(held), STDERR_FILENO) < 0) {
        if (saved >= 0) close(saved);
        if (held != nullptr) std::fclose(held);
        return alcOpenDevice(nullptr);
    }
    ALCdevice* device = alcOpenDevice(nullptr);
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    if (device != nullptr) {
        std::rewind(held);
        char text[4096];
        for (std::size_t n; (n = std::fread(text, 1, sizeof text, held)) > 0;) std::fwrite(text, 1, n, stderr);
    }
    std::fclose(held);
    return device;
}

}  // namespace

SoundEngine* createSoundEngine(const std::vector<std::string>& preload, const std::string& mixerConfig) {
    // OpenAL Soft 1.19 ignores ALC_REFRESH on its playback devices: the period comes only from
    // its config files, merged key by key, the file named by ALSOFT_CONF last. Naming the
    // program's file there changes the period and leaves the user's other keys in force.
    if (!mixerConfig.empty() && std::getenv("ALSOFT_CONF") == nullptr) setenv("ALSOFT_CONF", mixerConfig.c_str(), 0);
    ALCdevice* device = openDefaultDeviceQuietly();
    if (device == nullptr) {
        std::fprintf(stderr, "tinklewood: no sound device could be opened; running without sound\n");
        return nullptr;
    }
    // No HRTF, even on headphones: it would filter a mono sample, panned to the centre, where
    // a stereo one on a direct-channels voice reaches the speakers as it is; and
    // MONO_CENTRE_LEVEL is the level of the plain panning. No effect sends either: none are
    // used, and OpenAL Soft keeps room for them in each of its 256 voices.
    const ALCint attributes[] = {ALC_HRTF_SOFT, ALC_FALSE, ALC_MAX_AUXILIARY_SENDS, 0, 0};
    std::unique_ptr<OpenAlSoundEngine> engine = OpenAlSoundEngine::create(device, true, attributes, preload);
    if (engine == nullptr) return nullptr;
    closeAtExit(engine.get());
    return engine.release();
}

void closeSoundEngine(SoundEngine* engine) {
    std::lock_guard<std::mutex> lock(exitListMutex);
    if (exitList == nullptr) return;
    for (OpenAlSoundEngine* made : *exitList)
        if (made == engine) made->shutdown();
}
