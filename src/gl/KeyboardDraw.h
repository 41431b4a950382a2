// What the fast keyboard drawing did in the last frame, for the benchmark and the tests.
#pragma once

#include "PianoKey.h"

struct KeyboardDrawStats {
    int bodyQuads = 0;    // quads sent for the 25 key bodies
    int keysRebuilt = 0;  // keys whose mesh had to be made again (view, light, press or colour changed)
    int facesMerged = 0;  // faces of those whose quads were merged anew, not kept from before
};

KeyboardDrawStats lastKeyboardDrawStats();

// Draws a key squashed from the top by its press; res is the cuboid grid step.
void drawKey(const PianoKey& key, float res);

// How far (in 0..1 colour units) a merged quad may stray from the fine grid it replaces.
// Below half a step of an 8-bit channel, so a pixel moves by at most one step.
extern float keyShadeTolerance;
