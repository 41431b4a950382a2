// Window, camera and mouse constants.
#pragma once

constexpr int WIN_POS_X = 50;
constexpr int WIN_POS_Y = 50;
constexpr int HELP_POS_X = 1275;
constexpr int HELP_POS_Y = 50;
constexpr int HELP_WIDTH = 500;
constexpr int HELP_HEIGHT = 700;

constexpr double CAMERA_FOVY = 60.0;  // degrees, vertical
constexpr double NEAR_CLIP = 1.0;
constexpr double FAR_CLIP = 50.0;

constexpr float MOUSE_ROT_SCALE = 0.075f;   // degrees of camera turn per pixel of drag
constexpr float MOUSE_ZOOM_SCALE = 0.02f;   // scene units of camera distance per pixel of drag
constexpr float ZOOM_MIN = -7.5f;           // nearest camPos[2]
constexpr float ZOOM_MAX = -30.0f;          // farthest camPos[2]

// The GLUT codes of the keys and buttons the input handlers test. Repeated here so the
// handlers need no GLUT header; the shell checks them against GLUT's own.
constexpr int KEY_LEFT = 100;
constexpr int KEY_UP = 101;
constexpr int KEY_RIGHT = 102;
constexpr int KEY_DOWN = 103;
constexpr int MOUSE_LEFT_BUTTON = 0;
constexpr int MOUSE_RIGHT_BUTTON = 2;
constexpr int MOUSE_DOWN = 0;
