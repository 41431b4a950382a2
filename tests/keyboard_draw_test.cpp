// The keyboard as it appears on screen: pressed keys sink, glow, outlines.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "NoteBarsDraw.h"
#include "scene_support.h"

namespace {
bool isBlack(const Pixel& p) { return p.r < 8 && p.g < 8 && p.b < 8; }

// Whether a black outline pixel lies within two rows of (x, y).
bool outlineNear(const Frame& frame, int x, int y) {
    for (int dy = -2; dy <= 2; ++dy)
        if (isBlack(frame.at(x, y + dy))) return true;
    return false;
}

class KeyboardOnScreen : public testing::Test {
protected:
    void SetUp() override {
        startScene();
    }
    void TearDown() override { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }
};
}  // namespace

TEST_F(KeyboardOnScreen, APressedWhiteKeyShowsItsTopFrontEdgeLower) {
    PianoKey* key = &scene().keys[0];
    const Frame rest = drawFrame();
    const auto restEdge = rest.project(key->posX, 0.25, 1.5);
    const auto pressedEdge = rest.project(key->posX, 0.0, 1.5);
    ASSERT_LT(pressedEdge[1], restEdge[1] - 4) << "the edge should move visibly";
    EXPECT_TRUE(outlineNear(rest, restEdge[0], restEdge[1]));

    key->press(1);
    const Frame pressed = drawFrame();
    EXPECT_TRUE(outlineNear(pressed, pressedEdge[0], pressedEdge[1]));
    EXPECT_FALSE(outlineNear(pressed, restEdge[0], restEdge[1])) << "nothing is left at the old edge";
}

TEST_F(KeyboardOnScreen, GlowColoursOnlyPressedKeysBodies) {
    scene().glowOn = true;
    scene().keys[0].press(1);
    const Frame frame = drawFrame();
    const auto pressedTop = frame.project(scene().keys[0].posX, 0.0, 0.8);
    const auto restingTop = frame.project(scene().keys[6].posX, 0.25, 1.3);  // in the spot, clear of the hands
    const Pixel glow = frame.at(pressedTop[0], pressedTop[1]);
    const Pixel plain = frame.at(restingTop[0], restingTop[1]);
    EXPECT_GT(glow.g, glow.r + 15) << "glow is green-grey";
    EXPECT_GT(glow.g, glow.b + 15);
    EXPECT_LT(std::abs(plain.r - plain.g), 6) << "a resting key keeps its white material";
    EXPECT_GT(plain.r, 100);
}

TEST_F(KeyboardOnScreen, OutlinesArePureBlackWithoutGlowAndGlowWithIt) {
    const Frame plain = drawFrame();
    // The boundary of the top two white keys, clear of the hands.
    const auto edge = plain.project(scene().keys[14].posX - 0.3, 0.25, 1.0);
    bool sawBlack = false;
    for (int dx = -3; dx <= 3; ++dx) sawBlack |= isBlack(plain.at(edge[0] + dx, edge[1]));
    EXPECT_TRUE(sawBlack);

    scene().glowOn = true;
    const Frame glowing = drawFrame();
    int greenish = 0;
    for (int dx = -3; dx <= 3; ++dx) {
        const Pixel p = glowing.at(edge[0] + dx, edge[1]);
        greenish += p.g > 40 && p.g > p.r && p.g > p.b;
    }
    EXPECT_GT(greenish, 0) << "every outline glows when the glow is on";
}

TEST_F(KeyboardOnScreen, ConcertModeLightsTheKeysInColour) {
    scene().concertOn = true;
    scene().glowOn = false;
    const Frame frame = drawFrame();
    // The green middle beam starts straight down at the centre of the keyboard.
    const auto centre = frame.project(0.0, 0.25, 0.0);
    const Pixel p = frame.at(centre[0], centre[1]);
    EXPECT_GT(p.g, p.r + 30);
    EXPECT_GT(p.g, p.b + 30);
    scene().concertOn = false;
}

