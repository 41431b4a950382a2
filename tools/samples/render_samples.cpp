// Renders the program's 125 key samples (5 instruments x 25 keys) from a General MIDI SoundFont
// and encodes them as mono MP3 into <out>/<folder>/<key>.mp3. Run by hand; not part of the build.
//
// usage: render_samples [soundfont.sf2] [output folder]
#include <fluidsynth.h>
#include <lame/lame.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "low_pass.h"

namespace {

constexpr int SAMPLE_RATE = 44100;
constexpr int MP3_KBPS = 96;  // mono; 125 files of 3-4 s stay near 5.5 MB
constexpr double PI = 3.14159265358979323846;

struct Instrument {
    const char* folder;
    int program;     // General MIDI, 0-based
    bool held;       // held to the end (organ, synth, choir) or struck and left to decay
    double seconds;  // length of the file
};

const Instrument INSTRUMENTS[] = {
    {"piano", 0, false, 3.0},     // Acoustic Grand Piano
    {"synth", 81, true, 4.0},     // Lead 2 (sawtooth)
    {"organ", 19, true, 4.0},     // Church Organ
    {"music_box", 10, false, 3.0},
    {"choir", 52, true, 4.0},     // Choir Aahs
};

struct Key {
    const char* file;
    int midi;
};

// White keys C3..C5 then the black keys between them, in the program's key order.
const Key KEYS[] = {
    {"C0", 48}, {"D0", 50}, {"E0", 52}, {"F0", 53}, {"G0", 55}, {"A0", 57}, {"B0", 59},
    {"C1", 60}, {"D1", 62}, {"E1", 64}, {"F1", 65}, {"G1", 67}, {"A1", 69}, {"B1", 71},
    {"C2", 72},
    {"Black0", 49}, {"Black1", 51}, {"Black2", 54}, {"Black3", 56}, {"Black4", 58},
    {"Black5", 61}, {"Black6", 63}, {"Black7", 66}, {"Black8", 68}, {"Black9", 70},
};

// Equal temperament, A4 = MIDI 69 = 440 Hz.
double midiToHz(double midi) { return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0); }

// Normalised autocorrelation of x[start, start + n) at lag k.
double correlation(const std::vector<double>& x, std::size_t start, std::size_t n, std::size_t k) {
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = start; i + k < start + n; ++i) {
        ab += x[i] * x[i + k];
        aa += x[i] * x[i];
        bb += x[i + k] * x[i + k];
    }
    return ab / std::sqrt(aa * bb + 1e-30);
}

// Where the file's pitch sits, in cents from the key's: the period of the strongest repetition
// within 80 cents of the key's period, over 0.1-0.6 s after the onset. Partials above the second
// are filtered out first: a piano's stretched upper partials would otherwise pull the estimate
// 10-30 cents sharp. Searching only near the key's period keeps the organ's 16-foot series (whose
// waveform repeats an octave below) out of the estimate. NaN when there is no repetition there.
double pitchErrorCents(const std::vector<float>& samples, int midi) {
    const double f0 = midiToHz(midi);
    float peak = 0.0f;
    for (float v : samples) peak = std::max(peak, std::fabs(v));
    std::size_t onset = 0;
    while (onset < samples.size() && std::fabs(samples[onset]) < peak * 1e-3f) ++onset;
    const std::size_t start = onset + SAMPLE_RATE / 10, n = SAMPLE_RATE / 2;
    const double period = SAMPLE_RATE / f0;
    const std::size_t lo = static_cast<std::size_t>(period * std::pow(2.0, -80.0 / 1200.0));
    const std::size_t hi = static_cast<std::size_t>(period * std::pow(2.0, 80.0 / 1200.0)) + 1;
    if (samples.size() < start + n + hi) return NAN;

    std::vector<double> x(samples.begin(), samples.end());
    lowPass(x, 2.5 * f0, SAMPLE_RATE);
    std::vector<double> r(hi + 2);
    for (std::size_t k = lo - 1; k <= hi + 1; ++k) r[k] = correlation(x, start, n, k);
    std::size_t best = lo;
    for (std::size_t k = lo; k <= hi; ++k)
        if (r[k] > r[best]) best = k;
    if (best == lo || best == hi || r[best] < 0.5) return NAN;
    const double a = r[best - 1], b = r[best], c = r[best + 1];
    const double lag = best + 0.5 * (a - c) / (a - 2.0 * b + c);
    return 1200.0 * std::log2((SAMPLE_RATE / lag) / f0);
}

struct Rendered {
    std::vector<float> mono;
    double rawCents = 0.0;   // as the SoundFont plays it
    double bendCents = 0.0;  // the correction applied
    double errorCents = 0.0; // what is left
};

