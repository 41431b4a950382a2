// The GLUT shell: windows, GL state, the display and idle callbacks, and the drawing steps of
// a frame. Everything here runs on the GLUT thread.
#pragma once

#include <string>

// ---- Windows ---------------------------------------------------------------------------
extern const std::string winName;
extern const std::string helpName;
extern int windowID;
extern int helpID;

// ---- Textures --------------------------------------------------------------------------
extern unsigned int handTex;        // GL texture object of the hands
extern unsigned int backgroundTex;  // GL texture object of the background

// ---- Start-up and frame ----------------------------------------------------------------
// glutInit, living through X errors about windows that are gone: a stale window manager's
// check window at start-up, a window another client destroyed at exit (XErrors.cpp).
void startGlut(int* argc, char** argv);
void initGlut();
void initHelpWindow();
void initMainWindow();
void initGl();
void reshape(int w, int h);
void display();
void drawScene();  // one frame into the back buffer, without presenting it
void animate();
// The program's main loop, in place of GLUT's: frames while something moves (animating()),
// and otherwise no work at all until the window system or the clock has something.
void runFrameLoop();

// ---- Keys released elsewhere -----------------------------------------------------------
// Each frame while keys are held: those the X server says are up get their key-up.
void releaseKeysNoLongerDown();
// The main window's status callback: hidden or minimised, it lets go of every held key.
void mainWindowStatus(int state);
// Whether any key is held, or marked as still down, that releaseKeysNoLongerDown must watch.
bool keysToWatch();
// Asks the X server to repeat a held key as presses alone, which keyDown drops.
void reportRepeatsAsPressesOnly();
// The main window's keyboard callbacks: the keyboard commands, less the repeats of held keys.
void keyDown(unsigned char key, int x, int y);
void keyUp(unsigned char key, int x, int y);

// ---- Resources -------------------------------------------------------------------------
// Chooses the resource root (Resources.h) from ../res, the executable's folder and the
// install's data folder, saying on stderr where it looked when none holds resources.
void findResources();
// The program's OpenAL Soft config with its mixing period, as an absolute path; empty when
// the resources have none.
std::string mixerConfigFile();

// ---- Drawing steps of a frame ----------------------------------------------------------
void drawKeyboard();
void setLighting();
void setConcertLighting();

// ---- Pictures and help -----------------------------------------------------------------
void initTextures();
void setTextures();
void setBackground();
void helpReshape(int w, int h);
void helpDisplay();
void drawHelpText();  // the help window's picture, without presenting it
