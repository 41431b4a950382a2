// The help window: the help file's lines in a bitmap font, read afresh at every repaint
// so an edited file shows at the next one.
#include <GL/freeglut.h>

#include <cstdio>
#include <cstring>

#include "Draw.h"
#include "Piano.h"
#include "Shell.h"

namespace {
const float FIRST_LINE_Y = 476;  // help coordinates, 0..500 across and 0..700 up
const float LINE_PITCH = 15;
const float LEFT_MARGIN = 5;
}  // namespace

void helpReshape(int, int) {
    // The viewport follows the main window's recorded size, as the text layout expects.
    glViewport(0, 0, Win[0], Win[1]);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 500, 0, 700, -1, 1);
}

void helpDisplay() {
    drawHelpText();
    glutSwapBuffers();
}

void drawHelpText() {
    glClearColor(clearColour[0], clearColour[1], clearColour[2], 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor4fv(helpTextColour.data());

    std::FILE* file = std::fopen(HELPFILENAME.c_str(), "r");
    if (file == nullptr) {
        std::printf("Error: Failed to open file %s.\n", HELPFILENAME.c_str());
        std::fflush(stdout);
    } else {
        char line[100];
        float yPos = FIRST_LINE_Y;
        while (std::fgets(line, sizeof line, file) != nullptr) {
            // Lines below the window's bottom edge would not show: stop reading there.
            if (yPos < 0) break;
            line[std::strcspn(line, "\r\n")] = '\0';
            printString(LEFT_MARGIN, yPos, line);
            yPos -= LINE_PITCH;
        }
        std::fclose(file);
    }
}
