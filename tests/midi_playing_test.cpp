// MIDI in and out without a MIDI system: messages queued as the adapter queues them, played
// by the frame step; what the output would send, recorded. MIDI files played as written, and
// SoundFont instruments, on a synthesizer that records what it is told.
#include <atomic>
#include <cmath>
#include <iterator>
#include <map>
#include <thread>

#include "KeyNotes.h"
#include "MidiTimeline.h"
#include "app_fixture.h"

namespace {
using Bytes = std::vector<unsigned char>;

std::vector<Bytes>& sent() {
    static std::vector<Bytes> messages;
    return messages;
}

void recordSent(const unsigned char* message, std::size_t size) { sent().emplace_back(message, message + size); }

std::string pianoSample(const std::string& file) { return "../res/sounds/piano/" + file; }
}  // namespace

class MidiIn : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        sent().clear();
    }
    void midi(std::initializer_list<unsigned char> message) { piano->midiInbox().queue(message.begin(), message.size()); }
    bool midiInputPending() { return piano->midiInbox().pending(); }
    void noteOn(int note, int velocity = 100) {
        midi({0x90, static_cast<unsigned char>(note), static_cast<unsigned char>(velocity)});
    }
    void noteOff(int note) { midi({0x80, static_cast<unsigned char>(note), 0}); }
    void pedal(bool down) { midi({0xB0, 64, static_cast<unsigned char>(down ? 127 : 0)}); }
    std::vector<std::string> played() const {
        std::vector<std::string> paths;
        for (const auto& c : sound.calls)
            if (c.op == "play") paths.push_back(c.path);
        return paths;
    }
    // Frames until the key is back at rest; -1 if it is not within a second.
    int framesToRest(int index) {
        for (int n = 1; n <= 60; ++n) {
            frame();
            if (key(index).pressFactor == 0) return n;
        }
        return -1;
    }
};

TEST_F(MidiIn, ANoteOnSoundsItsKeyInTheSameStepAtItsVelocityAndPressesIt) {
    noteOn(60, 100);
    EXPECT_TRUE(midiInputPending());
    piano->playMidi();  // what the frame loop runs as soon as a message is queued
    EXPECT_FALSE(midiInputPending());
    ASSERT_EQ(sound.calls.size(), 2u);
    EXPECT_EQ(sound.calls[0].op, "play");
    EXPECT_EQ(sound.calls[0].path, pianoSample("C1.mp3"));
    EXPECT_EQ(sound.calls[1].op, "volume");
    EXPECT_FLOAT_EQ(sound.calls[1].volume, (100.0f / 127) * (100.0f / 127));
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f);

    piano->selectInstrument(ORGAN);  // its notes are quieter, from MIDI as from letters
    noteOn(62, 127);
    frame();  // the frame step plays the queue too
    EXPECT_EQ(played().back(), "../res/sounds/organ/D1.mp3");
    EXPECT_FLOAT_EQ(sound.calls.back().volume, 0.5f);
}

TEST_F(MidiIn, NotesOutsideTheKeyboardSoundAtTheirOwnPitchAndPressTheKeyTheyFoldOnto) {
    for (int note = LOWEST_MIDI_NOTE; note <= HIGHEST_MIDI_NOTE; ++note)
        EXPECT_EQ(keyMidiNote(midiNoteKey(note)), note);
    EXPECT_EQ(midiNoteKey(60), 7);
    EXPECT_EQ(midiNoteKey(61), 20);   // C#4
    EXPECT_EQ(midiNoteKey(70), 24);   // A#4
    EXPECT_EQ(midiNoteKey(36), 0);    // C2 up to C3
    EXPECT_EQ(midiNoteKey(0), 0);
    EXPECT_EQ(midiNoteKey(47), 6);    // B2 up to B3
    EXPECT_EQ(midiNoteKey(73), 20);   // C#5 down to C#4
    EXPECT_EQ(midiNoteKey(84), 14);   // C6 down to C5
    EXPECT_EQ(midiNoteKey(127), 11);  // G9 down to G4
    // A piano's lowest and highest, a 61-key keyboard's C2 and C7: the sample of the nearest key
    // of the note's name, played that many octaves faster or slower.
    const struct {
        int note;
        const char* sample;
        float pitch;
        int key;
    } cases[] = {{21, "A0.mp3", 0.125f, 5}, {36, "C0.mp3", 0.5f, 0}, {96, "C2.mp3", 4, 14}, {108, "C2.mp3", 8, 14}};
    for (const auto& c : cases) {
        sound.take();
        noteOn(c.note);
        frame();
        ASSERT_EQ(played(), std::vector<std::string>{pianoSample(c.sample)}) << c.note;
        EXPECT_FLOAT_EQ(sound.calls[0].pitch, c.pitch) << c.note;
        EXPECT_FLOAT_EQ(key(c.key).pressFactor, 1.0f) << c.note;
        noteOff(c.note);
        frames(5);
    }
}

