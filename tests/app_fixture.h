// A fixture that builds a piano without a window: a driven clock, a recording sound engine and a
// host that counts what the piano asks of the window system. The accessors read the piano's
// state under the names the tests speak of.
#pragma once

#include <gtest/gtest.h>

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

// Records every call the program makes on its sound layer.
class RecordingSound : public SoundEngine {
public:
    struct Call {
        std::string op;  // "play", "volume", "stop"
        std::string path;
        std::uint32_t voice;
        float volume;
    };
    std::vector<Call> calls;

    SoundHandle play2D(const std::string& path) override {
        const std::uint32_t voice = next_++;
        calls.push_back({"play", path, voice, 1.0f});
        paths_.push_back(path);
        return SoundHandle(this, voice, 0);
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
