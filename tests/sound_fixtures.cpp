// Writes the sound tests' fixture files with libsndfile.
#include "sound_fixtures.h"

#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace {
constexpr double PI = 3.14159265358979323846;
}

FixtureFolder::FixtureFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tinklewood-sound-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder for fixtures");
    path_ = pattern;
}

FixtureFolder::~FixtureFolder() {
    for (const std::string& made : made_) std::remove(made.c_str());
    rmdir(path_.c_str());
}

std::string FixtureFolder::tone(const std::string& name, int channels, double seconds, double hz, double amplitude,
                                FixtureFormat format) {
    return write(name, channels, seconds, hz, std::vector<double>(channels, amplitude), format);
}

std::string FixtureFolder::stereoTone(const std::string& name, double seconds, double hz, double left, double right) {
    return write(name, 2, seconds, hz, {left, right}, FixtureFormat::WAV16);
}

std::string FixtureFolder::write(const std::string& name, int channels, double seconds, double hz,
                                 const std::vector<double>& amplitudes, FixtureFormat format) {
    const std::string path = path_ + "/" + name;
    SF_INFO info{};
    info.samplerate = FIXTURE_RATE;
    info.channels = channels;
    info.format = format == FixtureFormat::MP3 ? (SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III)
                                               : (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
    made_.push_back(path);
    const auto frames = static_cast<std::size_t>(seconds * FIXTURE_RATE);
    std::vector<float> samples(frames * channels);
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples[i * channels + c] =
                static_cast<float>(amplitudes[c] * std::cos(2.0 * PI * hz * static_cast<double>(i) / FIXTURE_RATE));
    const sf_count_t written = sf_writef_float(file, samples.data(), static_cast<sf_count_t>(frames));
    sf_close(file);
    if (written != static_cast<sf_count_t>(frames)) throw std::runtime_error("short write to " + path);
    return path;
}

std::string FixtureFolder::file(const std::string& name, const std::string& bytes) {
    const std::string path = path_ + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
    made_.push_back(path);
    return path;
}
