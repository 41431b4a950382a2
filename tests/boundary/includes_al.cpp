#include "Piano.h"
#include <AL/al.h>
#include <AL/alc.h>
