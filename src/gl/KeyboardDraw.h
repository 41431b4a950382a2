// Drawing the keys: bodies lit in their material or the glow, outlines as lines on top. The
// fast path sends each body from a cached mesh that is made again only when what it depends on
// changes (the view, the lights, the key's press or its material); when only the view has
// changed, only the faces a highlight can reach are merged again.
#pragma once

#include <bitset>
#include <memory>

#include "Draw.h"
#include "PianoKey.h"
#include "Scene.h"
#include "ScreenBox.h"
#include "ShellOnly.h"

// Some of the keys, by index.
using KeySet = std::bitset<NUM_KEYS>;

// What the fast keyboard drawing did in the last frame, for the benchmark and the tests.
struct KeyboardDrawStats {
    int bodyQuads = 0;    // quads sent for the 25 key bodies
    int keysRebuilt = 0;  // keys whose mesh had to be made again (view, light, press or colour changed)
    int facesMerged = 0;  // faces of those whose quads were merged anew, not kept from before
};

// Draws a key squashed from the top by its press; res is the cuboid grid step.
void drawKey(const PianoKey& key, float res);
// Every window pixel the key's body and outline can touch, as it stands.
ScreenBox keyBox(const PianoKey& key, const WindowProjection& camera);

class KeyboardDrawer {
public:
    KeyboardDrawer();
    ~KeyboardDrawer();
    KeyboardDrawer(const KeyboardDrawer&) = delete;
    KeyboardDrawer& operator=(const KeyboardDrawer&) = delete;

    // The scene's keys in the light GL holds now, the fast way when solids says so; only those
    // in `only` when given. A key's drawing does not depend on which others are drawn.
    void draw(const Scene& scene, const Solids& solids, const KeySet* only = nullptr);
    KeyboardDrawStats lastStats() const { return stats_; }

    // How far (in 0..1 colour units) a merged quad may stray from the fine grid it replaces.
    // Below half a step of an 8-bit channel, so a pixel moves by at most one step.
    float tolerance = 0.45f / 255.0f;

private:
    void drawImmediately(const Scene& scene, const KeySet& keys);
    void drawCached(const Scene& scene, const KeySet& keys);

    struct Cache;
    std::unique_ptr<Cache> cache_;
    KeyboardDrawStats stats_;
};
