// A core source including a header of the drawing by name: must not compile.
#include "Piano.h"
#include "Draw.h"
