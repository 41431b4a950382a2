// tinklewood-render run as a user runs it, its WAV file read back and measured: each entry is
// heard on its beat and at its pitch, the instrument asked for is the one heard, the render
// takes a small part of the song's length, and what it cannot render it refuses in one line.
// Both tools, tinklewood-render and tinklewood-import, never write over their input, and
// write their output whole or not at all, telling why.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "Letters.h"
#include "SongFile.h"
#include "sample_pitch.h"
#include "sound_fixtures.h"

namespace {

const std::string SOURCE = TINKLEWOOD_SOURCE_DIR;
constexpr int RATE = 44100;
// A step of the piano's time is 1/60 s, exactly 735 samples; a song's beat is 10 of them.
constexpr int FRAME_SAMPLES = 735;
constexpr int BEAT_SAMPLES = 10 * FRAME_SAMPLES;
// A note sounds when the finger reaches the key, 0.16 s into its stroke: on the first frame
// after that. The mixer's output limiter looks ahead 44 samples.
constexpr int STRIKE_EARLIEST = static_cast<int>(0.16 * RATE);
constexpr int STRIKE_LATEST = STRIKE_EARLIEST + FRAME_SAMPLES + 64;

struct ToolRun {
    int status = -1;
    std::string out, err;
    double seconds = 0;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs tool with args, its standard output and error kept apart. With stdoutTo, standard
// output is appended to that file (as a shell's >> does) and run.out left empty.
ToolRun runTool(FixtureFolder& files, const std::string& tool, const std::vector<std::string>& args,
                const std::string& stdoutTo = "") {
    const std::string out = files.missing("stdout.txt"), err = files.missing("stderr.txt");
    std::vector<std::string> words = {tool};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const bool toFile = stdoutTo.empty() ? std::freopen(out.c_str(), "w", stdout) != nullptr
                                             : std::freopen(stdoutTo.c_str(), "a", stdout) != nullptr;
        if (!toFile || !std::freopen(err.c_str(), "w", stderr)) _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ToolRun run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = stdoutTo.empty() ? slurp(out) : "";
    run.err = slurp(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return run;
}

ToolRun render(FixtureFolder& files, const std::vector<std::string>& args, const std::string& stdoutTo = "") {
    return runTool(files, TINKLEWOOD_RENDER, args, stdoutTo);
}

// One channel of a sound file, as floats; empty when it cannot be read.
std::vector<float> readChannel(const std::string& path, int channel = 0, SF_INFO* infoOut = nullptr) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    std::vector<float> all(static_cast<std::size_t>(info.frames) * info.channels);
    all.resize(static_cast<std::size_t>(sf_readf_float(file, all.data(), info.frames)) * info.channels);
    sf_close(file);
    std::vector<float> one;
    for (std::size_t i = channel; i < all.size(); i += info.channels) one.push_back(all[i]);
    if (infoOut != nullptr) *infoOut = info;
    return one;
}

// Where a sound starts after at least 0.05 s of silence (the mixer's dither is a few
// thousandths of this level).
std::vector<std::size_t> onsets(const std::vector<float>& x) {
    constexpr float LEVEL = 1e-4f;
    const std::size_t quietNeeded = RATE / 20;
    std::vector<std::size_t> found;
    std::size_t quiet = quietNeeded;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (std::fabs(x[i]) < LEVEL) {
            ++quiet;
            continue;
        }
        if (quiet >= quietNeeded) found.push_back(i);
        quiet = 0;
    }
    return found;
}

// A song entry and what it must sound like: its letter's index, its beats, its pitch.
struct Entry {
    int index;
    int beats;
    int midi;
};

std::string songText(const std::vector<Entry>& right, const std::vector<Entry>& left) {
    std::string text;
    for (const auto* hand : {&right, &left}) {
        text += std::to_string(hand->size()) + "\n";
        for (const Entry& e : *hand) text += std::to_string(e.beats) + " " + std::to_string(e.index) + "\n";
    }
    return text;
}

// Every onset lies at its entry's first beat plus the same strike time, the first note's.
void expectOnBeats(const std::vector<std::size_t>& heard, const std::vector<Entry>& entries) {
    ASSERT_EQ(heard.size(), entries.size()) << "onsets heard, one per entry expected";
    const long strike = static_cast<long>(heard[0]);
    EXPECT_GE(strike, STRIKE_EARLIEST) << "the first note sounds before the finger reaches its key";
    EXPECT_LE(strike, STRIKE_LATEST) << "the first note sounds late";
    long beat = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_NEAR(static_cast<long>(heard[i]), beat * BEAT_SAMPLES + strike, 2) << "entry " << i << ", beat " << beat;
        beat += entries[i].beats;
    }
}

