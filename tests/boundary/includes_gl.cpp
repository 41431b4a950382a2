#include "Piano.h"
#include <GL/gl.h>
