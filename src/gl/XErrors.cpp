// The X errors the program lives through: windows that are gone, named by a window manager
// that has exited or destroyed by another client, which freeglut still asks about.
#include <GL/freeglut.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Shell.h"

// After the program's headers: Xlib's macros (None, Bool, Status) would clash with them.
#include <X11/Xlib.h>
#include <X11/Xproto.h>

namespace {
// Xlib's error handler and freeglut's error function are plain C callbacks with no pointer of
// their own to carry: what they decide by is kept here, for the life of the process.
enum class Stage { Starting, Running, Probing, Leaving };
Stage stage = Stage::Running;
XErrorHandler previousHandler = nullptr;
std::string programName;
// glutInit's lookup of a window manager's check window failed on a window that is gone.
bool checkWindowGone = false;
// The window windowExists asked about was gone.
bool probedWindowGone = false;

int liveThroughGoneWindows(Display* display, XErrorEvent* error) {
    // A window manager that ended without tidying up leaves _NET_SUPPORTING_WM_CHECK on the
    // root window, naming its check window, now gone; glutInit asks that window for the same
    // property to learn whether a manager runs. None does: the answer freeglut then takes.
    if (stage == Stage::Starting && error->error_code == BadWindow && error->request_code == X_GetProperty) {
        checkWindowGone = true;
        return 0;
    }
    // On the way out freeglut destroys each window it made, also one that another client has
    // destroyed already (it takes no note of a DestroyNotify), first making it current to tell
    // its close callback, for which GLX asks the window's size. Nothing is left to tidy.
    if (stage == Stage::Leaving &&
        ((error->error_code == BadWindow && error->request_code == X_DestroyWindow) ||
         ((error->error_code == BadDrawable || error->error_code == BadWindow) &&
          error->request_code == X_GetGeometry)))
        return 0;
    // windowExists asking: the answer is the error.
    if (stage == Stage::Probing && (error->error_code == BadWindow || error->error_code == BadDrawable) &&
        (error->request_code == X_GetWindowAttributes || error->request_code == X_GetGeometry)) {
        probedWindowGone = true;
        return 0;
    }
    return previousHandler(display, error);
}

void (*saveWhenLost)() = nullptr;
bool lost = false;

// Xlib's own answer to a lost connection is exit(): its handlers (freeglut's, which makes each
// window current once more to destroy it) then wait for ever on the lock of the GLX call that
// found the loss. What must not be lost is saved, and the program ends without them.
int endOnLostConnection(Display*) {
    std::fputs("tinklewood: the connection to the X server was lost\n", stderr);
    lost = true;  // nothing asks GLUT for a frame now: a window switch could wait for ever too
    if (saveWhenLost != nullptr) saveWhenLost();
    std::fflush(nullptr);
    std::_Exit(1);
}

// freeglut checks the same lookup itself and ends the program; its other errors end it as
// freeglut's own report would.
void glutErrorWhileStarting(const char* format, va_list args) {
    if (checkWindowGone) {
        checkWindowGone = false;
        return;
    }
    std::fprintf(stderr, "freeglut (%s): ", programName.c_str());
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    std::exit(1);
}
}  // namespace

void startGlut(int* argc, char** argv) {
    if (*argc > 0) programName = argv[0];
    previousHandler = XSetErrorHandler(liveThroughGoneWindows);
    XSetIOErrorHandler(endOnLostConnection);
    glutInitErrorFunc(glutErrorWhileStarting);
    stage = Stage::Starting;
    glutInit(argc, argv);
    stage = Stage::Running;
    glutInitErrorFunc(nullptr);
    // Registered after glutInit's own, so it runs before freeglut destroys its windows at exit.
    std::atexit([] { stage = Stage::Leaving; });
}

void onConnectionLost(void (*save)()) { saveWhenLost = save; }

bool connectionLost() { return lost; }

bool windowExists(Display* display, Window window) {
    if (display == nullptr || window == 0) return false;
    // Errors still on their way belong to earlier requests, and are judged as before.
    XSync(display, False);
    stage = Stage::Probing;
    probedWindowGone = false;
    XWindowAttributes attributes;
    const Status answered = XGetWindowAttributes(display, window, &attributes);
    XSync(display, False);
    stage = Stage::Running;
    return answered != 0 && !probedWindowGone;
}