TEST_F(MidiIn, NotesAnOctaveApartSoundTogetherAndTheirKeyRisesWithTheLastNoteOff) {
    noteOn(36);  // C2 and C3 share the key of C3
    noteOn(48);
    frame();
    ASSERT_EQ(sound.count("play"), 2);
    EXPECT_EQ(sound.count("volume"), 2) << "velocity 100: each started below full";
    noteOff(36);
    frames(5);
    EXPECT_FLOAT_EQ(key(0).pressFactor, 1.0f) << "C3 is still held";
    ASSERT_EQ(sound.count("stop"), 1) << "C2 faded as its note-off said";
    EXPECT_EQ(sound.calls.back().voice, 0u);
    noteOff(48);
    EXPECT_EQ(framesToRest(0), 3);
    EXPECT_EQ(sound.count("stop"), 2);
}

TEST_F(MidiIn, APedalHoldsItsOwnChannelsNotes) {
    midi({0xB1, 64, 127});  // channel 2's pedal
    midi({0x91, 60, 100});
    noteOn(64);  // channel 1, no pedal
    frame();
    midi({0x81, 60, 0});
    noteOff(64);
    frames(10);
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f) << "channel 2's note, under its pedal";
    EXPECT_EQ(key(9).pressFactor, 0.0f) << "channel 1's note was held by another channel's pedal";
    midi({0xB1, 64, 0});
    EXPECT_EQ(framesToRest(7), 3);
}

TEST_F(MidiIn, ANoteOffLetsTheKeyRiseAndTheSampleFadeAsAReleasedLetterDoes) {
    noteOn(64, 127);
    frames(30);
    EXPECT_FLOAT_EQ(key(9).pressFactor, 1.0f) << "held while the note is";
    EXPECT_EQ(sound.count("stop"), 0);
    noteOff(64);
    sound.take();
    std::vector<std::pair<float, float>> pressAndVolume;
    int stops = 0;
    for (int n = 0; n < 10 && key(9).pressFactor > 0; ++n) {
        frame();
        for (const auto& c : sound.take()) {
            if (c.op == "volume") pressAndVolume.push_back({key(9).pressFactor, c.volume});
            stops += c.op == "stop";
        }
    }
    // 0.04 s from the note-off: at rest on the third frame, its sample stopped there.
    ASSERT_EQ(pressAndVolume.size(), 3u);
    for (const auto& [press, volume] : pressAndVolume) EXPECT_FLOAT_EQ(volume, press * press);
    EXPECT_GT(pressAndVolume[0].first, 0.0f);
    EXPECT_EQ(pressAndVolume[2].first, 0.0f);
    EXPECT_EQ(stops, 1);

    noteOn(65);
    midi({0x90, 65, 0});  // velocity 0: a note-off
    frames(4);
    EXPECT_EQ(key(10).pressFactor, 0.0f);
}

TEST_F(MidiIn, TheSustainPedalHoldsKeysAndNotesUntilItIsLifted) {
    pedal(true);
    noteOn(60);
    noteOn(64);
    frames(3);
    noteOff(60);
    noteOff(64);
    frames(60);
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f);
    EXPECT_FLOAT_EQ(key(9).pressFactor, 1.0f);
    EXPECT_EQ(sound.count("stop"), 0);
    noteOn(60);  // struck again under the pedal: the old note dies away, a new one starts
    noteOff(60);
    frames(10);
    EXPECT_EQ(sound.count("play"), 3);
    EXPECT_EQ(sound.count("stop"), 1) << "the first C4, faded over six frames";
    pedal(false);
    EXPECT_EQ(framesToRest(7), 3);
    EXPECT_EQ(key(9).pressFactor, 0.0f);
    EXPECT_EQ(sound.count("stop"), 3);

    // A key still held when the pedal comes up stays down.
    pedal(true);
    noteOn(67);
    frame();
    pedal(false);
    frames(10);
    EXPECT_FLOAT_EQ(key(11).pressFactor, 1.0f);
    midi({0xB0, 123, 0});  // all notes off
    EXPECT_EQ(framesToRest(11), 3);
}

