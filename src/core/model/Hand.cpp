// A hand's pose and its stroke state machine. Drawing lives in HandDraw.cpp so that this
// file, and the tests of the strokes, need no GL.
#include "Hand.h"

#include <algorithm>
#include <cassert>

#include "HandShapes.h"
#include "RightHandShapes.h"
#include "animation.h"

namespace {
// Progress of the down phase: 0 at the start of the stroke, 1 from the bottom on.
float downProgress(float strokeTime, float phase) { return std::min(strokeTime / phase, 1.0f); }

// Progress of the up phase, on the same stroke clock as the down phase: the up phase is the
// second `phase` seconds of it, so q is 0 at the bottom and 1 at twice `phase`. Counting q
// from the bottom rather than from the start (as p is) keeps the hand in step with the key,
// which the driver raises over the same span; counted like p, q would already be 1 on the
// first up frame and the hand would snap back to rest. The drivers pause their clock during
// a hold, so the time passed in already leaves the hold out. For t in [phase, 2 * phase]
// the subtraction t - phase is exact, so q reaches 1 on the first frame with t >= 2 * phase.
// A time below the bottom never comes from a running up phase: it means the driver has
// finished the stroke on its own clock (after a stall that skipped the up phase) and passes
// 0, so the hand finishes too instead of staying down and refusing the next stroke.
float upProgress(float strokeTime, float phase) {
    if (strokeTime < phase) return 1.0f;
    return std::min((strokeTime - phase) / phase, 1.0f);
}

struct NoteChoice {
    int finger;
    int handPos;
};

// The right hand reaches C to G (keys 7 to 11) from position 0 and F to the top C (10 to
// 14) from position 1; a note both reach is played from where the hand already is.
NoteChoice chooseFinger(int note, int fromPos) {
    const bool white = note - 7 <= 7;
    if (white) {
        const int n = note - 7;  // 0 = C ... 7 = top C
        assert(n >= 0);
        const int lastAtZero = fromPos == 0 ? 4 : 2;
        return n <= lastAtZero ? NoteChoice{n, 0} : NoteChoice{n - 3, 1};
    }
    const int m = note - 20;  // 0 = C# ... 4 = A#
    assert(m >= 0 && m <= 4);
    if (fromPos == 0) {
        // The little finger stretches to F#; G# and A# need the shift.
        static const NoteChoice fromZero[5] = {{1, 0}, {2, 0}, {4, 0}, {2, 1}, {3, 1}};
        return fromZero[m];
    }
    return m <= 1 ? NoteChoice{m + 1, 0} : NoteChoice{m - 1, 1};
}

void endStroke(Hand& hand) {
    hand.animationStatus = Hand::NO_ANIMATION;
    hand.animationTime = 0;
    hand.holdTime = 0;
}

// At the bottom of the way down: hold while the letter is down, else turn up at once. True
// when this same frame must already draw the way up: a frame that comes after the whole up
// phase too must not leave the hand down.
bool turnAtBottom(Hand& hand, float strokeTime, float phase) {
    if (!hand.goUpAtHold) {
        hand.animationStatus = Hand::HOLD;
        return false;
    }
    hand.goUpAtHold = false;
    hand.animationStatus = Hand::UP;
    return upProgress(strokeTime, phase) >= 1;
}
}  // namespace

Hand::Hand(int s) : side(s), shape(NUM_HAND_DOFS), pos(3) {
    fingers[0].isThumb = true;
    if (s == 1) {
        pos = RIGHT_HAND_POSITIONS[0];
        setDOFs(DEFAULT_SHAPE_RIGHT);
        setWrist(RWRIST_DEFAULT);
    } else {
        setDOFs(DEFAULT_SHAPE);
        pos = DEFAULT_LEFT_POS;
    }
}

void Hand::setDOFs(const Vector& dofs) {
    shape.copyData(dofs, 3, WRIST_ROLL, WRIST_ROLL);
    // The thumb has no third joint: its fourth value is left alone.
    fingers[0].shape.copyData(dofs, 3, THUMB_SPREAD, 0);
    for (int k = 0; k < 4; ++k) fingers[k + 1].shape.copyData(dofs, 4, INDEX_SPREAD + 4 * k, 0);
}

void Hand::setPos(const Vector& p) { pos.copyData(p, 3, 0, 0); }

void Hand::setWrist(const Vector& v) {
    shape[WRIST_ROLL] = v[0];
    shape[WRIST_PITCH] = v[1];
    shape[WRIST_YAW] = v[2];
}

void Hand::updateAnimationStatus(bool keyPressed) {
    if (keyPressed && animationStatus == NO_ANIMATION) {
        animationStatus = DOWN;
        animationTime = 0;
        holdTime = 0;
    } else if (!keyPressed && animationStatus == HOLD) {
        animationStatus = UP;
    }
    // A release before the bottom still lets the stroke finish its way down.
    if (!keyPressed && animationStatus == DOWN) goUpAtHold = true;
}

