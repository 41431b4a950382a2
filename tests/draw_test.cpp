// What the primitives really send to GL, read back through feedback in a real context, and the
// text drawn at the window's scale.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "Draw.h"
#include "Renderer.h"
#include "TextFont.h"
#include "gl_feedback.h"
#include "gl_test_support.h"

namespace {
bool near(float a, float b) { return std::fabs(a - b) < 1e-4f; }
}

TEST(DrawCuboid, UnitBoxIsSixQuadsSpanningHalfUnitsWithTheWholeTextureOnEachFace) {
    const auto triangles = captureTriangles([] { drawCuboid(1, 1, 1, 1); });
    ASSERT_EQ(triangles.size(), 12u) << "6 quads, each split in two by GL";
    std::set<std::array<int, 3>> corners;
    std::set<std::array<int, 2>> texCorners;
    for (const auto& tri : triangles) {
        for (const auto& v : tri) {
            EXPECT_TRUE(near(std::fabs(v.x), 0.5f) && near(std::fabs(v.y), 0.5f) && near(std::fabs(v.z), 0.5f));
            corners.insert({v.x > 0, v.y > 0, v.z > 0});
            EXPECT_TRUE((near(v.s, 0) || near(v.s, 1)) && (near(v.t, 0) || near(v.t, 1)));
            texCorners.insert({static_cast<int>(std::lround(v.s)), static_cast<int>(std::lround(v.t))});
        }
    }
    EXPECT_EQ(corners.size(), 8u);
    EXPECT_EQ(texCorners.size(), 4u);
}

TEST(DrawCuboid, GridStepSetsTheQuadsPerFaceAndScalesEachAxis) {
    EXPECT_EQ(captureTriangles([] { drawCuboid(2, 1, 3, 0.5f); }).size(), 6u * 4 * 2);
    const auto fine = captureTriangles([] { drawCuboid(0.6f, 0.5f, 3, 0.02f); });
    ASSERT_EQ(fine.size(), 6u * 2500 * 2);
    float maxX = 0, maxY = 0, maxZ = 0;
    for (const auto& tri : fine)
        for (const auto& v : tri) {
            maxX = std::fmax(maxX, std::fabs(v.x));
            maxY = std::fmax(maxY, std::fabs(v.y));
            maxZ = std::fmax(maxZ, std::fabs(v.z));
        }
    EXPECT_NEAR(maxX, 0.3f, 1e-3);
    EXPECT_NEAR(maxY, 0.25f, 1e-3);
    EXPECT_NEAR(maxZ, 1.5f, 1e-3);
}