TEST_F(MidiIn, OnlyNotesAndControllersAreQueuedAndAFloodDropsTheNewest) {
    midi({0xE0, 0, 64});  // pitch bend
    midi({0xF8});         // clock
    midi({0x90, 60});     // cut short
    EXPECT_FALSE(midiInputPending());
    for (int i = 0; i < 1500; ++i) noteOn(60 + i % 2);
    frame();
    EXPECT_EQ(sound.count("play"), 1024);
    EXPECT_FALSE(midiInputPending());
}

TEST_F(MidiIn, AMessageFromAnotherThreadWakesTheFrameLoopOnceAndAsksForAFrame) {
    static std::atomic<int> wakes{0};
    wakes = 0;
    piano->midiInbox().onArrival([](void*) { ++wakes; }, nullptr);
    MidiInbox& inbox = piano->midiInbox();
    std::thread keyboard([&inbox] {
        for (int note : {48, 50, 53}) {  // C D F below the right hand, no chord: no hand moves
            const unsigned char on[3] = {0x90, static_cast<unsigned char>(note), 100};
            inbox.queue(on, 3);
        }
    });
    keyboard.join();
    piano->midiInbox().onArrival(nullptr, nullptr);
    EXPECT_EQ(wakes, 1) << "the loop wakes once and takes all three";
    EXPECT_TRUE(midiInputPending());
    piano->playMidi();
    EXPECT_EQ(sound.count("play"), 3);
    EXPECT_EQ(redisplays, 1) << "the keys went down: the picture must show it";
    EXPECT_FALSE(piano->animating()) << "the keys are still while held";
    noteOff(48);
    piano->playMidi();
    EXPECT_TRUE(piano->animating()) << "a key let go rises over the next frames";
    frames(3);
    EXPECT_FALSE(piano->animating());
}

// The MIDI system went away (a JACK server that stopped): note-offs will never come, so every
// note that came in is let go as its note-off would, the pedal's too, after what came before.
TEST_F(MidiIn, ALostConnectionLetsGoOfEveryNoteAndThePedalButNotALetterHeld) {
    press('0');  // letters sound at the press, through the same keys as MIDI notes
    press('s');  // C4, key 7, held on the computer keyboard
    pedal(true);
    noteOn(64);  // E4
    noteOn(67);  // G4
    noteOff(67);  // held by the pedal
    frame();
    piano->midiInbox().connectionLost();
    EXPECT_TRUE(midiInputPending());
    EXPECT_EQ(framesToRest(9), 3) << "E4 rises as at its note-off";
    EXPECT_EQ(key(11).pressFactor, 0.0f) << "G4 with it: the pedal is up";
    EXPECT_FALSE(piano->midi().pedal(MidiPlayer::KEYBOARD));
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f) << "the letter still held keeps its key down";
    EXPECT_EQ(sound.count("stop"), 2);
    release('s');
    EXPECT_EQ(framesToRest(7), 3);
}

TEST_F(MidiIn, ALostConnectionIsTakenEvenWhenAFloodHasFilledTheQueue) {
    noteOn(64);
    frame();
    for (int i = 0; i < 1500; ++i) noteOn(60 + i % 2);
    piano->midiInbox().connectionLost();
    frame();
    EXPECT_EQ(sound.count("play"), 1024) << "the newest note made way for it";
    EXPECT_LT(key(9).pressFactor, 1.0f) << "E4 is let go";
    EXPECT_EQ(framesToRest(9), 2);
}

