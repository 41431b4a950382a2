// Forced into every core source: a GL, GLUT or OpenAL header included there declares one of
// these names and stops the build, and the shell's and sound layer's own headers refuse to be
// read here (their guard tests the macro below), even through a relative path. The core
// reaches the window and the sound device only through PianoHost and the SoundEngine interface.
#pragma once
#define TINKLEWOOD_WINDOW_FREE_CORE 1
#pragma GCC poison glBegin glEnable glLightfv glutInit glutPostRedisplay glutSwapBuffers
#pragma GCC poison alSourcePlay alGenSources alcOpenDevice alcCreateContext
