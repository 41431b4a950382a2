// Merging drawCuboid's grid: a merged quad never strays from the fine grid's colour by more
// than the tolerance, whichever way GL cuts quads; jumps in the light keep their fine cells;
// the lighting copy agrees with the fixed-function equation; faces turned away are left out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "KeyboardMesh.h"

namespace {
const int N = 50;
const float TOLERANCE = 0.5f / 255;

Shade grey(float v) { return {{v, v, v}, false}; }

// The colour GL draws at index-space point (x, y) for a quad over `b` whose corner colours
// come from `f`, cut along v0-v2 (main) or v1-v3.
float quadValue(const std::function<float(int, int)>& f, const GridBlock& b, float x, float y, bool main) {
    const float s = (x - b.i0) / (b.i1 - b.i0), t = (y - b.j0) / (b.j1 - b.j0);
    const float c00 = f(b.i0, b.j0), c10 = f(b.i1, b.j0), c01 = f(b.i0, b.j1), c11 = f(b.i1, b.j1);
    if (main) return s >= t ? c00 + s * (c10 - c00) + t * (c11 - c10) : c00 + t * (c01 - c00) + s * (c11 - c01);
    return s + t <= 1 ? c00 + s * (c10 - c00) + t * (c01 - c00) : c11 + (1 - s) * (c01 - c11) + (1 - t) * (c10 - c11);
}

// The largest difference, sampled densely inside every cell, between the merged quads and
// the fine grid they replace, over both ways of cutting each. A block that is a single
// cell is the grid's own quad, cut the same way as the grid.
float worstError(const std::vector<GridBlock>& blocks, const std::function<float(int, int)>& f) {
    float worst = 0;
    const int SUB = 6;
    for (const GridBlock& b : blocks) {
        const bool single = b.i1 - b.i0 == 1 && b.j1 - b.j0 == 1;
        for (int i = b.i0; i < b.i1; ++i)
            for (int j = b.j0; j < b.j1; ++j)
                for (int a = 0; a <= SUB; ++a)
                    for (int c = 0; c <= SUB; ++c) {
                        const float x = i + float(a) / SUB, y = j + float(c) / SUB;
                        const GridBlock cell{i, i + 1, j, j + 1};
                        for (bool cellMain : {true, false})
                            for (bool quadMain : {true, false})
                                if (!single || quadMain == cellMain)
                                    worst = std::max(worst, std::fabs(quadValue(f, b, x, y, quadMain) -
                                                                      quadValue(f, cell, x, y, cellMain)));
                    }
    }
    return worst;
}

// Every cell of the grid lies in exactly one block.
void expectTiling(const std::vector<GridBlock>& blocks) {
    std::vector<int> covered(N * N, 0);
    for (const GridBlock& b : blocks)
        for (int i = b.i0; i < b.i1; ++i)
            for (int j = b.j0; j < b.j1; ++j) ++covered[i * N + j];
    EXPECT_TRUE(std::all_of(covered.begin(), covered.end(), [](int c) { return c == 1; }));
}

FaceField fieldOf(const std::function<float(int, int)>& f) {
    FaceField field;
    field.at = [f](int i, int j) { return grey(f(i, j)); };
    return field;
}
}  // namespace

TEST(CuboidGrid, WalksTheSameStepsAsDrawCuboid) {
    const CuboidGrid fine(0.02f);
    ASSERT_EQ(fine.cells(), 50);
    EXPECT_FLOAT_EQ(fine.p[49], 0.9799996f) << "accumulated in single precision, as drawCuboid does";
    EXPECT_EQ(fine.lo[0], -0.5f);
    EXPECT_EQ(fine.hi[49], (fine.p[49] - 0.5f) + 0.02f);
    EXPECT_EQ(CuboidGrid(1.0f).cells(), 1);
    EXPECT_EQ(CuboidGrid(0.5f).cells(), 2);
}

TEST(MergeGrid, AFlatColourIsOneQuad) {
    const auto blocks = mergeGrid(N, TOLERANCE, fieldOf([](int, int) { return 0.4f; }));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].i1 - blocks[0].i0, N);
    EXPECT_EQ(blocks[0].j1 - blocks[0].j0, N);
}

TEST(MergeGrid, AColourLinearAcrossTheFaceIsOneQuad) {
    const auto blocks = mergeGrid(N, TOLERANCE, fieldOf([](int i, int j) { return 0.1f + 0.01f * i + 0.004f * j; }));
    EXPECT_EQ(blocks.size(), 1u);
}

