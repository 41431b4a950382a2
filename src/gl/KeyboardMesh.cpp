// Merging drawCuboid's grid where per-vertex lighting lets it, and the CPU copy of the
// fixed-function lighting equation that tells where that is.
#include "KeyboardMesh.h"

#include <algorithm>
#include <cmath>

namespace {
const float DEG_TO_RAD = 3.14159265358979f / 180.0f;

// How near a cone's edge (in cosine) or a light's horizon (in N.L) a vertex must be for
// GL's rounding to matter. GL and this copy differ by a few float roundings of eye
// positions of size 10, about 1e-6; this is ten times that.
const float JUMP_MARGIN = 1e-5f;
// The angle (radians) by which a region must clear a cone before it counts as outside.
const float CONE_MARGIN = 1e-3f;
// A face keeps its quads across views only where the highlight stays below both: below the
// first it sets no jump (as in shadeVertex), and below the second, under a three-hundredth
// of a 1/255 step, the colours it was merged from are the same to well within the merge
// tolerance.
const float HIGHLIGHT_NEGLIGIBLE = 1e-4f;
const float SPECULAR_NEGLIGIBLE = 1e-5f;
// How far a light, carried into a box's coordinates, may lie from where it was and still
// count as the same light: rounding moves it by about 5e-7 from one camera angle to the
// next, and anything the program does moves it by far more than this.
const float SAME_PLACE = 1e-5f;

// x to a whole power by squaring: several times cheaper than exp2(n log2 x) for the
// shininess and spot exponents the scene uses, and as close as the merging needs.
float wholePower(float x, int n) {
    float r = 1;
    for (; n > 0; n >>= 1, x *= x)
        if (n & 1) r *= x;
    return r;
}

// The same for any exponent below 256, in a fixed number of steps, so that a loop over many
// vertices with the same exponent has no branches.
inline float wholePower8(float x, int n) {
    float r = 1;
#pragma GCC unroll 8
    for (int bit = 0; bit < 8; ++bit, x *= x) r *= (n >> bit) & 1 ? x : 1.0f;
    return r;
}

// x to a power known when compiling: the fewest multiplications, no choices.
template <int N>
inline float powerOf(float x) {
    if constexpr (N == 0) {
        return 1.0f;
    } else if constexpr (N % 2 == 0) {
        const float half = powerOf<N / 2>(x);
        return half * half;
    } else {
        return x * powerOf<N - 1>(x);
    }
}

// Exponents fixed by a template argument, or (-1) given at run time.
template <int N>
inline float powerFixedOr(float x, int n) {
    if constexpr (N >= 0) return powerOf<N>(x);
    else return wholePower8(x, n);
}

// The exponent when it is a whole number below 256, else -1.
int wholeExponent(float e) { return e >= 0 && e < 256 && e == std::floor(e) ? static_cast<int>(e) : -1; }

Vec3 faceNormal(int face) {
    static const Vec3 normals[NUM_BOX_FACES] = {{0, 0, 1},  {0, 0, -1}, {-1, 0, 0},
                                                {1, 0, 0},  {0, 1, 0},  {0, -1, 0}};
    return normals[face];
}

// A face of drawCuboid: which box axes its two grid parameters scale, and where it sits on
// the third. The first axis follows the outer loop, the second the inner.
struct FaceAxes {
    int first, second, fixed;
    float side;          // -1 or +1: the face is at side * extent / 2 on the fixed axis
    bool secondFirst;    // corner order (a,b),(a,b'),(a',b'),(a',b) rather than (a',b) second
};
const FaceAxes FACE_AXES[NUM_BOX_FACES] = {
    {0, 1, 2, +1, true},  {0, 1, 2, -1, false}, {1, 2, 0, -1, true},
    {1, 2, 0, +1, false}, {0, 2, 1, +1, true},  {0, 2, 1, -1, false},
};

// A vertex of a face as drawCuboid computes it: each scaled coordinate is one float
// product, the fixed one the extent halved.
Vec3 facePoint(const BoxSize& box, int face, float u, float w) {
    const float ext[3] = {box.width, box.height, box.length};
    const FaceAxes& f = FACE_AXES[face];
    Vec3 p{};
    p[f.first] = ext[f.first] * u;
    p[f.second] = ext[f.second] * w;
    p[f.fixed] = f.side > 0 ? ext[f.fixed] / 2 : -ext[f.fixed] / 2;
    return p;
}

// The colours at a face's grid vertices, (n + 1) x (n + 1) of them, one array a channel;
// vertex (i, j) at i * (n + 1) + j.
struct FaceShades {
    int stride = 0;
    std::array<std::vector<float>, 3> channel;
    std::vector<int> nearJump;  // 0 or 1; as wide as a float, so a row is worked on in step
    int channelsThatDiffer = 3;  // 1 when every vertex is grey: the first channel tells all

    // Notes whether the whole face is grey, as it is under white lights on a grey material.
    void findGrey() {
        bool grey = true;
        for (size_t k = 0; k < channel[0].size(); ++k)
            grey &= channel[0][k] == channel[1][k] && channel[0][k] == channel[2][k];
        channelsThatDiffer = grey ? 1 : 3;
    }

    void resize(int n) {
        stride = n + 1;
        const size_t size = static_cast<size_t>(stride) * stride;
        for (std::vector<float>& c : channel) c.resize(size);
        nearJump.resize(size);
    }
    size_t index(int i, int j) const { return static_cast<size_t>(i) * stride + j; }
    Rgb colour(int i, int j) const {
        const size_t k = index(i, j);
        return {channel[0][k], channel[1][k], channel[2][k]};
    }
    void set(int i, int j, const Shade& s) {
        const size_t k = index(i, j);
        for (int c = 0; c < 3; ++c) channel[c][k] = s.colour[c];
        nearJump[k] = s.nearJump;
    }
};

// One merge of one face over its vertices' colours. Uniform is bool(const GridBlock&):
// true when the colour is known to be one constant over the block, which then needs no look.
template <typename Uniform>
class GridMerger {
public:
    GridMerger(const FaceShades& shades, float tolerance, const Uniform& uniform)
        : shades_(shades), tolerance_(tolerance), uniform_(uniform) {}

