// The GLUT shell: windows, GLUT's callbacks forwarded to the piano, keys released elsewhere,
// and the frame loop that draws only while something moves.
#include "Shell.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include <malloc.h>
#include <sys/eventfd.h>
#include <sys/select.h>
#include <unistd.h>

#include "Help.h"
#include "interface.h"

// After the program's headers: Xlib's macros (None, Bool, Status) would clash with them.
#include <GL/glx.h>
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

static_assert(KEY_LEFT == GLUT_KEY_LEFT && KEY_UP == GLUT_KEY_UP && KEY_RIGHT == GLUT_KEY_RIGHT &&
                  KEY_DOWN == GLUT_KEY_DOWN,
              "arrow key codes must match GLUT's");
static_assert(MOUSE_LEFT_BUTTON == GLUT_LEFT_BUTTON && MOUSE_RIGHT_BUTTON == GLUT_RIGHT_BUTTON &&
                  MOUSE_DOWN == GLUT_DOWN,
              "mouse codes must match GLUT's");

// GLUT's callbacks are C functions with no place for a pointer of their own: this is how they
// reach the shell.
Shell* Shell::current_ = nullptr;

namespace {
// How often held keys are compared with the keyboard while nothing is drawn.
constexpr double KEY_WATCH_SECONDS = 0.02;
// Each copy of the back buffer to the window is a round trip to the X server: more boxes than
// this are copied as one around them all.
constexpr std::size_t MAX_COPIES = 4;

// ---- GLUT's callbacks: each forwards one event ---------------------------------------------
// Windows outlive a shell that is gone (tests make several): their events then go nowhere.
Shell* shell() { return Shell::current(); }
Piano* piano() { return shell() != nullptr ? shell()->piano() : nullptr; }

void reshapeCallback(int w, int h) {
    if (shell()) shell()->reshape(w, h);
}
void displayCallback() {
    if (shell()) shell()->display();
}
void helpReshapeCallback(int w, int h) { helpReshape(w, h); }
void helpDisplayCallback() {
    if (shell()) shell()->helpDisplay();
}
void keyDownCallback(unsigned char key, int, int) {
    if (shell()) shell()->keyDown(key);
}
void keyUpCallback(unsigned char key, int, int) {
    if (shell()) shell()->keyUp(key);
}
void windowStatusCallback(int state) {
    if (shell()) shell()->windowStatus(state);
}
void idleCallback() {
    if (shell()) shell()->idle();
}
void specialCallback(int key, int, int) {
    if (shell()) shell()->specialKey(key);
}
void closeCallback() {
    if (shell()) shell()->windowClosed(glutGetWindow());
}
void mouseCallback(int button, int state, int x, int y) {
    if (piano()) piano()->mouseButton(button, state, x, y);
}
void motionCallback(int x, int y) {
    if (piano()) piano()->mouseMotion(x, y);
}

void wakeForMidi(void* context) {
    const std::uint64_t one = 1;
    const int fd = *static_cast<int*>(context);
    [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);  // full: awake already
}

// The GLUT code of a key that types no character and means something here; -1 for others.
int specialKeyOf(unsigned long symbol) {
    switch (symbol) {
        case XK_Left: case XK_KP_Left: return GLUT_KEY_LEFT;
        case XK_Up: case XK_KP_Up: return GLUT_KEY_UP;
        case XK_Right: case XK_KP_Right: return GLUT_KEY_RIGHT;
        case XK_Down: case XK_KP_Down: return GLUT_KEY_DOWN;
        case XK_F1: return GLUT_KEY_F1;
        case XK_F11: return GLUT_KEY_F11;
        default: return -1;
    }
}
// Whether a window manager runs that puts windows in full screen itself (EWMH's
// _NET_WM_STATE_FULLSCREEN): its check window, named on the root window, still exists and it
// lists the state as supported. Asked each time, as a manager may start or end at any time;
// nothing here can fail on a window that is gone.
bool managerDoesFullScreen(Display* display) {
    const Window root = DefaultRootWindow(display);
    const auto property = [&](const char* name, Atom type, std::vector<unsigned long>& values) {
        values.clear();
        const Atom atom = XInternAtom(display, name, True);
        if (atom == None) return;
        Atom actual = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, root, atom, 0, 1024, False, type, &actual, &format, &count, &after, &data) ==
                Success &&
            actual == type && format == 32 && data != nullptr) {
            const auto* longs = reinterpret_cast<const unsigned long*>(data);
            values.assign(longs, longs + count);
        }
        if (data != nullptr) XFree(data);
    };
    std::vector<unsigned long> check, supported;
    property("_NET_SUPPORTING_WM_CHECK", XA_WINDOW, check);
    if (check.empty()) return false;
    Window rootReturn = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    bool alive = false;
    if (XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
        alive = std::find(children, children + count, check[0]) != children + count;
        XFree(children);
    }
    if (!alive) return false;
    property("_NET_SUPPORTED", XA_ATOM, supported);
    const Atom fullScreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", True);
    return fullScreen != None && std::find(supported.begin(), supported.end(), fullScreen) != supported.end();
}

