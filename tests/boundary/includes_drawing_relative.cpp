// A core source reaching the drawing by a relative path, past the include path.
#include "Piano.h"
#include "../../src/gl/Draw.h"
