// Watches a window and prints the X server's time, in milliseconds, of every update of its
// picture ("frame T") and of every key event delivered to it ("press T", "release T"). On
// Linux the server's clock is CLOCK_MONOTONIC, the clock the suite reads.
// The suite measures the program's frame interval from these times: at software-rendering
// speeds a frame can take far longer than the program's 1/60 s floor, and every timing check
// has to be judged in frames actually drawn. The key times say when a key reached the window,
// free of the time it takes to start xdotool.
//
// usage: window_watch WINDOW_ID   (runs until killed or until the window goes away)
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <cstdio>
#include <cstdlib>

namespace {
bool windowGone = false;

int onError(Display*, XErrorEvent* error) {
    // The window closing under us (the program quit) is the normal end.
    if (error->error_code == BadWindow || error->error_code == BadDrawable) windowGone = true;
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_watch WINDOW_ID\n");
        return 2;
    }
    const Window window = static_cast<Window>(std::strtoul(argv[1], nullptr, 0));
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "window_watch: cannot open the display\n");
        return 1;
    }
    int damageEvent = 0, damageError = 0;
    if (!XDamageQueryExtension(display, &damageEvent, &damageError)) {
        std::fprintf(stderr, "window_watch: the X server has no DAMAGE extension\n");
        return 1;
    }
    XSetErrorHandler(onError);
    // One report per batch of drawing, acknowledged at once: a swap of the whole window is
    // one batch, so one line per frame.
    const Damage damage = XDamageCreate(display, window, XDamageReportNonEmpty);
    // Key events may be selected by any number of clients, so watching them takes nothing from
    // the program.
    XSelectInput(display, window, StructureNotifyMask | KeyPressMask | KeyReleaseMask);
    XSync(display, False);
    if (windowGone) return 0;
    std::printf("ready\n");
    std::fflush(stdout);

    while (!windowGone) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == damageEvent + XDamageNotify) {
            const auto* notify = reinterpret_cast<XDamageNotifyEvent*>(&event);
            XDamageSubtract(display, damage, None, None);
            std::printf("frame %lu\n", static_cast<unsigned long>(notify->timestamp));
            std::fflush(stdout);
        } else if (event.type == KeyPress || event.type == KeyRelease) {
            std::printf("%s %lu %u\n", event.type == KeyPress ? "press" : "release",
                        static_cast<unsigned long>(event.xkey.time), event.xkey.keycode);
            std::fflush(stdout);
        } else if (event.type == DestroyNotify) {
            break;
        }
    }
    return 0;
}
