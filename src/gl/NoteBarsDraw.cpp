// The notes coming as lit boxes: one array of triangles a frame, drawn a colour at a time.
#include "NoteBarsDraw.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "Draw.h"
#include "lights.h"

namespace {
// Lighting is worked out at the corners only: a long bar is cut into lengths this short, so the
// spot light's edge and its fall-off show along it as they do on the keys.
constexpr float SEGMENT = 0.25f;

struct Box {
    float x0, x1, y0, y1, z0, z1;  // z0 the far end, z1 the near one
};

struct Point {
    float x, y, z;
};

// Quads appended as GL_N3F_V3F vertices, two triangles each. Cut here, not by GL: llvmpipe cuts
// a quad along one diagonal or the other depending on whether anything in the same draw needs
// clipping, and the light's fall-off across a bar would then depend on which other bars are
// drawn with it (a frame drawn in part draws only the bars within its box).
class Quads {
public:
    explicit Quads(std::vector<float>& out) : out_(out) {}
    // Corners in counter-clockwise order seen from outside, where the normal points.
    void quad(const Point& n, const Point& a, const Point& b, const Point& c, const Point& d) {
        for (const Point& p : {a, b, c, a, c, d}) out_.insert(out_.end(), {n.x, n.y, n.z, p.x, p.y, p.z});
    }

    void box(const Box& b) {
        const Point up{0, 1, 0}, down{0, -1, 0}, left{-1, 0, 0}, right{1, 0, 0}, near{0, 0, 1}, far{0, 0, -1};
        const int pieces = std::max(1, static_cast<int>(std::ceil((b.z1 - b.z0) / SEGMENT)));
        float za = b.z0;
        for (int i = 1; i <= pieces; ++i) {
            const float zb = i == pieces ? b.z1 : b.z0 + (b.z1 - b.z0) * static_cast<float>(i) / static_cast<float>(pieces);
            quad(up, {b.x0, b.y1, zb}, {b.x1, b.y1, zb}, {b.x1, b.y1, za}, {b.x0, b.y1, za});
            quad(down, {b.x0, b.y0, za}, {b.x1, b.y0, za}, {b.x1, b.y0, zb}, {b.x0, b.y0, zb});
            quad(right, {b.x1, b.y0, zb}, {b.x1, b.y0, za}, {b.x1, b.y1, za}, {b.x1, b.y1, zb});
            quad(left, {b.x0, b.y0, za}, {b.x0, b.y0, zb}, {b.x0, b.y1, zb}, {b.x0, b.y1, za});
            za = zb;
        }
        quad(near, {b.x0, b.y0, b.z1}, {b.x1, b.y0, b.z1}, {b.x1, b.y1, b.z1}, {b.x0, b.y1, b.z1});
        quad(far, {b.x1, b.y0, b.z0}, {b.x0, b.y0, b.z0}, {b.x0, b.y1, b.z0}, {b.x1, b.y1, b.z0});
    }

private:
    std::vector<float>& out_;
};

// Where a bar stands now, false when none of it is in view: its near end at the key's front
// edge once the entry is due (the rest has sunk into the key), its far end no farther than
// where bars come into view.
bool placeBar(const Scene& scene, const NoteBar& bar, Box& box) {
    if (bar.key < 0 || bar.key >= NUM_KEYS) return false;
    const PianoKey& key = scene.keys[static_cast<std::size_t>(bar.key)];
    const bool black = bar.key >= NUM_WHITE_KEYS;
    const float front = key.posZ + key.length / 2;
    const float half = (black ? BLACK_BAR_WIDTH : WHITE_BAR_WIDTH) / 2;
    box = {key.posX - half, key.posX + half, BAR_BOTTOM, BAR_BOTTOM + BAR_HEIGHT,
           std::max(front - bar.end * BAR_SPEED, BAR_FAR_Z), front - std::max(bar.start, 0.0f) * BAR_SPEED};
    return box.z1 > box.z0;
}
}  // namespace

ScreenBox barBox(const Scene& scene, const NoteBar& bar, const WindowProjection& camera) {
    Box b{};
    if (!placeBar(scene, bar, b)) return {};
    const float corners[8][3] = {{b.x0, b.y0, b.z0}, {b.x1, b.y0, b.z0}, {b.x0, b.y1, b.z0}, {b.x1, b.y1, b.z0},
                                 {b.x0, b.y0, b.z1}, {b.x1, b.y0, b.z1}, {b.x0, b.y1, b.z1}, {b.x1, b.y1, b.z1}};
    // Two pixels for GL's rounding of where the edges fall.
    return camera.around(&corners[0][0], 8, 3, 2);
}

void NoteBarsDrawer::draw(const Scene& scene, const std::vector<bool>* only) {
    if (scene.bars.empty()) return;
    // A colour at a time: the right hand's, then the left's, each plain and then shining.
    struct Kind {
        bool right, awaited;
        const float (*material)[4];
        const RGBA* emission;
    };
    const Kind kinds[] = {{true, false, RIGHT_BAR_COLOUR, &RIGHT_BAR_GLOW},
                          {true, true, RIGHT_BAR_COLOUR, &RIGHT_BAR_SHINE},
                          {false, false, LEFT_BAR_COLOUR, &LEFT_BAR_GLOW},
                          {false, true, LEFT_BAR_COLOUR, &LEFT_BAR_SHINE}};
    GLint first[4] = {}, count[4] = {};
    vertices_.clear();
    Quads quads(vertices_);
    for (int k = 0; k < 4; ++k) {
        first[k] = static_cast<GLint>(vertices_.size() / 6);
        Box box{};
        for (std::size_t i = 0; i < scene.bars.size(); ++i) {
            const NoteBar& bar = scene.bars[i];
            if (only != nullptr && !(i < only->size() && (*only)[i])) continue;
            if (bar.right == kinds[k].right && bar.awaited == kinds[k].awaited && placeBar(scene, bar, box))
                quads.box(box);
        }
        count[k] = static_cast<GLint>(vertices_.size() / 6) - first[k];
    }
    if (vertices_.empty()) return;

    // Closed boxes: the faces turned away are hidden behind the near ones, so they need no
    // rasterizing at all.
    glEnable(GL_CULL_FACE);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glInterleavedArrays(GL_N3F_V3F, 0, vertices_.data());
    for (int k = 0; k < 4; ++k) {
        if (count[k] == 0) continue;
        setMaterial(kinds[k].material);
        glMaterialfv(GL_FRONT, GL_EMISSION, kinds[k].emission->data());
        glDrawArrays(GL_TRIANGLES, first[k], count[k]);
    }
    glMaterialfv(GL_FRONT, GL_EMISSION, ZERO_COLOUR.data());
    glPopClientAttrib();
    glDisable(GL_CULL_FACE);
}
