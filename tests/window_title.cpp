// Reads a window's title from the X server; kept apart because Xlib's macros (None,
// Status, Bool) collide with GoogleTest's names.
#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include "gl_test_support.h"

std::string windowTitle(int glutWindow) {
    glutSetWindow(glutWindow);
    Display* display = glXGetCurrentDisplay();
    const Window xwindow = glXGetCurrentDrawable();
    char* name = nullptr;
    std::string title;
    if (XFetchName(display, xwindow, &name) && name != nullptr) {
        title = name;
        XFree(name);
    }
    return title;
}
