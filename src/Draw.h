// The two solids everything is built from, and the small drawing helpers.
#pragma once

#include <string>

#include "lights.h"
#include "vector.h"

const float PI = 3.14159f;
const float CIRCLE_RES = 50;  // half the segments of a full circle
const float RECT_RES = 1;     // one quad a face

// A box centred on the origin, each face a grid of quads res of its side (res = 1/n).
void drawCuboid(float x, float y, float z, float res);
// A capped cylinder of radius r along X, from -d/2 to +d/2.
void drawCylinder(float r, float d);
// Front-face ambient, diffuse, specular and shininess; the emission is left alone.
void setMaterial(Material material);
void translatev(const Vector& v);
void printString(float x, float y, std::string str);
