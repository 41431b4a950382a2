// What is drawn over the scene: the letters on the keys, the letter to play next when playing
// along, the caption line and the mark of a recording, the letters as the user's keyboard
// layout names their keys. Nothing at all when none of them is on, so the picture is then the
// scene alone.
#pragma once

#include <string>
#include <vector>

#include "Scene.h"
#include "ScreenBox.h"
#include "ShellOnly.h"
#include "TextFont.h"

// One thing drawn flat over the scene, in window pixels: what it shows, where, and every pixel
// its drawing can touch. A frame that draws only what changed redraws an item only within its
// box, so the box must hold all of it.
struct OverlayItem {
    enum class Kind { Label, Caption, RecordingMark };
    Kind kind = Kind::Label;
    float x = 0, y = 0;  // a label's centre, the caption's start on its baseline, the mark's centre
    std::string text;    // UTF-8
    bool dark = false;   // a label: dark text on a light box (a white key's), or the other way round
    bool hint = false;   // a label: the letter to press next when playing along
    int pixels = 0;      // the text's size, which grows with the window
    float width = 0;     // the text's width in pixels
    ScreenBox box;

    // Drawn the same, in the same place.
    bool operator==(const OverlayItem& o) const {
        return kind == o.kind && x == o.x && y == o.y && text == o.text && dark == o.dark && hint == o.hint &&
               pixels == o.pixels;
    }
    bool operator!=(const OverlayItem& o) const { return !(*this == o); }
};

// The scene's overlay as the camera and viewport GL holds now place it, in drawing order; text
// grows with the window's height beyond its first 1000 pixels.
std::vector<OverlayItem> layOutOverlay(const Scene& scene, TextFont& font);
void drawOverlay(const std::vector<OverlayItem>& items, TextFont& font);
// Both: lays out the scene's overlay and draws it.
void drawOverlay(const Scene& scene, TextFont& font);
