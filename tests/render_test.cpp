// tinklewood-render run as a user runs it, its WAV file read back and measured: each entry is
// heard on its beat and at its pitch, in made-up songs, every shipped song and the MIDI files
// that import; the instrument asked for is the one heard, the render takes a small part of the
// song's length, and what it cannot render (the malformed songs and MIDI files of tests/songs
// and tests/midi among it) it refuses in one line. Both tools, tinklewood-render and
// tinklewood-import, never write over their input, and write their output whole or not at all,
// telling why.
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
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "Letters.h"
#include "SongFile.h"
#include "sample_pitch.h"
#include "sound_fixtures.h"

namespace {

namespace fs = std::filesystem;

const std::string SOURCE = TINKLEWOOD_SOURCE_DIR;
constexpr int RATE = 44100;
// A step of the piano's time is 1/60 s, exactly 735 samples.
constexpr int FRAME_SAMPLES = 735;
// A song's beat, in samples: ten steps. Every expected onset below is reckoned from this one
// line (through pressSample).
constexpr double BEAT_SAMPLES = 10 * FRAME_SAMPLES;
// A note sounds when the finger reaches the key, 0.16 s into its stroke: on the first frame
// after that. The mixer's output limiter looks ahead 44 samples.
constexpr int STRIKE_EARLIEST = static_cast<int>(0.16 * RATE);
constexpr int STRIKE_LATEST = STRIKE_EARLIEST + FRAME_SAMPLES + 64;

// Where the frame step that presses an entry starting on `beat` begins: the first frame at or
// after the beat.
long pressSample(double beat) {
    return static_cast<long>(std::ceil(beat * BEAT_SAMPLES / FRAME_SAMPLES - 1e-9)) * FRAME_SAMPLES;
}

// The pitch of each note letter's key, s d f g h j k l (C4 to C5) and e r y u i (C#4 to A#4).
constexpr int LETTER_MIDI[] = {60, 62, 64, 65, 67, 69, 71, 72, 61, 63, 66, 68, 70};

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

// Runs of a tool, each with its args and its standard output and error kept apart; at most a
// few at a time, as a refusal mostly waits on the sound library's start.
std::vector<ToolRun> runAll(FixtureFolder& files, const std::string& tool,
                            const std::vector<std::vector<std::string>>& argsList) {
    constexpr std::size_t AT_ONCE = 8;
    std::vector<ToolRun> runs(argsList.size());
    for (std::size_t first = 0; first < argsList.size(); first += AT_ONCE) {
        struct Started {
            pid_t pid;
            std::string out, err;
        };
        std::vector<Started> started;
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = first; i < argsList.size() && i < first + AT_ONCE; ++i) {
            const std::string tag = std::to_string(i);
            Started one{-1, files.missing("stdout" + tag + ".txt"), files.missing("stderr" + tag + ".txt")};
            std::vector<std::string> words = {tool};
            words.insert(words.end(), argsList[i].begin(), argsList[i].end());
            std::vector<char*> argv;
            for (std::string& word : words) argv.push_back(word.data());
            argv.push_back(nullptr);
            one.pid = fork();
            if (one.pid == 0) {
                if (!std::freopen(one.out.c_str(), "w", stdout) || !std::freopen(one.err.c_str(), "w", stderr))
                    _exit(126);
                execv(argv[0], argv.data());
                _exit(127);
            }
            started.push_back(one);
        }
        for (std::size_t k = 0; k < started.size(); ++k) {
            int status = 0;
            waitpid(started[k].pid, &status, 0);
            ToolRun& ran = runs[first + k];
            ran.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            ran.out = slurp(started[k].out);
            ran.err = slurp(started[k].err);
            std::remove(started[k].out.c_str());
            std::remove(started[k].err.c_str());
        }
    }
    return runs;
}

