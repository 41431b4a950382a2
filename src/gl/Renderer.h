// Draws a scene into the current GL context: background, camera, lights, keys, hands and what
// goes over them. It keeps what makes frames fast (the key meshes, the pictures' textures and a
// copy of the background) and nothing of the piano's: every frame's scene comes from outside.
#pragma once

#include "Draw.h"
#include "KeyboardDraw.h"
#include "Pictures.h"
#include "Resources.h"
#include "Scene.h"
#include "ShellOnly.h"
#include "TextFont.h"

class SceneRenderer {
public:
    explicit SceneRenderer(const ResourcePaths& resources);

    // The GL state the scene is drawn in, and the pictures read and uploaded; in the context
    // that will draw, once.
    void initGl(const Scene& first);
    // The window's new size: the viewport and projection. A size of 0 (a minimised window)
    // keeps the last aspect ratio that had one.
    void reshape(int w, int h);
    // One frame into the back buffer, without presenting it.
    void draw(const Scene& scene);

    int width() const { return width_; }
    int height() const { return height_; }
    Solids& solids() { return solids_; }
    KeyboardDrawer& keyboard() { return keyboard_; }
    Pictures& pictures() { return pictures_; }
    // The font of the captions and letters, which the help window's text uses too.
    TextFont& font() { return font_; }

private:
    void updateAspect(int w, int h);

    Solids solids_;
    KeyboardDrawer keyboard_;
    Pictures pictures_;
    TextFont font_;
    int width_ = 1200, height_ = 1000;  // the window, in pixels
    double aspectRatio_ = 1200.0 / 1000.0;  // of the last size that had one
};
