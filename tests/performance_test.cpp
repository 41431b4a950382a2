// Note and chord strokes frame by frame: key travel, sample starts, fades and stops.
#include <tuple>

#include "app_fixture.h"

using NoteStroke = AppTest;

TEST_F(NoteStroke, HeldNoteSoundsOnceKeepsTheKeyDownAndPausesItsClock) {
    press('s');
    int frameOfStart = -1;
    for (int i = 1; i <= 15; ++i) {
        frame();
        if (frameOfStart < 0 && sound.count("play") > 0) frameOfStart = i;
    }
    ASSERT_EQ(sound.count("play"), 1);
    EXPECT_EQ(sound.calls[0].path, "../res/sounds/piano/C1.mp3");
    EXPECT_EQ(frameOfStart, 10) << "the first frame past 0.16 s of stroke time";
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f);
    EXPECT_EQ(rightHand().animationStatus, Hand::HOLD);

    const double heldAt = piano->noteStroke().clockSeconds();
    frames(120);  // two seconds of holding
    EXPECT_DOUBLE_EQ(piano->noteStroke().clockSeconds(), heldAt);
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f);
    EXPECT_EQ(sound.count("play"), 1);
    EXPECT_EQ(sound.count("volume"), 0) << "a piano note starts at full volume";

    release('s');
    sound.take();
    std::vector<float> volumes;
    int framesToFree = 0;
    while (currNote() >= 0 && framesToFree < 100) {
        frame();
        ++framesToFree;
    }
    for (const auto& c : sound.calls)
        if (c.op == "volume") volumes.push_back(c.volume);
    ASSERT_FALSE(volumes.empty());
    for (size_t i = 1; i < volumes.size(); ++i) EXPECT_LE(volumes[i], volumes[i - 1]);
    EXPECT_EQ(volumes.back(), 0.0f);
    EXPECT_GT(sound.count("stop"), 0);
    // The up phase takes 0.2 s of stroke time, then one frame frees the hand.
    EXPECT_GE(framesToFree, 11);
    EXPECT_LE(framesToFree, 13);
    EXPECT_EQ(key(7).pressFactor, 0.0f);
    EXPECT_EQ(rightHand().animationStatus, Hand::NO_ANIMATION);
}

TEST_F(NoteStroke, UpPhaseFadesWithTheSquareOfTheKeyAndStopsAtRest) {
    press('g');
    frames(13);
    release('g');
    sound.take();
    std::vector<std::pair<float, float>> pressAndVolume;
    while (currNote() >= 0) {
        frame();
        float volume = -1;
        for (const auto& c : sound.take())
            if (c.op == "volume") volume = c.volume;
        if (volume >= 0) pressAndVolume.push_back({key(10).pressFactor, volume});
    }
    ASSERT_GE(pressAndVolume.size(), 2u);
    for (const auto& [p, v] : pressAndVolume) EXPECT_FLOAT_EQ(v, p * p);
}

TEST_F(NoteStroke, ATapShorterThanTheDownPhaseStillStrikesTheKeyFully) {
    press('h');
    frame();
    release('h');
    float deepest = 0;
    while (currNote() >= 0) {
        frame();
        deepest = std::max(deepest, key(11).pressFactor);
    }
    EXPECT_FLOAT_EQ(deepest, 1.0f);
    EXPECT_EQ(sound.count("play"), 1);
    EXPECT_EQ(rightHand().animationStatus, Hand::NO_ANIMATION);
}

// Letters typed faster than a hand strikes: each sounds, in order, its stroke starting at the
// latest one frame after the stroke before it has struck its key.
using TypedAhead = AppTest;

namespace {
// The frame on which each sample was started, by sample file.
struct Start {
    std::string path;
    int frame;
};
}  // namespace

