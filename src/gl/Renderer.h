// Draws a scene into the current GL context: background, camera, lights, keys, the notes coming,
// hands and what goes over them. It keeps what makes frames fast (the key meshes, the pictures'
// textures, a copy of the background, and what the last frame showed) and nothing of the
// piano's: every frame's scene comes from outside.
#pragma once

#include <optional>

#include "Draw.h"
#include "FrameChanges.h"
#include "KeyboardDraw.h"
#include "NoteBarsDraw.h"
#include "Pictures.h"
#include "Resources.h"
#include "SceneLayer.h"
#include "Scene.h"
#include "ScreenBox.h"
#include "ShellOnly.h"
#include "TextFont.h"

// What the last frame drew, for the benchmark and the tests.
struct FrameStats {
    bool whole = true;        // the whole window, as every frame is drawn without a kept frame
    int passes = 0;           // drawings of the scene, each within a box of its own
    double drawnShare = 0;    // of the window's pixels: 1 when whole, 0 when nothing changed; when
                              // every part was drawn over the kept background, the share of the
                              // window in the box around them all, where they were and are
    bool overLayer = false;   // the keys and hands were copied from the kept layer, only the
                              // notes coming and the overlay drawn over them
    std::vector<ScreenBox> changed;  // where the window may differ from the frame before: the
                                     // whole window when drawn whole, nothing when nothing changed
};

class SceneRenderer {
public:
    explicit SceneRenderer(const ResourcePaths& resources);

    // The GL state the scene is drawn in, and the pictures read and uploaded; in the context
    // that will draw, once.
    void initGl(const Scene& first);
    // The window's new size: the viewport and projection. A size of 0 (a minimised window)
    // keeps the last aspect ratio that had one.
    void reshape(int w, int h);
    // One frame into the back buffer, without presenting it. With frames kept, only the places
    // where the scene differs from the last frame's are drawn, over that frame (see keepFrames);
    // when everything but the background differs (the camera, the lights), every part of the
    // scene is drawn and the background only where a part was.
    void draw(const Scene& scene);

    // Whether a frame may draw only what changed since the frame before, over it. Only for a
    // caller whose back buffer keeps the last frame's pixels: nothing else draws into it, and
    // frames are shown by copying it to the window rather than by swapping buffers, after which
    // the back buffer may hold anything. Off at first: every frame is drawn whole.
    void keepFrames(bool keep);
    bool keepsFrames() const { return keepFrames_; }
    // The back buffer no longer holds the last frame (something else drew there): the next
    // frame is drawn whole.
    void forgetFrame();
    const FrameStats& lastFrame() const { return stats_; }

    int width() const { return width_; }
    int height() const { return height_; }
    ScreenBox wholeWindow() const { return {0, 0, width_, height_}; }
    Solids& solids() { return solids_; }
    KeyboardDrawer& keyboard() { return keyboard_; }
    Pictures& pictures() { return pictures_; }
    // The font of the captions and letters, which the help window's text uses too.
    TextFont& font() { return font_; }

private:
    // What a frame's pixels depend on besides the scene: when any of it changes, the kept frame
    // shows something else.
    struct FrameKey {
        int width = 0, height = 0;
        DrawPath path = DrawPath::Fast;
        float tolerance = 0;
        unsigned int pictureLoads = 0;
        bool operator==(const FrameKey& o) const {
            return width == o.width && height == o.height && path == o.path && tolerance == o.tolerance &&
                   pictureLoads == o.pictureLoads;
        }
    };
    // The scene the back buffer shows, and where its parts are (worked out when first needed).
    struct KeptFrame {
        Scene scene;
        std::optional<FrameLayout> layout;
        FrameKey key;
    };

    void updateAspect(int w, int h);
    FrameKey frameKey() const;
    void placeCamera(const Scene& scene);
    void drawChanges(const Scene& scene);
    void drawOverBackground(const Scene& scene);
    bool drawOverLayer(const Scene& scene, const FrameLayout& layout, const std::vector<ScreenBox>& boxes);
    // The scene within box, or the whole window; with a layout, the parts outside the box left
    // out. Of the parts, all or those standing in the scene.
    void drawScene(const Scene& scene, const ScreenBox* box, const FrameLayout* layout, Parts parts = Parts::All);
    // The same without the background: the keys, bars, hands and overlay, or some of them.
    void drawParts(const Scene& scene, const ScreenBox* box, const FrameLayout* layout, Parts parts = Parts::All);
    // Where the scene's parts are under the camera in force; a hand posed as in `before` keeps
    // its place from `was` rather than being worked out again.
    FrameLayout layOut(const Scene& scene, const Scene* before, const FrameLayout* was);

    Solids solids_;
    KeyboardDrawer keyboard_;
    NoteBarsDrawer bars_;
    Pictures pictures_;
    TextFont font_;
    int width_ = 1200, height_ = 1000;  // the window, in pixels
    double aspectRatio_ = 1200.0 / 1000.0;  // of the last size that had one
    bool keepFrames_ = false;
    std::optional<KeptFrame> kept_;
    SceneLayer layer_;
    bool layerKept_ = false;  // the layer shows the kept frame's scene, without what goes over it
    FrameStats stats_;
};
