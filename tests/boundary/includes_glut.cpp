// A core source including GLUT: must not compile.
#include "Piano.h"
#include <GL/freeglut.h>