TEST_F(TypedAhead, ALetterPressedDuringAStrokeWaitsUntilItSoundsThenTakesTheHand) {
    std::vector<Start> starts;
    auto run = [&](int count, int& n) {
        for (int i = 0; i < count; ++i, ++n) {
            frame();
            for (const auto& c : sound.take())
                if (c.op == "play") starts.push_back({c.path, n});
        }
    };
    int n = 1;
    press('s');
    run(3, n);
    press('d');  // typed 50 ms later, long before 's' reaches its key
    release('d');
    release('s');
    EXPECT_EQ(currNote(), 7);
    run(40, n);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].path, "../res/sounds/piano/C1.mp3");
    EXPECT_EQ(starts[1].path, "../res/sounds/piano/D1.mp3");
    // 'd' took the hand on the step after 's' sounded, and struck as a letter on a free hand
    // would have: on the first step 0.16 s after its own press (step 3 + 9.6), though its stroke
    // then had two steps to go down in.
    EXPECT_EQ(starts[0].frame, 10);
    EXPECT_EQ(starts[1].frame, 13);
    EXPECT_EQ(currNote(), -1) << "the waiting letter was let go before its turn: a tap";
    EXPECT_EQ(key(7).pressFactor, 0.0f);
}

TEST_F(TypedAhead, AnUnevenRhythmTypedIsTheRhythmHeardAConstantDelayLater) {
    // Sixteen letters, gaps alternating 0.1 and 0.2 s, each held 0.05 s: every one but the first
    // waits for the hand, yet each sounds 0.16 s (and at most one step more) after its press.
    const std::string letters = "sdfghjklsdfghjkl";
    const double presses[2] = {0.1, 0.2};
    std::vector<double> pressedAt;
    std::vector<double> soundedAt;
    double now = 0;
    auto runUntil = [&](double t) {
        while (now + STEP_SECONDS <= t + 1e-9) {
            frame();
            now += STEP_SECONDS;
            for (const auto& c : sound.take())
                if (c.op == "play") soundedAt.push_back(now);
        }
    };
    for (std::size_t i = 0; i < letters.size(); ++i) {
        pressedAt.push_back(now);
        press(static_cast<unsigned char>(letters[i]));
        runUntil(now + 0.05);
        release(static_cast<unsigned char>(letters[i]));
        runUntil(pressedAt.back() + presses[i % 2]);
    }
    runUntil(now + 1.0);
    ASSERT_EQ(soundedAt.size(), letters.size()) << "every letter sounds";
    double least = 1, most = 0;
    for (std::size_t i = 0; i < letters.size(); ++i) {
        const double delay = soundedAt[i] - pressedAt[i];
        least = std::min(least, delay);
        most = std::max(most, delay);
    }
    EXPECT_GE(least, STRIKE_SECONDS - 1e-9);
    EXPECT_LE(most, STRIKE_SECONDS + STEP_SECONDS + 1e-6) << "a delay grew while letters waited";
}

TEST_F(TypedAhead, TheEndedNoteDiesAwayOverATenthOfASecondThenStops) {
    piano->selectInstrument(ORGAN);  // starts at half volume: the fade starts from there
    press('s');
    frames(10);  // sounding
    press('d');
    frame();  // 'd' takes the hand
    EXPECT_EQ(currNote(), 8);
    EXPECT_EQ(key(7).pressFactor, 0.0f) << "the ended note's key is up at once";
    sound.take();
    std::vector<float> volumes;
    int framesToStop = 0;
    while (sound.count("stop") == 0 && framesToStop < 20) {
        frame();
        ++framesToStop;
        for (const auto& c : sound.calls)
            if (c.op == "volume" && c.path.find("C1") != std::string::npos) volumes.push_back(c.volume);
        if (sound.count("stop") == 0) sound.take();
    }
    ASSERT_EQ(sound.count("stop"), 1);
    EXPECT_EQ(sound.calls.back().path, "../res/sounds/organ/C1.mp3");
    EXPECT_EQ(framesToStop, 7) << "six frames of fading, then the stop";
    ASSERT_EQ(volumes.size(), 6u);
    EXPECT_LT(volumes.front(), 0.5f);
    EXPECT_GT(volumes.front(), 0.4f);
    for (size_t i = 1; i < volumes.size(); ++i) EXPECT_LT(volumes[i], volumes[i - 1]);
    EXPECT_EQ(volumes.back(), 0.0f) << "silent before it is stopped";
}

