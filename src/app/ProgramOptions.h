// The program's command line: its own options read off it before any window or sound is
// opened, GLUT's left in it for glutInit.
#pragma once

#include "CommandLine.h"

// Reads the command line. After --help or --version (answered on standard output) or a
// refusal (the usage on standard error), returns the status to exit with; otherwise returns
// -1 with options holding the program's own, and argc and argv only GLUT's.
int takeProgramOptions(int& argc, char** argv, CommandLine& options);
