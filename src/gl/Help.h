// The help window's picture: the help file's lines in a bitmap font.
#pragma once

#include <string>

#include "ShellOnly.h"

// The help window's projection, from its own size.
void helpReshape(int w, int h);
// The help text of the file at path, read afresh (an edited file shows at the next repaint),
// into the back buffer without presenting it. A file that cannot be read is named on stdout.
void drawHelpText(const std::string& path);