TEST_F(TypedAhead, ANewLetterWhileOneIsHeldEndsTheHeldOneLastLetterWins) {
    press('s');
    frames(20);  // held at the bottom
    press('h');
    frame();
    EXPECT_EQ(currNote(), 11);
    EXPECT_TRUE(noteHeld());
    release('s');  // the letter whose note was ended: nothing more to do
    EXPECT_TRUE(noteHeld());
    frames(20);
    EXPECT_FLOAT_EQ(key(11).pressFactor, 1.0f) << "G is held while its letter is";
    release('h');
    frames(20);
    EXPECT_EQ(currNote(), -1);
}

TEST_F(TypedAhead, ARunOfLettersSoundsInOrderAndTheQueueIsBounded) {
    const std::string run = "sdfghjkl";
    for (char c : run) {
        press(c);
        release(c);
    }
    std::string heard;
    for (int i = 0; i < 400 && (currNote() >= 0 || !piano->noteStroke().pending.empty()); ++i) {
        frame();
        for (const auto& c : sound.take())
            if (c.op == "play") heard += c.path.substr(c.path.rfind('/') + 1, 2);
    }
    EXPECT_EQ(heard, "C1D1E1F1G1A1B1C2");

    // A flood: only so many letters wait for a hand, the rest are dropped.
    for (int i = 0; i < 50; ++i) {
        press(run[i % run.size()]);
        release(run[i % run.size()]);
    }
    EXPECT_LE(piano->noteStroke().pending.size(), 16u);
}

TEST_F(TypedAhead, ChordLettersWaitForTheLeftHandWithTheChordOfTheirPress) {
    press('z');
    press('x');  // typed in major: D minor, even if the mode changes before its turn
    press('-');
    release('x');
    release('z');
    EXPECT_EQ(playChord(), CEG);
    int n = 0;
    while (playChord() != DFA && n < 40) {
        frame();
        ++n;
    }
    EXPECT_EQ(playChord(), DFA);
    EXPECT_EQ(sound.count("play"), 3) << "C E G sounded before the left hand moved on";
    frames(40);
    EXPECT_EQ(sound.count("play"), 6);
    EXPECT_EQ(playChord(), NONE);
}

TEST_F(NoteStroke, OrganNotesStartAtHalfVolumeAndInstrumentIsReadAtTheStart) {
    press(' ');
    press(' ');  // organ
    press('i');
    frames(13);
    ASSERT_GE(sound.calls.size(), 2u);
    EXPECT_EQ(sound.calls[0].path, "../res/sounds/organ/Black9.mp3");
    EXPECT_EQ(sound.calls[1].op, "volume");
    EXPECT_FLOAT_EQ(sound.calls[1].volume, 0.5f);
    press(' ');  // music box: the sounding note keeps its instrument
    release('i');
    while (currNote() >= 0) frame();
    for (const auto& c : sound.calls) EXPECT_EQ(c.path, "../res/sounds/organ/Black9.mp3");
}

TEST_F(NoteStroke, WithoutASoundEngineEverythingElseStillRuns) {
    PianoSetup silent = setup();
    silent.sound = nullptr;
    piano = std::make_unique<Piano>(silent);
    press('s');
    frames(13);
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f);
    release('s');
    while (currNote() >= 0) frame();
    EXPECT_EQ(key(7).pressFactor, 0.0f);
}

using ChordStroke = AppTest;

