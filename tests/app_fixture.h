// A fixture that starts the program's logic without a window: a driven clock, the timers
// and keys of start-up, a recording sound engine and recorders in place of the shell.
#pragma once

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "Hand.h"
#include "HandShapes.h"
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

class AppTest : public testing::Test {
protected:
    static AppTest* current;
    DrivenClock clock;
    RecordingSound sound;
    int redisplays = 0;
    int textureUploads = 0;
    int quitStatus = -1;

    void SetUp() override {
        current = this;
        resetAppState();
        initTimers();
        initKeyboard();
        engine = &sound;
        shellHooks.requestRedisplay = [] { ++current->redisplays; };
        shellHooks.ensureFrameLoop = [] {};
        shellHooks.handTextureChanged = [] { ++current->textureUploads; };
        shellHooks.quit = [](int status) { current->quitStatus = status; };
    }

    void TearDown() override {
        engine = nullptr;
        shellHooks = ShellHooks();
        // The program keeps its timers and keys to the end; each test starts its own.
        for (Timer** timer : {&leftHandTimer, &rightHandTimer, &frameRateTimer, &concertLightsTimer}) {
            delete *timer;
            *timer = nullptr;
        }
        for (PianoKey*& key : keys) {
            delete key;
            key = nullptr;
        }
    }

    // Lets one frame interval (and a little) pass, then runs the frame step.
    bool frame(double seconds = 1.0 / 60 + 0.0005) {
        clock.advance(seconds);
        return stepFrame();
    }
    void frames(int count) {
        for (int i = 0; i < count; ++i) frame();
    }
    void press(unsigned char key) { handleKeyPress(key, 0, 0); }
    void release(unsigned char key) { handleKeyUp(key, 0, 0); }

};

inline AppTest* AppTest::current = nullptr;
