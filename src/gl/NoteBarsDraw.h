// Drawing the notes coming: each bar a box floating over its key, lit as the keys are, that
// travels from the far side of the keyboard to the key's front edge and sinks into it there.
#pragma once

#include <vector>

#include "NotesAhead.h"
#include "Scene.h"
#include "ScreenBox.h"
#include "ShellOnly.h"
#include "modelDims.h"

// Scene units a bar travels in a second of the song's written time.
constexpr float BAR_SPEED = 2.5f;
// Where bars come into view: NOTES_AHEAD_SECONDS behind the white keys' front edge.
constexpr float BAR_FAR_Z = KEYBOARD_HEIGHT / 2 - static_cast<float>(NOTES_AHEAD_SECONDS) * BAR_SPEED;
// Bars float just over the black keys' tops (y 0.5), so none cuts through a key; a white key's
// bar is narrower than the part of the key between its black neighbours, a black key's
// narrower than the key, so bars of neighbouring keys never touch.
constexpr float BAR_BOTTOM = 0.55f;
constexpr float BAR_HEIGHT = 0.12f;
constexpr float WHITE_BAR_WIDTH = 0.38f;
constexpr float BLACK_BAR_WIDTH = 0.18f;

// Every window pixel the bar can touch where it stands in the scene; empty when none of it is
// in view.
ScreenBox barBox(const Scene& scene, const NoteBar& bar, const WindowProjection& camera);

class NoteBarsDrawer {
public:
    // The scene's bars in the light GL holds now, under the camera in force; with `only`, the
    // bars it marks (one mark a bar, in the scene's order) and no others.
    void draw(const Scene& scene, const std::vector<bool>* only = nullptr);

private:
    std::vector<float> vertices_;  // GL_N3F_V3F triangles, kept so a frame allocates nothing
};
