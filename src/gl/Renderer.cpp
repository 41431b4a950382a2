// One frame of a scene: background, camera, lights, keys, the notes coming, hands and overlay, in
// that order; the whole window, or over the frame before only where the scene changed.
#include "Renderer.h"

#include <GL/glu.h>

#include "HandDraw.h"
#include "Lighting.h"
#include "Overlay.h"
#include "interface.h"
#include "lights.h"

namespace {
// A drawing of the scene costs about as much as this many pixels drawn besides (the keys' and
// hands' vertices, the state): boxes nearer than that are drawn as one.
constexpr long PASS_PIXELS = 20000;
// Changes over more of the window than this are drawn as one whole frame.
constexpr double WHOLE_SHARE = 0.7;
}  // namespace

SceneRenderer::SceneRenderer(const ResourcePaths& resources) : pictures_(resources) {}

void SceneRenderer::initGl(const Scene& first) {
    glClearColor(clearColour[0], clearColour[1], clearColour[2], 1.0f);
    glEnable(GL_DEPTH_TEST);
    glLineWidth(2.0f);
    pictures_.load(first.activeHandTexture, first.activeBackground);
    kept_.reset();
}

void SceneRenderer::updateAspect(int w, int h) {
    if (w > 0 && h > 0) aspectRatio_ = static_cast<double>(w) / static_cast<double>(h);
}

void SceneRenderer::reshape(int w, int h) {
    width_ = w;
    height_ = h;
    updateAspect(w, h);
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(CAMERA_FOVY, aspectRatio_, NEAR_CLIP, FAR_CLIP);
}

void SceneRenderer::keepFrames(bool keep) {
    keepFrames_ = keep;
    kept_.reset();
    layerKept_ = false;
}

void SceneRenderer::forgetFrame() {
    kept_.reset();
    layerKept_ = false;
}

SceneRenderer::FrameKey SceneRenderer::frameKey() const {
    return {width_, height_, solids_.path(), keyboard_.tolerance, pictures_.loads()};
}

void SceneRenderer::draw(const Scene& scene) {
    const FrameKey key = frameKey();
    // Feedback and selection draw nothing to keep; a minimised window has nothing to keep.
    const bool keep = keepFrames_ && solids_.fast() && width_ > 0 && height_ > 0;
    if (keep && kept_ && kept_->key == key) {
        if (!changesEverywhere(kept_->scene, scene)) {
            drawChanges(scene);
            return;
        }
        if (sameBackground(kept_->scene, scene)) {
            drawOverBackground(scene);
            return;
        }
    }
    drawScene(scene, nullptr, nullptr);
    stats_ = FrameStats{true, 1, 1.0, false, {wholeWindow()}};
    layerKept_ = false;
    if (keep)
        kept_ = KeptFrame{scene, std::nullopt, key};
    else
        kept_.reset();
}

void SceneRenderer::drawChanges(const Scene& scene) {
    placeCamera(scene);
    KeptFrame& kept = *kept_;
    if (!kept.layout) kept.layout = layOut(kept.scene, nullptr, nullptr);
    FrameLayout layout = layOut(scene, &kept.scene, &*kept.layout);
    const std::vector<ScreenBox> boxes =
        joinBoxes(changedBoxes(kept.scene, *kept.layout, scene, layout), width_, height_, PASS_PIXELS);
    long drawn = 0;
    for (const ScreenBox& box : boxes) drawn += box.area();
    const double window = static_cast<double>(width_) * height_;
    if (boxes.empty()) {
        stats_ = FrameStats{false, 0, 0.0, false, {}};
    } else if (static_cast<double>(drawn) > WHOLE_SHARE * window) {
        drawScene(scene, nullptr, &layout);
        stats_ = FrameStats{true, 1, 1.0, false, {wholeWindow()}};
        layerKept_ = false;
    } else if (drawOverLayer(scene, layout, boxes)) {
        stats_ = FrameStats{false, static_cast<int>(boxes.size()), static_cast<double>(drawn) / window, true, boxes};
    } else {
        for (const ScreenBox& box : boxes) drawScene(scene, &box, &layout);
        stats_ = FrameStats{false, static_cast<int>(boxes.size()), static_cast<double>(drawn) / window, false, boxes};
        layerKept_ = false;
    }
    kept.scene = scene;
    kept.layout = std::move(layout);
}

