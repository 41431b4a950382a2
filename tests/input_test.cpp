// Keyboard commands, camera drags and the light keys, driven as the window system would; the
// settings they choose kept between runs, and the names of the letters' keys.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app_fixture.h"
#include "interface.h"

using KeyboardCommands = AppTest;

TEST_F(KeyboardCommands, NoteLettersNameTheUpperOctaveKeys) {
    const std::string letters = "sdfghjkleryui";
    const int expected[13] = {7, 8, 9, 10, 11, 12, 13, 14, 20, 21, 22, 23, 24};
    for (int i = 0; i < 13; ++i) {
        press(letters[i]);
        EXPECT_EQ(currNote(), expected[i]) << letters[i];
        release(letters[i]);
        frames(30);  // the stroke is over and the hand free again
    }
}

TEST_F(KeyboardCommands, ANoteLetterWhileTheRightHandIsBusyWaitsForIt) {
    press('s');
    EXPECT_EQ(currNote(), 7);
    EXPECT_TRUE(noteHeld());
    press('d');
    EXPECT_EQ(currNote(), 7) << "the hand is still on its way to the key";
    EXPECT_TRUE(keyHeld('d'));
    release('d');
    EXPECT_FALSE(keyHeld('d'));
    EXPECT_TRUE(noteHeld()) << "releasing the waiting letter leaves the held note alone";
    EXPECT_EQ(piano->noteStroke().pending.size(), 1u);
    EXPECT_TRUE(piano->noteStroke().pending.front().released);
    release('s');
    EXPECT_FALSE(noteHeld());
}

TEST_F(KeyboardCommands, ALetterStillHeldDoesNotStartItsNoteAgain) {
    press('s');
    frames(30);  // at the bottom, held
    ASSERT_EQ(noteStrokes(), 1u);
    press('s');  // pressed again with no release between: a repeat, or a release that went elsewhere
    EXPECT_EQ(noteStrokes(), 1u);
    EXPECT_TRUE(piano->noteStroke().pending.empty()) << "nor does it wait for the hand";
}

TEST_F(KeyboardCommands, UnboundKeysOnlyMarkThemselvesHeld) {
    press('q');
    press('Q');
    EXPECT_EQ(currNote(), -1);
    EXPECT_EQ(playChord(), NONE);
    EXPECT_TRUE(keyHeld('Q'));
    release('Q');
    EXPECT_FALSE(keyHeld('Q'));
}

TEST_F(KeyboardCommands, ALetterAndItsCapitalAreOneKey) {
    // Caps Lock on: capitals play as their letters.
    press('S');
    press('Z');
    EXPECT_EQ(currNote(), 7);
    EXPECT_EQ(playChord(), CEG);
    EXPECT_TRUE(keyHeld('s'));
    // Shift pressed while the letters are held: they come up as capitals, and still let go.
    release('S');
    release('z');
    EXPECT_FALSE(noteHeld());
    EXPECT_FALSE(chordHeld());
    EXPECT_FALSE(keyHeld('s') || keyHeld('S') || keyHeld('z'));
    frames(30);
    EXPECT_EQ(currNote(), -1) << "the stroke ended and the hand is free again";
    EXPECT_EQ(playChord(), NONE);
    for (const auto& c : sound.calls)
        if (c.op == "play") {
            EXPECT_TRUE(std::any_of(sound.calls.begin(), sound.calls.end(),
                                    [&](const auto& s) { return s.op == "stop" && s.voice == c.voice; }))
                << c.path << " still sounding";
        }
    press('D');
    EXPECT_EQ(currNote(), 8);
}

TEST_F(KeyboardCommands, ChordLettersFollowTheMode) {
    press('z');
    EXPECT_EQ(playChord(), CEG);
    release('z');
    frames(30);
    ASSERT_EQ(playChord(), NONE);
    press('-');
    press('z');
    EXPECT_EQ(playChord(), CEA);
    release('z');
    frames(30);
    press('b');
    EXPECT_EQ(playChord(), EGsB);
    press('x');  // the left hand is busy: dropped
    EXPECT_EQ(playChord(), EGsB);
    EXPECT_TRUE(keyHeld('x'));
}

TEST_F(KeyboardCommands, ReleasingAChordLetterEndsItsChordAfterAModeChange) {
    press('z');  // C major
    press('-');
    release('-');
    release('z');
    EXPECT_FALSE(chordHeld()) << "the letter that started the chord ends it";
    frames(30);
    EXPECT_EQ(playChord(), NONE);
    for (int k : {0, 2, 4}) EXPECT_EQ(key(k).pressFactor, 0.0f);
    EXPECT_EQ(sound.calls.back().op, "stop");
}

TEST_F(KeyboardCommands, AnotherLetterNamingTheSameChordDoesNotEndIt) {
    press('c');  // F major (C F A) in major mode
    press('-');
    release('v');  // names C F A in minor mode, but did not start it
    EXPECT_TRUE(chordHeld());
}