    void merge(const GridBlock& b, std::vector<GridBlock>& out) {
        const int ki = b.i1 - b.i0, kj = b.j1 - b.j0;
        if ((ki == 1 && kj == 1) || uniform_(b) || fits(b)) {
            out.push_back(b);
            return;
        }
        const int im = (b.i0 + b.i1) / 2, jm = (b.j0 + b.j1) / 2;
        bool splitI = ki > 1, splitJ = kj > 1;
        if (splitI && splitJ) {
            // Split across the direction the colour bends most; both when they are alike.
            const float bendI = bend(b, true), bendJ = bend(b, false);
            if (bendI > 2 * bendJ) splitJ = false;
            else if (bendJ > 2 * bendI) splitI = false;
        }
        if (splitI && splitJ) {
            merge({b.i0, im, b.j0, jm}, out);
            merge({im, b.i1, b.j0, jm}, out);
            merge({b.i0, im, jm, b.j1}, out);
            merge({im, b.i1, jm, b.j1}, out);
        } else if (splitI) {
            merge({b.i0, im, b.j0, b.j1}, out);
            merge({im, b.i1, b.j0, b.j1}, out);
        } else {
            merge({b.i0, b.i1, b.j0, jm}, out);
            merge({b.i0, b.i1, jm, b.j1}, out);
        }
    }

private:
    Rgb at(int i, int j) const { return shades_.colour(i, j); }

    static float gap(const Rgb& a, const Rgb& b) {
        return std::max({std::fabs(a[0] - b[0]), std::fabs(a[1] - b[1]), std::fabs(a[2] - b[2])});
    }
    static Rgb lerp(const Rgb& a, const Rgb& b, float t) {
        return {a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t};
    }

    // How far the colour's midpoint strays from the straight line between the block's
    // edges, across i (or across j), on three lines through the block.
    float bend(const GridBlock& b, bool acrossI) const {
        float worst = 0;
        if (acrossI) {
            const int im = (b.i0 + b.i1) / 2;
            for (int j : {b.j0, (b.j0 + b.j1) / 2, b.j1})
                worst = std::max(worst, gap(at(im, j), lerp(at(b.i0, j), at(b.i1, j), float(im - b.i0) / (b.i1 - b.i0))));
        } else {
            const int jm = (b.j0 + b.j1) / 2;
            for (int i : {b.i0, (b.i0 + b.i1) / 2, b.i1})
                worst = std::max(worst, gap(at(i, jm), lerp(at(i, b.j0), at(i, b.j1), float(jm - b.j0) / (b.j1 - b.j0))));
        }
        return worst;
    }

    // Whether one quad over the block stays within tolerance of the grid, whichever way GL
    // cuts the quad and the grid's cells into triangles: llvmpipe cuts along v0-v2, from
    // (i0, j0) to (i1, j1), but a draw that needs clipping goes through the draw module,
    // which cuts along v1-v3, and the immediate drawing it is compared with is sent in
    // pieces that may go either way. Both colourings are linear on the pieces that the
    // two sets of triangles cut each other into, so the largest difference is at a corner
    // of a piece: a grid vertex, or a point where the quad's diagonal crosses a cell's edge
    // or diagonal.
    bool fits(const GridBlock& b) const {
        const int ki = b.i1 - b.i0, kj = b.j1 - b.j0;
        const std::vector<int>& jump = shades_.nearJump;
        const size_t k00 = shades_.index(b.i0, b.j0), k10 = shades_.index(b.i1, b.j0),
                     k01 = shades_.index(b.i0, b.j1), k11 = shades_.index(b.i1, b.j1);
        if (jump[k00] || jump[k10] || jump[k01] || jump[k11]) return false;
        // The quad's colour at (s, t), s across i and t across j, cut along v0-v2 and along
        // v1-v3, per channel, from its corners.
        struct Corners {
            float c00, c10, c01, c11;
        } corners[3];
        for (int c = 0; c < 3; ++c) {
            const std::vector<float>& v = shades_.channel[c];
            corners[c] = {v[k00], v[k10], v[k01], v[k11]};
        }
        const float tolerance = tolerance_;
        // Whether row i strays beyond the tolerance anywhere from j = from to j = to.
        auto rowOff = [&](int i, int from, int to) {
            const size_t row = shades_.index(i, 0);
            int anyJump = 0;
            for (int j = from; j <= to; ++j) anyJump |= jump[row + j];
            if (anyJump) return true;
            const float s = float(i - b.i0) / ki, perJ = 1.0f / kj;
            for (int c = 0; c < shades_.channelsThatDiffer; ++c) {
                const Corners& q = corners[c];
                const float* v = &shades_.channel[c][row];
                // Along the row each triangle's plane is a straight line in t: where it
                // starts, and how it climbs. The triangle the point lies in is chosen after.
                const float lowStart = q.c00 + s * (q.c10 - q.c00), mainHighStart = q.c00 + s * (q.c11 - q.c01);
                const float crossHighStart = q.c11 + (1 - s) * (q.c01 - q.c11) + (q.c10 - q.c11);
                const float mainLowRise = q.c11 - q.c10, highRise = q.c01 - q.c00, crossHighRise = q.c11 - q.c10;
                int off = 0;
                for (int j = from; j <= to; ++j) {
                    const float t = float(j - b.j0) * perJ;
                    const float alongMain = s >= t ? lowStart + t * mainLowRise : mainHighStart + t * highRise;
                    const float alongCross = s + t <= 1 ? lowStart + t * highRise : crossHighStart + t * crossHighRise;
                    off |= (std::fabs(v[j] - alongMain) > tolerance) | (std::fabs(v[j] - alongCross) > tolerance);
                }
                if (off) return true;
            }
            return false;
        };
        // Where a block fails it mostly fails in its middle: look there first.
        const int im = (b.i0 + b.i1) / 2, jm = (b.j0 + b.j1) / 2;
        if (rowOff(im, jm, jm) || rowOff(im, b.j0, b.j0) || rowOff(im, b.j1, b.j1) || rowOff(b.i0, jm, jm) ||
            rowOff(b.i1, jm, jm))
            return false;
        for (int i = b.i0; i <= b.i1; ++i)
            if (rowOff(i, b.j0, b.j1)) return false;
        if (ki == 1 && kj == 1) return true;
        return diagonalFits(b, false) && diagonalFits(b, true);
    }

