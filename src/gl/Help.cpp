// The help window: the help file's lines, read afresh at every repaint so an edited file
// shows at the next one, the keys named as the user's layout names them and the text as large
// as the window allows. Only a regular file is read: a pipe in its place would otherwise stop
// the program at the next repaint.
#include <GL/freeglut.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "FileRead.h"
#include "Help.h"
#include "KeyLayout.h"
#include "interface.h"
#include "lights.h"

namespace {
const float FIRST_LINE_Y = 476;  // help coordinates, 0..HELP_UNITS_WIDE across and 0..HELP_UNITS_HIGH up
// The text's units as the window shows them: 2.4 pixels across and 10/7 of a pixel up at its
// first size of 500 x 700, the layout it was written for.
const double HELP_UNITS_WIDE = 500.0 * 500.0 / 1200.0;
const double HELP_UNITS_HIGH = 700.0 * 700.0 / 1000.0;
const float LINE_PITCH = 15;
const float LEFT_MARGIN = 5;
const std::size_t LINE_BUFFER = 100;       // characters a row takes, its end included
const std::size_t HELP_FILE_LIMIT = 1 << 16;  // far more than the window shows
}  // namespace

void helpReshape(int w, int h) {
    // The help window's own size decides where the lines go; the main window's has nothing
    // to do with it. The visible units are those the text has always been seen in at the
    // windows' first sizes: the first line near the top, lines 21 pixels apart.
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, HELP_UNITS_WIDE, 0, HELP_UNITS_HIGH, -1, 1);
}

void drawHelpText(const std::string& path, TextFont& font, const LetterNames& names) {
    glClearColor(clearColour[0], clearColour[1], clearColour[2], 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor4fv(helpTextColour.data());

    std::string text;
    const FileRead result = readSmallFile(path, HELP_FILE_LIMIT, text);
    if (result != FileRead::Read && result != FileRead::TooLarge) {
        std::printf("Error: Failed to open file %s.\n", path.c_str());
        std::fflush(stdout);
        return;
    }
    // The text grows with the window as its lines spread, as far as both its width and its
    // height allow, and never below the size it was written for.
    int viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const double scale = std::max(1.0, std::min(viewport[2] / static_cast<double>(HELP_WIDTH),
                                                viewport[3] / static_cast<double>(HELP_HEIGHT)));
    const int pixels = static_cast<int>(std::lround(BASE_TEXT_PIXELS * scale));
    text = nameLettersIn(text, names);
    float yPos = FIRST_LINE_Y;
    for (std::size_t pos = 0; pos < text.size();) {
        // Lines below the window's bottom edge would not show: stop there.
        if (yPos < 0) break;
        // As a line buffer of LINE_BUFFER characters takes it: a longer line goes on in the
        // next row; the row ends at its line break (or an embedded NUL, which ends the string).
        std::size_t end = pos;
        while (end < text.size() && end - pos < LINE_BUFFER - 1 && text[end] != '\n') ++end;
        if (end < text.size() && end - pos < LINE_BUFFER - 1 && text[end] == '\n') ++end;
        std::string line = text.substr(pos, end - pos);
        line.resize(std::min(line.find_first_of(std::string("\r\n\0", 3)), line.size()));
        glRasterPos2f(LEFT_MARGIN, yPos);
        font.draw(line, pixels);
        yPos -= LINE_PITCH;
        pos = end;
    }
}
