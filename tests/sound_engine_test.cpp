// The OpenAL Soft engine as heard: each case renders the mix through OpenAL Soft's loopback
// device, exact to the sample and faster than real time, and measures what comes out.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "KeyNotes.h"
#include "NotePitch.h"
#include "OpenAlSound.h"
#include "Piano.h"
#include "Instruments.h"
#include "SoundFontLibrary.h"
#include "SoundFontStream.h"
#include "sample_pitch.h"
#include "sound_fixtures.h"

namespace {

constexpr int PERIOD = 1024;  // frames a device mixes at a time in OpenAL Soft's default set-up
constexpr int SETTLE = 2048;  // a volume change is ramped over one mix; this covers it
constexpr float TONE = 0.5f;  // fixture amplitude: loud, well clear of the output limiter

struct Stereo {
    std::vector<float> left, right;
};

double rms(const std::vector<float>& x) {
    double sum = 0.0;
    for (float v : x) sum += double(v) * v;
    return x.empty() ? 0.0 : std::sqrt(sum / x.size());
}

double decibels(double ratio) { return 20.0 * std::log10(ratio); }

// The tone's level at full volume: a cosine of amplitude TONE on each channel.
const double FULL_RMS = TONE / std::sqrt(2.0);

int firstAbove(const std::vector<float>& x, float threshold) {
    for (std::size_t i = 0; i < x.size(); ++i)
        if (std::fabs(x[i]) > threshold) return static_cast<int>(i);
    return -1;
}

// An engine on a loopback device that renders float stereo at the fixtures' rate.
class Loopback {
public:
    // Streams are pulled: each render() first queues what it will mix, as tinklewood-render does.
    explicit Loopback(std::vector<std::string> preload = {}, StreamFeed feed = StreamFeed::Pulled) {
        auto open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
        render_ = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
        if (open == nullptr || render_ == nullptr) return;
        device_ = open(nullptr);
        if (device_ == nullptr) return;
        const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                                     ALC_FREQUENCY, FIXTURE_RATE, ALC_HRTF_SOFT, ALC_FALSE, 0};
        engine_ = OpenAlSoundEngine::create(device_, false, attributes, std::move(preload), feed);
    }
    ~Loopback() {
        engine_.reset();
        if (device_ != nullptr) alcCloseDevice(device_);
    }

    bool ok() const { return engine_ != nullptr; }
    OpenAlSoundEngine& engine() { return *engine_; }

    Stereo render(int frames) {
        std::vector<float> interleaved(static_cast<std::size_t>(frames) * 2);
        engine_->pumpStreams(frames);
        render_(device_, interleaved.data(), frames);
        Stereo out;
        for (int i = 0; i < frames; ++i) {
            out.left.push_back(interleaved[2 * i]);
            out.right.push_back(interleaved[2 * i + 1]);
        }
        return out;
    }
    // The level of what plays now, once any volume ramp has run its course.
    double settledRms() {
        render(SETTLE);
        return rms(render(4096).left);
    }

private:
    ALCdevice* device_ = nullptr;
    LPALCRENDERSAMPLESSOFT render_ = nullptr;
    std::unique_ptr<OpenAlSoundEngine> engine_;
};

class SoundEngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(loop.ok()) << "OpenAL Soft's loopback device is not available"; }

    FixtureFolder files;
    Loopback loop;
    std::string longTone = files.tone("long.wav", 1, 3.0, 440.0, TONE);
};

// ---- Starting -------------------------------------------------------------------------

TEST_F(SoundEngineTest, StartedSampleIsHeardWithinOneMixingPeriod) {
    loop.render(PERIOD);  // a device already running
    SoundHandle handle = loop.engine().play2D(longTone);
    ASSERT_FALSE(handle.isNull());
    const Stereo first = loop.render(PERIOD);
    const int onset = firstAbove(first.left, 0.1f * TONE);
    EXPECT_GE(onset, 0) << "nothing heard in the first period after play2D";
    EXPECT_LT(onset, PERIOD);
}

TEST_F(SoundEngineTest, StartedSampleIsHeardAtItsOwnLevel) {
    loop.engine().play2D(longTone);
    EXPECT_NEAR(decibels(loop.settledRms() / FULL_RMS), 0.0, 0.1);
}

TEST_F(SoundEngineTest, MonoSampleSoundsCentredAndExactlyAsTheSameSamplesInStereo) {
    // The same tone in both channels of a stereo file: what a mono sample held once must sound
    // like, to the sample.
    const std::string stereo = files.tone("stereo.wav", 2, 3.0, 440.0, TONE);

    SoundHandle mono = loop.engine().play2D(longTone);
    loop.render(SETTLE);
    const Stereo fromMono = loop.render(4096);
    mono.stop();
    loop.engine().play2D(stereo);
    loop.render(SETTLE);
    const Stereo fromStereo = loop.render(4096);

    for (std::size_t i = 0; i < fromMono.left.size(); ++i) {
        ASSERT_FLOAT_EQ(fromMono.left[i], fromMono.right[i]) << "mono is off centre at frame " << i;
        ASSERT_NEAR(fromMono.left[i], fromStereo.left[i], 1e-6f) << "frame " << i;
    }
    EXPECT_NEAR(decibels(rms(fromMono.left) / FULL_RMS), 0.0, 0.01);
}

TEST_F(SoundEngineTest, EachSampleIsHeldOnceInItsOwnChannels) {
    const std::string stereo = files.tone("stereo.wav", 2, 1.0, 440.0, TONE);
    const std::string mono = files.tone("mono.wav", 1, 1.0, 440.0, TONE);
    loop.engine().play2D(mono).stop();
    EXPECT_EQ(loop.engine().heldSampleBytes(), FIXTURE_RATE * 2u) << "one second, one channel, 16 bits";
    loop.engine().play2D(stereo).stop();
    EXPECT_EQ(loop.engine().heldSampleBytes(), FIXTURE_RATE * (2u + 4u));
}

