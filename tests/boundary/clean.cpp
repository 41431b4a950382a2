// A core source as it should be: the core's own headers and the standard library.
#include "Hand.h"
#include "Piano.h"
#include "SongFile.h"
