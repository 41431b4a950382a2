#include "Piano.h"
#include <GL/freeglut.h>
