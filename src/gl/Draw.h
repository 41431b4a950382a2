// The two solids everything is built from, and the small drawing helpers.
#pragma once

#include <string>

#include "constants.h"
#include "lights.h"
#include "vector.h"

const float CIRCLE_RES = 50;  // half the segments of a full circle
const float RECT_RES = 1;     // one quad a face

// How a frame reaches GL. Fast draws the keys from cached meshes merged where their
// lighting allows, the hands in one batch each and the background from a copy of the
// window; Immediate sends everything as plain immediate-mode calls every frame, key bodies
// as drawCuboid's finest grid. Immediate is the yardstick the fast picture is held to.
enum class DrawPath { Fast, Immediate };
extern DrawPath drawPath;
// Whether to draw the fast way now: on the Fast path and while GL renders. Feedback and
// selection report every primitive as sent, so they get the immediate drawing.
bool drawingFast();

// A box centred on the origin, each face a grid of quads res of its side (res = 1/n).
void drawCuboid(float x, float y, float z, float res);
// A capped cylinder of radius r along X, from -d/2 to +d/2.
void drawCylinder(float r, float d);
// Front-face ambient, diffuse, specular and shininess; the emission is left alone.
void setMaterial(Material material);

// Between these two calls drawCuboid and drawCylinder send nothing: they add their
// triangles, carried through the modelview matrix current at each call, to a batch, and
// endSolidBatch draws the whole batch at once with the state current then. For solids that
// share a material and texture but each have their own matrix (a hand's palm and
// fingers), so GL gets one draw instead of one per matrix. Does nothing with the Immediate
// path, so those calls are sent as they come.
void beginSolidBatch();
void endSolidBatch();
void translatev(const Vector& v);
void printString(float x, float y, std::string str);
