// Draws scenes the tests build into the test window, as the program draws its frames, and reads
// them back.
#pragma once

#include <GL/glu.h>

#include <array>
#include <vector>

#include "Lights.h"
#include "Renderer.h"
#include "Scene.h"
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

// The renderer of the test process, made once in the test window as the program makes its own;
// and the scene drawFrame draws, which each test sets as it needs.
inline SceneRenderer& renderer() {
    static SceneRenderer r{ResourcePaths()};
    return r;
}
inline Scene& scene() {
    static Scene s;
    return s;
}

// The scene back at the program's starting state, at the test window's size.
inline void startScene() {
    static bool started = false;
    makeGlTestContextCurrent();
    if (!started) {
        renderer().initGl(Scene());
        started = true;
    }
    scene() = Scene();
    renderer().solids().setPath(DrawPath::Fast);
    renderer().reshape(GL_TEST_WIDTH, GL_TEST_HEIGHT);
}

// One frame as the display callback draws it, read back before it would be presented.
inline Frame drawFrame() {
    Frame frame;
    renderer().draw(scene());
    glGetDoublev(GL_MODELVIEW_MATRIX, frame.modelview.data());
    glGetDoublev(GL_PROJECTION_MATRIX, frame.projection.data());
    glGetIntegerv(GL_VIEWPORT, frame.viewport.data());
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, GL_TEST_WIDTH, GL_TEST_HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, frame.data());
    return frame;
}

// The concert beams part way through the piano's first sweep: -1 at its start, 1 at its end.
inline void beamsAt(Scene& s, float phase) {
    static const DrivenClock clock;
    static const Lights first(clock);
    const auto& from = first.sweepFrom();
    const auto& to = first.sweepTo();
    for (int i = 0; i < 3; ++i) s.lights.concertSpotDir[i] = ((to[i] + from[i]) + (to[i] - from[i]) * phase) * 0.5f;
}
