// Small sound files made on the spot for the sound tests, in a temporary folder of their own.
#pragma once

#include <string>
#include <utility>
#include <vector>

enum class FixtureFormat { WAV16, MP3 };

// A SoundFont of one sampled sine, looped, on one instrument that every preset plays.
struct FixtureSoundFont {
    std::string name = "Fixture Sine";  // its INAM; empty leaves INAM out
    std::vector<std::pair<int, int>> presets = {{0, 0}};  // bank and program of each
    double amplitude = 0.5;
    bool vorbis = false;  // SoundFont 3: the sample compressed with Ogg Vorbis, as in a .sf3 file
};
// The sine's own note: 440 Hz, A4. Its loop holds exactly 440 cycles.
constexpr int FIXTURE_SF_ROOT_KEY = 69;

class FixtureFolder {
public:
    FixtureFolder();
    ~FixtureFolder();  // removes the folder and what was made in it
    FixtureFolder(const FixtureFolder&) = delete;
    FixtureFolder& operator=(const FixtureFolder&) = delete;

    // A tone at full strength from its first sample (a cosine), the same in every channel.
    // Returns its path; throws when it cannot be written.
    std::string tone(const std::string& name, int channels, double seconds, double hz, double amplitude,
                     FixtureFormat format = FixtureFormat::WAV16);
    // A stereo tone with its own amplitude in each channel.
    std::string stereoTone(const std::string& name, double seconds, double hz, double left, double right);
    // The harmonics of hz up to 20 kHz at 1/n of amplitude each (a band-limited sawtooth): a
    // sample rich in upper partials.
    std::string sawtooth(const std::string& name, double seconds, double hz, double amplitude);
    // A minimal valid SoundFont 2 file; its bytes alone with soundFontBytes.
    std::string soundFont(const std::string& name, const FixtureSoundFont& font = {});
    static std::string soundFontBytes(const FixtureSoundFont& font);
    // A file holding exactly these bytes.
    std::string file(const std::string& name, const std::string& bytes);
    // A path in the folder where nothing is.
    std::string missing(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string write(const std::string& name, int channels, double seconds, double hz,
                      const std::vector<double>& amplitudes, FixtureFormat format);
    std::string path_;
    std::vector<std::string> made_;
};

constexpr int FIXTURE_RATE = 44100;