// The notes coming travel every frame over keys and hands that mostly stand still, and drawing
// those again under every bar's old and new place cost more than half of such a frame. Kept
// apart without the bars, they are copied back (colour and depth, so that a hand in front of a
// bar still hides it) and only the bars and the overlay drawn over them; the layer itself is
// drawn again only where keys or hands changed. False, with nothing drawn, where there are no
// bars or no layer: the frame is drawn box by box as before.
bool SceneRenderer::drawOverLayer(const Scene& scene, const FrameLayout& layout, const std::vector<ScreenBox>& boxes) {
    KeptFrame& kept = *kept_;
    if (scene.bars.empty() && kept.scene.bars.empty()) {
        layer_.letGo();
        return false;
    }
    if (!layer_.ready(width_, height_)) return false;
    layer_.drawIntoLayer();
    pictures_.drawIntoWindow(false);
    if (!layerKept_) {
        // A frame drawn otherwise since: the layer is drawn whole once.
        drawScene(scene, nullptr, nullptr, Parts::Standing);
    } else {
        for (const ScreenBox& box :
             joinBoxes(changedBoxes(kept.scene, *kept.layout, scene, layout, Parts::Standing), width_, height_, PASS_PIXELS))
            drawScene(scene, &box, &layout, Parts::Standing);
    }
    layer_.drawIntoWindow();
    pictures_.drawIntoWindow(true);
    layerKept_ = true;
    for (const ScreenBox& box : boxes) {
        if (!layer_.copyToWindow(box)) {  // only ever the first copy
            layerKept_ = false;
            return false;
        }
        glEnable(GL_SCISSOR_TEST);
        layer_.scissor(box);
        drawParts(scene, &box, &layout, Parts::Over);
        glDisable(GL_SCISSOR_TEST);
    }
    return true;
}

// The background costs a tenth of a turning camera's frame, drawn from its copy over the box
// around the parts, and while it stays the same, the kept frame shows it already wherever no
// part of the scene was: it is drawn again only where one was, behind the parts now there, or,
// until it has been copied, in one box around all of them where they were and where they are.
void SceneRenderer::drawOverBackground(const Scene& scene) {
    KeptFrame& kept = *kept_;
    if (!kept.layout) {
        placeCamera(kept.scene);
        kept.layout = layOut(kept.scene, nullptr, nullptr);
    }
    placeCamera(scene);
    FrameLayout layout = layOut(scene, sameView(kept.scene, scene) ? &kept.scene : nullptr, &*kept.layout);
    const ScreenBox all = aroundAll(*kept.layout, layout, width_, height_);
    // Unscissored, the depth clear is llvmpipe's cheap one; the colour needs none, the
    // background covering the box.
    glClear(GL_DEPTH_BUFFER_BIT);
    bool inBox = true;
    if (solids_.fast() && pictures_.hasCopyOf(scene.activeBackground, scene.lights.background_intensity)) {
        // The parts first, and the background behind them only where one was and none is now:
        // elsewhere the kept frame shows it already. The overlay is blended over the
        // background, so it comes last.
        drawParts(scene, nullptr, &layout, Parts::Standing);
        pictures_.drawCopyBehind(coveredBy(*kept.layout, width_, height_));
        drawParts(scene, nullptr, &layout, Parts::Over);
    } else {
        // The first frame after the background changed draws it whole and takes the copy; a
        // black one (concert mode) is a clear, no dearer whole.
        inBox = pictures_.drawBackground(scene.activeBackground, scene.lights.background_intensity, solids_.fast(), &all);
        drawParts(scene, nullptr, &layout);
    }
    layerKept_ = false;
    // Parts all out of the window, before and now, change nothing in it.
    std::vector<ScreenBox> changed;
    if (!all.empty()) changed.push_back(all);
    stats_ = inBox ? FrameStats{false, 1, static_cast<double>(all.area()) / (static_cast<double>(width_) * height_),
                                false, changed}
                   : FrameStats{true, 1, 1.0, false, {wholeWindow()}};
    kept.scene = scene;
    kept.layout = std::move(layout);
}

