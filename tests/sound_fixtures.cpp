// Writes the sound tests' fixture files with libsndfile.
#include "sound_fixtures.h"

#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {
constexpr double PI = 3.14159265358979323846;

std::string le16(int value) {
    return {static_cast<char>(value & 0xff), static_cast<char>((value >> 8) & 0xff)};
}

std::string le32(std::uint32_t value) { return le16(value & 0xffff) + le16(value >> 16); }

// A RIFF chunk: id, size, data and the pad byte that keeps the next chunk on an even offset.
std::string chunk(const std::string& id, const std::string& data) {
    return id + le32(static_cast<std::uint32_t>(data.size())) + data + (data.size() % 2 ? std::string(1, '\0') : "");
}

// A fixed-length, zero-padded name field of the preset, instrument and sample records.
std::string name20(const std::string& name) {
    std::string field = name.substr(0, 19);
    field.resize(20, '\0');
    return field;
}

// The samples as an Ogg Vorbis stream, through a file of its own.
std::string vorbisBytes(const std::vector<float>& samples) {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tinklewood-vorbis-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) throw std::runtime_error("cannot make a file for a Vorbis sample");
    close(fd);
    SF_INFO info{};
    info.samplerate = FIXTURE_RATE;
    info.channels = 1;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw std::runtime_error("cannot encode Vorbis: " + std::string(sf_strerror(nullptr)));
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    return bytes;
}
}  // namespace

std::string FixtureFolder::soundFontBytes(const FixtureSoundFont& font) {
    // Two seconds of the sine, the second one looped: its 44,100 frames hold 440 cycles, so
    // the loop is seamless. SoundFont samples are followed by 46 zero frames.
    const int frames = 2 * FIXTURE_RATE, loopStart = FIXTURE_RATE;
    std::vector<float> sine(frames);
    for (int i = 0; i < frames; ++i)
        sine[i] = static_cast<float>(font.amplitude * std::sin(2.0 * PI * 440.0 * i / FIXTURE_RATE));
    std::string samples;
    if (font.vorbis) {
        samples = vorbisBytes(sine);  // a SoundFont 3 sample spans its compressed bytes
    } else {
        for (float v : sine) samples += le16(static_cast<int>(std::lround(32767.0 * v)));
        samples += std::string(46 * 2, '\0');
    }
    const std::uint32_t sampleEnd = font.vorbis ? static_cast<std::uint32_t>(samples.size()) : frames;

    std::string info = chunk("ifil", le16(font.vorbis ? 3 : 2) + le16(font.vorbis ? 0 : 1)) +
                       chunk("isng", std::string("EMU8000", 8));
    // A name is zero-terminated and, with its terminator, of even length.
    if (!font.name.empty()) info += chunk("INAM", font.name + std::string(font.name.size() % 2 ? 1 : 2, '\0'));

    // Every preset has one zone naming instrument 0; the instrument one zone naming sample 0,
    // looped. Each list ends with its terminal record.
    const int presets = static_cast<int>(font.presets.size());
    std::string phdr, pbag, pgen;
    for (int i = 0; i < presets; ++i) {
        phdr += name20("Preset " + std::to_string(i)) + le16(font.presets[i].second) + le16(font.presets[i].first) +
                le16(i) + le32(0) + le32(0) + le32(0);
        pbag += le16(i) + le16(0);
        pgen += le16(41) + le16(0);  // instrument 0
    }
    phdr += name20("EOP") + le16(0) + le16(0) + le16(presets) + le32(0) + le32(0) + le32(0);
    pbag += le16(presets) + le16(0);
    pgen += le16(0) + le16(0);
    const std::string inst = name20("Sine") + le16(0) + name20("EOI") + le16(1);
    const std::string ibag = le16(0) + le16(0) + le16(2) + le16(0);
    const std::string igen = le16(54) + le16(1)    // sampleModes: loop continuously
                             + le16(53) + le16(0)  // sampleID 0, last of the zone
                             + le16(0) + le16(0);
    // Loop points count decoded frames, also in a compressed sample.
    const std::string shdr = name20("Sine") + le32(0) + le32(sampleEnd) + le32(loopStart) + le32(frames) +
                             le32(FIXTURE_RATE) + std::string(1, static_cast<char>(FIXTURE_SF_ROOT_KEY)) +
                             std::string(1, '\0') + le16(0) + le16(font.vorbis ? 0x11 : 1)  // mono, Vorbis or not
                             + std::string(46, '\0');
    const std::string pdta = "pdta" + chunk("phdr", phdr) + chunk("pbag", pbag) + chunk("pmod", std::string(10, '\0')) +
                             chunk("pgen", pgen) + chunk("inst", inst) + chunk("ibag", ibag) +
                             chunk("imod", std::string(10, '\0')) + chunk("igen", igen) + chunk("shdr", shdr);
    return chunk("RIFF", "sfbk" + chunk("LIST", "INFO" + info) + chunk("LIST", "sdta" + chunk("smpl", samples)) +
                             chunk("LIST", pdta));
}

std::string FixtureFolder::soundFont(const std::string& name, const FixtureSoundFont& font) {
    return file(name, soundFontBytes(font));
}

std::string FixtureFolder::sawtooth(const std::string& name, double seconds, double hz, double amplitude) {
    const std::string path = path_ + "/" + name;
    SF_INFO info{};
    info.samplerate = FIXTURE_RATE;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
    made_.push_back(path);
    const auto frames = static_cast<std::size_t>(seconds * FIXTURE_RATE);
    std::vector<float> samples(frames);
    for (int n = 1; n * hz < 20000.0; ++n)
        for (std::size_t i = 0; i < frames; ++i)
            samples[i] += static_cast<float>(amplitude / n *
                                             std::sin(2.0 * PI * n * hz * static_cast<double>(i) / FIXTURE_RATE));
    const sf_count_t written = sf_writef_float(file, samples.data(), static_cast<sf_count_t>(frames));
    sf_close(file);
    if (written != static_cast<sf_count_t>(frames)) throw std::runtime_error("short write to " + path);
    return path;
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
