// A core source including OpenAL: must not compile.
#include "Piano.h"
#include <AL/al.h>
#include <AL/alc.h>
