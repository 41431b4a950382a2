// The hands without a window: the pose tables, posing, the note map and the strokes.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <vector>

#include "ChordInfo.h"
#include "Hand.h"
#include "HandShapes.h"
#include "RightHandShapes.h"

namespace {

void expectVector(const Vector& v, std::initializer_list<float> expected, const char* what) {
    ASSERT_EQ(v.getDim(), static_cast<int>(expected.size())) << what;
    int i = 0;
    for (float e : expected) {
        EXPECT_NEAR(v[i], e, 1e-5f) << what << " element " << i;
        ++i;
    }
}

void expectSameVector(const Vector& a, const Vector& b, const char* what, float tol = 1e-5f) {
    ASSERT_EQ(a.getDim(), b.getDim()) << what;
    for (int i = 0; i < a.getDim(); ++i) EXPECT_NEAR(a[i], b[i], tol) << what << " element " << i;
}

// The 22-angle pose a hand shows: its wrist, the thumb's three angles, four per finger.
Vector poseOf(const Hand& h) {
    Vector pose(Hand::NUM_HAND_DOFS);
    pose.copyData(h.shape, 3, 0, 0);
    pose.copyData(h.fingers[0].shape, 3, 0, Hand::THUMB_SPREAD);
    for (int k = 1; k < 5; ++k) pose.copyData(h.fingers[k].shape, 4, 0, Hand::INDEX_SPREAD + 4 * (k - 1));
    return pose;
}

Vector wristOf(const Hand& h) { return h.shape.makeDim(3, h.shape); }

float distance(const Vector& a, const Vector& b) {
    float sum = 0;
    for (int i = 0; i < a.getDim(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum);
}

// A right hand that has just been told to strike `note`, standing at hand position `from`.
void startNote(Hand& h, int note, int from) {
    h.rightHandPos = from;
    h.rightHandPrevPos = from;
    h.updateAnimationStatus(true);
    h.setAnimationNote(note);
}

// Stroke times as the drivers read them: a double clock stored as float.
float frameTime(int frame) { return static_cast<float>(frame / 60.0); }

}  // namespace

// ---- Tables ---------------------------------------------------------------------------------

TEST(ChordTables, EachChordPressesItsKeysFromItsPlace) {
    struct Expected {
        ChordEnum chord;
        int notes[3];
        float x, z;
    };
    const Expected table[] = {
        {CEG, {0, 2, 4}, -3.085f, 2.15f}, {CFA, {0, 3, 5}, -2.485f, 2.4f},
        {CEA, {0, 2, 5}, -2.665f, 2.15f}, {DFA, {1, 3, 5}, -2.485f, 2.15f},
        {DGB, {1, 4, 6}, -1.885f, 2.4f},  {EGsB, {2, 6, 18}, -1.585f, 2.15f},
        {DFB, {1, 3, 6}, -2.065f, 2.4f},
    };
    for (const Expected& e : table) {
        const ChordInfo& c = CHORDS[e.chord];
        SCOPED_TRACE(e.chord);
        EXPECT_EQ(c.numNotes, 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(c.notes[i], e.notes[i]);
            EXPECT_EQ(CHORD_NOTES[e.chord][i], e.notes[i]);
        }
        expectVector(c.pos, {e.x, 0.45f, e.z}, "chord position");
        expectSameVector(CHORD_POSITIONS[e.chord], c.pos, "CHORD_POSITIONS");
    }
}

TEST(ChordTables, SevenChordsShareFourPoses) {
    const Vector* expected[NUM_CHORDS] = {&CEG_SHAPE, &CFA_SHAPE, &CEA_SHAPE, &CEG_SHAPE,
                                          &CFA_SHAPE, &EGsB_SHAPE, &CEA_SHAPE};
    for (int c = 0; c < NUM_CHORDS; ++c) {
        SCOPED_TRACE(c);
        expectSameVector(CHORDS[c].shape, *expected[c], "chord shape", 0);
    }
}

TEST(ChordTables, ChordLettersPickDifferentChordsPerMode) {
    const ChordEnum major[5] = {CEG, DFA, CFA, CEA, DGB};
    const ChordEnum minor[5] = {CEA, DFB, DFA, CFA, EGsB};
    for (int q = 0; q < 5; ++q) {
        EXPECT_EQ(CHORD_KEY_TABLE[MAJOR][q], major[q]) << "q " << q;
        EXPECT_EQ(CHORD_KEY_TABLE[MINOR][q], minor[q]) << "q " << q;
    }
}

TEST(PoseTables, LeftPosesHoldTheirDistinctAngles) {
    // One or two values per pose that no other pose shares, and the wrists.
    EXPECT_FLOAT_EQ(DEFAULT_SHAPE[Hand::RING_SPREAD], -15);
    EXPECT_FLOAT_EQ(DEFAULT_SHAPE[Hand::INDEX_SPREAD], 10);
    EXPECT_FLOAT_EQ(CEG_SHAPE[Hand::INDEX_JOINT_1], -9);
    EXPECT_FLOAT_EQ(CEG_SHAPE[Hand::PINKY_SPREAD], -19);
    EXPECT_FLOAT_EQ(CFA_SHAPE[Hand::INDEX_JOINT_3], 31);
    EXPECT_FLOAT_EQ(CFA_SHAPE[Hand::WRIST_YAW], -20);
    EXPECT_FLOAT_EQ(CEA_SHAPE[Hand::PINKY_SPREAD], -28);
    EXPECT_FLOAT_EQ(CEA_SHAPE[Hand::PINKY_JOINT_3], 32);
    EXPECT_FLOAT_EQ(EGsB_SHAPE[Hand::MID_JOINT_3], 16.5f);
    EXPECT_FLOAT_EQ(EGsB_SHAPE[Hand::THUMB_JOINT_2], 42);
    const Vector* chordPoses[] = {&CEG_SHAPE, &CFA_SHAPE, &CEA_SHAPE, &EGsB_SHAPE};
    for (const Vector* pose : chordPoses) {
        EXPECT_EQ(pose->getDim(), Hand::NUM_HAND_DOFS);
        EXPECT_FLOAT_EQ((*pose)[Hand::WRIST_ROLL], -70);
        EXPECT_FLOAT_EQ((*pose)[Hand::WRIST_PITCH], 0);
    }
    expectVector(DEFAULT_LEFT_POS, {-2.485f, 1.0f, 2.0f}, "DEFAULT_LEFT_POS");
}

TEST(PoseTables, RightRestPoseIsTheRestWristAndFingersInARow) {
    ASSERT_EQ(DEFAULT_SHAPE_RIGHT.getDim(), Hand::NUM_HAND_DOFS);
    expectVector(RWRIST_DEFAULT, {-60, 0, 0}, "RWRIST_DEFAULT");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(DEFAULT_SHAPE_RIGHT[i], RWRIST_DEFAULT[i]);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(DEFAULT_SHAPE_RIGHT[Hand::THUMB_SPREAD + i], RFINGERS_DEFAULT[0][i]);
    for (int k = 1; k < 5; ++k)
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(DEFAULT_SHAPE_RIGHT[Hand::INDEX_SPREAD + 4 * (k - 1) + i], RFINGERS_DEFAULT[k][i])
                << "finger " << k << " angle " << i;
    expectVector(RFINGERS_DEFAULT[3], {-10, 0, 40, 20}, "ring at rest");
    expectVector(RFINGERS_DEFAULT[4], {-20, 10, 30, 30}, "little finger at rest");
}

TEST(PoseTables, RightRestPoseDiffersFromLeftOnlyInIndexMiddleAndRing) {
    for (int i = 0; i < Hand::NUM_HAND_DOFS; ++i) {
        const bool inMiddleFingers = i >= Hand::INDEX_SPREAD && i <= Hand::RING_JOINT_3;
        if (!inMiddleFingers) { EXPECT_EQ(DEFAULT_SHAPE_RIGHT[i], DEFAULT_SHAPE[i]) << "angle " << i; }
    }
    EXPECT_NE(DEFAULT_SHAPE_RIGHT[Hand::INDEX_SPREAD], DEFAULT_SHAPE[Hand::INDEX_SPREAD]);
    EXPECT_NE(DEFAULT_SHAPE_RIGHT[Hand::MID_SPREAD], DEFAULT_SHAPE[Hand::MID_SPREAD]);
    EXPECT_NE(DEFAULT_SHAPE_RIGHT[Hand::RING_SPREAD], DEFAULT_SHAPE[Hand::RING_SPREAD]);
}

TEST(PoseTables, StrikingShapesAndWrists) {
    expectVector(RFINGERS_PLAY[Hand::WHITE][0], {45, -40, 55, 0}, "thumb on white");
    expectVector(RFINGERS_PLAY[Hand::WHITE][3], {-15, 7, 50, 25}, "ring on white");
    expectVector(RFINGERS_PLAY[Hand::WHITE][4], {-30, 15, 35, 25}, "little on white");
    expectVector(RFINGERS_PLAY[Hand::BLACK][1], {17, 17, 30, 10}, "index on black");
    expectVector(RFINGERS_PLAY[Hand::BLACK][3], {-5, 5, 43, 15}, "ring on black");
    expectVector(RWRIST_PLAY[Hand::WHITE][0], {-70, -5, 5}, "wrist, thumb on white");
    expectVector(RWRIST_PLAY[Hand::WHITE][2], {-70, 0, 0}, "wrist, middle on white");
    expectVector(RWRIST_PLAY[Hand::WHITE][4], {-70, 0, -5}, "wrist, little on white");
    for (int f = 0; f < 5; ++f) expectVector(RWRIST_PLAY[Hand::BLACK][f], {-65, 0, 0}, "wrist on black");
}

TEST(PoseTables, RightHandRestsAndStrikesAtTwoPlaces) {
    expectVector(RIGHT_HAND_POSITIONS[0], {1.2f, 1.0f, 2.0f}, "rest at 0");
    expectVector(RIGHT_HAND_POSITIONS[1], {3.0f, 1.0f, 2.0f}, "rest at 1");
    expectVector(RIGHT_HAND_POSITIONS[2], {1.2f, 0.78f, 2.1f}, "strike at 0");
    expectVector(RIGHT_HAND_POSITIONS[3], {3.0f, 0.78f, 2.1f}, "strike at 1");
}

// ---- The two hands and posing ---------------------------------------------------------------

TEST(GlobalHands, StandAtRestAfterStaticInitialisation) {
    EXPECT_EQ(rightHand.side, 1);
    expectVector(rightHand.pos, {1.2f, 1.0f, 2.0f}, "right hand position");
    expectSameVector(poseOf(rightHand), DEFAULT_SHAPE_RIGHT, "right hand pose", 0);
    EXPECT_EQ(leftHand.side, -1);
    expectVector(leftHand.pos, {-2.485f, 1.0f, 2.0f}, "left hand position");
    expectSameVector(poseOf(leftHand), DEFAULT_SHAPE, "left hand pose", 0);
    for (const Hand* h : {&leftHand, &rightHand}) {
        EXPECT_TRUE(h->fingers[0].isThumb);
        for (int k = 1; k < 5; ++k) EXPECT_FALSE(h->fingers[k].isThumb);
        EXPECT_EQ(h->animationStatus, Hand::NO_ANIMATION);
        EXPECT_EQ(h->animationType, Hand::NONE);
        EXPECT_EQ(h->noteType, Hand::NO_NOTE);
        EXPECT_EQ(h->animationChord, nullptr);
        EXPECT_EQ(h->rightHandPos, 0);
    }
}

TEST(HandPose, SetDOFsFillsWristAndFingersOnly) {
    Hand h(1);
    h.shape[Hand::THUMB_SPREAD] = 7;
    h.shape[Hand::PINKY_JOINT_3] = 8;
    h.fingers[0].shape[3] = 9;
    Vector pose(Hand::NUM_HAND_DOFS);
    for (int i = 0; i < Hand::NUM_HAND_DOFS; ++i) pose[i] = 100.0f + i;
    h.setDOFs(pose);

    expectSameVector(poseOf(h), pose, "distributed pose", 0);
    EXPECT_EQ(h.fingers[0].shape[3], 9) << "the thumb has no third joint to set";
    EXPECT_EQ(h.shape[Hand::THUMB_SPREAD], 7) << "finger angles live in the fingers";
    EXPECT_EQ(h.shape[Hand::PINKY_JOINT_3], 8);
}

TEST(HandPose, SettersTakeOnlyTheLeadingElements) {
    Hand h(-1);
    h.setPos(Vector(std::array<float, 4>{1, 2, 3, 4}));
    expectVector(h.pos, {1, 2, 3}, "position");
    h.setWrist(Vector(std::array<float, 4>{-10, 20, -30, 40}));
    EXPECT_EQ(h.shape[0], -10);
    EXPECT_EQ(h.shape[1], 20);
    EXPECT_EQ(h.shape[2], -30);
    EXPECT_EQ(h.shape[3], 0);
    Finger f;
    EXPECT_FALSE(f.isThumb);
    f.setDOFsv(Vector(std::array<float, 22>{1, 2, 3, 4, 5}));
    expectVector(f.shape, {1, 2, 3, 4}, "finger shape");
}

// ---- State machine --------------------------------------------------------------------------

TEST(StrokeStatus, PressStartsAStrokeOnlyFromRest) {
    Hand h(-1);
    h.animationTime = 5;
    h.holdTime = 3;
    h.updateAnimationStatus(true);
    EXPECT_EQ(h.animationStatus, Hand::DOWN);
    EXPECT_EQ(h.animationTime, 0);
    EXPECT_EQ(h.holdTime, 0);

    for (Hand::AnimationStatus busy : {Hand::DOWN, Hand::HOLD, Hand::UP}) {
        h.animationStatus = busy;
        h.animationTime = 0.3f;
        h.updateAnimationStatus(true);
        EXPECT_EQ(h.animationStatus, busy) << "a stroke is not restarted before it ends";
        EXPECT_EQ(h.animationTime, 0.3f);
        EXPECT_FALSE(h.goUpAtHold);
    }
}

TEST(StrokeStatus, ReleaseSendsAHeldHandUpAndMarksAFallingOne) {
    Hand h(-1);
    h.animationStatus = Hand::HOLD;
    h.updateAnimationStatus(false);
    EXPECT_EQ(h.animationStatus, Hand::UP);
    EXPECT_FALSE(h.goUpAtHold) << "a hand going up is not marked";

    h.animationStatus = Hand::DOWN;
    h.updateAnimationStatus(false);
    EXPECT_EQ(h.animationStatus, Hand::DOWN);
    EXPECT_TRUE(h.goUpAtHold);

    Hand idle(-1);
    idle.updateAnimationStatus(false);
    EXPECT_EQ(idle.animationStatus, Hand::NO_ANIMATION);
    EXPECT_FALSE(idle.goUpAtHold);
}

TEST(StrokeStatus, ChordIsRecordedUnconditionally) {
    Hand h(-1);
    h.setAnimationChord(&CHORDS[DGB]);
    EXPECT_EQ(h.animationType, Hand::CHORD);
    EXPECT_EQ(h.animationChord, &CHORDS[DGB]);
}

TEST(StrokeStatus, UpdateHandPosRemembersThePrevious) {
    Hand h(1);
    h.updateHandPos(1);
    EXPECT_EQ(h.rightHandPrevPos, 0);
    EXPECT_EQ(h.rightHandPos, 1);
    h.updateHandPos(1);
    EXPECT_EQ(h.rightHandPrevPos, 1);
}

// ---- Note map -------------------------------------------------------------------------------

TEST(NoteMap, EveryNoteFromBothPositions) {
    struct Row {
        int note;
        int fingerFrom0, posFrom0, fingerFrom1, posFrom1;
    };
    const Row map[] = {
        {7, 0, 0, 0, 0},  {8, 1, 0, 1, 0},  {9, 2, 0, 2, 0},  {10, 3, 0, 0, 1}, {11, 4, 0, 1, 1},
        {12, 2, 1, 2, 1}, {13, 3, 1, 3, 1}, {14, 4, 1, 4, 1}, {20, 1, 0, 1, 0}, {21, 2, 0, 2, 0},
        {22, 4, 0, 1, 1}, {23, 2, 1, 2, 1}, {24, 3, 1, 3, 1},
    };
    for (const Row& r : map) {
        for (int from = 0; from < 2; ++from) {
            SCOPED_TRACE(testing::Message() << "note " << r.note << " from position " << from);
            Hand h(1);
            h.holdTime = 1;
            startNote(h, r.note, from);
            EXPECT_EQ(h.animationType, Hand::NOTE);
            EXPECT_EQ(h.activeNote, r.note);
            EXPECT_EQ(h.noteType, r.note <= 14 ? Hand::WHITE : Hand::BLACK);
            EXPECT_EQ(h.activeFinger, from == 0 ? r.fingerFrom0 : r.fingerFrom1);
            EXPECT_EQ(h.rightHandPos, from == 0 ? r.posFrom0 : r.posFrom1);
            EXPECT_EQ(h.rightHandPrevPos, from);
            EXPECT_EQ(h.holdTime, 0);
            if (h.noteType == Hand::BLACK) { EXPECT_NE(h.activeFinger, 0) << "no thumb on black"; }
        }
    }
}

TEST(NoteMap, IgnoredOutsideTheDownPhase) {
    for (Hand::AnimationStatus status : {Hand::NO_ANIMATION, Hand::HOLD, Hand::UP}) {
        SCOPED_TRACE(status);
        Hand h(1);
        h.animationStatus = status;
        h.activeNote = 9;
        h.activeFinger = 2;
        h.holdTime = 0.5f;
        h.setAnimationNote(12);  // would shift the hand to position 1
        EXPECT_EQ(h.animationType, Hand::NONE);
        EXPECT_EQ(h.activeNote, 9);
        EXPECT_EQ(h.activeFinger, 2);
        EXPECT_EQ(h.noteType, Hand::NO_NOTE);
        EXPECT_EQ(h.rightHandPos, 0);
        EXPECT_EQ(h.holdTime, 0.5f);
    }
}

TEST(NoteMap, RepeatedChoiceDuringDownStartsFromTheNewPlace) {
    Hand h(1);
    startNote(h, 12, 0);
    h.animateFinger(0.1f);
    EXPECT_NEAR(h.pos[0], (1.2f + 3.0f) / 2, 1e-5f) << "half way from position 0";
    h.setAnimationNote(12);  // the drivers repeat it on every key event while held
    EXPECT_EQ(h.activeFinger, 2);
    EXPECT_EQ(h.rightHandPos, 1);
    EXPECT_EQ(h.rightHandPrevPos, 1);
    h.animateFinger(0.1f);
    EXPECT_NEAR(h.pos[0], 3.0f, 1e-5f) << "now half way down from position 1's rest point";
    EXPECT_NEAR(h.pos[1], (1.0f + 0.78f) / 2, 1e-5f);
}

// ---- Chord strokes --------------------------------------------------------------------------

TEST(ChordStroke, HalfWayDownIsHalfWayInEveryAngleAndThePalm) {
    Hand h(-1);
    h.updateAnimationStatus(true);
    h.setAnimationChord(&CHORDS[CFA]);
    h.animateChord(0.1f);
    EXPECT_EQ(h.animationStatus, Hand::DOWN);
    const Vector pose = poseOf(h);
    for (int i = 0; i < Hand::NUM_HAND_DOFS; ++i)
        EXPECT_NEAR(pose[i], (DEFAULT_SHAPE[i] + CFA_SHAPE[i]) / 2, 1e-4f) << "angle " << i;
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(h.pos[i], (DEFAULT_LEFT_POS[i] + CHORDS[CFA].pos[i]) / 2, 1e-5f);
}

TEST(ChordStroke, HeldChordReturnsToRestAfterRelease) {
    Hand h(-1);
    h.setDOFs(EGsB_SHAPE);  // whatever it shows, a stroke starts from rest
    h.updateAnimationStatus(true);
    h.setAnimationChord(&CHORDS[DFA]);
    h.animateChord(0.0f);
    expectSameVector(poseOf(h), DEFAULT_SHAPE, "start of stroke");

    h.animateChord(0.21f);
    EXPECT_EQ(h.animationStatus, Hand::HOLD);
    expectSameVector(poseOf(h), CEG_SHAPE, "chord pose", 1e-4f);
    expectSameVector(h.pos, CHORDS[DFA].pos, "chord place");
    for (int i = 0; i < 50; ++i) h.animateChord(0.21f);  // the paused clock
    EXPECT_EQ(h.holdTime, 0);

    h.updateAnimationStatus(false);
    h.animateChord(0.3f);
    EXPECT_EQ(h.animationStatus, Hand::UP);
    EXPECT_NEAR(h.pos[1], 0.45f + 0.55f * 0.5f, 1e-4f) << "half way up at 0.3 s";
    h.animateChord(0.4f);
    EXPECT_EQ(h.animationStatus, Hand::NO_ANIMATION);
    EXPECT_EQ(h.animationTime, 0);
    expectSameVector(poseOf(h), DEFAULT_SHAPE, "back at rest", 1e-4f);
    expectSameVector(h.pos, DEFAULT_LEFT_POS, "back at rest");
    EXPECT_EQ(h.animationChord, &CHORDS[DFA]) << "kept after the stroke";
}

TEST(ChordStroke, TapGoesStraightFromTheBottomToUp) {
    Hand h(-1);
    h.updateAnimationStatus(true);
    h.setAnimationChord(&CHORDS[CEG]);
    h.animateChord(0.05f);
    h.updateAnimationStatus(false);
    h.animateChord(0.15f);
    EXPECT_EQ(h.animationStatus, Hand::DOWN);
    h.animateChord(0.2f);
    EXPECT_EQ(h.animationStatus, Hand::UP);
    EXPECT_FALSE(h.goUpAtHold);
    expectSameVector(h.pos, CHORDS[CEG].pos, "the bottom is reached");
}

// ---- Note strokes ---------------------------------------------------------------------------

TEST(NoteStroke, FrameByFrameWithAHold) {
    Hand h(1);
    startNote(h, 13, 0);  // B: ring finger, shifting to position 1
    ASSERT_EQ(h.activeFinger, 3);
    const Vector rest = RIGHT_HAND_POSITIONS[1];
    const Vector strike = RIGHT_HAND_POSITIONS[3];

    // Down, as the driver reads its clock every 1/60 s.
    int frame = 1;
    float lastT = 0;
    for (; h.animationStatus == Hand::DOWN; ++frame) {
        ASSERT_LT(frame, 20) << "the down phase never ends";
        lastT = frameTime(frame);
        h.animateFinger(lastT);
    }
    EXPECT_GE(lastT, 0.2f);
    EXPECT_LT(lastT, 0.2f + 1 / 60.0f);
    ASSERT_EQ(h.animationStatus, Hand::HOLD);
    expectSameVector(h.pos, strike, "at the bottom");
    expectSameVector(h.fingers[3].shape, RFINGERS_PLAY[Hand::WHITE][3], "ring striking", 1e-4f);

    // Held: the driver pauses its clock, so the same time comes in for a second.
    for (int i = 0; i < 60; ++i) h.animateFinger(lastT);
    EXPECT_EQ(h.animationStatus, Hand::HOLD);
    EXPECT_EQ(h.holdTime, 0);
    expectSameVector(h.pos, strike, "held down");

    h.updateAnimationStatus(false);
    float prevDistance = distance(h.pos, rest);
    float prevAngle = h.fingers[3].shape[2];
    bool first = true;
    for (; h.animationStatus == Hand::UP; ++frame) {
        ASSERT_LT(frame, 40) << "the up phase never ends";
        const float t = frameTime(frame);
        h.animateFinger(t);
        if (t >= 0.4f) {
            EXPECT_EQ(h.animationStatus, Hand::NO_ANIMATION) << "ends on the first frame at 0.4 s";
            break;
        }
        ASSERT_EQ(h.animationStatus, Hand::UP) << "ended early at " << t;
        const float q = (t - 0.2f) / 0.2f;
        EXPECT_NEAR(h.pos[1], strike[1] + (rest[1] - strike[1]) * q, 1e-5f) << "t " << t;
        const float d = distance(h.pos, rest);
        EXPECT_LT(d, prevDistance) << "the palm keeps rising at " << t;
        EXPECT_LT(prevDistance - d, 0.2f * distance(strike, rest)) << "a jump at " << t;
        EXPECT_LE(h.fingers[3].shape[2], prevAngle);  // 50 back down to 40
        if (first) { EXPECT_LT(q, 0.2f) << "the first up frame is still near the bottom"; }
        first = false;
        prevDistance = d;
        prevAngle = h.fingers[3].shape[2];
    }
    EXPECT_EQ(h.animationStatus, Hand::NO_ANIMATION);
    EXPECT_EQ(h.animationTime, 0);
    EXPECT_EQ(h.holdTime, 0);
    expectSameVector(h.pos, rest, "back at rest");
    expectSameVector(h.fingers[3].shape, RFINGERS_DEFAULT[3], "ring at rest", 1e-4f);
    expectVector(wristOf(h), {-60, 0, 0}, "wrist at rest");
    EXPECT_EQ(h.rightHandPos, 1) << "the next note is chosen from where the hand ended";
}

TEST(NoteStroke, OnlyTheActiveFingerMoves) {
    Hand h(1);
    startNote(h, 21, 0);  // D#: middle finger on a black key
    h.animateFinger(0.2f);
    expectSameVector(h.fingers[2].shape, RFINGERS_PLAY[Hand::BLACK][2], "middle finger");
    for (int f : {0, 1, 3, 4}) expectSameVector(h.fingers[f].shape, RFINGERS_DEFAULT[f], "resting finger", 0);
    expectVector(wristOf(h), {-65, 0, 0}, "wrist over a black key");
}

TEST(NoteStroke, ShiftToPositionOneDescendsSideways) {
    Hand h(1);
    startNote(h, 12, 0);  // A
    h.animateFinger(0.0f);
    expectVector(h.pos, {1.2f, 1.0f, 2.0f}, "from the old rest point");
    h.animateFinger(0.2f);
    expectVector(h.pos, {3.0f, 0.78f, 2.1f}, "to the new striking point");
    h.updateAnimationStatus(false);
    h.animateFinger(0.4f);
    expectVector(h.pos, {3.0f, 1.0f, 2.0f}, "up at the new rest point");
    EXPECT_EQ(h.animationStatus, Hand::NO_ANIMATION);

    h.updateAnimationStatus(true);
    h.setAnimationNote(10);  // F from position 1 is the thumb, staying there
    EXPECT_EQ(h.activeFinger, 0);
    EXPECT_EQ(h.rightHandPos, 1);
}

TEST(NoteStroke, EndsOnTheFirstFrameAtOrPastTheEndWhateverTheStep) {
    // Uneven frames, a tap released during the down phase.
    const float times[] = {0.018f, 0.05f, 0.11f, 0.19f, 0.213f, 0.26f, 0.33f, 0.399f, 0.402f};
    Hand h(1);
    startNote(h, 8, 0);
    bool wentThroughHold = false;
    for (float t : times) {
        if (t == 0.05f) h.updateAnimationStatus(false);
        const Hand::AnimationStatus before = h.animationStatus;
        h.animateFinger(t);
        wentThroughHold |= h.animationStatus == Hand::HOLD;
        if (t < 0.2f) { EXPECT_EQ(h.animationStatus, Hand::DOWN) << t; }
        if (t >= 0.2f && t < 0.4f) { EXPECT_EQ(h.animationStatus, Hand::UP) << t; }
        if (t >= 0.4f) { EXPECT_EQ(before, Hand::UP); }
    }
    EXPECT_FALSE(wentThroughHold);
    EXPECT_EQ(h.animationStatus, Hand::NO_ANIMATION);
    expectSameVector(h.fingers[1].shape, RFINGERS_DEFAULT[1], "index at rest", 1e-4f);
}

TEST(NoteStroke, ExactlyTwoPhasesEndsTheStroke) {
    Hand h(1);
    startNote(h, 9, 0);
    h.animateFinger(0.2f);
    h.updateAnimationStatus(false);
    h.animateFinger(std::nextafter(0.4f, 0.0f));
    EXPECT_EQ(h.animationStatus, Hand::UP);
    h.animateFinger(0.4f);
    EXPECT_EQ(h.animationStatus, Hand::NO_ANIMATION);
}

TEST(NoteStroke, AStallPastTheWholeStrokeStillFreesTheHand) {
    // A tap whose next frame comes after the up phase would have ended.
    Hand tap(1);
    startNote(tap, 7, 0);
    tap.animateFinger(0.05f);
    tap.updateAnimationStatus(false);
    tap.animateFinger(0.45f);
    EXPECT_EQ(tap.animationStatus, Hand::NO_ANIMATION);
    expectSameVector(tap.pos, RIGHT_HAND_POSITIONS[0], "at rest");

    // A held chord whose bottom frame came late: after the release the driver has already
    // finished the stroke on its own clock and passes 0.
    Hand held(-1);
    held.updateAnimationStatus(true);
    held.setAnimationChord(&CHORDS[CEA]);
    held.animateChord(0.45f);
    ASSERT_EQ(held.animationStatus, Hand::HOLD);
    held.updateAnimationStatus(false);
    held.animateChord(0.0f);
    EXPECT_EQ(held.animationStatus, Hand::NO_ANIMATION);
    expectSameVector(held.pos, DEFAULT_LEFT_POS, "at rest");
    held.updateAnimationStatus(true);
    EXPECT_EQ(held.animationStatus, Hand::DOWN) << "the next stroke can start";
}
