// An articulated hand: palm, five fingers, a wrist and a world position, with the stroke
// state machine that moves it down to a striking pose and back.
#pragma once

#include "ChordInfo.h"
#include "Finger.h"
#include "Vector.h"

class Hand {
public:
    enum {
        WRIST_ROLL, WRIST_PITCH, WRIST_YAW,
        THUMB_SPREAD, THUMB_JOINT_1, THUMB_JOINT_2,
        INDEX_SPREAD, INDEX_JOINT_1, INDEX_JOINT_2, INDEX_JOINT_3,
        MID_SPREAD, MID_JOINT_1, MID_JOINT_2, MID_JOINT_3,
        RING_SPREAD, RING_JOINT_1, RING_JOINT_2, RING_JOINT_3,
        PINKY_SPREAD, PINKY_JOINT_1, PINKY_JOINT_2, PINKY_JOINT_3,
        NUM_HAND_DOFS
    };
    enum AnimationStatus { NO_ANIMATION, DOWN, HOLD, UP };
    enum AnimationType { CHORD, NOTE, NONE };
    enum NoteType { WHITE, BLACK, NO_NOTE };

    explicit Hand(int s);  // +1 right hand, -1 left hand

    void setDOFs(const Vector& dofs);
    void setPos(const Vector& p);
    void setWrist(const Vector& v);

    void updateAnimationStatus(bool keyPressed);
    void setAnimationChord(const ChordInfo* chord);
    void setAnimationNote(int note);
    void updateHandPos(int newPos);
    float animateChord(float time);
    float animateFinger(float time);
    // Ends a stroke at once: the hand back in its rest pose where it stands, ready for the next.
    void returnToRest();

    int side;  // +1 right, -1 left
    int activeNote = 0;
    int activeFinger = 0;
    int rightHandPos = 0;
    int rightHandPrevPos = 0;
    const ChordInfo* animationChord = nullptr;
    float animationTime = 0;
    float holdTime = 0;
    bool goUpAtHold = false;
    AnimationStatus animationStatus = NO_ANIMATION;
    AnimationType animationType = NONE;
    NoteType noteType = NO_NOTE;
    Finger fingers[5];
    Vector shape;
    Vector pos;
};
