// GL drawing of a hand and its fingers, posed by their current state.
#include <GL/gl.h>

#include "HandDraw.h"

#include "Draw.h"
#include "lights.h"
#include "modelDims.h"

namespace {
// Roots of the four long fingers on the palm's far edge, a quarter palm apart.
const float LONG_FINGER_ROOT_X[4] = {-PALM_LENGTH * 0.375f, -PALM_LENGTH * 0.125f,
                                     PALM_LENGTH * 0.125f, PALM_LENGTH * 0.375f};

// The palm's and fingers' solids at their places, sent to solids.
void poseHand(const Hand& hand, Solids& solids) {
    glPushMatrix();
    translatev(hand.pos);
    glScalef(static_cast<float>(hand.side), 1, 1);  // the left hand is the right one mirrored

    glRotatef(hand.shape[Hand::WRIST_ROLL], 1, 0, 0);
    glRotatef(hand.shape[Hand::WRIST_PITCH], 0, 1, 0);
    glRotatef(hand.shape[Hand::WRIST_YAW], 0, 0, 1);

    solids.cuboid(PALM_LENGTH, PALM_WIDTH, PALM_THICKNESS, RECT_RES);

    // A finger's own axis is its local x; turning it 90 degrees about z points it along +y.
    glPushMatrix();
    glTranslatef(-PALM_LENGTH / 1.9f, PALM_LENGTH / 8.0f, 0);
    glRotatef(90, 0, 0, 1);
    glRotatef(thumbRot, 1, 0, 0);
    glRotatef(thumbRot2, 0, 1, 0);
    drawFinger(hand.fingers[0], solids);
    glPopMatrix();

    for (int k = 0; k < 4; ++k) {
        glPushMatrix();
        glTranslatef(LONG_FINGER_ROOT_X[k], PALM_WIDTH / 2.0f, 0);
        glRotatef(90, 0, 0, 1);
        drawFinger(hand.fingers[k + 1], solids);
        glPopMatrix();
    }
    glPopMatrix();
}

// Whether two runs of angles hold the same values.
bool sameAngles(const Vector& a, const Vector& b) {
    if (a.getDim() != b.getDim()) return false;
    for (int i = 0; i < a.getDim(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}
}  // namespace

void drawHand(const Hand& hand, Solids& solids) {
    setMaterial(SKIN_COLOUR);
    glEnable(GL_TEXTURE_2D);
    solids.beginBatch();  // palm and fingers share one material: one draw, not one per segment
    poseHand(hand, solids);
    solids.endBatch();
    glDisable(GL_TEXTURE_2D);
}

ScreenBox handBox(const Hand& hand, Solids& solids) {
    solids.beginMeasure();
    poseHand(hand, solids);
    return solids.endMeasure();
}

bool samePose(const Hand& a, const Hand& b) {
    if (a.side != b.side || !sameAngles(a.pos, b.pos) || !sameAngles(a.shape, b.shape)) return false;
    for (int k = 0; k < 5; ++k)
        if (a.fingers[k].isThumb != b.fingers[k].isThumb || !sameAngles(a.fingers[k].shape, b.fingers[k].shape))
            return false;
    return true;
}

void drawFinger(const Finger& finger, Solids& solids) {
    const float L = FINGER_LENGTH;
    const float r = FINGER_RAD;
    glPushMatrix();
    glRotatef(finger.shape[0], 0, 0, 1);
    // The thumb's first joint rolls it about its own axis; a finger's first joint bends it.
    if (finger.isThumb) {
        glRotatef(finger.shape[1], 1, 0, 0);
    } else {
        glRotatef(finger.shape[1], 0, 1, 0);
    }
    solids.cylinder(r, L);  // centred on the root, so its inner half sits inside the palm

    // Each hinge is at the far end of the segment before it.
    glTranslatef(L / 2, 0, 0);
    glRotatef(finger.shape[2], 0, 1, 0);
    glTranslatef(L / 2, 0, 0);
    solids.cylinder(r, L);

    if (!finger.isThumb) {
        glTranslatef(L / 2, 0, 0);
        glRotatef(finger.shape[3], 0, 1, 0);
        glTranslatef(L / 2, 0, 0);
        solids.cylinder(r, L);
    }
    glPopMatrix();
}