TEST_F(KeyboardCommands, NoteAndChordRunIndependently) {
    press('z');
    press('s');
    EXPECT_EQ(playChord(), CEG);
    EXPECT_EQ(currNote(), 7);
    release('s');
    frames(30);
    EXPECT_EQ(currNote(), -1);
    EXPECT_EQ(playChord(), CEG) << "the chord is still held";
    EXPECT_FLOAT_EQ(key(0).pressFactor, 1.0f);
    release('z');
    frames(30);
    EXPECT_EQ(playChord(), NONE);
}

TEST_F(KeyboardCommands, SpaceStepsBackgroundAndInstrumentTogetherAndTabTheTexture) {
    for (int i = 1; i <= 5; ++i) {
        press(' ');
        EXPECT_EQ(piano->activeBackground(), i % 5);
        EXPECT_EQ(piano->instrument(), i % 5);
    }
    press('\t');
    press('\t');
    EXPECT_EQ(piano->activeHandTexture(), 2);
    press('\t');
    EXPECT_EQ(piano->activeHandTexture(), 0);
}

TEST_F(KeyboardCommands, GlowAndConcertSwitches) {
    press('2');
    EXPECT_TRUE(piano->glowOn());
    press('1');
    EXPECT_FALSE(piano->glowOn());
    press('3');  // not in concert mode: nothing
    EXPECT_FLOAT_EQ(lights().ambient_intensity[0], 0.3f);

    clock.advance(0.5);
    press('4');
    EXPECT_TRUE(piano->concertOn());
    EXPECT_TRUE(piano->glowOn());
    EXPECT_FLOAT_EQ(lights().background_intensity, 0.0f);
    EXPECT_NEAR(piano->lights().sweepSeconds(), 0.0, 1e-9);
    clock.advance(0.3);
    press('4');
    EXPECT_NEAR(piano->lights().sweepSeconds(), 0.0, 1e-9) << "a second '4' restarts the sweep clock";

    press('<');  // dimmed in concert mode: '3' still gives back the starting levels
    press('3');
    EXPECT_FALSE(piano->concertOn());
    EXPECT_FALSE(piano->glowOn());
    for (int c = 0; c < 3; ++c) {
        EXPECT_FLOAT_EQ(lights().ambient_intensity[c], 0.3f) << "the ambient the program starts with";
        EXPECT_FLOAT_EQ(lights().diffuse_intensity[c], 1.0f);
        EXPECT_FLOAT_EQ(lights().specular_intensity[c], 1.0f);
    }
    EXPECT_FLOAT_EQ(lights().ambient_intensity[3], 1.0f);
    EXPECT_FLOAT_EQ(lights().background_intensity, 1.0f);
}

TEST_F(KeyboardCommands, EscapeQuitsWithStatusZero) {
    press(27);
    EXPECT_EQ(quitStatus, 0);
}

using LightKeys = AppTest;

TEST_F(LightKeys, TwentyDimStepsReachJustBelowZeroAndTwentyBrightStepsRestoreExactly) {
    press('>');
    EXPECT_FLOAT_EQ(lights().diffuse_intensity[0], 1.0f) << "already at full";
    for (int i = 0; i < 20; ++i) press('<');
    EXPECT_LT(lights().diffuse_intensity[0], 0.0f);
    EXPECT_GT(lights().diffuse_intensity[0], -1e-6f);
    EXPECT_NEAR(lights().ambient_intensity[1], 0.0f, 1e-6f);
    const float afterTwenty = lights().specular_intensity[2];
    press('<');
    EXPECT_EQ(lights().specular_intensity[2], afterTwenty) << "a twenty-first press changes nothing";
    for (int i = 0; i < 20; ++i) press('>');
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(lights().diffuse_intensity[c], 1.0f);
        EXPECT_EQ(lights().specular_intensity[c], 1.0f);
        EXPECT_EQ(lights().ambient_intensity[c], 0.3f);
    }
    EXPECT_EQ(lights().diffuse_intensity[3], 1.0f);
    EXPECT_EQ(lights().background_intensity, 1.0f);
}

TEST_F(LightKeys, SpotConeNarrowsToZeroAndWidensBackToFifty) {
    for (int i = 0; i < 25; ++i) press('/');
    EXPECT_FLOAT_EQ(lights().spotCutoff, 0.0f);
    press('/');
    EXPECT_FLOAT_EQ(lights().spotCutoff, 0.0f);
    for (int i = 0; i < 30; ++i) press('?');
    EXPECT_FLOAT_EQ(lights().spotCutoff, 50.0f);
}