// Playing along: a key played right shines green, a wrong letter's key red, fading over
// FEEDBACK_SECONDS; the letter to play next shines blue, a chord's on its three keys.
namespace {
// The top of a key behind where a letter would be, with the hands moved out of the way.
Pixel keyTop(const Frame& frame, int key) {
    const PianoKey& k = scene().keys[static_cast<std::size_t>(key)];
    const auto at = frame.project(k.posX, k.posY + k.height / 2, k.posZ + k.length / 2 - 0.9f);
    return frame.at(at[0], at[1]);
}
void handsAside() {
    scene().leftHand.setPos(std::array<float, 3>{-30, 1, 2});
    scene().rightHand.setPos(std::array<float, 3>{30, 1, 2});
}
}  // namespace

TEST_F(KeyboardOnScreen, KeysPlayedAlongShineGreenOrRedAndFadeBack) {
    handsAside();
    const int right = 6, wrong = 8, black = 17;  // B3, D4, F#3
    const Frame plain = drawFrame();
    scene().feedback[right] = {KeyFeedback::RIGHT, 0};
    scene().feedback[wrong] = {KeyFeedback::WRONG, 0};
    scene().feedback[black] = {KeyFeedback::WRONG, 0};
    const Frame fresh = drawFrame();
    const Pixel green = keyTop(fresh, right), red = keyTop(fresh, wrong), darkRed = keyTop(fresh, black);
    EXPECT_GT(green.g, green.r + 60) << "right is green";
    EXPECT_GT(green.g, green.b + 60);
    EXPECT_GT(red.r, red.g + 60) << "wrong is red";
    EXPECT_GT(red.r, red.b + 60);
    EXPECT_GT(darkRed.r, darkRed.g + 40) << "a black key too";

    scene().keys[right].press(1);  // the struck key keeps its colour, over the glow too
    scene().glowOn = true;
    const Frame struck = drawFrame();
    const auto at = struck.project(scene().keys[right].posX, 0.0, 1.2);
    const Pixel pressed = struck.at(at[0], at[1]);
    EXPECT_GT(pressed.g, pressed.r + 60);
    scene().keys[right].press(0);
    scene().glowOn = false;

    scene().feedback[right].age = scene().feedback[wrong].age = FEEDBACK_SECONDS / 2;
    const Frame fading = drawFrame();
    const Pixel halfGreen = keyTop(fading, right), halfRed = keyTop(fading, wrong);
    EXPECT_LT(halfGreen.g - halfGreen.r, green.g - green.r - 20) << "the colour fades";
    EXPECT_GT(halfGreen.g, halfGreen.r + 20);
    EXPECT_LT(halfRed.r - halfRed.g, red.r - red.g - 20);
    EXPECT_GT(halfRed.r, halfRed.g + 20);

    for (KeyFeedback& key : scene().feedback) key.age = FEEDBACK_SECONDS;
    const Frame over = drawFrame();
    for (int key : {right, wrong, black}) {
        const Pixel now = keyTop(over, key), before = keyTop(plain, key);
        EXPECT_LE(std::abs(now.r - before.r) + std::abs(now.g - before.g) + std::abs(now.b - before.b), 3)
            << "key " << key << " is back to its material";
    }
}

TEST_F(KeyboardOnScreen, TheChordToPlayNextShinesBlueOnItsThreeKeys) {
    handsAside();
    const Frame plain = drawFrame();
    scene().hintChord = CEG;
    const Frame frame = drawFrame();
    const ChordInfo& chord = CHORDS[CEG];
    for (int n = 0; n < chord.numNotes; ++n) {
        const Pixel p = keyTop(frame, chord.notes[n]), before = keyTop(plain, chord.notes[n]);
        EXPECT_GT(p.b - p.r, before.b - before.r + 30) << "key " << chord.notes[n];
    }
    const Pixel other = keyTop(frame, 3), before = keyTop(plain, 3);  // F, not in the chord
    EXPECT_EQ(other.b - other.r, before.b - before.r);
}

// The notes coming: bars over their keys, coming from behind the keyboard and sinking into the
// keys' front edges, in the scene's light and under its camera.
namespace {
bool isBlue(const Pixel& p) { return p.b > p.r + 60 && p.b > p.g + 20; }
bool isOrange(const Pixel& p) { return p.r > 180 && p.b < 40 && p.g > p.b && p.g < p.r * 2 / 3; }

// The pixel of a point on the top of a bar over `key`, `z` along the keyboard.
Pixel barTop(const Frame& frame, int key, float z) {
    const auto at = frame.project(scene().keys[static_cast<std::size_t>(key)].posX, BAR_BOTTOM + BAR_HEIGHT, z);
    return frame.at(at[0], at[1]);
}

class NoteBarsOnScreen : public KeyboardOnScreen {};
}  // namespace