ToolRun run(FixtureFolder& files, const std::string& tool, const std::vector<std::string>& args) {
    return runAll(files, tool, {args})[0];
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

std::vector<double> startBeats(const std::vector<Entry>& entries) {
    std::vector<double> beats;
    double beat = 0;
    for (const Entry& e : entries) {
        beats.push_back(beat);
        beat += e.beats;
    }
    return beats;
}

// The beats a hand's entries start on, from the reader's running end beats.
std::vector<double> startBeats(const std::vector<std::array<float, 2>>& hand) {
    std::vector<double> beats;
    for (std::size_t i = 0; i < hand.size(); ++i) beats.push_back(i == 0 ? 0.0 : hand[i - 1][0]);
    return beats;
}

// Every onset is struck the strike time after the frame that pressed its entry, and every one
// the same time after it as the first: a frame step's work never drifts. Only the first few
// entries off their beat are named.
void expectOnBeats(const std::vector<std::size_t>& heard, const std::vector<double>& beats) {
    ASSERT_EQ(heard.size(), beats.size()) << "onsets heard, one per entry expected";
    if (heard.empty()) return;
    const long strike = static_cast<long>(heard[0]) - pressSample(beats[0]);
    EXPECT_GE(strike, STRIKE_EARLIEST) << "the first note sounds before the finger reaches its key";
    EXPECT_LE(strike, STRIKE_LATEST) << "the first note sounds late";
    int off = 0;
    for (std::size_t i = 0; i < heard.size(); ++i) {
        const long late = static_cast<long>(heard[i]) - pressSample(beats[i]) - strike;
        if (std::labs(late) > 2 && ++off <= 5)
            ADD_FAILURE() << "entry " << i << " on beat " << beats[i] << " heard " << late << " samples off";
    }
    EXPECT_EQ(off, 0) << "entries heard off their beats, of " << heard.size();
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

// A song's two-beat note sounds for about 0.2 s (struck 0.16 s after its press, let go six
// frames into its second beat, faded out over the key's rise): its pitch is measured over
// 0.1 s of it, past the attack. A neighbouring key is 100 cents away.
constexpr double SHORT_NOTE_WINDOW_START = 0.01, SHORT_NOTE_WINDOW = 0.1;
constexpr double SHORT_NOTE_CENTS = 15;

// The files of a folder with the extension, by name.
std::vector<std::string> filesIn(const std::string& folder, const std::string& extension) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == extension) found.push_back(entry.path().string());
    std::sort(found.begin(), found.end());
    return found;
}

SongData readSong(const std::string& path) {
    SongData data;
    std::string problem;
    EXPECT_TRUE(parseSong(slurp(path), NUM_NOTE_LETTERS, NUM_CHORD_LETTERS,
                          data, problem))
        << path << ": " << problem;
    return data;
}

// Each right-hand entry heard at its letter's pitch; only the first few that are not are named.
void expectAtTheirPitches(const std::vector<float>& x, const std::vector<std::size_t>& heard,
                          const std::vector<std::array<float, 2>>& right) {
    int off = 0;
    for (std::size_t i = 0; i < heard.size() && i < right.size(); ++i) {
        const std::size_t end = i + 1 < heard.size() ? heard[i + 1] : x.size();
        const double hz = estimatePitchHz(std::vector<float>(x.begin() + heard[i], x.begin() + end), RATE,
                                          SHORT_NOTE_WINDOW_START, SHORT_NOTE_WINDOW);
        const int midi = LETTER_MIDI[static_cast<int>(right[i][1])];
        const double cents = centsBetween(hz, midiToHz(midi));
        if (!(std::fabs(cents) <= SHORT_NOTE_CENTS) && ++off <= 5)
            ADD_FAILURE() << "entry " << i << " (MIDI " << midi << ") heard at " << hz << " Hz, " << cents << " cents";
    }
    EXPECT_EQ(off, 0) << "entries heard off their pitch, of " << heard.size();
}

