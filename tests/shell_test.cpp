// The two windows as start-up makes them, their close boxes, F1, the frame loop's end, what the
// main window shows after each frame, and the reshape guard.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Shell.h"
#include "gl_test_support.h"
#include "scene_support.h"

// After the program's headers: Xlib's macros would clash with them.
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {
void settle() {
    for (int i = 0; i < 20; ++i) glutMainLoopEvent();
}

// Pixels of the current GLUT window where what the X server shows differs from the back buffer
// the frames are drawn into.
long shownApartFromBackBuffer(int width, int height) {
    Display* display = glXGetCurrentDisplay();
    std::vector<unsigned char> back(static_cast<std::size_t>(width) * height * 3);
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, back.data());
    XImage* shown = XGetImage(display, glXGetCurrentDrawable(), 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (shown == nullptr) return static_cast<long>(width) * height;
    auto channel = [](unsigned long pixel, unsigned long mask) { return (pixel & mask) / (mask & (~mask + 1)); };
    long apart = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned long pixel = XGetPixel(shown, x, y);
            const unsigned char* b = &back[(static_cast<std::size_t>(height - 1 - y) * width + x) * 3];
            apart += channel(pixel, shown->red_mask) != b[0] || channel(pixel, shown->green_mask) != b[1] ||
                     channel(pixel, shown->blue_mask) != b[2];
        }
    }
    XDestroyImage(shown);
    return apart;
}
}  // namespace

TEST(Windows, HelpFirstThenTheMainWindowCurrentWithTheirTitlesSizesAndPlaces) {
    Shell shell{ResourcePaths()};
    const int windowID = shell.mainWindow(), helpID = shell.helpWindow();
    EXPECT_EQ(glutGetWindow(), windowID) << "the main window is current after start-up";
    shell.loadPictures(Scene());
    EXPECT_LT(helpID, windowID) << "the help window is created first";
    glutIdleFunc(nullptr);  // the test drives frames itself
    settle();

    glutSetWindow(windowID);
    EXPECT_EQ(glutGet(GLUT_WINDOW_WIDTH), 1200);
    EXPECT_EQ(glutGet(GLUT_WINDOW_HEIGHT), 1000);
    EXPECT_EQ(glutGet(GLUT_WINDOW_X), 50);
    EXPECT_EQ(glutGet(GLUT_WINDOW_Y), 50);
    EXPECT_EQ(windowTitle(windowID), "Tinklewood");
    EXPECT_GE(glutGet(GLUT_WINDOW_DEPTH_SIZE), 16) << "the scene needs its depth buffer";

    glutSetWindow(helpID);
    EXPECT_EQ(glutGet(GLUT_WINDOW_WIDTH), 500);
    EXPECT_EQ(glutGet(GLUT_WINDOW_HEIGHT), 700);
    EXPECT_EQ(glutGet(GLUT_WINDOW_X), 1275);
    EXPECT_EQ(glutGet(GLUT_WINDOW_Y), 50);
    EXPECT_EQ(windowTitle(helpID), "Help");
    EXPECT_EQ(glutGet(GLUT_WINDOW_DEPTH_SIZE), 0) << "text alone needs none";
}

TEST(Windows, TheHelpWindowsCloseBoxClosesItAloneAndF1MakesItAgain) {
    Shell shell{ResourcePaths()};
    shell.loadPictures(Scene());
    glutIdleFunc(nullptr);
    settle();
    const int firstHelp = shell.helpWindow();
    shell.specialKey(GLUT_KEY_F1);  // shown already: the same window, raised
    EXPECT_EQ(shell.helpWindow(), firstHelp);

    pressCloseBox(firstHelp);
    settle();
    EXPECT_EQ(shell.helpWindow(), 0) << "freeglut destroyed it";
    EXPECT_NE(shell.mainWindow(), 0);
    EXPECT_FALSE(shell.quitting()) << "the help window's close box does not quit";

    shell.specialKey(GLUT_KEY_F1);
    ASSERT_NE(shell.helpWindow(), 0);
    EXPECT_EQ(glutGetWindow(), shell.mainWindow()) << "the main window stays current";
    settle();
    EXPECT_TRUE(windowViewable(shell.helpWindow()));
    EXPECT_EQ(windowTitle(shell.helpWindow()), "Help");
    glutSetWindow(shell.helpWindow());
    EXPECT_EQ(glutGet(GLUT_WINDOW_WIDTH), 500);
    EXPECT_EQ(glutGet(GLUT_WINDOW_HEIGHT), 700);
}