    // The crossings of one of the quad's diagonals: v0-v2 runs from (i0, j0) to (i1, j1),
    // v1-v3 from (i0, j1) to (i1, j0). On it the quad is the straight line between the two
    // corners' colours, s from 0 to 1. Each crossing lies a whole number of grid steps and
    // a fraction `rest / of` of one from a grid vertex, worked out in whole numbers.
    bool diagonalFits(const GridBlock& b, bool cross) const {
        const int ki = b.i1 - b.i0, kj = b.j1 - b.j0;
        // The diagonal runs from (i0, jStart), j = jStart + dj s.
        const int jStart = cross ? b.j1 : b.j0, dj = cross ? -kj : kj;
        const size_t from = shades_.index(b.i0, jStart), to = shades_.index(b.i1, jStart + dj);
        // The grid between (ip, jp) and (iq, jq), `rest / of` of the way, against the quad at s.
        auto holds = [&](float s, int ip, int jp, int iq, int jq, int rest, int of) {
            const size_t p = shades_.index(ip, jp), q = shades_.index(iq, jq);
            const float f = float(rest) / of;
            for (int c = 0; c < shades_.channelsThatDiffer; ++c) {
                const float* v = shades_.channel[c].data();
                const float grid = v[p] + (v[q] - v[p]) * f, quad = v[from] + (v[to] - v[from]) * s;
                if (std::fabs(grid - quad) > tolerance_) return false;
            }
            return true;
        };
        // Lines of constant i, then of constant j: cell edges, whichever way cells are cut.
        for (int i = b.i0 + 1; i < b.i1; ++i) {
            const int along = kj * (i - b.i0);  // ki times how far j has moved from jStart
            const int whole = along / ki, rest = along % ki;
            if (rest == 0) continue;  // at a grid vertex
            const float s = float(i - b.i0) / ki;
            if (cross ? !holds(s, i, jStart - whole, i, jStart - whole - 1, rest, ki)
                      : !holds(s, i, jStart + whole, i, jStart + whole + 1, rest, ki))
                return false;
        }
        for (int j = b.j0 + 1; j < b.j1; ++j) {
            const int steps = cross ? jStart - j : j - jStart;
            const int along = ki * steps;  // kj times how far i has moved from i0
            const int whole = along / kj, rest = along % kj;
            if (rest == 0) continue;
            if (!holds(float(steps) / kj, b.i0 + whole, j, b.i0 + whole + 1, j, rest, kj)) return false;
        }
        // The cells' diagonals i - j = m (from (c, c - m) to (c + 1, c - m + 1)) and their
        // cross diagonals i + j = m (from (c, m - c) to (c + 1, m - c - 1)). Along the quad's
        // diagonal i - j and i + j move by ki - dj and ki + dj over the whole of s.
        for (int family = 0; family < 2; ++family) {
            const int sign = family == 0 ? -1 : 1;
            const int base = b.i0 + sign * jStart, rate = ki + sign * dj;
            if (rate == 0) continue;  // parallel: it runs along the cells' own diagonals
            const int of = std::abs(rate);
            for (int p = 1; p < of; ++p) {  // s = p / of
                const int m = base + (rate > 0 ? p : -p);
                const int along = ki * p;
                const int whole = along / of, rest = along % of;
                if (rest == 0) continue;  // at a grid vertex
                const int c = b.i0 + whole;
                const float s = float(p) / of;
                if (family == 0 ? !holds(s, c, c - m, c + 1, c - m + 1, rest, of)
                                : !holds(s, c, m - c, c + 1, m - c - 1, rest, of))
                    return false;
            }
        }
        return true;
    }

    const FaceShades& shades_;
    float tolerance_;
    const Uniform& uniform_;
};
}  // namespace

bool LightSource::operator==(const LightSource& o) const {
    if (!enabled && !o.enabled) return true;  // a light that is off lights nothing, whatever it holds
    return enabled == o.enabled && ambient == o.ambient && diffuse == o.diffuse && specular == o.specular &&
           position == o.position && spotDirection == o.spotDirection && spotExponent == o.spotExponent &&
           spotCutoff == o.spotCutoff && constantAttenuation == o.constantAttenuation &&
           linearAttenuation == o.linearAttenuation && quadraticAttenuation == o.quadraticAttenuation;
}

bool LightingState::operator==(const LightingState& o) const {
    return lighting == o.lighting && currentColour == o.currentColour && sceneAmbient == o.sceneAmbient &&
           localViewer == o.localViewer && lights == o.lights;
}

bool SurfaceMaterial::operator==(const SurfaceMaterial& o) const {
    return emission == o.emission && ambient == o.ambient && diffuse == o.diffuse && specular == o.specular &&
           shininess == o.shininess;
}

