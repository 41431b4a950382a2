// The fast drawing against the immediate drawing it replaces: the same picture, within 2/255
// on nearly every pixel, where a coarse grid would show first (a narrow spot, the concert
// beams, a turned or turning camera), and no stale picture after something changes. Frames
// drawn only where the scene changed, over the frame before, against the same frames drawn
// whole: a song played frame by frame, with its notes coming and without, and each part that
// can change on its own.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "Draw.h"
#include "FrameChanges.h"
#include "KeyboardDraw.h"
#include "Piano.h"
#include "animation.h"
#include "frame_compare.h"
#include "lights.h"
#include "scene_support.h"

namespace {
struct Agreement {
    double within = 0;  // fraction of pixels within 2/255 on every channel
    int largest = 0;
};

Agreement compare(Frame& a, Frame& b) {
    const unsigned char* p = a.data();
    const unsigned char* q = b.data();
    const long pixels = static_cast<long>(GL_TEST_WIDTH) * GL_TEST_HEIGHT;
    long off = 0;
    int largest = 0;
    for (long i = 0; i < pixels; ++i) {
        int worst = 0;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(p[i * 3 + c] - q[i * 3 + c]));
        largest = std::max(largest, worst);
        off += worst > 2;
    }
    return {1.0 - static_cast<double>(off) / pixels, largest};
}

Frame drawWith(DrawPath path) {
    renderer().solids().setPath(path);
    Frame f = drawFrame();
    renderer().solids().setPath(DrawPath::Fast);
    return f;
}

// Both ways, same state: the fraction of pixels that agree.
Agreement fastAgainstImmediate() {
    Frame immediate = drawWith(DrawPath::Immediate);
    Frame fast = drawWith(DrawPath::Fast);
    return compare(fast, immediate);
}

const double AGREEMENT = 0.999;  // the target is 99.5%; the drawing reaches better than 99.98%

class FastDrawing : public testing::Test {
protected:
    void SetUp() override {
        startScene();
    }
    void TearDown() override {
        SetUp();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
};
}  // namespace

TEST_F(FastDrawing, ANarrowSpotSwungSidewaysLooksTheSame) {
    scene().lights.spotCutoff = 10.0f;
    for (int i = 0; i < 3; ++i) scene().lights.spotDir[0] -= SPOT_DIR_STEP;
    EXPECT_GE(fastAgainstImmediate().within, AGREEMENT);
}

TEST_F(FastDrawing, ConcertBeamsMidSweepLookTheSame) {
    scene().concertOn = scene().glowOn = true;
    scene().lights.background_intensity = 0.0f;
    beamsAt(scene(), 0.0f);
    EXPECT_GE(fastAgainstImmediate().within, AGREEMENT);
}

TEST_F(FastDrawing, PressedGlowingKeysUnderATurnedCameraLookTheSame) {
    scene().glowOn = true;
    scene().keys[7].press(1);
    scene().keys[9].press(0.4f);
    scene().keys[17].press(1);
    scene().camera.rotation[1] = 25.0f;
    scene().camera.rotation[0] = 45.0f;
    EXPECT_GE(fastAgainstImmediate().within, AGREEMENT);
}

TEST_F(FastDrawing, ACameraTurningStepByStepLooksTheSameInEveryFrame) {
    // While the camera turns, a face where no highlight shows keeps its quads from the
    // frame before; every frame must still show what the immediate drawing shows.
    scene().glowOn = true;
    scene().keys[9].press(1);
    scene().keys[18].press(0.5f);
    drawWith(DrawPath::Fast);
    for (int step = 1; step <= 4; ++step) {
        scene().camera.rotation[1] = -7.0f * step;
        drawWith(DrawPath::Fast);
        const KeyboardDrawStats turned = renderer().keyboard().lastStats();
        EXPECT_EQ(turned.keysRebuilt, NUM_KEYS);
        EXPECT_LT(turned.facesMerged, 2 * NUM_KEYS) << "the faces no highlight reaches are kept";
        EXPECT_GE(fastAgainstImmediate().within, AGREEMENT) << "turned by " << scene().camera.rotation[1] << " degrees";
    }
}

