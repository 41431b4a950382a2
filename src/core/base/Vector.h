// Vector: the one numeric value type of the scene. A run of floats whose length is chosen
// at construction (3, 4 and 22 occur); arithmetic between unequal lengths cuts or pads the
// right operand to the left one's length, so a result always has the dimension of its left
// operand. The floats are held in the value itself, so vectors copy without allocating and
// the pose tables can be built by the compiler.
#pragma once

#include <array>
#include <cassert>

class Vector {
public:
    static constexpr int CAPACITY = 22;  // the longest: a hand's 22 angles

    constexpr explicit Vector(int dim) : d(dim), v{} { assert(dim >= 0 && dim <= CAPACITY); }
    constexpr Vector(int dim, const float* values) : d(dim), v{} {
        assert(dim >= 0 && dim <= CAPACITY);
        for (int i = 0; i < d; ++i) v[i] = values[i];
    }
    constexpr Vector(std::array<float, 3> values) : Vector(3, values.data()) {}
    constexpr Vector(std::array<float, 4> values) : Vector(4, values.data()) {}
    constexpr Vector(std::array<float, 22> values) : Vector(22, values.data()) {}

    constexpr float& operator[](int index) {
        assert(index >= 0 && index < d);
        return v[index];
    }
    constexpr const float& operator[](int index) const {
        assert(index >= 0 && index < d);
        return v[index];
    }

    constexpr int getDim() const { return d; }
    // The floats themselves, for GL calls taking a pointer; valid while the vector lives.
    const float* getData() const { return v.data(); }
    float* getData() { return v.data(); }

    // Copies vec[fromIndex .. fromIndex+num) into this[intoIndex ..]; both ranges must lie
    // within their vectors.
    constexpr void copyData(const Vector& vec, int num, int fromIndex, int intoIndex) {
        assert(num >= 0 && fromIndex >= 0 && intoIndex >= 0);
        assert(fromIndex + num <= vec.d && intoIndex + num <= d);
        for (int i = 0; i < num; ++i) v[intoIndex + i] = vec.v[fromIndex + i];
    }
    // A dim-long vector holding vec's leading elements, zero-padded. Does not read *this.
    constexpr Vector makeDim(int dim, const Vector& vec) const {
        Vector result(dim);
        const int n = dim < vec.d ? dim : vec.d;
        for (int i = 0; i < n; ++i) result.v[i] = vec.v[i];
        return result;
    }

    Vector operator+(const Vector& vec) const;
    Vector& operator+=(const Vector& vec);
    Vector operator-(const Vector& vec) const;
    Vector& operator-=(const Vector& vec);
    Vector operator*(float scalar) const;
    Vector& operator*=(float scalar);
    // Divisors of magnitude kFloatZero or less (and NaN) leave the copy unchanged.
    Vector operator/(float scalar) const;
    Vector& operator/=(float scalar);

    static Vector interpolate(const Vector& v1, const Vector& v2, float time);

private:
    int d;
    std::array<float, CAPACITY> v;
};

// The smallest divisor magnitude that division acts on.
constexpr float kFloatZero = 0.0001f;
