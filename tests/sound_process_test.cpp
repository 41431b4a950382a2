// The program's engine at the edges of a run: with no device, and at exit. OpenAL Soft reads
// its configuration once per process, so each case sets it up in a child process of its own;
// this binary itself never touches OpenAL.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Sound.h"
#include "sound_fixtures.h"

namespace {

struct ChildResult {
    int exitCode = -1;
    std::string stderrText;
};

// Runs body in a child process, its stderr captured; the child exits with body's result
// through exit(), so atexit handlers run as they do when the program quits.
ChildResult runInChild(const std::function<int()>& body) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeEnds[0]);
        dup2(pipeEnds[1], STDERR_FILENO);
        close(pipeEnds[1]);
        std::exit(body());
    }
    close(pipeEnds[1]);
    ChildResult result;
    char buffer[512];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) result.stderrText.append(buffer, n);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::size_t lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST(SoundWithoutDevice, CreateGivesNullAfterOneLineSayingSo) {
    const ChildResult child = runInChild([] {
        setenv("ALSOFT_DRIVERS", "no-such-driver", 1);
        return createSoundEngine({}) == nullptr ? 0 : 1;
    });
    EXPECT_EQ(child.exitCode, 0) << "an engine was made with no device";
    EXPECT_EQ(lines(child.stderrText), 1u) << child.stderrText;
    EXPECT_NE(child.stderrText.find("without sound"), std::string::npos) << child.stderrText;
}

TEST(SoundAtExit, ExitClosesTheDeviceSoItsOutputIsComplete) {
    FixtureFolder files;
    const std::string tone = files.tone("tone.wav", 1, 2.0, 440.0, 0.5);
    const std::string capture = files.missing("capture.wav");
    const std::string config = files.file("alsoft.conf",
                                          "[general]\ndrivers = wave\nchannels = stereo\nsample-type = int16\n"
                                          "frequency = 44100\nperiod_size = 1024\nperiods = 3\ndither = false\n"
                                          "[wave]\nfile = " + capture + "\n");

    const ChildResult child = runInChild([&] {
        setenv("ALSOFT_CONF", config.c_str(), 1);
        unsetenv("ALSOFT_DRIVERS");
        SoundEngine* engine = createSoundEngine({tone});
        if (engine == nullptr) return 2;
        if (engine->play2D(tone).isNull()) return 3;
        usleep(300 * 1000);
        return 0;  // exit(), as the program's quit key does
    });
    ASSERT_EQ(child.exitCode, 0) << child.stderrText;

    // The wave writer fills in its header's sizes only when the device is closed.
    std::ifstream raw(capture, std::ios::binary | std::ios::ate);
    ASSERT_TRUE(raw) << "no capture written";
    const auto fileSize = static_cast<std::uint32_t>(raw.tellg());
    raw.seekg(4);
    unsigned char riffSize[4] = {};
    raw.read(reinterpret_cast<char*>(riffSize), 4);
    const std::uint32_t declared = riffSize[0] | riffSize[1] << 8 | riffSize[2] << 16 | std::uint32_t(riffSize[3]) << 24;
    EXPECT_EQ(declared, fileSize - 8) << "the WAV header was not finished";

    SF_INFO info{};
    SNDFILE* file = sf_open(capture.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(static_cast<std::size_t>(info.frames) * info.channels);
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    std::remove(capture.c_str());
    EXPECT_GT(info.frames, 4410) << "less than 0.1 s was mixed";
    float peak = 0.0f;
    for (float v : samples) peak = std::max(peak, std::fabs(v));
    EXPECT_NEAR(peak, 0.5f, 0.02f) << "the tone is not in the capture at its level";
}

// The program's way out closes the engine itself, before main returns: the device is closed
// then, not by the exit handlers (the child leaves through _exit, which runs none).
TEST(SoundAtExit, ClosingTheEngineClosesTheDeviceAndLeavesItSilent) {
    FixtureFolder files;
    const std::string tone = files.tone("tone.wav", 1, 2.0, 440.0, 0.5);
    const std::string capture = files.missing("capture.wav");
    const std::string config = files.file("alsoft.conf",
                                          "[general]\ndrivers = wave\nchannels = stereo\nsample-type = int16\n"
                                          "frequency = 44100\nperiod_size = 1024\nperiods = 3\ndither = false\n"
                                          "[wave]\nfile = " + capture + "\n");
    const ChildResult child = runInChild([&]() -> int {
        setenv("ALSOFT_CONF", config.c_str(), 1);
        unsetenv("ALSOFT_DRIVERS");
        SoundEngine* engine = createSoundEngine({tone});
        if (engine == nullptr) _exit(2);
        SoundHandle playing = engine->play2D(tone);
        usleep(200 * 1000);
        closeSoundEngine(engine);
        closeSoundEngine(engine);  // once closed, closing again does nothing
        closeSoundEngine(nullptr);
        playing.setVolume(0.5f);
        _exit(engine->play2D(tone).isNull() ? 0 : 3);
    });
    ASSERT_EQ(child.exitCode, 0) << child.stderrText;
    SF_INFO info{};
    SNDFILE* file = sf_open(capture.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << "the capture is not a finished WAV file: " << sf_strerror(nullptr);
    sf_close(file);
    std::ifstream raw(capture, std::ios::binary | std::ios::ate);
    const auto fileSize = static_cast<std::uint32_t>(raw.tellg());
    raw.seekg(4);
    unsigned char riffSize[4] = {};
    raw.read(reinterpret_cast<char*>(riffSize), 4);
    const std::uint32_t declared = riffSize[0] | riffSize[1] << 8 | riffSize[2] << 16 | std::uint32_t(riffSize[3]) << 24;
    EXPECT_EQ(declared, fileSize - 8) << "the WAV header was not finished when the engine was closed";
    std::remove(capture.c_str());
}

}  // namespace
