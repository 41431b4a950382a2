// tinklewood-render SONG OUT.wav [--instrument NAME]: plays a song as the program does and
// writes what its mixer gives to a WAV file, with no window or sound card and much faster
// than real time: the window-free core is stepped frame by frame on a clock that the rendered
// samples move, and OpenAL Soft's loopback device mixes exactly the samples between frames.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "MidiFile.h"
#include "OpenAlSound.h"
#include "Piano.h"
#include "Resources.h"
#include "animation.h"
#include "timer.h"

namespace {

constexpr int RATE = 44100;  // samples a second, per channel
// The program steps a frame once more than SEC_PER_FRAME has passed, so its frames come just
// over 1/60 s apart; 735 samples is exactly 1/60 s, and 736 the first interval past it.
constexpr int FRAME_SAMPLES = RATE / 60 + 1;
// After the last key has come up: the mixer's last volume ramp and its limiter's look-ahead,
// and a breath of silence to end on.
constexpr int TAIL_SAMPLES = RATE / 4;
// A WAV file's sizes are 32-bit: 16-bit stereo fills it in about 6.7 hours. A song's last
// strokes and the tail come after its last beat; a minute more is kept free for them.
constexpr long long MAX_WAV_SAMPLES = 0xFFFFFFFFLL / 4 - 60LL * RATE;

const char* const USAGE = "usage: tinklewood-render SONG OUT.wav [--instrument piano|synth|organ|music_box|choir]";

// ---- The clock: moved by the samples rendered, read by every Timer of the core -----------
clocksource::Ticks renderedTicks = 0;
clocksource::Ticks readRenderedClock() { return renderedTicks; }
void clockAtSample(long long sample) {
    renderedTicks = std::llround(static_cast<double>(sample) * clocksource::TICKS_PER_SECOND / RATE);
}

// The instrument names of the command line: the sample folders' names.
std::string instrumentOption(int instrument) {
    std::string name = soundFolders[instrument];
    if (!name.empty() && name.back() == '/') name.pop_back();
    return name;
}

int fail(const std::string& line, int status = 1) {
    std::fprintf(stderr, "%s\n", line.c_str());
    return status;
}

// As the program finds its resources (src/gl/ResourceLookup.cpp): from the working folder, the
// build tree the binary is in, or the installed data folder. False after one line naming the
// places looked at.
bool findResources() {
    const std::vector<std::string> candidates = resourceRootCandidatesForThisBinary();
    const std::string root = chooseResourceRoot(candidates, holdsResources);
    if (!root.empty()) {
        setResourceRoot(root);
        return true;
    }
    std::string places;
    for (const std::string& candidate : candidates) places += (places.empty() ? "" : ", ") + candidate;
    std::fprintf(stderr, "tinklewood-render: no resources found in %s\n", places.c_str());
    return false;
}

// Reads and starts the song as the program plays it; false after the program's one line
// saying why it cannot.
bool startSongAt(const std::string& path) {
    const std::string midi = ".mid";
    if (path.size() > midi.size() && path.compare(path.size() - midi.size(), midi.size(), midi) == 0) {
        SongData song;
        std::string report, error;
        if (!importMidiSong(path, song, report, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return false;
        }
        return startSong(std::move(song), path);
    }
    return playSongFile(path);
}

// Whether the song may still make a sound: it plays on, a stroke is under way on either hand,
// a letter waits for its hand, or a sample is dying away.
bool stillSounding() {
    return songPlaying || currNote >= 0 || playChord != NONE || !app.input.pendingNotes.empty() ||
           !app.input.pendingChords.empty() || !app.performance.fading.empty();
}

// The loopback device and the program's engine on it, mixing 16-bit stereo as the program's
// output does (the mixer dithers and limits it as it would there).
class Mixer {
public:
    bool open() {
        auto openLoopback =
            reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
        render_ = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
        device_ = openLoopback != nullptr && render_ != nullptr ? openLoopback(nullptr) : nullptr;
        if (device_ == nullptr) {
            std::fprintf(stderr, "tinklewood-render: OpenAL Soft's loopback device is not available\n");
            return false;
        }
        const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_SHORT_SOFT,
                                     ALC_FREQUENCY, RATE, ALC_HRTF_SOFT, ALC_FALSE, 0};
        // The engine closes the device, also when it cannot be made (after its own line). No
        // preload: its worker runs at a low priority, and here nothing is gained by decoding
        // ahead; each sample is decoded when first played, while the mix waits. A SoundFont's
        // stream is pulled before each render, so the file depends on the song alone.
        engine_ = OpenAlSoundEngine::create(device_, true, attributes, {}, StreamFeed::Pulled);
        return engine_ != nullptr;
    }
    SoundEngine* engine() { return engine_.get(); }
    void render(std::vector<short>& stereo, int frames) {
        stereo.resize(2 * static_cast<std::size_t>(frames));
        engine_->pumpStreams(frames);
        render_(device_, stereo.data(), frames);
    }

private:
    ALCdevice* device_ = nullptr;
    LPALCRENDERSAMPLESSOFT render_ = nullptr;
    std::unique_ptr<OpenAlSoundEngine> engine_;
};

class WavFile {
public:
    ~WavFile() {
        if (file_ != nullptr) sf_close(file_);
    }
    bool open(const std::string& path) {
        path_ = path;
        SF_INFO info{};
        info.samplerate = RATE;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;  // plain PCM, which every reader takes
        file_ = sf_open(path.c_str(), SFM_WRITE, &info);
        return file_ != nullptr || failed(nullptr);
    }
    bool write(const std::vector<short>& stereo) {
        const auto frames = static_cast<sf_count_t>(stereo.size() / 2);
        return sf_writef_short(file_, stereo.data(), frames) == frames || failed(file_);
    }
    bool close() {
        const bool closed = sf_close(file_) == 0;
        file_ = nullptr;
        return closed || failed(nullptr);
    }

private:
    bool failed(SNDFILE* file) {
        std::fprintf(stderr, "tinklewood-render: cannot write %s: %s\n", path_.c_str(), sf_strerror(file));
        if (file_ != nullptr) sf_close(file_);
        file_ = nullptr;
        std::remove(path_.c_str());
        return false;
    }
    std::string path_;
    SNDFILE* file_ = nullptr;
};
}  // namespace

