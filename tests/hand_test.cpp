// The hands without a window: the pose tables, the note map and the strokes.
#include "Hand.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include "ChordInfo.h"
#include "HandShapes.h"
#include "RightHandShapes.h"

namespace {
void expectVector(const Vector& v, std::initializer_list<float> expected, float tol = 1e-5f) {
    ASSERT_EQ(v.getDim(), static_cast<int>(expected.size()));
    int i = 0;
    for (float e : expected) EXPECT_NEAR(v[i++], e, tol) << "element " << i - 1;
}

// The 22 angles a hand shows, gathered back from its wrist and fingers.
Vector poseOf(const Hand& h) {
    Vector pose(Hand::NUM_HAND_DOFS);
    pose.copyData(h.shape, 3, 0, 0);
    pose.copyData(h.fingers[0].shape, 3, 0, Hand::THUMB_SPREAD);
    for (int k = 1; k < 5; ++k)
        pose.copyData(h.fingers[k].shape, 4, 0, Hand::INDEX_SPREAD + 4 * (k - 1));
    return pose;
}

void startNote(Hand& h, int note, int fromPos) {
    h.rightHandPos = h.rightHandPrevPos = fromPos;
    h.updateAnimationStatus(true);
    h.setAnimationNote(note);
}
}  // namespace

TEST(HandTables, ChordsKeysPlacesAndPoses) {
    const int notes[NUM_CHORDS][3] = {{0, 2, 4}, {0, 3, 5},  {0, 2, 5}, {1, 3, 5},
                                      {1, 4, 6}, {2, 6, 18}, {1, 3, 6}};
    const float x[NUM_CHORDS] = {-3.085f, -2.485f, -2.665f, -2.485f, -1.885f, -1.585f, -2.065f};
    const float z[NUM_CHORDS] = {2.15f, 2.4f, 2.15f, 2.15f, 2.4f, 2.15f, 2.4f};
    const Vector* shapes[NUM_CHORDS] = {&CEG_SHAPE, &CFA_SHAPE,  &CEA_SHAPE, &CEG_SHAPE,
                                        &CFA_SHAPE, &EGsB_SHAPE, &CEA_SHAPE};
    for (int c = 0; c < NUM_CHORDS; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(CHORDS[c].numNotes, 3);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(CHORDS[c].notes[i], notes[c][i]);
        expectVector(CHORDS[c].pos, {x[c], 0.45f, z[c]});
        for (int i = 0; i < Hand::NUM_HAND_DOFS; ++i)
            EXPECT_EQ(CHORDS[c].shape[i], (*shapes[c])[i]);
        EXPECT_EQ(CHORDS[c].shape[Hand::WRIST_ROLL], -70);
    }
    const ChordEnum keys[NUM_MODES][5] = {{CEG, DFA, CFA, CEA, DGB}, {CEA, DFB, DFA, CFA, EGsB}};
    for (int q = 0; q < 5; ++q) EXPECT_EQ(CHORD_KEY_TABLE[MAJOR][q], keys[MAJOR][q]);
    for (int q = 0; q < 5; ++q) EXPECT_EQ(CHORD_KEY_TABLE[MINOR][q], keys[MINOR][q]);
    // Values that only one pose has.
    EXPECT_EQ(CEG_SHAPE[Hand::INDEX_JOINT_1], -9);
    EXPECT_EQ(CFA_SHAPE[Hand::INDEX_JOINT_3], 31);
    EXPECT_EQ(CEA_SHAPE[Hand::PINKY_JOINT_3], 32);
    EXPECT_EQ(EGsB_SHAPE[Hand::MID_JOINT_3], 16.5f);
}

TEST(HandTables, RightHandPosesAndPlaces) {
    expectVector(RWRIST_DEFAULT, {-60, 0, 0});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(DEFAULT_SHAPE_RIGHT[i], RWRIST_DEFAULT[i]);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(DEFAULT_SHAPE_RIGHT[Hand::THUMB_SPREAD + i], RFINGERS_DEFAULT[0][i]);
    for (int k = 1; k < 5; ++k)
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(DEFAULT_SHAPE_RIGHT[Hand::INDEX_SPREAD + 4 * (k - 1) + i],
                      RFINGERS_DEFAULT[k][i]);
    // The two rest poses differ only in the index, middle and ring fingers.
    for (int i = 0; i < Hand::NUM_HAND_DOFS; ++i)
        if (i < Hand::INDEX_SPREAD || i > Hand::RING_JOINT_3) {
            EXPECT_EQ(DEFAULT_SHAPE_RIGHT[i], DEFAULT_SHAPE[i]) << i;
        }
    expectVector(RFINGERS_DEFAULT[2], {-5, 10, 35, 10});
    expectVector(RFINGERS_PLAY[Hand::WHITE][0], {45, -40, 55, 0});
    expectVector(RFINGERS_PLAY[Hand::BLACK][3], {-5, 5, 43, 15});
    expectVector(RWRIST_PLAY[Hand::WHITE][0], {-70, -5, 5});
    expectVector(RWRIST_PLAY[Hand::WHITE][4], {-70, 0, -5});
    expectVector(RWRIST_PLAY[Hand::BLACK][4], {-65, 0, 0});
    expectVector(RIGHT_HAND_POSITIONS[0], {1.2f, 1.0f, 2.0f});
    expectVector(RIGHT_HAND_POSITIONS[1], {3.0f, 1.0f, 2.0f});
    expectVector(RIGHT_HAND_POSITIONS[2], {1.2f, 0.78f, 2.1f});
    expectVector(RIGHT_HAND_POSITIONS[3], {3.0f, 0.78f, 2.1f});
}

