// What a hand draws: its skeleton read back through GL feedback, the mirrored left hand,
// its texture, and the GL state it leaves behind.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "Draw.h"
#include "Hand.h"
#include "RightHandShapes.h"
#include "gl_test_support.h"
#include "lights.h"
#include "modelDims.h"

namespace {

using Point = std::array<float, 3>;
using Polygon = std::vector<Point>;
// Palm first, then one part per finger segment: thumb 2, then index to little finger 3 each.
using Parts = std::vector<std::vector<Polygon>>;

const int PALM = 0;
const int THUMB_BASE = 1;
const int INDEX_BASE = 3;  // index segments are parts 3, 4, 5
const int NUM_PARTS = 1 + 2 + 4 * 3;

// Window of 100 pixels per scene unit, centred on the origin, so window coordinates
// translate back to scene coordinates exactly enough to compare geometry.
const float SCALE = 100.0f;
const float HALF_W = GL_TEST_WIDTH / 2 / SCALE;
const float HALF_H = GL_TEST_HEIGHT / 2 / SCALE;
const float DEPTH = 10.0f;

void setUpView() {
    makeGlTestContextCurrent();
    glViewport(0, 0, GL_TEST_WIDTH, GL_TEST_HEIGHT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-HALF_W, HALF_W, -HALF_H, HALF_H, -DEPTH, DEPTH);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glColor3f(1, 1, 1);
}

Point toScene(const float* window) {
    return {window[0] / SCALE - HALF_W, window[1] / SCALE - HALF_H, DEPTH - 2 * DEPTH * window[2]};
}

// The polygons `draw` emits, in scene coordinates, as the feedback reports them (the
// driver may hand a polygon back as several triangles).
std::vector<Polygon> capture(const std::function<void()>& draw) {
    std::vector<GLfloat> buffer(600000);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);
    EXPECT_GE(used, 0) << "feedback buffer overflow";

    std::vector<Polygon> polygons;
    for (GLint i = 0; i < used;) {
        const GLint token = static_cast<GLint>(buffer[i++]);
        EXPECT_EQ(token, GL_POLYGON_TOKEN) << "only polygons are drawn, nothing clipped";
        if (token != GL_POLYGON_TOKEN) break;
        const int count = static_cast<int>(buffer[i++]);
        Polygon polygon;
        for (int k = 0; k < count; ++k, i += 3) polygon.push_back(toScene(&buffer[i]));
        polygons.push_back(polygon);
    }
    return polygons;
}

// How the primitives come back: a cuboid's polygon count, and a cylinder's side strip
// followed by its cap at -d/2 and its cap at +d/2. Learnt from drawing each alone
// untransformed, where the caps are the polygons lying wholly at one end.
struct Layout {
    size_t cuboid = 0, strip = 0, cap = 0;
    size_t cylinder() const { return strip + 2 * cap; }
};

Layout learnLayout() {
    Layout layout;
    glLoadIdentity();
    layout.cuboid = capture([] { drawCuboid(PALM_LENGTH, PALM_WIDTH, PALM_THICKNESS, RECT_RES); }).size();
    const float d = FINGER_LENGTH;
    const std::vector<Polygon> cylinder = capture([&] { drawCylinder(FINGER_RAD, d); });
    auto allAt = [](const Polygon& p, float x) {
        for (const Point& v : p)
            if (std::fabs(v[0] - x) > 1e-4f) return false;
        return true;
    };
    for (const Polygon& p : cylinder) {
        if (allAt(p, -d / 2)) {
            ++layout.cap;
        } else if (layout.cap == 0) {
            ++layout.strip;
        }
    }
    EXPECT_EQ(layout.cylinder(), cylinder.size());
    return layout;
}

// Palm first, then the segments in drawing order.
Parts captureHand(Hand& hand) {
    static const Layout layout = learnLayout();
    glLoadIdentity();
    const std::vector<Polygon> all = capture([&] { hand.draw(); });
    EXPECT_EQ(all.size(), layout.cuboid + (NUM_PARTS - 1) * layout.cylinder());
    Parts parts;
    size_t next = 0;
    for (int part = 0; part < NUM_PARTS && next < all.size(); ++part) {
        const size_t n = part == PALM ? layout.cuboid : layout.cylinder();
        parts.emplace_back(all.begin() + next, all.begin() + std::min(next + n, all.size()));
        next += n;
    }
    return parts;
}

