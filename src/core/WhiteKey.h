#pragma once

#include "PianoKey.h"

class WhiteKey : public PianoKey {
public:
    explicit WhiteKey(int n);  // n = 0..14 from the left
};