TEST_F(ChordStroke, EachNoteStartsOnceAtHalfVolumeAndFadesOnlyInTheLowerHalf) {
    press('c');  // F major: keys 0, 3, 5
    frames(15);
    ASSERT_EQ(sound.count("play"), 3);
    const char* files[3] = {"C0.mp3", "F0.mp3", "A0.mp3"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sound.calls[2 * i].path, std::string("../res/sounds/piano/") + files[i]);
        EXPECT_EQ(sound.calls[2 * i + 1].op, "volume");
        EXPECT_FLOAT_EQ(sound.calls[2 * i + 1].volume, 0.5f);
    }
    release('c');
    sound.take();
    while (playChord() != NONE) frame();
    // Once per note: a volume while below half, the last at 0 with its stop.
    for (std::uint32_t voice = 0; voice < 3; ++voice) {
        std::vector<RecordingSound::Call> mine;
        for (const auto& c : sound.calls)
            if (c.voice == voice) mine.push_back(c);
        ASSERT_GE(mine.size(), 2u);
        EXPECT_EQ(mine.back().op, "stop");
        EXPECT_FLOAT_EQ(mine[mine.size() - 2].volume, 0.0f);
        for (const auto& c : mine) {
            if (c.op == "volume") {
                EXPECT_LT(c.volume, 0.25f + 1e-6f);
            }
        }
    }
    EXPECT_EQ(leftHand().animationStatus, Hand::NO_ANIMATION);
}

TEST_F(ChordStroke, ChoirChordsStartQuieter) {
    for (int i = 0; i < 4; ++i) press(' ');
    press('z');
    frames(13);
    ASSERT_EQ(sound.count("play"), 3);
    EXPECT_EQ(sound.calls[0].path, "../res/sounds/choir/C0.mp3");
    EXPECT_FLOAT_EQ(sound.calls[1].volume, 0.35f);
}

TEST_F(ChordStroke, SlowAndUnevenFramesStrikeOnTimeAndStartEachNoteOnce) {
    // Frames late and uneven: the steps they catch up still go through the stroke in order,
    // so its keys leave rest on the step past 0.16 s whenever the frame comes.
    press('x');
    for (double t : {0.05, 0.05, 0.0431}) frame(t);
    EXPECT_EQ(key(1).pressFactor, 0.0f) << "0.143 s: still on its way down";
    EXPECT_EQ(sound.count("play"), 0);
    frame(0.034);  // 0.177 s: the step of 0.1667 s has come
    EXPECT_GT(key(1).pressFactor, 0.0f);
    EXPECT_LT(key(1).pressFactor, 0.5f);
    EXPECT_EQ(sound.count("play"), 3);
    for (double t : {0.017, 0.05}) frame(t);
    EXPECT_FLOAT_EQ(key(1).pressFactor, 1.0f);
    EXPECT_EQ(sound.count("play"), 3);
}

// The stroke type on its own, one for each hand: a note and a chord are the same code with
// other keys and another pose.
TEST(OneStrokeType, EndingEitherHandsStrokePutsKeysHandAndSoundAtRest) {
    DrivenClock clock;
    RecordingSound sound;
    std::array<PianoKey, NUM_KEYS> keys = restingKeyboard();
    Hand left(-1), right(1);
    KeySounds sounds(&sound, ResourcePaths(), nullptr);
    Stroke note(Stroke::NOTE, right, keys, sounds, clock);
    Stroke chord(Stroke::CHORD, left, keys, sounds, clock);
    auto frame = [&] {
        clock.advance(1.0 / 60 + 0.0005);
        sounds.stepFades();
        chord.update();
        note.update();
    };
    note.begin(12, 'j');  // A: the hand shifts to its second position on the way down
    chord.begin(CEA, 'v');  // A minor on the left
    note.updateHand();
    chord.updateHand();
    for (int i = 0; i < 13; ++i) frame();
    note.held = chord.held = false;
    note.updateHand();
    chord.updateHand();
    frame();
    ASSERT_GT(keys[12].pressFactor, 0.0f);
    ASSERT_EQ(sound.count("play"), 4);
    sound.take();
    note.endNow();
    chord.endNow();

    EXPECT_FALSE(note.busy() || chord.busy()) << "both hands free for the next letters";
    for (const PianoKey& k : keys) EXPECT_EQ(k.pressFactor, 0.0f);
    EXPECT_TRUE(sound.calls.empty()) << "the samples die away over the frames that follow";
    for (int i = 0; i < 7; ++i) sounds.stepFades();
    EXPECT_EQ(sound.count("stop"), 4) << "the note and the chord's three samples, stopped once silent";
    for (const auto& c : sound.calls) {
        if (c.op == "volume") {
            EXPECT_LT(c.volume, 0.5f);
        }
    }

    EXPECT_EQ(right.animationStatus, Hand::NO_ANIMATION);
    EXPECT_EQ(right.rightHandPos, 1);
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(right.pos[i], RIGHT_HAND_POSITIONS[1][i]);
    for (int i = 0; i < 4; ++i)
        EXPECT_FLOAT_EQ(right.fingers[right.activeFinger].shape[i], RFINGERS_DEFAULT[right.activeFinger][i]);
    EXPECT_EQ(left.animationStatus, Hand::NO_ANIMATION);
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(left.pos[i], DEFAULT_LEFT_POS[i]);
}

