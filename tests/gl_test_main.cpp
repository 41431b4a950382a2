// Entry point of the tests that draw: they need a real GL context, which a hidden-from-
// nobody GLUT window on the X display (Xvfb in scripts/test) provides.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "Shell.h"
#include "gl_test_support.h"

namespace {
int contextWindow = 0;
}

int glTestWindow() { return contextWindow; }

void makeGlTestContextCurrent() { glutSetWindow(contextWindow); }

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr,
                     "These tests draw and need an X display; none is set. Run them through "
                     "scripts/test, which starts Xvfb.\n");
        return 1;
    }
    startGlut(&argc, argv);  // as the program starts it, living through windows that are gone
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(GL_TEST_WIDTH, GL_TEST_HEIGHT);
    contextWindow = glutCreateWindow("tinklewood tests");
    glutDisplayFunc([] {});
    // Let the server map the window so reads of the back buffer are defined.
    for (int i = 0; i < 5; ++i) glutMainLoopEvent();
    return RUN_ALL_TESTS();
}
