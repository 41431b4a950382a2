// How long after its note-on a SoundFont note is heard, on a real device fed by the stream's
// own thread: OpenAL Soft's wave writer, at the program's mixing period, takes the mix. Each
// note-on is sent together with the start of a sample (left channel; the note is panned
// right), whose delay is known: the next mixing period. The wave writer keeps no output
// buffer; a sound card adds its own (the README's "Sound latency") to both alike.
//
//   synth_latency [--notes N] [--soundfont FILE.sf2]
#include <sndfile.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "OpenAlSound.h"
#include "sound_fixtures.h"

namespace {

constexpr int RATE = 44100;
constexpr int PERIOD = 256;

double cpuSeconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_utime.tv_sec + use.ru_stime.tv_sec + 1e-6 * (use.ru_utime.tv_usec + use.ru_stime.tv_usec);
}

// Frames where a channel rises above the threshold after at least `gap` frames below it.
std::vector<long> onsets(const std::vector<short>& stereo, int channel, int threshold, long gap) {
    std::vector<long> found;
    long quiet = gap;
    for (std::size_t i = channel; i < stereo.size(); i += 2) {
        if (std::abs(stereo[i]) > threshold) {
            if (quiet >= gap) found.push_back(static_cast<long>(i / 2));
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return found;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * (v.size() - 1) + 0.5)];
}

}  // namespace

int main(int argc, char** argv) {
    int notes = 40;
    std::string soundFont;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--notes") notes = std::atoi(argv[i + 1]);
        else if (arg == "--soundfont") soundFont = argv[i + 1];
    }
    FixtureFolder files;
    if (soundFont.empty()) soundFont = files.soundFont("sine.sf2");
    const std::string click = files.stereoTone("left.wav", 0.1, 1000.0, 0.5, 0.0);
    const std::string capture = files.missing("capture.wav");
    const std::string config = files.file("alsoft.conf", "[general]\ndrivers = wave\nchannels = stereo\n"
                                                         "sample-type = int16\nfrequency = 44100\n"
                                                         "period_size = 256\nperiods = 4\n[wave]\nfile = " +
                                                             capture + "\n");
    setenv("ALSOFT_CONF", config.c_str(), 1);
    auto* engine = static_cast<OpenAlSoundEngine*>(createSoundEngine({click}));
    if (engine == nullptr) return 1;
    engine->waitForPreload();
    auto restingCpu = [] {
        const double start = cpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        return 1000 * (cpuSeconds() - start);
    };
    const double mixerAlone = restingCpu();
    std::unique_ptr<Synth> synth = engine->openSoundFont(soundFont);
    if (synth == nullptr) return 1;
    for (int channel : {0, 1}) {
        synth->controller(channel, 10, 127);  // right, where the samples are not
        synth->controller(channel, 91, 0);    // no reverb: each note ends at its note-off
    }
    synth->controller(1, 7, 10);  // a note under the threshold, to keep the stream running
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double withSynth = restingCpu();

    // Two halves: each note-on from rest, then with the stream running throughout.
    unsigned seed = 1;
    int restUnderruns = 0;
    for (int n = 0; n < notes; ++n) {
        if (n == notes / 2) {
            restUnderruns = dynamic_cast<const SoundFontStream&>(*synth).underruns();
            synth->noteOn(1, 60, 127);
        }
        engine->play2D(click);
        synth->noteOn(0, 81, 127);
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        synth->noteOff(0, 81);
        seed = seed * 1103515245u + 12345u;
        std::this_thread::sleep_for(std::chrono::microseconds(150000 + (seed >> 8) % 100000));
    }
    const auto& stream = dynamic_cast<const SoundFontStream&>(*synth);
    const int underruns = stream.underruns(), starts = stream.starts();
    synth.reset();
    engine->shutdown();  // the wave writer's header is written as its device closes

    SF_INFO info{};
    SNDFILE* file = sf_open(capture.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "synth_latency: no capture: %s\n", sf_strerror(nullptr));
        return 1;
    }
    std::vector<short> stereo(static_cast<std::size_t>(info.frames) * 2);
    sf_readf_short(file, stereo.data(), info.frames);
    sf_close(file);
    std::remove(capture.c_str());

    const std::vector<long> samples = onsets(stereo, 0, 300, RATE / 20), synthNotes = onsets(stereo, 1, 300, RATE / 20);
    std::vector<double> halves[2];
    for (std::size_t i = 0; i < samples.size(); ++i) {
        auto next = std::lower_bound(synthNotes.begin(), synthNotes.end(), samples[i] - RATE / 10);
        if (next != synthNotes.end() && std::labs(*next - samples[i]) < RATE / 5)
            halves[i < samples.size() / 2 ? 0 : 1].push_back(1000.0 * (*next - samples[i]) / RATE);
    }
    if (halves[0].empty() || halves[1].empty()) {
        std::fprintf(stderr, "synth_latency: no note pairs found (%zu samples, %zu synth notes)\n", samples.size(),
                     synthNotes.size());
        return 1;
    }
    const double sampleDelay = 1000.0 * PERIOD / RATE;
    std::printf("notes paired: %zu of %d; stream starts %d, underruns %d from rest, %d running\n",
                halves[0].size() + halves[1].size(), notes, starts, restUnderruns, underruns - restUnderruns);
    const char* names[2] = {"from rest", "stream running"};
    for (int h = 0; h < 2; ++h)
        std::printf("%s: note after the sample started with it, ms: min %.1f, median %.1f, p90 %.1f, max %.1f; "
                    "note-on to the mix: median %.1f..%.1f, max %.1f..%.1f\n",
                    names[h], percentile(halves[h], 0), percentile(halves[h], 0.5), percentile(halves[h], 0.9),
                    percentile(halves[h], 1), percentile(halves[h], 0.5), percentile(halves[h], 0.5) + sampleDelay,
                    percentile(halves[h], 1), percentile(halves[h], 1) + sampleDelay);
    std::printf("processor time over 2 s with nothing playing: %.1f ms the mixer alone, %.1f ms with the synth\n",
                mixerAlone, withSynth);
    return 0;
}
