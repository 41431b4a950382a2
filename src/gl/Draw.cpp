// Immediate-mode primitives, and a batch that carries the same vertex streams through the
// modelview on the CPU and sends a whole hand in one draw.
#include "Draw.h"

#include "Maths.h"
#include "ScreenBox.h"

#include <GL/glut.h>

#include <cassert>
#include <cmath>
#include <memory>
#include <vector>

namespace {
// Where the primitives' vertex streams go: straight to GL, or into the open batch.
struct ImmediateSink {
    void begin(GLenum mode) { glBegin(mode); }
    void end() { glEnd(); }
    void normal(float x, float y, float z) { glNormal3f(x, y, z); }
    void texCoord(float s, float t) { glTexCoord2f(s, t); }
    void vertex(float x, float y, float z) { glVertex3f(x, y, z); }
};

// A batch holds eye-space vertices and the triangles GL would cut each primitive into.
class BatchSink {
public:
    bool open = false;
    bool measuring = false;  // only the vertices are wanted, not the triangles to draw

    void clear() {
        vertices_.clear();
        indices_.clear();
    }
    void begin(GLenum mode) {
        mode_ = mode;
        first_ = static_cast<GLuint>(vertices_.size());
        float m[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        for (int i = 0; i < 16; ++i) modelview_[i] = m[i];
        glGetFloatv(GL_PROJECTION_MATRIX, projection_);
        // Normals go through the inverse transpose of the upper 3 x 3, as GL carries them.
        float inv[9] = {};
        invert3(m, inv);
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col) normalMatrix_[row * 3 + col] = inv[col * 3 + row];
    }
    void end() {
        if (measuring) return;
        const GLuint count = static_cast<GLuint>(vertices_.size()) - first_;
        auto tri = [&](GLuint i, GLuint j, GLuint k) {
            if (!facesViewer(first_ + i, first_ + j, first_ + k)) return;
            indices_.push_back(first_ + i);
            indices_.push_back(first_ + j);
            indices_.push_back(first_ + k);
        };
        switch (mode_) {
        case GL_QUADS:
            // llvmpipe splits a quad along v0-v2, except in a draw that has to be clipped:
            // those go through the draw module, which splits along v1-v3. In immediate mode
            // each of these primitives is a draw of its own (a matrix change sends it).
            if (anyOutsideView(first_, count)) {
                for (GLuint q = 0; q + 3 < count; q += 4) {
                    tri(q, q + 1, q + 3);
                    tri(q + 1, q + 2, q + 3);
                }
            } else {
                for (GLuint q = 0; q + 3 < count; q += 4) {
                    tri(q, q + 1, q + 2);
                    tri(q, q + 2, q + 3);
                }
            }
            break;
        case GL_TRIANGLE_STRIP:
            for (GLuint i = 0; i + 2 < count; ++i) {
                if (i % 2 == 0) tri(i, i + 1, i + 2);
                else tri(i + 1, i, i + 2);
            }
            break;
        case GL_POLYGON:  // a fan about the first vertex
            for (GLuint i = 1; i + 1 < count; ++i) tri(0, i, i + 1);
            break;
        default:
            assert(false && "the primitives use quads, strips and polygons only");
        }
    }
    void normal(float x, float y, float z) {
        const float* n = normalMatrix_;
        normal_[0] = n[0] * x + n[1] * y + n[2] * z;
        normal_[1] = n[3] * x + n[4] * y + n[5] * z;
        normal_[2] = n[6] * x + n[7] * y + n[8] * z;
    }
    void texCoord(float s, float t) {
        texCoord_[0] = s;
        texCoord_[1] = t;
    }
    void vertex(float x, float y, float z) {
        const float* m = modelview_;
        vertices_.push_back({texCoord_[0], texCoord_[1], normal_[0], normal_[1], normal_[2],
                             m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
                             m[2] * x + m[6] * y + m[10] * z + m[14]});
    }
    // Every pixel the batch's solids can touch, whichever of their faces are drawn.
    ScreenBox windowBox(int margin) const {
        if (vertices_.empty()) return {};
        return WindowProjection::fromEye().around(&vertices_[0].x, vertices_.size(), sizeof(Vertex) / sizeof(float),
                                                  margin);
    }
    void draw() const {
        if (indices_.empty()) return;
        GLint matrixMode = GL_MODELVIEW;
        glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();  // the vertices are in eye coordinates already
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glInterleavedArrays(GL_T2F_N3F_V3F, sizeof(Vertex), vertices_.data());
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indices_.size()), GL_UNSIGNED_INT, indices_.data());
        glPopClientAttrib();
        glPopMatrix();
        glMatrixMode(static_cast<GLenum>(matrixMode));
    }