TEST_F(SoundEngineTest, StereoSampleKeepsItsChannelsApart) {
    loop.engine().play2D(files.stereoTone("left.wav", 3.0, 440.0, TONE, 0.0));
    loop.render(SETTLE);
    const Stereo out = loop.render(4096);
    EXPECT_NEAR(decibels(rms(out.left) / FULL_RMS), 0.0, 0.1);
    EXPECT_LT(rms(out.right), 1e-6) << "the left channel leaks into the right";
}

TEST_F(SoundEngineTest, Mp3SamplePlays) {
    const std::string mp3 = files.tone("tone.mp3", 1, 1.0, 440.0, TONE, FixtureFormat::MP3);
    SoundHandle handle = loop.engine().play2D(mp3);
    ASSERT_FALSE(handle.isNull());
    EXPECT_NEAR(decibels(loop.settledRms() / FULL_RMS), 0.0, 0.5);
}

// ---- Volume and stop ------------------------------------------------------------------

TEST_F(SoundEngineTest, QuarterVolumeIsTwelveDecibelsDown) {
    SoundHandle handle = loop.engine().play2D(longTone);
    const double full = loop.settledRms();
    handle.setVolume(0.25f);
    EXPECT_NEAR(decibels(loop.settledRms() / full), -12.04, 0.05);
}

TEST_F(SoundEngineTest, AStereoSampleOnAVoiceThatPlayedMonoKeepsItsOwnLevel) {
    // Every voice first plays the mono tone, so the stereo one lands on a voice that did.
    for (std::size_t i = 0; i < OpenAlSoundEngine::VOICES; ++i) loop.engine().play2D(longTone).stop();
    SoundHandle handle = loop.engine().play2D(files.stereoTone("left.wav", 3.0, 440.0, TONE, 0.0));
    EXPECT_NEAR(decibels(loop.settledRms() / FULL_RMS), 0.0, 0.01);
    handle.setVolume(0.25f);
    EXPECT_NEAR(decibels(loop.settledRms() / FULL_RMS), -12.04, 0.05);
}

TEST_F(SoundEngineTest, VolumeOutsideZeroToOneIsHeldToIt) {
    SoundHandle handle = loop.engine().play2D(longTone);
    const double full = loop.settledRms();
    handle.setVolume(4.0f);
    EXPECT_NEAR(loop.settledRms(), full, full * 1e-3);
    handle.setVolume(-1.0f);
    EXPECT_LT(loop.settledRms(), 1e-6);
    handle.setVolume(std::nanf(""));
    EXPECT_LT(loop.settledRms(), 1e-6);
}

TEST_F(SoundEngineTest, StopSilencesFromTheNextMix) {
    SoundHandle handle = loop.engine().play2D(longTone);
    loop.render(SETTLE);
    handle.stop();
    const Stereo after = loop.render(PERIOD);
    EXPECT_EQ(firstAbove(after.left, 1e-6f), -1);
    EXPECT_EQ(firstAbove(after.right, 1e-6f), -1);
}

TEST_F(SoundEngineTest, HandleOfAnEndedOrStoppedSoundDoesNothing) {
    const std::string blip = files.tone("blip.wav", 1, 0.02, 880.0, TONE);
    SoundHandle ended = loop.engine().play2D(blip);
    SoundHandle stopped = loop.engine().play2D(longTone);
    stopped.stop();
    loop.render(4096);
    for (SoundHandle* handle : {&ended, &stopped}) {
        handle->setVolume(1.0f);
        handle->stop();
        handle->stop();
    }
    EXPECT_EQ(firstAbove(loop.render(4096).left, 1e-6f), -1) << "an ended sound came back";
}

// ---- The voice pool -------------------------------------------------------------------

TEST_F(SoundEngineTest, StaleHandleNeverTouchesTheSoundThatReusedItsVoice) {
    const std::string blip = files.tone("blip.wav", 1, 0.02, 880.0, TONE);
    const SoundHandle stale = loop.engine().play2D(blip);
    ASSERT_FALSE(stale.isNull());
    loop.render(4096);  // the blip has ended; its voice is free

    SoundHandle reuser;
    for (std::size_t tries = 0; tries < 2 * OpenAlSoundEngine::VOICES; ++tries) {
        SoundHandle handle = loop.engine().play2D(longTone);
        if (handle.voice() == stale.voice()) {
            reuser = handle;
            break;
        }
        handle.stop();
    }
    ASSERT_FALSE(reuser.isNull()) << "the blip's voice was never reused";
    EXPECT_NE(reuser.generation(), stale.generation());

    const double before = loop.settledRms();
    SoundHandle copy = stale;
    copy.setVolume(0.0f);
    copy.stop();
    EXPECT_NEAR(decibels(loop.settledRms() / before), 0.0, 0.01);
}

TEST_F(SoundEngineTest, StartWithEveryVoiceBusyCutsTheOldest) {
    std::vector<SoundHandle> handles;
    for (std::size_t i = 0; i < OpenAlSoundEngine::VOICES; ++i) handles.push_back(loop.engine().play2D(longTone));
    // Only the oldest is heard, so whether it goes on is plain to hear.
    for (std::size_t i = 1; i < handles.size(); ++i) handles[i].setVolume(0.0f);
    ASSERT_NEAR(decibels(loop.settledRms() / FULL_RMS), 0.0, 0.1);

    SoundHandle newest = loop.engine().play2D(longTone);
    ASSERT_FALSE(newest.isNull());
    EXPECT_EQ(newest.voice(), handles[0].voice());
    newest.setVolume(0.0f);
    EXPECT_LT(loop.settledRms(), 1e-6) << "the oldest sound was not the one cut";

    handles[1].setVolume(1.0f);  // the next oldest is still live
    EXPECT_NEAR(decibels(loop.settledRms() / FULL_RMS), 0.0, 0.1);
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4096;
}