TEST(Hands, AreBuiltInTheirRestPoses) {
    const Hand rightHand(1), leftHand(-1);
    expectVector(rightHand.pos, {1.2f, 1.0f, 2.0f});
    expectVector(poseOf(rightHand), {-60, 0,  0,  30,  -10, 45, 0,  10,  35, 5,  -5,
                                     10,  35, 10, -10, 0,   40, 20, -20, 10, 30, 30});
    expectVector(leftHand.pos, {-2.485f, 1.0f, 2.0f});
    expectVector(poseOf(leftHand), {-60, 0,  0,  30,  -10, 45, 10, 10,  35, 10, 0,
                                    10,  35, 10, -15, 0,   40, 20, -20, 10, 30, 30});
    EXPECT_TRUE(leftHand.fingers[0].isThumb && rightHand.fingers[0].isThumb);
    EXPECT_FALSE(rightHand.fingers[1].isThumb);
}

TEST(Hands, SetDOFsLeavesTheThumbsMissingJointAndTheFingerSlotsOfShape) {
    Hand h(1);
    h.fingers[0].shape[3] = 9;
    Vector pose(Hand::NUM_HAND_DOFS);
    for (int i = 0; i < Hand::NUM_HAND_DOFS; ++i) pose[i] = 100.0f + i;
    h.setDOFs(pose);
    for (int i = 0; i < Hand::NUM_HAND_DOFS; ++i) EXPECT_EQ(poseOf(h)[i], pose[i]);
    EXPECT_EQ(h.fingers[0].shape[3], 9);
    EXPECT_EQ(h.shape[Hand::THUMB_SPREAD], 0);
}

TEST(NoteMap, EveryNoteFromBothPositions) {
    // note, then finger and new position from position 0, then from position 1
    const int map[13][5] = {{7, 0, 0, 0, 0},  {8, 1, 0, 1, 0},  {9, 2, 0, 2, 0},  {10, 3, 0, 0, 1},
                            {11, 4, 0, 1, 1}, {12, 2, 1, 2, 1}, {13, 3, 1, 3, 1}, {14, 4, 1, 4, 1},
                            {20, 1, 0, 1, 0}, {21, 2, 0, 2, 0}, {22, 4, 0, 1, 1}, {23, 2, 1, 2, 1},
                            {24, 3, 1, 3, 1}};
    for (const auto& row : map)
        for (int from = 0; from < 2; ++from) {
            SCOPED_TRACE(testing::Message() << "note " << row[0] << " from " << from);
            Hand h(1);
            startNote(h, row[0], from);
            EXPECT_EQ(h.activeNote, row[0]);
            EXPECT_EQ(h.noteType, row[0] <= 14 ? Hand::WHITE : Hand::BLACK);
            EXPECT_EQ(h.activeFinger, row[1 + 2 * from]);
            EXPECT_EQ(h.rightHandPos, row[2 + 2 * from]);
            EXPECT_EQ(h.rightHandPrevPos, from);
        }
}

TEST(StrokeStatus, BusyHandsIgnoreNewPressesAndNotes) {
    for (Hand::AnimationStatus busy : {Hand::HOLD, Hand::UP, Hand::NO_ANIMATION}) {
        Hand h(1);
        h.animationStatus = busy;
        h.animationTime = 0.3f;
        if (busy != Hand::NO_ANIMATION) h.updateAnimationStatus(true);
        h.setAnimationNote(12);  // would move the hand to position 1
        EXPECT_EQ(h.animationStatus, busy);
        EXPECT_EQ(h.animationTime, 0.3f);
        EXPECT_EQ(h.animationType, Hand::NONE);
        EXPECT_EQ(h.rightHandPos, 0);
    }
}

