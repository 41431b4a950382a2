// What is drawn over the scene: the letters on the keys, the letter to play next when playing
// along, the caption line and the mark of a recording. Nothing at all when none of them is
// on, so the picture is then the scene alone.
#pragma once

#include "Scene.h"
#include "ShellOnly.h"

void drawOverlay(const Scene& scene);