// Asks the window manager to toggle the window's full-screen state: toggled, not set, so F11
// undoes what the manager's own key for it did.
void askManagerFullScreen(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // _NET_WM_STATE_TOGGLE
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False));
    event.xclient.data.l[3] = 1;  // asked by an application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

// ---- Kept frames ---------------------------------------------------------------------------
bool hasExtension(const char* list, const char* name) {
    const std::size_t n = std::strlen(name);
    for (const char* p = list; p != nullptr && (p = std::strstr(p, name)) != nullptr; p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    return false;
}

// glXCopySubBufferMESA for the current context's window, when its back buffer keeps a frame for
// the next one to draw over; null when it may not. The back buffer is then shown by copying it
// to the window, which leaves it as it was, where a swap may leave it holding anything. With
// direct rendering the back buffer is the program's own memory, out of reach of other windows:
// a window laid over ours, or ours uncovered, damages only what the window shows, and the
// next frame copies the whole back buffer there again.
void (*backBufferCopier())() {
    Display* display = glXGetCurrentDisplay();
    GLXContext context = glXGetCurrentContext();
    if (display == nullptr || context == nullptr || !glXIsDirect(display, context)) return nullptr;
    if (!hasExtension(glXQueryExtensionsString(display, DefaultScreen(display)), "GLX_MESA_copy_sub_buffer"))
        return nullptr;
    return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXCopySubBufferMESA"));
}
}  // namespace

// ---- Windows -------------------------------------------------------------------------------
Shell::Shell(const ResourcePaths& resources, EventLog* log)
    : resources_(resources), log_(log), renderer_(resources) {
    current_ = this;
    // One malloc arena for all threads, set before GL starts its own: an arena for each thread
    // (the sample loader, the mesh worker, OpenAL's and llvmpipe's) kept about 5 MB of freed
    // memory to itself. The threads allocate little once started; sharing one arena did not
    // change the frame times measured.
    mallopt(M_ARENA_MAX, 1);
    // A window's close box must not end the process from inside freeglut: the help window's
    // closes it alone, the main window's leaves the frame loop as Escape does.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    createHelpWindow();

    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowPosition(WIN_POS_X, WIN_POS_Y);
    glutInitWindowSize(renderer_.width(), renderer_.height());
    windowID_ = glutCreateWindow(MAIN_WINDOW_TITLE);
    glutReshapeFunc(reshapeCallback);
    glutDisplayFunc(displayCallback);
    glutKeyboardFunc(keyDownCallback);
    glutKeyboardUpFunc(keyUpCallback);
    glutSpecialFunc(specialCallback);
    glutMouseFunc(mouseCallback);
    glutMotionFunc(motionCallback);
    glutWindowStatusFunc(windowStatusCallback);
    glutCloseFunc(closeCallback);
    glutIdleFunc(idleCallback);
    glutSetWindow(windowID_);
    // Frames draw only what changed, over the last one, where the back buffer keeps it.
    copyBackBuffer_ = backBufferCopier();
    renderer_.keepFrames(copyBackBuffer_ != nullptr);
    // The keys are read on a connection of their own, with their key codes; freeglut's
    // callbacks above take them only if that connection cannot be made.
    mainXWindow_ = glXGetCurrentDrawable();
    keys_ = std::make_unique<KeyInput>(glXGetCurrentDisplay(), mainXWindow_);
    if (!keys_->open()) {
        std::fprintf(stderr, "tinklewood: cannot read the keys by their place; letters are read as typed\n");
        glutIgnoreKeyRepeat(1);
        if (Display* display = glXGetCurrentDisplay()) XkbSetDetectableAutoRepeat(display, True, nullptr);
    }
    letterNames_ = keys_->names();
}