using StalledStroke = AppTest;

TEST_F(StalledStroke, AStallPastTheWholeUpPhaseStillLiftsTheKeysAndStopsTheSamples) {
    press('s');
    press('z');
    release('s');
    release('z');
    frames(11);  // past 0.16 s: keys on their way down, samples started
    ASSERT_GT(key(7).pressFactor, 0.0f);
    ASSERT_EQ(sound.count("play"), 4);
    // The process is held off for longer than the piano catches up: down to the bottom in one
    // step, and the next step comes after the whole up phase.
    frame(2 * MAX_CATCH_UP_SECONDS);
    frame(2 * MAX_CATCH_UP_SECONDS);
    frame();
    EXPECT_EQ(currNote(), -1);
    EXPECT_EQ(playChord(), NONE);
    for (const PianoKey& k : piano->keys()) EXPECT_EQ(k.pressFactor, 0.0f);
    EXPECT_EQ(sound.count("stop"), 4);
    EXPECT_EQ(rightHand().animationStatus, Hand::NO_ANIMATION);
    EXPECT_EQ(leftHand().animationStatus, Hand::NO_ANIMATION);
}

TEST_F(StalledStroke, AShortStallIsCaughtUpStepByStep) {
    press('s');
    release('s');
    frames(11);
    ASSERT_EQ(sound.count("play"), 1);
    frame(0.4);  // within what the piano catches up: the way down, the bottom and the way up
    EXPECT_EQ(currNote(), -1) << "the stroke ran its course in the steps caught up";
    EXPECT_EQ(key(7).pressFactor, 0.0f);
    std::vector<float> volumes;
    for (const auto& c : sound.calls)
        if (c.op == "volume") volumes.push_back(c.volume);
    ASSERT_GE(volumes.size(), 2u) << "the sample followed the key up step by step, not cut at once";
    EXPECT_EQ(volumes.back(), 0.0f);
    EXPECT_GE(sound.count("stop"), 1);
    EXPECT_EQ(leftHand().animationStatus, Hand::NO_ANIMATION);
}

// What the program sounds, as those who follow it (the recorder, the MIDI output) hear it.
class KeySoundObservers : public AppTest {
protected:
    std::vector<std::tuple<int, bool, float>> events;
    std::vector<std::tuple<int, bool, float>>& heard() { return events; }
    void SetUp() override {
        AppTest::SetUp();
        piano->observeKeySounds([this](int key, bool on, float volume) { events.emplace_back(key, on, volume); });
    }
};