// One note from silence: the synth is cleared and left to ring out between notes.
std::vector<float> renderNote(fluid_synth_t* synth, const Instrument& inst, int midi, double bendCents) {
    const double extra = 0.3;  // rendered past the end so trimming the onset leaves enough
    const int total = static_cast<int>((inst.seconds + extra) * SAMPLE_RATE);
    const int release = inst.held ? total : static_cast<int>((inst.seconds - 0.4) * SAMPLE_RATE);

    fluid_synth_all_sounds_off(synth, -1);
    std::vector<float> l(SAMPLE_RATE * 2), r(SAMPLE_RATE * 2);
    fluid_synth_write_float(synth, SAMPLE_RATE * 2, l.data(), 0, 1, r.data(), 0, 1);  // flush the reverb

    // The default bend range is two semitones: 8192 steps for 200 cents.
    const int bend = std::clamp(8192 + static_cast<int>(std::lround(bendCents / 200.0 * 8192.0)), 0, 16383);
    fluid_synth_program_change(synth, 0, inst.program);
    fluid_synth_pitch_bend(synth, 0, bend);
    fluid_synth_noteon(synth, 0, midi, 100);

    l.assign(total, 0.0f);
    r.assign(total, 0.0f);
    fluid_synth_write_float(synth, release, l.data(), 0, 1, r.data(), 0, 1);
    fluid_synth_noteoff(synth, 0, midi);
    if (total > release)
        fluid_synth_write_float(synth, total - release, l.data() + release, 0, 1, r.data() + release, 0, 1);

    std::vector<float> mono(total);
    for (int i = 0; i < total; ++i) mono[i] = 0.5f * (l[i] + r[i]);
    return mono;
}

// Starts the file 1 ms before the sound first reaches 40 dB under its peak, faded in over that
// millisecond: a slow organ pipe otherwise spends 5-8 ms barely audible before its attack. Cuts
// to length and fades the end so the file never stops on a click.
std::vector<float> shape(std::vector<float> x, const Instrument& inst) {
    float peak = 0.0f;
    for (float v : x) peak = std::max(peak, std::fabs(v));
    std::size_t onset = 0;
    while (onset < x.size() && std::fabs(x[onset]) < peak * 0.01f) ++onset;
    const std::size_t lead = SAMPLE_RATE / 1000;
    x.erase(x.begin(), x.begin() + (onset > lead ? onset - lead : 0));
    x.resize(static_cast<std::size_t>(inst.seconds * SAMPLE_RATE), 0.0f);

    for (std::size_t i = 0; i < lead; ++i)
        x[i] *= static_cast<float>(0.5 - 0.5 * std::cos(PI * static_cast<double>(i) / lead));
    const std::size_t fade = static_cast<std::size_t>((inst.held ? 0.15 : 0.05) * SAMPLE_RATE);
    for (std::size_t i = 0; i < fade; ++i) {
        const double t = static_cast<double>(i) / fade;
        x[x.size() - 1 - i] *= static_cast<float>(0.5 - 0.5 * std::cos(PI * t));
    }
    return x;
}

// Renders the note, measures it and bends it into tune; a few passes reach a cent or better.
Rendered renderTuned(fluid_synth_t* synth, const Instrument& inst, int midi) {
    Rendered out;
    for (int pass = 0; pass < 4; ++pass) {
        out.mono = shape(renderNote(synth, inst, midi, out.bendCents), inst);
        out.errorCents = pitchErrorCents(out.mono, midi);
        if (std::isnan(out.errorCents)) {
            std::fprintf(stderr, "%s MIDI %d: no steady pitch near the key's\n", inst.folder, midi);
            std::exit(1);
        }
        if (pass == 0) out.rawCents = out.errorCents;
        if (std::fabs(out.errorCents) < 0.5) break;
        out.bendCents -= out.errorCents;
    }
    return out;
}

double rmsOfFirstSecond(const std::vector<float>& x) {
    const std::size_t n = std::min<std::size_t>(x.size(), SAMPLE_RATE);
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += double(x[i]) * x[i];
    return std::sqrt(sum / n);
}