// The whole song is its two hands added: what each hand's render was found to hold, the song
// holds at the same samples. Each render is rounded to 16 bits with the mixer's dither, so
// the three differ by a few of the smallest steps.
void expectSumOfHands(const std::vector<float>& whole, const std::vector<float>& right,
                      const std::vector<float>& left) {
    const auto at = [](const std::vector<float>& x, std::size_t i) { return i < x.size() ? x[i] : 0.0f; };
    const std::size_t n = std::max({whole.size(), right.size(), left.size()});
    double worst = 0;
    std::size_t where = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double apart = std::fabs(double(at(whole, i)) - at(right, i) - at(left, i));
        if (apart > worst) {
            worst = apart;
            where = i;
        }
    }
    EXPECT_LE(worst * 32768, 4.0) << "the song differs from its hands added by " << worst * 32768
                                  << " steps at sample " << where;
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

    // A song rendered as it is, and each of its hands alone (written out by the program's own
    // writer): each hand's entries heard on their beats, the right hand's at their letters'
    // pitches, and the song the two hands together. Returns the song's render.
    std::vector<float> expectPlayedAsWritten(const std::string& song, const SongData& data) {
        const std::vector<float> whole = rendered(song);
        SongData rightAlone, leftAlone = data;
        rightAlone.right = data.right;
        leftAlone.right.clear();
        std::vector<float> right, left;
        if (!data.right.empty()) {
            right = rendered(files.file("right.song", formatSong(rightAlone)));
            const std::vector<std::size_t> heard = onsets(right);
            {
                SCOPED_TRACE("right hand");
                expectOnBeats(heard, startBeats(data.right));
            }
            expectAtTheirPitches(right, heard, data.right);
        }
        if (!data.left.empty()) {
            left = rendered(files.file("left.song", formatSong(leftAlone)));
            SCOPED_TRACE("left hand");
            expectOnBeats(onsets(left), startBeats(data.left));
        }
        expectSumOfHands(whole, right, left);
        return whole;
    }
};

// ---- What is heard -----------------------------------------------------------------------

TEST_F(RenderTest, EveryNoteIsHeardOnItsBeatAtItsPitch) {
    const std::vector<float> x = rendered(files.file("melody.song", songText(MELODY, {})));
    const std::vector<std::size_t> heard = onsets(x);
    expectOnBeats(heard, startBeats(MELODY));
    for (std::size_t i = 0; i < heard.size() && i < MELODY.size(); ++i) {
        const std::size_t end = i + 1 < heard.size() ? heard[i + 1] : x.size();
        const double hz = estimatePitchHz(std::vector<float>(x.begin() + heard[i], x.begin() + end), RATE);
        EXPECT_NEAR(centsBetween(hz, midiToHz(MELODY[i].midi)), 0.0, 10.0) << "entry " << i << ": " << hz << " Hz";
    }
}

TEST_F(RenderTest, ChordsAreHeardOnTheirBeats) {
    const std::vector<Entry> chords = {{0, 4, 0}, {3, 5, 0}, {4, 4, 0}, {1, 6, 0}};
    expectOnBeats(onsets(rendered(files.file("chords.song", songText({}, chords)))), startBeats(chords));
}

// A one-beat entry is let go six frames into its beat, before its stroke would strike: a tap
// strikes on its way all the same, so each is heard on its beat, in order. It sounds for
// about 60 ms, too little to measure a pitch reliably: its first 20 ms are matched against
// the piano's samples instead (their pitches are sound_samples_test's).
TEST_F(RenderTest, OneBeatEntriesAreEachHeardOnTheirBeatsAsTheirKeysSamples) {
    const char* const whiteSamples[] = {"C1", "D1", "E1", "F1", "G1", "A1", "B1", "C2"};  // s to l
    std::vector<Entry> taps;
    for (int i = 0; i < 8; ++i) taps.push_back({i, 1, LETTER_MIDI[i]});
    const std::vector<float> x = rendered(files.file("taps.song", songText(taps, {})));
    const std::vector<std::size_t> heard = onsets(x);
    ASSERT_EQ(heard.size(), taps.size());
    const std::vector<double> beats = startBeats(taps);
    const long strike = static_cast<long>(heard[0]) - pressSample(beats[0]);
    EXPECT_GT(strike, 0);
    EXPECT_LE(strike, 6 * FRAME_SAMPLES + 64) << "struck after its letter went up";
    const std::size_t length = RATE / 50;
    for (std::size_t i = 0; i < heard.size(); ++i) {
        EXPECT_NEAR(static_cast<long>(heard[i]) - pressSample(beats[i]), strike, 2) << "entry " << i;
        const std::vector<float> played(x.begin() + heard[i], x.begin() + heard[i] + length);
        double own = 0, other = 0;
        for (int k = 0; k < 8; ++k) {
            std::vector<float> sample = readChannel(SOURCE + "/res/sounds/piano/" + whiteSamples[k] + ".mp3");
            sample.resize(length);
            const double alike = bestCorrelation(played, sample, 64);
            (k == taps[i].index ? own : other) = std::max(k == taps[i].index ? own : other, alike);
        }
        EXPECT_GT(own, 0.95) << "entry " << i << " is not its key's sample; the best of the others: " << other;
        EXPECT_LT(other, 0.8) << "entry " << i;
    }
}