TEST_F(FastDrawing, AHandCutByTheWindowsEdgeLooksTheSame) {
    // Turned this way the left palm reaches past the bottom of the window, where GL cuts its
    // quads into triangles along the other diagonal.
    scene().camera.rotation[1] = 9.6f;
    EXPECT_GE(fastAgainstImmediate().within, AGREEMENT);
}

TEST_F(FastDrawing, AChangeShowsInTheVeryNextFrame) {
    drawWith(DrawPath::Fast);  // meshes and the background copy made for the scene at rest
    scene().keys[4].press(1);
    scene().lights.spotCutoff = 12.0f;
    scene().lights.spotDir[2] -= SPOT_DIR_STEP;
    scene().lights.background_intensity = 0.5f;
    EXPECT_GE(fastAgainstImmediate().within, AGREEMENT);

    scene().activeBackground = SPACE;
    scene().keys[4].press(0);
    EXPECT_GE(fastAgainstImmediate().within, AGREEMENT);
}

TEST_F(FastDrawing, AStillSceneReusesItsKeyMeshes) {
    drawWith(DrawPath::Fast);
    drawWith(DrawPath::Fast);
    const KeyboardDrawStats still = renderer().keyboard().lastStats();
    EXPECT_EQ(still.keysRebuilt, 0);
    // The immediate drawing sends 25 x 6 x 2500 quads; the faces seen are about half.
    EXPECT_GT(still.bodyQuads, 25);
    EXPECT_LT(still.bodyQuads, 25 * 3 * 2500 / 20);

    scene().keys[3].press(0.5f);
    drawWith(DrawPath::Fast);
    EXPECT_EQ(renderer().keyboard().lastStats().keysRebuilt, 1) << "only the key that moved";
}

