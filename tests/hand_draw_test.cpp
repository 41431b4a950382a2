// What a hand draws, read back through GL feedback: its skeleton, the mirrored left hand,
// joints that do or do not exist, and the GL state it leaves behind.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "Draw.h"
#include "Hand.h"
#include "HandDraw.h"
#include "RightHandShapes.h"
#include "gl_test_support.h"
#include "lights.h"
#include "modelDims.h"

namespace {
using Point = std::array<float, 3>;

// 100 pixels a scene unit around the origin, so window coordinates map back to the scene.
const float SCALE = 100, HALF_W = GL_TEST_WIDTH / 2 / SCALE, HALF_H = GL_TEST_HEIGHT / 2 / SCALE,
            DEPTH = 10;

// Every vertex `draw` emits, in scene coordinates and drawing order.
std::vector<Point> capture(const std::function<void()>& draw) {
    std::vector<GLfloat> buffer(600000);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);
    EXPECT_GE(used, 0) << "feedback buffer overflow";
    std::vector<Point> vertices;
    for (GLint i = 0; i < used;) {
        if (buffer[i++] != GL_POLYGON_TOKEN) {
            ADD_FAILURE() << "only polygons are expected";
            break;
        }
        for (int n = static_cast<int>(buffer[i++]); n > 0; --n, i += 3)
            vertices.push_back({buffer[i] / SCALE - HALF_W, buffer[i + 1] / SCALE - HALF_H,
                                DEPTH - 2 * DEPTH * buffer[i + 2]});
    }
    return vertices;
}

std::vector<Point> captureHand(Hand& hand) {
    return capture([&] {
        Solids solids;
        drawHand(hand, solids);
    });
}

// Vertex counts of the palm and of one segment, so a hand's vertices split into its parts:
// palm, thumb 2 segments, then 3 for each long finger.
size_t palmSize() {
    return capture([] { drawCuboid(PALM_LENGTH, PALM_WIDTH, PALM_THICKNESS, RECT_RES); }).size();
}
size_t segmentSize() {
    return capture([] { drawCylinder(FINGER_RAD, FINGER_LENGTH); }).size();
}
size_t segmentStart(int segment) { return palmSize() + segment * segmentSize(); }

// The centre of a segment: its vertices are symmetric about it, so their bounding box is too.
Point centre(const std::vector<Point>& v, size_t first, size_t count) {
    Point lo = v[first], hi = v[first];
    for (size_t i = first; i < first + count; ++i)
        for (int a = 0; a < 3; ++a)
            lo[a] = std::min(lo[a], v[i][a]), hi[a] = std::max(hi[a], v[i][a]);
    return {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
}
Point segmentCentre(const std::vector<Point>& v, int segment) {
    return centre(v, segmentStart(segment), segmentSize());
}

void expectPoint(const Point& p, const Point& e, const char* what) {
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(p[a], e[a], 2e-3f) << what << ", axis " << a;
}

class HandDrawing : public testing::Test {
protected:
    void SetUp() override {
        makeGlTestContextCurrent();
        glViewport(0, 0, GL_TEST_WIDTH, GL_TEST_HEIGHT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-HALF_W, HALF_W, -HALF_H, HALF_H, -DEPTH, DEPTH);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    void TearDown() override { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }

    Hand straight{1};
    void straighten() {
        straight.setDOFs(Vector(Hand::NUM_HAND_DOFS));
        straight.setPos(Vector(3));
    }
};
}  // namespace

TEST_F(HandDrawing, StraightHandHasItsFingersRootedOnThePalm) {
    straighten();
    const std::vector<Point> v = captureHand(straight);
    ASSERT_EQ(v.size(), segmentStart(14));
    const float L = FINGER_LENGTH, deg = 3.14159265f / 180;
    expectPoint(centre(v, 0, palmSize()), {0, 0, 0}, "palm");
    const Point thumbRoot = {-0.81578946f, 0.19375f, 0};
    expectPoint(segmentCentre(v, 0), thumbRoot, "thumb root");
    // Along +y, rolled 5 degrees about its axis and bent 30 degrees out of the palm.
    const Point along = {-std::sin(5 * deg) * std::sin(30 * deg), std::cos(30 * deg),
                         -std::cos(5 * deg) * std::sin(30 * deg)};
    expectPoint(segmentCentre(v, 1),
                {thumbRoot[0] + L * along[0], thumbRoot[1] + L * along[1], L * along[2]},
                "thumb tip");
    const float rootX[4] = {-0.58125f, -0.19375f, 0.19375f, 0.58125f};
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 3; ++j)
            expectPoint(segmentCentre(v, 2 + 3 * k + j), {rootX[k], 0.775f + j * L, 0}, "finger");
}

