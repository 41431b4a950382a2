// What the tests ask of the X server directly: a window's title, its close box pressed, the
// window destroyed by another client. Kept apart because Xlib's macros (None, Status, Bool)
// collide with GoogleTest's names.
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

namespace {
Window xWindowOf(int glutWindow) {
    const int current = glutGetWindow();
    glutSetWindow(glutWindow);
    const Window xwindow = glXGetCurrentDrawable();
    if (current != 0) glutSetWindow(current);
    return xwindow;
}
}  // namespace

void pressCloseBox(int glutWindow) {
    Display* display = glXGetCurrentDisplay();
    const Window xwindow = xWindowOf(glutWindow);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = xwindow;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, xwindow, False, NoEventMask, &event);
    // A round trip: the message, sent back by the server, is queued on return, so the next
    // glutMainLoopEvent finds it however busy the machine (a flush alone missed it under ASan).
    XSync(display, False);
}

void destroyFromAnotherClient(int glutWindow) {
    const Window xwindow = xWindowOf(glutWindow);
    Display* other = XOpenDisplay(nullptr);
    if (other == nullptr) return;
    XDestroyWindow(other, xwindow);
    XCloseDisplay(other);  // waits until the server has done it
}

bool windowViewable(int glutWindow) {
    Display* display = glXGetCurrentDisplay();
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, xWindowOf(glutWindow), &attributes) != 0 &&
           attributes.map_state == IsViewable;
}