void Shell::attach(Piano* piano) {
    piano_ = piano;
    if (piano_ != nullptr) piano_->setLetterNames(letterNames_);
}

// Another layout chosen, or its group switched: the letters shown on the keys and in the help
// follow. The keys that play stay where they are.
void Shell::updateLetterNames() {
    const LetterNames names = keys_->names();
    if (names == letterNames_) return;
    letterNames_ = names;
    if (piano_ != nullptr) piano_->setLetterNames(names);
    glutPostWindowRedisplay(helpID_);
}

// The help window, at start-up and again after its close box or another client took it away;
// the main window, when there is one, stays current.
void Shell::createHelpWindow() {
    // Text alone: a depth buffer there would hold 1.3 MB for nothing.
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE);
    glutInitWindowPosition(HELP_POS_X, HELP_POS_Y);
    glutInitWindowSize(HELP_WIDTH, HELP_HEIGHT);
    helpID_ = glutCreateWindow(HELP_WINDOW_TITLE);
    glutSetWindow(helpID_);
    helpXWindow_ = glXGetCurrentDrawable();
    glutReshapeFunc(helpReshapeCallback);
    glutDisplayFunc(helpDisplayCallback);
    glutCloseFunc(closeCallback);
    if (windowID_ != 0) glutSetWindow(windowID_);
}

void Shell::showHelp() {
    // A help window that another client destroyed is still one to freeglut, which is never
    // asked about it again (it would fail on the missing window): a new one stands for it.
    if (helpID_ != 0 && !windowExists(glXGetCurrentDisplay(), helpXWindow_)) helpID_ = 0;
    if (helpID_ == 0) {
        createHelpWindow();
        return;
    }
    glutSetWindow(helpID_);
    glutShowWindow();
    glutPopWindow();
    glutSetWindow(windowID_);
}

void Shell::windowClosed(int window) {
    if (window == helpID_) {
        helpID_ = 0;
        helpXWindow_ = 0;
    } else if (window == windowID_) {
        windowID_ = 0;
        quit(0);
    }
}

Shell::~Shell() {
    if (midiWake_ >= 0) close(midiWake_);
    if (current_ == this) current_ = nullptr;
}

void Shell::requestFrame() {
    if (windowID_ == 0 || connectionLost()) return;  // closed, or gone: nothing left to draw
    glutSetWindow(windowID_);
    glutPostRedisplay();
}

// Never exit() here: the MIDI, sound and drawing threads are running, and a take being
// recorded is still to be saved. The frame loop ends, and main closes everything in order.
void Shell::quit(int status) {
    if (!quitStatus_) quitStatus_ = status;
}

void Shell::display() {
    ++framesSinceRest_;
    if (piano_ != nullptr) renderer_.draw(piano_->scene());
    present();
}