// The best normalised correlation of a with b shifted by up to maxLag samples either way.
double bestCorrelation(const std::vector<float>& a, const std::vector<float>& b, int maxLag) {
    double best = -1.0;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double both = 0, aa = 0, bb = 0;
        for (std::size_t i = maxLag; i + maxLag < a.size() && i + maxLag < b.size(); ++i) {
            const double u = a[i], v = b[i + lag];
            both += u * v;
            aa += u * u;
            bb += v * v;
        }
        best = std::max(best, both / std::sqrt(aa * bb + 1e-30));
    }
    return best;
}

double rms(const std::vector<float>& x) {
    double sum = 0;
    for (float v : x) sum += double(v) * v;
    return x.empty() ? 0.0 : std::sqrt(sum / x.size());
}

// Each entry of six beats and more, so that every note lasts past the pitch measurement's
// window; white and black keys, from the lowest to the highest.
const std::vector<Entry> MELODY = {{0, 6, 60}, {9, 8, 63}, {4, 6, 67}, {12, 7, 70}, {7, 6, 72}, {2, 6, 64}};

class RenderTest : public testing::Test {
protected:
    FixtureFolder files;
    std::string wav = files.missing("out.wav");

    void TearDown() override { std::remove(wav.c_str()); }

    std::vector<float> rendered(const std::string& song, const std::vector<std::string>& options = {}) {
        std::vector<std::string> args = {song, wav};
        args.insert(args.end(), options.begin(), options.end());
        const ToolRun run = render(files, args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err + run.out, "") << "a render says nothing";
        SF_INFO info{};
        std::vector<float> left = readChannel(wav, 0, &info);
        EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        EXPECT_EQ(info.samplerate, RATE);
        EXPECT_EQ(info.channels, 2);
        return left;
    }
};

// ---- What is heard -----------------------------------------------------------------------

TEST_F(RenderTest, EveryNoteIsHeardOnItsBeatAtItsPitch) {
    const std::vector<float> x = rendered(files.file("melody.song", songText(MELODY, {})));
    const std::vector<std::size_t> heard = onsets(x);
    expectOnBeats(heard, MELODY);
    for (std::size_t i = 0; i < heard.size() && i < MELODY.size(); ++i) {
        const std::size_t end = i + 1 < heard.size() ? heard[i + 1] : x.size();
        const double hz = estimatePitchHz(std::vector<float>(x.begin() + heard[i], x.begin() + end), RATE);
        EXPECT_NEAR(centsBetween(hz, midiToHz(MELODY[i].midi)), 0.0, 10.0) << "entry " << i << ": " << hz << " Hz";
    }
}

TEST_F(RenderTest, ChordsAreHeardOnTheirBeats) {
    const std::vector<Entry> chords = {{0, 4, 0}, {3, 5, 0}, {4, 4, 0}, {1, 6, 0}};
    expectOnBeats(onsets(rendered(files.file("chords.song", songText({}, chords)))), chords);
}