TEST_F(SoundEngineTest, TenThousandStartsStayWithinThePoolAndBoundedMemory) {
    const std::vector<std::string> paths = {files.tone("a.wav", 1, 0.3, 330.0, TONE),
                                            files.tone("b.wav", 2, 0.1, 440.0, TONE),
                                            files.tone("c.wav", 1, 0.05, 550.0, TONE)};
    auto startMany = [&](int count, std::set<std::uint32_t>& voices) {
        for (int i = 0; i < count; ++i) {
            SoundHandle handle = loop.engine().play2D(paths[i % paths.size()]);
            ASSERT_FALSE(handle.isNull());
            voices.insert(handle.voice());
            if (i % 7 == 0) handle.setVolume(0.5f);
            if (i % 11 == 0) handle.stop();
            loop.render(64);
        }
    };
    std::set<std::uint32_t> voices;
    startMany(1000, voices);
    const std::size_t residentBefore = residentBytes();
    startMany(9000, voices);
    const std::size_t residentAfter = residentBytes();

    EXPECT_LE(voices.size(), OpenAlSoundEngine::VOICES);
    EXPECT_LT(*voices.rbegin(), OpenAlSoundEngine::VOICES);
    EXPECT_EQ(loop.engine().cachedFiles(), paths.size());
#if !defined(__SANITIZE_ADDRESS__)
    // The sanitizer's quarantine holds freed memory back on purpose, so only a plain build
    // can tell growth from garbage.
    EXPECT_LT(residentAfter, residentBefore + 2 * 1024 * 1024);
#else
    (void)residentBefore;
    (void)residentAfter;
#endif
    // Still playing after all that.
    loop.engine().play2D(paths[0]);
    EXPECT_GT(rms(loop.render(PERIOD).left), 0.1 * FULL_RMS);
}

// ---- Files ----------------------------------------------------------------------------

TEST_F(SoundEngineTest, MissingFileGivesSilentHandleAndOneLineNamingIt) {
    const std::string missing = files.missing("nowhere.mp3");
    ::testing::internal::CaptureStderr();
    SoundHandle first = loop.engine().play2D(missing);
    SoundHandle second = loop.engine().play2D(missing);
    const std::string said = ::testing::internal::GetCapturedStderr();

    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(second.isNull());
    first.setVolume(1.0f);
    first.stop();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(missing), std::string::npos) << said;
    EXPECT_EQ(firstAbove(loop.render(PERIOD).left, 1e-6f), -1);
}

// The lines the engine itself wrote; the MP3 decoder adds notes of its own on a broken stream.
std::vector<std::string> engineLines(const std::string& said) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < said.size();) {
        const std::size_t end = std::min(said.find('\n', at), said.size());
        if (said.compare(at, 11, "tinklewood:") == 0) lines.push_back(said.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

TEST_F(SoundEngineTest, UndecodableFileGivesSilentHandleAndOneLineNamingIt) {
    const std::string garbage = files.file("garbage.mp3", std::string(3000, '\x5a'));
    const std::string empty = files.file("empty.wav", "");
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(loop.engine().play2D(garbage).isNull());
        EXPECT_TRUE(loop.engine().play2D(empty).isNull());
    }
    const std::vector<std::string> lines = engineLines(::testing::internal::GetCapturedStderr());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(garbage), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(empty), std::string::npos) << lines[1];
}

TEST_F(SoundEngineTest, EachFileIsDecodedOnceAndKept) {
    const std::string path = files.tone("kept.wav", 1, 1.0, 440.0, TONE);
    loop.engine().play2D(path).stop();
    std::remove(path.c_str());  // a second decode would now fail
    SoundHandle again = loop.engine().play2D(path);
    ASSERT_FALSE(again.isNull());
    EXPECT_NEAR(decibels(loop.settledRms() / FULL_RMS), 0.0, 0.1);
    EXPECT_EQ(loop.engine().cachedFiles(), 1u);
}

TEST(SoundEnginePreload, FilesAreDecodedAheadOnTheWorker) {
    FixtureFolder files;
    const std::string a = files.tone("a.wav", 1, 1.0, 440.0, TONE);
    const std::string b = files.tone("b.wav", 2, 1.0, 440.0, TONE);
    Loopback loop({a, b});
    ASSERT_TRUE(loop.ok());
    loop.engine().waitForPreload();
    EXPECT_EQ(loop.engine().cachedFiles(), 2u);

    std::remove(a.c_str());
    std::remove(b.c_str());
    EXPECT_FALSE(loop.engine().play2D(a).isNull());
    EXPECT_FALSE(loop.engine().play2D(b).isNull());
    EXPECT_NEAR(decibels(loop.settledRms() / FULL_RMS), 6.02, 0.1);  // two equal tones in phase
}

TEST(SoundEnginePreload, CopiesRaisedByOctavesAreMadeAheadForAnEngineOnADevice) {
    FixtureFolder files;
    const std::string tone = files.tone("t.wav", 1, 1.0, 220.0, TONE);
    const std::vector<std::pair<std::string, float>> asked = {{tone, 2.0f}, {tone, 8.0f}, {tone, 0.5f}, {tone, 3.0f}};
    Loopback device({}, StreamFeed::Thread);
    ASSERT_TRUE(device.ok());
    device.engine().prepareAtPitch(asked);
    device.engine().waitForPreload();
    EXPECT_EQ(device.engine().cachedFiles(), 2u) << "one copy an octave up (for 2 and 3 times), one three up";
    device.engine().prepareAtPitch(asked);  // a worker that has ended starts again, and finds them made
    device.engine().waitForPreload();
    EXPECT_FALSE(device.engine().playAtPitch(tone, 8.0f).isNull());
    EXPECT_EQ(device.engine().cachedFiles(), 2u) << "the note's copy was made again";
    // Rendered by hand, a first note's copy is made as it is asked for, and the mix waits.
    Loopback pulled;
    pulled.engine().prepareAtPitch(asked);
    pulled.engine().waitForPreload();
    EXPECT_EQ(pulled.engine().cachedFiles(), 0u);
}