TEST_F(LightKeys, ArrowKeysSwingTheSpotAndAskForARedraw) {
    for (int i = 0; i < 4; ++i) piano->specialKey(KEY_LEFT);
    EXPECT_FLOAT_EQ(lights().spotDir[0], -0.4f);
    piano->specialKey(KEY_DOWN);
    EXPECT_FLOAT_EQ(lights().spotDir[2], 0.1f);
    piano->specialKey(KEY_UP);
    piano->specialKey(KEY_RIGHT);
    EXPECT_NEAR(lights().spotDir[2], 0.0f, 1e-7f);
    EXPECT_FLOAT_EQ(lights().spotDir[1], -2.0f);
    piano->specialKey(1);  // F1: nothing but the redraw
    EXPECT_EQ(redisplays, 8);
}

using CameraDrags = AppTest;

TEST_F(CameraDrags, LeftDragTurnsFromThePressPosition) {
    piano->mouseButton(MOUSE_LEFT_BUTTON, MOUSE_DOWN, 300, 400);
    piano->mouseMotion(400, 400);
    EXPECT_FLOAT_EQ(piano->camera().rotation[1], 7.5f);
    EXPECT_FLOAT_EQ(piano->camera().rotation[0], 60.0f);
    piano->mouseMotion(400, 440);
    EXPECT_FLOAT_EQ(piano->camera().rotation[0], 63.0f);
    piano->mouseButton(MOUSE_LEFT_BUTTON, 1, 400, 440);
    piano->mouseMotion(900, 900);
    EXPECT_FLOAT_EQ(piano->camera().rotation[1], 7.5f) << "no button held";
}

TEST_F(CameraDrags, RightDragZoomsWithinItsLimits) {
    piano->mouseButton(MOUSE_RIGHT_BUTTON, MOUSE_DOWN, 0, 600);
    piano->mouseMotion(0, 500);  // up: nearer, but already at the nearest
    EXPECT_FLOAT_EQ(piano->camera().position[2], -7.5f);
    piano->mouseMotion(0, 1000);
    EXPECT_FLOAT_EQ(piano->camera().position[2], -17.5f);
    piano->mouseMotion(0, 3000);
    EXPECT_FLOAT_EQ(piano->camera().position[2], -30.0f);
}

TEST_F(CameraDrags, MiddleButtonChangesNothing) {
    piano->mouseButton(1, MOUSE_DOWN, 123, 456);
    piano->mouseMotion(500, 500);
    EXPECT_FLOAT_EQ(piano->camera().rotation[1], 0);
    EXPECT_FLOAT_EQ(piano->camera().position[2], -7.5f);
}


// ---- Settings kept between runs --------------------------------------------------------------
// Each piano of a test is a run of the program; the file is the one the next run reads.
class KeptSettings : public AppTest {
protected:
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("tinklewood-kept-" + std::to_string(getpid()));
    std::string file = (dir / "config" / "settings").string();

    void SetUp() override {
        std::filesystem::remove_all(dir);
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);  // the user's songs: none but the test's
        AppTest::SetUp();
        piano->keepSettingsIn(file);
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        std::filesystem::remove_all(dir);
    }
    // The next run: a new piano taking up the file; what it said on stderr.
    std::string restart() {
        piano.reset();
        testing::internal::CaptureStderr();
        piano = std::make_unique<Piano>(setup());
        piano->keepSettingsIn(file);
        return testing::internal::GetCapturedStderr();
    }
    std::string text() const {
        std::ifstream in(file);
        std::stringstream read;
        read << in.rdbuf();
        return read.str();
    }
    void writeFile(const std::string& content) {
        std::filesystem::create_directories(dir / "config");
        std::ofstream(file, std::ios::binary) << content;
    }
};

TEST_F(KeptSettings, WhatTheKeysChoseIsThereAtTheNextStartAndTheFirstNoteSoundsIt) {
    EXPECT_FALSE(std::filesystem::exists(file)) << "nothing is written before anything changes";
    press(' ');
    press(' ');
    press('8');
    press('\t');
    press('4');
    press('1');
    press('0');
    EXPECT_NE(text().find("instrument organ\n"), std::string::npos) << text();
    EXPECT_EQ(restart(), "");
    EXPECT_EQ(piano->instrument(), ORGAN);
    EXPECT_EQ(piano->activeBackground(), CHURCH);
    EXPECT_EQ(piano->activeHandTexture(), ROCK);
    EXPECT_TRUE(piano->lettersOn());
    EXPECT_TRUE(piano->concertOn());
    EXPECT_FALSE(piano->glowOn()) << "the glow turned off after the concert lights stays off";
    EXPECT_TRUE(piano->soundAtPress());
    EXPECT_TRUE(piano->scene().lettersOn);
    sound.take();
    press('s');
    ASSERT_FALSE(sound.calls.empty());
    EXPECT_NE(sound.calls[0].path.find("/organ/"), std::string::npos) << sound.calls[0].path;
}

