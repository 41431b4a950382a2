// Vector arithmetic.
#include "Vector.h"

#include <cmath>

Vector Vector::operator+(const Vector& vec) const {
    if (vec.d != d) return *this + makeDim(d, vec);
    Vector result(d);
    for (int i = 0; i < d; ++i) result.v[i] = v[i] + vec.v[i];
    return result;
}

Vector& Vector::operator+=(const Vector& vec) {
    *this = *this + vec;
    return *this;
}

Vector Vector::operator-(const Vector& vec) const {
    if (vec.d != d) return *this - makeDim(d, vec);
    Vector result(d);
    for (int i = 0; i < d; ++i) result.v[i] = v[i] - vec.v[i];
    return result;
}

Vector& Vector::operator-=(const Vector& vec) {
    *this = *this - vec;
    return *this;
}

Vector Vector::operator*(float scalar) const {
    Vector result(*this);
    for (int i = 0; i < d; ++i) result.v[i] *= scalar;
    return result;
}

Vector& Vector::operator*=(float scalar) {
    *this = *this * scalar;
    return *this;
}

Vector Vector::operator/(float scalar) const {
    Vector result(*this);
    // Written so that NaN fails the test too.
    if (std::fabs(scalar) > kFloatZero) {
        for (int i = 0; i < d; ++i) result.v[i] /= scalar;
    }
    return result;
}

Vector& Vector::operator/=(float scalar) {
    *this = *this / scalar;
    return *this;
}

Vector Vector::interpolate(const Vector& v1, const Vector& v2, float time) {
    return v1 + (v2 - v1) * time;
}
