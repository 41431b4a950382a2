// Mathematical constants shared by the model and the drawing.
#pragma once

// Deliberately short of M_PI: the concert sweep and the cylinders' tessellation were tuned with it.
constexpr float PI = 3.14159f;