TEST(DrawCuboid, FacesAreWoundAsTheirTableSaysZFacesClockwiseOthersCounterClockwise) {
    // Seen from outside, a counter-clockwise triangle's normal (by the right-hand rule)
    // points outward.
    const auto triangles = captureTriangles([] { drawCuboid(1, 2, 3, 1); });
    for (const auto& tri : triangles) {
        const float ux = tri[1].x - tri[0].x, uy = tri[1].y - tri[0].y, uz = tri[1].z - tri[0].z;
        const float vx = tri[2].x - tri[0].x, vy = tri[2].y - tri[0].y, vz = tri[2].z - tri[0].z;
        const float n[3] = {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
        const float c[3] = {(tri[0].x + tri[1].x + tri[2].x) / 3, (tri[0].y + tri[1].y + tri[2].y) / 3,
                            (tri[0].z + tri[1].z + tri[2].z) / 3};
        const bool zFace = near(std::fabs(c[2]), 1.5f);
        const float outward = n[0] * c[0] + n[1] * c[1] + n[2] * c[2];
        if (zFace)
            EXPECT_LT(outward, 0) << "a Z face should be clockwise from outside";
        else
            EXPECT_GT(outward, 0) << "an X or Y face should be counter-clockwise from outside";
    }
}

TEST(DrawCylinder, SideStripOverlapsItsSeamAndCapsAreHundredVertexPolygons) {
    const float r = 0.5f, d = 2.0f;
    const auto triangles = captureTriangles([&] { drawCylinder(r, d); });
    int side = 0, capNeg = 0, capPos = 0;
    float maxT = 0;
    for (const auto& tri : triangles) {
        const bool allNeg = near(tri[0].x, -1) && near(tri[1].x, -1) && near(tri[2].x, -1);
        const bool allPos = near(tri[0].x, 1) && near(tri[1].x, 1) && near(tri[2].x, 1);
        if (allNeg) ++capNeg;
        else if (allPos) ++capPos;
        else ++side;
        for (const auto& v : tri) {
            EXPECT_NEAR(std::hypot(v.y, v.z), r, 1e-3);
            if (!allNeg && !allPos) maxT = std::fmax(maxT, v.t);
        }
    }
    EXPECT_EQ(side, 208) << "105 vertex pairs";
    EXPECT_EQ(capNeg, 98) << "a 100-vertex polygon";
    EXPECT_EQ(capPos, 98);
    // The last angle sample is 104 steps of PI/50, a quarter radian past a full turn,
    // and t = (a/2)*PI there.
    EXPECT_NEAR(maxT, 104 * (PI / 50) / 2 * PI, 1e-2);
}

TEST(SetMaterial, SetsTheFourFrontTermsAndLeavesEmissionAlone) {
    const float glow[4] = {0.3f, 0.4f, 0.3f, 1.0f};
    glMaterialfv(GL_FRONT, GL_EMISSION, glow);
    setMaterial(WHITE_KEY_COLOUR);
    float value[4];
    glGetMaterialfv(GL_FRONT, GL_EMISSION, value);
    EXPECT_FLOAT_EQ(value[1], 0.4f);
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, value);
    EXPECT_FLOAT_EQ(value[0], 0.85f);
    glGetMaterialfv(GL_FRONT, GL_SPECULAR, value);
    EXPECT_FLOAT_EQ(value[2], 0.5f);
    glGetMaterialfv(GL_FRONT, GL_SHININESS, value);
    EXPECT_FLOAT_EQ(value[0], 100.0f);
    glGetMaterialfv(GL_BACK, GL_DIFFUSE, value);
    EXPECT_NE(value[0], 0.85f) << "the back face keeps GL's default";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(Translatev, UsesTheFirstThreeElements) {
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    translatev(Vector(std::array<float, 4>{1, 2, 3, 4}));
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    glPopMatrix();
    EXPECT_FLOAT_EQ(m[12], 1);
    EXPECT_FLOAT_EQ(m[13], 2);
    EXPECT_FLOAT_EQ(m[14], 3);
}

TEST(TranslatevDeathTest, ShortVectorFailsTheSubscriptAssertion) {
    const float two[2] = {1, 2};
    EXPECT_DEATH(translatev(Vector(2, two)), "index >= 0 && index < d");
}

// Text: as wide as GLUT's 9 x 15 font at its first size, and growing with the window.
TEST(Text, FifteenPixelsAdvanceNinePixelsAGlyphAsGlutsFixedFontDid) {
    TextFont font;
    ASSERT_TRUE(font.scalable()) << "the font package is missing: " << TEXT_FONT_FILE;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, GL_TEST_WIDTH, 0, GL_TEST_HEIGHT, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glViewport(0, 0, GL_TEST_WIDTH, GL_TEST_HEIGHT);
    float pos[4];
    glRasterPos2f(10, 20);
    font.draw("", BASE_TEXT_PIXELS);
    glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    EXPECT_FLOAT_EQ(pos[0], 10);
    EXPECT_FLOAT_EQ(pos[1], 20);
    font.draw("Hello", BASE_TEXT_PIXELS);
    glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    EXPECT_FLOAT_EQ(pos[0], 10 + 5 * 9);
    EXPECT_EQ(font.width("Hello", BASE_TEXT_PIXELS), 45);
    // One character a letter, whatever its bytes: "Frère" is five wide, not six.
    EXPECT_EQ(font.width("Fr\xc3\xa8re", BASE_TEXT_PIXELS), 45);
    EXPECT_EQ(font.width("Hello", 2 * BASE_TEXT_PIXELS), 90);
}

namespace {
// The top 200 rows of the window, left 400 columns, as the renderer draws the scene into a
// viewport of the given height whose top is the window's (the part a caption is drawn in).
std::vector<unsigned char> topLeft(SceneRenderer& renderer, const Scene& scene, int viewportHeight) {
    renderer.reshape(GL_TEST_WIDTH, viewportHeight);
    glViewport(0, GL_TEST_HEIGHT - viewportHeight, GL_TEST_WIDTH, viewportHeight);
    renderer.draw(scene);
    glFinish();
    std::vector<unsigned char> pixels(static_cast<size_t>(400) * 200 * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, GL_TEST_HEIGHT - 200, 400, 200, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// The rows where a caption put white text that the scene alone does not have.
int captionTextRows(SceneRenderer& renderer, int viewportHeight) {
    Scene scene;
    const std::vector<unsigned char> plain = topLeft(renderer, scene, viewportHeight);
    scene.caption = "major chords";
    const std::vector<unsigned char> captioned = topLeft(renderer, scene, viewportHeight);
    int rows = 0;
    for (int y = 0; y < 200; ++y) {
        bool text = false;
        for (int x = 0; x < 400 && !text; ++x) {
            const size_t at = (static_cast<size_t>(y) * 400 + x) * 3;
            const bool white = captioned[at] == 255 && captioned[at + 1] == 255 && captioned[at + 2] == 255;
            text = white && (plain[at] != 255 || plain[at + 1] != 255 || plain[at + 2] != 255);
        }
        rows += text;
    }
    return rows;
}
}  // namespace

TEST(Text, CaptionsGrowWithTheWindowsHeightBeyondItsFirstSize) {
    makeGlTestContextCurrent();
    SceneRenderer renderer{ResourcePaths()};
    renderer.initGl(Scene());
    const int first = captionTextRows(renderer, GL_TEST_HEIGHT);
    EXPECT_GE(first, 10) << "the caption's letters stand about 11 pixels high";
    EXPECT_LE(first, 15);
    EXPECT_EQ(captionTextRows(renderer, 600), first) << "never smaller than at first";
    const int large = captionTextRows(renderer, 2160);
    EXPECT_GE(large, 2 * first) << "a 4K window's caption is " << large << " rows against " << first;
    renderer.reshape(GL_TEST_WIDTH, GL_TEST_HEIGHT);
}