void Shell::present() {
    glFlush();
    // Mesa sizes the back buffer anew at a swap: the first frame at a new window size was drawn
    // into the old one. It is swapped, since a copy of the new size from a back buffer of the old
    // one fails with an X error (BadValue in X_ShmPutImage, seen at F11), and one more frame is
    // drawn whole at the new size at once: asked for, it waited for the next event while
    // nothing moved, and a window grown from outside showed its new part blank until then.
    const bool resized = renderer_.width() != presentedSize_[0] || renderer_.height() != presentedSize_[1];
    presentedSize_ = {renderer_.width(), renderer_.height()};
    if (copyBackBuffer_ != nullptr && renderer_.keepsFrames() && !resized) {
        // Only where the frame changed: elsewhere the window shows it already, unless it lost
        // its contents (GLUT calls display for an expose as for any other redisplay; the
        // exposure is seen on the keys' connection). A copy of the whole window took 0.45 ms
        // here besides the X server's own work, a frame with keys moving 5 in all.
        const auto copy = reinterpret_cast<PFNGLXCOPYSUBBUFFERMESAPROC>(copyBackBuffer_);
        Display* display = glXGetCurrentDisplay();
        const GLXDrawable drawable = glXGetCurrentDrawable();
        const std::vector<ScreenBox>& changed = renderer_.lastFrame().changed;
        // An empty box, or one reaching out of the window, would be an X error that ends the
        // program.
        const ScreenBox window = renderer_.wholeWindow();
        auto copyBox = [&](const ScreenBox& box) {
            const ScreenBox cut = box.within(window.x1, window.y1);
            if (!cut.empty()) copy(display, drawable, cut.x0, cut.y0, cut.width(), cut.height());
        };
        if (keys_->takeExposed() || piano_ == nullptr) {
            copyBox(window);
        } else if (changed.size() > MAX_COPIES) {
            ScreenBox around;
            for (const ScreenBox& box : changed) around = around.joined(box);
            copyBox(around);
        } else {
            for (const ScreenBox& box : changed) copyBox(box);
        }
    } else {
        glutSwapBuffers();
        if (resized) {
            renderer_.forgetFrame();
            display();
        }
    }
}

void Shell::helpDisplay() {
    drawHelpText(resources_.help, renderer_.font(), letterNames_);
    glutSwapBuffers();
}

// ---- Keys ----------------------------------------------------------------------------------
void Shell::takeKey(const KeyEvent& key) {
    if (key.code >= down_.size()) return;
    if (!key.down) {
        releaseKey(key.code);
        return;
    }
    // Pressed again while still down: the X server repeating a held key (it sends presses alone),
    // however long after the key really came up the press is read.
    if (down_[key.code]) return;
    down_[key.code] = true;
    const unsigned char sent = key.letter != 0 ? key.letter : key.character;
    sent_[key.code] = sent;
    if (sent != 0) {
        if (piano_ != nullptr) piano_->keyDown(sent);
        requestFrame();  // whatever the key changed shows at once
    } else if (const int special = specialKeyOf(key.symbol); special >= 0) {
        specialKey(special);
    }
}

// A key comes up: the character its press gave is let go, even if Shift or the layout changed
// in between ('s' pressed, Shift pressed, and the key comes up as 'S').
void Shell::releaseKey(unsigned int code) {
    if (!down_[code]) return;
    down_[code] = false;
    if (sent_[code] == 0) return;
    if (piano_ != nullptr) piano_->keyUp(sent_[code]);
    requestFrame();
}

void Shell::keyDown(unsigned char key) {
    if (piano_ != nullptr) piano_->keyDown(key);
    requestFrame();
}

void Shell::keyUp(unsigned char key) {
    if (piano_ != nullptr) piano_->keyUp(key);
    requestFrame();
}

void Shell::specialKey(int key) {
    if (key == GLUT_KEY_F1) {
        showHelp();
        return;
    }
    if (key == GLUT_KEY_F11) {
        toggleFullScreen();
        return;
    }
    if (piano_ != nullptr) piano_->specialKey(key);
}

