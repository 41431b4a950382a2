// Rectangles of window pixels, and scene points carried to the window as GL carries them: what
// the drawing of a frame that changed in places works with.
#pragma once

#include "ShellOnly.h"

#include <algorithm>
#include <array>

// Window pixels [x0, x1) x [y0, y1), x from the left and y from the bottom as GL counts them.
struct ScreenBox {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;

    bool empty() const { return x1 <= x0 || y1 <= y0; }
    int width() const { return empty() ? 0 : x1 - x0; }
    int height() const { return empty() ? 0 : y1 - y0; }
    long area() const { return static_cast<long>(width()) * height(); }
    bool meets(const ScreenBox& o) const {
        return !empty() && !o.empty() && x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1;
    }
    bool contains(const ScreenBox& o) const {
        return o.empty() || (x0 <= o.x0 && y0 <= o.y0 && o.x1 <= x1 && o.y1 <= y1);
    }
    // The smallest box holding both.
    ScreenBox joined(const ScreenBox& o) const {
        if (empty()) return o;
        if (o.empty()) return *this;
        return {std::min(x0, o.x0), std::min(y0, o.y0), std::max(x1, o.x1), std::max(y1, o.y1)};
    }
    // What of it lies within a window of w x h pixels.
    ScreenBox within(int w, int h) const {
        return {std::max(x0, 0), std::max(y0, 0), std::min(x1, w), std::min(y1, h)};
    }
    bool operator==(const ScreenBox& o) const { return x0 == o.x0 && y0 == o.y0 && x1 == o.x1 && y1 == o.y1; }
    bool operator!=(const ScreenBox& o) const { return !(*this == o); }
};

// Every pixel a shape can touch whose corners land between these window coordinates (pixels,
// fractional), with `margin` pixels more on each side for what is drawn around the corners
// (wide lines, and the rounding of where GL puts them).
ScreenBox boxAround(float left, float bottom, float right, float top, int margin);

// The camera, projection and viewport GL holds now, to carry scene points to window pixels as
// GL would: a copy taken once for many points.
class WindowProjection {
public:
    // From GL's current modelview, projection and viewport.
    static WindowProjection current();
    // For points already in eye coordinates: GL's current projection and viewport alone.
    static WindowProjection fromEye();

    // The pixels a solid with these corners can touch, `margin` pixels wider on each side: the
    // points are `count` runs of three floats (x, y, z), `stride` floats apart. The whole
    // viewport when a corner lies behind the eye, from where its picture can reach anywhere.
    ScreenBox around(const float* xyz, std::size_t count, std::size_t stride, int margin) const;
    ScreenBox viewport() const {
        return {viewport_[0], viewport_[1], viewport_[0] + viewport_[2], viewport_[1] + viewport_[3]};
    }

private:
    std::array<double, 16> transform_{};  // to clip coordinates, column-major
    std::array<int, 4> viewport_{};
};