TEST(StrokeStatus, ReleaseDuringDownGoesUpFromTheBottomWithoutHold) {
    Hand h(-1);
    h.updateAnimationStatus(true);
    h.setAnimationChord(&CHORDS[CEA]);
    h.animateChord(0.05f);
    h.updateAnimationStatus(false);
    EXPECT_EQ(h.animationStatus, Hand::DOWN);
    h.animateChord(0.19f);
    EXPECT_EQ(h.animationStatus, Hand::DOWN);
    h.animateChord(0.21f);
    EXPECT_EQ(h.animationStatus, Hand::UP);
    EXPECT_FALSE(h.goUpAtHold);
    expectVector(h.pos, {-2.665f, 0.45f, 2.15f});  // the bottom was reached
    h.animateChord(0.4f);
    EXPECT_EQ(h.animationStatus, Hand::NO_ANIMATION);
    expectVector(h.pos, {-2.485f, 1.0f, 2.0f});
}

TEST(ChordStroke, HalfWayDownAtATenthOfASecond) {
    Hand h(-1);
    h.setDOFs(EGsB_SHAPE);  // a stroke starts from rest whatever the hand shows
    h.updateAnimationStatus(true);
    h.setAnimationChord(&CHORDS[CFA]);
    h.animateChord(0.1f);
    for (int i = 0; i < Hand::NUM_HAND_DOFS; ++i)
        EXPECT_NEAR(poseOf(h)[i], (DEFAULT_SHAPE[i] + CFA_SHAPE[i]) / 2, 1e-4f);
    expectVector(h.pos, {-2.485f, 0.725f, 2.2f});
}

// The driver reads its clock every 1/60 s and pauses it while the key is held.
TEST(NoteStroke, HeldNoteFrameByFrameReturnsSmoothlyAndEndsAtFourTenths) {
    Hand h(1);
    startNote(h, 12, 0);  // A: middle finger, shifting to position 1
    int frame = 1;
    h.animateFinger(0.1f);
    expectVector(h.pos, {2.1f, 0.89f, 2.05f});  // half way from position 0's rest point
    for (; h.animationStatus == Hand::DOWN && frame < 20; ++frame) h.animateFinger(frame / 60.0f);
    ASSERT_EQ(h.animationStatus, Hand::HOLD);
    const float bottom = (frame - 1) / 60.0f;
    for (int i = 0; i < 60; ++i) h.animateFinger(bottom);
    expectVector(h.pos, {3.0f, 0.78f, 2.1f});
    expectVector(h.fingers[2].shape, {-10, 15, 40, 20}, 1e-4f);
    EXPECT_EQ(h.holdTime, 0);

    h.updateAnimationStatus(false);
    float lastY = 0.78f;
    for (; frame < 40; ++frame) {
        const float t = frame / 60.0f;
        h.animateFinger(t);
        if (t >= 0.4f) break;
        ASSERT_EQ(h.animationStatus, Hand::UP) << t;
        EXPECT_NEAR(h.pos[1], 0.78f + 0.22f * (t - 0.2f) / 0.2f, 1e-5f)
            << t;  // rising with the key
        EXPECT_GT(h.pos[1], lastY);
        lastY = h.pos[1];
    }
    EXPECT_FLOAT_EQ(frame / 60.0f, 0.4f);
    EXPECT_EQ(h.animationStatus, Hand::NO_ANIMATION);
    EXPECT_EQ(h.animationTime, 0);
    expectVector(h.pos, {3.0f, 1.0f, 2.0f});
    expectVector(h.fingers[2].shape, {-5, 10, 35, 10}, 1e-4f);
    expectVector(h.shape.makeDim(3, h.shape), {-60, 0, 0}, 1e-4f);
    for (int f : {0, 1, 3, 4})
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(h.fingers[f].shape[i], RFINGERS_DEFAULT[f][i]) << "finger " << f;
}

// A frame late enough to skip the whole up phase; and, after a late bottom frame during a
// hold, the driver's own end of the stroke, which passes a time of 0.
TEST(NoteStroke, StallsStillFreeTheHand) {
    Hand tap(1);
    startNote(tap, 7, 0);
    tap.animateFinger(0.05f);
    tap.updateAnimationStatus(false);
    tap.animateFinger(0.45f);
    EXPECT_EQ(tap.animationStatus, Hand::NO_ANIMATION);
    expectVector(tap.pos, {1.2f, 1.0f, 2.0f});

    Hand held(1);
    startNote(held, 7, 0);
    held.animateFinger(0.45f);
    held.updateAnimationStatus(false);
    held.animateFinger(0.0f);
    EXPECT_EQ(held.animationStatus, Hand::NO_ANIMATION);
}
