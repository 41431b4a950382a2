// FluidSynth behind the Synth interface: its settings for a program that renders blocks
// itself, its log kept off the terminal, and presets chosen with a fallback so every part of a
// song finds a sound.
#include "SoundFontSynth.h"

#include <fluidsynth.h>
#include <glib.h>

#include <algorithm>
#include <mutex>

#include "SoundFontLibrary.h"

namespace {
constexpr int CHANNELS = 16;
constexpr int DRUM_CHANNEL = 9;
constexpr int DRUM_BANK = 128;

// FluidSynth's log is process-wide. Nothing of it reaches the terminal: the program says in
// one line of its own what went wrong, with FluidSynth's first complaint as the reason (the
// SoundFont reader's; the DLS reader tried after it only says the file is no DLS file).
thread_local std::string firstComplaint;

void keepComplaint(int level, const char* message, void*) {
    if ((level == FLUID_PANIC || level == FLUID_ERR || level == FLUID_WARN) && message != nullptr)
        if (firstComplaint.empty()) firstComplaint = message;
}

// Debian's FluidSynth reads DLS files through libinstpatch, which reports its own failed
// checks on a damaged file through GLib's log, on the terminal. The program itself logs
// nothing through GLib, so GLib's default is taken over: kept as a complaint, never printed.
void keepGLibComplaint(const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
    if (message != nullptr && firstComplaint.empty()) firstComplaint = message;
}

void quietFluidSynth() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, keepComplaint, nullptr);
        g_log_set_default_handler(keepGLibComplaint, nullptr);
    });
}

bool inRange(int value, int low, int high) { return value >= low && value <= high; }
}  // namespace

SoundFontSynth::SoundFontSynth(int sampleRate) : sampleRate_(sampleRate) {
    quietFluidSynth();
    settings_ = new_fluid_settings();
    if (settings_ == nullptr) return;
    fluid_settings_setnum(settings_, "synth.sample-rate", sampleRate);
    // Pinning the samples in memory would take a General MIDI SoundFont's 150 MB from the
    // system for good (or fail, and complain, as an ordinary user).
    fluid_settings_setint(settings_, "synth.lock-memory", 0);
    // FluidSynth's default, 0.2, leaves a General MIDI piano 18 dB under the program's own
    // samples (TimGM6mb's at velocity 127: 0.013 RMS, the samples' 0.1). 0.8 brings it within
    // 6 dB and keeps headroom for a MIDI file's many parts; OpenAL Soft's limiter takes peaks.
    fluid_settings_setnum(settings_, "synth.gain", 0.8);
    synth_ = new_fluid_synth(settings_);
}

SoundFontSynth::~SoundFontSynth() {
    if (synth_ != nullptr) delete_fluid_synth(synth_);
    if (settings_ != nullptr) delete_fluid_settings(settings_);
}

bool SoundFontSynth::load(const std::string& path, std::string& error) {
    if (synth_ == nullptr) {
        error = "FluidSynth could not be started";
        return false;
    }
    if (soundFont_ >= 0) {
        error = "a SoundFont is loaded already";
        return false;
    }
    // The head first: FluidSynth would block on a pipe, and a file that is no SoundFont at
    // all is refused without its parser reading a byte of the rest.
    std::string name;
    if (!readSoundFontName(path, name, error)) return false;
    firstComplaint.clear();
    const int id = fluid_synth_sfload(synth_, path.c_str(), 1);
    if (id == FLUID_FAILED) {
        error = firstComplaint.empty() ? "FluidSynth cannot read it" : "FluidSynth cannot read it: " + firstComplaint;
        return false;
    }
    std::vector<SynthPreset> presets;
    fluid_sfont_t* font = fluid_synth_get_sfont_by_id(synth_, id);
    fluid_sfont_iteration_start(font);
    while (fluid_preset_t* preset = fluid_sfont_iteration_next(font)) {
        const char* presetName = fluid_preset_get_name(preset);
        presets.push_back({fluid_preset_get_banknum(preset), fluid_preset_get_num(preset),
                           presetName != nullptr ? presetName : ""});
    }
    if (presets.empty()) {
        fluid_synth_sfunload(synth_, id, 1);
        error = "it holds no preset";
        return false;
    }
    std::sort(presets.begin(), presets.end(), [](const SynthPreset& a, const SynthPreset& b) {
        return a.bank != b.bank ? a.bank < b.bank : a.program < b.program;
    });
    soundFont_ = id;
    name_ = name;
    presets_ = std::move(presets);
    selectStartingPresets();
    return true;
}