TEST_F(NoteBarsOnScreen, EachHandsBarLiesOverItsKeyInItsColourAndChangesNothingElse) {
    const Frame without = drawFrame();
    // Both a second and a half ahead: behind the keyboard, clear of the hands.
    scene().bars = {{14, true, 1.3f, 1.7f, false}, {2, false, 1.3f, 1.7f, false}, {17, true, 1.3f, 1.7f, false}};
    const Frame with = drawFrame();
    const float z = 1.5f - 1.5f * BAR_SPEED;
    EXPECT_FALSE(isBlue(barTop(without, 14, z)));
    EXPECT_TRUE(isBlue(barTop(with, 14, z)));
    EXPECT_TRUE(isBlue(barTop(with, 17, z - 1.5f))) << "a black key's bar, from its own front edge";
    EXPECT_FALSE(isOrange(barTop(without, 2, z)));
    EXPECT_TRUE(isOrange(barTop(with, 2, z)));
    // The hands, drawn after the bars, as they were.
    for (const Hand* hand : {&scene().leftHand, &scene().rightHand}) {
        const auto palm = with.project(hand->pos[0], hand->pos[1], hand->pos[2]);
        const Pixel a = with.at(palm[0], palm[1]), b = without.at(palm[0], palm[1]);
        EXPECT_EQ(std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b), 0);
    }
}

TEST_F(NoteBarsOnScreen, ABarReachesItsKeysFrontEdgeWhenDueSinksIntoItAndComesFromTheFarEdge) {
    // Due in 0.2 s on the top white key: nothing yet over the front of the key.
    scene().bars = {{14, true, 0.2f, 0.5f, false}};
    Frame frame = drawFrame();
    EXPECT_FALSE(isBlue(barTop(frame, 14, 1.3f)));
    EXPECT_TRUE(isBlue(barTop(frame, 14, 1.5f - 0.35f * BAR_SPEED)));
    // Sounding for 0.2 s: what would have passed the front edge is gone into the key.
    scene().bars = {{14, true, -0.2f, 0.3f, false}};
    frame = drawFrame();
    EXPECT_TRUE(isBlue(barTop(frame, 14, 1.3f)));
    EXPECT_FALSE(isBlue(barTop(frame, 14, 1.5f + 0.15f)));
    // A black key's front edge is halfway along the white keys.
    scene().bars = {{24, true, -0.2f, 0.3f, false}};
    frame = drawFrame();
    EXPECT_TRUE(isBlue(barTop(frame, 24, -0.2f)));
    EXPECT_FALSE(isBlue(barTop(frame, 24, 0.3f)));
    // A long entry far ahead shows only as far back as the bars come from.
    scene().bars = {{14, true, 2.0f, 10.0f, false}};
    frame = drawFrame();
    EXPECT_TRUE(isBlue(barTop(frame, 14, BAR_FAR_Z + 0.3f)));
    EXPECT_FALSE(isBlue(barTop(frame, 14, BAR_FAR_Z - 0.3f)));
}

TEST_F(NoteBarsOnScreen, TheAwaitedBarShinesAndBarsAreLitAndTurnedWithTheScene) {
    scene().bars = {{14, true, 0.0f, 0.4f, false}};
    const Pixel plain = barTop(drawFrame(), 14, 1.0f);
    scene().bars[0].awaited = true;
    const Pixel shining = barTop(drawFrame(), 14, 1.0f);
    EXPECT_GT(shining.b, plain.b + 30);
    EXPECT_TRUE(isBlue(shining));

    scene().bars[0].awaited = false;
    scene().lights.diffuse_intensity = {0.2f, 0.2f, 0.2f, 1.0f};
    scene().lights.ambient_intensity = {0.06f, 0.06f, 0.06f, 1.0f};
    const Pixel dim = barTop(drawFrame(), 14, 1.0f);
    EXPECT_LT(dim.b, plain.b - 50) << "the light's level reaches the bars";

    scene().lights = LightState();
    scene().camera.rotation[1] = 30.0f;
    const Frame turned = drawFrame();
    EXPECT_TRUE(isBlue(barTop(turned, 14, 1.0f)));
}