TEST_F(MidiIn, TheRightHandFollowsANoteOfItsKeysWithoutSoundingOrPressingAgain) {
    noteOn(64);
    frame();
    EXPECT_EQ(currNote(), 9);
    EXPECT_TRUE(piano->noteStroke().showOnly);
    frames(10);  // the finger is on the key within 0.04 s of stroke time
    EXPECT_EQ(rightHand().animationStatus, Hand::HOLD);
    EXPECT_EQ(sound.count("play"), 1) << "the hand's stroke sounds nothing";
    noteOff(64);
    frames(20);
    EXPECT_EQ(currNote(), -1) << "the hand lifted with the note-off and is free";
    EXPECT_EQ(rightHand().animationStatus, Hand::NO_ANIMATION);

    // A second note while the first is followed: sounded and pressed, the hand stays.
    noteOn(60);
    noteOn(62);
    frame();
    EXPECT_EQ(currNote(), 7);
    EXPECT_FLOAT_EQ(key(8).pressFactor, 1.0f);
    // Below the right hand's keys: no stroke.
    noteOff(60);
    noteOff(62);
    frames(30);
    noteOn(50);
    frames(3);
    EXPECT_EQ(currNote(), -1);
}

TEST_F(MidiIn, ALetterTakesTheHandFromAFollowedNoteWhichKeepsSoundingAndItsKey) {
    noteOn(60);
    press('d');  // typed while the hand goes to C4: it waits for that stroke to strike
    frames(15);
    EXPECT_EQ(played(), (std::vector<std::string>{pianoSample("C1.mp3"), pianoSample("D1.mp3")}));
    EXPECT_EQ(currNote(), 8);
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f) << "the followed note lost its key";
    EXPECT_EQ(sound.count("stop"), 0);
    release('d');
    frames(20);
    noteOff(60);
    EXPECT_EQ(framesToRest(7), 3);

    // The letter of the very key the hand follows, let go before its turn, is a tap: the
    // release is the letter's, not the followed note's.
    noteOn(60);
    frame();
    press('s');
    release('s');
    frames(40);
    EXPECT_EQ(currNote(), -1) << "the letter's stroke was left held";
    EXPECT_EQ(sound.count("play"), 4);
}

TEST_F(MidiIn, TheLeftHandShowsAHeldTriadThatIsOneOfTheModesChords) {
    for (int note : {48, 52, 55}) noteOn(note);  // C major on C3 E3 G3: 'z' in major
    frame();
    EXPECT_EQ(playChord(), CEG);
    EXPECT_TRUE(piano->chordStroke().showOnly);
    frames(15);
    EXPECT_EQ(leftHand().animationStatus, Hand::HOLD);
    EXPECT_EQ(sound.count("play"), 3) << "the chord's stroke sounds nothing more";
    noteOff(52);
    frames(20);
    EXPECT_EQ(playChord(), NONE) << "one note let go: the hand lifts";
    EXPECT_FLOAT_EQ(key(0).pressFactor, 1.0f) << "the notes still held stay down";
    EXPECT_FLOAT_EQ(key(4).pressFactor, 1.0f);

    noteOff(48);
    noteOff(55);
    frames(5);
    press('-');  // C major is none of the minor mode's chords
    release('-');
    for (int note : {48, 52, 55}) noteOn(note);
    frame();
    EXPECT_EQ(playChord(), NONE);
    for (int note : {48, 52, 55}) noteOff(note);
    for (int note : {48, 52, 57}) noteOn(note);  // A minor, 'z' in minor
    frame();
    EXPECT_EQ(playChord(), CEA);
}

TEST_F(MidiIn, TheOutputSendsTheLettersNotesWithTheProgramAndNotWhatCameIn) {
    piano->startMidiOutput(recordSent);
    frame();
    EXPECT_EQ(sent(), (std::vector<Bytes>{{0xC0, 0}})) << "the piano's program at the start";
    sent().clear();
    press('s');
    frames(12);
    release('s');
    frames(20);
    EXPECT_EQ(sent(), (std::vector<Bytes>{{0xC0, 0}, {0x90, 60, 127}, {0x80, 60, 64}}))
        << "a note after silence names the program again, for a synthesizer connected late";

    sent().clear();
    press(' ');  // the synth
    frame();
    EXPECT_EQ(sent(), (std::vector<Bytes>{{0xC0, 81}}));
    press('z');
    frames(15);
    ASSERT_EQ(sent().size(), 5u);  // the program again, then C E G
    EXPECT_EQ(sent()[2], (Bytes{0x90, 48, 90})) << "a chord note at half volume";

    sent().clear();
    noteOn(72);
    frames(5);
    EXPECT_TRUE(sent().empty()) << "a note that came in through MIDI went back out";

    piano->stopMidiOutput();  // as at exit: C E G are still held
    ASSERT_EQ(sent().size(), 3u);
    for (const Bytes& off : sent()) EXPECT_EQ(off[0], 0x80);
}