TEST(MergeGrid, ASmoothBumpStaysWithinToleranceEverywhereWithFarFewerQuads) {
    auto bump = [](int i, int j) {
        const float x = (i - 20.0f) / 12.0f, y = (j - 31.0f) / 9.0f;
        return 0.3f + 0.6f * std::exp(-(x * x + y * y));
    };
    const auto blocks = mergeGrid(N, TOLERANCE, fieldOf(bump));
    expectTiling(blocks);
    EXPECT_LT(blocks.size(), static_cast<size_t>(N * N / 2));
    EXPECT_LE(worstError(blocks, bump), TOLERANCE * 1.001f);
}

TEST(MergeGrid, ABumpWiderOneWayThanTheOtherIsCutAcrossItsNarrowWay) {
    // Varies along j only: the blocks can run the whole way along i.
    auto ridge = [](int, int j) { return 0.5f + 0.4f * std::sin(j * 0.2f); };
    const auto blocks = mergeGrid(N, TOLERANCE, fieldOf(ridge));
    expectTiling(blocks);
    EXPECT_LE(worstError(blocks, ridge), TOLERANCE * 1.001f);
    const bool allFullWidth =
        std::all_of(blocks.begin(), blocks.end(), [](const GridBlock& b) { return b.i0 == 0 && b.i1 == N; });
    EXPECT_TRUE(allFullWidth);
}

TEST(MergeGrid, AColourThatVariesInOneChannelAloneIsFollowedThere) {
    // Red and green flat, blue a bump: only blue tells where the blocks must be small.
    auto blue = [](int i, int j) {
        const float x = (i - 30.0f) / 10.0f, y = (j - 20.0f) / 10.0f;
        return 0.2f + 0.7f * std::exp(-(x * x + y * y));
    };
    FaceField field;
    field.at = [&](int i, int j) { return Shade{{0.4f, 0.4f, blue(i, j)}, false}; };
    const auto blocks = mergeGrid(N, TOLERANCE, field);
    expectTiling(blocks);
    EXPECT_GT(blocks.size(), 4u);
    EXPECT_LE(worstError(blocks, blue), TOLERANCE * 1.001f);
}

TEST(MergeGrid, ALightPoolsEdgeKeepsTheFineCellsAlongIt) {
    // A disc of light: inside bright, outside dark, as a narrow spot's cone draws it.
    auto pool = [](int i, int j) {
        const float dx = i - 24.3f, dy = j - 26.7f;
        return dx * dx + dy * dy < 14.0f * 14.0f ? 0.9f : 0.05f;
    };
    const auto blocks = mergeGrid(N, TOLERANCE, fieldOf(pool));
    expectTiling(blocks);
    EXPECT_LE(worstError(blocks, pool), TOLERANCE * 1.001f);
    // A cell that the edge crosses at a corner is not linear whichever way it is cut: it
    // is drawn as the grid's own cell.
    int cornerCells = 0;
    for (const GridBlock& b : blocks)
        for (int i = b.i0; i < b.i1; ++i)
            for (int j = b.j0; j < b.j1; ++j) {
                const float twist = pool(i, j) + pool(i + 1, j + 1) - pool(i + 1, j) - pool(i, j + 1);
                if (std::fabs(twist) > 2 * TOLERANCE) {
                    ++cornerCells;
                    EXPECT_EQ(b.i1 - b.i0, 1);
                    EXPECT_EQ(b.j1 - b.j0, 1);
                }
            }
    EXPECT_GT(cornerCells, 20);
    EXPECT_LT(blocks.size(), static_cast<size_t>(N * N / 3));
}

TEST(MergeGrid, AVertexNearAJumpKeepsItsFourCellsFine) {
    FaceField field;
    field.at = [](int i, int j) {
        Shade s = grey(0.3f);
        s.nearJump = i == 17 && j == 33;
        return s;
    };
    const auto blocks = mergeGrid(N, TOLERANCE, field);
    expectTiling(blocks);
    int fineAround = 0;
    for (const GridBlock& b : blocks) {
        const bool touches = b.i0 <= 17 && 17 <= b.i1 && b.j0 <= 33 && 33 <= b.j1;
        if (touches) {
            EXPECT_EQ(b.i1 - b.i0, 1);
            EXPECT_EQ(b.j1 - b.j0, 1);
            ++fineAround;
        }
    }
    EXPECT_EQ(fineAround, 4);
}

