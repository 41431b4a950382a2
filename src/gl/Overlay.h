// What is drawn over the scene: the letters on the keys, the letter to play next when playing
// along, the caption line and the mark of a recording, the letters as the user's keyboard
// layout names their keys. Nothing at all when none of them is on, so the picture is then the
// scene alone.
#pragma once

#include "Scene.h"
#include "ShellOnly.h"
#include "TextFont.h"

// Text grows with the window's height beyond its first 1000 pixels.
void drawOverlay(const Scene& scene, TextFont& font);
