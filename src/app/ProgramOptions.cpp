// The options the program takes, and GLUT's, which it passes on.
#include "ProgramOptions.h"

namespace {
const CommandLineSyntax SYNTAX = {
    "tinklewood",
    "tinklewood [--defaults] [-display DISPLAY] [-geometry WxH+X+Y] [-iconic] [-sync] [-direct|-indirect] [-gldebug]",
    "A 3D piano played from the computer keyboard; the help window it opens lists the keys.\n"
    "  --defaults  start as the program first starts, leaving the saved settings as they are\n"
    "  --help      this text\n"
    "  --version   the program's version\n"
    "The options with one dash are GLUT's, for the X display and the main window.\n",
    {
        // The program's own options, then GLUT's (freeglut's glutInit).
        {"--defaults", false, false},
        {"-display", true, true},
        {"-geometry", true, true},
        {"-iconic", false, true},
        {"-sync", false, true},
        {"-direct", false, true},
        {"-indirect", false, true},
        {"-gldebug", false, true},
    },
    {},
    0,
};
}  // namespace

int takeProgramOptions(int& argc, char** argv, CommandLine& options) {
    options = readCommandLine(SYNTAX, argc, argv);
    if (options.exitStatus >= 0) return finishCommandLine(SYNTAX, options);
    int kept = 1;
    for (int at : options.passedOn) argv[kept++] = argv[at];
    argv[kept] = nullptr;
    argc = kept;
    return -1;
}
