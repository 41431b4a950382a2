// The scene's palette: materials, colours, and the fixed parameters of the concert lights.
#pragma once

#include <array>

#include "Vector.h"

using RGBA = std::array<float, 4>;
// Rows: ambient, diffuse, specular reflectance (RGBA); row 3 holds the shininess first.
using Material = const float[4][4];

constexpr Material SKIN_COLOUR = {
    {0.2f, 0.2f, 0.2f, 1.0f}, {0.5f, 0.5f, 0.3f, 1.0f}, {0.1f, 0.1f, 0.1f, 1.0f}, {5, 0, 0, 0}};
constexpr Material WHITE_KEY_COLOUR = {
    {0.1f, 0.1f, 0.1f, 1.0f}, {0.85f, 0.85f, 0.85f, 1.0f}, {0.5f, 0.5f, 0.5f, 1.0f}, {100, 0, 0, 0}};
constexpr Material WHITE_KEY_OUTLINE_COLOUR = {
    {0, 0, 0, 1.0f}, {0, 0, 0, 1.0f}, {0, 0, 0, 1.0f}, {0, 0, 0, 0}};
constexpr Material BLACK_KEY_COLOUR = {
    {0, 0, 0, 1.0f}, {0.01f, 0.01f, 0.01f, 1.0f}, {0.8f, 0.8f, 0.8f, 1.0f}, {100, 0, 0, 0}};

constexpr std::array<float, 3> clearColour = {0.02f, 0.02f, 0.05f};
constexpr RGBA helpTextColour = {0.9f, 0.9f, 1.0f, 1.0f};
constexpr RGBA GLOW_COLOUR = {0.3f, 0.4f, 0.3f, 1.0f};
constexpr RGBA HINT_COLOUR = {0.05f, 0.2f, 0.55f, 1.0f};  // the next key to play along
// A key played along, the moment it was played: right, or a wrong letter's (the emission fades
// from these to nothing).
constexpr RGBA RIGHT_COLOUR = {0.05f, 0.6f, 0.1f, 1.0f};
constexpr RGBA WRONG_COLOUR = {0.7f, 0.04f, 0.02f, 1.0f};
// The notes coming: the right hand's bars blue, the left hand's orange, lit in their own colour
// by ambient light too, and glowing a little so that they read outside the spot light; the bar
// playing along waits for shines.
constexpr Material RIGHT_BAR_COLOUR = {
    {0.15f, 0.45f, 1.0f, 1.0f}, {0.15f, 0.45f, 1.0f, 1.0f}, {0.3f, 0.3f, 0.3f, 1.0f}, {30, 0, 0, 0}};
constexpr Material LEFT_BAR_COLOUR = {
    {1.0f, 0.45f, 0.05f, 1.0f}, {1.0f, 0.45f, 0.05f, 1.0f}, {0.3f, 0.3f, 0.3f, 1.0f}, {30, 0, 0, 0}};
constexpr RGBA RIGHT_BAR_GLOW = {0.03f, 0.09f, 0.2f, 1.0f};
constexpr RGBA LEFT_BAR_GLOW = {0.2f, 0.09f, 0.01f, 1.0f};
constexpr RGBA RIGHT_BAR_SHINE = {0.1f, 0.3f, 0.8f, 1.0f};
constexpr RGBA LEFT_BAR_SHINE = {0.8f, 0.35f, 0.05f, 1.0f};
constexpr RGBA ZERO_COLOUR = {0, 0, 0, 0};
constexpr RGBA RED = {1, 0, 0, 1};
constexpr RGBA GREEN = {0, 1, 0, 1};
constexpr RGBA BLUE = {0, 0, 1, 1};

// Concert mode: three narrow positional spots in a row 4 units above the keyboard.
constexpr std::array<std::array<float, 4>, 3> CONCERT_SPOT_POS = {{
    {-3, 4, 0, 1}, {0, 4, 0, 1}, {3, 4, 0, 1}}};
constexpr RGBA CONCERT_SPOT_SPECULAR = {0.5f, 0.5f, 0.5f, 1.0f};
constexpr float CONCERT_SPOT_CUTOFF = 10.0f;   // degrees
constexpr float CONCERT_SPOT_EXPONENT = 1.0f;
constexpr float CONCERT_SPOT_SHININESS = 75.0f;
constexpr std::array<float, 3> DEFAULT_SPOT_DIR_1 = {1, -5, 0};
constexpr std::array<float, 3> DEFAULT_SPOT_DIR_2 = {0, -5, 0};
constexpr std::array<float, 3> DEFAULT_SPOT_DIR_3 = {-1, -5, 0};
constexpr std::array<Vector, 3> CONCERT_DEFAULT_DIR = {
    Vector(DEFAULT_SPOT_DIR_1), Vector(DEFAULT_SPOT_DIR_2), Vector(DEFAULT_SPOT_DIR_3)};
constexpr float CONCERT_SPEED = 4.0f;  // sweep phase, radians per second

// The normal spot light (light 0).
constexpr float NORMAL_SPOT_EXPONENT = 3.0f;
constexpr float SPOT_MIN = 0.0f;        // degrees
constexpr float SPOT_MAX = 50.0f;       // degrees
constexpr float SPOT_INCREMENT = 2.0f;  // degrees per key press
constexpr float SPOT_DIR_STEP = 0.1f;   // per arrow key press
