// Captures what a drawing function sends to GL, through GL's feedback mode: every polygon
// comes back as triangles with their vertices' positions and texture coordinates.
#pragma once

#include <GL/gl.h>

#include <array>
#include <functional>
#include <vector>

struct FeedbackVertex {
    float x, y, z;  // scene units (see captureTriangles)
    float s, t;     // texture coordinates
};
using FeedbackTriangle = std::array<FeedbackVertex, 3>;

// Draws with an orthographic view of the cube -range..range on every axis and the model-
// view matrix the identity times extraTransform, and returns the triangles GL produced,
// with positions mapped back to those scene units. Lighting and culling are off.
inline std::vector<FeedbackTriangle> captureTriangles(const std::function<void()>& draw,
                                                      float range = 10.0f) {
    const int viewport = 1000;
    glViewport(0, 0, viewport, viewport);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-range, range, -range, range, -range, range);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);

    static std::vector<GLfloat> buffer(4 << 20);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const int used = glRenderMode(GL_RENDER);

    glPopAttrib();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);

    std::vector<FeedbackTriangle> triangles;
    const int perVertex = 3 + 4 + 4;  // position, colour, texture
    auto vertexAt = [&](int i) {
        const float* f = &buffer[i];
        FeedbackVertex v;
        v.x = f[0] / viewport * 2 * range - range;
        v.y = f[1] / viewport * 2 * range - range;
        v.z = -(2 * f[2] - 1) * range;
        v.s = f[7] / f[10];
        v.t = f[8] / f[10];
        return v;
    };
    for (int i = 0; i < used;) {
        const auto token = static_cast<GLenum>(buffer[i]);
        if (token != GL_POLYGON_TOKEN) {
            ++i;  // points, lines and pass-through tokens are not expected here
            continue;
        }
        const int count = static_cast<int>(buffer[i + 1]);
        if (count == 3) {
            triangles.push_back({vertexAt(i + 2), vertexAt(i + 2 + perVertex),
                                 vertexAt(i + 2 + 2 * perVertex)});
        }
        i += 2 + count * perVertex;
    }
    return triangles;
}
