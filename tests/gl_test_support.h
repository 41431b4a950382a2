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
