// Handing the light state to OpenGL, once per frame after the camera transform.
#pragma once

#include "Scene.h"
#include "ShellOnly.h"

// The normal spot light (light 0) on, the concert beams off.
void setLighting(const LightState& light);
// The three coloured concert beams (lights 1 to 3) on, the spot light off.
void setConcertLighting(const LightState& light);
