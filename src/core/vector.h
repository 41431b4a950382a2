// Vector: the one numeric value type of the scene. A run of floats whose length is chosen
// at construction; arithmetic between unequal lengths cuts or pads the right operand to the
// left one's length, so a result always has the dimension of its left operand.
#pragma once

#include <array>

class Vector {
public:
    explicit Vector(int dim);
    Vector(const Vector& vec);
    Vector(int dim, const float* values);
    Vector(std::array<float, 3> values);
    Vector(std::array<float, 4> values);
    Vector(std::array<float, 22> values);
    virtual ~Vector();

    Vector& operator=(const Vector& vec);

    float& operator[](int index);
    const float& operator[](int index) const;

    int getDim() const { return d; }
    // The internal array itself, for GL calls taking a float pointer. Valid until the
    // vector is assigned one of another dimension or destroyed.
    float* getData() const { return v; }

    // Copies vec[fromIndex .. fromIndex+num) into this[intoIndex ..]; no range checks.
    void copyData(const Vector& vec, int num, int fromIndex, int intoIndex);
    // A dim-long vector holding vec's leading elements, zero-padded. Does not read *this.
    Vector makeDim(int dim, const Vector& vec) const;

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
    float* v;
};

// The smallest divisor magnitude that division acts on.
const float kFloatZero = 0.0001f;
