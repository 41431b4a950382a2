#pragma once

#include "PianoKey.h"

class BlackKey : public PianoKey {
public:
    explicit BlackKey(int n);  // n = 0..9 from the left
    // Centres black key n on its boundary between two white keys, skipping E-F and B-C.
    void calcPos(int n);
};