TEST(MidiVelocity, FollowsTheSquareLawBothWays) {
    EXPECT_FLOAT_EQ(velocityVolume(127), 1.0f);
    EXPECT_NEAR(velocityVolume(64), 0.254f, 0.001f);
    for (int velocity = 1; velocity <= 127; ++velocity)
        EXPECT_EQ(volumeVelocity(velocityVolume(velocity)), velocity);
    EXPECT_EQ(volumeVelocity(0.0f), 1) << "a note-on of velocity 0 would be a note-off";
}

// ---- A MIDI file played as written ---------------------------------------------------------

namespace {
struct Written {
    int channel, pitch, velocity;
    long long start, end;  // ticks
};

// As the file reader gives a file: 480 ticks a quarter note, 120 a minute for the first bar
// (a tick is 1/960 s), then 240 (1/1920 s); four channels and the drums; the last track ends
// at tick 2880, 2.5 s.
MidiScore twoTempoPiece() {
    MidiScore score;
    score.ticksPerQuarter = 480;
    score.tempos = {{1920, 0.25}, {0, 0.5}};  // not in order: the reader gives them by track
    const Written notes[] = {
        {0, 60, 100, 0, 480},      // C4 from 0 to 0.5 s
        {1, 36, 80, 0, 1920},      // C2 under it to 2 s
        {0, 64, 127, 960, 1440},   // E4 from 1 to 1.5 s
        {9, 38, 100, 960, 1000},   // a snare at 1 s
        {2, 84, 64, 1920, 2040},   // C6 D6 E6 in sixteenths from 2 s, 1/16 s each
        {2, 86, 64, 2040, 2160},
        {2, 88, 64, 2160, 2280},
        {3, 21, 90, 2280, 2400},   // A0 at 2.1875 s
    };
    for (const Written& n : notes) score.notes.push_back({0, n.channel, n.pitch, n.velocity, n.start, n.end});
    score.endTick = 2880;
    return score;
}

MidiTimeline timelineOf(const MidiScore& score) {
    MidiTimeline timeline;
    std::string error;
    EXPECT_TRUE(timelineFromMidi(score, timeline, error)) << error;
    return timeline;
}
}  // namespace

// A message plays on the step nearest its time: half a step either way, and the clock's ticks.
constexpr double HALF_STEP = STEP_SECONDS / 2 + 1e-4;

class FileAsWritten : public MidiIn {
protected:
    struct Heard {
        double at;  // seconds since the file started
        std::string path;
        float pitch, volume;
        std::uint32_t voice;
    };
    std::vector<Heard> heard;                 // every sample started, with its first volume
    std::map<std::uint32_t, double> fading;   // when each voice was first made quieter
    double start = 0;                         // the file's start on the clock

    bool begin(const MidiScore& score) {
        start = clock.seconds();
        const bool started = piano->startScore(timelineOf(score), "piece.mid");
        take();  // what is due at the start plays at once
        return started;
    }
    // Steps the piano for `seconds`, noting what sounds when.
    void run(double seconds) {
        for (int n = 0; n < std::lround(seconds / STEP_SECONDS); ++n) {
            frame();
            take();
        }
    }
    void take() {
        for (const auto& c : sound.take()) {
            const double at = clock.seconds() - start;
            if (c.op == "play") heard.push_back({at, c.path, c.pitch, 1.0f, c.voice});
            for (Heard& h : heard)
                if (c.op == "volume" && h.voice == c.voice) {
                    if (h.at == at) h.volume = c.volume;
                    else if (c.volume < h.volume && !fading.count(c.voice)) fading[c.voice] = at;
                }
        }
    }
};