// A window manager is asked (EWMH's full-screen state) and puts the window back where it was.
// Without one the shell moves and sizes the window itself: freeglut's own way there takes the
// window's place on the screen for a manager's frame around it and moves it off the screen.
// Either way the window's reshape fits the scene and its text to the new size.
void Shell::toggleFullScreen() {
    glutSetWindow(windowID_);
    Display* display = glXGetCurrentDisplay();
    if (display != nullptr && managerDoesFullScreen(display)) {
        askManagerFullScreen(display, mainXWindow_);
    } else if (!fullScreen_) {
        fullScreen_ = true;
        windowedPlace_ = {glutGet(GLUT_WINDOW_X), glutGet(GLUT_WINDOW_Y), glutGet(GLUT_WINDOW_WIDTH),
                          glutGet(GLUT_WINDOW_HEIGHT)};
        glutPositionWindow(0, 0);
        glutReshapeWindow(glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT));
    } else {
        fullScreen_ = false;
        glutPositionWindow(windowedPlace_[0], windowedPlace_[1]);
        glutReshapeWindow(windowedPlace_[2], windowedPlace_[3]);
    }
    if (log_ != nullptr) log_->log("full-screen");
    requestFrame();
}

void Shell::readKeys() {
    if (keys_->read([this](const KeyEvent& key) { takeKey(key); })) updateLetterNames();
}

void Shell::windowStatus(int state) {
    // Hidden or minimised, the window gets no more key events, down or up: let go of everything
    // now rather than wait for a release that will go elsewhere. A key still down keeps its mark
    // here, so its repeats, when the window comes back, are not taken for a new press; the check
    // below clears the mark once it is up.
    if (state != GLUT_HIDDEN || piano_ == nullptr) return;
    for (unsigned char key : piano_->userHeldKeys()) piano_->keyUp(key);
}

// Releases that never reach the main window: a letter held while the focus moves to another
// window sends its release there, and a hidden window gets none. The X server knows which keys
// are really down; a held key that is not is released here with the ordinary key-up.
void Shell::releaseKeysNoLongerDown() {
    if (std::none_of(down_.begin(), down_.end(), [](bool down) { return down; })) return;
    // Events still waiting hold the key's own release, or repeats of it sent before the release:
    // read ahead of them, the key would be released early and a repeat behind it would look like
    // a new press. Only with nothing waiting did a missing release go elsewhere.
    if (keys_->pending()) return;
    const std::array<bool, 256> reallyDown = keys_->keysDown();
    for (unsigned int code = 0; code < down_.size(); ++code) {
        if (!down_[code] || reallyDown[code]) continue;
        // Let go of already (the window was hidden): only the mark goes.
        if (piano_ != nullptr && sent_[code] != 0 && piano_->keyHeld(sent_[code]))
            releaseKey(code);
        else
            down_[code] = false;
    }
}

bool Shell::keysToWatch() const {
    if (piano_ != nullptr && !piano_->userHeldKeys().empty()) return true;
    return std::any_of(down_.begin(), down_.end(), [](bool down) { return down; });
}

// ---- The frame loop ------------------------------------------------------------------------
void Shell::idle() {
    if (piano_ != nullptr && piano_->stepFrame()) {
        releaseKeysNoLongerDown();
        return;
    }
    // Not due yet: wait for the frame instead of spinning a core on the clock. The wait ends
    // just past the interval so that the next call finds the frame due.
    const double remaining = piano_ != nullptr ? piano_->secondsUntilFrame() : 0.02;
    if (remaining > 0) {
        const auto wait = std::chrono::microseconds(static_cast<long long>(remaining * 1e6) + 50);
        std::this_thread::sleep_for(std::min(wait, std::chrono::microseconds(20000)));
    }
}

