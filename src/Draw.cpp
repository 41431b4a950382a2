// Immediate-mode primitives. Their exact vertex streams are what the key and hand drawing
// (and the cached copies of them) are built from.
#include "Draw.h"

#include <GL/glut.h>

#include <cmath>

namespace {
// One face of a cuboid: corner(u, w) maps the face coordinates (centred, -0.5..0.5) to
// the vertex. ccwFromOutside picks the corner order that the face's table gives.
template <typename Corner>
void emitFace(float res, bool secondAxisFirst, Corner corner) {
    const float limit = 1.0f - res * 0.5f;
    for (float p = 0.0f; p < limit; p += res) {
        for (float q = 0.0f; q < limit; q += res) {
            const float a = p - 0.5f, b = q - 0.5f;
            const float a2 = a + res, b2 = b + res;
            const float s = p, s2 = p + res, t = q, t2 = q + res;
            if (secondAxisFirst) {  // (a,b), (a,b'), (a',b'), (a',b)
                glTexCoord2f(s, t);   corner(a, b);
                glTexCoord2f(s, t2);  corner(a, b2);
                glTexCoord2f(s2, t2); corner(a2, b2);
                glTexCoord2f(s2, t);  corner(a2, b);
            } else {                // (a,b), (a',b), (a',b'), (a,b')
                glTexCoord2f(s, t);   corner(a, b);
                glTexCoord2f(s2, t);  corner(a2, b);
                glTexCoord2f(s2, t2); corner(a2, b2);
                glTexCoord2f(s, t2);  corner(a, b2);
            }
        }
    }
}
}  // namespace

void drawCuboid(float x, float y, float z, float res) {
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
    emitFace(res, true, [&](float u, float w) { glVertex3f(x * u, y * w, z / 2); });
    glNormal3f(0, 0, -1);
    emitFace(res, false, [&](float u, float w) { glVertex3f(x * u, y * w, -z / 2); });
    glNormal3f(-1, 0, 0);
    emitFace(res, true, [&](float u, float w) { glVertex3f(-x / 2, y * u, z * w); });
    glNormal3f(1, 0, 0);
    emitFace(res, false, [&](float u, float w) { glVertex3f(x / 2, y * u, z * w); });
    glNormal3f(0, 1, 0);
    emitFace(res, true, [&](float u, float w) { glVertex3f(x * u, y / 2, z * w); });
    glNormal3f(0, -1, 0);
    emitFace(res, false, [&](float u, float w) { glVertex3f(x * u, -y / 2, z * w); });
    glEnd();
}

void drawCylinder(float r, float d) {
    const float step = PI / CIRCLE_RES;
    glBegin(GL_TRIANGLE_STRIP);
    for (float a = 0.0f; a < 2.1f * PI; a += step) {
        const float c = std::cos(a), s = std::sin(a);
        const float t = static_cast<float>((a / 2.0) * PI);
        glNormal3f(0, c, s);
        glTexCoord2f(0, t);
        glVertex3f(d / 2, r * c, r * s);
        glTexCoord2f(1, t);
        glVertex3f(-d / 2, r * c, r * s);
    }
    glEnd();

    for (int side = -1; side <= 1; side += 2) {
        glBegin(GL_POLYGON);
        glNormal3f(static_cast<float>(side), 0, 0);
        for (float a = 0.0f; a < 2.0f * PI; a += step) {
            const float c = std::cos(a), s = std::sin(a);
            glTexCoord2f(r * c, r * s);
            glVertex3f(side * d / 2, r * c, r * s);
        }
        glEnd();
    }
}

void setMaterial(Material material) {
    glMaterialfv(GL_FRONT, GL_AMBIENT, material[0]);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, material[1]);
    glMaterialfv(GL_FRONT, GL_SPECULAR, material[2]);
    glMaterialfv(GL_FRONT, GL_SHININESS, &material[3][0]);
}

void translatev(const Vector& v) { glTranslatef(v[0], v[1], v[2]); }

void printString(float x, float y, std::string str) {
    glRasterPos2f(x, y);
    for (char c : str) glutBitmapCharacter(GLUT_BITMAP_9_BY_15, static_cast<unsigned char>(c));
}