private:
    struct Vertex {  // GL_T2F_N3F_V3F
        float s, t, nx, ny, nz, x, y, z;
    };

    // A triangle of a closed solid whose outside (the side its vertex normals point to) is
    // turned away from the viewer is always behind the solid's own near side: leaving it out
    // changes nothing drawn. Turned away means its corners, as they land on the screen, go
    // round the other way than seen from outside; a triangle that is all but edge-on, or
    // that reaches behind the eye, is kept.
    bool facesViewer(GLuint a, GLuint b, GLuint c) const {
        const Vertex* v[3] = {&vertices_[a], &vertices_[b], &vertices_[c]};
        float sx[3], sy[3];
        for (int k = 0; k < 3; ++k) {
            const float* p = projection_;
            const float x = p[0] * v[k]->x + p[4] * v[k]->y + p[8] * v[k]->z + p[12];
            const float y = p[1] * v[k]->x + p[5] * v[k]->y + p[9] * v[k]->z + p[13];
            const float w = p[3] * v[k]->x + p[7] * v[k]->y + p[11] * v[k]->z + p[15];
            if (!(w > 0)) return true;
            sx[k] = x / w;
            sy[k] = y / w;
        }
        const float screenArea = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
        // The side the corners' order makes the front, against the side the normals point to.
        const float ux = v[1]->x - v[0]->x, uy = v[1]->y - v[0]->y, uz = v[1]->z - v[0]->z;
        const float wx = v[2]->x - v[0]->x, wy = v[2]->y - v[0]->y, wz = v[2]->z - v[0]->z;
        const float outward = (uy * wz - uz * wy) * (v[0]->nx + v[1]->nx + v[2]->nx) +
                              (uz * wx - ux * wz) * (v[0]->ny + v[1]->ny + v[2]->ny) +
                              (ux * wy - uy * wx) * (v[0]->nz + v[1]->nz + v[2]->nz);
        const float facing = outward >= 0 ? screenArea : -screenArea;
        return facing > -1e-7f;
    }

    bool anyOutsideView(GLuint first, GLuint count) const {
        const float* p = projection_;
        for (GLuint i = first; i < first + count; ++i) {
            const Vertex& v = vertices_[i];
            float c[4];
            for (int row = 0; row < 4; ++row) c[row] = p[row] * v.x + p[4 + row] * v.y + p[8 + row] * v.z + p[12 + row];
            for (int a = 0; a < 3; ++a)
                if (c[a] < -c[3] || c[a] > c[3]) return true;
        }
        return false;
    }
    std::vector<Vertex> vertices_;
    std::vector<GLuint> indices_;
    GLenum mode_ = GL_QUADS;
    GLuint first_ = 0;
    float modelview_[16] = {};
    float projection_[16] = {};
    float normalMatrix_[9] = {};
    float normal_[3] = {0, 0, 1};
    float texCoord_[2] = {0, 0};
};

// One face of a cuboid: corner(u, w) maps the face coordinates (centred, -0.5..0.5) to
// the vertex. secondAxisFirst picks the corner order that the face's table gives.
template <typename Sink, typename Corner>
void emitFace(Sink& sink, float res, bool secondAxisFirst, Corner corner) {
    const float limit = 1.0f - res * 0.5f;
    for (float p = 0.0f; p < limit; p += res) {
        for (float q = 0.0f; q < limit; q += res) {
            const float a = p - 0.5f, b = q - 0.5f;
            const float a2 = a + res, b2 = b + res;
            const float s = p, s2 = p + res, t = q, t2 = q + res;
            if (secondAxisFirst) {  // (a,b), (a,b'), (a',b'), (a',b)
                sink.texCoord(s, t);   corner(a, b);
                sink.texCoord(s, t2);  corner(a, b2);
                sink.texCoord(s2, t2); corner(a2, b2);
                sink.texCoord(s2, t);  corner(a2, b);
            } else {                // (a,b), (a',b), (a',b'), (a,b')
                sink.texCoord(s, t);   corner(a, b);
                sink.texCoord(s2, t);  corner(a2, b);
                sink.texCoord(s2, t2); corner(a2, b2);
                sink.texCoord(s, t2);  corner(a, b2);
            }
        }
    }
}

