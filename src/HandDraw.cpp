// GL drawing of a hand and its fingers, posed by their current state.
#include <GL/gl.h>

#include "Draw.h"
#include "Finger.h"
#include "Hand.h"
#include "lights.h"
#include "modelDims.h"

namespace {
// Roots of the four long fingers on the palm's far edge, a quarter palm apart.
const float LONG_FINGER_ROOT_X[4] = {-PALM_LENGTH * 0.375f, -PALM_LENGTH * 0.125f,
                                     PALM_LENGTH * 0.125f, PALM_LENGTH * 0.375f};
}  // namespace

void Hand::draw() {
    setMaterial(SKIN_COLOUR);
    glEnable(GL_TEXTURE_2D);
    beginSolidBatch();  // palm and fingers share one material: one draw, not one per segment

    glPushMatrix();
    translatev(pos);
    glScalef(static_cast<float>(side), 1, 1);  // the left hand is the right one mirrored

    glRotatef(shape[WRIST_ROLL], 1, 0, 0);
    glRotatef(shape[WRIST_PITCH], 0, 1, 0);
    glRotatef(shape[WRIST_YAW], 0, 0, 1);

    drawCuboid(PALM_LENGTH, PALM_WIDTH, PALM_THICKNESS, RECT_RES);

    // A finger's own axis is its local x; turning it 90 degrees about z points it along +y.
    glPushMatrix();
    glTranslatef(-PALM_LENGTH / 1.9f, PALM_LENGTH / 8.0f, 0);
    glRotatef(90, 0, 0, 1);
    glRotatef(thumbRot, 1, 0, 0);
    glRotatef(thumbRot2, 0, 1, 0);
    fingers[0].draw();
    glPopMatrix();

    for (int k = 0; k < 4; ++k) {
        glPushMatrix();
        glTranslatef(LONG_FINGER_ROOT_X[k], PALM_WIDTH / 2.0f, 0);
        glRotatef(90, 0, 0, 1);
        fingers[k + 1].draw();
        glPopMatrix();
    }

    glPopMatrix();
    endSolidBatch();
    glDisable(GL_TEXTURE_2D);
}

void Finger::draw() {
    const float L = FINGER_LENGTH;
    const float r = FINGER_RAD;
    glPushMatrix();
    glRotatef(shape[0], 0, 0, 1);
    // The thumb's first joint rolls it about its own axis; a finger's first joint bends it.
    if (isThumb) {
        glRotatef(shape[1], 1, 0, 0);
    } else {
        glRotatef(shape[1], 0, 1, 0);
    }
    drawCylinder(r, L);  // centred on the root, so its inner half sits inside the palm

    // Each hinge is at the far end of the segment before it.
    glTranslatef(L / 2, 0, 0);
    glRotatef(shape[2], 0, 1, 0);
    glTranslatef(L / 2, 0, 0);
    drawCylinder(r, L);

    if (!isThumb) {
        glTranslatef(L / 2, 0, 0);
        glRotatef(shape[3], 0, 1, 0);
        glTranslatef(L / 2, 0, 0);
        drawCylinder(r, L);
    }
    glPopMatrix();
}