// Centres of a segment's cap at its near end (towards its hinge) and at its far end: the
// mean of each cap's distinct vertices, a closing repeat of the first one left out.
std::array<Point, 2> capCentres(const std::vector<Polygon>& part) {
    static const Layout layout = learnLayout();
    std::array<Point, 2> centres{};
    for (int cap = 0; cap < 2; ++cap) {
        std::vector<Point> distinct;
        const size_t first = layout.strip + cap * layout.cap;
        for (size_t i = first; i < first + layout.cap && i < part.size(); ++i)
            for (const Point& v : part[i]) {
                bool seen = false;
                for (const Point& d : distinct)
                    seen |= std::fabs(d[0] - v[0]) + std::fabs(d[1] - v[1]) + std::fabs(d[2] - v[2]) < 1e-5f;
                if (!seen) distinct.push_back(v);
            }
        Point c{0, 0, 0};
        for (const Point& v : distinct)
            for (int a = 0; a < 3; ++a) c[a] += v[a] / distinct.size();
        centres[cap] = c;
    }
    return centres;
}

Point segmentCentre(const std::vector<Polygon>& part) {
    const auto caps = capCentres(part);
    return {(caps[0][0] + caps[1][0]) / 2, (caps[0][1] + caps[1][1]) / 2, (caps[0][2] + caps[1][2]) / 2};
}

void expectPoint(const Point& p, const Point& e, float tol, const char* what) {
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(p[a], e[a], tol) << what << " axis " << a;
}

bool samePart(const std::vector<Polygon>& a, const std::vector<Polygon>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].size() != b[i].size()) return false;
        for (size_t k = 0; k < a[i].size(); ++k)
            for (int c = 0; c < 3; ++c)
                if (std::fabs(a[i][k][c] - b[i][k][c]) > 1e-5f) return false;
    }
    return true;
}

// Parts that differ between two drawings of the same structure.
std::vector<int> changedParts(const Parts& a, const Parts& b) {
    EXPECT_EQ(a.size(), b.size());
    std::vector<int> changed;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (!samePart(a[i], b[i])) changed.push_back(static_cast<int>(i));
    return changed;
}

void straighten(Hand& hand) {
    hand.setDOFs(Vector(Hand::NUM_HAND_DOFS));
    hand.setPos(Vector(3));
}

class HandDrawing : public testing::Test {
protected:
    void SetUp() override {
        setUpView();
        while (glGetError() != GL_NO_ERROR) {}
    }
    void TearDown() override { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }
};

}  // namespace

TEST_F(HandDrawing, StraightHandLiesInThePalmPlaneWithFingersAlongY) {
    Hand hand(1);
    straighten(hand);
    const Parts parts = captureHand(hand);
    ASSERT_EQ(static_cast<int>(parts.size()), NUM_PARTS);

    Point lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
    for (const Polygon& quad : parts[PALM])
        for (const Point& v : quad)
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], v[a]);
                hi[a] = std::max(hi[a], v[a]);
            }
    expectPoint(lo, {-0.775f, -0.775f, -0.19375f}, 1e-4f, "palm low corner");
    expectPoint(hi, {0.775f, 0.775f, 0.19375f}, 1e-4f, "palm high corner");

    const float L = FINGER_LENGTH;
    const float rootX[4] = {-0.58125f, -0.19375f, 0.19375f, 0.58125f};
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 3; ++j)
            expectPoint(segmentCentre(parts[INDEX_BASE + 3 * k + j]), {rootX[k], 0.775f + j * L, 0},
                        1e-3f, "long finger segment");

    // The thumb points along +y, rolled 5 degrees and bent 30 degrees out of the palm.
    const Point root{-0.81578946f, 0.19375f, 0};
    expectPoint(segmentCentre(parts[THUMB_BASE]), root, 1e-3f, "thumb root");
    const float deg = 3.14159265f / 180;
    const Point along{-std::sin(5 * deg) * std::sin(30 * deg), std::cos(30 * deg),
                      -std::cos(5 * deg) * std::sin(30 * deg)};
    expectPoint(segmentCentre(parts[THUMB_BASE + 1]),
                {root[0] + L * along[0], root[1] + L * along[1], root[2] + L * along[2]}, 1e-3f,
                "thumb second segment");
}