namespace {
// The lighting of one material under one set of lights, with everything that does not
// depend on the vertex worked out once.
class PreparedLighting {
public:
    PreparedLighting(const LightingState& lighting, const SurfaceMaterial& m)
        : lit_(lighting.lighting), localViewer_(lighting.localViewer), shininess_(m.shininess),
          halfShininess_(wholeExponent(m.shininess / 2)) {
        if (!lit_) {
            base_ = lighting.currentColour;
            return;
        }
        for (int k = 0; k < 3; ++k) base_[k] = m.emission[k] + m.ambient[k] * lighting.sceneAmbient[k];
        // Below this (N.H)^2 the highlight is under a millionth: not worth a power.
        highlightFloor2_ = m.shininess > 0 ? std::exp(2 * std::log(1e-6f) / m.shininess) : 0.0f;
        for (const LightSource& l : lighting.lights) {
            if (!l.enabled) continue;
            Light p;
            p.positional = l.position[3] != 0;
            const Vec3 xyz{l.position[0], l.position[1], l.position[2]};
            p.position = p.positional ? scaled(xyz, 1 / l.position[3]) : scaled(xyz, 1 / length(xyz));
            p.spot = l.spotCutoff != 180;
            const float sdLength = length(l.spotDirection);
            p.direction = sdLength > 0 ? scaled(l.spotDirection, 1 / sdLength) : Vec3{0, 0, -1};
            p.cutoff = l.spotCutoff * DEG_TO_RAD;
            p.cosCutoff = std::cos(p.cutoff);
            p.exponent = l.spotExponent;
            p.wholeExponent = wholeExponent(l.spotExponent);
            p.k0 = l.constantAttenuation, p.k1 = l.linearAttenuation, p.k2 = l.quadraticAttenuation;
            p.attenuated = p.k0 != 1 || p.k1 != 0 || p.k2 != 0;
            for (int k = 0; k < 3; ++k) {
                p.ambient[k] = m.ambient[k] * l.ambient[k];
                p.diffuse[k] = m.diffuse[k] * l.diffuse[k];
                p.specular[k] = m.specular[k] * l.specular[k];
            }
            lights_.push_back(p);
        }
    }

    static const unsigned ALL = ~0u;

    // `lights` picks, one bit each in the order they were given, the lights to count: the
    // others are known to give nothing here.
    Shade shade(const Vec3& position, const Vec3& normal, unsigned lights = ALL) const {
        Shade out;
        if (!lit_) {
            out.colour = base_;
            return out;
        }
        Rgb c = base_;
        const Vec3 view = localViewer_ ? scaled(position, -1 / length(position)) : Vec3{0, 0, 1};
        const float nDotV = dot(normal, view);
        bool jump = false;
        for (size_t index = 0; index < lights_.size(); ++index) {
            if (!(lights & (1u << index))) continue;
            const Light& l = lights_[index];
            const Vec3 toLight = l.positional ? difference(l.position, position) : l.position;
            addLight(l, dot(toLight, toLight), dot(normal, toLight), dot(l.direction, toLight), dot(view, toLight), nDotV,
                     c, jump);
        }
        for (int i = 0; i < 3; ++i) out.colour[i] = std::min(std::max(c[i], 0.0f), 1.0f);
        out.nearJump = jump;
        return out;
    }

    // The colours of the grid of a plane, vertex (i, j) at origin + u[i] du + u[j] dw with
    // the normal given, into out: as shade gives them, with the dot products that vary
    // along a row worked out as the straight lines they are.
    void shadeGrid(const Vec3& origin, const Vec3& du, const Vec3& dw, const Vec3& normal, const float* u, int count,
                   unsigned lights, FaceShades& out) const {
        out.resize(count - 1);
        if (!lit_ || localViewer_) {
            for (int i = 0; i < count; ++i)
                for (int j = 0; j < count; ++j)
                    out.set(i, j, shade(sum(origin, sum(scaled(du, u[i]), scaled(dw, u[j]))), normal, lights));
            return;
        }
        const Vec3 view{0, 0, 1};
        const float nDotV = normal[2];
        for (int i = 0; i < count; ++i) {
            const size_t row = out.index(i, 0);
            float* r = &out.channel[0][row];
            float* g = &out.channel[1][row];
            float* b = &out.channel[2][row];
            int* jumps = &out.nearJump[row];
            for (int j = 0; j < count; ++j) {
                r[j] = base_[0], g[j] = base_[1], b[j] = base_[2];
                jumps[j] = 0;
            }
            for (size_t index = 0; index < lights_.size(); ++index) {
                if (!(lights & (1u << index))) continue;
                const Light& l = lights_[index];
                // The offset to the light is start - u[j] step along the row; a light at
                // infinity is the same direction from everywhere.
                const Vec3 start = l.positional ? difference(l.position, sum(origin, scaled(du, u[i]))) : l.position;
                const Vec3 step = l.positional ? dw : Vec3{0, 0, 0};
                Row along;
                along.d2Start = dot(start, start), along.d2Cross = -2 * dot(start, step), along.d2Square = dot(step, step);
                along.nStart = dot(normal, start), along.nStep = dot(normal, step);
                along.dStart = dot(l.direction, start), along.dStep = dot(l.direction, step);
                along.vStart = dot(view, start), along.vStep = dot(view, step);
                const bool wholePowers = (halfShininess_ >= 0 || shininess_ == 0) && (!l.spot || l.wholeExponent >= 0);
                if (wholePowers) {
                    // The scene's own exponents (lights.h: the spot's 3, the concert beams' 1,
                    // the keys' shininess 100) get their powers written out, a fifth of the
                    // time here; any other takes the general path.
                    const int spot = l.spot ? l.wholeExponent : 0;
                    if (spot == 3 && halfShininess_ == 50) addLightAlongRow<3, 50>(l, along, nDotV, u, count, r, g, b, jumps);
                    else if (spot == 1 && halfShininess_ == 50)
                        addLightAlongRow<1, 50>(l, along, nDotV, u, count, r, g, b, jumps);
                    else addLightAlongRow<-1, -1>(l, along, nDotV, u, count, r, g, b, jumps);
                } else
                    for (int j = 0; j < count; ++j) {
                        const float w = u[j];
                        Rgb c{r[j], g[j], b[j]};
                        bool jump = jumps[j];
                        addLight(l, along.d2Start + w * (along.d2Cross + w * along.d2Square), along.nStart - w * along.nStep,
                                 along.dStart - w * along.dStep, along.vStart - w * along.vStep, nDotV, c, jump);
                        r[j] = c[0], g[j] = c[1], b[j] = c[2];
                        jumps[j] = jump;
                    }
            }
            for (int j = 0; j < count; ++j) {
                r[j] = std::min(std::max(r[j], 0.0f), 1.0f);
                g[j] = std::min(std::max(g[j], 0.0f), 1.0f);
                b[j] = std::min(std::max(b[j], 0.0f), 1.0f);
            }
        }
    }