// Waits until the X server has something for the program, a MIDI message has come in, or
// `seconds` have passed; without a time, for as long as it takes. Events Xlib has already read
// count as waiting. A wait for ever is asked for by name, never by a time that came out
// negative: a song that waited for its next frame that way stopped until the mouse moved.
void Shell::waitForEvents(std::optional<double> seconds) {
    Display* display = glXGetCurrentDisplay();
    if (XPending(display) > 0 || keys_->pending() || piano_->midiInbox().pending()) return;
    const int fd = std::max(ConnectionNumber(display), keys_->fd());
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(ConnectionNumber(display), &readable);
    if (keys_->open()) FD_SET(keys_->fd(), &readable);
    if (midiWake_ >= 0) FD_SET(midiWake_, &readable);
    timeval timeout{};
    if (seconds) {
        const long long micros = static_cast<long long>(std::max(*seconds, 0.0) * 1e6) + 50;
        timeout.tv_sec = static_cast<time_t>(micros / 1000000);
        timeout.tv_usec = static_cast<suseconds_t>(micros % 1000000);
    }
    if (select(std::max(fd, midiWake_) + 1, &readable, nullptr, nullptr, seconds ? &timeout : nullptr) > 0 &&
        midiWake_ >= 0 && FD_ISSET(midiWake_, &readable)) {
        std::uint64_t count;
        [[maybe_unused]] const ssize_t taken = read(midiWake_, &count, sizeof count);
    }
}

int Shell::run() {
    midiWake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (midiWake_ >= 0) piano_->midiInbox().onArrival(wakeForMidi, &midiWake_);
    while (!quitStatus_) {
        // MIDI first: notes that came in sound before a frame is drawn, and the MIDI output hears
        // of another instrument as the key for it is taken, with nothing drawn.
        piano_->playMidi();
        readKeys();
        glutMainLoopEvent();  // window and mouse events, and the frames asked to be drawn
        if (quitStatus_) break;
        // A window freeglut destroyed (a close box) may have been the current one.
        if (glutGetWindow() == 0) glutSetWindow(windowID_);
        if (piano_->animating()) {
            if (piano_->stepFrame()) {
                ++framesSinceRest_;
                releaseKeysNoLongerDown();
                continue;
            }
            // Input arriving before the frame is due is taken at once.
            waitForEvents(piano_->secondsUntilFrame());
            continue;
        }
        // Nothing moves: nothing is drawn until an input or a window event comes, a held key has
        // to be compared with the keyboard, or a caption's time is up.
        if (framesSinceRest_ > 0 && log_ != nullptr) log_->log("rest");
        framesSinceRest_ = 0;
        std::optional<double> wait = piano_->secondsUntilChange();
        if (keysToWatch()) {
            releaseKeysNoLongerDown();
            wait = std::min(wait.value_or(KEY_WATCH_SECONDS), KEY_WATCH_SECONDS);
        }
        waitForEvents(wait);
        if (piano_->captionEnded()) requestFrame();  // one more frame, without it
    }
    // Nothing may wake a loop that has ended: the MIDI threads run on until their ports close.
    piano_->midiInbox().onArrival(nullptr, nullptr);
    return *quitStatus_;
}

// ---- Resources -----------------------------------------------------------------------------
ResourcePaths findResources() {
    namespace fs = std::filesystem;
    const std::vector<std::string> candidates = resourceRootCandidatesForThisBinary();
    const std::string root = chooseResourceRoot(candidates, holdsResources);
    if (!root.empty()) return ResourcePaths(root);
    // None: the paths stay at ../res, and each kind of missing file is told on its own line.
    std::error_code error;
    std::string places;
    for (const std::string& candidate : candidates) {
        if (!places.empty()) places += ", ";
        places += candidate;
        if (fs::path(candidate).is_relative()) places += " (" + fs::absolute(candidate, error).lexically_normal().string() + ")";
    }
    std::fprintf(stderr, "tinklewood: no resources found in %s; running without pictures, sounds, songs and help\n",
                 places.c_str());
    return ResourcePaths();
}

std::string mixerConfigFile(const ResourcePaths& resources) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path config = fs::path(resources.root) / "alsoft.conf";
    if (!fs::is_regular_file(config, error)) return {};
    return fs::absolute(config, error).lexically_normal().string();
}
