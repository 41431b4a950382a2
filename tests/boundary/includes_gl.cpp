// A core source including GL: must not compile.
#include "Piano.h"
#include <GL/gl.h>