// Chords that go on after the melody has ended play to their end.
TEST_F(RenderTest, AnAccompanimentOutlastingItsMelodyIsHeardToItsEnd) {
    const std::vector<Entry> melody = {{0, 3, 60}}, chords = {{0, 6, 0}, {2, 6, 0}, {0, 6, 0}, {4, 6, 0}};
    const std::string song = files.file("long.song", songText(melody, chords));
    const std::vector<float> x = expectPlayedAsWritten(song, readSong(song));
    std::size_t lastSound = x.size();
    while (lastSound > 0 && std::fabs(x[lastSound - 1]) < 1e-3f) --lastSound;
    // The last chord is let go six frames into the song's last beat.
    EXPECT_GT(static_cast<long>(lastSound), pressSample(23) + 6 * FRAME_SAMPLES) << "the last chord is cut short";
}

TEST_F(RenderTest, TheLastNoteSoundsUntilItsKeyIsLetGoAndTheFileEndsSoonAfter) {
    const std::vector<float> x = rendered(files.file("melody.song", songText(MELODY, {})));
    long beats = 0;
    for (const Entry& e : MELODY) beats += e.beats;
    const auto songEnd = static_cast<std::size_t>(pressSample(beats));  // the last key is let go just before
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

// Every shipped song, each entry on its beat and the right hand's at its pitch: what the
// end-to-end suite once heard the program play in real time, song after song.
class ShippedSong : public RenderTest, public testing::WithParamInterface<std::string> {};

TEST_P(ShippedSong, IsHeardEntryByEntryOnItsBeatsAtItsPitches) {
    expectPlayedAsWritten(GetParam(), readSong(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Res, ShippedSong, testing::ValuesIn(filesIn(SOURCE + "/res/songs", ".song")),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return fs::path(info.param).stem().string();
                         });

// The song tinklewood-import makes of a MIDI file, which play along plays, is heard as written.
TEST_F(RenderTest, EveryMidiFileThatImportsIsHeardAsTheSongItImportsAs) {
    int imported = 0;
    for (const std::string& midi : filesIn(SOURCE + "/tests/midi", ".mid")) {
        if (fs::path(midi).filename().string().rfind("ok_", 0) != 0) continue;
        SCOPED_TRACE(midi);
        const std::string song = files.missing("imported.song");
        const ToolRun import = run(files, TINKLEWOOD_IMPORT, {midi, song});
        ASSERT_EQ(import.status, 0) << import.err;
        expectPlayedAsWritten(song, readSong(song));
        std::remove(song.c_str());
        ++imported;
    }
    EXPECT_GE(imported, 2);
}

// ---- MIDI files as written ---------------------------------------------------------------

namespace {
// Standard MIDI Files written and read byte by byte here, so that what the tests expect owes
// nothing to the program's own reader and tempo map.
struct SmfEvent {
    long tick;
    std::string bytes;  // status first, as sent: "\x90\x3C\x64"
};

std::string quantity(unsigned long value) {
    std::string out(1, static_cast<char>(value & 0x7F));
    while (value >>= 7) out.insert(out.begin(), static_cast<char>(0x80 | (value & 0x7F)));
    return out;
}

std::string be(unsigned long value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

// Format 1; each track's events in any order, ending at its own end tick.
std::string smfBytes(int ticksPerQuarter, std::vector<std::vector<SmfEvent>> tracks, const std::vector<long>& ends) {
    std::string out = "MThd" + be(6, 4) + be(1, 2) + be(tracks.size(), 2) + be(ticksPerQuarter, 2);
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        std::stable_sort(tracks[t].begin(), tracks[t].end(), [](const SmfEvent& a, const SmfEvent& b) { return a.tick < b.tick; });
        std::string body;
        long at = 0;
        for (const SmfEvent& e : tracks[t]) {
            body += quantity(e.tick - at) + e.bytes;
            at = e.tick;
        }
        body += quantity(std::max(ends[t], at) - at) + std::string("\xFF\x2F\0", 3);
        out += "MTrk" + be(body.size(), 4) + body;
    }
    return out;
}

SmfEvent note(long tick, int channel, int pitch, int velocity) {
    return {tick, {static_cast<char>((velocity > 0 ? 0x90 : 0x80) | channel), static_cast<char>(pitch), static_cast<char>(velocity)}};
}
SmfEvent tempo(long tick, unsigned long microsPerQuarter) {
    return {tick, std::string("\xFF\x51\x03", 3) + be(microsPerQuarter, 3)};
}
SmfEvent program(long tick, int channel, int number) {
    return {tick, {static_cast<char>(0xC0 | channel), static_cast<char>(number)}};
}

// A file as events: each track's, at their ticks, and where each track ends.
struct SmfFile {
    int ticksPerQuarter = 96;
    std::vector<std::vector<SmfEvent>> tracks;
    std::vector<long> ends;
};

std::string smfBytes(const SmfFile& file) { return smfBytes(file.ticksPerQuarter, file.tracks, file.ends); }

unsigned long readQuantity(const std::string& bytes, std::size_t& at) {
    unsigned long value = 0;
    unsigned char c;
    do {
        c = static_cast<unsigned char>(bytes.at(at++));
        value = value << 7 | (c & 0x7F);
    } while (c & 0x80);
    return value;
}

SmfFile readSmf(const std::string& bytes) {
    const auto u = [&bytes](std::size_t at) { return static_cast<unsigned char>(bytes.at(at)); };
    SmfFile file;
    file.ticksPerQuarter = u(12) << 8 | u(13);
    std::size_t at = 14;
    for (int t = 0; t < (u(10) << 8 | u(11)); ++t) {
        const std::size_t end = at + 8 + (u(at + 4) << 24 | u(at + 5) << 16 | u(at + 6) << 8 | u(at + 7));
        at += 8;
        std::vector<SmfEvent> events;
        long tick = 0;
        unsigned char running = 0;
        while (at < end) {
            tick += static_cast<long>(readQuantity(bytes, at));
            unsigned char status = u(at);
            if (status < 0x80) status = running;
            else ++at;
            std::string event(1, static_cast<char>(status));
            if (status == 0xFF || status == 0xF0) {
                if (status == 0xFF) event += static_cast<char>(u(at++));
                const std::size_t from = at;
                const unsigned long length = readQuantity(bytes, at);
                event += bytes.substr(from, at - from + length);
                at += length;
                if (status == 0xFF && static_cast<unsigned char>(event[1]) == 0x2F) break;  // its end
            } else {
                running = status;
                const int data = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
                event += bytes.substr(at, data);
                at += data;
            }
            events.push_back({tick, event});
        }
        file.tracks.push_back(events);
        file.ends.push_back(tick);
        at = end;
    }
    return file;
}

// A note of a channel other than the drums: where its note-on and note-off stand.
struct SmfNote {
    std::size_t track, on, off;  // events of the track
    long start, end;             // ticks
};

std::vector<SmfNote> melodicNotes(const SmfFile& file) {
    std::vector<SmfNote> notes;
    for (std::size_t t = 0; t < file.tracks.size(); ++t) {
        std::map<std::pair<int, int>, std::vector<std::size_t>> open;  // by channel and pitch, earliest first
        for (std::size_t e = 0; e < file.tracks[t].size(); ++e) {
            const std::string& m = file.tracks[t][e].bytes;
            const int kind = static_cast<unsigned char>(m[0]) & 0xF0, channel = m[0] & 0x0F;
            if (channel == 9 || (kind != 0x80 && kind != 0x90)) continue;
            std::vector<std::size_t>& starts = open[{channel, m[1]}];
            if (kind == 0x90 && m[2] != 0) {
                starts.push_back(notes.size());
                notes.push_back({t, e, e, file.tracks[t][e].tick, file.ends[t]});
            } else if (!starts.empty()) {
                notes[starts.front()].off = e;
                notes[starts.front()].end = file.tracks[t][e].tick;
                starts.erase(starts.begin());
            }
        }
    }
    return notes;
}

// Seconds at a tick, through the file's tempo map.
double secondsAt(const SmfFile& file, long tick) {
    std::vector<std::pair<long, long>> tempos;  // tick, microseconds a quarter
    for (const auto& track : file.tracks)
        for (const SmfEvent& e : track)
            if (e.bytes.size() == 6 && e.bytes.compare(0, 3, "\xFF\x51\x03") == 0)
                tempos.push_back({e.tick, static_cast<unsigned char>(e.bytes[3]) << 16 |
                                              static_cast<unsigned char>(e.bytes[4]) << 8 |
                                              static_cast<unsigned char>(e.bytes[5])});
    std::stable_sort(tempos.begin(), tempos.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    double seconds = 0;
    long from = 0, micros = 500000;
    for (const auto& [when, value] : tempos) {
        if (when >= tick) break;
        seconds += double(when - from) * micros / 1e6 / file.ticksPerQuarter;
        from = when;
        micros = value;
    }
    return seconds + double(tick - from) * micros / 1e6 / file.ticksPerQuarter;
}

// The file without the notes that start at these ticks.
SmfFile without(const SmfFile& file, const std::vector<SmfNote>& notes, const std::vector<long>& starts) {
    std::vector<std::vector<bool>> dropped;
    for (const auto& track : file.tracks) dropped.emplace_back(track.size(), false);
    for (const SmfNote& n : notes)
        if (std::find(starts.begin(), starts.end(), n.start) != starts.end())
            dropped[n.track][n.on] = dropped[n.track][n.off] = true;
    SmfFile less = file;
    for (std::size_t t = 0; t < file.tracks.size(); ++t) {
        less.tracks[t].clear();
        for (std::size_t e = 0; e < file.tracks[t].size(); ++e)
            if (!dropped[t][e]) less.tracks[t].push_back(file.tracks[t][e]);
    }
    return less;
}

// A piece of several voices: a melody, a bass under the keyboard, chords, a run of
// sixteenths above it after the tempo goes from 100 to 160 a minute, and drums between.
std::string severalVoices(long& lastTick) {
    constexpr int Q = 480;  // ticks a quarter note
    std::vector<SmfEvent> conductor = {tempo(0, 600000), tempo(4 * Q, 375000)};
    std::vector<SmfEvent> melody = {program(0, 0, 0)}, bass = {program(0, 1, 32)}, chords = {program(0, 2, 48)},
                          run = {program(0, 3, 73)}, drums;
    const int tune[] = {72, 74, 76, 79, 77, 76, 74, 72};
    for (int i = 0; i < 8; ++i) {  // quarters, two bars
        melody.push_back(note(i * Q, 0, tune[i], 70 + 5 * i));
        melody.push_back(note(i * Q + Q * 3 / 4, 0, tune[i], 0));
    }
    for (int bar = 0; bar < 4; ++bar) {  // C2 and G1, half notes
        for (int half = 0; half < 2; ++half) {
            const long at = bar * 4 * Q + half * 2 * Q;
            bass.push_back(note(at, 1, half == 0 ? 36 : 31, 90));
            bass.push_back(note(at + Q, 1, half == 0 ? 36 : 31, 0));
        }
        for (int p : {55, 60, 64}) {  // a chord on each bar's third beat
            chords.push_back(note(bar * 4 * Q + 2 * Q + Q / 2, 2, p, 60));
            chords.push_back(note(bar * 4 * Q + 3 * Q, 2, p, 0));
        }
    }
    for (int i = 0; i < 16; ++i) {  // bar 3: sixteenths from C5 up, staccato
        const long at = 8 * Q + i * Q / 4;
        const int pitch = 72 + (i * 5) % 24;
        run.push_back(note(at, 3, pitch, 110));
        run.push_back(note(at + Q / 8, 3, pitch, 0));
    }
    for (int i = 0; i < 32; ++i) {  // off-beat eighths on the drums
        drums.push_back(note(i * Q / 2 + Q / 4, 9, i % 2 ? 42 : 38, 100));
        drums.push_back(note(i * Q / 2 + Q / 4 + 10, 9, i % 2 ? 42 : 38, 0));
    }
    lastTick = 16 * Q + Q / 2;  // half a beat of silence at the end
    return smfBytes(Q, {conductor, melody, bass, chords, run, drums}, {0, 8 * Q, 16 * Q, 16 * Q, lastTick, 16 * Q});
}
}  // namespace

// Every note-on of a channel other than the drums is heard within 30 ms of its time, and the
// render lasts as long as the file. Where notes overlap no level says when the next one
// starts, so each is heard as the difference it makes: the file is rendered again without the
// notes of some of its start times, chosen so that each has died away before the next of them
// starts, and in the render's difference from the whole each of those starts where the
// difference starts.
class MidiAsWritten : public RenderTest, public testing::WithParamInterface<std::string> {
protected:
    std::string fileBytes() {
        if (GetParam() != "several_voices") return slurp(SOURCE + "/tests/midi/" + GetParam() + ".mid");
        long lastTick = 0;
        return severalVoices(lastTick);
    }
};

TEST_P(MidiAsWritten, EveryNoteOnIsHeardWithinThirtyMillisecondsAndTheRenderLastsAsLongAsTheFile) {
    const std::string bytes = fileBytes();
    const SmfFile file = readSmf(bytes);
    const std::vector<SmfNote> notes = melodicNotes(file);
    ASSERT_GE(notes.size(), 8u);
    // The start ticks, each with when the last of its notes has died away (0.05 s from its
    // note-off, a margin on top).
    std::map<long, double> quietAfter;
    for (const SmfNote& n : notes) quietAfter[n.start] = std::max(quietAfter[n.start], secondsAt(file, n.end) + 0.15);
    std::vector<std::vector<long>> groups;
    std::vector<double> groupQuiet;
    for (const auto& [start, quiet] : quietAfter) {
        std::size_t g = 0;
        while (g < groups.size() && groupQuiet[g] > secondsAt(file, start)) ++g;
        if (g == groups.size()) {
            groups.emplace_back();
            groupQuiet.push_back(0);
        }
        groups[g].push_back(start);
        groupQuiet[g] = quiet;
    }
    std::vector<std::vector<std::string>> args = {{files.file("piece.mid", bytes), files.missing("whole.wav")}};
    for (std::size_t g = 0; g < groups.size(); ++g)
        args.push_back({files.file("less" + std::to_string(g) + ".mid", smfBytes(without(file, notes, groups[g]))),
                        files.missing("less" + std::to_string(g) + ".wav")});
    const std::vector<ToolRun> runs = runAll(files, TINKLEWOOD_RENDER, args);
    for (const ToolRun& r : runs) ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<float> whole = readChannel(args[0][1]);
    int missed = 0;
    double worst = 0;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const std::vector<float> less = readChannel(args[g + 1][1]);
        for (long start : groups[g]) {
            // The first sample where they differ by more than their dither, from 0.1 s before.
            const double t = secondsAt(file, start);
            const auto from = static_cast<std::size_t>(std::max(0.0, t - 0.1) * RATE);
            double heard = -1;
            for (std::size_t i = from; i < whole.size() && i < less.size() && i < from + RATE / 5; ++i)
                if (std::fabs(whole[i] - less[i]) > 2e-3f) {
                    heard = double(i) / RATE;
                    break;
                }
            worst = std::max(worst, heard < 0 ? 1.0 : std::fabs(heard - t));
            if ((heard < 0 || std::fabs(heard - t) > 0.03) && ++missed <= 5)
                ADD_FAILURE() << "the notes starting at " << t << " s are heard "
                              << (heard < 0 ? "nowhere near it" : std::to_string(1000 * (heard - t)) + " ms from it");
        }
    }
    EXPECT_EQ(missed, 0) << "of " << quietAfter.size() << " times notes start";
    RecordProperty("worst_onset_ms", std::to_string(1000 * worst));
    RecordProperty("renders", std::to_string(runs.size()));

    // The last note sounds to its end; the file ends with its last track, then the tail every
    // render has (a quarter of a second).
    std::size_t lastSound = whole.size();
    while (lastSound > 0 && std::fabs(whole[lastSound - 1]) < 1e-3f) --lastSound;
    double lastOff = 0, length = 0;
    for (const SmfNote& n : notes) lastOff = std::max(lastOff, secondsAt(file, n.end));
    for (long end : file.ends) length = std::max(length, secondsAt(file, end));
    EXPECT_GT(double(lastSound) / RATE, lastOff - 0.02) << "the last note is cut short";
    EXPECT_LT(double(lastSound) / RATE, lastOff + 0.1) << "the last note outlasts its note-off";
    const double seconds = double(whole.size()) / RATE - 0.25;
    EXPECT_GE(seconds, length) << "the render is shorter than the file";
    EXPECT_LE(seconds, length + 0.1) << "the render is longer than the file";
}

INSTANTIATE_TEST_SUITE_P(Files, MidiAsWritten,
                         testing::Values("several_voices", "ok_format1_waltz_with_drums", "ok_scale_over_chords"));

TEST_F(RenderTest, AMidiFileOnASoundFontPlaysItsNotesAtPitchAndItsDrumsOnTheKit) {
    FixtureSoundFont kit;
    kit.presets = {{0, 0}, {128, 0}};
    const std::string withKit = files.soundFont("kit.sf2", kit), withoutKit = files.soundFont("sine.sf2");
    constexpr int Q = 96;
    // C2 and C6, beyond the keys, then a drum note on its own: the fixture's every sound is its
    // sine, so the drum is heard at its note's pitch, B3.
    const std::string piece = files.file(
        "far.mid", smfBytes(Q, {{note(0, 0, 36, 100), note(2 * Q, 0, 36, 0), note(4 * Q, 0, 84, 100), note(6 * Q, 0, 84, 0),
                                 note(8 * Q, 9, 59, 100), note(10 * Q, 9, 59, 0)}},
                            {12 * Q}));
    const std::vector<float> x = rendered(piece, {"--soundfont", withKit});
    const double quarter = 0.5;
    for (const auto& [start, midi] : std::vector<std::pair<double, int>>{{0, 36}, {4 * quarter, 84}, {8 * quarter, 59}}) {
        const auto from = static_cast<std::size_t>(start * RATE);
        const double hz = estimatePitchHz(std::vector<float>(x.begin() + from, x.begin() + from + RATE), RATE);
        EXPECT_NEAR(centsBetween(hz, midiToHz(midi)), 0.0, 10.0) << "MIDI " << midi << " heard at " << hz << " Hz";
    }
    const std::vector<float> noKit = rendered(piece, {"--soundfont", withoutKit});
    const auto drum = static_cast<std::size_t>(8 * quarter * RATE);
    EXPECT_LT(rms(std::vector<float>(noKit.begin() + drum + RATE / 10, noKit.begin() + drum + RATE)), 1e-3)
        << "the drum note played on a melodic sound";
    const ToolRun damaged = render(files, {piece, wav, "--soundfont", files.file("bad.sf2", "RIFF")});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(std::count(damaged.err.begin(), damaged.err.end(), '\n'), 1) << damaged.err;
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

// The corpora of malformed files, each refused as the program refuses it.
TEST_F(RenderTest, EveryMalformedSongAndMidiFileIsRefusedInOneLine) {
    std::vector<std::pair<std::string, std::string>> cases;  // file, what its line says
    for (const std::string& song : filesIn(SOURCE + "/tests/songs", ".song"))
        cases.push_back({song, "Malformed song file"});
    for (const std::string& midi : filesIn(SOURCE + "/tests/midi", ".mid"))
        if (fs::path(midi).filename().string().rfind("ok_", 0) != 0) cases.push_back({midi, "Malformed MIDI file"});
    ASSERT_GT(cases.size(), 40u);
    std::vector<std::vector<std::string>> args;
    for (std::size_t i = 0; i < cases.size(); ++i)
        args.push_back({cases[i].first, files.missing(std::to_string(i) + ".wav")});
    const std::vector<ToolRun> runs = runAll(files, TINKLEWOOD_RENDER, args);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& [file, said] = cases[i];
        const ToolRun& refused = runs[i];
        EXPECT_EQ(refused.status, 1) << file;
        EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << file << ": " << refused.err;
        EXPECT_EQ(refused.err.rfind("Error: " + said + " " + file + ": ", 0), 0u) << refused.err;
        EXPECT_EQ(refused.out, "") << file;
        EXPECT_NE(access(args[i][1].c_str(), F_OK), 0) << file << ": a file was written";
    }
}

}  // namespace
