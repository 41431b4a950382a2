// The frame step: pacing on a driven clock and the order of its updates.
#include "app_fixture.h"
#include "interface.h"

using FrameStep = AppTest;

TEST_F(FrameStep, NoFrameWithinOneIntervalAndOneAfterIt) {
    clock.advance(0.016);
    EXPECT_FALSE(stepFrame());
    EXPECT_EQ(redisplays, 0);
    clock.advance(0.001);
    EXPECT_TRUE(stepFrame());
    EXPECT_EQ(redisplays, 1);
    EXPECT_FALSE(stepFrame()) << "a second call in the same interval does nothing";
    EXPECT_EQ(redisplays, 1);
}

TEST_F(FrameStep, ExactlyOneSixtiethIsNotYetAFrame) {
    // The interval is the float 1/60 (0.016666668 s); a frame needs strictly more.
    clock.advance(0.016666);
    EXPECT_FALSE(stepFrame());
    EXPECT_NEAR(secondsUntilFrame(), 0.000000668, 1e-7);
    clock.advance(0.000001);
    // Overdue between the step's look and the wait's: the wait is none, never a negative
    // time, which the frame loop's wait would take for "until an input comes".
    EXPECT_EQ(secondsUntilFrame(), 0.0);
    EXPECT_TRUE(stepFrame());
    EXPECT_NEAR(secondsUntilFrame(), static_cast<double>(SEC_PER_FRAME), 1e-9);
}

TEST_F(FrameStep, IdleFrameOnlyRedrawsAndRestartsTheInterval) {
    frames(3);
    EXPECT_EQ(redisplays, 3);
    EXPECT_EQ(currNote, -1);
    EXPECT_EQ(playChord, NONE);
    EXPECT_TRUE(sound.calls.empty());
    EXPECT_NEAR(frameRateTimer->elapsed(), 0.0, 1e-9);
}

TEST_F(FrameStep, AStartedNoteDelaysTheNextFrameByAFullInterval) {
    clock.advance(0.016);
    press('s');  // resets the frame clock
    clock.advance(0.010);
    EXPECT_FALSE(stepFrame());
    clock.advance(0.007);
    EXPECT_TRUE(stepFrame());
}

TEST_F(FrameStep, SongStepComesBeforeTheStrokeUpdatesOfTheSameFrame) {
    // A song entry pressed in a frame has its stroke advanced in that same frame: the
    // right hand has left NO_ANIMATION and taken its note by the end of the frame.
    songRight = {{1.0f, 0.0f}, {2.0f, 1.0f}};
    songPlaying = true;
    beat = 0;
    numFrames = FRAMES_PER_BEAT - 1;
    currRightNote = 0;
    frame();  // beat 1: the second entry ('d', key 8) is pressed
    EXPECT_EQ(currNote, 8);
    EXPECT_EQ(rightHand.animationStatus, Hand::DOWN);
    EXPECT_EQ(rightHand.activeNote, 8);
}

TEST_F(FrameStep, ResettingTheStatePutsEveryGroupBackAsAtStart) {
    // A session that touches each group: a song with both hands under way, concert lights, a
    // dimmed and swung spot, a drag, a chord letter held through a mode change.
    press('5');
    press('-');
    press('2');
    press('<');
    moveLight(KEY_LEFT, 0, 0);
    mouse(MOUSE_LEFT_BUTTON, MOUSE_DOWN, 10, 10);
    motion(40, 30);
    press('4');
    frames(40);
    ASSERT_TRUE(songPlaying);
    ASSERT_NE(currNote, -1);

    resetAppState();
    const AppState fresh;
    EXPECT_FALSE(songPlaying);
    EXPECT_TRUE(songRight.empty() && songLeft.empty());
    EXPECT_EQ(currNote, -1);
    EXPECT_EQ(playChord, NONE);
    EXPECT_EQ(mode, MAJOR);
    EXPECT_FALSE(glowOn || concertOn || rotateCam || noteKeyPressed || chordKeyPressed);
    for (int k = 0; k < 256; ++k) EXPECT_FALSE(keyPressed[k]) << k;
    EXPECT_EQ(camRot[1], fresh.view.camRot[1]);
    EXPECT_EQ(spotDir, fresh.light.spotDir);
    EXPECT_EQ(ambient_intensity, fresh.light.ambient_intensity);
    EXPECT_EQ(background_intensity, 1.0f);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(SPOT_TARGETS[i][0], fresh.light.SPOT_TARGETS[i][0]);
    for (PianoKey* key : keys) EXPECT_EQ(key->pressFactor, 0.0f);
    EXPECT_EQ(rightHand.animationStatus, Hand::NO_ANIMATION);
    EXPECT_EQ(rightHand.pos[0], RIGHT_HAND_POSITIONS[0][0]);
    EXPECT_EQ(leftHand.animationStatus, Hand::NO_ANIMATION);

    // And the program plays from there as it does after start-up.
    press('5');
    EXPECT_TRUE(songPlaying);
    EXPECT_EQ(currNote, 7) << "the song's first note starts on a free right hand";
}

TEST_F(FrameStep, AFrameIsWantedOnlyWhileSomethingOnScreenMoves) {
    EXPECT_FALSE(animating()) << "at rest";
    press('s');
    EXPECT_TRUE(animating());
    int frameCount = 0;
    while (animating() && frameCount < 100) {
        frame();
        ++frameCount;
    }
    EXPECT_EQ(frameCount, 13) << "still once the finger holds the key down and its clock is paused";
    EXPECT_FLOAT_EQ(keys[7]->pressFactor, 1.0f);
    clock.advance(2.0);  // held two seconds with no frame
    release('s');
    EXPECT_TRUE(animating());
    frameCount = 0;
    while (animating() && frameCount < 100) {
        frame();
        ++frameCount;
    }
    EXPECT_GE(frameCount, 11) << "the way up took its usual frames: the hold did not count";
    EXPECT_LE(frameCount, 13);
    EXPECT_EQ(currNote, -1);
    EXPECT_EQ(keys[7]->pressFactor, 0.0f);

    press('4');
    EXPECT_TRUE(animating()) << "the concert beams sweep";
    press('3');
    EXPECT_FALSE(animating());

    press('-');
    EXPECT_FALSE(animating()) << "a caption changes nothing until it ends";
    EXPECT_NEAR(secondsUntilChange(), CAPTION_SECONDS, 1e-6);
    clock.advance(CAPTION_SECONDS + 0.01);
    EXPECT_EQ(secondsUntilChange(), 0.0) << "the caption's time has come: no wait, and none for ever";
    EXPECT_TRUE(captionEnded());
    EXPECT_LT(secondsUntilChange(), 0) << "nothing more will change";
}
