#include "Piano.h"
#include "Draw.h"
