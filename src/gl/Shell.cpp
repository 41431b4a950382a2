// The shell: windows, GL state, the projection and camera, the display callback and the
// idle callback that paces frames.
#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <thread>

#include <malloc.h>
#include <sys/eventfd.h>
#include <sys/select.h>
#include <unistd.h>

#include "Draw.h"
#include "EventLog.h"
#include "Hand.h"
#include "HandDraw.h"
#include "MidiPlaying.h"
#include "Overlay.h"
#include "Piano.h"
#include "Shell.h"
#include "animation.h"
#include "interface.h"

// After the program's headers: Xlib's macros (None, Bool, Status) would clash with them.
#include <GL/glx.h>

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
// Frames stepped or drawn since the frame loop last had nothing to do; the event log notes
// each time it comes to rest after them, so a test knows the picture it sees is the final one.
// Stepped ones count too: a hidden window is not drawn, yet its animation comes to an end.
int framesSinceRest = 0;

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

void quitProgram(int status) { std::exit(status); }
}  // namespace

void initGlut() {
    // One malloc arena for all threads, set before GL starts its own: an arena for each thread
    // (the sample loader, the mesh worker, OpenAL's and llvmpipe's) kept about 5 MB of freed
    // memory to itself. The threads allocate little once started; sharing one arena did not
    // change the frame times measured.
    mallopt(M_ARENA_MAX, 1);
    // The help window shows text alone: a depth buffer there would hold 1.3 MB for nothing.
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE);
    initHelpWindow();
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    initMainWindow();
    glutSetWindow(windowID);
    glutIgnoreKeyRepeat(1);
    reportRepeatsAsPressesOnly();

    shellHooks.requestRedisplay = redisplayMain;
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
    ++framesSinceRest;
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
    const double remaining = secondsUntilFrame();
    if (remaining > 0) {
        const auto wait = std::chrono::microseconds(static_cast<long long>(remaining * 1e6) + 50);
        std::this_thread::sleep_for(std::min(wait, std::chrono::microseconds(20000)));
    }
}

namespace {
// Made readable by the MIDI threads when a message comes in (MidiPlaying.h), so that the wait
// below ends for it as for an X event.
int midiWake = -1;

void wakeForMidi() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(midiWake, &one, sizeof one);  // full: awake already
}

// Waits until the X server has something for the program, a MIDI message has come in, or
// `seconds` have passed; without a time, for as long as it takes. Events Xlib has already read
// count as waiting. A wait for ever is asked for by name, never by a time that came out
// negative: a song that waited for its next frame that way stopped until the mouse moved.
void waitForEvents(Display* display, std::optional<double> seconds) {
    if (XPending(display) > 0 || midiInputPending()) return;
    const int fd = ConnectionNumber(display);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    if (midiWake >= 0) FD_SET(midiWake, &readable);
    timeval timeout{};
    if (seconds) {
        const long long micros = static_cast<long long>(std::max(*seconds, 0.0) * 1e6) + 50;
        timeout.tv_sec = static_cast<time_t>(micros / 1000000);
        timeout.tv_usec = static_cast<suseconds_t>(micros % 1000000);
    }
    if (select(std::max(fd, midiWake) + 1, &readable, nullptr, nullptr, seconds ? &timeout : nullptr) > 0 &&
        midiWake >= 0 && FD_ISSET(midiWake, &readable)) {
        std::uint64_t count;
        [[maybe_unused]] const ssize_t taken = read(midiWake, &count, sizeof count);
    }
}

// How often held keys are compared with the keyboard while nothing is drawn.
const double KEY_WATCH_SECONDS = 0.02;
}  // namespace

void runFrameLoop() {
    Display* display = glXGetCurrentDisplay();
    midiWake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (midiWake >= 0) wakeOnMidiInput(wakeForMidi);
    for (;;) {
        // MIDI first: notes that came in sound before a frame is drawn, and the MIDI output
        // hears of another instrument as the key for it is taken, with nothing drawn.
        stepMidi();
        glutMainLoopEvent();  // input and window events, and the frames asked to be drawn
        if (animating()) {
            if (stepFrame()) {
                ++framesSinceRest;
                releaseKeysNoLongerDown();
                continue;
            }
            // Input arriving before the frame is due is taken at once.
            waitForEvents(display, secondsUntilFrame());
            continue;
        }
        // Nothing moves: nothing is drawn until an input or a window event comes, a held key
        // has to be compared with the keyboard, or a caption's time is up.
        if (framesSinceRest > 0) logEvent("rest");
        framesSinceRest = 0;
        std::optional<double> wait;
        if (const double change = secondsUntilChange(); change >= 0) wait = change;
        if (keysToWatch()) {
            releaseKeysNoLongerDown();
            wait = std::min(wait.value_or(KEY_WATCH_SECONDS), KEY_WATCH_SECONDS);
        }
        waitForEvents(display, wait);
        if (captionEnded()) redisplayMain();  // one more frame, without it
    }
}
