// The frame step: pacing on a driven clock and the order of its updates.
#include "app_fixture.h"
#include "interface.h"

using FrameStep = AppTest;

TEST_F(FrameStep, NoFrameWithinOneIntervalAndOneAfterIt) {
    clock.advance(0.016);
    EXPECT_FALSE(piano->stepFrame());
    EXPECT_EQ(redisplays, 0);
    clock.advance(0.001);
    EXPECT_TRUE(piano->stepFrame());
    EXPECT_EQ(redisplays, 1);
    EXPECT_FALSE(piano->stepFrame()) << "a second call in the same interval does nothing";
    EXPECT_EQ(redisplays, 1);
}

TEST_F(FrameStep, AStepIsDueOnItsMicrosecondAndTheWaitIsNeverNegative) {
    // A sixtieth of a second is 16666.7 microseconds: the first step is due at 16667.
    clock.advance(0.016666);
    EXPECT_FALSE(piano->stepFrame());
    EXPECT_NEAR(piano->secondsUntilFrame(), 0.000001, 1e-9);
    clock.advance(0.000002);
    // Overdue between the step's look and the wait's: the wait is none, never a negative
    // time, which the frame loop's wait would take for "until an input comes".
    EXPECT_EQ(piano->secondsUntilFrame(), 0.0);
    EXPECT_TRUE(piano->stepFrame());
    EXPECT_NEAR(piano->secondsUntilFrame(), STEP_SECONDS - 0.000001, 1e-6)
        << "the next step is due a step after the last one was due, not after it was taken";
}

TEST_F(FrameStep, ALateFrameCatchesUpTheStepsItMissedAndAStallPastHalfASecondStartsAfresh) {
    press('4');  // the concert beams: something that moves by itself
    frame(0.2);
    EXPECT_EQ(piano->steps(), 1) << "out of rest, the piano owes no steps: it takes up from now";
    const int drawn = redisplays;
    frame(5 * STEP_SECONDS);
    EXPECT_EQ(piano->steps(), 6) << "five steps in one late frame";
    EXPECT_EQ(redisplays, drawn + 1) << "and one frame drawn";
    frame(STEP_SECONDS);
    EXPECT_EQ(piano->steps(), 7);
    frame(MAX_CATCH_UP_SECONDS + 1.0);
    EXPECT_EQ(piano->steps(), 8) << "a stall is not rushed through";
    EXPECT_NEAR(piano->secondsUntilFrame(), STEP_SECONDS, 1e-6) << "the steps go on from now";
}

TEST_F(FrameStep, IdleFrameOnlyRedrawsAndRestartsTheInterval) {
    frames(3);
    EXPECT_EQ(redisplays, 3);
    EXPECT_EQ(currNote(), -1);
    EXPECT_EQ(playChord(), NONE);
    EXPECT_TRUE(sound.calls.empty());
    EXPECT_NEAR(piano->secondsUntilFrame(), STEP_SECONDS, 1e-6) << "the next step a step later";
}

TEST_F(FrameStep, AStartedNoteDelaysTheNextFrameByAFullInterval) {
    clock.advance(0.016);
    press('s');  // resets the frame clock
    clock.advance(0.010);
    EXPECT_FALSE(piano->stepFrame());
    clock.advance(0.007);
    EXPECT_TRUE(piano->stepFrame());
}

TEST_F(FrameStep, SongStepComesBeforeTheStrokeUpdatesOfTheSameFrame) {
    // A song entry pressed in a frame has its stroke advanced in that same frame: the
    // right hand has left NO_ANIMATION and taken its note by the end of the frame.
    SongData song;
    song.right = {{1.0f, 0.0f}, {2.0f, 1.0f}};
    ASSERT_TRUE(piano->startSong(song, "two notes"));
    frames(STEPS_PER_BEAT - 1);
    ASSERT_EQ(currNote(), 7);
    frame();  // beat 1: the second entry ('d', key 8) is pressed
    EXPECT_EQ(currNote(), 8);
    EXPECT_EQ(rightHand().animationStatus, Hand::DOWN);
    EXPECT_EQ(rightHand().activeNote, 8);
}