SoundFontSynth::Chosen SoundFontSynth::fallback(int channel, int bank, int program) const {
    auto has = [&](int b, int p) {
        return std::any_of(presets_.begin(), presets_.end(),
                           [&](const SynthPreset& preset) { return preset.bank == b && preset.program == p; });
    };
    if (has(bank, program)) return {bank, program};
    if (channel == DRUM_CHANNEL) {
        // Another kit rather than none; no kit at all leaves the drums silent, where a
        // melodic sound would play the drum part as a tune.
        if (has(DRUM_BANK, 0)) return {DRUM_BANK, 0};
        return {-1, -1};
    }
    if (has(0, program)) return {0, program};
    for (const SynthPreset& preset : presets_)
        if (preset.bank != DRUM_BANK) return {preset.bank, preset.program};
    return {presets_.front().bank, presets_.front().program};
}

void SoundFontSynth::select(int channel, int bank, int program) {
    if (soundFont_ < 0) return;
    const Chosen chosen = fallback(channel, bank, program);
    if (chosen.bank < 0)
        fluid_synth_unset_program(synth_, channel);
    else
        fluid_synth_program_select(synth_, channel, soundFont_, chosen.bank, chosen.program);
}

void SoundFontSynth::selectStartingPresets() {
    bank_.fill(0);
    for (int channel = 0; channel < CHANNELS; ++channel)
        select(channel, channel == DRUM_CHANNEL ? DRUM_BANK : 0, 0);
}

void SoundFontSynth::noteOn(int channel, int key, int velocity) {
    if (synth_ == nullptr || !inRange(channel, 0, CHANNELS - 1) || !inRange(key, 0, 127) || !inRange(velocity, 0, 127))
        return;
    if (velocity == 0)
        fluid_synth_noteoff(synth_, channel, key);
    else
        fluid_synth_noteon(synth_, channel, key, velocity);
    told();
}

void SoundFontSynth::noteOff(int channel, int key) {
    if (synth_ == nullptr || !inRange(channel, 0, CHANNELS - 1) || !inRange(key, 0, 127)) return;
    fluid_synth_noteoff(synth_, channel, key);
    told();
}

void SoundFontSynth::programChange(int channel, int program) {
    if (synth_ == nullptr || !inRange(channel, 0, CHANNELS - 1) || !inRange(program, 0, 127)) return;
    select(channel, channel == DRUM_CHANNEL ? DRUM_BANK : bank_[channel], program);
    told();
}

void SoundFontSynth::selectPreset(int channel, int bank, int program) {
    if (synth_ == nullptr || !inRange(channel, 0, CHANNELS - 1) || !inRange(bank, 0, 16383) ||
        !inRange(program, 0, 127))
        return;
    select(channel, bank, program);
    told();
}

void SoundFontSynth::controller(int channel, int number, int value) {
    if (synth_ == nullptr || !inRange(channel, 0, CHANNELS - 1) || !inRange(number, 0, 127) || !inRange(value, 0, 127))
        return;
    // Banks are kept here, for the fallback; FluidSynth is only ever told whole presets.
    if (number == 0)
        bank_[channel] = value;
    else if (number != 32)
        fluid_synth_cc(synth_, channel, number, value);
    told();
}

void SoundFontSynth::pitchBend(int channel, int value) {
    if (synth_ == nullptr || !inRange(channel, 0, CHANNELS - 1) || !inRange(value, 0, 16383)) return;
    fluid_synth_pitch_bend(synth_, channel, value);
    told();
}

void SoundFontSynth::allNotesOff() {
    if (synth_ == nullptr) return;
    // A pedal still down would hold the released notes on.
    for (int channel = 0; channel < CHANNELS; ++channel) {
        fluid_synth_cc(synth_, channel, 64, 0);
        fluid_synth_cc(synth_, channel, 66, 0);
    }
    fluid_synth_all_notes_off(synth_, -1);
    told();
}

void SoundFontSynth::reset() {
    if (synth_ == nullptr) return;
    fluid_synth_system_reset(synth_);
    selectStartingPresets();
    told();
}

void SoundFontSynth::render(float* interleavedStereo, int frames) {
    if (synth_ == nullptr) {
        std::fill(interleavedStereo, interleavedStereo + 2 * frames, 0.0f);
        return;
    }
    fluid_synth_write_float(synth_, frames, interleavedStereo, 0, 2, interleavedStereo, 1, 2);
}

int SoundFontSynth::activeVoices() const {
    return synth_ != nullptr ? fluid_synth_get_active_voice_count(synth_) : 0;
}
