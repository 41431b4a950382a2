// The GLUT shell: the two windows, the frame loop, and the translation of GLUT's callbacks
// into calls on the piano. GLUT's callbacks are plain C functions, so the one shell of the
// process is reached through a single pointer; everything else is the shell's own.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "EventLog.h"
#include "KeyInput.h"
#include "Piano.h"
#include "Renderer.h"
#include "Resources.h"
#include "ShellOnly.h"

inline constexpr const char* MAIN_WINDOW_TITLE = "Tinklewood";
inline constexpr const char* HELP_WINDOW_TITLE = "Help";

// glutInit, living through X errors about windows that are gone: a stale window manager's
// check window at start-up, a window another client destroyed at exit (XErrors.cpp).
void startGlut(int* argc, char** argv);
// The X server gone (it ended, or the session did): `save` is called, then the program ends at
// once with status 1, nothing else run at exit (XErrors.cpp).
void onConnectionLost(void (*save)());
// Whether it has: nothing more is asked of GLUT then.
bool connectionLost();
// Whether an X window still stands: another client may have destroyed it, which freeglut takes
// no note of. The failed lookup ends nothing (XErrors.cpp).
bool windowExists(struct _XDisplay* display, unsigned long window);

class Shell final : public PianoHost {
public:
    // Creates the help window and then the main window (which stays current), with their
    // callbacks, and the GL state. GLUT must be initialised.
    Shell(const ResourcePaths& resources, EventLog* log = nullptr);
    ~Shell() override;
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    // Reads the pictures for the scene the program starts with.
    void loadPictures(const Scene& first) { renderer_.initGl(first); }
    // The piano whose scene is drawn and to which input goes; null detaches it. It is told
    // what the user's layout shows on the playing letters' keys.
    void attach(Piano* piano);
    // The program's main loop, in place of GLUT's: frames while something moves, and otherwise
    // no work at all until the window system, MIDI or the clock has something. Returns, with
    // the status quit was given, once Escape or the main window's close box asks to quit.
    int run();
    // GLUT's idle step, for a loop run by GLUT (the benchmark): a frame if one is due, else a
    // sleep until it is.
    void idle();

    // GLUT's window IDs; 0 for a window that is closed.
    int mainWindow() const { return windowID_; }
    int helpWindow() const { return helpID_; }
    SceneRenderer& renderer() { return renderer_; }
    Piano* piano() const { return piano_; }

    // PianoHost
    void requestFrame() override;
    // Asks the frame loop to end: run() returns after the event being handled.
    void quit(int status) override;
    bool quitting() const { return quitStatus_.has_value(); }

    // The window callbacks, also called by tests.
    void reshape(int w, int h) { renderer_.reshape(w, h); }
    // Draws the piano's scene (where it changed, when frames are kept) and shows it.
    void display();
    // Shows the main window's back buffer: copied whole to the window when frames are kept, so
    // the back buffer keeps the frame for the next one to draw over; swapped otherwise.
    void present();
    void helpDisplay();
    // A key of the main window, by its key code: a playing letter's place plays its letter,
    // any other key the character it types; F11 and the arrows by their keysyms.
    void takeKey(const KeyEvent& key);
    // The same from freeglut's callbacks, by character, when the program could not read the
    // keys itself (KeyInput not open).
    void keyDown(unsigned char key);
    void keyUp(unsigned char key);
    // F1 shows the help window; F11 toggles full screen; the other special keys go to the piano.
    void specialKey(int key);
    // F11: the main window fills the screen, or goes back to its size.
    void toggleFullScreen();
    void windowStatus(int state);
    // A window's close box (freeglut has destroyed the window by then): the help window is
    // gone until F1 makes it again, the main window ends the program.
    void windowClosed(int window);
    // Shows the help window, making it again when it was closed or another client destroyed it.
    void showHelp();
    // Each frame while keys are held: those the X server says are up get their key-up.
    void releaseKeysNoLongerDown();
    // Whether any key is held, or marked as still down, that releaseKeysNoLongerDown must watch.
    bool keysToWatch() const;

    // The shell of the process, for GLUT's callbacks.
    static Shell* current() { return current_; }

private:
    void waitForEvents(std::optional<double> seconds);
    void createHelpWindow();
    void readKeys();
    void releaseKey(unsigned int code);
    void updateLetterNames();

    static Shell* current_;

    ResourcePaths resources_;
    EventLog* log_;
    Piano* piano_ = nullptr;
    SceneRenderer renderer_;
    int windowID_ = 0;
    int helpID_ = 0;
    unsigned long helpXWindow_ = 0;  // the help window's X window, to ask the server about
    std::optional<int> quitStatus_;
    // Frames stepped or drawn since the frame loop last had nothing to do; the event log notes
    // each time it comes to rest after them, so a test knows the picture it sees is the final
    // one. Stepped ones count too: a hidden window is not drawn, yet its animation comes to an end.
    int framesSinceRest_ = 0;
    // Made readable by the MIDI threads when a message comes in, so that the frame loop's wait
    // ends for it as for an X event.
    int midiWake_ = -1;
    // The main window's keys, read with their key codes.
    std::unique_ptr<KeyInput> keys_;
    // By key code: pressed and not yet released, and the character its press gave the piano
    // (0 for none), which its release lets go of whatever the layout or Shift says by then.
    std::array<bool, 256> down_{};
    std::array<unsigned char, 256> sent_{};
    // What the user's layout shows on the playing letters' keys, for the help text.
    LetterNames letterNames_;
    // The main window's X window; without a window manager, whether F11 has made it fill the
    // screen and where it stood before (x, y, width, height in pixels).
    unsigned long mainXWindow_ = 0;
    bool fullScreen_ = false;
    std::array<int, 4> windowedPlace_{};
    // glXCopySubBufferMESA as GLX hands it out, when frames are kept (see the constructor).
    void (*copyBackBuffer_)() = nullptr;
    std::array<int, 2> presentedSize_{};  // the main window's size at the last frame shown
};

// Chooses the resource root from ../res, the executable's folder and the install's data folder,
// saying on stderr where it looked when none holds resources (the paths then stay at ../res).
ResourcePaths findResources();
// The program's OpenAL Soft config with its mixing period, as an absolute path; empty when the
// resources have none.
std::string mixerConfigFile(const ResourcePaths& resources);
