// The small vector and matrix arithmetic the drawing does on the CPU: three-float vectors and
// GL's column-major 4 x 4 matrices, with the operations in the order GL itself performs them
// so that CPU copies of its transforms land on the same floats.
#pragma once

#include "ShellOnly.h"

#include <array>
#include <cmath>

using Vec3 = std::array<float, 3>;
using Matrix4 = std::array<float, 16>;  // column-major, as GL stores it

inline float dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline float length(const Vec3& a) { return std::sqrt(dot(a, a)); }
inline Vec3 scaled(const Vec3& a, float k) { return {a[0] * k, a[1] * k, a[2] * k}; }
inline Vec3 sum(const Vec3& a, const Vec3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
inline Vec3 difference(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

// The upper-left 3 x 3 of a column-major matrix (16 floats), inverted into inv, row-major:
// inv[row * 3 + col]. False, and inv untouched, when it is singular.
inline bool invert3(const float* m, float inv[9]) {
    const float a = m[0], b = m[4], c = m[8];
    const float d = m[1], e = m[5], f = m[9];
    const float g = m[2], h = m[6], k = m[10];
    const float A = e * k - f * h, B = -(d * k - f * g), C = d * h - e * g;
    const float det = a * A + b * B + c * C;
    if (det == 0) return false;
    const float r = 1.0f / det;
    inv[0] = A * r, inv[1] = -(b * k - c * h) * r, inv[2] = (b * f - c * e) * r;
    inv[3] = B * r, inv[4] = (a * k - c * g) * r, inv[5] = -(a * f - c * d) * r;
    inv[6] = C * r, inv[7] = -(a * h - b * g) * r, inv[8] = (a * e - b * d) * r;
    return true;
}

// m times a translation.
inline Matrix4 translated(const Matrix4& m, float x, float y, float z) {
    Matrix4 r = m;
    for (int row = 0; row < 4; ++row) r[12 + row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
    return r;
}

inline Vec3 transformPoint(const Matrix4& m, const Vec3& p) {
    Vec3 r;
    for (int row = 0; row < 3; ++row) r[row] = m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2] + m[12 + row];
    return r;
}

// The eye's position in the coordinates that m carries to the eye.
inline Vec3 eyeInModel(const Matrix4& m) {
    float inv[9];
    if (!invert3(m.data(), inv)) return {0, 0, 0};
    const Vec3 t{m[12], m[13], m[14]};
    return {-(inv[0] * t[0] + inv[1] * t[1] + inv[2] * t[2]), -(inv[3] * t[0] + inv[4] * t[1] + inv[5] * t[2]),
            -(inv[6] * t[0] + inv[7] * t[1] + inv[8] * t[2])};
}