    // The lights that may give something to a point within `radius` of `centre`, one bit
    // each: none when it is lit by the emission and the scene's ambient alone. A spot whose
    // cone misses the whole sphere gives nothing there.
    unsigned reach(const Vec3& centre, float radius) const {
        if (!lit_) return 0;  // every vertex takes the current colour
        unsigned lights = 0;
        for (size_t index = 0; index < lights_.size(); ++index)
            if (!lights_[index].misses(centre, radius)) lights |= 1u << index;
        return lights;
    }

    // Whether no highlight worth counting shows anywhere on a box's face seen from `view`
    // (the direction towards a viewer at infinity): then, with the positions, normal and
    // lights all in the box's coordinates, the face's colours are the same from every view
    // that also sees none, and so are its quads.
    bool noHighlight(const BoxSize& box, int face, const Vec3& view) const {
        if (!lit_) return true;
        const float ext[3] = {box.width, box.height, box.length};
        const FaceAxes& axes = FACE_AXES[face];
        const Vec3 normal = faceNormal(face);
        const Vec3 centre = facePoint(box, face, 0, 0);
        const float halfFirst = ext[axes.first] / 2, halfSecond = ext[axes.second] / 2;
        const float radius = std::sqrt(halfFirst * halfFirst + halfSecond * halfSecond);
        for (const Light& l : lights_) {
            if (l.misses(centre, radius)) continue;
            // N.L at its largest over the face, and L.V at its smallest: N.H is below
            // (N.L + N.V) / |L + V| with both ends taken at their worst.
            float nDotL = 0, lDotV = 0, attenuation = 1;
            if (l.positional) {
                const Vec3 toCentre = difference(l.position, centre);
                const float height = dot(normal, toCentre);  // the same from every point of the face
                // The light's distance from the nearest and the farthest point of the face.
                const float a = std::fabs(toCentre[axes.first]), b = std::fabs(toCentre[axes.second]);
                const float nearA = std::max(a - halfFirst, 0.0f), nearB = std::max(b - halfSecond, 0.0f);
                const float nearest = std::sqrt(nearA * nearA + nearB * nearB + height * height);
                const float farA = a + halfFirst, farB = b + halfSecond;
                const float farthest = std::sqrt(farA * farA + farB * farB + height * height);
                if (!(nearest > 0)) return false;  // the light lies on the face
                nDotL = height > 0 ? height / nearest : height / farthest;
                if (l.attenuated) attenuation = 1 / (l.k0 + l.k1 * nearest + l.k2 * nearest * nearest);
                if (nDotL < -JUMP_MARGIN) continue;  // behind the face from every point of it
                if (localViewer_) return false;
                const float distance = length(toCentre);
                const float spread = distance > radius ? std::asin(radius / distance) : 3.14159265f;
                const float cosCentre = std::min(1.0f, std::max(-1.0f, dot(toCentre, view) / distance));
                lDotV = std::cos(std::min(3.14159265f, std::acos(cosCentre) + spread));
            } else {
                nDotL = dot(normal, l.position);
                if (nDotL < -JUMP_MARGIN) continue;
                if (localViewer_) return false;
                lDotV = dot(l.position, view);
            }
            float highlight = 1;
            if (shininess_ != 0) {
                const float above = nDotL + dot(normal, view), below2 = 2 + 2 * lDotV;
                if (above <= 0) continue;
                if (!(below2 > 0)) return false;
                highlight = std::pow(std::min(1.0f, above / std::sqrt(below2)), shininess_);
            }
            // The spot's factor is at most 1.
            const float peak = attenuation * highlight;
            const float specular = std::max({l.specular[0], l.specular[1], l.specular[2]});
            if (peak > HIGHLIGHT_NEGLIGIBLE || peak * specular > SPECULAR_NEGLIGIBLE) return false;
        }
        return true;
    }

private:
    struct Light {
        bool positional = true, spot = false, attenuated = false;
        Vec3 position{}, direction{};  // position, or the unit direction towards a light at infinity
        float cutoff = 0, cosCutoff = 0, exponent = 0;
        int wholeExponent = -1;  // the exponent when it is a small whole number, else -1
        float k0 = 1, k1 = 0, k2 = 0;
        Rgb ambient{}, diffuse{}, specular{};  // material times light

        // Whether this is a spot whose cone misses the whole sphere.
        bool misses(const Vec3& centre, float radius) const {
            if (!spot || !positional) return false;
            const Vec3 away = difference(centre, position);
            const float d = length(away);
            if (d <= radius) return false;
            const float cosAngle = std::min(1.0f, std::max(-1.0f, dot(away, direction) / d));
            return std::acos(cosAngle) - std::asin(radius / d) > cutoff + CONE_MARGIN;
        }
    };

    static float power(float x, float e, int whole) { return whole < 0 ? std::pow(x, e) : wholePower(x, whole); }

    // How the squared distance to a light and the dot products of addLight change along a
    // row of a grid, as w goes: start - w step for the offset to the light.
    struct Row {
        float d2Start, d2Cross, d2Square;  // |offset|^2 = d2Start + w (d2Cross + w d2Square)
        float nStart, nStep, dStart, dStep, vStart, vStep;
    };