void SceneRenderer::placeCamera(const Scene& scene) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    updateAspect(width_, height_);
    gluPerspective(CAMERA_FOVY, aspectRatio_, NEAR_CLIP, FAR_CLIP);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const CameraState& camera = scene.camera;
    glTranslatef(camera.position[0], camera.position[1], camera.position[2]);
    glRotatef(camera.rotation[0], 1, 0, 0);
    glRotatef(camera.rotation[1], 0, 1, 0);
    glRotatef(camera.rotation[2], 0, 0, 1);
}

FrameLayout SceneRenderer::layOut(const Scene& scene, const Scene* before, const FrameLayout* was) {
    FrameLayout layout;
    const WindowProjection camera = WindowProjection::current();
    for (std::size_t k = 0; k < NUM_KEYS; ++k) layout.keys[k] = keyBox(scene.keys[k], camera);
    const bool leftKept = before != nullptr && samePose(before->leftHand, scene.leftHand);
    const bool rightKept = before != nullptr && samePose(before->rightHand, scene.rightHand);
    layout.leftHand = leftKept ? was->leftHand : handBox(scene.leftHand, solids_);
    layout.rightHand = rightKept ? was->rightHand : handBox(scene.rightHand, solids_);
    layout.bars.reserve(scene.bars.size());
    for (const NoteBar& bar : scene.bars) layout.bars.push_back({bar, barBox(scene, bar, camera)});
    layout.overlay = layOutOverlay(scene, font_);
    return layout;
}

void SceneRenderer::drawScene(const Scene& scene, const ScreenBox* box, const FrameLayout* layout, Parts parts) {
    if (box != nullptr) {
        glEnable(GL_SCISSOR_TEST);
        layer_.scissor(*box);
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    pictures_.drawBackground(scene.activeBackground, scene.lights.background_intensity, solids_.fast());
    drawParts(scene, box, layout, parts);
    if (box != nullptr) glDisable(GL_SCISSOR_TEST);
}

void SceneRenderer::drawParts(const Scene& scene, const ScreenBox* box, const FrameLayout* layout, Parts parts) {
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);

    placeCamera(scene);
    pictures_.bindHandTexture(scene.activeHandTexture);
    // After the camera, so the lights sit in scene coordinates and turn with the scene.
    if (scene.concertOn)
        setConcertLighting(scene.lights);
    else
        setLighting(scene.lights);

    // Within a box, the parts that cannot reach it are left out: nothing of them would show.
    const bool cull = box != nullptr && layout != nullptr;
    const bool standing = parts != Parts::Over, over = parts != Parts::Standing;
    auto drawHands = [&] {
        if (!cull || layout->leftHand.meets(*box)) drawHand(scene.leftHand, solids_);
        if (!cull || layout->rightHand.meets(*box)) drawHand(scene.rightHand, solids_);
    };
    // The hands cost llvmpipe the most of all the parts (their fingers are thousands of slivers
    // a pixel wide): sent first, they are rasterized while this thread works out the keys. The
    // picture is the same, no two parts meeting at one depth; the immediate drawing keeps its
    // order. Within a box, where there is little of them, their drawing sent apart from the
    // keys' made a frame slower (by 0.2 to 0.4 ms of 4 to 5, a song and keys moving).
    const bool handsFirst = standing && solids_.fast() && !cull;
    if (handsFirst) {
        drawHands();
        glFlush();
    }
    if (standing) {
        KeySet keys;
        for (std::size_t k = 0; k < NUM_KEYS; ++k) keys[k] = !cull || layout->keys[k].meets(*box);
        keyboard_.draw(scene, solids_, &keys);
    }
    // A hand in front of a bar hides it by depth, drawn before or after it; over a kept layer,
    // by the layer's depth.
    if (over && cull) {
        std::vector<bool> bars(layout->bars.size());
        for (std::size_t i = 0; i < bars.size(); ++i) bars[i] = layout->bars[i].box.meets(*box);
        bars_.draw(scene, &bars);
    } else if (over) {
        bars_.draw(scene);
    }
    if (standing && !handsFirst) drawHands();
    if (!over) return;
    if (layout != nullptr)
        drawOverlay(layout->overlay, font_);
    else
        drawOverlay(scene, font_);
}
