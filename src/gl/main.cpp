// Tinklewood: a 3D piano played from the computer keyboard.
#include <GL/glut.h>

#include "Piano.h"
#include "Shell.h"

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    findResources();  // before anything reads a resource path
    initGlut();
    initGl();
    initTimers();
    initTextures();
    engine = createSoundEngine(instrumentSamplePaths(), mixerConfigFile());
    initKeyboard();
    glutMainLoop();
    return 0;
}
