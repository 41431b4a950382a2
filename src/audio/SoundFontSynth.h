// One SoundFont played by FluidSynth: MIDI events in, stereo blocks out, with no sound device
// of its own. OpenAlStream hears it through the engine; a test or a tool can pull blocks itself.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "Synth.h"

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;

class SoundFontSynth final : public Synth {
public:
    // sampleRate: of the blocks render() writes, the output device's.
    explicit SoundFontSynth(int sampleRate);
    ~SoundFontSynth() override;
    SoundFontSynth(const SoundFontSynth&) = delete;
    SoundFontSynth& operator=(const SoundFontSynth&) = delete;

    // Reads the file whole. False, with the reason in error (FluidSynth's own words when it
    // has them) and nothing loaded, when it is not a regular file or not a SoundFont it can
    // play. FluidSynth says nothing on stderr, here or later. Once only.
    bool load(const std::string& path, std::string& error);

    const std::string& name() const override { return name_; }
    const std::vector<SynthPreset>& presets() const override { return presets_; }
    void noteOn(int channel, int key, int velocity) override;
    void noteOff(int channel, int key) override;
    void programChange(int channel, int program) override;
    void selectPreset(int channel, int bank, int program) override;
    void controller(int channel, int number, int value) override;
    void pitchBend(int channel, int value) override;
    void allNotesOff() override;
    void reset() override;

    // The next frames of its sound, interleaved left and right. Any thread, one at a time;
    // the events above may come from another thread meanwhile.
    void render(float* interleavedStereo, int frames);
    int sampleRate() const { return sampleRate_; }
    // Notes still sounding (their release included); the reverb's tail may outlast them.
    int activeVoices() const;
    // Called after every event on the thread that sent it: how a stream at rest learns that
    // there is something to render. Set before events come.
    void onEvent(std::function<void()> listener) { listener_ = std::move(listener); }

private:
    struct Chosen {
        int bank, program;
    };
    Chosen fallback(int channel, int bank, int program) const;
    void select(int channel, int bank, int program);
    void selectStartingPresets();
    void told() const {
        if (listener_) listener_();
    }

    const int sampleRate_;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    int soundFont_ = -1;  // FluidSynth's id of the loaded SoundFont
    std::string name_;
    std::vector<SynthPreset> presets_;
    std::array<int, 16> bank_{};  // each channel's bank select (controller 0)
    std::function<void()> listener_;
};
