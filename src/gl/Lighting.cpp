// Handing the light state to OpenGL, once per frame after the camera transform.
#include <GL/gl.h>

#include "Lighting.h"
#include "lights.h"

void setLighting(const LightState& light) {
    glLightfv(GL_LIGHT0, GL_POSITION, light.lightPos.data());
    glLightf(GL_LIGHT0, GL_SPOT_CUTOFF, light.spotCutoff);
    glLightf(GL_LIGHT0, GL_SPOT_EXPONENT, NORMAL_SPOT_EXPONENT);
    glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, light.spotDir.data());
    glLightfv(GL_LIGHT0, GL_AMBIENT, light.ambient_intensity.data());
    glLightfv(GL_LIGHT0, GL_DIFFUSE, light.diffuse_intensity.data());
    glLightfv(GL_LIGHT0, GL_SPECULAR, light.specular_intensity.data());

    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glDisable(GL_LIGHT1);
    glDisable(GL_LIGHT2);
    glDisable(GL_LIGHT3);
}

void setConcertLighting(const LightState& light) {
    const RGBA* colours[3] = {&RED, &GREEN, &BLUE};
    for (int i = 0; i < 3; ++i) {
        const GLenum beam = GL_LIGHT1 + i;
        glLightfv(beam, GL_POSITION, CONCERT_SPOT_POS[i].data());
        glLightfv(beam, GL_AMBIENT, ZERO_COLOUR.data());
        glLightfv(beam, GL_DIFFUSE, colours[i]->data());
        glLightfv(beam, GL_SPECULAR, CONCERT_SPOT_SPECULAR.data());
        glLightf(beam, GL_SPOT_CUTOFF, CONCERT_SPOT_CUTOFF);
        glLightf(beam, GL_SPOT_EXPONENT, CONCERT_SPOT_EXPONENT);
        glLightfv(beam, GL_SPOT_DIRECTION, light.concertSpotDir[i].getData());
    }
    // Shininess is a property of a surface, not of a light, so CONCERT_SPOT_SHININESS is
    // not handed to the lights: OpenGL would reject it and change nothing.
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHT2);
    glEnable(GL_LIGHT3);
    glDisable(GL_LIGHT0);
}