TEST_F(RenderTest, TheLastNoteSoundsUntilItsKeyIsLetGoAndTheFileEndsSoonAfter) {
    const std::vector<float> x = rendered(files.file("melody.song", songText(MELODY, {})));
    long beats = 0;
    for (const Entry& e : MELODY) beats += e.beats;
    const std::size_t songEnd = beats * BEAT_SAMPLES;  // the last key is let go just before
    std::size_t lastSound = x.size();
    while (lastSound > 0 && std::fabs(x[lastSound - 1]) < 1e-3f) --lastSound;
    EXPECT_GT(lastSound, songEnd - BEAT_SAMPLES) << "the last note is cut short";
    EXPECT_LT(lastSound, songEnd + RATE / 2) << "the last note outlasts its key";
    EXPECT_LT(x.size(), lastSound + RATE) << "a long silence after the song";
}

TEST_F(RenderTest, InstrumentOptionSoundsThatInstrumentsSamples) {
    const std::string song = files.file("one.song", songText({{0, 8, 60}}, {}));
    const std::vector<float> organ = rendered(song, {"--instrument", "organ"});
    const std::vector<std::size_t> heard = onsets(organ);
    ASSERT_EQ(heard.size(), 1u);
    // Half a second from the attack, against the first half second of each instrument's C4.
    const std::vector<float> played(organ.begin() + heard[0], organ.begin() + heard[0] + RATE / 2);
    const std::vector<float> organSample = readChannel(SOURCE + "/res/sounds/organ/C1.mp3");
    const std::vector<float> pianoSample = readChannel(SOURCE + "/res/sounds/piano/C1.mp3");
    ASSERT_GT(organSample.size(), played.size());
    ASSERT_GT(pianoSample.size(), played.size());
    const double asOrgan = bestCorrelation(played, organSample, 100);
    const double asPiano = bestCorrelation(played, pianoSample, 100);
    EXPECT_GT(asOrgan, 0.95) << "against the piano: " << asPiano;
    EXPECT_LT(asPiano, 0.5);
    // The organ's right-hand notes play at half volume in the program.
    const std::vector<float> sampleStart(organSample.begin(), organSample.begin() + played.size());
    EXPECT_NEAR(20 * std::log10(rms(played) / rms(sampleStart)), 20 * std::log10(0.5), 0.2);
}

// ---- How fast -----------------------------------------------------------------------------

TEST_F(RenderTest, TwinkleRendersInUnderATenthOfItsLength) {
    const std::string song = SOURCE + "/res/songs/twinkle.song";
    SongData data;
    std::string problem;
    ASSERT_TRUE(parseSong(slurp(song), NUM_NOTE_LETTERS, NUM_CHORD_LETTERS,
                          data, problem))
        << problem;
    const double seconds = std::max(data.right.back()[0], data.left.back()[0]) * BEAT_SAMPLES / double(RATE);

    const ToolRun run = render(files, {song, wav});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_GT(readChannel(wav).size(), seconds * RATE) << "the WAV is shorter than the song";
    EXPECT_LT(run.seconds, seconds / 10) << "for a song of " << seconds << " s";
}

TEST_F(RenderTest, MidiFileRendersAsTheProgramPlaysIt) {
    const std::vector<float> x = rendered(SOURCE + "/tests/midi/ok_scale_over_chords.mid");
    EXPECT_GT(onsets(x).size(), 0u);
    EXPECT_GT(rms(x), 0.01);
}

// ---- Refusals: one line on stderr, a failing status, no file ------------------------------

TEST_F(RenderTest, WhatCannotBeRenderedIsRefusedInOneLine) {
    const std::string good = files.file("good.song", songText({{0, 4, 60}}, {}));
    const struct {
        std::vector<std::string> args;
        std::string said;
    } cases[] = {
        {{files.missing("none.song"), wav}, "Failed to open song file " + files.missing("none.song") +
                                                ": No such file or directory"},
        {{SOURCE + "/tests/songs/negative_count.song", wav}, "Malformed song file"},
        {{files.file("empty.song", "0\n0\n"), wav}, "no notes"},
        {{SOURCE + "/tests/midi/not_midi.mid", wav}, "Malformed MIDI file"},
        {{good, wav, "--instrument", "kazoo"}, "kazoo"},
        {{good, wav, "--instrument=kazoo"}, "kazoo"},
        {{files.missing("bad\n\x1b[2J.song"), wav}, "Failed to open song file " + files.missing("bad\\n\\x1b[2J.song")},
        {{good, wav, "--instrument"}, "--instrument"},
        {{good, wav, "--loud"}, "--loud"},
        {{good}, "usage"},
        {{good, wav, "extra.wav"}, "usage"},
        {{good, files.missing("no/such/folder/out.wav")}, "cannot write"},
        {{files.file("long.song", "1\n1000000 0\n0\n"), wav}, "hours"},
    };
    for (const auto& c : cases) {
        const ToolRun run = render(files, c.args);
        const std::string name = c.args.back();
        EXPECT_NE(run.status, 0) << name;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << name << ": " << run.err;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << name << ": " << run.err;
        EXPECT_EQ(run.out, "") << name;
        EXPECT_NE(access(wav.c_str(), F_OK), 0) << name << ": a file was written";
    }
}

