// What is drawn over the scene: the letters on the keys and the caption line. Nothing at all
// when neither is on, so the picture is then the scene alone.
#pragma once

void drawOverlay();
