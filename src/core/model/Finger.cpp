// A finger's pose.
#include "Finger.h"

Finger::Finger() : isThumb(false), shape(4) {}

void Finger::setDOFsv(const Vector& v) { shape.copyData(v, 4, 0, 0); }
