// The two solids everything is built from, and the small drawing helpers.
#pragma once

#include <memory>
#include <string>

#include "ScreenBox.h"
#include "ShellOnly.h"

#include "constants.h"
#include "lights.h"
#include "Vector.h"

const float CIRCLE_RES = 50;  // half the segments of a full circle
const float RECT_RES = 1;     // one quad a face

// How a frame reaches GL. Fast draws the keys from cached meshes merged where their
// lighting allows, the hands in one batch each and the background from a copy of the
// window; Immediate sends everything as plain immediate-mode calls every frame, key bodies
// as drawCuboid's finest grid. Immediate is the yardstick the fast picture is held to.
enum class DrawPath { Fast, Immediate };

// A box centred on the origin, each face a grid of quads res of its side (res = 1/n), sent to
// GL as it is made.
void drawCuboid(float x, float y, float z, float res);
// A capped cylinder of radius r along X, from -d/2 to +d/2, sent to GL as it is made.
void drawCylinder(float r, float d);
// Front-face ambient, diffuse, specular and shininess; the emission is left alone.
void setMaterial(Material material);

// The way a frame's solids reach GL, on one drawing path.
class Solids {
public:
    explicit Solids(DrawPath path = DrawPath::Fast);
    ~Solids();
    Solids(const Solids&) = delete;
    Solids& operator=(const Solids&) = delete;

    DrawPath path() const { return path_; }
    void setPath(DrawPath path) { path_ = path; }
    // Whether to draw the fast way now: on the Fast path and while GL renders. Feedback and
    // selection report every primitive as sent, so they get the immediate drawing.
    bool fast() const;

    // drawCuboid and drawCylinder, or into the open batch.
    void cuboid(float x, float y, float z, float res);
    void cylinder(float r, float d);

    // Between these two calls cuboid and cylinder send nothing: they add their triangles,
    // carried through the modelview matrix current at each call, to a batch, and endBatch
    // draws the whole batch at once with the state current then. For solids that share a
    // material and texture but each have their own matrix (a hand's palm and fingers), so GL
    // gets one draw instead of one per matrix. Does nothing on the Immediate path, so those
    // calls are sent as they come.
    void beginBatch();
    void endBatch();
    // The same on either path, but endMeasure draws nothing: it gives every window pixel the
    // solids sent between the two calls can touch, under the projection and viewport now.
    void beginMeasure();
    ScreenBox endMeasure();

private:
    struct Batch;
    std::unique_ptr<Batch> batch_;
    DrawPath path_;
};
void translatev(const Vector& v);
