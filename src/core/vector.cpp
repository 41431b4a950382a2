// Vector arithmetic. Every result is a fresh heap array; only assignment between equal
// dimensions reuses the target's storage.
#include "vector.h"

#include <cassert>
#include <cmath>

Vector::Vector(int dim) : d(dim), v(new float[dim]) {
    for (int i = 0; i < d; ++i) v[i] = 0.0f;
}

Vector::Vector(const Vector& vec) : d(vec.d), v(new float[vec.d]) {
    for (int i = 0; i < d; ++i) v[i] = vec.v[i];
}

Vector::Vector(int dim, const float* values) : d(dim), v(new float[dim]) {
    for (int i = 0; i < d; ++i) v[i] = values[i];
}

Vector::Vector(std::array<float, 3> values) : Vector(3, values.data()) {}
Vector::Vector(std::array<float, 4> values) : Vector(4, values.data()) {}
Vector::Vector(std::array<float, 22> values) : Vector(22, values.data()) {}

Vector::~Vector() {
    if (v != nullptr) delete[] v;
}

Vector& Vector::operator=(const Vector& vec) {
    if (this == &vec) return *this;
    if (d != vec.d) {
        d = vec.d;
        delete[] v;
        v = new float[d];
    }
    for (int i = 0; i < d; ++i) v[i] = vec.v[i];
    return *this;
}

float& Vector::operator[](int index) {
    assert(index >= 0 && index < d);
    return v[index];
}

const float& Vector::operator[](int index) const {
    assert(index >= 0 && index < d);
    return v[index];
}

void Vector::copyData(const Vector& vec, int num, int fromIndex, int intoIndex) {
    for (int i = 0; i < num; ++i) v[intoIndex + i] = vec.v[fromIndex + i];
}

Vector Vector::makeDim(int dim, const Vector& vec) const {
    Vector result(dim);
    const int n = dim < vec.d ? dim : vec.d;
    for (int i = 0; i < n; ++i) result.v[i] = vec.v[i];
    return result;
}

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