template <typename Sink>
void cuboid(Sink& sink, float x, float y, float z, float res) {
    sink.begin(GL_QUADS);
    sink.normal(0, 0, 1);
    emitFace(sink, res, true, [&](float u, float w) { sink.vertex(x * u, y * w, z / 2); });
    sink.normal(0, 0, -1);
    emitFace(sink, res, false, [&](float u, float w) { sink.vertex(x * u, y * w, -z / 2); });
    sink.normal(-1, 0, 0);
    emitFace(sink, res, true, [&](float u, float w) { sink.vertex(-x / 2, y * u, z * w); });
    sink.normal(1, 0, 0);
    emitFace(sink, res, false, [&](float u, float w) { sink.vertex(x / 2, y * u, z * w); });
    sink.normal(0, 1, 0);
    emitFace(sink, res, true, [&](float u, float w) { sink.vertex(x * u, y / 2, z * w); });
    sink.normal(0, -1, 0);
    emitFace(sink, res, false, [&](float u, float w) { sink.vertex(x * u, -y / 2, z * w); });
    sink.end();
}

template <typename Sink>
void cylinder(Sink& sink, float r, float d) {
    const float step = PI / CIRCLE_RES;
    sink.begin(GL_TRIANGLE_STRIP);
    for (float a = 0.0f; a < 2.1f * PI; a += step) {
        const float c = std::cos(a), s = std::sin(a);
        const float t = static_cast<float>((a / 2.0) * PI);
        sink.normal(0, c, s);
        sink.texCoord(0, t);
        sink.vertex(d / 2, r * c, r * s);
        sink.texCoord(1, t);
        sink.vertex(-d / 2, r * c, r * s);
    }
    sink.end();

    for (int side = -1; side <= 1; side += 2) {
        sink.begin(GL_POLYGON);
        sink.normal(static_cast<float>(side), 0, 0);
        for (float a = 0.0f; a < 2.0f * PI; a += step) {
            const float c = std::cos(a), s = std::sin(a);
            sink.texCoord(r * c, r * s);
            sink.vertex(side * d / 2, r * c, r * s);
        }
        sink.end();
    }
}
}  // namespace

struct Solids::Batch : BatchSink {};

Solids::Solids(DrawPath path) : batch_(std::make_unique<Batch>()), path_(path) {}

Solids::~Solids() = default;

void Solids::cuboid(float x, float y, float z, float res) {
    if (batch_->open) {
        ::cuboid(*batch_, x, y, z, res);
        return;
    }
    drawCuboid(x, y, z, res);
}

void Solids::cylinder(float r, float d) {
    if (batch_->open) {
        ::cylinder(*batch_, r, d);
        return;
    }
    drawCylinder(r, d);
}

bool Solids::fast() const {
    if (path_ != DrawPath::Fast) return false;
    GLint renderMode = GL_RENDER;
    glGetIntegerv(GL_RENDER_MODE, &renderMode);
    return renderMode == GL_RENDER;
}

void Solids::beginBatch() {
    assert(!batch_->open && "solid batches do not nest");
    if (!fast()) return;
    batch_->clear();
    batch_->open = true;
}

void Solids::endBatch() {
    if (!batch_->open) return;
    batch_->open = false;
    batch_->draw();
}

void Solids::beginMeasure() {
    assert(!batch_->open && "solid batches do not nest");
    batch_->clear();
    batch_->open = true;
    batch_->measuring = true;
}

ScreenBox Solids::endMeasure() {
    assert(batch_->open && "endMeasure follows beginMeasure");
    batch_->open = false;
    batch_->measuring = false;
    // Two pixels for GL's rounding: the immediate drawing carries the vertices through the
    // matrices itself, on floats of its own.
    return batch_->windowBox(2);
}

void drawCuboid(float x, float y, float z, float res) {
    ImmediateSink gl;
    cuboid(gl, x, y, z, res);
}

void drawCylinder(float r, float d) {
    ImmediateSink gl;
    cylinder(gl, r, d);
}

void setMaterial(Material material) {
    glMaterialfv(GL_FRONT, GL_AMBIENT, material[0]);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, material[1]);
    glMaterialfv(GL_FRONT, GL_SPECULAR, material[2]);
    glMaterialfv(GL_FRONT, GL_SHININESS, &material[3][0]);
}

void translatev(const Vector& v) { glTranslatef(v[0], v[1], v[2]); }
