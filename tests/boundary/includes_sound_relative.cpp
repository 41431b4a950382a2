// A core source reaching the sound layer by a relative path, past the include path.
#include "Piano.h"
#include "../../src/audio/OpenAlSound.h"