    // addLight over a whole row, for whole exponents below 256: the spot's, and half the
    // shininess (the highlight is (N.H)^2 to that), each fixed by its template argument or
    // (-1) taken from the light and the material. Everything is worked out for every vertex
    // and then chosen, without branches, so that the compiler can work on several vertices
    // at once.
    template <int SpotExponent, int HalfShininess>
    void addLightAlongRow(const Light& l, const Row& a, float nDotV, const float* u, int count, float* r, float* g,
                          float* b, int* jumps) const {
        // With no cone the spot's factor is 1 everywhere: cosine to the power 0, never below
        // a cutoff of -2.
        const int exponent = l.spot ? l.wholeExponent : 0;
        const float cosCutoff = l.spot ? l.cosCutoff : -2.0f;
        // No attenuation is 1 / (1 + 0 d + 0 d^2).
        const float k0 = l.attenuated ? l.k0 : 1.0f, k1 = l.attenuated ? l.k1 : 0.0f, k2 = l.attenuated ? l.k2 : 0.0f;
        const int half = halfShininess_;
        const float flat = shininess_ == 0 ? 1.0f : 0.0f, floor2 = highlightFloor2_;
        // Copies, so the compiler need not fear the rows' stores change them.
        const Rgb ambient = l.ambient, diffuseColour = l.diffuse, specularColour = l.specular;
        for (int j = 0; j < count; ++j) {
            const float w = u[j];
            const float distance2 = a.d2Start + w * (a.d2Cross + w * a.d2Square);
            const float inverse = 1 / std::sqrt(distance2);  // 1 for a light at infinity: its offset is a unit vector
            const float d = distance2 * inverse;
            const float cosAngle = -(a.dStart - w * a.dStep) * inverse;
            const float spot = powerFixedOr<SpotExponent>(std::max(cosAngle, 0.0f), exponent) / (k0 + k1 * d + k2 * distance2);
            const float k = cosAngle >= cosCutoff ? spot : 0.0f;
            const float nDotL = (a.nStart - w * a.nStep) * inverse;
            const float above = nDotL + nDotV, below = 2 + 2 * (a.vStart - w * a.vStep) * inverse;
            const float nDotH2 = above * above / std::max(below, 1e-30f);
            const float powered = powerFixedOr<HalfShininess>(nDotH2, half);
            const float shown = (above > 0) & (below > 0) & (nDotH2 > floor2) ? powered : 0.0f;
            const float highlight = flat > 0 ? 1.0f : shown;
            const int jump = (std::fabs(cosAngle - cosCutoff) < JUMP_MARGIN) |
                             ((std::fabs(nDotL) < JUMP_MARGIN) & (highlight * k > HIGHLIGHT_NEGLIGIBLE));
            const float diffuse = nDotL > 0 ? nDotL : 0.0f, specular = nDotL > 0 ? highlight : 0.0f;
            r[j] += k * (ambient[0] + diffuse * diffuseColour[0] + specular * specularColour[0]);
            g[j] += k * (ambient[1] + diffuse * diffuseColour[1] + specular * specularColour[1]);
            b[j] += k * (ambient[2] + diffuse * diffuseColour[2] + specular * specularColour[2]);
            jumps[j] |= jump;
        }
    }

    // One light's share at a vertex, added to c: from the squared distance to the light and
    // the dot products of the offset to it with the normal, the spot's axis and the
    // direction to the viewer (for a light at infinity, of its unit direction). Sets jump
    // when the vertex lies so near a jump in the lighting that GL's rounding could put it
    // on the other side.
    void addLight(const Light& l, float distance2, float nDotT, float dDotT, float vDotT, float nDotV, Rgb& c,
                  bool& jump) const {
        float k = 1, inverse = 1;
        if (l.positional) {
            const float d = std::sqrt(distance2);
            inverse = 1 / d;
            if (l.attenuated) k = 1 / (l.k0 + l.k1 * d + l.k2 * distance2);
        }
        if (l.spot) {
            const float cosAngle = -dDotT * inverse;
            if (std::fabs(cosAngle - l.cosCutoff) < JUMP_MARGIN) jump = true;
            if (cosAngle < l.cosCutoff) return;
            k *= power(std::max(cosAngle, 0.0f), l.exponent, l.wholeExponent);
        }
        const float nDotL = nDotT * inverse;
        // N.H with H the unit half vector: (N.L + N.V) / |L + V|, where |L + V|^2 = 2 + 2 L.V.
        const float above = nDotL + nDotV, below = 2 + 2 * vDotT * inverse;
        float highlight = 0;
        if (shininess_ == 0) {
            highlight = 1;
        } else if (above > 0 && below > 0) {
            const float nDotH2 = above * above / below;
            if (nDotH2 > highlightFloor2_)
                highlight = halfShininess_ >= 0 ? wholePower(nDotH2, halfShininess_) : std::pow(nDotH2, shininess_ / 2);
        }
        // The highlight exists only while the light is in front of the surface: at N.L = 0
        // it switches off at once, a jump if it is bright there.
        if (std::fabs(nDotL) < JUMP_MARGIN && highlight * k > HIGHLIGHT_NEGLIGIBLE) jump = true;
        const float diffuse = nDotL > 0 ? nDotL : 0, specular = nDotL > 0 ? highlight : 0;
        for (int i = 0; i < 3; ++i) c[i] += k * (l.ambient[i] + diffuse * l.diffuse[i] + specular * l.specular[i]);
    }

    bool lit_;
    bool localViewer_;
    float shininess_;
    int halfShininess_;  // half the shininess when that is a whole power to square up to, else -1
    float highlightFloor2_ = 0;
    Rgb base_{};
    std::vector<Light> lights_;
};

// A face of a box under a modelview, in eye coordinates: vertex (i, j) of its grid and
// where the lights reach.
struct LitFace {
    const PreparedLighting& lighting;
    Vec3 origin, du, dw, normal;
    const CuboidGrid& grid;