// ---- Output files, both tools --------------------------------------------------------------

// A scratch folder of each test's own, which may be left holding links, folders and files.
class OutputFiles : public testing::Test {
protected:
    FixtureFolder files;
    const std::string folder = files.missing("scratch");
    const std::string midi = SOURCE + "/tests/midi/ok_scale_over_chords.mid";

    void SetUp() override { std::filesystem::create_directory(folder); }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string at(const std::string& name) const { return folder + "/" + name; }
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(at(name), std::ios::binary) << bytes;
        return at(name);
    }
    // What the scratch folder holds, by name: a temporary file left behind shows here.
    std::vector<std::string> held() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    ToolRun import(const std::vector<std::string>& args, const std::string& stdoutTo = "") {
        return runTool(files, TINKLEWOOD_IMPORT, args, stdoutTo);
    }
    static void expectOneLine(const ToolRun& run, const std::string& said, const std::string& what) {
        EXPECT_EQ(run.status, 1) << what;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << what << ": " << run.err;
        EXPECT_NE(run.err.find(said), std::string::npos) << what << ": " << run.err;
    }
};

TEST_F(OutputFiles, AnOutputThatIsTheInputIsRefusedByAnyNameAndTheInputKept) {
    const std::string song = write("a.song", songText({{0, 4, 60}}, {}));
    const std::string mid = write("g.mid", slurp(midi));
    std::filesystem::create_symlink("a.song", at("song_link.wav"));
    std::filesystem::create_hard_link(song, at("song_hard.wav"));
    std::filesystem::create_symlink("g.mid", at("midi_link.song"));
    for (const std::string& out : {song, folder + "/./a.song", at("song_link.wav"), at("song_hard.wav")})
        expectOneLine(render(files, {song, out}), "it is the song " + song + " itself", out);
    for (const std::string& out : {mid, folder + "/../scratch/g.mid", at("midi_link.song")})
        expectOneLine(import({mid, out}), "it is the MIDI file " + mid + " itself", out);
    // Standard output appended to the input, as "tinklewood-import g.mid >> g.mid" does.
    expectOneLine(import({mid}, mid), "it is the MIDI file " + mid + " itself", "standard output");
    EXPECT_EQ(slurp(song), songText({{0, 4, 60}}, {}));
    EXPECT_EQ(slurp(mid), slurp(midi));
    EXPECT_EQ(held(), (std::vector<std::string>{"a.song", "g.mid", "midi_link.song", "song_hard.wav", "song_link.wav"}));
}