TEST(MergeGrid, ARegionKnownToBeUniformIsOneQuadWithoutLookingAtIt) {
    int looked = 0;
    FaceField field;
    field.at = [&](int, int) {
        ++looked;
        return grey(0.2f);
    };
    field.uniform = [](const GridBlock&) { return true; };
    EXPECT_EQ(mergeGrid(N, TOLERANCE, field).size(), 1u);
    EXPECT_EQ(looked, 0);
}

// ---- The lighting copy -----------------------------------------------------------------
namespace {
// A spot 5 units above a face (eye coordinates: the face faces +z towards the viewer).
LightingState spotAbove(float cutoff, float exponent) {
    LightingState s;
    s.lighting = true;
    s.sceneAmbient = {0.2f, 0.2f, 0.2f, 1};
    LightSource& l = s.lights[0];
    l.enabled = true;
    l.ambient = {0.3f, 0.3f, 0.3f, 1};
    l.diffuse = {1, 1, 1, 1};
    l.specular = {1, 1, 1, 1};
    l.position = {0, 0, 5, 1};
    l.spotDirection = {0, 0, -2};
    l.spotCutoff = cutoff;
    l.spotExponent = exponent;
    return s;
}

SurfaceMaterial whiteKey() {
    SurfaceMaterial m;
    m.ambient = {0.1f, 0.1f, 0.1f, 1};
    m.diffuse = {0.85f, 0.85f, 0.85f, 1};
    m.specular = {0.5f, 0.5f, 0.5f, 1};
    m.shininess = 100;
    return m;
}
}  // namespace

TEST(ShadeVertex, UnderTheSpotsAxisItIsAmbientDiffuseAndAFullHighlight) {
    const Shade s = shadeVertex(spotAbove(50, 3), whiteKey(), {0, 0, 0}, {0, 0, 1});
    // 0.1 * 0.2 scene ambient, then the light: 0.1 * 0.3 + 0.85 * 1 + 0.5 * 1^100 = 1.4, clamped.
    EXPECT_FLOAT_EQ(s.colour[0], 1.0f);
    SurfaceMaterial dim = whiteKey();
    dim.specular = {0, 0, 0, 1};
    dim.diffuse = {0.5f, 0.5f, 0.5f, 1};
    EXPECT_NEAR(shadeVertex(spotAbove(50, 3), dim, {0, 0, 0}, {0, 0, 1}).colour[1], 0.02f + 0.03f + 0.5f, 1e-5f);
    EXPECT_FALSE(s.nearJump);
}

TEST(ShadeVertex, OffTheAxisTheSpotFallsOffAsCosineToItsExponent) {
    SurfaceMaterial m = whiteKey();
    m.specular = {0, 0, 0, 1};
    const std::array<float, 3> p{2, 0, 0};  // 21.8 degrees off the axis, 5.385 from the light
    const float d = std::sqrt(29.0f), cosOff = 5 / d;
    const float expected = 0.02f + std::pow(cosOff, 3.0f) * (0.03f + 0.85f * cosOff);
    EXPECT_NEAR(shadeVertex(spotAbove(50, 3), m, p, {0, 0, 1}).colour[2], expected, 1e-5f);
}

TEST(ShadeVertex, OutsideTheConeOnlyEmissionAndSceneAmbientRemain) {
    SurfaceMaterial m = whiteKey();
    m.emission = {0.05f, 0, 0, 1};
    const Shade s = shadeVertex(spotAbove(10, 3), m, {3, 0, 0}, {0, 0, 1});
    EXPECT_NEAR(s.colour[0], 0.05f + 0.02f, 1e-6f);
    EXPECT_NEAR(s.colour[1], 0.02f, 1e-6f);
}

TEST(ShadeVertex, AVertexOnTheConesEdgeIsMarkedNearAJump) {
    // The edge of a 10 degree cone, 5 units down, is 5 tan(10) across.
    const float edge = 5 * std::tan(10 * 3.14159265f / 180);
    EXPECT_TRUE(shadeVertex(spotAbove(10, 3), whiteKey(), {edge, 0, 0}, {0, 0, 1}).nearJump);
    EXPECT_FALSE(shadeVertex(spotAbove(10, 3), whiteKey(), {edge * 0.9f, 0, 0}, {0, 0, 1}).nearJump);
    EXPECT_FALSE(shadeVertex(spotAbove(10, 3), whiteKey(), {edge * 1.1f, 0, 0}, {0, 0, 1}).nearJump);
}

