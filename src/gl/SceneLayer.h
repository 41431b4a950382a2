// The scene as it stands without what passes over it (the notes coming, and the text and marks
// drawn flat on top), kept with its depth in a framebuffer object of the window's size: while
// only the bars travel, a frame copies it back under where they were and are and draws the
// bars over it, instead of drawing the keys and hands there again.
#pragma once

#include "ScreenBox.h"

class SceneLayer {
public:
    SceneLayer() = default;
    SceneLayer(const SceneLayer&) = delete;
    SceneLayer& operator=(const SceneLayer&) = delete;
    ~SceneLayer();

    // Whether the layer can be used in the current context at w x h, made or remade as needed:
    // false where GL has no framebuffer objects, or where copying depth to the window failed
    // once.
    bool ready(int w, int h);
    // Its memory given back (twice the window's pixels, 9.6 MB at the first size), while no
    // bars need it; ready() makes it again.
    void letGo();
    // Draws go into the layer, or back to the window.
    void drawIntoLayer();
    void drawIntoWindow();
    // Drawing is cut to box, of the window's pixels, in the window or the layer.
    void scissor(const ScreenBox& box) const;
    // The layer's colour and depth within box to the same place in the window's back buffer.
    // False, with nothing copied, where the window's depth is of another kind than the layer's:
    // the layer is then never used again.
    bool copyToWindow(const ScreenBox& box);

private:
    struct Gl;
    void release();
    bool upsideDown() const;

    Gl* gl_ = nullptr;   // the entry points, once found
    bool unusable_ = false;
    void* context_ = nullptr;  // the GLX context the objects belong to
    unsigned int framebuffer_ = 0, colour_ = 0, depth_ = 0;
    int width_ = 0, height_ = 0;              // the layer's, the window's size
    int askedWidth_ = 0, askedHeight_ = 0;    // the scene's, in the window's lower left
    bool checked_ = false;  // a copy to the window has been tried
    bool inLayer_ = false;  // drawing goes into the layer
};
