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
}  // namespace

void drawHand(const Hand& hand, Solids& solids) {
    setMaterial(SKIN_COLOUR);
    glEnable(GL_TEXTURE_2D);
    solids.beginBatch();  // palm and fingers share one material: one draw, not one per segment

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
    solids.endBatch();
    glDisable(GL_TEXTURE_2D);
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
