// A model source as it should be: the model's own headers and the standard library.
#include "Hand.h"
#include "Piano.h"
#include "SongFile.h"
