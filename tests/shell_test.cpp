// The two windows as start-up makes them, and the reshape guard.
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
