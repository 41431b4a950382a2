// The frame step: pacing on a driven clock and the order of its updates.
#include "app_fixture.h"

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
    clock.advance(0.000001);
    EXPECT_TRUE(stepFrame());
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
