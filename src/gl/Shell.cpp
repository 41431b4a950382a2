// The shell: windows, GL state, the projection and camera, the display callback and the
// idle callback that paces frames.
#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "Draw.h"
#include "Hand.h"
#include "HandDraw.h"
#include "Overlay.h"
#include "Piano.h"
#include "Shell.h"
#include "animation.h"
#include "interface.h"

static_assert(KEY_LEFT == GLUT_KEY_LEFT && KEY_UP == GLUT_KEY_UP && KEY_RIGHT == GLUT_KEY_RIGHT &&
                  KEY_DOWN == GLUT_KEY_DOWN,
              "arrow key codes must match GLUT's");
static_assert(MOUSE_LEFT_BUTTON == GLUT_LEFT_BUTTON && MOUSE_RIGHT_BUTTON == GLUT_RIGHT_BUTTON &&
                  MOUSE_DOWN == GLUT_DOWN,
              "mouse codes must match GLUT's");

const std::string winName = "Tinklewood";
const std::string helpName = "Help";
int windowID = 0;
int helpID = 0;

namespace {
// The aspect ratio of the last window size that had one; a minimised window reports a
// height of 0 and keeps the picture it had.
double& aspectRatio = app.view.aspectRatio;

void updateAspect(int w, int h) {
    if (w > 0 && h > 0) aspectRatio = static_cast<double>(w) / static_cast<double>(h);
}

void redisplayMain() {
    glutSetWindow(windowID);
    glutPostRedisplay();
}

void registerFrameLoop() { glutIdleFunc(animate); }

void quitProgram(int status) { std::exit(status); }
}  // namespace

void initGlut() {
    // The help window shows text alone: a depth buffer there would hold 1.3 MB for nothing.
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE);
    initHelpWindow();
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    initMainWindow();
    glutSetWindow(windowID);
    glutIgnoreKeyRepeat(1);
    reportRepeatsAsPressesOnly();

    shellHooks.requestRedisplay = redisplayMain;
    shellHooks.ensureFrameLoop = registerFrameLoop;
    shellHooks.handTextureChanged = setTextures;
    shellHooks.quit = quitProgram;
}

void initHelpWindow() {
    glutInitWindowPosition(HELP_POS_X, HELP_POS_Y);
    glutInitWindowSize(HELP_WIDTH, HELP_HEIGHT);
    helpID = glutCreateWindow(helpName.c_str());
    glutSetWindow(helpID);
    glutReshapeFunc(helpReshape);
    glutDisplayFunc(helpDisplay);
}

void initMainWindow() {
    glutInitWindowPosition(WIN_POS_X, WIN_POS_Y);
    glutInitWindowSize(Win[0], Win[1]);
    windowID = glutCreateWindow(winName.c_str());
    glutReshapeFunc(reshape);
    glutDisplayFunc(display);
    glutKeyboardFunc(keyDown);
    glutKeyboardUpFunc(keyUp);
    glutSpecialFunc(moveLight);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    glutWindowStatusFunc(mainWindowStatus);
    glutIdleFunc(animate);
}

void initGl() {
    glClearColor(clearColour[0], clearColour[1], clearColour[2], 1.0f);
    glEnable(GL_DEPTH_TEST);
    glLineWidth(2.0f);
}

void reshape(int w, int h) {
    Win[0] = w;
    Win[1] = h;
    updateAspect(w, h);
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(CAMERA_FOVY, aspectRatio, NEAR_CLIP, FAR_CLIP);
}

void display() {
    drawScene();
    glFlush();
    glutSwapBuffers();
}

void drawScene() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    setBackground();
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    updateAspect(Win[0], Win[1]);
    gluPerspective(CAMERA_FOVY, aspectRatio, NEAR_CLIP, FAR_CLIP);

    glBindTexture(GL_TEXTURE_2D, handTex);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    translatev(Vector(std::array<float, 3>{camPos[0], camPos[1], camPos[2]}));
    glRotatef(camRot[0], 1, 0, 0);
    glRotatef(camRot[1], 0, 1, 0);
    glRotatef(camRot[2], 0, 0, 1);

    // After the camera, so the lights sit in scene coordinates and turn with the scene.
    if (concertOn)
        setConcertLighting();
    else
        setLighting();

    drawKeyboard();
    drawHand(leftHand);
    drawHand(rightHand);
    drawOverlay();
}

void animate() {
    if (stepFrame()) {
        releaseKeysNoLongerDown();
        return;
    }
    // Not due yet: wait for the frame instead of spinning a core on the clock. The wait
    // ends just past the interval so that the next call finds the frame due.
    const double remaining = static_cast<double>(SEC_PER_FRAME) - frameRateTimer->elapsed();
    if (remaining > 0) {
        const auto wait = std::chrono::microseconds(static_cast<long long>(remaining * 1e6) + 50);
        std::this_thread::sleep_for(std::min(wait, std::chrono::microseconds(20000)));
    }
}
