// Handing the light state to OpenGL, once per frame after the camera transform.
#include <GL/gl.h>

#include "Piano.h"
#include "Shell.h"
#include "lights.h"

void setLighting() {
    glLightfv(GL_LIGHT0, GL_POSITION, lightPos.data());
    glLightf(GL_LIGHT0, GL_SPOT_CUTOFF, spotCutoff);
    glLightf(GL_LIGHT0, GL_SPOT_EXPONENT, spotExponent);
    glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, spotDir.data());
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient_intensity.data());
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse_intensity.data());
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular_intensity.data());

    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glDisable(GL_LIGHT1);
    glDisable(GL_LIGHT2);
    glDisable(GL_LIGHT3);
}

void setConcertLighting() {
    const RGBA* colours[3] = {&RED, &GREEN, &BLUE};
    for (int i = 0; i < 3; ++i) {
        const GLenum light = GL_LIGHT1 + i;
        glLightfv(light, GL_POSITION, CONCERT_SPOT_POS[i].data());
        glLightfv(light, GL_AMBIENT, ZERO_COLOUR.data());
        glLightfv(light, GL_DIFFUSE, colours[i]->data());
        glLightfv(light, GL_SPECULAR, CONCERT_SPOT_SPECULAR.data());
        glLightf(light, GL_SPOT_CUTOFF, SPOT_CUTOFF);
        glLightf(light, GL_SPOT_EXPONENT, SPOT_EXPONENT);
        glLightfv(light, GL_SPOT_DIRECTION, concertSpotDir[i].getData());
    }
    // Shininess is a property of a surface, not of a light, so CONCERT_SPOT_SHININESS is
    // not handed to the lights: OpenGL would reject it and change nothing.
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHT2);
    glEnable(GL_LIGHT3);
    glDisable(GL_LIGHT0);
}
