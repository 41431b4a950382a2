// What a new scene changes in the window, against the scene the kept frame shows: nothing, the
// places where parts of it differ, or everything. Parts with a place on screen (a key, a hand,
// a bar of the notes coming, a label, the caption, the recording mark) are drawn again where
// they were and where they are; anything else that differs (the camera, the lights, a part the
// scene gains later) draws every part again, and a new background the whole window.
#pragma once

#include <array>
#include <vector>

#include "Overlay.h"
#include "Scene.h"
#include "ScreenBox.h"
#include "ShellOnly.h"

// A scene's parts by when they are drawn: those standing in it (the keys and the hands, over
// the background), those drawn over them last (the bars of the notes coming, and the overlay),
// or all of them.
enum class Parts { All, Standing, Over };

// A bar of the notes coming, and where it is drawn.
struct PlacedBar {
    NoteBar bar;
    ScreenBox box;
};

// Where each part of a scene with a place on screen is drawn, under one camera and window.
struct FrameLayout {
    std::array<ScreenBox, NUM_KEYS> keys;
    ScreenBox leftHand, rightHand;
    std::vector<PlacedBar> bars;  // in the scene's order
    std::vector<OverlayItem> overlay;
};

// Whether the two scenes differ in anything that is not one of the parts a FrameLayout places:
// then the whole window is to be drawn again.
bool changesEverywhere(const Scene& before, const Scene& now);

// Whether the two scenes show the same background, as bright: then a frame that changes
// everywhere else still leaves it as it was wherever no part of the scene was or is.
bool sameBackground(const Scene& before, const Scene& now);
// Whether the two scenes are seen from the same place: then the parts that did not change
// stand where they stood.
bool sameView(const Scene& before, const Scene& now);

// The boxes to draw again when the parts placed by the layouts are all that differ: each part
// that changed (of those named) where it was and where it is now. Unchanged parts add nothing.
std::vector<ScreenBox> changedBoxes(const Scene& before, const FrameLayout& was, const Scene& now,
                                    const FrameLayout& is, Parts parts = Parts::All);

// One box around every part both layouts place, cut to a window of w x h.
ScreenBox aroundAll(const FrameLayout& a, const FrameLayout& b, int w, int h);
// Every pixel of a window of w x h that some part the layout places reaches, as boxes that do
// not overlap, bottom to top.
std::vector<ScreenBox> coveredBy(const FrameLayout& layout, int w, int h);

// The boxes, cut to a window of w x h, joined wherever drawing their union costs no more than
// drawing them apart, a drawing of its own costing as much as `passPixels` pixels more.
std::vector<ScreenBox> joinBoxes(std::vector<ScreenBox> boxes, int w, int h, long passPixels);
