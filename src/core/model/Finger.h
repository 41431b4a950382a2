// One finger of a hand: a spread and up to three hinge angles.
#pragma once

#include "Vector.h"

class Finger {
public:
    Finger();

    void setDOFsv(const Vector& v);  // the first 4 elements of v

    bool isThumb;
    Vector shape;  // spread, joint 1, joint 2, joint 3 (degrees)
};
