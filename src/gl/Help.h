// The help window's picture: the help file's lines, the keys named as the user's layout
// names them.
#pragma once

#include <string>

#include "KeyLayout.h"
#include "ShellOnly.h"
#include "TextFont.h"

// The help window's projection, from its own size.
void helpReshape(int w, int h);
// The help text of the file at path, read afresh (an edited file shows at the next repaint),
// into the back buffer without presenting it. A file that cannot be read is named on stdout.
// Each lone playing letter in it ("z    x     c") is shown by its name in names.
void drawHelpText(const std::string& path, TextFont& font, const LetterNames& names);
