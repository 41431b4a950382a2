// The clock tests move by hand: the core's own DrivenClock.
#pragma once

#include "Clock.h"
