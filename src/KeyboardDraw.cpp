// Drawing the keys: bodies lit in their material or the glow, outlines as lines on top.
#include <GL/gl.h>

#include "Draw.h"
#include "Piano.h"

void PianoKey::drawKey(float res) {
    glPushMatrix();
    // The bottom face stays put; the top sinks by half the key's height when fully down.
    glTranslatef(posX, posY - height * 0.25f * pressFactor, posZ);
    drawCuboid(width, height * (1 - pressFactor * 0.5f), length, res);
    glPopMatrix();
}

void drawKeyboard() {
    for (int i = 0; i < NUM_KEYS; ++i) {
        PianoKey* key = keys[i];
        const bool black = i >= NUM_WHITE_KEYS;

        // Bodies are pushed back in depth so the outline along their edges stays visible.
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(1, 2.05f);

        if (glowOn && key->pressFactor > 0) {
            glMaterialfv(GL_FRONT, GL_EMISSION, GLOW_COLOUR.data());
            glMaterialfv(GL_FRONT, GL_AMBIENT, ZERO_COLOUR.data());
            glMaterialfv(GL_FRONT, GL_DIFFUSE, GLOW_COLOUR.data());
        } else {
            setMaterial(black ? BLACK_KEY_COLOUR : WHITE_KEY_COLOUR);
        }
        key->drawKey(0.02f);
        if (black && glowOn) glMaterialfv(GL_FRONT, GL_EMISSION, ZERO_COLOUR.data());

        glDisable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(0, 0);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        setMaterial(WHITE_KEY_OUTLINE_COLOUR);

        if (glowOn) {
            glMaterialfv(GL_FRONT, GL_EMISSION, GLOW_COLOUR.data());
        } else if (!concertOn) {
            glDisable(GL_LIGHTING);
            glDisable(GL_LIGHT0);
            glColor4f(0, 0, 0, 1);
        }
        key->drawKey(1);
        if (glowOn) {
            glMaterialfv(GL_FRONT, GL_EMISSION, ZERO_COLOUR.data());
        } else if (!concertOn) {
            glEnable(GL_LIGHTING);
            glEnable(GL_LIGHT0);
        }
    }
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glDisable(GL_POLYGON_OFFSET_FILL);
}
