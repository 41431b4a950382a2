// Shared by the tests that draw into a real GL context.
#pragma once

#include <string>

const int GL_TEST_WIDTH = 1200;
const int GL_TEST_HEIGHT = 1000;

// The GLUT id of the window whose context the tests draw into.
int glTestWindow();
void makeGlTestContextCurrent();

// The title the X server holds for a GLUT window.
std::string windowTitle(int glutWindow);
// A GLUT window's close box, as a window manager presses it: WM_DELETE_WINDOW sent to it.
void pressCloseBox(int glutWindow);
// The GLUT window destroyed by a client of its own, as another program may; freeglut is not
// told. The window must not be made current afterwards.
void destroyFromAnotherClient(int glutWindow);
// Whether the X server shows the GLUT window (mapped and viewable).
bool windowViewable(int glutWindow);
