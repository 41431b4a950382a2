// The committed instrument samples under res/sounds/: every file the program asks for is there,
// decodes, sounds at its key's pitch, starts with its attack, does not clip and matches its
// neighbours in loudness. Also the pitch measurement itself, on tones made here.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "Instruments.h"
#include "sample_pitch.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double PITCH_TOLERANCE_CENTS = 20.0;

// ---- The pitch measurement ------------------------------------------------------------

struct Partial {
    double ratio;  // to the fundamental
    double level;  // amplitude
};

// A held or decaying note made of the given partials, with a 5 ms attack.
std::vector<float> note(double hz, const std::vector<Partial>& partials, double decayPerSecond = 0.0,
                        double seconds = 1.0, int rate = 44100) {
    std::vector<float> x(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        double v = 0.0;
        for (const Partial& p : partials) v += p.level * std::sin(2.0 * PI * hz * p.ratio * t + p.ratio);
        x[i] = static_cast<float>(0.2 * v * std::min(1.0, t / 0.005) * std::exp(-decayPerSecond * t));
    }
    return x;
}

const std::vector<Partial> PLAIN = {{1, 1.0}, {2, 0.5}, {3, 0.33}, {4, 0.25}, {5, 0.2}, {6, 0.16}};

TEST(PitchEstimate, HarmonicNoteIsMeasuredWithinACent) {
    for (double midi : {48.0, 55.3, 60.0, 66.8, 72.0}) {
        const double hz = midiToHz(midi);
        EXPECT_NEAR(centsBetween(estimatePitchHz(note(hz, PLAIN), 44100), hz), 0.0, 1.0) << "MIDI " << midi;
    }
}

TEST(PitchEstimate, NoteASemitoneOffIsMeasuredASemitoneOff) {
    const double key = midiToHz(60);
    EXPECT_NEAR(centsBetween(estimatePitchHz(note(key * std::pow(2.0, 1.0 / 12), PLAIN), 44100), key), 100.0, 1.0);
    EXPECT_NEAR(centsBetween(estimatePitchHz(note(key * std::pow(2.0, -1.0 / 12), PLAIN), 44100), key), -100.0, 1.0);
}

TEST(PitchEstimate, WeakFundamentalIsNotTakenForTheOctaveAbove) {
    // Like the choir: the second partial 17 dB over the first, the odd ones faint.
    const std::vector<Partial> choir = {{1, 0.14}, {2, 1.0}, {3, 0.16}, {4, 0.5}, {5, 0.05}, {6, 0.2}};
    for (int midi : {48, 58, 60}) {
        const double hz = midiToHz(midi);
        EXPECT_NEAR(centsBetween(estimatePitchHz(note(hz, choir), 44100), hz), 0.0, 2.0) << "MIDI " << midi;
    }
}

TEST(PitchEstimate, SixteenFootQuintIsNotTakenForTheOctaveBelow) {
    // Like the church organ's top keys: a strong partial at 1.5 f, so the waveform repeats
    // only every two periods, and nothing at all at f / 2.
    const std::vector<Partial> organ = {{1, 1.0}, {1.5, 0.56}, {2, 0.87}, {3, 0.32}, {4, 0.6}, {6, 0.24}};
    for (int midi : {60, 70, 72}) {
        const double hz = midiToHz(midi);
        EXPECT_NEAR(centsBetween(estimatePitchHz(note(hz, organ), 44100), hz), 0.0, 2.0) << "MIDI " << midi;
    }
}

TEST(PitchEstimate, OctaveBelowWithItsOwnFundamentalIsMeasuredThere) {
    // The same quint with a real partial at f / 2 is a note an octave down, and must read so,
    // or a file from the wrong octave would pass.
    const std::vector<Partial> low = {{0.5, 0.8}, {1, 1.0}, {1.5, 0.56}, {2, 0.87}, {3, 0.32}};
    const double hz = midiToHz(64);
    EXPECT_NEAR(centsBetween(estimatePitchHz(note(hz, low), 44100), hz), -1200.0, 2.0);
}