TEST(ShadeFace, EveryVertexIsWhatShadeVertexGivesThere) {
    // A face seen at a slant, so that every dot product changes along a row.
    const CuboidGrid grid(0.02f);
    const std::array<float, 3> origin{0.3f, -0.5f, -6}, du{0.6f, 0.1f, 0.2f}, dw{0.05f, 0.4f, -2.5f};
    const std::array<float, 3> normal{0, 0.98f, 0.199f};
    LightingState narrow = spotAbove(10, 3);
    narrow.lights[0].position = {0, 2, -6, 1};  // the cone's edge crosses the face
    narrow.lights[0].spotDirection = {0.05f, -1, -0.3f};
    LightingState distant = spotAbove(180, 0);
    distant.lights[0].position = {0.3f, 1, 0.5f, 0};  // at infinity
    distant.lights[0].diffuse = {0.2f, 0.2f, 0.2f, 1};  // dim, so that the sum stays below 1
    distant.lights[1] = narrow.lights[0];
    distant.lights[1].constantAttenuation = 0.5f, distant.lights[1].quadraticAttenuation = 0.1f;
    SurfaceMaterial oddShine = whiteKey();
    oddShine.shininess = 7.5f;  // not a whole power: worked out another way
    LightingState oddSpot = spotAbove(50, 2.5f);
    const struct {
        const char* what;
        LightingState lighting;
        SurfaceMaterial material;
    } cases[] = {{"a narrow spot", narrow, whiteKey()},
                 {"a light at infinity and an attenuated spot", distant, whiteKey()},
                 {"a shininess of 7.5", spotAbove(50, 3), oddShine},
                 {"a spot exponent of 2.5", oddSpot, whiteKey()},
                 {"a spot exponent of 20", spotAbove(50, 20), whiteKey()}};
    for (const auto& c : cases) {
        const std::vector<Shade> shades = shadeFace(c.lighting, c.material, grid, origin, du, dw, normal);
        ASSERT_EQ(shades.size(), 51u * 51u);
        int jumps = 0;
        for (int i = 0; i <= 50; ++i)
            for (int j = 0; j <= 50; ++j) {
                const float u = i < 50 ? grid.lo[i] : grid.hi[49], w = j < 50 ? grid.lo[j] : grid.hi[49];
                const std::array<float, 3> p{origin[0] + u * du[0] + w * dw[0], origin[1] + u * du[1] + w * dw[1],
                                             origin[2] + u * du[2] + w * dw[2]};
                const Shade expected = shadeVertex(c.lighting, c.material, p, normal);
                const Shade& got = shades[i * 51 + j];
                for (int k = 0; k < 3; ++k)
                    ASSERT_NEAR(got.colour[k], expected.colour[k], 2e-5f) << c.what << " at " << i << ", " << j;
                ASSERT_EQ(got.nearJump, expected.nearJump) << c.what << " at " << i << ", " << j;
                jumps += got.nearJump;
            }
        if (&c == &cases[0]) {
            EXPECT_GT(jumps, 0) << "the cone's edge crosses the face";
        }
    }
}

TEST(OutsideEveryCone, OnlyASphereClearOfTheConeCounts) {
    const LightingState s = spotAbove(10, 3);
    EXPECT_TRUE(outsideEveryCone(s, {3, 0, 0}, 0.5f));
    EXPECT_FALSE(outsideEveryCone(s, {0, 0, 0}, 0.1f)) << "on the axis";
    EXPECT_FALSE(outsideEveryCone(s, {1.2f, 0, 0}, 0.5f)) << "reaching over the edge at 0.88";
    LightingState plain = s;
    plain.lights[0].spotCutoff = 180;
    EXPECT_FALSE(outsideEveryCone(plain, {30, 0, 0}, 0.1f)) << "a light with no cone reaches everything";
    plain.lighting = false;
    EXPECT_TRUE(outsideEveryCone(plain, {0, 0, 0}, 1)) << "unlit: every vertex takes the current colour";
}

// ---- Boxes -----------------------------------------------------------------------------
namespace {
Matrix4 identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

// A face's outward axis and side, from the normal its vertices carry.
std::set<std::array<int, 3>> facesIn(const std::vector<MeshVertex>& mesh) {
    std::set<std::array<int, 3>> faces;
    for (const MeshVertex& v : mesh)
        faces.insert({static_cast<int>(std::lround(v.nx)), static_cast<int>(std::lround(v.ny)),
                      static_cast<int>(std::lround(v.nz))});
    return faces;
}
}  // namespace