// ---- Frames drawn over the one before, only where the scene changed ---------------------------
namespace {
// The share of pixels within 2/255 that a frame drawn in part must keep: what the whole frame
// shows, but for llvmpipe's rounding within a box.
const double KEPT_AGREEMENT = 0.9999;

// The same scene drawn whole by a renderer of its own, into the back buffer too: its pixels
// come from the very same rasterizing, window and all.
void drawWhole(const Scene& s, FramePixels& into, int width = GL_TEST_WIDTH, int height = GL_TEST_HEIGHT) {
    static SceneRenderer whole{ResourcePaths()};
    static bool started = false;
    if (!started) {
        whole.initGl(Scene());
        started = true;
    }
    whole.reshape(width, height);
    whole.draw(s);
    readBackBuffer(into, width, height);
}

class KeptFrames : public testing::Test {
protected:
    void SetUp() override {
        startScene();
        renderer().keepFrames(true);
    }
    void TearDown() override {
        renderer().keepFrames(false);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    // The scene drawn over the frame before, held to the same scene drawn whole; the back
    // buffer is then given back the frame drawn in part, for the next one to be drawn over.
    FrameAgreement drawnOverTheLast(int width = GL_TEST_WIDTH, int height = GL_TEST_HEIGHT) {
        renderer().draw(scene());
        readBackBuffer(kept_, width, height);
        drawWhole(scene(), whole_, width, height);
        writeBackBuffer(kept_);
        return compareFrames(kept_, whole_, 2);
    }

private:
    FramePixels kept_, whole_;
};
}  // namespace

TEST_F(KeptFrames, ASongLooksAsDrawnWholeInEveryFrameWhileOnlyItsChangesAreDrawn) {
    // Played plain, then again with its notes coming, whose bars travel every frame over the
    // keys they are due at.
    const struct {
        const char* how;
        std::vector<unsigned char> letters;
        double share;  // the most of the window a frame may draw, on average
        bool overLayer;  // the keys and hands kept apart, only the bars and overlay drawn over them
    } runs[] = {{"the song", {'8', '5'}, 0.25, false}, {"with the notes coming", {13, '5'}, 0.5, true}};
    for (const auto& run : runs) {
        DrivenClock clock;
        PianoSetup setup;
        setup.clock = &clock;
        Piano piano(setup);
        for (unsigned char key : run.letters) {  // the letters on the keys, or the notes coming; the first song
            piano.keyDown(key);
            piano.keyUp(key);
        }
        ASSERT_TRUE(piano.song().playing());
        renderer().forgetFrame();
        int inPart = 0, overLayer = 0;
        double drawn = 0;
        const int frames = 100;
        for (int frame = 0; frame < frames; ++frame) {
            clock.advance(STEP_SECONDS);
            piano.stepFrame();
            scene() = piano.scene();
            if (run.letters[0] == 13) {
                ASSERT_FALSE(scene().bars.empty()) << "frame " << frame;
            }
            const FrameAgreement agreement = drawnOverTheLast();
            ASSERT_GE(agreement.withinTolerance, KEPT_AGREEMENT) << run.how << ", frame " << frame;
            const FrameStats stats = renderer().lastFrame();
            inPart += !stats.whole;
            overLayer += stats.overLayer;
            drawn += stats.drawnShare;
        }
        EXPECT_GE(inPart, frames - 1) << run.how << ": only the first frame is drawn whole";
        EXPECT_EQ(overLayer, run.overLayer ? inPart : 0) << run.how;
        EXPECT_LT(drawn / frames, run.share) << run.how << ": what moves is a part of the window";
    }
}

TEST_F(KeptFrames, EachPartThatChangesIsDrawnWhereItWasAndWhereItIs) {
    struct Step {
        const char* what;
        void (*change)(Scene&);
    };
    const Step steps[] = {
        {"a white key pressed", [](Scene& s) { s.keys[4].press(1); }},
        {"a black key half down", [](Scene& s) { s.keys[17].press(0.5f); }},
        {"the letters shown", [](Scene& s) { s.lettersOn = true; }},
        {"a lettered key pressed", [](Scene& s) { s.keys[9].press(0.7f); }},
        {"the chords named in minor", [](Scene& s) { s.mode = MINOR; }},
        {"the letters hidden", [](Scene& s) { s.lettersOn = false; }},
        {"a key to play next", [](Scene& s) { s.hintKey = 11; }},
        {"another key to play next", [](Scene& s) { s.hintKey = 20; }},
        {"a caption", [](Scene& s) { s.caption = "Twinkle, Twinkle, Little Star"; }},
        {"a shorter caption", [](Scene& s) { s.caption = "Ode"; }},
        {"the recording mark", [](Scene& s) { s.recording = true; }},
        {"the caption gone", [](Scene& s) { s.caption.clear(); }},
        {"the right hand moved", [](Scene& s) { s.rightHand.pos[0] += 0.8f; }},
        {"a finger bent", [](Scene& s) { s.rightHand.fingers[2].shape[1] += 30.0f; }},
        {"the left hand past the window's edge", [](Scene& s) { s.leftHand.pos[0] -= 3.5f; }},
        {"two bars coming", [](Scene& s) {
             s.bars = {{3, false, 1.0f, 1.4f, false}, {20, true, 2.0f, 2.2f, false}};
         }},
        {"a bar moved on", [](Scene& s) { s.bars[0] = {3, false, 0.9f, 1.3f, false}; }},
        {"a bar awaited", [](Scene& s) { s.bars[1].awaited = true; }},
        {"the right hand moved back over a bar", [](Scene& s) { s.rightHand.pos[0] -= 0.8f; }},
        {"a bar played and gone", [](Scene& s) { s.bars.erase(s.bars.begin()); }},
        {"the last bar gone, the layer let go", [](Scene& s) { s.bars.clear(); }},
        {"a bar again, the layer made again", [](Scene& s) { s.bars = {{8, true, 0.5f, 1.0f, false}}; }},
        {"keys released, the mark gone", [](Scene& s) {
             s.keys[4].press(0);
             s.keys[17].press(0);
             s.recording = false;
         }},
    };
    drawnOverTheLast();
    for (const Step& step : steps) {
        step.change(scene());
        EXPECT_GE(drawnOverTheLast().withinTolerance, KEPT_AGREEMENT) << step.what;
        const FrameStats stats = renderer().lastFrame();
        EXPECT_FALSE(stats.whole) << step.what;
        EXPECT_GE(stats.passes, 1) << step.what;
        EXPECT_LT(stats.drawnShare, 0.2) << step.what;
    }
}

TEST_F(KeptFrames, TheNotesComingAreDrawnOverTheirLayerAtEveryWindowSize) {
    // The layer follows the window: drawn at another size, or turned over by the height of
    // another, the keys and hands under the bars would stand elsewhere.
    scene().bars = {{2, false, 0.4f, 1.2f, false}, {9, true, 0.2f, 0.9f, false}, {19, true, 1.0f, 1.6f, true}};
    const struct {
        int width, height;
    } sizes[] = {{800, 600}, {GL_TEST_WIDTH, GL_TEST_HEIGHT - 150}, {GL_TEST_WIDTH, GL_TEST_HEIGHT}};
    for (const auto& size : sizes) {
        renderer().reshape(size.width, size.height);
        drawnOverTheLast(size.width, size.height);  // whole: a new size
        for (int step = 1; step <= 3; ++step) {
            for (NoteBar& bar : scene().bars) {
                bar.start -= 0.1f;
                bar.end -= 0.1f;
            }
            scene().rightHand.pos[0] += 0.1f;  // a hand moving under the bars, drawn into the layer
            EXPECT_GE(drawnOverTheLast(size.width, size.height).withinTolerance, KEPT_AGREEMENT)
                << size.width << " x " << size.height << ", step " << step;
            EXPECT_TRUE(renderer().lastFrame().overLayer) << size.width << " x " << size.height;
        }
    }
}

TEST_F(KeptFrames, KeysChangeUnderTheConcertLightsAndOnAPicture) {
    // Concert mode clears the background black instead of drawing it; a picture is drawn from
    // the copy of the window taken in the second whole frame. Neither may reach past the box.
    scene().concertOn = scene().glowOn = true;
    scene().lights.background_intensity = 0.0f;
    beamsAt(scene(), 0.3f);
    drawnOverTheLast();
    for (int k : {2, 12, 20}) {
        scene().keys[static_cast<std::size_t>(k)].press(1);
        EXPECT_GE(drawnOverTheLast().withinTolerance, KEPT_AGREEMENT) << "concert, key " << k;
        EXPECT_FALSE(renderer().lastFrame().whole);
    }
    startScene();
    renderer().keepFrames(true);
    scene().activeBackground = CHURCH;
    drawnOverTheLast();
    for (int k : {3, 16, 7}) {
        scene().keys[static_cast<std::size_t>(k)].press(0.6f);
        EXPECT_GE(drawnOverTheLast().withinTolerance, KEPT_AGREEMENT) << "church, key " << k;
    }
    renderer().forgetFrame();  // a whole frame, which takes the copy of the background
    drawnOverTheLast();
    scene().keys[3].press(0);
    EXPECT_GE(drawnOverTheLast().withinTolerance, KEPT_AGREEMENT) << "church, from the copy";

    // A new picture drawn a second time whole into the layer under the notes coming, which is
    // drawn upside down: the copy is not taken from there, and a turned camera shows it upright.
    scene().activeBackground = SPACE;
    drawnOverTheLast();
    scene().bars = {{5, true, 1.0f, 1.5f, false}};
    EXPECT_GE(drawnOverTheLast().withinTolerance, KEPT_AGREEMENT) << "space, the first bar";
    EXPECT_TRUE(renderer().lastFrame().overLayer);
    scene().bars[0] = {5, true, 0.9f, 1.4f, false};
    EXPECT_GE(drawnOverTheLast().withinTolerance, KEPT_AGREEMENT) << "space, the bar moved";
    scene().camera.rotation[1] = 8.0f;
    EXPECT_GE(drawnOverTheLast().withinTolerance, KEPT_AGREEMENT) << "space, the camera turned";
    scene().camera.rotation[1] = 4.0f;
    EXPECT_GE(drawnOverTheLast().withinTolerance, KEPT_AGREEMENT) << "space, turned over the copy";
    scene().bars[0] = {5, true, 0.8f, 1.3f, false};  // the layer, drawn before the camera turned, drawn again
    EXPECT_GE(drawnOverTheLast().withinTolerance, KEPT_AGREEMENT) << "space, the bar moved under the camera turned";
    EXPECT_TRUE(renderer().lastFrame().overLayer);
}

TEST_F(KeptFrames, WhatChangesEverywhereDrawsTheWholeWindowAndNothingDrawsNothing) {
    drawnOverTheLast();
    const FrameAgreement still = drawnOverTheLast();
    EXPECT_GE(still.withinTolerance, KEPT_AGREEMENT);
    EXPECT_EQ(renderer().lastFrame().passes, 0);
    EXPECT_EQ(renderer().lastFrame().drawnShare, 0.0);

    // Every part of the scene is drawn again for each of these; the background, where it
    // stays the same, only around the parts where they were and where they are, once a frame
    // has drawn it whole and taken its copy. A black one (concert mode) is cleared whole.
    enum Drawn { WHOLE, AROUND_PARTS };
    struct Change {
        const char* what;
        void (*change)(Scene&);
        Drawn drawn;
    };
    const Change global[] = {
        {"the camera turned, the background drawn whole and copied", [](Scene& s) { s.camera.rotation[1] = 10.0f; },
         WHOLE},
        {"the camera turned further", [](Scene& s) { s.camera.rotation[1] = 25.0f; }, AROUND_PARTS},
        {"the camera moved", [](Scene& s) { s.camera.position[2] -= 0.5f; }, AROUND_PARTS},
        {"the spot narrowed", [](Scene& s) { s.lights.spotCutoff = 20.0f; }, AROUND_PARTS},
        {"the spot swung", [](Scene& s) { s.lights.spotDir[0] -= SPOT_DIR_STEP; }, AROUND_PARTS},
        {"the light dimmed", [](Scene& s) { s.lights.diffuse_intensity[0] = 0.5f; }, AROUND_PARTS},
        {"the glow on", [](Scene& s) { s.glowOn = true; }, AROUND_PARTS},
        {"the notes coming under a turning camera", [](Scene& s) {
             s.bars = {{6, true, 0.5f, 1.5f, false}};
             s.camera.rotation[1] = 15.0f;
         }, AROUND_PARTS},
        {"the concert lights", [](Scene& s) {
             s.concertOn = true;
             s.lights.background_intensity = 0;
         }, WHOLE},
        {"the beams swept, the black cleared whole", [](Scene& s) { beamsAt(s, 0.5f); }, WHOLE},
        {"another background", [](Scene& s) {
             s.concertOn = false;
             s.lights.background_intensity = 1;
             s.activeBackground = SPACE;
         }, WHOLE},
        {"the picture dimmed", [](Scene& s) { s.lights.background_intensity = 0.8f; }, WHOLE},
        {"the camera turned back, the dimmed picture copied", [](Scene& s) { s.camera.rotation[1] = 0.0f; }, WHOLE},
        {"the camera turned over the copy", [](Scene& s) { s.camera.rotation[1] = -12.0f; }, AROUND_PARTS},
        {"another hand texture", [](Scene& s) { s.activeHandTexture = FLAMES; }, AROUND_PARTS},
    };
    const ScreenBox window{0, 0, GL_TEST_WIDTH, GL_TEST_HEIGHT};
    for (const Change& c : global) {
        c.change(scene());
        EXPECT_GE(drawnOverTheLast().withinTolerance, KEPT_AGREEMENT) << c.what;
        const FrameStats stats = renderer().lastFrame();
        EXPECT_EQ(stats.whole, c.drawn == WHOLE) << c.what;
        EXPECT_EQ(stats.passes, 1) << c.what;
        if (c.drawn == AROUND_PARTS) {
            EXPECT_LT(stats.drawnShare, 0.9) << c.what << ": the keyboard and hands are not the whole window";
        }
        ASSERT_EQ(stats.changed.size(), 1u) << c.what;
        EXPECT_EQ(stats.changed[0] == window, c.drawn == WHOLE) << c.what;
        EXPECT_TRUE(window.contains(stats.changed[0]) && !stats.changed[0].empty()) << c.what;
    }
    // The camera moved until nothing is left in the window: then a swung spot changes nothing
    // there, and no box is given to show, none of them empty or outside the window.
    scene().camera.position[0] += 400.0f;
    EXPECT_GE(drawnOverTheLast().withinTolerance, KEPT_AGREEMENT) << "the piano moved out of sight";
    scene().lights.spotDir[0] += SPOT_DIR_STEP;
    EXPECT_GE(drawnOverTheLast().withinTolerance, KEPT_AGREEMENT) << "the spot swung out of sight";
    EXPECT_FALSE(renderer().lastFrame().whole);
    EXPECT_TRUE(renderer().lastFrame().changed.empty());
    scene().camera.position[0] -= 400.0f;
    renderer().reshape(800, 600);
    renderer().draw(scene());
    EXPECT_TRUE(renderer().lastFrame().whole) << "a new window size";
    renderer().reshape(GL_TEST_WIDTH, GL_TEST_HEIGHT);
    EXPECT_GE(drawnOverTheLast().withinTolerance, KEPT_AGREEMENT);
    EXPECT_TRUE(renderer().lastFrame().whole) << "the size back";
}

TEST(FrameChanges, OnlyThePartsWithAPlaceOnScreenAreComparedPartByPart) {
    const Scene start;
    auto everywhere = [&](void (*change)(Scene&)) {
        Scene now = start;
        change(now);
        return changesEverywhere(start, now);
    };
    EXPECT_FALSE(everywhere([](Scene&) {}));
    EXPECT_FALSE(everywhere([](Scene& s) { s.keys[3].press(1); }));
    EXPECT_FALSE(everywhere([](Scene& s) { s.rightHand.pos[1] += 1; }));
    EXPECT_FALSE(everywhere([](Scene& s) { s.leftHand.fingers[0].shape[0] = 5; }));
    EXPECT_FALSE(everywhere([](Scene& s) { s.caption = "x"; }));
    EXPECT_FALSE(everywhere([](Scene& s) { s.lettersOn = true; }));
    EXPECT_FALSE(everywhere([](Scene& s) { s.mode = MINOR; }));
    EXPECT_FALSE(everywhere([](Scene& s) { s.hintKey = 4; }));
    EXPECT_FALSE(everywhere([](Scene& s) { s.recording = true; }));
    EXPECT_FALSE(everywhere([](Scene& s) { s.bars.push_back({5, true, 0.5f, 1.0f, false}); }));
    EXPECT_TRUE(everywhere([](Scene& s) { s.camera.rotation[0] += 1; }));
    EXPECT_TRUE(everywhere([](Scene& s) { s.lights.lightPos[1] += 1; }));
    EXPECT_TRUE(everywhere([](Scene& s) { s.lights.specular_intensity[2] = 0; }));
    EXPECT_TRUE(everywhere([](Scene& s) { s.lights.background_intensity = 0.5f; }));
    EXPECT_TRUE(everywhere([](Scene& s) { s.lights.concertSpotDir[2][0] += 0.1f; }));
    EXPECT_TRUE(everywhere([](Scene& s) { s.glowOn = true; }));
    EXPECT_TRUE(everywhere([](Scene& s) { s.concertOn = true; }));
    EXPECT_TRUE(everywhere([](Scene& s) { s.activeBackground = GLEE_BACK; }));
    EXPECT_TRUE(everywhere([](Scene& s) { s.activeHandTexture = ROCK; }));
}

TEST(FrameChanges, BoxesAreJoinedWhereOneDrawingCostsLessThanTwo) {
    const long pass = 1000;
    // Far apart: two drawings.
    EXPECT_EQ(joinBoxes({{0, 0, 10, 10}, {500, 500, 510, 510}}, 1200, 1000, pass).size(), 2u);
    // Side by side, or one in the other: one.
    const std::vector<ScreenBox> near = joinBoxes({{0, 0, 100, 100}, {105, 0, 200, 100}}, 1200, 1000, pass);
    ASSERT_EQ(near.size(), 1u);
    EXPECT_EQ(near[0], (ScreenBox{0, 0, 200, 100}));
    EXPECT_EQ(joinBoxes({{0, 0, 100, 100}, {20, 20, 30, 30}}, 1200, 1000, pass).size(), 1u);
    // Cut to the window; nothing left of a box outside it.
    const std::vector<ScreenBox> cut = joinBoxes({{-50, 900, 100, 1100}, {1300, 0, 1400, 10}}, 1200, 1000, pass);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0], (ScreenBox{0, 900, 100, 1000}));
}

