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

// ---- Keys released elsewhere ---------------------------------------------------------------
// The character code GLUT reports for a keysym, or -1 for one it reports none for.
int characterOf(KeySym sym) {
    if ((sym >= 0x20 && sym <= 0x7e) || (sym >= 0xa0 && sym <= 0xff)) return static_cast<int>(sym);
    switch (sym) {
        case XK_BackSpace: return 8;
        case XK_Tab: return 9;
        case XK_Return: case XK_KP_Enter: return 13;
        case XK_Escape: return 27;
        case XK_Delete: return 127;
        default: return -1;
    }
}

bool anyDown(const char keymap[32], const std::vector<KeyCode>& codes) {
    for (KeyCode code : codes)
        if (keymap[code >> 3] & (1 << (code & 7))) return true;
    return false;
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

// For each character code, every key that can type it: '+' may come from the main keyboard or
// the keypad, 'K' from the same key as 'k', Ctrl+K (11) too. A character counts as up only when
// all of them are up, so a key is never released while it is down.
struct Shell::KeyCodes {
    std::array<std::vector<KeyCode>, 256> of;

    explicit KeyCodes(Display* display) {
        if (display == nullptr) return;
        int minCode = 0, maxCode = 0, perCode = 0;
        XDisplayKeycodes(display, &minCode, &maxCode);
        KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(minCode), maxCode - minCode + 1, &perCode);
        if (map == nullptr) return;
        for (int code = minCode; code <= maxCode; ++code) {
            for (int column = 0; column < perCode; ++column) {
                const int character = characterOf(map[(code - minCode) * perCode + column]);
                if (character < 0) continue;
                of[static_cast<std::size_t>(character)].push_back(static_cast<KeyCode>(code));
                if ((character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z'))
                    of[static_cast<std::size_t>(character & 0x1f)].push_back(static_cast<KeyCode>(code));  // with Ctrl
            }
        }
        XFree(map);
    }
};

const Shell::KeyCodes& Shell::keyCodes() const {
    if (!keyCodes_) keyCodes_ = std::make_unique<KeyCodes>(glXGetCurrentDisplay());
    return *keyCodes_;
}

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
    glutIgnoreKeyRepeat(1);
    // Without this the X server repeats a held key as release-press pairs, and a pair read just
    // after the key really came up looks to GLUT like a new press of it; with it, repeats come
    // as presses alone, which keyDown drops.
    if (Display* display = glXGetCurrentDisplay()) XkbSetDetectableAutoRepeat(display, True, nullptr);
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
    if (windowID_ == 0) return;  // closed: nothing left to draw
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
    if (copyBackBuffer_ != nullptr && renderer_.keepsFrames()) {
        // Whole: GLUT calls display for an expose as for any other redisplay, so every frame
        // shows the whole back buffer again (a copy of the window's size takes a fifth of a
        // millisecond here, a frame's drawing several).
        const auto copy = reinterpret_cast<PFNGLXCOPYSUBBUFFERMESAPROC>(copyBackBuffer_);
        copy(glXGetCurrentDisplay(), glXGetCurrentDrawable(), 0, 0, renderer_.width(), renderer_.height());
    } else {
        glutSwapBuffers();
    }
}

void Shell::helpDisplay() {
    drawHelpText(resources_.help);
    glutSwapBuffers();
}

// ---- Keys ----------------------------------------------------------------------------------
void Shell::keyDown(unsigned char key) {
    // Pressed again while still down: the X server repeating a held key (it sends presses alone),
    // however long after the key really came up the press is read.
    if (pressed_[key]) return;
    pressed_[key] = true;
    if (piano_ != nullptr) piano_->keyDown(key);
    requestFrame();  // whatever the key changed shows at once
}

void Shell::keyUp(unsigned char key) {
    // A key can go down as one character and come up as another ('s' and 'S' around Shift): its
    // release frees every character its keys type.
    const std::vector<KeyCode>& codes = keyCodes().of[key];
    for (int other = 0; other < 256; ++other) {
        if (!pressed_[other]) continue;
        const std::vector<KeyCode>& others = keyCodes().of[static_cast<std::size_t>(other)];
        if (other == key || std::find_first_of(codes.begin(), codes.end(), others.begin(), others.end()) != codes.end())
            pressed_[other] = false;
    }
    if (piano_ != nullptr) piano_->keyUp(key);
    requestFrame();
}

void Shell::specialKey(int key) {
    if (key == GLUT_KEY_F1)
        showHelp();
    else if (piano_ != nullptr)
        piano_->specialKey(key);
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
    std::vector<unsigned char> held = piano_ != nullptr ? piano_->userHeldKeys() : std::vector<unsigned char>();
    // Keys let go of while the window was hidden can still be down, their repeats dropped: once
    // they are up, their next press is a new one.
    for (int key = 0; key < 256; ++key)
        if (pressed_[key] && std::find(held.begin(), held.end(), key) == held.end())
            held.push_back(static_cast<unsigned char>(key));
    if (held.empty()) return;
    Display* display = glXGetCurrentDisplay();
    if (display == nullptr) return;
    // Events still waiting hold the key's own release, or repeats of it sent before the release:
    // read ahead of them, the key would be released early and a repeat behind it would look like
    // a new press. Only with nothing waiting did a missing release go elsewhere.
    if (XPending(display) > 0) return;
    const KeyCodes& keys = keyCodes();
    char keymap[32];
    XQueryKeymap(display, keymap);
    for (unsigned char key : held) {
        // A character no key types (none known) keeps waiting for its own release.
        if (keys.of[key].empty() || anyDown(keymap, keys.of[key])) continue;
        if (piano_ != nullptr && piano_->keyHeld(key))
            keyUp(key);
        else
            pressed_[key] = false;
    }
}

bool Shell::keysToWatch() const {
    if (piano_ != nullptr && !piano_->userHeldKeys().empty()) return true;
    return std::any_of(std::begin(pressed_), std::end(pressed_), [](bool down) { return down; });
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
    if (XPending(display) > 0 || piano_->midiInbox().pending()) return;
    const int fd = ConnectionNumber(display);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
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
        glutMainLoopEvent();  // input and window events, and the frames asked to be drawn
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