    float coordinate(int i) const {
        const int n = grid.cells();
        return i < n ? grid.lo[i] : grid.hi[n - 1];
    }
    Vec3 point(float u, float w) const { return sum(origin, sum(scaled(du, u), scaled(dw, w))); }
    unsigned reach(const GridBlock& b) const {
        const float u0 = coordinate(b.i0), u1 = coordinate(b.i1), w0 = coordinate(b.j0), w1 = coordinate(b.j1);
        const float radius = 0.5f * (length(du) * std::fabs(u1 - u0) + length(dw) * std::fabs(w1 - w0));
        return lighting.reach(point((u0 + u1) / 2, (w0 + w1) / 2), radius);
    }
    // Every vertex's colour, counting the lights that reach some part of the face.
    void shadeAll(unsigned lights, FaceShades& out) const {
        const int n = grid.cells();
        thread_local std::vector<float> u;
        u.resize(static_cast<size_t>(n) + 1);
        for (int i = 0; i <= n; ++i) u[i] = coordinate(i);
        lighting.shadeGrid(origin, du, dw, normal, u.data(), n + 1, lights, out);
    }
};

// Merges one face of a box, in eye coordinates.
void mergeFace(const PreparedLighting& prepared, const BoxSize& box, const CuboidGrid& grid, int face,
               const Matrix4& modelview, const float inv[9], float tolerance, std::vector<GridBlock>& blocks) {
    const Vec3 origin = transformPoint(modelview, facePoint(box, face, 0, 0));
    const Vec3 uEnd = transformPoint(modelview, facePoint(box, face, 1, 0));
    const Vec3 wEnd = transformPoint(modelview, facePoint(box, face, 0, 1));
    // Normals go through the inverse transpose, as GL carries them.
    const Vec3 fn = faceNormal(face);
    const Vec3 normal{inv[0] * fn[0] + inv[3] * fn[1] + inv[6] * fn[2], inv[1] * fn[0] + inv[4] * fn[1] + inv[7] * fn[2],
                      inv[2] * fn[0] + inv[5] * fn[1] + inv[8] * fn[2]};
    const LitFace field{prepared, origin, difference(uEnd, origin), difference(wEnd, origin), normal, grid};
    const int n = grid.cells();
    blocks.clear();
    const unsigned lights = field.reach({0, n, 0, n});
    if (lights == 0) {
        blocks.push_back({0, n, 0, n});
        return;
    }
    thread_local FaceShades shades;
    field.shadeAll(lights, shades);
    shades.findGrey();
    const auto uniform = [&](const GridBlock& b) { return field.reach(b) == 0; };
    GridMerger<decltype(uniform)> merger(shades, tolerance, uniform);
    merger.merge({0, n, 0, n}, blocks);
}

// The rotation part of a modelview that only turns and moves: the lighting it carries to
// the eye is then the lighting in the box's own coordinates.
bool rigid(const Matrix4& m) {
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) {
            const float d = m[4 * a] * m[4 * b] + m[4 * a + 1] * m[4 * b + 1] + m[4 * a + 2] * m[4 * b + 2];
            if (std::fabs(d - (a == b ? 1.0f : 0.0f)) > 1e-5f) return false;
        }
    return true;
}

// Eye coordinates back to the box's, through a rigid modelview: R^T (v - w t).
std::array<float, 3> intoBox(const Matrix4& m, const float* v, float w) {
    const Vec3 e{v[0] - w * m[12], v[1] - w * m[13], v[2] - w * m[14]};
    return {m[0] * e[0] + m[1] * e[1] + m[2] * e[2], m[4] * e[0] + m[5] * e[1] + m[6] * e[2],
            m[8] * e[0] + m[9] * e[1] + m[10] * e[2]};
}

LightingState lightingInBox(const LightingState& eye, const Matrix4& m) {
    LightingState box = eye;
    for (LightSource& l : box.lights) {
        const Vec3 p = intoBox(m, l.position.data(), l.position[3]);
        l.position = {p[0], p[1], p[2], l.position[3]};
        l.spotDirection = intoBox(m, l.spotDirection.data(), 0);
    }
    return box;
}

template <size_t N>
bool samePlace(const std::array<float, N>& a, const std::array<float, N>& b) {
    for (size_t i = 0; i < N; ++i)
        if (std::fabs(a[i] - b[i]) > SAME_PLACE * (1 + std::fabs(a[i]))) return false;
    return true;
}

// The same lights as far as the box can tell, positions and directions up to rounding.
bool sameLighting(const LightingState& a, const LightingState& b) {
    if (a.lighting != b.lighting || a.currentColour != b.currentColour || a.sceneAmbient != b.sceneAmbient ||
        a.localViewer != b.localViewer)
        return false;
    for (size_t i = 0; i < a.lights.size(); ++i) {
        LightSource x = a.lights[i], y = b.lights[i];
        if (!x.enabled && !y.enabled) continue;
        if (!samePlace(x.position, y.position) || !samePlace(x.spotDirection, y.spotDirection)) return false;
        x.position = y.position;
        x.spotDirection = y.spotDirection;
        if (!(x == y)) return false;
    }
    return true;
}
}  // namespace

Shade shadeVertex(const LightingState& lighting, const SurfaceMaterial& material, const Vec3& eyePosition,
                  const Vec3& eyeNormal) {
    return PreparedLighting(lighting, material).shade(eyePosition, eyeNormal);
}

bool outsideEveryCone(const LightingState& lighting, const Vec3& centre, float radius) {
    return PreparedLighting(lighting, SurfaceMaterial{}).reach(centre, radius) == 0;
}

std::vector<Shade> shadeFace(const LightingState& lighting, const SurfaceMaterial& material, const CuboidGrid& grid,
                             const Vec3& origin, const Vec3& du, const Vec3& dw, const Vec3& normal) {
    const PreparedLighting prepared(lighting, material);
    const LitFace face{prepared, origin, du, dw, normal, grid};
    FaceShades shades;
    face.shadeAll(PreparedLighting::ALL, shades);
    const int n = grid.cells();
    std::vector<Shade> out;
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j) {
            const size_t k = shades.index(i, j);
            out.push_back({shades.colour(i, j), shades.nearJump[k] != 0});
        }
    return out;
}

