// The two windows as start-up makes them, their close boxes, F1, the frame loop's end, and the
// reshape guard.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Shell.h"
#include "gl_test_support.h"
#include "scene_support.h"

namespace {
void settle() {
    for (int i = 0; i < 20; ++i) glutMainLoopEvent();
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
