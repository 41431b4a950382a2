// Left-hand poses (22 angles in degrees) and rest position.
#pragma once

#include "Vector.h"

extern const Vector DEFAULT_SHAPE;
extern const Vector CEG_SHAPE;
extern const Vector CFA_SHAPE;
extern const Vector CEA_SHAPE;
extern const Vector EGsB_SHAPE;
extern const Vector DEFAULT_LEFT_POS;