TEST(AppendLitBox, LeavesOutTheFacesTurnedAwayFromTheEye) {
    const BoxSize key{0.6f, 0.5f, 3.0f};
    const CuboidGrid grid(0.02f);
    LightingState unlit;
    unlit.currentColour = {0.5f, 0.5f, 0.5f};
    // The eye 10 units along +z and 3 up, right above the box's middle in x.
    const Matrix4 view = translated(identity(), 0, -3, -10);
    std::vector<MeshVertex> mesh;
    appendLitBox(mesh, key, grid, view, unlit, SurfaceMaterial{}, TOLERANCE);
    EXPECT_EQ(facesIn(mesh), (std::set<std::array<int, 3>>{{0, 0, 1}, {0, 1, 0}}));

    mesh.clear();
    appendLitBox(mesh, key, grid, translated(identity(), 2, -3, -10), unlit, SurfaceMaterial{}, TOLERANCE);
    EXPECT_EQ(facesIn(mesh), (std::set<std::array<int, 3>>{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}))
        << "an eye off to the left sees the left side too";
}

TEST(AppendLitBox, AnEvenlyLitFaceIsOneQuadCoveringTheWholeFace) {
    const BoxSize key{0.6f, 0.5f, 3.0f};
    LightingState unlit;
    std::vector<MeshVertex> mesh;
    const int quads = appendLitBox(mesh, key, CuboidGrid(0.02f), translated(identity(), 0, -3, -10), unlit,
                                   SurfaceMaterial{}, TOLERANCE);
    EXPECT_EQ(quads, 2);
    ASSERT_EQ(mesh.size(), 8u);
    for (const MeshVertex& v : mesh) {
        EXPECT_NEAR(std::fabs(v.x), 0.3f, 1e-6f);
        EXPECT_TRUE((v.s == 0 || std::fabs(v.s - 1) < 1e-5f) && (v.t == 0 || std::fabs(v.t - 1) < 1e-5f));
    }
}

namespace {
// The view of a camera pitched down and turned about the vertical, as the shell places it,
// carrying a box at `centre` to the eye.
Matrix4 cameraOn(float yawDegrees, const std::array<float, 3>& centre) {
    const float pitch = 60 * 3.14159265f / 180, yaw = yawDegrees * 3.14159265f / 180;
    const float cp = std::cos(pitch), sp = std::sin(pitch), cy = std::cos(yaw), sy = std::sin(yaw);
    // Rx(pitch) Ry(yaw), column-major, then 7.5 units away.
    const Matrix4 view = {cy, sp * sy, -cp * sy, 0, 0, cp, sp, 0, sy, -sp * cy, cp * cy, 0, 0, -0.7f, -7.5f, 1};
    return translated(view, centre[0], centre[1], centre[2]);
}

// The spot above the keyboard as GL holds it once placed under the camera `view`.
LightingState spotUnder(const Matrix4& view, const std::array<float, 3>& at = {0, 5, 0}) {
    LightingState s = spotAbove(50, 3);
    const std::array<float, 3> p = transformPoint(view, at);
    s.lights[0].position = {p[0], p[1], p[2], 1};
    for (int row = 0; row < 3; ++row) s.lights[0].spotDirection[row] = view[4 + row] * -2;
    return s;
}

int facesOf(const BoxSize& box, const Matrix4& modelview) { return __builtin_popcount(facesTowards(box, eyeInModel(modelview))); }
}  // namespace

