// Draws the program's real frames into the test window and reads them back.
#pragma once

#include <GL/glu.h>

#include <array>
#include <vector>

#include "Piano.h"
#include "Shell.h"
#include "gl_test_support.h"

struct Pixel {
    int r, g, b;
};

class Frame {
public:
    Frame() : pixels_(static_cast<size_t>(GL_TEST_WIDTH) * GL_TEST_HEIGHT * 3) {}
    // x from the left, y from the bottom, as GL counts.
    Pixel at(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * GL_TEST_WIDTH + x) * 3;
        return {pixels_[i], pixels_[i + 1], pixels_[i + 2]};
    }
    unsigned char* data() { return pixels_.data(); }
    std::array<double, 16> modelview{}, projection{};
    std::array<int, 4> viewport{};

    // Window position of a scene point under the frame's camera.
    std::array<int, 2> project(double x, double y, double z) const {
        double wx, wy, wz;
        gluProject(x, y, z, modelview.data(), projection.data(), viewport.data(), &wx, &wy, &wz);
        return {static_cast<int>(wx + 0.5), static_cast<int>(wy + 0.5)};
    }

private:
    std::vector<unsigned char> pixels_;
};

// Start-up as the program does it, once per test process, into the test window; then the
// application back at its starting state, at the test window's size.
inline void startScene() {
    static bool started = false;
    makeGlTestContextCurrent();
    if (!started) {
        initGl();
        initTimers();
        initTextures();
        initKeyboard();
        started = true;
    }
    resetAppState();
    reshape(GL_TEST_WIDTH, GL_TEST_HEIGHT);
}

// One frame as the display callback draws it, read back before it would be presented.
inline Frame drawFrame() {
    Frame frame;
    drawScene();
    glGetDoublev(GL_MODELVIEW_MATRIX, frame.modelview.data());
    glGetDoublev(GL_PROJECTION_MATRIX, frame.projection.data());
    glGetIntegerv(GL_VIEWPORT, frame.viewport.data());
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, GL_TEST_WIDTH, GL_TEST_HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, frame.data());
    return frame;
}