TEST(SoundEnginePreload, FileAskedForWhileTheWorkerHasItIsReportedOnce) {
    FixtureFolder files;
    std::vector<std::string> preload;
    for (int i = 0; i < 40; ++i) preload.push_back(files.tone("t" + std::to_string(i) + ".wav", 1, 0.5, 440.0, TONE));
    const std::string missing = files.missing("absent.mp3");
    preload.push_back(missing);

    ::testing::internal::CaptureStderr();
    {
        Loopback loop(preload);
        ASSERT_TRUE(loop.ok());
        // The main thread races the worker through the same list, from the far end.
        for (auto path = preload.rbegin(); path != preload.rend(); ++path) loop.engine().play2D(*path);
        loop.engine().waitForPreload();
        EXPECT_EQ(loop.engine().cachedFiles(), preload.size());
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(missing), std::string::npos) << said;
}

TEST(SoundEnginePreload, UnplayablePreloadFilesAreCountedOnOneLineNamingTheFirst) {
    FixtureFolder files;
    const std::string good = files.tone("good.wav", 1, 0.5, 440.0, TONE);
    const std::string first = files.missing("first.mp3");
    const std::string garbage = files.file("garbage.wav", std::string(3000, '\x5a'));
    ::testing::internal::CaptureStderr();
    {
        Loopback loop({first, good, files.missing("second.mp3"), garbage});
        ASSERT_TRUE(loop.ok());
        loop.engine().waitForPreload();
        EXPECT_FALSE(loop.engine().play2D(good).isNull());
        EXPECT_TRUE(loop.engine().play2D(garbage).isNull()) << "told once, in the count";
    }
    const std::vector<std::string> lines = engineLines(::testing::internal::GetCapturedStderr());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("3 samples"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(first + ": no such file"), std::string::npos) << lines[0];
}

TEST_F(SoundEngineTest, AfterShutdownEveryCallIsSilence) {
    SoundHandle before = loop.engine().play2D(longTone);
    loop.engine().shutdown();
    EXPECT_TRUE(loop.engine().play2D(longTone).isNull());
    before.setVolume(0.5f);
    before.stop();
    loop.engine().shutdown();
}

