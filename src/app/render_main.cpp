// tinklewood-render SONG OUT.wav [--instrument NAME] [--soundfont FILE]: plays a song, or a MIDI
// file as written, as the program does and writes what its mixer gives to a WAV file, with no
// window or sound card and much faster than real time: the window-free core is stepped frame
// by frame on a clock that the rendered samples move, and OpenAL Soft's loopback device mixes
// exactly the samples between frames.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Clock.h"
#include "Instruments.h"
#include "Letters.h"
#include "CommandLine.h"
#include "FileRead.h"
#include "MidiFile.h"
#include "OpenAlSound.h"
#include "OutputFile.h"
#include "Piano.h"
#include "Printable.h"
#include "Resources.h"
#include "SoundFontLibrary.h"
#include "animation.h"

namespace {

constexpr int RATE = 44100;  // samples a second, per channel
// One step of the piano's time, 1/60 s: exactly 735 samples, so each frame rendered is one step.
constexpr int FRAME_SAMPLES = RATE / 60;
static_assert(FRAME_SAMPLES * 60 == RATE, "a step is a whole number of samples");
// After the last key has come up: the mixer's last volume ramp and its limiter's look-ahead,
// and a breath of silence to end on.
constexpr int TAIL_SAMPLES = RATE / 4;
// A WAV file's sizes are 32-bit: 16-bit stereo fills it in about 6.7 hours. A song's last
// strokes and the tail come after its last beat; a minute more is kept free for them.
constexpr long long MAX_WAV_SAMPLES = 0xFFFFFFFFLL / 4 - 60LL * RATE;

const CommandLineSyntax SYNTAX = {
    "tinklewood-render",
    "tinklewood-render SONG OUT.wav [--instrument piano|synth|organ|music_box|choir] [--soundfont FILE]",
    "Plays SONG as Tinklewood does, a .song file on the hands and a .mid file as written, and\n"
    "writes what it sounds like to OUT.wav, 44.1 kHz 16-bit stereo, with no window or sound device.\n"
    "  --instrument NAME  the instrument to play it on; piano when not given\n"
    "  --soundfont FILE   play it on the SoundFont FILE (.sf2, .sf3) instead: a MIDI file\n"
    "                     on its own programs, drums included\n"
    "  --help             this text\n"
    "  --version          the program's version\n",
    {{"--instrument", true}, {"--soundfont", true}},
    {"SONG", "OUT.wav"},
    2,
};

// The piano's clock, moved by the samples rendered.
void clockAtSample(DrivenClock& clock, long long sample) {
    clock.set(std::llround(static_cast<double>(sample) * TICKS_PER_SECOND / RATE));
}

// The instrument names of the command line: the sample folders' names.
std::string instrumentOption(int instrument) {
    std::string name(INSTRUMENT_FOLDERS[static_cast<std::size_t>(instrument)]);
    if (!name.empty() && name.back() == '/') name.pop_back();
    return name;
}

int fail(const std::string& line, int status = 1) {
    std::fprintf(stderr, "%s\n", line.c_str());
    return status;
}
// The same for a step that answers whether it succeeded.
bool refuse(const std::string& line) {
    fail(line);
    return false;
}

// As the program finds its resources (findResources in the shell): from the working folder, the
// build tree the binary is in, or the installed data folder. False after one line naming the
// places looked at.
bool findResources(ResourcePaths& resources) {
    const std::vector<std::string> candidates = resourceRootCandidatesForThisBinary();
    const std::string root = chooseResourceRoot(candidates, holdsResources);
    if (!root.empty()) {
        resources = ResourcePaths(root);
        return true;
    }
    std::string places;
    for (const std::string& candidate : candidates) places += (places.empty() ? "" : ", ") + printable(candidate);
    std::fprintf(stderr, "tinklewood-render: no resources found in %s\n", places.c_str());
    return false;
}

bool hasExtension(const std::string& path, const std::string& extension) {
    return path.size() > extension.size() &&
           path.compare(path.size() - extension.size(), extension.size(), extension) == 0;
}

// Reads a MIDI file with the program's reader and limits, to play as written; false after one
// line saying why it cannot be played, with its name escaped.
bool readTimelineAt(const std::string& path, MidiTimeline& timeline) {
    MidiScore score;
    std::string error, problem;
    if (!readMidiFile(path, score, error)) return refuse(error);
    if (!timelineFromMidi(score, timeline, problem)) return refuse(malformedMidiFile(path, problem));
    return true;
}

// Reads the song with the program's reader and limits; false after one line saying why it
// cannot be played, with its name escaped.
bool readSongAt(const std::string& path, SongData& song) {
    std::string error;
    const std::string shown = printable(path);
    std::string text;
    switch (readSmallFile(path, MAX_SONG_FILE_BYTES, text)) {
    case FileRead::Missing:
        return refuse("Error: Failed to open song file " + shown + ": " + std::strerror(errno));
    case FileRead::Read:
        break;
    case FileRead::NotRegular:
    case FileRead::TooLarge:
    case FileRead::Failed:
        error = "it is not a readable file of at most " + std::to_string(MAX_SONG_FILE_BYTES) + " bytes";
    }
    if (error.empty()) {
        parseSong(text, NUM_NOTE_LETTERS, NUM_CHORD_LETTERS, song, error);
    }
    if (!error.empty()) return refuse("Error: Malformed song file " + shown + ": " + error);
    if (song.right.empty() && song.left.empty()) return refuse("Error: Song file " + shown + " has no notes to play");
    return true;
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

// The WAV file, which libsndfile writes through the output's own descriptor: every write and
// seek is checked there, and the file is put in place only when all of it is written.
class WavFile {
public:
    ~WavFile() {
        if (file_ != nullptr) sf_close(file_);
    }
    bool open(const std::string& path) {
        path_ = path;
        if (!out_.open(path)) return failed();
        SF_INFO info{};
        info.samplerate = RATE;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;  // plain PCM, which every reader takes
        file_ = sf_open_virtual(&io_, SFM_WRITE, &info, &out_);
        return file_ != nullptr || failed();
    }
    bool write(const std::vector<short>& stereo) {
        const auto frames = static_cast<sf_count_t>(stereo.size() / 2);
        return (sf_writef_short(file_, stereo.data(), frames) == frames && !out_.failed()) || failed();
    }
    // The header's sizes are written as the file closes.
    bool close() {
        const int closed = sf_close(file_);
        file_ = nullptr;
        if (closed != 0 && !out_.failed()) libraryError_ = sf_error_number(closed);
        return (closed == 0 && out_.commit()) || failed();
    }

private:
    bool failed() {
        if (file_ != nullptr) {
            if (libraryError_.empty()) libraryError_ = sf_strerror(file_);
            sf_close(file_);
            file_ = nullptr;
        } else if (libraryError_.empty()) {
            libraryError_ = sf_strerror(nullptr);
        }
        std::fprintf(stderr, "tinklewood-render: cannot write %s: %s\n", printable(path_).c_str(),
                     out_.failed() ? out_.reason().c_str() : libraryError_.c_str());
        return false;
    }

    static OutputFile& output(void* data) { return *static_cast<OutputFile*>(data); }
    static sf_count_t length(void* data) {
        struct stat info {};
        if (::fstat(output(data).descriptor(), &info) == 0) return info.st_size;
        output(data).fail(errno);
        return -1;
    }
    static sf_count_t seek(sf_count_t offset, int whence, void* data) {
        const off_t at = ::lseek(output(data).descriptor(), offset, whence);
        if (at < 0) output(data).fail(errno);
        return at;
    }
    static sf_count_t read(void*, sf_count_t, void*) { return 0; }  // a WAV file being written is not read
    static sf_count_t write(const void* bytes, sf_count_t count, void* data) {
        return output(data).write(bytes, static_cast<std::size_t>(count)) ? count : 0;
    }
    static sf_count_t tell(void* data) { return seek(0, SEEK_CUR, data); }

    SF_VIRTUAL_IO io_ = {length, seek, read, write, tell};
    std::string path_, libraryError_;
    OutputFile out_;
    SNDFILE* file_ = nullptr;
};
}  // namespace

int main(int argc, char** argv) {
    const CommandLine line = readCommandLine(SYNTAX, argc, argv);
    if (line.exitStatus >= 0) return finishCommandLine(SYNTAX, line);
    int instrument = PIANO;
    if (line.has("--instrument")) {
        const std::string name = line.value("--instrument");
        instrument = NUM_INSTRUMENTS;
        for (int k = 0; k < NUM_INSTRUMENTS; ++k)
            if (name == instrumentOption(k)) instrument = k;
        if (instrument == NUM_INSTRUMENTS)
            return fail("tinklewood-render: no instrument " + printable(name) + "; usage: " + SYNTAX.usage, 2);
    }
    const std::string& songPath = line.operands[0];
    const std::string& outPath = line.operands[1];
    // Checked before anything is written: the WAV file would replace the song it is made from.
    if (sameFile(songPath, outPath))
        return fail("tinklewood-render: cannot write " + printable(outPath) + ": it is the song " +
                    printable(songPath) + " itself");

    // Opened before standard output is given over below, so that /dev/stdout is still itself.
    WavFile wav;
    if (!wav.open(outPath)) return 1;

    // The core tells what goes wrong on standard output, where the program's user reads it;
    // here it goes to standard error with the tool's own lines, and nothing else is written.
    std::fflush(stdout);
    dup2(STDERR_FILENO, STDOUT_FILENO);

    ResourcePaths resources;
    if (!findResources(resources)) return 1;

    DrivenClock clock;
    clockAtSample(clock, 0);
    Mixer mixer;
    if (!mixer.open()) return 1;
    PianoSetup setup;
    setup.clock = &clock;
    setup.sound = mixer.engine();
    setup.resources = resources;
    if (line.has("--soundfont")) {
        // Named as the program names it; the engine says in one line why it cannot be opened.
        SoundFontEntry font{line.value("--soundfont"), ""};
        std::string error;
        if (!readSoundFontName(font.path, font.name, error))
            return fail("tinklewood-render: cannot use the SoundFont " + printable(font.path) + ": " + error);
        setup.soundFonts.push_back(font);
        instrument = NUM_INSTRUMENTS;
    }
    Piano piano(setup);
    if (!piano.selectInstrument(instrument)) return 1;
    double songSamples = 0;
    if (hasExtension(songPath, ".mid")) {
        MidiTimeline timeline;
        if (!readTimelineAt(songPath, timeline)) return 1;
        songSamples = timeline.seconds * RATE;
        if (!piano.startScore(std::move(timeline), songPath)) return 1;
    } else {
        SongData song;
        if (!readSongAt(songPath, song) || !piano.startSong(std::move(song), songPath)) return 1;
        float lastBeat = 0;
        for (const auto* hand : {&piano.song().rightEntries(), &piano.song().leftEntries()})
            if (!hand->empty()) lastBeat = std::max(lastBeat, hand->back()[0]);  // end beats only rise
        songSamples = static_cast<double>(lastBeat) * STEPS_PER_BEAT * FRAME_SAMPLES;
    }
    if (songSamples > MAX_WAV_SAMPLES) {
        const long hours = std::lround(songSamples / RATE / 3600);
        return fail("tinklewood-render: " + printable(songPath) + " lasts " + std::to_string(hours) +
                    " hours, more than a WAV file holds");
    }

    // Each frame's sound is mixed before the frame: a sample started by a frame step is heard
    // from that frame's first sample, as the program's next mixing period would start it.
    std::vector<short> block;
    long long rendered = 0;
    while (piano.mayStillSound()) {
        mixer.render(block, FRAME_SAMPLES);
        if (!wav.write(block)) return 1;
        rendered += FRAME_SAMPLES;
        clockAtSample(clock, rendered);
        const bool stepped = piano.stepFrame();
        assert(stepped && "each frame rendered is a step of the piano's time");
        (void)stepped;
    }
    mixer.render(block, TAIL_SAMPLES);
    if (!wav.write(block) || !wav.close()) return 1;
    return 0;
}