TEST(PitchEstimate, StretchedUpperPartialsDoNotPullItSharp) {
    // Like the piano: upper partials sharp by 15-35 cents, one inharmonic, and a decay.
    const std::vector<Partial> piano = {{1, 1.0},      {2.001, 0.43},  {3.004, 0.11}, {4.009, 0.16},
                                        {7.055, 0.12}, {8.082, 0.115}, {11.2, 0.09},  {15.5, 0.08}};
    for (int midi : {48, 60, 72}) {
        const double hz = midiToHz(midi);
        EXPECT_NEAR(centsBetween(estimatePitchHz(note(hz, piano, 1.5), 44100), hz), 0.0, 2.0) << "MIDI " << midi;
    }
}

TEST(PitchEstimate, SilenceOrTooShortHasNoPitch) {
    EXPECT_EQ(estimatePitchHz(std::vector<float>(44100, 0.0f), 44100), 0.0);
    EXPECT_EQ(estimatePitchHz(note(261.6, PLAIN, 0.0, 0.3), 44100), 0.0);
}

// ---- The committed samples ------------------------------------------------------------

// The key files and the notes they hold: white keys C3..C5, then the black keys between.
const std::map<std::string, int> KEY_MIDI = {
    {"C0", 48}, {"D0", 50}, {"E0", 52}, {"F0", 53}, {"G0", 55}, {"A0", 57}, {"B0", 59}, {"C1", 60}, {"D1", 62},
    {"E1", 64}, {"F1", 65}, {"G1", 67}, {"A1", 69}, {"B1", 71}, {"C2", 72}, {"Black0", 49}, {"Black1", 51},
    {"Black2", 54}, {"Black3", 56}, {"Black4", 58}, {"Black5", 61}, {"Black6", 63}, {"Black7", 66},
    {"Black8", 68}, {"Black9", 70}};
const std::vector<std::string> FOLDERS = {"piano", "synth", "organ", "music_box", "choir"};
const std::string PROGRAM_PREFIX = "../res/sounds/";  // the program runs in build/

struct Sample {
    std::string folder, key, path;
    int rate = 0;
    std::vector<float> mono;  // channels averaged
};

std::string soundsDir() {
    const char* top = std::getenv("TINKLEWOOD_SOURCE_DIR");
    return std::string(top != nullptr ? top : "..") + "/res/sounds/";
}

// Every sample the program plays, decoded once for all the cases of this process.
const std::vector<Sample>& samples() {
    static const std::vector<Sample> all = [] {
        std::vector<Sample> decoded;
        for (const std::string& programPath : instrumentSamplePaths(ResourcePaths())) {
            Sample s;
            const std::string relative = programPath.substr(PROGRAM_PREFIX.size());
            s.folder = relative.substr(0, relative.find('/'));
            s.key = relative.substr(s.folder.size() + 1, relative.size() - s.folder.size() - 1 - 4);
            s.path = soundsDir() + relative;
            SF_INFO info{};
            if (SNDFILE* file = sf_open(s.path.c_str(), SFM_READ, &info)) {
                std::vector<float> frames(static_cast<std::size_t>(info.frames) * info.channels);
                const sf_count_t got = sf_readf_float(file, frames.data(), info.frames);
                sf_close(file);
                s.rate = info.samplerate;
                for (sf_count_t i = 0; i < got; ++i) {
                    float sum = 0.0f;
                    for (int c = 0; c < info.channels; ++c) sum += frames[i * info.channels + c];
                    s.mono.push_back(sum / info.channels);
                }
            }
            decoded.push_back(std::move(s));
        }
        return decoded;
    }();
    return all;
}

float peakOf(const std::vector<float>& x) {
    float peak = 0.0f;
    for (float v : x) peak = std::max(peak, std::fabs(v));
    return peak;
}

bool heldInstrument(const std::string& folder) { return folder == "synth" || folder == "organ" || folder == "choir"; }

TEST(Samples, ProgramAsksForOneFilePerKeyAndInstrument) {
    const std::vector<std::string> paths = instrumentSamplePaths(ResourcePaths());
    ASSERT_EQ(paths.size(), FOLDERS.size() * KEY_MIDI.size());
    for (const std::string& folder : FOLDERS)
        for (const auto& [key, midi] : KEY_MIDI) {
            const std::string expected = PROGRAM_PREFIX + folder + "/" + key + ".mp3";
            EXPECT_EQ(std::count(paths.begin(), paths.end(), expected), 1) << expected;
        }
}