TEST_F(HandDrawing, LeftHandIsTheMirrorImageOfTheRight) {
    Hand right(1), left(-1);
    // A pose with no symmetry of its own, at mirrored places.
    for (Hand* h : {&right, &left}) {
        h->setDOFs(DEFAULT_SHAPE_RIGHT);
        h->setWrist(Vector(std::array<float, 3>{-50, 12, 20}));
    }
    right.setPos(Vector(std::array<float, 3>{0.5f, 0.2f, 0.3f}));
    left.setPos(Vector(std::array<float, 3>{-0.5f, 0.2f, 0.3f}));

    const Parts r = captureHand(right);
    const Parts l = captureHand(left);
    ASSERT_EQ(r.size(), l.size());
    int compared = 0;
    for (size_t p = 0; p < r.size(); ++p) {
        ASSERT_EQ(r[p].size(), l[p].size());
        for (size_t i = 0; i < r[p].size(); ++i) {
            ASSERT_EQ(r[p][i].size(), l[p][i].size());
            for (size_t k = 0; k < r[p][i].size(); ++k, ++compared)
                expectPoint(l[p][i][k], {-r[p][i][k][0], r[p][i][k][1], r[p][i][k][2]}, 1e-4f,
                            "mirrored vertex");
        }
    }
    EXPECT_GT(compared, 1000);
    EXPECT_LT(segmentCentre(r[THUMB_BASE])[0], 0.5f) << "right thumb on the -x side of its palm";
    EXPECT_GT(segmentCentre(l[THUMB_BASE])[0], -0.5f) << "left thumb on the +x side";
}

TEST_F(HandDrawing, ThumbHasNoThirdJointButTheIndexBendsItsEndSegment) {
    Hand hand(1);
    const Parts before = captureHand(hand);

    hand.fingers[0].shape[3] += 40;
    EXPECT_TRUE(changedParts(before, captureHand(hand)).empty());

    hand.fingers[0].shape[3] -= 40;
    hand.fingers[1].shape[3] += 40;
    EXPECT_EQ(changedParts(before, captureHand(hand)), std::vector<int>{INDEX_BASE + 2});
}

TEST_F(HandDrawing, FirstJointRollsTheThumbButBendsAFinger) {
    Hand hand(1);
    straighten(hand);
    const Parts before = captureHand(hand);

    hand.fingers[0].shape[1] = 40;
    const Parts rolled = captureHand(hand);
    EXPECT_FALSE(samePart(before[THUMB_BASE], rolled[THUMB_BASE])) << "the segment turned";
    for (int c = 0; c < 2; ++c)
        expectPoint(capCentres(rolled[THUMB_BASE])[c], capCentres(before[THUMB_BASE])[c], 1e-3f,
                    "thumb axis stays");

    hand.fingers[0].shape[1] = 0;
    hand.fingers[1].shape[1] = 40;
    const Parts bent = captureHand(hand);
    // Bent about the finger's y, which the 90-degree turn leaves along the hand's y: the
    // far cap swings out of the palm plane.
    const Point farBefore = capCentres(before[INDEX_BASE])[1];
    const Point farBent = capCentres(bent[INDEX_BASE])[1];
    const Point nearBent = capCentres(bent[INDEX_BASE])[0];
    EXPECT_GT(std::fabs(farBent[2] - farBefore[2]), 0.2f);
    EXPECT_NEAR(farBent[2], -nearBent[2], 1e-3f) << "pivoting about the root";
}

TEST_F(HandDrawing, IsTexturedAndSkinnedAndRestoresState) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    const unsigned char red[4] = {255, 0, 0, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, red);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glDisable(GL_TEXTURE_2D);

    GLfloat matrixBefore[16], matrixAfter[16];
    glTranslatef(0.25f, 0, 0);
    glGetFloatv(GL_MODELVIEW_MATRIX, matrixBefore);

    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    Hand hand(1);
    hand.setPos(Vector(3));
    hand.draw();
    glFinish();

    // White vertex colour modulated by the bound texture: red only if texturing was on.
    unsigned char pixel[4] = {0, 0, 0, 0};
    glReadBuffer(GL_BACK);
    glReadPixels(GL_TEST_WIDTH / 2 + 25, GL_TEST_HEIGHT / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_GT(pixel[0], 200);
    EXPECT_LT(pixel[1], 30);
    EXPECT_LT(pixel[2], 30);

    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    glGetFloatv(GL_MODELVIEW_MATRIX, matrixAfter);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(matrixAfter[i], matrixBefore[i]) << "matrix element " << i;
    GLfloat diffuse[4];
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(diffuse[i], SKIN_COLOUR[1][i]);
    glDeleteTextures(1, &texture);
}