TEST_F(FrameStep, TwoPianosOnOneClockShareNothing) {
    // A second piano beside the fixture's, on the same clock and sound engine.
    CountingHost otherHost;
    PianoSetup other = setup();
    other.host = &otherHost;
    Piano second(other);
    // A session on the first that touches each part: a song with both hands under way, concert
    // lights, a dimmed and swung spot, a drag, the minor mode, glow, another instrument.
    press('5');
    press('-');
    press('2');
    press('<');
    press(' ');
    piano->specialKey(KEY_LEFT);
    piano->mouseButton(MOUSE_LEFT_BUTTON, MOUSE_DOWN, 10, 10);
    piano->mouseMotion(40, 30);
    press('4');
    frames(40);
    ASSERT_TRUE(songPlaying());
    ASSERT_NE(currNote(), -1);
    ASSERT_GT(key(7).pressFactor + key(8).pressFactor + key(9).pressFactor, 0.0f);

    // The second piano is as it was built: nothing of the first reached it.
    const Scene fresh;
    const Scene seen = second.scene();
    EXPECT_FALSE(second.song().playing());
    EXPECT_FALSE(second.noteStroke().busy() || second.chordStroke().busy());
    EXPECT_EQ(second.mode(), MAJOR);
    EXPECT_EQ(second.instrument(), PIANO);
    EXPECT_FALSE(seen.glowOn || seen.concertOn);
    EXPECT_EQ(seen.camera.rotation, fresh.camera.rotation);
    EXPECT_EQ(seen.lights.spotDir, fresh.lights.spotDir);
    EXPECT_EQ(seen.lights.ambient_intensity, fresh.lights.ambient_intensity);
    EXPECT_EQ(seen.lights.background_intensity, 1.0f);
    EXPECT_TRUE(seen.caption.empty());
    for (const PianoKey& k : seen.keys) EXPECT_EQ(k.pressFactor, 0.0f);
    EXPECT_EQ(seen.rightHand.animationStatus, Hand::NO_ANIMATION);
    EXPECT_EQ(seen.rightHand.pos[0], RIGHT_HAND_POSITIONS[0][0]);
    EXPECT_EQ(seen.leftHand.animationStatus, Hand::NO_ANIMATION);
    for (int k = 0; k < 256; ++k) EXPECT_FALSE(second.keyHeld(static_cast<unsigned char>(k))) << k;
    EXPECT_EQ(otherHost.redisplays, 0);

    // And it plays by itself: a letter there strikes its key there only.
    const float firstC = key(7).pressFactor;
    second.keyDown('k');  // key 13
    for (int i = 0; i < 12; ++i) {
        clock.advance(1.0 / 60 + 0.0005);
        second.stepFrame();
    }
    EXPECT_FLOAT_EQ(second.keys()[13].pressFactor, 1.0f);
    EXPECT_EQ(second.noteStroke().target(), 13);
    EXPECT_EQ(key(13).pressFactor, 0.0f) << "the letter reached the first piano";
    EXPECT_EQ(key(7).pressFactor, firstC) << "the first piano's keys moved without a frame of its own";
    EXPECT_GT(otherHost.redisplays, 0);
}

TEST_F(FrameStep, AFrameIsWantedOnlyWhileSomethingOnScreenMoves) {
    EXPECT_FALSE(piano->animating()) << "at rest";
    press('s');
    EXPECT_TRUE(piano->animating());
    int frameCount = 0;
    while (piano->animating() && frameCount < 100) {
        frame();
        ++frameCount;
    }
    EXPECT_EQ(frameCount, 13) << "still once the finger holds the key down and its clock is paused";
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f);
    clock.advance(2.0);  // held two seconds with no frame
    release('s');
    EXPECT_TRUE(piano->animating());
    frameCount = 0;
    while (piano->animating() && frameCount < 100) {
        frame();
        ++frameCount;
    }
    EXPECT_GE(frameCount, 11) << "the way up took its usual frames: the hold did not count";
    EXPECT_LE(frameCount, 13);
    EXPECT_EQ(currNote(), -1);
    EXPECT_EQ(key(7).pressFactor, 0.0f);

    press('4');
    EXPECT_TRUE(piano->animating()) << "the concert beams sweep";
    press('3');
    EXPECT_FALSE(piano->animating());

    press('-');
    EXPECT_FALSE(piano->animating()) << "a caption changes nothing until it ends";
    EXPECT_NEAR(*piano->secondsUntilChange(), CAPTION_SECONDS, 1e-6);
    clock.advance(CAPTION_SECONDS + 0.01);
    EXPECT_EQ(piano->secondsUntilChange(), 0.0) << "the caption's time has come: no wait, and none for ever";
    EXPECT_TRUE(piano->captionEnded());
    EXPECT_FALSE(piano->secondsUntilChange().has_value()) << "nothing more will change";
}