TEST_F(FileAsWritten, EveryNoteButTheDrumsSoundsAtItsTimePitchAndVelocity) {
    ASSERT_TRUE(begin(twoTempoPiece()));
    run(3.0);
    const struct {
        double at, end;
        const char* sample;
        float pitch;
        int velocity;
    } expected[] = {{0, 0.5, "C1.mp3", 1, 100},        {0, 2.0, "C0.mp3", 0.5f, 80},
                    {1.0, 1.5, "E1.mp3", 1, 127},      {2.0, 2.0625, "C2.mp3", 2, 64},
                    {2.0625, 2.125, "D1.mp3", 4, 64},  {2.125, 2.1875, "E1.mp3", 4, 64},
                    {2.1875, 2.25, "A0.mp3", 0.125f, 90}};
    ASSERT_EQ(heard.size(), std::size(expected)) << "the snare, or a note twice";
    for (std::size_t i = 0; i < heard.size(); ++i) {
        const auto& e = expected[i];
        SCOPED_TRACE(e.sample);
        EXPECT_EQ(heard[i].path, pianoSample(e.sample));
        EXPECT_FLOAT_EQ(heard[i].pitch, e.pitch);
        EXPECT_FLOAT_EQ(heard[i].volume, velocityVolume(e.velocity));
        EXPECT_LE(std::fabs(heard[i].at - e.at), HALF_STEP) << "started at " << heard[i].at;
        // Let go at its note-off, it is quieter from the next step on, as a keyboard's note is.
        ASSERT_TRUE(fading.count(heard[i].voice)) << "never let go";
        EXPECT_LE(std::fabs(fading[heard[i].voice] - STEP_SECONDS - e.end), HALF_STEP)
            << "quieter from " << fading[heard[i].voice];
    }
    EXPECT_FALSE(piano->score().playing());
    EXPECT_FALSE(piano->mayStillSound()) << "the file's last sounds are over";
    for (int k = 0; k < NUM_KEYS; ++k) EXPECT_EQ(key(k).pressFactor, 0.0f) << "key " << k << " left down";
}

TEST_F(FileAsWritten, KeysGoDownWithTheNotesAndTheRightHandFollows) {
    ASSERT_TRUE(piano->startScore(timelineOf(twoTempoPiece()), "piece.mid"));
    frames(6);
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f) << "C4";
    EXPECT_FLOAT_EQ(key(0).pressFactor, 1.0f) << "C2, on the key of C3";
    EXPECT_EQ(currNote(), 7) << "the right hand follows C4";
    EXPECT_TRUE(piano->noteStroke().showOnly);
    run(1.0);  // at 1.1 s: E4 sounds, C4 is up; the snare pressed nothing
    EXPECT_FLOAT_EQ(key(9).pressFactor, 1.0f);
    EXPECT_EQ(key(7).pressFactor, 0.0f);
    EXPECT_EQ(key(1).pressFactor, 0.0f) << "D3, where the snare's note 38 would fold";
}

TEST_F(FileAsWritten, ItsTempoScalesEveryTime) {
    piano->setScoreTempo(2);
    ASSERT_TRUE(begin(twoTempoPiece()));
    run(0.6);
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_LE(std::fabs(heard[2].at - 0.5), HALF_STEP) << "E4, written at 1 s";
    run(0.8);
    EXPECT_FALSE(piano->score().playing()) << "2.5 s at twice the speed";
    EXPECT_EQ(piano->score().tempo(), 2);
}

TEST_F(FileAsWritten, ASongStartedEndsTheFileAndTheFileEndsTheSong) {
    ASSERT_TRUE(piano->startScore(timelineOf(twoTempoPiece()), "piece.mid"));
    frames(6);
    SongData song;
    song.right.push_back({4, 1});
    ASSERT_TRUE(piano->startSong(song, "one.song"));
    EXPECT_FALSE(piano->score().playing());
    frames(5);
    EXPECT_EQ(key(0).pressFactor, 0.0f) << "the file's held C2 was not let go";
    ASSERT_TRUE(piano->startScore(timelineOf(twoTempoPiece()), "piece.mid"));
    EXPECT_FALSE(songPlaying());
}