int main(int argc, char** argv) {
    // The core tells a refused song on standard output, where the program's user reads it;
    // here it is the tool's one line on standard error, and nothing else is written.
    std::fflush(stdout);
    dup2(STDERR_FILENO, STDOUT_FILENO);

    std::vector<std::string> files;
    int instrument = PIANO;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--instrument") {
            if (i + 1 == argc) return fail(std::string("tinklewood-render: --instrument needs a name; ") + USAGE, 2);
            const std::string name = argv[++i];
            instrument = NUM_INSTRUMENTS;
            for (int k = 0; k < NUM_INSTRUMENTS; ++k)
                if (name == instrumentOption(k)) instrument = k;
            if (instrument == NUM_INSTRUMENTS)
                return fail("tinklewood-render: no instrument " + name + "; " + USAGE, 2);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail("tinklewood-render: unknown option " + arg + "; " + USAGE, 2);
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return fail(USAGE, 2);
    const std::string& songPath = files[0];
    const std::string& outPath = files[1];

    if (!findResources()) return 1;

    clocksource::set(readRenderedClock);
    clockAtSample(0);
    resetAppState();
    initTimers();
    initKeyboard();
    activeInstrument = instrument;

    Mixer mixer;
    if (!mixer.open()) return 1;
    engine = mixer.engine();
    if (!startSongAt(songPath)) return 1;
    float lastBeat = 0;
    for (const auto* hand : {&songRight, &songLeft})
        if (!hand->empty()) lastBeat = std::max(lastBeat, hand->back()[0]);  // end beats only rise
    const double songSamples = static_cast<double>(lastBeat) * FRAMES_PER_BEAT * FRAME_SAMPLES;
    if (songSamples > MAX_WAV_SAMPLES) {
        const long hours = std::lround(songSamples / RATE / 3600);
        return fail("tinklewood-render: " + songPath + " lasts " + std::to_string(hours) +
                    " hours, more than a WAV file holds");
    }
    WavFile wav;
    if (!wav.open(outPath)) return 1;

    // Each frame's sound is mixed before the frame: a sample started by a frame step is heard
    // from that frame's first sample, as the program's next mixing period would start it.
    std::vector<short> block;
    long long rendered = 0;
    while (stillSounding()) {
        mixer.render(block, FRAME_SAMPLES);
        if (!wav.write(block)) return 1;
        rendered += FRAME_SAMPLES;
        clockAtSample(rendered);
        const bool stepped = stepFrame();
        assert(stepped && "a frame interval must be longer than SEC_PER_FRAME");
        (void)stepped;
    }
    mixer.render(block, TAIL_SAMPLES);
    if (!wav.write(block) || !wav.close()) return 1;
    engine = nullptr;
    return 0;
}