TEST(Windows, AHelpWindowAnotherClientDestroyedIsForgottenAndF1MakesANewOne) {
    Shell shell{ResourcePaths()};
    shell.loadPictures(Scene());
    glutIdleFunc(nullptr);
    settle();
    const int destroyed = shell.helpWindow();
    destroyFromAnotherClient(destroyed);
    settle();
    shell.specialKey(GLUT_KEY_F1);  // asks the server about the window: an error, passed over
    settle();
    ASSERT_NE(shell.helpWindow(), 0);
    EXPECT_NE(shell.helpWindow(), destroyed);
    EXPECT_TRUE(windowViewable(shell.helpWindow()));
}

// Escape and the main window's close box end the frame loop with status 0; nothing calls
// exit() from inside a callback.
TEST(FrameLoop, EscapeAndTheMainWindowsCloseBoxEndItWithStatusZero) {
    SteadyClock clock;
    for (const bool closeBox : {false, true}) {
        Shell shell{ResourcePaths()};
        shell.loadPictures(Scene());
        PianoSetup setup;
        setup.clock = &clock;
        setup.host = &shell;
        Piano piano(setup);
        shell.attach(&piano);
        if (closeBox)
            pressCloseBox(shell.mainWindow());
        else
            shell.keyDown(27);
        EXPECT_EQ(shell.run(), 0) << (closeBox ? "close box" : "Escape");
        EXPECT_EQ(shell.mainWindow() == 0, closeBox);
        shell.requestFrame();  // a closed main window is not drawn, and no GLUT error ends the test
        piano.keyDown('s');
    }
}

// Frames drawn in part are shown only where they changed; the rest of the window must show the
// frame already, and where it was covered and uncovered it has lost it.
TEST(FrameLoop, TheWindowShowsEveryFrameWholeWhereverItChangedAndWhereItWasUncovered) {
    DrivenClock clock;
    Shell shell{ResourcePaths()};
    shell.loadPictures(Scene());
    PianoSetup setup;
    setup.clock = &clock;
    setup.host = &shell;
    Piano piano(setup);
    shell.attach(&piano);
    glutIdleFunc(nullptr);
    settle();
    glutSetWindow(shell.mainWindow());
    const int w = shell.renderer().width(), h = shell.renderer().height();
    shell.display();
    shell.display();  // whole again, which copies the background
    EXPECT_EQ(shownApartFromBackBuffer(w, h), 0) << "drawn whole";

    shell.specialKey(GLUT_KEY_LEFT);  // the spot swung: every part again, over the background
    shell.display();
    EXPECT_FALSE(shell.renderer().lastFrame().whole);
    EXPECT_EQ(shownApartFromBackBuffer(w, h), 0) << "the spot swung";

    // The notes coming, with their bars spread over the keyboard and a hand playing: several
    // boxes a frame, and more than are copied one by one.
    for (int key : {13, int{'5'}}) {
        piano.keyDown(static_cast<unsigned char>(key));
        piano.keyUp(static_cast<unsigned char>(key));
    }
    int manyBoxes = 0;
    for (int step = 0; step < 24; ++step) {
        clock.advance(0.1);
        piano.stepFrame();
        shell.display();
        manyBoxes += shell.renderer().lastFrame().changed.size() > 4;
        EXPECT_EQ(shownApartFromBackBuffer(w, h), 0) << "the notes coming, frame " << step;
    }
    EXPECT_GT(manyBoxes, 0);

    // A window of another client over part of ours, and gone: nothing in the scene changed.
    Display* other = XOpenDisplay(DisplayString(glXGetCurrentDisplay()));
    ASSERT_NE(other, nullptr);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = 0xff0000;
    const Window cover = XCreateWindow(other, DefaultRootWindow(other), 200, 200, 400, 300, 0, CopyFromParent,
                                       InputOutput, nullptr, CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(other, cover);
    XSync(other, False);
    settle();
    XDestroyWindow(other, cover);
    XSync(other, False);
    XCloseDisplay(other);
    settle();
    EXPECT_EQ(shownApartFromBackBuffer(w, h), 0) << "uncovered";
}

TEST(Reshape, AZeroHeightKeepsTheLastAspectRatio) {
    makeGlTestContextCurrent();
    renderer().reshape(800, 600);
    EXPECT_EQ(renderer().width(), 800);
    EXPECT_EQ(renderer().height(), 600);
    double before[16], after[16];
    glGetDoublev(GL_PROJECTION_MATRIX, before);
    renderer().reshape(800, 0);
    glGetDoublev(GL_PROJECTION_MATRIX, after);
    for (int i = 0; i < 16; ++i) {
        EXPECT_TRUE(std::isfinite(after[i]));
        EXPECT_DOUBLE_EQ(after[i], before[i]);
    }
    EXPECT_NEAR(after[5] / after[0], 800.0 / 600.0, 1e-6) << "the 800 x 600 aspect stands";
    renderer().reshape(GL_TEST_WIDTH, GL_TEST_HEIGHT);
}