TEST_F(FileAsWritten, DrumsAloneAreRefusedOnTheSamplesInOneLine) {
    MidiScore drums;
    drums.notes = {{0, 9, 36, 100, 0, 240}, {0, 9, 42, 100, 240, 480}};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(piano->startScore(timelineOf(drums), "beat\n.mid"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: Malformed MIDI file beat\\n.mid: it holds only drum notes, which only a SoundFont plays\n");
    EXPECT_FALSE(piano->score().playing());
    EXPECT_EQ(piano->scene().caption, "cannot play beat\\n.mid: drums only, for a SoundFont");

    MidiScore none;
    MidiTimeline timeline;
    std::string error;
    EXPECT_FALSE(timelineFromMidi(none, timeline, error));
    EXPECT_EQ(error, "it holds no notes");
    none.notes = {{0, 0, 60, 100, 0, 480LL * 2 * 3601}};  // 3601 s at 120 a minute
    EXPECT_FALSE(timelineFromMidi(none, timeline, error));
    EXPECT_EQ(error, "it lasts longer than 60 minutes");
}

TEST(MidiTimelines, NotesEndBeforeControlsAndControlsComeBeforeNotesAtOneTime) {
    MidiScore score;
    score.notes = {{0, 0, 60, 90, 0, 480}, {0, 0, 60, 91, 480, 960}, {0, 1, 62, 92, 480, 480}};
    score.controls = {{480, 0, 0, MidiControl::PROGRAM, 40, 0}, {480, 0, 1, MidiControl::PITCH_BEND, 0, 8192 + 100}};
    const MidiTimeline timeline = timelineOf(score);
    std::vector<Bytes> order;
    for (const TimedMidiMessage& m : timeline.messages)
        order.push_back(Bytes(m.bytes, m.bytes + m.size));
    EXPECT_EQ(order, (std::vector<Bytes>{{0x90, 60, 90},
                                         {0x80, 60, 64},  // the first C4 ends as the second starts
                                         {0xC0, 40},
                                         {0xE1, 100, 64},
                                         {0x90, 60, 91},
                                         {0x91, 62, 92},
                                         {0x81, 62, 64},  // a note of no length ends after it starts
                                         {0x80, 60, 64}}));
    EXPECT_DOUBLE_EQ(timeline.messages[1].seconds, 0.5);
    EXPECT_DOUBLE_EQ(timeline.seconds, 1.0) << "without a track end, the last note's";
}

// ---- SoundFonts ----------------------------------------------------------------------------

class SoundFonts : public FileAsWritten {
protected:
    void SetUp() override {
        FileAsWritten::SetUp();
        sound.damagedSoundFonts = {"/fonts/b.sf2"};
        PianoSetup withFonts = setup();
        withFonts.soundFonts = {{"/fonts/a.sf2", "Alpha"}, {"/fonts/b.sf2", "Beta"}, {"/fonts/c.sf2", "Gamma"}};
        piano = std::make_unique<Piano>(withFonts);
    }
    void space(int times) {
        for (int i = 0; i < times; ++i) {
            press(' ');
            release(' ');
        }
    }
    // Whether the synthesizers were told exactly this, in order, among what else they were told.
    bool told(const std::vector<std::string>& lines) const {
        auto at = sound.synthCalls.begin();
        for (const std::string& line : lines) {
            at = std::find(at, sound.synthCalls.end(), line);
            if (at == sound.synthCalls.end()) return false;
            ++at;
        }
        return true;
    }
};

TEST_F(SoundFonts, SpaceReachesEachAfterTheFiveOpeningItOnlyThenAndSkipsADamagedOneForGood) {
    EXPECT_TRUE(sound.soundFontsOpened.empty()) << "a SoundFont was read before it was chosen";
    EXPECT_EQ(piano->instrumentCount(), NUM_INSTRUMENTS + 3);
    space(5);
    EXPECT_EQ(piano->instrument(), NUM_INSTRUMENTS);
    EXPECT_EQ(caption(), "Alpha");
    EXPECT_EQ(piano->activeBackground(), HALL) << "the pictures go round again";
    EXPECT_EQ(sound.soundFontsOpened, std::vector<std::string>{"/fonts/a.sf2"});

    testing::internal::CaptureStderr();
    space(1);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("/fonts/b.sf2"), std::string::npos) << said;
    EXPECT_EQ(caption(), "Gamma");
    EXPECT_EQ(piano->activeBackground(), CHURCH);
    space(1);
    EXPECT_EQ(caption(), "piano");
    EXPECT_EQ(piano->instrument(), PIANO);

    testing::internal::CaptureStderr();
    space(6);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the damaged one was tried again";
    EXPECT_EQ(caption(), "Gamma");
    EXPECT_EQ(sound.soundFontsOpened,
              (std::vector<std::string>{"/fonts/a.sf2", "/fonts/c.sf2", "/fonts/a.sf2", "/fonts/c.sf2"}));
}

TEST_F(SoundFonts, LettersAndMidiNotesPlayItsOwnNotesAtTheirPitchOnTheirKeys) {
    space(5);
    noteOn(84, 100);
    noteOn(36, 50);
    midi({0x93, 64, 70});  // channel 4
    frame();
    EXPECT_EQ(sound.synthCalls, (std::vector<std::string>{"on 0 84 100", "on 0 36 50", "on 3 64 70"}));
    EXPECT_EQ(sound.count("play"), 0) << "a sample played on a SoundFont instrument";
    EXPECT_FLOAT_EQ(key(14).pressFactor, 1.0f);
    EXPECT_FLOAT_EQ(key(0).pressFactor, 1.0f);
    sound.synthCalls.clear();
    noteOff(84);
    piano->playMidi();
    EXPECT_EQ(sound.synthCalls, std::vector<std::string>{"off 0 84"}) << "the SoundFont's own release, at once";
    EXPECT_EQ(framesToRest(14), 3) << "the key rises as a sample's does";

    sound.synthCalls.clear();
    press('s');
    frames(10);  // the finger strikes 0.16 s after the press
    EXPECT_EQ(sound.synthCalls, std::vector<std::string>{"on 0 60 127"});
    release('s');
    frames(20);
    EXPECT_EQ(sound.synthCalls, (std::vector<std::string>{"on 0 60 127", "off 0 60"}));
}

TEST_F(SoundFonts, AFileAsWrittenPlaysItsOwnProgramsAndDrumsAndGivesTheChannelsBack) {
    MidiScore score = twoTempoPiece();
    score.controls = {{0, 0, 1, MidiControl::CONTROLLER, 0, 1},   // bank 1 for channel 2
                      {0, 0, 1, MidiControl::PROGRAM, 33, 0},     // a bass
                      {960, 0, 0, MidiControl::PITCH_BEND, 0, 0},
                      {960, 0, 0, MidiControl::CONTROLLER, 7, 90},
                      {0, 0, 0, MidiControl::CONTROLLER, 64, 127},  // the pedal holds C4 past its end
                      {900, 0, 0, MidiControl::CONTROLLER, 64, 0}};
    space(5);
    ASSERT_TRUE(piano->startScore(timelineOf(score), "piece.mid"));
    run(0.7);
    EXPECT_TRUE(told({"reset", "cc 1 0 1", "program 1 33", "on 0 60 100", "on 1 36 80"})) << ::testing::PrintToString(sound.synthCalls);
    EXPECT_FALSE(told({"off 0 60"})) << "the file's pedal did not hold C4";
    EXPECT_FALSE(told({"cc 0 64 127"})) << "the pedal is the player's, as a keyboard's is";
    run(0.4);
    EXPECT_TRUE(told({"off 0 60", "bend 0 0", "cc 0 7 90", "on 0 64 127", "on 9 38 100"}))
        << "the drums play on a SoundFont: " << ::testing::PrintToString(sound.synthCalls);
    EXPECT_EQ(key(1).pressFactor, 0.0f) << "a drum note pressed a key";
    run(1.6);
    EXPECT_FALSE(piano->score().playing());
    EXPECT_TRUE(told({"off 3 21", "cc 1 121 0", "cc 1 0 0", "program 1 0"})) << "channel 2 kept the file's bass";
}

TEST_F(SoundFonts, ASoundFontChosenWhileAFilePlaysIsToldItsProgramsSoFar) {
    MidiScore score = twoTempoPiece();
    score.controls = {{0, 0, 1, MidiControl::PROGRAM, 33, 0}};
    ASSERT_TRUE(piano->startScore(timelineOf(score), "piece.mid"));
    frames(3);
    EXPECT_TRUE(sound.synthCalls.empty());
    space(5);
    EXPECT_TRUE(told({"cc 1 0 0", "program 1 33"})) << ::testing::PrintToString(sound.synthCalls);
    run(1.0);
    EXPECT_TRUE(told({"on 0 64 127"})) << "the file goes on, on the SoundFont";
}
