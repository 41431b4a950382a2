// A fixture that builds a piano without a window: a driven clock, a recording sound engine and a
// host that counts what the piano asks of the window system. The accessors read the piano's
// state under the names the tests speak of.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Hand.h"
#include "HandShapes.h"
#include "Instruments.h"
#include "Letters.h"
#include "Piano.h"
#include "RightHandShapes.h"
#include "Sound.h"
#include "animation.h"
#include "lights.h"
#include "test_clock.h"

// Records every call the program makes on a SoundFont's synthesizer, one line each: "on 0 60
// 100" (channel, key, velocity), "off 0 60", "program 0 40", "cc 0 7 100", "bend 0 8192",
// "preset 0 0 0", "all off", "reset".
class RecordingSynth : public Synth {
public:
    RecordingSynth(std::string name, std::vector<std::string>& calls) : name_(std::move(name)), calls_(calls) {}
    const std::string& name() const override { return name_; }
    const std::vector<SynthPreset>& presets() const override { return presets_; }
    void noteOn(int channel, int key, int velocity) override { said("on", {channel, key, velocity}); }
    void noteOff(int channel, int key) override { said("off", {channel, key}); }
    void programChange(int channel, int program) override { said("program", {channel, program}); }
    void selectPreset(int channel, int bank, int program) override { said("preset", {channel, bank, program}); }
    void controller(int channel, int number, int value) override { said("cc", {channel, number, value}); }
    void pitchBend(int channel, int value) override { said("bend", {channel, value}); }
    void allNotesOff() override { said("all off", {}); }
    void reset() override { said("reset", {}); }

private:
    void said(const char* what, std::initializer_list<int> numbers) {
        std::string line = what;
        for (int n : numbers) line += " " + std::to_string(n);
        calls_.push_back(line);
    }
    std::string name_;
    std::vector<SynthPreset> presets_ = {{0, 0, "Piano"}};
    std::vector<std::string>& calls_;
};

// Records every call the program makes on its sound layer.
class RecordingSound : public SoundEngine {
public:
    struct Call {
        std::string op;  // "play", "volume", "stop"
        std::string path;
        std::uint32_t voice;
        float volume;
        float pitch = 1;  // of a "play": the speed the sample was asked for at
    };
    std::vector<Call> calls;
    // SoundFonts: what their synthesizers were told, those that were opened (by path), and
    // the paths that fail to open as a damaged one does.
    std::vector<std::string> synthCalls;
    std::vector<std::string> soundFontsOpened;
    std::vector<std::string> damagedSoundFonts;

    SoundHandle play2D(const std::string& path) override { return playAtPitch(path, 1); }
    SoundHandle playAtPitch(const std::string& path, float pitch) override {
        const std::uint32_t voice = next_++;
        calls.push_back({"play", path, voice, 1.0f, pitch});
        paths_.push_back(path);
        return SoundHandle(this, voice, 0);
    }
    std::unique_ptr<Synth> openSoundFont(const std::string& path) override {
        if (std::find(damagedSoundFonts.begin(), damagedSoundFonts.end(), path) != damagedSoundFonts.end()) {
            std::fprintf(stderr, "tinklewood: the SoundFont %s cannot be read\n", path.c_str());
            return nullptr;
        }
        soundFontsOpened.push_back(path);
        return std::make_unique<RecordingSynth>(path, synthCalls);
    }
    void setVolume(const SoundHandle& h, float volume) override {
        calls.push_back({"volume", paths_.at(h.voice()), h.voice(), volume});
    }
    void stop(const SoundHandle& h) override {
        calls.push_back({"stop", paths_.at(h.voice()), h.voice(), 0.0f});
    }

    std::vector<Call> take() {
        std::vector<Call> out;
        out.swap(calls);
        return out;
    }
    int count(const std::string& op) const {
        int n = 0;
        for (const auto& c : calls) n += c.op == op;
        return n;
    }

private:
    std::uint32_t next_ = 0;
    std::vector<std::string> paths_;
};

// Counts what the piano asks of the window system.
class CountingHost : public PianoHost {
public:
    int redisplays = 0;
    int quitStatus = -1;
    void requestFrame() override { ++redisplays; }
    void quit(int status) override { quitStatus = status; }
};

class AppTest : public testing::Test {
protected:
    DrivenClock clock;
    RecordingSound sound;
    CountingHost host;
    std::unique_ptr<Piano> piano;
    int& redisplays = host.redisplays;
    int& quitStatus = host.quitStatus;

    void SetUp() override { piano = std::make_unique<Piano>(setup()); }

    // What the fixture's piano is built with; a test may build more pianos from it.
    PianoSetup setup() {
        PianoSetup s;
        s.clock = &clock;
        s.sound = &sound;
        s.host = &host;
        return s;
    }

    // Lets one step of the piano's time pass (by default), then runs the frame step.
    bool frame(double seconds = STEP_SECONDS) {
        clock.advance(seconds);
        return piano->stepFrame();
    }
    void frames(int count) {
        for (int i = 0; i < count; ++i) frame();
    }
    void press(unsigned char key) { piano->keyDown(key); }
    void release(unsigned char key) { piano->keyUp(key); }

    // The piano's state, read only.
    int currNote() const { return piano->noteStroke().target(); }
    int playChord() const { return piano->chordStroke().busy() ? piano->chordStroke().target() : NONE; }
    bool noteHeld() const { return piano->noteStroke().held; }
    bool chordHeld() const { return piano->chordStroke().held; }
    unsigned int noteStrokes() const { return piano->noteStroke().count; }
    unsigned int chordStrokes() const { return piano->chordStroke().count; }
    bool keyHeld(unsigned char key) const { return piano->keyHeld(key); }
    const PianoKey& key(int index) const { return piano->keys()[static_cast<std::size_t>(index)]; }
    const Hand& rightHand() const { return piano->rightHand(); }
    const Hand& leftHand() const { return piano->leftHand(); }
    const LightState& lights() const { return piano->lights().state(); }
    const SongPlayer& song() const { return piano->song(); }
    bool songPlaying() const { return piano->song().playing(); }
    std::string caption() const { return piano->currentCaption(); }
};