TEST(LitBoxMesh, TurningTheCameraMergesOnlyTheFacesAHighlightCanReach) {
    // A white key left of the middle, under the spot: its top shows the highlight, its front
    // and its side do not.
    const BoxSize key{0.6f, 0.5f, 3.0f};
    const std::array<float, 3> centre{-1.5f, 0, 0};
    const CuboidGrid grid(0.02f);
    LitBoxMesh kept;
    const Matrix4 first = cameraOn(12, {0, 0, 0});
    ASSERT_EQ(kept.make(key, grid, translated(first, centre[0], centre[1], centre[2]), spotUnder(first), whiteKey(),
                        TOLERANCE),
              3);
    for (float yaw = 10; yaw >= -10; yaw -= 2.5f) {
        const Matrix4 camera = cameraOn(yaw, {0, 0, 0});
        const Matrix4 modelview = translated(camera, centre[0], centre[1], centre[2]);
        const int faces = facesOf(key, modelview);
        const int merged = kept.make(key, grid, modelview, spotUnder(camera), whiteKey(), TOLERANCE);
        EXPECT_EQ(merged, faces - 2) << "at " << yaw << " degrees only the top is merged again";
        // What is kept is what merging anew would give.
        std::vector<MeshVertex> fresh;
        appendLitBox(fresh, key, grid, modelview, spotUnder(camera), whiteKey(), TOLERANCE);
        ASSERT_EQ(kept.vertices().size(), fresh.size()) << "at " << yaw << " degrees";
        for (size_t v = 0; v < fresh.size(); ++v) {
            EXPECT_EQ(kept.vertices()[v].x, fresh[v].x);
            EXPECT_EQ(kept.vertices()[v].y, fresh[v].y);
            EXPECT_EQ(kept.vertices()[v].z, fresh[v].z);
        }
    }
}

TEST(LitBoxMesh, AMovedLightOrAScalingViewMergesEveryFaceAgain) {
    const BoxSize key{0.6f, 0.5f, 3.0f};
    const CuboidGrid grid(0.02f);
    const Matrix4 camera = cameraOn(5, {0, 0, 0});
    const Matrix4 modelview = translated(camera, -1.5f, 0, 0);
    LitBoxMesh mesh;
    mesh.make(key, grid, modelview, spotUnder(camera), whiteKey(), TOLERANCE);
    EXPECT_EQ(mesh.make(key, grid, modelview, spotUnder(camera, {0.1f, 5, 0}), whiteKey(), TOLERANCE), 3);
    SurfaceMaterial grey = whiteKey();
    grey.diffuse = {0.5f, 0.5f, 0.5f, 1};
    EXPECT_EQ(mesh.make(key, grid, modelview, spotUnder(camera, {0.1f, 5, 0}), grey, TOLERANCE), 3);
    // Scaled, the lighting is no longer the same from every side: nothing is kept.
    Matrix4 scaled = modelview;
    for (int i = 0; i < 3; ++i) scaled[i] *= 1.5f;
    mesh.make(key, grid, scaled, spotUnder(camera), grey, TOLERANCE);
    EXPECT_EQ(mesh.make(key, grid, scaled, spotUnder(camera), grey, TOLERANCE), facesOf(key, scaled));
}

TEST(AppendBoxOutline, IsTheFacesTurnedTowardsTheEyeOneQuadEachOnTheBoxsCorners) {
    std::vector<MeshVertex> mesh;
    appendBoxOutline(mesh, {2, 1, 3}, {0.5f, 4, 9});  // above and in front
    ASSERT_EQ(mesh.size(), 8u);
    std::set<std::array<float, 3>> corners;
    for (const MeshVertex& v : mesh) {
        EXPECT_EQ(std::fabs(v.x), 1.0f);
        EXPECT_EQ(std::fabs(v.y), 0.5f);
        EXPECT_EQ(std::fabs(v.z), 1.5f);
        corners.insert({v.x, v.y, v.z});
    }
    EXPECT_EQ(corners.size(), 6u) << "the top and the front share an edge";
    EXPECT_EQ(facesTowards({2, 1, 3}, {0.5f, 4, 9}), (1u << 0) | (1u << 4));
    EXPECT_EQ(facesTowards({2, 1, 3}, {-5, -4, -9}), (1u << 1) | (1u << 2) | (1u << 5));
    mesh.clear();
    appendBoxOutline(mesh, {2, 1, 3}, {-5, -4, -9});
    EXPECT_EQ(mesh.size(), 12u);
}

TEST(MatrixHelpers, TheEyeIsFoundBackThroughARotationAndATranslation) {
    // Model x turns to eye z (a quarter turn about y), then everything moves 5 units away:
    // the eye sits 5 units out along the model's x.
    const Matrix4 m = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, -5, 1};
    const auto eye = eyeInModel(m);
    EXPECT_NEAR(eye[0], 5, 1e-5f);
    EXPECT_NEAR(eye[1], 0, 1e-5f);
    EXPECT_NEAR(eye[2], 0, 1e-5f);
    const auto p = transformPoint(translated(m, 1, 2, 3), {0, 0, 0});
    EXPECT_NEAR(p[0], -3, 1e-5f);
    EXPECT_NEAR(p[1], 2, 1e-5f);
    EXPECT_NEAR(p[2], -4, 1e-5f);
}