TEST_F(HandDrawing, LeftHandIsTheMirrorImageOfTheRight) {
    Hand right(1), left(-1);
    for (Hand* h : {&right, &left}) {
        h->setDOFs(DEFAULT_SHAPE_RIGHT);
        h->setWrist(Vector(std::array<float, 3>{-50, 12, 20}));
    }
    right.setPos(Vector(std::array<float, 3>{0.5f, 0.2f, 0.3f}));
    left.setPos(Vector(std::array<float, 3>{-0.5f, 0.2f, 0.3f}));
    const std::vector<Point> r = captureHand(right), l = captureHand(left);
    ASSERT_EQ(r.size(), l.size());
    for (size_t i = 0; i < r.size(); ++i)
        if (std::fabs(l[i][0] + r[i][0]) + std::fabs(l[i][1] - r[i][1]) +
                std::fabs(l[i][2] - r[i][2]) >
            1e-4f)
            FAIL() << "vertex " << i << " is not mirrored";
    expectPoint(centre(l, 0, palmSize()), {-0.5f, 0.2f, 0.3f}, "left palm");
    EXPECT_GT(segmentCentre(l, 0)[0], -0.5f) << "the left thumb is on the palm's +x side";
}

TEST_F(HandDrawing, ThumbHasNoThirdJointWhileTheIndexBendsOnlyItsEndSegment) {
    straighten();
    const std::vector<Point> before = captureHand(straight);
    straight.fingers[0].shape[3] = 40;
    EXPECT_EQ(captureHand(straight), before);

    straight.fingers[0].shape[3] = 0;
    straight.fingers[1].shape[3] = 40;
    const std::vector<Point> bent = captureHand(straight);
    ASSERT_EQ(bent.size(), before.size());
    const size_t endFirst = segmentStart(4), endLast = segmentStart(5);
    for (size_t i = 0; i < bent.size(); ++i)
        if ((i < endFirst || i >= endLast) && bent[i] != before[i])
            FAIL() << "vertex " << i << " moved";
    // A hinge about the finger's own y: the segment leaves the palm plane, its x stays.
    const Point was = segmentCentre(before, 4), now = segmentCentre(bent, 4);
    EXPECT_NEAR(now[0], was[0], 1e-3f);
    EXPECT_NEAR(std::fabs(now[2]), FINGER_LENGTH / 2 * std::sin(40 * 3.14159265f / 180), 1e-3f);
}

TEST_F(HandDrawing, IsSkinnedAndTexturedAndLeavesTheStateAsFound) {
    GLuint texture = 0;
    const unsigned char red[4] = {255, 0, 0, 255};
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, red);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glDisable(GL_LIGHTING);
    glColor3f(1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    GLfloat matrixBefore[16], matrixAfter[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, matrixBefore);

    straighten();
    Solids solids;
    drawHand(straight, solids);

    // White modulated by the bound texture: red only if the hand turned texturing on.
    unsigned char pixel[4] = {0, 0, 0, 0};
    glReadBuffer(GL_BACK);
    glReadPixels(GL_TEST_WIDTH / 2 + 25, GL_TEST_HEIGHT / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE,
                 pixel);
    EXPECT_GT(pixel[0], 200);
    EXPECT_LT(pixel[1], 30);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    glGetFloatv(GL_MODELVIEW_MATRIX, matrixAfter);
    EXPECT_TRUE(std::equal(matrixBefore, matrixBefore + 16, matrixAfter))
        << "unbalanced push and pop";
    GLfloat diffuse[4];
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    EXPECT_TRUE(std::equal(diffuse, diffuse + 4, SKIN_COLOUR[1]));
    glDeleteTextures(1, &texture);
}