std::vector<GridBlock> mergeGrid(int n, float tolerance, const FaceField& field) {
    const auto uniform = [&](const GridBlock& b) { return field.uniform && field.uniform(b); };
    if (uniform({0, n, 0, n})) return {{0, n, 0, n}};
    FaceShades shades;
    shades.resize(n);
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j) shades.set(i, j, field.at(i, j));
    shades.findGrey();
    std::vector<GridBlock> blocks;
    GridMerger<decltype(uniform)> merger(shades, tolerance, uniform);
    merger.merge({0, n, 0, n}, blocks);
    return blocks;
}

CuboidGrid::CuboidGrid(float step) : res(step) {
    // The loop of drawCuboid: accumulated in single precision, stopping half a step short.
    const float limit = 1.0f - res * 0.5f;
    for (float q = 0.0f; q < limit; q += res) {
        p.push_back(q);
        lo.push_back(q - 0.5f);
        hi.push_back((q - 0.5f) + res);
    }
}

void appendFaceBlock(std::vector<MeshVertex>& out, const BoxSize& box, const CuboidGrid& grid, int face,
                     const GridBlock& block) {
    const float a = grid.lo[block.i0], a2 = grid.hi[block.i1 - 1];
    const float b = grid.lo[block.j0], b2 = grid.hi[block.j1 - 1];
    const float s = grid.p[block.i0], s2 = grid.p[block.i1 - 1] + grid.res;
    const float t = grid.p[block.j0], t2 = grid.p[block.j1 - 1] + grid.res;
    const Vec3 n = faceNormal(face);
    auto put = [&](float ts, float tt, float u, float w) {
        const Vec3 v = facePoint(box, face, u, w);
        out.push_back({ts, tt, n[0], n[1], n[2], v[0], v[1], v[2]});
    };
    if (FACE_AXES[face].secondFirst) {
        put(s, t, a, b);
        put(s, t2, a, b2);
        put(s2, t2, a2, b2);
        put(s2, t, a2, b);
    } else {
        put(s, t, a, b);
        put(s2, t, a2, b);
        put(s2, t2, a2, b2);
        put(s, t2, a, b2);
    }
}

bool faceTowards(const BoxSize& box, int face, const Vec3& eye) {
    const float ext[3] = {box.width, box.height, box.length};
    const FaceAxes& f = FACE_AXES[face];
    const float plane = ext[f.fixed] / 2;
    return f.side > 0 ? eye[f.fixed] > plane : eye[f.fixed] < -plane;
}

int LitBoxMesh::make(const BoxSize& box, const CuboidGrid& grid, const Matrix4& modelview,
                     const LightingState& lighting, const SurfaceMaterial& material, float tolerance) {
    vertices_.clear();
    float inv[9];
    if (!invert3(modelview.data(), inv)) {  // a flattened view shows no face
        made_ = false;
        return 0;
    }
    const Vec3 eye = eyeInModel(modelview);
    // Faces are kept only while the scene around the box is the same as when they were
    // merged; a modelview that scales would change the lighting itself.
    const bool turnsAndMoves = rigid(modelview);
    const LightingState boxLighting = lightingInBox(lighting, modelview);
    const bool sameScene = made_ && turnsAndMoves && box.width == box_.width && box.height == box_.height &&
                           box.length == box_.length && grid.res == gridStep_ && tolerance == tolerance_ &&
                           material == material_ && sameLighting(boxLighting, boxLighting_);
    if (!sameScene) {
        for (Face& f : faces_) f.made = false;
        made_ = turnsAndMoves;
        box_ = box;
        gridStep_ = grid.res;
        tolerance_ = tolerance;
        material_ = material;
        boxLighting_ = boxLighting;
    }
    const PreparedLighting prepared(lighting, material);
    const PreparedLighting inBox(boxLighting_, material);
    const Vec3 view{modelview[2], modelview[6], modelview[10]};  // the eye's +z, in box coordinates
    int merged = 0;
    for (int face = 0; face < NUM_BOX_FACES; ++face) {
        if (!faceTowards(box, face, eye)) continue;
        Face& f = faces_[face];
        const bool sameFromEveryView = turnsAndMoves && inBox.noHighlight(box, face, view);
        if (!(f.made && f.sameFromEveryView && sameFromEveryView)) {
            mergeFace(prepared, box, grid, face, modelview, inv, tolerance, f.blocks);
            f.made = true;
            f.sameFromEveryView = sameFromEveryView;
            ++merged;
        }
        for (const GridBlock& b : f.blocks) appendFaceBlock(vertices_, box, grid, face, b);
    }
    return merged;
}

int appendLitBox(std::vector<MeshVertex>& out, const BoxSize& box, const CuboidGrid& grid,
                 const Matrix4& modelview, const LightingState& lighting, const SurfaceMaterial& material,
                 float tolerance) {
    LitBoxMesh mesh;
    mesh.make(box, grid, modelview, lighting, material, tolerance);
    out.insert(out.end(), mesh.vertices().begin(), mesh.vertices().end());
    return mesh.quads();
}

void appendBoxOutline(std::vector<MeshVertex>& out, const BoxSize& box, const Vec3& eye) {
    static const CuboidGrid whole(1.0f);
    for (int face = 0; face < NUM_BOX_FACES; ++face)
        if (faceTowards(box, face, eye)) appendFaceBlock(out, box, whole, face, {0, 1, 0, 1});
}

unsigned facesTowards(const BoxSize& box, const Vec3& eye) {
    unsigned faces = 0;
    for (int face = 0; face < NUM_BOX_FACES; ++face)
        if (faceTowards(box, face, eye)) faces |= 1u << face;
    return faces;
}