TEST(Samples, EveryFileExistsAndDecodes) {
    for (const Sample& s : samples()) {
        EXPECT_TRUE(std::filesystem::is_regular_file(s.path)) << s.path;
        EXPECT_GT(s.rate, 0) << s.path << " does not decode";
        EXPECT_GE(s.mono.size(), static_cast<std::size_t>(s.rate) * 2) << s.path << " is under 2 s";
    }
}

TEST(Samples, EveryFileSoundsAtItsKeysPitch) {
    double worst = 0.0;
    for (const Sample& s : samples()) {
        if (s.mono.empty()) {
            ADD_FAILURE() << s.path << " does not decode";
            continue;
        }
        const double expected = midiToHz(KEY_MIDI.at(s.key));
        const double measured = estimatePitchHz(s.mono, s.rate);
        EXPECT_GT(measured, 0.0) << s.path << " has no steady pitch";
        const double cents = centsBetween(measured, expected);
        EXPECT_LE(std::fabs(cents), PITCH_TOLERANCE_CENTS)
            << s.path << " sounds at " << measured << " Hz, " << cents << " cents from " << expected << " Hz";
        worst = std::max(worst, std::fabs(cents));
    }
    RecordProperty("worst_cents", std::to_string(worst));
}

TEST(Samples, EveryFileStartsWithItsAttack) {
    for (const Sample& s : samples()) {
        if (s.mono.empty()) {
            ADD_FAILURE() << s.path << " does not decode";
            continue;
        }
        const float threshold = 0.01f * peakOf(s.mono);  // 40 dB under the peak
        const auto onset = std::find_if(s.mono.begin(), s.mono.end(), [&](float v) { return std::fabs(v) > threshold; });
        EXPECT_LE(onset - s.mono.begin(), s.rate * 5 / 1000) << s.path << " starts late";
    }
}

TEST(Samples, NoFileClipsOrEndsOnAClick) {
    for (const Sample& s : samples()) {
        if (s.mono.empty()) {
            ADD_FAILURE() << s.path << " does not decode";
            continue;
        }
        const float peak = peakOf(s.mono);
        EXPECT_LT(peak, 0.95f) << s.path;
        EXPECT_GT(peak, 0.1f) << s.path << " is nearly silent";
        const std::vector<float> tail(s.mono.end() - s.rate / 1000, s.mono.end());
        EXPECT_LT(peakOf(tail), 0.01f * peak) << s.path << " is cut off while sounding";
    }
}

TEST(Samples, HeldInstrumentsLastFourSecondsAndStruckOnesAboutThree) {
    for (const Sample& s : samples()) {
        if (s.mono.empty()) {
            ADD_FAILURE() << s.path << " does not decode";
            continue;
        }
        const double seconds = static_cast<double>(s.mono.size()) / s.rate;
        if (heldInstrument(s.folder)) {
            EXPECT_GE(seconds, 4.0 - 1e-3) << s.path;
        } else {
            EXPECT_GE(seconds, 2.5) << s.path;
            EXPECT_LE(seconds, 3.5) << s.path;
        }
    }
}

TEST(Samples, KeysOfAnInstrumentAreEquallyLoud) {
    std::map<std::string, std::vector<double>> levels;
    for (const Sample& s : samples()) {
        if (s.mono.empty()) {
            ADD_FAILURE() << s.path << " does not decode";
            continue;
        }
        const std::size_t n = std::min<std::size_t>(s.mono.size(), s.rate);
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i) sum += double(s.mono[i]) * s.mono[i];
        levels[s.folder].push_back(10.0 * std::log10(sum / n));
    }
    for (const auto& [folder, db] : levels) {
        const auto [quietest, loudest] = std::minmax_element(db.begin(), db.end());
        EXPECT_LE(*loudest - *quietest, 3.0) << folder;
    }
}

TEST(Samples, AllTogetherStayUnderSixMegabytes) {
    std::uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(soundsDir()))
        if (entry.is_regular_file()) bytes += entry.file_size();
    EXPECT_LT(bytes, 6u * 1024 * 1024);
}

}  // namespace
