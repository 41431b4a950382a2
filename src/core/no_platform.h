// Forced into every model source: a GL, GLUT or OpenAL header included there declares one of
// these names and stops the build. The model reaches the window and the sound device only
// through ShellHooks and the SoundEngine interface.
#pragma once
#pragma GCC poison glBegin glEnable glLightfv glutInit glutPostRedisplay glutSwapBuffers
#pragma GCC poison alSourcePlay alGenSources alcOpenDevice alcCreateContext