TEST(FrameChanges, WhatALayoutCoversIsEachPixelOfItsPartsOnce) {
    // Keys overlapping side by side and in the middle of one another, a hand across them, a
    // bar above, a caption reaching out of the window, and boxes left empty.
    FrameLayout layout;
    for (std::size_t k = 0; k < NUM_KEYS; ++k) {
        const int x = 20 + 9 * static_cast<int>(k);
        layout.keys[k] = k % 3 == 2 ? ScreenBox{x - 4, 40, x + 4, 70} : ScreenBox{x, 20, x + 12, 70};
    }
    layout.leftHand = {30, 50, 90, 110};
    layout.bars.push_back({NoteBar{}, {100, 90, 110, 140}});
    layout.overlay.push_back(OverlayItem{});
    layout.overlay.back().box = {180, 130, 260, 150};
    const int w = 240, h = 160;
    const std::vector<ScreenBox> covered = coveredBy(layout, w, h);

    std::vector<int> times(static_cast<std::size_t>(w * h), 0);
    for (const ScreenBox& b : covered) {
        EXPECT_FALSE(b.empty());
        for (int y = b.y0; y < b.y1; ++y)
            for (int x = b.x0; x < b.x1; ++x) ++times[static_cast<std::size_t>(y * w + x)];
    }
    std::vector<ScreenBox> parts(layout.keys.begin(), layout.keys.end());
    parts.insert(parts.end(), {layout.leftHand, layout.bars[0].box, layout.overlay[0].box});
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool inPart = std::any_of(parts.begin(), parts.end(), [&](const ScreenBox& p) {
                return p.x0 <= x && x < p.x1 && p.y0 <= y && y < p.y1;
            });
            wrong += times[static_cast<std::size_t>(y * w + x)] != (inPart ? 1 : 0);
        }
    }
    EXPECT_EQ(wrong, 0) << "pixels covered twice, or left out, or covered outside the parts";
    EXPECT_TRUE(coveredBy(FrameLayout{}, w, h).empty());
}
