// Key bodies tessellated no finer than their lighting needs. Lighting is per vertex, so the
// 50 x 50 grid of drawCuboid decides how a spot's pool looks; this keeps that grid's own
// quads wherever the colour across them changes faster than a larger quad could follow,
// and merges them elsewhere. No GL here: the GL side hands in the light state it reads.
#pragma once

#include "ShellOnly.h"

#include <array>
#include <functional>
#include <vector>

#include "Maths.h"

using Rgb = std::array<float, 3>;  // 0..1

// ---- A CPU copy of fixed-function lighting --------------------------------------------
// Positions and directions are eye coordinates, as GL holds them once a light is set.
struct LightSource {
    bool enabled = false;
    std::array<float, 4> ambient{}, diffuse{}, specular{};
    std::array<float, 4> position{0, 0, 1, 0};
    std::array<float, 3> spotDirection{0, 0, -1};
    float spotExponent = 0;
    float spotCutoff = 180;  // degrees; 180 is no cone
    float constantAttenuation = 1, linearAttenuation = 0, quadraticAttenuation = 0;
    bool operator==(const LightSource& o) const;
};

struct LightingState {
    bool lighting = false;        // off: every vertex takes currentColour
    Rgb currentColour{1, 1, 1};
    std::array<float, 4> sceneAmbient{0.2f, 0.2f, 0.2f, 1};
    bool localViewer = false;
    std::array<LightSource, 8> lights{};
    bool operator==(const LightingState& o) const;
};

struct SurfaceMaterial {
    std::array<float, 4> emission{}, ambient{}, diffuse{}, specular{};
    float shininess = 0;
    bool operator==(const SurfaceMaterial& o) const;
};

// A vertex's colour, and whether it lies so near a jump in the lighting (a cone's edge, or
// the point where a light's highlight switches off) that GL's rounding could put it on the
// other side: such a vertex keeps its fine quads whatever the estimate says.
struct Shade {
    Rgb colour{};
    bool nearJump = false;
};

Shade shadeVertex(const LightingState& lighting, const SurfaceMaterial& material,
                  const std::array<float, 3>& eyePosition, const std::array<float, 3>& eyeNormal);

struct CuboidGrid;

// The shades of the grid vertices of a face, (n + 1) x (n + 1) for a grid of n cells,
// vertex (i, j) at origin + c[i] du + c[j] dw with c the grid's face coordinates (lo of each
// cell, then the last hi) and the normal given, all in eye coordinates; row i follows row
// i - 1. What shadeVertex gives at each, worked out a row at a time as the merging does.
std::vector<Shade> shadeFace(const LightingState& lighting, const SurfaceMaterial& material, const CuboidGrid& grid,
                             const std::array<float, 3>& origin, const std::array<float, 3>& du,
                             const std::array<float, 3>& dw, const std::array<float, 3>& normal);

// True when no point within `radius` of `centre` (eye coordinates) can receive anything from
// any enabled light: every one is a spot whose cone misses the whole sphere. Such a region
// is lit by the emission and the scene's ambient alone, the same everywhere.
bool outsideEveryCone(const LightingState& lighting, const std::array<float, 3>& centre, float radius);

// ---- Merging a face's grid ------------------------------------------------------------
// Cells [i0, i1) x [j0, j1) of a face's n x n grid; vertex (i, j) is the corner between.
struct GridBlock {
    int i0, i1, j0, j1;
};

struct FaceField {
    std::function<Shade(int i, int j)> at;             // the colour at grid vertex (i, j)
    std::function<bool(const GridBlock&)> uniform;     // the colour is one constant over it
};

// Splits the grid into blocks such that each block, drawn as one quad, differs from the
// grid's own piecewise-linear colour by at most `tolerance` (0..1 units) anywhere, whichever
// diagonal GL cuts the quad and the cells along. Cells stay whole 1 x 1 blocks where nothing
// coarser holds, and wherever a vertex is near a jump in the lighting.
std::vector<GridBlock> mergeGrid(int n, float tolerance, const FaceField& field);