void Hand::setAnimationChord(const ChordInfo* chord) {
    animationType = CHORD;
    animationChord = chord;
}

void Hand::setAnimationNote(int note) {
    if (animationStatus != DOWN) return;
    animationType = NOTE;
    activeNote = note;
    holdTime = 0;
    noteType = note - 7 <= 7 ? WHITE : BLACK;
    const NoteChoice choice = chooseFinger(note, rightHandPos);
    activeFinger = choice.finger;
    // Even an unchanged position is recorded, so the rest of the way down starts from it.
    updateHandPos(choice.handPos);
}

void Hand::returnToRest() {
    if (side == 1) {
        // Only the active finger ever leaves its rest shape; the palm stays at its position.
        fingers[activeFinger].setDOFsv(RFINGERS_DEFAULT[activeFinger]);
        setWrist(RWRIST_DEFAULT);
        setPos(RIGHT_HAND_POSITIONS[rightHandPos]);
    } else {
        setDOFs(DEFAULT_SHAPE);
        setPos(DEFAULT_LEFT_POS);
    }
    goUpAtHold = false;
    endStroke(*this);
}

void Hand::updateHandPos(int newPos) {
    rightHandPrevPos = rightHandPos;
    rightHandPos = newPos;
}

float Hand::animateChord(float time) {
    assert(animationChord != nullptr || animationStatus == NO_ANIMATION);  // chord set first
    animationTime = time;
    const float p = downProgress(time, CHORD_DOWN_SECONDS);
    switch (animationStatus) {
    case DOWN:
        // Always from the rest pose, whatever the hand shows.
        setDOFs(Vector::interpolate(DEFAULT_SHAPE, animationChord->shape, p));
        setPos(Vector::interpolate(DEFAULT_LEFT_POS, animationChord->pos, p));
        if (p < 1 || !turnAtBottom(*this, time, CHORD_DOWN_SECONDS)) break;
        [[fallthrough]];
    case UP: {
        const float q = upProgress(time, CHORD_DOWN_SECONDS);
        setDOFs(Vector::interpolate(animationChord->shape, DEFAULT_SHAPE, q));
        setPos(Vector::interpolate(animationChord->pos, DEFAULT_LEFT_POS, q));
        if (q >= 1) endStroke(*this);
        break;
    }
    case HOLD:
        holdTime = time - animationTime;  // always 0: the chord clock is the time passed in
        break;
    case NO_ANIMATION:
        break;
    }
    return time;
}

float Hand::animateFinger(float time) {
    // holdTime is 0 through a whole stroke: set so at the start and by setAnimationNote, and
    // the HOLD step below gives it back its own value (time - (time - holdTime)). That is as
    // it must be: the note driver pauses its clock during a hold, so subtracting a hold
    // length here as well would count the hold twice and throw the up phase out of step.
    assert(noteType != NO_NOTE || animationStatus == NO_ANIMATION);  // setAnimationNote first
    animationTime = time - holdTime;
    const float p = downProgress(animationTime, NOTE_DOWN_SECONDS);
    const int f = activeFinger;
    const int k = noteType;
    switch (animationStatus) {
    case DOWN:
        fingers[f].setDOFsv(Vector::interpolate(RFINGERS_DEFAULT[f], RFINGERS_PLAY[k][f], p));
        setWrist(Vector::interpolate(RWRIST_DEFAULT, RWRIST_PLAY[k][f], p));
        // From the old place's rest point to the new place's striking point: the palm
        // shifts sideways while it descends.
        pos = Vector::interpolate(RIGHT_HAND_POSITIONS[rightHandPrevPos],
                                  RIGHT_HAND_POSITIONS[rightHandPos + 2], p);
        if (p < 1 || !turnAtBottom(*this, animationTime, NOTE_DOWN_SECONDS)) break;
        [[fallthrough]];
    case UP: {
        const float q = upProgress(animationTime, NOTE_DOWN_SECONDS);
        fingers[f].setDOFsv(Vector::interpolate(RFINGERS_PLAY[k][f], RFINGERS_DEFAULT[f], q));
        setWrist(Vector::interpolate(RWRIST_PLAY[k][f], RWRIST_DEFAULT, q));
        pos = Vector::interpolate(RIGHT_HAND_POSITIONS[rightHandPos + 2],
                                  RIGHT_HAND_POSITIONS[rightHandPos], q);
        if (q >= 1) endStroke(*this);
        break;
    }
    case HOLD:
        holdTime = time - animationTime;
        break;
    case NO_ANIMATION:
        break;
    }
    return time;
}
