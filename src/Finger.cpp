// A finger's pose. Its drawing lives in HandDraw.cpp so this file stays free of GL.
#include "Finger.h"

Finger::Finger() : isThumb(false), shape(4) {}

void Finger::setDOFsv(const Vector& v) { shape.copyData(v, 4, 0, 0); }