// shutdown() empties the cache while another thread may still be decoding a sample into it:
// that decoding must find its entry gone, not write into the memory it was freed with.
TEST_F(SoundEngineTest, ASampleStillDecodingWhenTheEngineShutsDownIsDroppedSilently) {
    // A pipe in the sample's place holds its decoding until the test writes the file into it.
    const std::string pipePath = files.missing("slow.wav");
    ASSERT_EQ(mkfifo(pipePath.c_str(), 0600), 0);
    std::ifstream source(files.tone("source.wav", 1, 0.5, 440.0, TONE), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
    const auto previousPipeAction = std::signal(SIGPIPE, SIG_IGN);  // the decoder may stop reading early

    testing::internal::CaptureStderr();
    SoundHandle handle(&loop.engine(), 0, 0);
    std::thread player([&] { handle = loop.engine().play2D(pipePath); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (loop.engine().cachedFiles() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(loop.engine().cachedFiles(), 1u) << "the decoding never started";
    loop.engine().shutdown();
    EXPECT_EQ(loop.engine().cachedFiles(), 0u);

    const int pipeEnd = open(pipePath.c_str(), O_WRONLY);
    ASSERT_GE(pipeEnd, 0);
    [[maybe_unused]] const ssize_t written = write(pipeEnd, bytes.data(), bytes.size());
    close(pipeEnd);
    player.join();
    std::signal(SIGPIPE, previousPipeAction);
    EXPECT_TRUE(handle.isNull());
    EXPECT_EQ(loop.engine().cachedFiles(), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "a closed engine has nothing to report";
}

}  // namespace

// ---- Notes at any pitch ---------------------------------------------------------------

namespace {

std::string soundsDir() {
    const char* top = std::getenv("TINKLEWOOD_SOURCE_DIR");
    return std::string(top != nullptr ? top : "..") + "/res/sounds/";
}

// The pitch of what plays from now, mixed alone: the left channel of `seconds` rendered.
double pitchOfNextSeconds(Loopback& loop, double seconds, double* level = nullptr) {
    const std::vector<float> left = loop.render(static_cast<int>(seconds * FIXTURE_RATE)).left;
    if (level != nullptr) *level = rms(std::vector<float>(left.begin() + left.size() / 2, left.end()));
    return estimatePitchHz(left, FIXTURE_RATE);
}

// Power spectrum of a Hann-windowed stretch, bin by bin (a plain transform: short and rare).
std::vector<double> powerSpectrum(const std::vector<float>& x) {
    const std::size_t n = x.size();
    std::vector<double> power(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k) {
        double re = 0.0, im = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double w = x[i] * (0.5 - 0.5 * std::cos(2.0 * M_PI * i / (n - 1)));
            re += w * std::cos(2.0 * M_PI * k * i / n);
            im -= w * std::sin(2.0 * M_PI * k * i / n);
        }
        power[k] = re * re + im * im;
    }
    return power;
}

}  // namespace

TEST(NoteSample, EveryMidiNoteComesFromTheNearestKeyOfItsName) {
    for (int note = 0; note <= 127; ++note) {
        const NoteSample s = noteSample(note);
        ASSERT_GE(s.key, 0);
        ASSERT_LT(s.key, 25);
        const int sampled = keyMidiNote(s.key);
        EXPECT_EQ(sampled + 12 * s.octaves, note) << "note " << note;
        EXPECT_FLOAT_EQ(s.pitch, std::pow(2.0f, static_cast<float>(s.octaves))) << "note " << note;
        if (note < LOWEST_MIDI_NOTE) {
            EXPECT_LT(sampled, LOWEST_MIDI_NOTE + 12) << "not the nearest octave for " << note;
        } else if (note > HIGHEST_MIDI_NOTE) {
            EXPECT_GT(sampled, HIGHEST_MIDI_NOTE - 12) << "not the nearest octave for " << note;
        } else {
            EXPECT_EQ(s.octaves, 0) << "note " << note;
        }
    }
    EXPECT_FLOAT_EQ(noteSample(21).pitch, 0.125f) << "A0 is A3 three octaves down";
    EXPECT_FLOAT_EQ(noteSample(108).pitch, 8.0f) << "C8 is C5 three octaves up";
    EXPECT_EQ(noteSample(-7).key, noteSample(0).key) << "held to MIDI's range";
    EXPECT_EQ(noteSample(300).octaves, noteSample(127).octaves);
}

TEST_F(SoundEngineTest, SampleAtAPitchRatioSoundsThatManyTimesHigher) {
    // Ratios from MIDI's lowest note to its highest, each measured on a tone that lands
    // within the measurement's range; each tone long enough for a 0.6 s window at its speed.
    struct Case {
        float pitch;
        double hz;
    };
    for (const Case c : {Case{1.0f / 16, 1000.0}, Case{0.5f, 440.0}, Case{2.0f, 440.0}, Case{8.0f, 110.0},
                         Case{32.0f, 27.5}}) {
        const std::string tone = files.tone("tone" + std::to_string(c.pitch) + ".wav", 1,
                                            std::max(1.0, 0.7 * c.pitch), c.hz, TONE);
        SoundHandle handle = loop.engine().playAtPitch(tone, c.pitch);
        ASSERT_FALSE(handle.isNull());
        double level = 0.0;
        const double measured = pitchOfNextSeconds(loop, 0.7, &level);
        EXPECT_NEAR(centsBetween(measured, c.hz * c.pitch), 0.0, 1.0) << "at " << c.pitch << " times " << c.hz << " Hz";
        EXPECT_NEAR(decibels(level / FULL_RMS), 0.0, 0.2) << "at " << c.pitch << " times: its level changed";
        handle.stop();
    }
}

TEST_F(SoundEngineTest, PitchIsSetAnewOnEveryStartOfAVoice) {
    for (std::size_t i = 0; i < OpenAlSoundEngine::VOICES; ++i) loop.engine().playAtPitch(longTone, 2.0f).stop();
    SoundHandle plain = loop.engine().play2D(longTone);
    EXPECT_NEAR(centsBetween(pitchOfNextSeconds(loop, 0.7), 440.0), 0.0, 1.0);
    plain.stop();
    loop.engine().playAtPitch(longTone, std::nanf(""));
    EXPECT_NEAR(centsBetween(pitchOfNextSeconds(loop, 0.7), 440.0), 0.0, 1.0)
        << "a NaN ratio plays at the sample's own";
}

TEST_F(SoundEngineTest, SampleEightTimesFasterKeepsItsUpperPartialsFromFoldingBack) {
    // A sawtooth of C5 played as C8: its partials above the output's Nyquist frequency must
    // be filtered away, not folded back between the harmonics.
    const double hz = 523.25;
    loop.engine().playAtPitch(files.sawtooth("saw.wav", 1.0, hz, 0.2), 8.0f);
    loop.render(1024);
    const std::vector<float> stretch = loop.render(4096).left;
    const std::vector<double> power = powerSpectrum(stretch);
    double harmonic = 0.0, other = 0.0;
    for (std::size_t k = 1; k < power.size(); ++k) {
        const double f = static_cast<double>(k) * FIXTURE_RATE / stretch.size();
        const double nearest = std::round(f / (8 * hz)) * 8 * hz;
        (nearest > 0 && std::fabs(f - nearest) < 40.0 ? harmonic : other) += power[k];
    }
    EXPECT_LT(10.0 * std::log10(other / harmonic), -40.0) << "aliases between the harmonics";
}

TEST_F(SoundEngineTest, NotesBeyondTheKeysSoundAtTheirOwnPitchFromTheShippedSamples) {
    // C2 and C6, an octave below and above the keys, on every instrument; and each key's
    // sample at its own speed as the reference for how true the shipped sample itself is.
    for (const std::string_view folder : INSTRUMENT_FOLDERS) {
        for (const int note : {36, 84}) {
            const NoteSample s = noteSample(note);
            const std::string path = soundsDir() + std::string(folder) + std::string(KEY_SAMPLE_FILES[static_cast<std::size_t>(s.key)]);
            SoundHandle handle = loop.engine().playAtPitch(path, s.pitch);
            ASSERT_FALSE(handle.isNull()) << path;
            const double measured = pitchOfNextSeconds(loop, 0.8);
            EXPECT_NEAR(centsBetween(measured, midiToHz(note)), 0.0, 10.0)
                << folder << " note " << note << " from " << path;
            handle.stop();
        }
    }
}

TEST_F(SoundEngineTest, TheKeyboardsExtremesSound) {
    // A0 and C8 lie outside what the pitch measurement reaches; they must at least be heard.
    for (const int note : {21, 108}) {
        const NoteSample s = noteSample(note);
        const std::string path = soundsDir() + "piano/" + std::string(KEY_SAMPLE_FILES[static_cast<std::size_t>(s.key)]);
        SoundHandle handle = loop.engine().playAtPitch(path, s.pitch);
        ASSERT_FALSE(handle.isNull()) << path;
        EXPECT_GT(rms(loop.render(FIXTURE_RATE / 4).left), 0.01) << "note " << note;
        handle.stop();
    }
}

// ---- SoundFonts -----------------------------------------------------------------------

namespace {

constexpr int BLOCK = SoundFontStream::BLOCK_FRAMES;

// Renders in the stream's blocks, as a device with the program's mixing period mixes.
Stereo renderInBlocks(Loopback& loop, int frames) {
    Stereo out;
    for (int done = 0; done < frames; done += BLOCK) {
        const Stereo block = loop.render(BLOCK);
        out.left.insert(out.left.end(), block.left.begin(), block.left.end());
        out.right.insert(out.right.end(), block.right.begin(), block.right.end());
    }
    return out;
}

SoundFontStream& streamOf(const std::unique_ptr<Synth>& synth) { return dynamic_cast<SoundFontStream&>(*synth); }

// The engine's lines on stderr while `run` runs, and nothing else counted.
template <typename Run>
std::vector<std::string> linesWhile(Run run) {
    ::testing::internal::CaptureStderr();
    run();
    const std::string said = ::testing::internal::GetCapturedStderr();
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < said.size();) {
        const std::size_t end = std::min(said.find('\n', at), said.size());
        lines.push_back(said.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

}  // namespace

TEST_F(SoundEngineTest, SoundFontNotesSoundAtTheirPitch) {
    std::unique_ptr<Synth> synth = loop.engine().openSoundFont(files.soundFont("sine.sf2"));
    ASSERT_NE(synth, nullptr);
    for (const int note : {36, 60, 69, 84}) {
        synth->noteOn(0, note, 100);
        const double measured = estimatePitchHz(renderInBlocks(loop, FIXTURE_RATE * 3 / 4).left, FIXTURE_RATE);
        EXPECT_NEAR(centsBetween(measured, midiToHz(note)), 0.0, 10.0) << "note " << note;
        synth->noteOff(0, note);
        renderInBlocks(loop, FIXTURE_RATE / 2);
    }
}

TEST_F(SoundEngineTest, SoundFont3WithVorbisSamplesPlaysAtPitch) {
    FixtureSoundFont compressed;
    compressed.vorbis = true;
    std::unique_ptr<Synth> synth = loop.engine().openSoundFont(files.soundFont("sine.sf3", compressed));
    ASSERT_NE(synth, nullptr);
    synth->noteOn(0, 57, 100);
    const double measured = estimatePitchHz(renderInBlocks(loop, FIXTURE_RATE * 3 / 4).left, FIXTURE_RATE);
    EXPECT_NEAR(centsBetween(measured, midiToHz(57)), 0.0, 10.0);
}

TEST_F(SoundEngineTest, SoundFontNoteIsHeardWithinFiftyMillisecondsOfItsNoteOn) {
    std::unique_ptr<Synth> synth = loop.engine().openSoundFont(files.soundFont("sine.sf2"));
    ASSERT_NE(synth, nullptr);
    for (int channel : {0, 1}) synth->controller(channel, 91, 0);  // no reverb to leak across
    synth->controller(0, 10, 0);                                   // the measured notes: left
    synth->controller(1, 10, 127);                                 // the note that keeps the stream awake: right
    synth->noteOn(0, 69, 100);  // from rest
    int worst = 0;
    for (int offset : {-1, 0, 37, 128, 255}) {
        if (offset >= 0) {
            loop.render(offset);  // the note-on comes part way through a block
            synth->noteOn(0, 69, 100);
        }
        const Stereo heard = renderInBlocks(loop, FIXTURE_RATE / 10);
        const int onset = firstAbove(heard.left, 0.02f);  // over what the right leaks into the left
        ASSERT_GE(onset, 0) << "nothing heard within 100 ms, offset " << offset;
        EXPECT_LT(onset, FIXTURE_RATE / 20) << "offset " << offset;
        worst = std::max(worst, onset);
        RecordProperty("onset_at_offset_" + std::to_string(offset), onset);
        synth->noteOff(0, 69);
        if (offset < 0) synth->noteOn(1, 48, 100);
        renderInBlocks(loop, FIXTURE_RATE / 4);
        ASSERT_LT(rms(loop.render(BLOCK).left), 5e-3) << "the measured note did not end";
    }
    RecordProperty("worst_onset_ms", std::to_string(1000.0 * worst / FIXTURE_RATE));
}

TEST_F(SoundEngineTest, PulledSoundFontStreamRendersTheSameEveryTime) {
    const std::string path = files.soundFont("sine.sf2");
    auto play = [&] {
        Loopback own;
        std::unique_ptr<Synth> synth = own.engine().openSoundFont(path);
        std::vector<float> out;
        for (int step = 0; step < 40 && synth != nullptr; ++step) {
            if (step % 5 == 0) synth->noteOn(step % 3, 50 + step, 90);
            if (step % 7 == 3) synth->noteOff(step % 3, 50 + step - 3);
            const Stereo block = own.render(735 + step % 2);  // a frame's samples, as the render tool mixes
            out.insert(out.end(), block.left.begin(), block.left.end());
        }
        return out;
    };
    const std::vector<float> first = play();
    ASSERT_GT(rms(first), 0.01);
    EXPECT_EQ(first, play());
}

TEST_F(SoundEngineTest, SoundFontStreamRestsWhenSilentAndWakesOnTheNextNote) {
    std::unique_ptr<Synth> synth = loop.engine().openSoundFont(files.soundFont("sine.sf2"));
    ASSERT_NE(synth, nullptr);
    EXPECT_EQ(firstAbove(renderInBlocks(loop, FIXTURE_RATE / 4).left, 0.0f), -1) << "sound before any note";
    EXPECT_EQ(streamOf(synth).starts(), 0) << "rendering before any note";
    synth->noteOn(0, 69, 100);
    renderInBlocks(loop, FIXTURE_RATE / 4);
    synth->noteOff(0, 69);
    renderInBlocks(loop, 8 * FIXTURE_RATE);  // the release and the reverb's tail
    EXPECT_EQ(firstAbove(renderInBlocks(loop, FIXTURE_RATE / 4).left, 0.0f), -1) << "still sounding at rest";
    EXPECT_EQ(streamOf(synth).starts(), 1);
    synth->noteOn(0, 69, 100);
    EXPECT_GT(rms(renderInBlocks(loop, FIXTURE_RATE / 4).left), 0.01);
    EXPECT_EQ(streamOf(synth).starts(), 2);
    EXPECT_EQ(streamOf(synth).underruns(), 0);
}

TEST_F(SoundEngineTest, SoundFontSustainPedalHoldsNotesUntilAllNotesOff) {
    std::unique_ptr<Synth> synth = loop.engine().openSoundFont(files.soundFont("sine.sf2"));
    ASSERT_NE(synth, nullptr);
    synth->controller(0, 91, 0);  // no reverb: the release alone is heard
    synth->controller(0, 64, 127);
    synth->noteOn(0, 69, 100);
    const double held = rms(renderInBlocks(loop, FIXTURE_RATE / 4).left);
    synth->noteOff(0, 69);
    EXPECT_NEAR(decibels(rms(renderInBlocks(loop, FIXTURE_RATE / 4).left) / held), 0.0, 1.0) << "the pedal let go";
    synth->allNotesOff();
    renderInBlocks(loop, FIXTURE_RATE / 4);
    EXPECT_LT(rms(renderInBlocks(loop, FIXTURE_RATE / 4).left), held * 1e-3) << "still held after all notes off";
}

TEST_F(SoundEngineTest, ProgramASoundFontLacksFallsBackToOneItHas) {
    FixtureSoundFont lonely;
    lonely.presets = {{0, 5}, {3, 1}};
    std::unique_ptr<Synth> synth = loop.engine().openSoundFont(files.soundFont("lonely.sf2", lonely));
    ASSERT_NE(synth, nullptr);
    ASSERT_EQ(synth->presets().size(), 2u);
    EXPECT_EQ(synth->presets()[0].program, 5) << "bank 0 first";
    EXPECT_EQ(synth->presets()[1].bank, 3);

    synth->programChange(2, 40);  // a violin part, on a SoundFont of one sound
    synth->noteOn(2, 69, 100);
    EXPECT_GT(rms(renderInBlocks(loop, FIXTURE_RATE / 4).left), 0.01) << "a melodic part without its program is silent";
    synth->allNotesOff();
    renderInBlocks(loop, 8 * FIXTURE_RATE);
    synth->noteOn(9, 38, 100);  // a snare, with no drum kit
    EXPECT_EQ(firstAbove(renderInBlocks(loop, FIXTURE_RATE / 4).left, 1e-4f), -1) << "drums played on a melodic sound";
}

TEST_F(SoundEngineTest, DrumChannelPlaysTheSoundFontsKit) {
    FixtureSoundFont kit;
    kit.presets = {{0, 0}, {128, 0}};
    std::unique_ptr<Synth> synth = loop.engine().openSoundFont(files.soundFont("kit.sf2", kit));
    ASSERT_NE(synth, nullptr);
    synth->programChange(9, 25);  // a kit it lacks: its own instead
    synth->noteOn(9, 38, 100);
    EXPECT_GT(rms(renderInBlocks(loop, FIXTURE_RATE / 4).left), 0.01);
}

TEST_F(SoundEngineTest, SoundFontIsNamedByItsOwnNameOrElseItsFileName) {
    std::unique_ptr<Synth> named = loop.engine().openSoundFont(files.soundFont("x.sf2"));
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(named->name(), "Fixture Sine");
    FixtureSoundFont nameless;
    nameless.name = "";
    std::unique_ptr<Synth> unnamed = loop.engine().openSoundFont(files.soundFont("grand_old_piano.sf2", nameless));
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(unnamed->name(), "Grand Old Piano");
    FixtureSoundFont odd;
    odd.name = std::string("Piano\t\x01\xc3\xa9  of ") + std::string(60, 'x');
    std::string name, error;
    ASSERT_TRUE(readSoundFontName(files.soundFont("odd.sf2", odd), name, error)) << error;
    EXPECT_EQ(name, "Piano of " + std::string(31, 'x')) << "printable, spaces made one, 40 characters";
}

TEST_F(SoundEngineTest, DamagedSoundFontIsRefusedWithOneLineNamingIt) {
    const std::string whole = FixtureFolder::soundFontBytes({});
    std::vector<std::string> damaged = {files.file("empty.sf2", ""), files.file("garbage.sf2", std::string(5000, 'Z')),
                                        files.missing("absent.sf2"), files.file("wav.sf2", "RIFF\x10\0\0\0WAVEfmt ")};
    // Cut short at every stage of its structure: header, INFO, samples, each preset table.
    for (std::size_t length : {std::size_t{4}, std::size_t{12}, std::size_t{30}, std::size_t{90}, whole.size() / 2,
                               whole.size() - 700, whole.size() - 300, whole.size() - 100, whole.size() - 1})
        damaged.push_back(files.file("cut" + std::to_string(length) + ".sf2", whole.substr(0, length)));
    // The sizes of its chunks made to lie.
    std::string lying = whole;
    lying.replace(4, 4, "\xff\xff\xff\x7f");
    damaged.push_back(files.file("lying.sf2", lying));

    for (const std::string& path : damaged) {
        std::unique_ptr<Synth> synth;
        const std::vector<std::string> lines = linesWhile([&] { synth = loop.engine().openSoundFont(path); });
        EXPECT_EQ(synth, nullptr) << path;
        ASSERT_EQ(lines.size(), 1u) << path << ":\n" << ::testing::PrintToString(lines);
        EXPECT_NE(lines[0].find(path), std::string::npos) << lines[0];
    }
}

TEST_F(SoundEngineTest, SoundFontWithBytesChangedLoadsOrIsRefusedButNeverCrashes) {
    // Changed bytes in the preset tables, where FluidSynth reads indices and counts: what
    // it loads must play and render; what it refuses, one line.
    const std::string whole = FixtureFolder::soundFontBytes({});
    const std::size_t tables = whole.rfind("pdta");
    unsigned seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xffffff; };
    int loaded = 0, refused = 0;
    for (int trial = 0; trial < 150; ++trial) {
        std::string bytes = whole;
        for (int change = 0; change < 3; ++change)
            bytes[tables + next() % (bytes.size() - tables)] = static_cast<char>(next() & 0xff);
        const std::string path = files.file("changed" + std::to_string(trial) + ".sf2", bytes);
        std::unique_ptr<Synth> synth;
        const std::vector<std::string> lines = linesWhile([&] { synth = loop.engine().openSoundFont(path); });
        if (synth == nullptr) {
            ++refused;
            EXPECT_EQ(lines.size(), 1u) << path;
            continue;
        }
        ++loaded;
        EXPECT_TRUE(lines.empty()) << path << ": " << ::testing::PrintToString(lines);
        for (int channel : {0, 9}) synth->noteOn(channel, 60, 100);
        renderInBlocks(loop, 4 * BLOCK);
    }
    RecordProperty("loaded", loaded);
    RecordProperty("refused", refused);
}

// The piano as the program builds it, on this engine, with the user's SoundFonts listed as
// the program lists them: Space passes over one whose body is damaged, with one line, reaches
// the next, and a MIDI keyboard's notes beyond the keys sound on it at their own pitch.
TEST_F(SoundEngineTest, SpaceReachesAUsersSoundFontOnWhichMidiNotesSoundAtTheirPitch) {
    FixtureFolder user;
    FixtureSoundFont sine;
    sine.name = "Test Sine";
    user.soundFont("b_sine.sf2", sine);
    const std::string whole = FixtureFolder::soundFontBytes({});
    const std::string damaged = user.file("a_damaged.sf2", whole.substr(0, whole.size() - 300));
    DrivenClock clock;
    PianoSetup setup;
    setup.clock = &clock;
    setup.sound = &loop.engine();
    setup.soundFonts = listSoundFonts(user.missing(""), {});
    ASSERT_EQ(setup.soundFonts.size(), 2u) << "the damaged one's head is a SoundFont's";
    Piano piano(setup);
    const std::vector<std::string> lines = linesWhile([&] {
        for (int i = 0; i < 5; ++i) piano.keyDown(' ');
    });
    ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
    EXPECT_NE(lines[0].find(damaged), std::string::npos) << lines[0];
    EXPECT_EQ(piano.currentCaption(), "Test Sine");
    for (const int note : {36, 84}) {
        const unsigned char on[3] = {0x90, static_cast<unsigned char>(note), 100}, off[3] = {0x80, on[1], 0};
        piano.midiInbox().queue(on, 3);
        piano.playMidi();
        const double measured = estimatePitchHz(renderInBlocks(loop, FIXTURE_RATE * 3 / 4).left, FIXTURE_RATE);
        EXPECT_NEAR(centsBetween(measured, midiToHz(note)), 0.0, 10.0) << "note " << note;
        piano.midiInbox().queue(off, 3);
        piano.playMidi();
        renderInBlocks(loop, FIXTURE_RATE);
    }
}

TEST(SoundFontLibrary, ListsSf2AndSf3ByFileNameThenTheSystemsAndSkipsOtherFiles) {
    FixtureFolder user, system;
    user.soundFont("b.sf2");
    FixtureSoundFont strings;
    strings.name = "Strings";
    user.soundFont("A.SF3", strings);
    user.file("notes.txt", "not a SoundFont");
    user.file("sf2", "no suffix");
    const std::string bad = user.file("bad.sf2", "RIFF but nothing more");
    FixtureSoundFont gm;
    gm.name = "General MIDI";
    const std::string systemFont = system.soundFont("default-GM.sf2", gm);

    std::vector<SoundFontEntry> found;
    const std::vector<std::string> lines = linesWhile([&] {
        found = listSoundFonts(user.missing(""), {systemFont, system.missing("default-GM.sf3")});
    });
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].name, "Strings");
    EXPECT_EQ(found[0].path, user.missing("A.SF3"));
    EXPECT_EQ(found[1].name, "Fixture Sine");
    EXPECT_EQ(found[2].path, systemFont);
    ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
    EXPECT_NE(lines[0].find(bad), std::string::npos) << lines[0];
}

TEST(SoundFontLibrary, SystemSoundFontTheUserAlsoKeepsIsListedOnce) {
    FixtureFolder user;
    const std::string kept = user.soundFont("fluid.sf2");
    EXPECT_EQ(listSoundFonts(user.missing(""), {kept}).size(), 1u);
    EXPECT_TRUE(listSoundFonts(user.missing("nowhere"), {}).empty()) << "a missing folder adds nothing";
}

TEST(SoundFontLibrary, TheSystemsSoundFontsMayBeNamedInsteadOrNone) {
    EXPECT_EQ(systemSoundFontsNamed(nullptr), systemSoundFonts());
    EXPECT_TRUE(systemSoundFontsNamed("").empty()) << "as the end-to-end suite asks";
    EXPECT_EQ(systemSoundFontsNamed(":/a/gm.sf2::/b/gm.sf3:"), (std::vector<std::string>{"/a/gm.sf2", "/b/gm.sf3"}));
}

TEST(SoundFontLibrary, UserFolderFollowsXdgDataHome) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string restore = saved != nullptr ? saved : "";
    setenv("XDG_DATA_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(userSoundFontDir(), "/tmp/xdg/tinklewood/soundfonts");
    if (saved != nullptr) setenv("XDG_DATA_HOME", restore.c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
}

TEST(SoundFontThreadFeed, NoteOnAStreamFedByItsOwnThreadIsHeard) {
    // The device's pace, roughly: a block every 5.8 ms. Only that it sounds is asserted; how
    // soon depends on the machine's load (bench/synth_latency measures it).
    FixtureFolder files;
    Loopback loop({}, StreamFeed::Thread);
    ASSERT_TRUE(loop.ok());
    std::unique_ptr<Synth> synth = loop.engine().openSoundFont(files.soundFont("sine.sf2"));
    ASSERT_NE(synth, nullptr);
    auto paced = [&](int blocks) {
        std::vector<float> left;
        for (int i = 0; i < blocks; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(1000000 * BLOCK / FIXTURE_RATE));
            const Stereo block = loop.render(BLOCK);
            left.insert(left.end(), block.left.begin(), block.left.end());
        }
        return left;
    };
    for (int round = 0; round < 2; ++round) {  // from rest, then from rest again
        synth->noteOn(0, 69, 100);
        EXPECT_GT(rms(paced(40)), 0.01) << "round " << round;
        synth->noteOff(0, 69);
        paced(40);
        synth->allNotesOff();
        synth->reset();  // and its reverb's tail cut: the stream rests
        paced(20);
    }
    EXPECT_GE(streamOf(synth).starts(), 2);
}

TEST(SoundFontThreadFeed, EngineShutDownFirstLeavesItsSynthsSilentAndHarmless) {
    FixtureFolder files;
    Loopback loop({}, StreamFeed::Thread);
    ASSERT_TRUE(loop.ok());
    std::unique_ptr<Synth> synth = loop.engine().openSoundFont(files.soundFont("sine.sf2"));
    ASSERT_NE(synth, nullptr);
    synth->noteOn(0, 69, 100);
    loop.render(4 * BLOCK);
    loop.engine().shutdown();
    synth->noteOn(0, 72, 100);
    synth->allNotesOff();
    EXPECT_EQ(loop.engine().openSoundFont(files.soundFont("late.sf2")), nullptr);
    synth.reset();
}