TEST_F(KeySoundObservers, EachStartAndStopIsToldOnceWithItsKeyAndVolume) {
    press('s');
    frames(15);
    ASSERT_EQ(heard().size(), 1u);
    EXPECT_EQ(heard()[0], std::make_tuple(7, true, 1.0f)) << "C4 sounded when the finger struck";
    release('s');
    frames(30);
    ASSERT_EQ(heard().size(), 2u) << "one stop, though the stop step runs on every frame of the way up";
    EXPECT_EQ(heard()[1], std::make_tuple(7, false, 0.0f));

    press('z');
    frames(15);
    press('x');  // ends the held C major once it has sounded: its notes stop as x takes the hand
    frames(15);
    release('z');
    release('x');
    frames(40);
    std::vector<std::tuple<int, bool, float>> chord(heard().begin() + 2, heard().end());
    ASSERT_EQ(chord.size(), 12u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(chord[i], std::make_tuple(CHORDS[CEG].notes[i], true, 0.5f));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(chord[3 + i], std::make_tuple(CHORDS[CEG].notes[i], false, 0.0f));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(std::get<0>(chord[6 + i]), CHORDS[DFA].notes[i]);
}

// "0": letters sound at their press, as MIDI notes do, and the hand follows.
using SoundAtPress = KeySoundObservers;

TEST_F(SoundAtPress, ALetterSoundsInItsOwnPressAndItsHandFollowsWithoutSoundingAgain) {
    press('0');
    EXPECT_TRUE(piano->soundAtPress());
    EXPECT_EQ(caption(), "letters sound at the press");
    sound.take();
    press('s');
    ASSERT_EQ(sound.count("play"), 1) << "sounded before any step";
    EXPECT_EQ(sound.calls[0].path, "../res/sounds/piano/C1.mp3");
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f);
    EXPECT_EQ(heard().back(), std::make_tuple(7, true, 1.0f)) << "the recorder and the MIDI output hear it";
    EXPECT_TRUE(piano->noteStroke().showOnly) << "the finger follows, moving only";
    frames(20);
    EXPECT_EQ(sound.count("play"), 1) << "the finger's stroke sounds nothing more";
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f) << "held while its letter is";
    release('s');
    frames(20);
    EXPECT_EQ(key(7).pressFactor, 0.0f);
    EXPECT_EQ(currNote(), -1);
    EXPECT_EQ(sound.calls.back().op, "stop");
    EXPECT_EQ(heard().back(), std::make_tuple(7, false, 0.0f));
}

TEST_F(SoundAtPress, AChordSoundsAtOnceQuieterAndSongsStillStrikeWithTheFinger) {
    press('0');
    sound.take();
    press('z');
    ASSERT_EQ(sound.count("play"), 3);
    for (int k : {0, 2, 4}) EXPECT_FLOAT_EQ(key(k).pressFactor, 1.0f);
    EXPECT_FLOAT_EQ(sound.calls[1].volume, 0.5f);
    EXPECT_EQ(playChord(), CEG);
    release('z');
    frames(30);
    EXPECT_EQ(playChord(), NONE);

    sound.take();
    SongData song;
    song.right = {{3.0f, 1.0f}};
    ASSERT_TRUE(piano->startSong(song, "one note"));
    EXPECT_EQ(sound.count("play"), 0) << "a song's note waits for its finger";
    frames(10);
    EXPECT_EQ(sound.count("play"), 1);

    press('0');
    EXPECT_FALSE(piano->soundAtPress());
    EXPECT_EQ(caption(), "letters sound when the finger strikes");
}

TEST_F(KeySoundObservers, AHeldNoteLetGoAfterARestStopsAfterItsRelease) {
    // At rest while held (its clock paused, nothing drawn), the piano owes no steps: the note
    // rises from its release, and those who follow the sound hear its end after it.
    std::vector<double> at;
    piano->observeKeySounds([&](int, bool, float) { at.push_back(piano->seconds()); });
    press('s');
    frames(15);
    ASSERT_FALSE(piano->animating()) << "held at the bottom";
    clock.advance(0.3);
    const double released = piano->seconds();
    release('s');
    // The next frame comes late (a busy machine): the key has been rising since the release all
    // the same, and is at rest by the first step 0.04 s after it.
    frame(0.1);
    frames(15);
    ASSERT_EQ(at.size(), 2u);
    EXPECT_GT(at[1], released + 0.03) << "the sample stopped as if let go before its release";
    EXPECT_LT(at[1], released + 0.06) << "the key waited for a frame to start rising";
}
