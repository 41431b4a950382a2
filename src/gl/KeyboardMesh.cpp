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

// One merge of one face: the field's values are asked for at most once per vertex. Field
// has Shade at(int i, int j); unsigned reach(const GridBlock&), the lights that may reach
// the block, none when its colour is the same all over; and use(lights), the lights the
// values asked for next need to count. A value worked out for one block holds for every
// block that shares the vertex, since a light that may reach that block but not the first
// gives nothing there.
template <typename Field>
class GridMerger {
public:
    GridMerger(int n, float tolerance, const Field& field)
        : n_(n), tolerance_(tolerance), field_(field),
          shades_(static_cast<size_t>(n + 1) * (n + 1)),
          known_(static_cast<size_t>(n + 1) * (n + 1), false) {}

    void merge(const GridBlock& b, std::vector<GridBlock>& out) {
        const int ki = b.i1 - b.i0, kj = b.j1 - b.j0;
        if (ki == 1 && kj == 1) {
            out.push_back(b);
            return;
        }
        const unsigned lights = field_.reach(b);
        if (lights != 0) field_.use(lights);
        if (lights == 0 || fits(b)) {
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
    const Shade& at(int i, int j) {
        const size_t k = static_cast<size_t>(i) * (n_ + 1) + j;
        if (!known_[k]) {
            shades_[k] = field_.at(i, j);
            known_[k] = true;
        }
        return shades_[k];
    }

    static float gap(const Rgb& a, const Rgb& b) {
        return std::max({std::fabs(a[0] - b[0]), std::fabs(a[1] - b[1]), std::fabs(a[2] - b[2])});
    }
    static Rgb lerp(const Rgb& a, const Rgb& b, float t) {
        return {a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t};
    }

    // How far the colour's midpoint strays from the straight line between the block's
    // edges, across i (or across j), on three lines through the block.
    float bend(const GridBlock& b, bool acrossI) {
        float worst = 0;
        if (acrossI) {
            const int im = (b.i0 + b.i1) / 2;
            for (int j : {b.j0, (b.j0 + b.j1) / 2, b.j1})
                worst = std::max(worst, gap(at(im, j).colour, lerp(at(b.i0, j).colour, at(b.i1, j).colour,
                                                                    float(im - b.i0) / (b.i1 - b.i0))));
        } else {
            const int jm = (b.j0 + b.j1) / 2;
            for (int i : {b.i0, (b.i0 + b.i1) / 2, b.i1})
                worst = std::max(worst, gap(at(i, jm).colour, lerp(at(i, b.j0).colour, at(i, b.j1).colour,
                                                                    float(jm - b.j0) / (b.j1 - b.j0))));
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
    bool fits(const GridBlock& b) {
        const int ki = b.i1 - b.i0, kj = b.j1 - b.j0;
        const Shade &c00 = at(b.i0, b.j0), &c10 = at(b.i1, b.j0), &c01 = at(b.i0, b.j1),
                    &c11 = at(b.i1, b.j1);
        if (c00.nearJump || c10.nearJump || c01.nearJump || c11.nearJump) return false;
        // The quad's colour at (s, t), s across i and t across j, cut along v0-v2 ...
        auto alongMain = [&](float s, float t, int k) {
            return s >= t ? c00.colour[k] + s * (c10.colour[k] - c00.colour[k]) + t * (c11.colour[k] - c10.colour[k])
                          : c00.colour[k] + t * (c01.colour[k] - c00.colour[k]) + s * (c11.colour[k] - c01.colour[k]);
        };
        // ... and along v1-v3.
        auto alongCross = [&](float s, float t, int k) {
            return s + t <= 1 ? c00.colour[k] + s * (c10.colour[k] - c00.colour[k]) + t * (c01.colour[k] - c00.colour[k])
                              : c11.colour[k] + (1 - s) * (c01.colour[k] - c11.colour[k]) +
                                    (1 - t) * (c10.colour[k] - c11.colour[k]);
        };
        auto off = [&](int i, int j) {
            const Shade& v = at(i, j);
            if (v.nearJump) return true;
            const float s = float(i - b.i0) / ki, t = float(j - b.j0) / kj;
            for (int k = 0; k < 3; ++k)
                if (std::fabs(v.colour[k] - alongMain(s, t, k)) > tolerance_ ||
                    std::fabs(v.colour[k] - alongCross(s, t, k)) > tolerance_)
                    return true;
            return false;
        };
        // Where a block fails it mostly fails in its middle: look there first.
        const int im = (b.i0 + b.i1) / 2, jm = (b.j0 + b.j1) / 2;
        if (off(im, jm) || off(im, b.j0) || off(im, b.j1) || off(b.i0, jm) || off(b.i1, jm)) return false;
        for (int i = b.i0; i <= b.i1; ++i)
            for (int j = b.j0; j <= b.j1; ++j)
                if (off(i, j)) return false;
        if (ki == 1 && kj == 1) return true;
        return diagonalFits(b, false) && diagonalFits(b, true);
    }

    // The crossings of one of the quad's diagonals: v0-v2 runs from (i0, j0) to (i1, j1),
    // v1-v3 from (i0, j1) to (i1, j0). On it the quad is the straight line between the two
    // corners' colours, s from 0 to 1.
    bool diagonalFits(const GridBlock& b, bool cross) {
        const int ki = b.i1 - b.i0, kj = b.j1 - b.j0;
        const float i0 = float(b.i0), j0 = cross ? float(b.j1) : float(b.j0), dj = cross ? -float(kj) : float(kj);
        const Rgb& from = at(b.i0, cross ? b.j1 : b.j0).colour;
        const Rgb& to = at(b.i1, cross ? b.j0 : b.j1).colour;
        auto holds = [&](float s, const Rgb& grid) { return gap(grid, lerp(from, to, s)) <= tolerance_; };
        // Lines of constant i, then of constant j: cell edges, whichever way cells are cut.
        for (int i = b.i0 + 1; i < b.i1; ++i) {
            const float s = float(i - b.i0) / ki;
            const float j = j0 + dj * s;
            const int jF = static_cast<int>(std::floor(j));
            if (j != jF && !holds(s, lerp(at(i, jF).colour, at(i, jF + 1).colour, j - jF))) return false;
        }
        for (int j = b.j0 + 1; j < b.j1; ++j) {
            const float s = (float(j) - j0) / dj;
            const float i = i0 + ki * s;
            const int iF = static_cast<int>(std::floor(i));
            if (i != iF && !holds(s, lerp(at(iF, j).colour, at(iF + 1, j).colour, i - iF))) return false;
        }
        // The cells' diagonals i - j = m (from (c, c - m) to (c + 1, c - m + 1)) and their
        // cross diagonals i + j = m (from (c, m - c) to (c + 1, m - c - 1)). Along the quad's
        // diagonal i - j and i + j move by ki - dj and ki + dj per unit of s.
        for (int family = 0; family < 2; ++family) {
            const float sign = family == 0 ? -1.0f : 1.0f;
            const float base = i0 + sign * j0, rate = float(ki) + sign * dj;
            if (rate == 0) continue;  // parallel: it runs along the cells' own diagonals
            const float mA = base, mB = base + rate;
            for (int m = static_cast<int>(std::floor(std::min(mA, mB))) + 1; m < std::max(mA, mB); ++m) {
                const float s = (float(m) - base) / rate;
                const float i = i0 + ki * s;
                const int iF = static_cast<int>(std::floor(i));
                if (i == iF) continue;  // at a grid vertex
                const Rgb& p = family == 0 ? at(iF, iF - m).colour : at(iF, m - iF).colour;
                const Rgb& q = family == 0 ? at(iF + 1, iF - m + 1).colour : at(iF + 1, m - iF - 1).colour;
                if (!holds(s, lerp(p, q, i - iF))) return false;
            }
        }
        return true;
    }

    int n_;
    float tolerance_;
    const Field& field_;
    std::vector<Shade> shades_;
    std::vector<bool> known_;
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
        : lit_(lighting.lighting), localViewer_(lighting.localViewer), shininess_(m.shininess) {
        if (!lit_) {
            base_ = lighting.currentColour;
            return;
        }
        for (int k = 0; k < 3; ++k) base_[k] = m.emission[k] + m.ambient[k] * lighting.sceneAmbient[k];
        // Below this N.H the highlight is under a millionth: not worth a pow.
        highlightFloor_ = m.shininess > 0 ? std::exp(std::log(1e-6f) / m.shininess) : 0.0f;
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
            p.wholeExponent = (l.spotExponent >= 0 && l.spotExponent <= 16 && l.spotExponent == std::floor(l.spotExponent))
                                  ? static_cast<int>(l.spotExponent)
                                  : -1;
            p.k0 = l.constantAttenuation, p.k1 = l.linearAttenuation, p.k2 = l.quadraticAttenuation;
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
        for (size_t index = 0; index < lights_.size(); ++index) {
            if (!(lights & (1u << index))) continue;
            const Light& l = lights_[index];
            Vec3 toLight = l.position;
            float attenuation = 1;
            if (l.positional) {
                toLight = difference(l.position, position);
                const float d = length(toLight);
                toLight = scaled(toLight, 1 / d);
                if (l.k0 != 1 || l.k1 != 0 || l.k2 != 0) attenuation = 1 / (l.k0 + l.k1 * d + l.k2 * d * d);
            }
            float spot = 1;
            if (l.spot) {
                const float cosAngle = -dot(toLight, l.direction);
                if (std::fabs(cosAngle - l.cosCutoff) < JUMP_MARGIN) out.nearJump = true;
                if (cosAngle < l.cosCutoff) continue;
                spot = power(std::max(cosAngle, 0.0f), l.exponent, l.wholeExponent);
            }
            const float k = attenuation * spot;
            const float nDotL = dot(normal, toLight);
            const Vec3 half = sum(toLight, view);
            const float halfLength = length(half);
            const float nDotH = halfLength > 0 ? dot(normal, half) / halfLength : 0;
            float highlight = 0;
            if (shininess_ == 0) highlight = 1;
            else if (nDotH > highlightFloor_) highlight = std::exp2(shininess_ * std::log2(nDotH));
            // The highlight exists only while the light is in front of the surface: at N.L = 0
            // it switches off at once, a jump if it is bright there.
            if (std::fabs(nDotL) < JUMP_MARGIN && highlight * k > 1e-4f) out.nearJump = true;
            for (int i = 0; i < 3; ++i) {
                float term = l.ambient[i];
                if (nDotL > 0) term += nDotL * l.diffuse[i] + highlight * l.specular[i];
                c[i] += k * term;
            }
        }
        for (int i = 0; i < 3; ++i) out.colour[i] = std::min(std::max(c[i], 0.0f), 1.0f);
        return out;
    }

    // The lights that may give something to a point within `radius` of `centre`, one bit
    // each: none when it is lit by the emission and the scene's ambient alone. A spot whose
    // cone misses the whole sphere gives nothing there.
    unsigned reach(const Vec3& centre, float radius) const {
        if (!lit_) return 0;  // every vertex takes the current colour
        unsigned lights = 0;
        for (size_t index = 0; index < lights_.size(); ++index) {
            const Light& l = lights_[index];
            if (l.spot && l.positional) {
                const Vec3 away = difference(centre, l.position);
                const float d = length(away);
                if (d > radius) {
                    const float cosAngle = std::min(1.0f, std::max(-1.0f, dot(away, l.direction) / d));
                    if (std::acos(cosAngle) - std::asin(radius / d) > l.cutoff + CONE_MARGIN) continue;
                }
            }
            lights |= 1u << index;
        }
        return lights;
    }

private:
    struct Light {
        bool positional = true, spot = false;
        Vec3 position{}, direction{};  // position, or the unit direction towards a light at infinity
        float cutoff = 0, cosCutoff = 0, exponent = 0;
        int wholeExponent = -1;  // the exponent when it is a small whole number, else -1
        float k0 = 1, k1 = 0, k2 = 0;
        Rgb ambient{}, diffuse{}, specular{};  // material times light
    };

    static float power(float x, float e, int whole) {
        if (whole < 0) return std::pow(x, e);
        float r = 1;
        for (int i = 0; i < whole; ++i) r *= x;
        return r;
    }

    bool lit_;
    bool localViewer_;
    float shininess_;
    float highlightFloor_ = 0;
    Rgb base_{};
    std::vector<Light> lights_;
};

// A face's colours, for the merger.
struct LitFace {
    const PreparedLighting& lighting;
    Vec3 origin, du, dw, normal;
    const CuboidGrid& grid;
    mutable unsigned lights = PreparedLighting::ALL;

    float coordinate(int i) const {
        const int n = grid.cells();
        return i < n ? grid.lo[i] : grid.hi[n - 1];
    }
    Vec3 point(float u, float w) const { return sum(origin, sum(scaled(du, u), scaled(dw, w))); }
    Shade at(int i, int j) const { return lighting.shade(point(coordinate(i), coordinate(j)), normal, lights); }
    unsigned reach(const GridBlock& b) const {
        const float u0 = coordinate(b.i0), u1 = coordinate(b.i1), w0 = coordinate(b.j0), w1 = coordinate(b.j1);
        const float radius = 0.5f * (length(du) * std::fabs(u1 - u0) + length(dw) * std::fabs(w1 - w0));
        return lighting.reach(point((u0 + u1) / 2, (w0 + w1) / 2), radius);
    }
    void use(unsigned reaching) const { lights = reaching; }
};

// The std::function field of the public interface, for the merger.
struct FunctionField {
    const FaceField& f;
    Shade at(int i, int j) const { return f.at(i, j); }
    unsigned reach(const GridBlock& b) const { return f.uniform && f.uniform(b) ? 0 : PreparedLighting::ALL; }
    void use(unsigned) const {}
};
}  // namespace

Shade shadeVertex(const LightingState& lighting, const SurfaceMaterial& material, const Vec3& eyePosition,
                  const Vec3& eyeNormal) {
    return PreparedLighting(lighting, material).shade(eyePosition, eyeNormal);
}

bool outsideEveryCone(const LightingState& lighting, const Vec3& centre, float radius) {
    return PreparedLighting(lighting, SurfaceMaterial{}).reach(centre, radius) == 0;
}

std::vector<GridBlock> mergeGrid(int n, float tolerance, const FaceField& field) {
    std::vector<GridBlock> blocks;
    const FunctionField f{field};
    GridMerger<FunctionField> merger(n, tolerance, f);
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

int appendLitBox(std::vector<MeshVertex>& out, const BoxSize& box, const CuboidGrid& grid,
                 const Matrix4& modelview, const LightingState& lighting, const SurfaceMaterial& material,
                 float tolerance) {
    const Vec3 eye = eyeInModel(modelview);
    float inv[9];
    if (!invert3(modelview.data(), inv)) return 0;  // a flattened view shows no face
    const PreparedLighting prepared(lighting, material);
    const int n = grid.cells();
    int quads = 0;
    std::vector<GridBlock> blocks;
    for (int face = 0; face < NUM_BOX_FACES; ++face) {
        if (!faceTowards(box, face, eye)) continue;
        const Vec3 origin = transformPoint(modelview, facePoint(box, face, 0, 0));
        const Vec3 uEnd = transformPoint(modelview, facePoint(box, face, 1, 0));
        const Vec3 wEnd = transformPoint(modelview, facePoint(box, face, 0, 1));
        // Normals go through the inverse transpose, as GL carries them.
        const Vec3 fn = faceNormal(face);
        const Vec3 normal{inv[0] * fn[0] + inv[3] * fn[1] + inv[6] * fn[2],
                          inv[1] * fn[0] + inv[4] * fn[1] + inv[7] * fn[2],
                          inv[2] * fn[0] + inv[5] * fn[1] + inv[8] * fn[2]};
        const LitFace field{prepared, origin, difference(uEnd, origin), difference(wEnd, origin), normal, grid};
        blocks.clear();
        GridMerger<LitFace> merger(n, tolerance, field);
        merger.merge({0, n, 0, n}, blocks);
        for (const GridBlock& b : blocks) appendFaceBlock(out, box, grid, face, b);
        quads += static_cast<int>(blocks.size());
    }
    return quads;
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