// ---- Key boxes ------------------------------------------------------------------------
// The layout of GL_T2F_N3F_V3F, so a mesh goes to glInterleavedArrays as it is.
struct MeshVertex {
    float s, t;
    float nx, ny, nz;
    float x, y, z;
};

// The grid drawCuboid walks for a step `res`: the same values, accumulated the same way,
// so a 1 x 1 block is exactly the quad drawCuboid sends.
struct CuboidGrid {
    explicit CuboidGrid(float res);
    float res;
    std::vector<float> p;   // grid parameter of each cell's first edge: 0, res, 2 res, ...
    std::vector<float> lo;  // p - 0.5: the cell's first face coordinate
    std::vector<float> hi;  // lo + res: its last, as drawCuboid computes it
    int cells() const { return static_cast<int>(p.size()); }
};

// The six faces in drawCuboid's order: +Z, -Z, -X, +X, +Y, -Y.
const int NUM_BOX_FACES = 6;

// A box as drawCuboid(width, height, length, ...) draws it, centred on the origin.
struct BoxSize {
    float width, height, length;
};

// The quads of one face covering `block`, corners in drawCuboid's order for that face.
void appendFaceBlock(std::vector<MeshVertex>& out, const BoxSize& box, const CuboidGrid& grid,
                     int face, const GridBlock& block);

// Whether a face is turned towards an eye at `eye` (box coordinates): only those faces of
// a closed box can be seen, the rest are always behind them.
bool faceTowards(const BoxSize& box, int face, const std::array<float, 3>& eye);

// The body of a box under `modelview` (which carries box coordinates to the eye), lit by
// `lighting` in `material`: the faces turned towards the eye, each merged as mergeGrid
// does within `tolerance`. Appends to `out` and returns the number of quads.
int appendLitBox(std::vector<MeshVertex>& out, const BoxSize& box, const CuboidGrid& grid,
                 const Matrix4& modelview, const LightingState& lighting,
                 const SurfaceMaterial& material, float tolerance);

// A box's lit body kept from one view to the next. Under a camera that only turns and moves
// (no scaling), a face's lighting depends on the view through its highlight alone: a face
// where no highlight can be seen keeps its quads when the view changes, for as long as the
// box, its material and its lights stay where they are in the scene. Other faces are merged
// again. The vertices are those appendLitBox gives for the same arguments.
class LitBoxMesh {
public:
    // Makes the body for this view and returns the number of faces merged anew.
    int make(const BoxSize& box, const CuboidGrid& grid, const Matrix4& modelview, const LightingState& lighting,
             const SurfaceMaterial& material, float tolerance);
    const std::vector<MeshVertex>& vertices() const { return vertices_; }
    int quads() const { return static_cast<int>(vertices_.size() / 4); }

private:
    struct Face {
        bool made = false;
        bool sameFromEveryView = false;  // no highlight could be seen on it when it was merged
        std::vector<GridBlock> blocks;
    };
    std::array<Face, NUM_BOX_FACES> faces_{};
    // What the faces were merged from, the lights in the box's own coordinates.
    bool made_ = false;
    BoxSize box_{};
    float gridStep_ = 0, tolerance_ = 0;
    SurfaceMaterial material_;
    LightingState boxLighting_;
    std::vector<MeshVertex> vertices_;
};

// The faces turned towards an eye at `eye` (box coordinates), one quad each, exactly as
// drawCuboid(..., 1) sends them; drawn as lines they give every edge that can be seen, since
// an edge between two faces turned away lies behind the faces turned towards the eye.
void appendBoxOutline(std::vector<MeshVertex>& out, const BoxSize& box, const std::array<float, 3>& eye);
// Which faces are turned towards the eye, one bit a face in drawCuboid's order.
unsigned facesTowards(const BoxSize& box, const std::array<float, 3>& eye);