TEST_F(KeptSettings, TheCameraIsKeptWhereADragLeftItAndTheChosenSongByItsName) {
    piano->mouseButton(MOUSE_LEFT_BUTTON, MOUSE_DOWN, 300, 400);
    piano->mouseMotion(400, 440);
    EXPECT_FALSE(std::filesystem::exists(file)) << "not written at every move of a drag";
    piano->mouseButton(MOUSE_LEFT_BUTTON, 1, 400, 440);
    const std::array<float, 3> turned = piano->camera().rotation;
    EXPECT_NE(turned, CameraState().rotation);
    press('6');
    press('6');
    ASSERT_TRUE(piano->chosenSong());
    const std::string chosen = piano->chosenSong()->path;
    EXPECT_NE(text().find("song shipped " + std::filesystem::path(chosen).filename().string() + "\n"), std::string::npos)
        << text();
    restart();
    EXPECT_EQ(piano->camera().rotation, turned) << "to the last bit";
    ASSERT_TRUE(piano->chosenSong());
    EXPECT_EQ(piano->chosenSong()->path, chosen);
    press('6');
    EXPECT_NE(piano->chosenSong()->path, chosen) << "6 goes on from the song chosen last time";
}

TEST_F(KeptSettings, ADamagedFileGivesOneLineAndTheFirstSettings) {
    writeFile(std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10));
    const std::string said = restart();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("settings file " + file + " not used: line 1: it does not start with"), std::string::npos)
        << said;
    EXPECT_EQ(piano->instrument(), PIANO);
    EXPECT_FALSE(piano->lettersOn());
    press('8');
    EXPECT_EQ(text().rfind("tinklewood-settings 1\n", 0), 0u) << "the next change writes a good file: " << text();
}

TEST_F(KeptSettings, AValueItCannotUseLeavesThatSettingAloneAndNamesItOthersAreKept) {
    writeFile("tinklewood-settings 1\ninstrument kazoo\nletters on\ncamera 0 0 -99 60 0 0\ntempo 1.5\n");
    const std::string said = restart();
    EXPECT_EQ(said, "tinklewood: settings file " + file +
                        ": instrument \"kazoo\" is not one the program knows (and 1 more); kept as at first\n");
    EXPECT_EQ(piano->instrument(), PIANO);
    EXPECT_TRUE(piano->lettersOn());
    EXPECT_FLOAT_EQ(piano->camera().position[2], -7.5f) << "further than a drag can take it";
    press(' ');
    EXPECT_NE(text().find("tempo 1.5\n"), std::string::npos) << "another part's setting is written back: " << text();
    EXPECT_NE(text().find("instrument synth\n"), std::string::npos) << text();
}

TEST_F(KeptSettings, WithoutAFileNothingIsReadOrWritten) {
    writeFile("tinklewood-settings 1\nletters on\n");
    piano.reset();
    piano = std::make_unique<Piano>(setup());  // as --defaults starts it
    EXPECT_FALSE(piano->lettersOn());
    press('8');
    EXPECT_EQ(text(), "tinklewood-settings 1\nletters on\n");
}

// ---- Letters by their place ------------------------------------------------------------------
TEST(LetterNames, EachPlayingLetterIsItsOwnNameUntilTheLayoutNamesItsKey) {
    LetterNames names;
    EXPECT_EQ(names.of('z'), "z");
    EXPECT_EQ(names.of('+'), "+");
    names.set('z', "w");
    names.set('y', "z");
    names.set('q', "a");  // no playing letter: nothing to name
    names.set('s', "");   // a key with nothing printable keeps its letter
    EXPECT_EQ(names.of('z'), "w");
    EXPECT_EQ(names.of('y'), "z");
    EXPECT_EQ(names.of('q'), "q");
    EXPECT_EQ(names.of('s'), "s");
    EXPECT_EQ(LETTER_KEY_NAMES[static_cast<std::size_t>(playingLetterIndex('z'))], "AB01");
    EXPECT_EQ(LETTER_KEY_NAMES[static_cast<std::size_t>(playingLetterIndex('s'))], "AC02");
}

TEST(LetterNames, HelpTextNamesLoneLettersOnlyAndThePianoDrawsItsKeysWithThem) {
    LetterNames names;
    names.set('z', "w");
    names.set('e', "\xd1\x83");  // a Cyrillic key
    EXPECT_EQ(nameLettersIn("Left hand chords:  z    x\n  e r  black keys C D E\nzone: z\nEsc  quit z", names),
              "Left hand chords:  w    x\n  \xd1\x83 r  black keys C D E\nzone: w\nEsc  quit w");
    DrivenClock clock;
    PianoSetup setup;
    setup.clock = &clock;
    Piano piano(setup);
    piano.setLetterNames(names);
    EXPECT_EQ(piano.scene().letterNames.of('z'), "w");
}