bool writeMp3(const std::string& path, const std::vector<float>& x) {
    lame_global_flags* lame = lame_init();
    lame_set_num_channels(lame, 1);
    lame_set_mode(lame, MONO);
    lame_set_in_samplerate(lame, SAMPLE_RATE);
    lame_set_out_samplerate(lame, SAMPLE_RATE);
    lame_set_brate(lame, MP3_KBPS);
    lame_set_quality(lame, 2);
    lame_set_bWriteVbrTag(lame, 1);  // the LAME tag carries the encoder delay: decoders drop it
    if (lame_init_params(lame) < 0) { lame_close(lame); return false; }

    std::vector<unsigned char> mp3(x.size() * 5 / 4 + 7200 + 8192);
    int used = lame_encode_buffer_ieee_float(lame, x.data(), x.data(), static_cast<int>(x.size()),
                                             mp3.data(), static_cast<int>(mp3.size()));
    if (used < 0) { lame_close(lame); return false; }
    const int flushed = lame_encode_flush(lame, mp3.data() + used, static_cast<int>(mp3.size()) - used);
    if (flushed < 0) { lame_close(lame); return false; }
    mp3.resize(used + flushed);

    // The first frame lame produced is a placeholder for the tag, which is final only now.
    unsigned char tag[2880];
    const std::size_t tagSize = lame_get_lametag_frame(lame, tag, sizeof tag);
    lame_close(lame);
    if (tagSize == 0 || tagSize > sizeof tag || tagSize > mp3.size()) return false;
    std::copy(tag, tag + tagSize, mp3.begin());

    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(mp3.data(), 1, mp3.size(), f) == mp3.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<float> decode(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    std::vector<float> x(static_cast<std::size_t>(info.frames) * info.channels);
    x.resize(static_cast<std::size_t>(sf_readf_float(f, x.data(), info.frames)) * info.channels);
    sf_close(f);
    if (info.channels != 1) return {};
    return x;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string soundfont = argc > 1 ? argv[1] : "/usr/share/sounds/sf2/FluidR3_GM.sf2";
    const std::string outDir = argc > 2 ? argv[2] : "res/sounds";

    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", SAMPLE_RATE);
    fluid_settings_setnum(settings, "synth.gain", 0.5);
    // Chorus detunes by modulated delay: off, so each file holds one clean pitch. A small room
    // keeps the dry SoundFont from sounding boxed in.
    fluid_settings_setint(settings, "synth.chorus.active", 0);
    fluid_settings_setint(settings, "synth.reverb.active", 1);
    fluid_settings_setnum(settings, "synth.reverb.room-size", 0.35);
    fluid_settings_setnum(settings, "synth.reverb.damp", 0.4);
    fluid_settings_setnum(settings, "synth.reverb.width", 0.5);
    fluid_settings_setnum(settings, "synth.reverb.level", 0.25);
    fluid_synth_t* synth = new_fluid_synth(settings);
    if (fluid_synth_sfload(synth, soundfont.c_str(), 1) == FLUID_FAILED) {
        std::fprintf(stderr, "cannot load SoundFont %s\n", soundfont.c_str());
        return 1;
    }

    std::printf("%-10s %-7s %5s %8s %8s %8s %7s %7s %6s\n", "folder", "key", "midi", "raw c", "bend c",
                "mp3 c", "rms dB", "peak dB", "KB");
    for (const Instrument& inst : INSTRUMENTS) {
        std::filesystem::create_directories(outDir + "/" + inst.folder);
        std::vector<Rendered> tuned;
        for (const Key& key : KEYS) tuned.push_back(renderTuned(synth, inst, key.midi));
        // Equal loudness over the keys (RMS of the first second), then one gain for the
        // instrument that keeps its loudest peak well below full scale, MP3 overshoot included.
        float worstPeak = 0.0f;
        std::vector<double> gains;
        for (const Rendered& r : tuned) {
            const double g = 0.1 / rmsOfFirstSecond(r.mono);
            float peak = 0.0f;
            for (float v : r.mono) peak = std::max(peak, std::fabs(v));
            worstPeak = std::max(worstPeak, static_cast<float>(peak * g));
            gains.push_back(g);
        }
        const double headroom = std::min(1.0, 0.7 / worstPeak);

        for (std::size_t k = 0; k < tuned.size(); ++k) {
            std::vector<float>& x = tuned[k].mono;
            for (float& v : x) v = static_cast<float>(v * gains[k] * headroom);
            const std::string path = outDir + "/" + inst.folder + "/" + KEYS[k].file + ".mp3";
            if (!writeMp3(path, x)) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                return 1;
            }
            // Measure what a player will decode, not what was encoded.
            const std::vector<float> back = decode(path);
            float peak = 0.0f;
            for (float v : back) peak = std::max(peak, std::fabs(v));
            const auto bytes = static_cast<double>(std::filesystem::file_size(path));
            std::printf("%-10s %-7s %5d %+8.1f %+8.1f %+8.1f %7.1f %7.1f %6.1f\n", inst.folder, KEYS[k].file,
                        KEYS[k].midi, tuned[k].rawCents, tuned[k].bendCents,
                        pitchErrorCents(back, KEYS[k].midi), 20 * std::log10(rmsOfFirstSecond(back)),
                        20 * std::log10(peak), bytes / 1024.0);
        }
    }
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    return 0;
}
