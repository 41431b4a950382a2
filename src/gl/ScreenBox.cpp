// Window rectangles, and scene points carried to the window on the CPU.
#include "ScreenBox.h"

#include <GL/gl.h>

#include <cmath>
#include <limits>

ScreenBox boxAround(float left, float bottom, float right, float top, int margin) {
    return {static_cast<int>(std::floor(left)) - margin, static_cast<int>(std::floor(bottom)) - margin,
            static_cast<int>(std::ceil(right)) + margin, static_cast<int>(std::ceil(top)) + margin};
}

namespace {
std::array<double, 16> product(const std::array<double, 16>& a, const std::array<double, 16>& b) {
    std::array<double, 16> r{};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row)
            for (int k = 0; k < 4; ++k) r[col * 4 + row] += a[k * 4 + row] * b[col * 4 + k];
    return r;
}
}  // namespace

WindowProjection WindowProjection::current() {
    WindowProjection p = fromEye();
    std::array<double, 16> modelview{};
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview.data());
    p.transform_ = product(p.transform_, modelview);
    return p;
}

WindowProjection WindowProjection::fromEye() {
    WindowProjection p;
    glGetDoublev(GL_PROJECTION_MATRIX, p.transform_.data());
    glGetIntegerv(GL_VIEWPORT, p.viewport_.data());
    return p;
}

ScreenBox WindowProjection::around(const float* xyz, std::size_t count, std::size_t stride, int margin) const {
    double left = std::numeric_limits<double>::max(), bottom = left;
    double right = -left, top = -left;
    const std::array<double, 16>& m = transform_;
    for (std::size_t i = 0; i < count; ++i, xyz += stride) {
        const double x = xyz[0], y = xyz[1], z = xyz[2];
        const double w = m[3] * x + m[7] * y + m[11] * z + m[15];
        if (!(w > 1e-6)) return viewport();
        const double cx = (m[0] * x + m[4] * y + m[8] * z + m[12]) / w;
        const double cy = (m[1] * x + m[5] * y + m[9] * z + m[13]) / w;
        const double wx = viewport_[0] + (cx + 1) * 0.5 * viewport_[2];
        const double wy = viewport_[1] + (cy + 1) * 0.5 * viewport_[3];
        left = std::min(left, wx);
        right = std::max(right, wx);
        bottom = std::min(bottom, wy);
        top = std::max(top, wy);
    }
    if (count == 0) return {};
    // Far outside the window the box is only cut down to it afterwards; keep it inside int.
    const double limit = 1e7;
    return boxAround(static_cast<float>(std::clamp(left, -limit, limit)), static_cast<float>(std::clamp(bottom, -limit, limit)),
                     static_cast<float>(std::clamp(right, -limit, limit)), static_cast<float>(std::clamp(top, -limit, limit)),
                     margin);
}