TEST_F(OutputFiles, AFailedWriteIsToldWithItsReasonAndLeavesNoFileBehind) {
    const std::string song = write("a.song", songText({{0, 4, 60}}, {}));
    std::filesystem::create_directory(at("folder.wav"));
    const struct {
        std::string out;
        const char* reason;
    } cases[] = {
        {"/dev/full", "No space left on device"},
        {at("folder.wav"), "Is a directory"},
        {at("no/such/folder/out.wav"), "No such file or directory"},
    };
    for (const auto& c : cases) {
        expectOneLine(render(files, {song, c.out}), "tinklewood-render: cannot write " + c.out + ": " + c.reason, c.out);
        expectOneLine(import({midi, c.out}), "Error: Failed to write song file " + c.out + ": " + c.reason, c.out);
    }
    expectOneLine(import({midi}, "/dev/full"), "Error: Failed to write the song to standard output: No space left on device",
                  "standard output");
    struct stat full {};
    ASSERT_EQ(stat("/dev/full", &full), 0) << "a failed device must never be removed";
    EXPECT_TRUE(S_ISCHR(full.st_mode));
    EXPECT_EQ(held(), (std::vector<std::string>{"a.song", "folder.wav"})) << "a temporary file was left";
    EXPECT_TRUE(std::filesystem::is_empty(at("folder.wav")));
}

TEST_F(OutputFiles, AnExistingOutputIsReplacedWholeOrNotAtAllAndKeepsItsPermissions) {
    const std::string song = write("a.song", songText({{0, 4, 60}}, {}));
    const std::string wav = write("out.wav", "an older file");
    ASSERT_EQ(chmod(wav.c_str(), 0640), 0);
    // A song refused leaves what was there.
    EXPECT_EQ(render(files, {write("bad.song", "1\n1 99\n0\n"), wav}).status, 1);
    EXPECT_EQ(slurp(wav), "an older file");
    const ToolRun run = render(files, {song, wav});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_GT(readChannel(wav).size(), static_cast<std::size_t>(RATE)) << "not a WAV file of the song";
    struct stat info {};
    ASSERT_EQ(stat(wav.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    // Through a link, the file it names is replaced and the link kept.
    write("real.song", "an older file");
    std::filesystem::create_symlink("real.song", at("link.song"));
    ASSERT_EQ(import({midi, at("link.song")}).status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(at("link.song")));
    EXPECT_EQ(slurp(at("real.song")).rfind("major\n", 0), 0u) << slurp(at("real.song"));
    EXPECT_EQ(held(), (std::vector<std::string>{"a.song", "bad.song", "link.song", "out.wav", "real.song"}));
}

TEST_F(OutputFiles, AnImportedSongIsTheSameWholeTextOnStandardOutputAsInItsFile) {
    const ToolRun printed = import({midi});
    ASSERT_EQ(printed.status, 0) << printed.err;
    ASSERT_FALSE(printed.out.empty());
    EXPECT_EQ(printed.out.back(), '\n') << "the last line is a whole line";
    EXPECT_EQ(printed.err.rfind("melody: ", 0), 0u) << printed.err;
    const ToolRun written = import({midi, at("scale.song")});
    ASSERT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(written.out, "");
    EXPECT_EQ(slurp(at("scale.song")), printed.out);
}

TEST_F(OutputFiles, HelpAndVersionAnswerOnStandardOutputAndUnknownOptionsAreRefused) {
    for (const std::string tool : {TINKLEWOOD_RENDER, TINKLEWOOD_IMPORT}) {
        const std::string name = tool.substr(tool.rfind('/') + 1);
        const ToolRun help = runTool(files, tool, {"--help"});
        EXPECT_EQ(help.status, 0) << name;
        EXPECT_EQ(help.out.rfind("usage: " + name + " ", 0), 0u) << help.out;
        EXPECT_EQ(help.err, "") << name;
        const ToolRun version = runTool(files, tool, {"--version"});
        EXPECT_EQ(version.status, 0) << name;
        EXPECT_TRUE(std::regex_match(version.out, std::regex(name + " [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;
        // An answer that cannot be written is a failure too.
        expectOneLine(runTool(files, tool, {"--help"}, "/dev/full"), "No space left on device", name + " --help");

        const ToolRun unknown = runTool(files, tool, {midi, at("out"), "--loud"});
        EXPECT_EQ(unknown.status, 2) << name;
        EXPECT_EQ(unknown.err, name + ": unknown option --loud; usage: " + help.out.substr(7, help.out.find('\n') - 6));
        EXPECT_EQ(unknown.out, "") << name;
    }
    EXPECT_EQ(held(), std::vector<std::string>{});
}

}  // namespace
