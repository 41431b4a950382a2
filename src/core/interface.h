// Window, camera and mouse constants.
#pragma once

const int WIN_POS_X = 50;
const int WIN_POS_Y = 50;
const int HELP_POS_X = 1275;
const int HELP_POS_Y = 50;
const int HELP_WIDTH = 500;
const int HELP_HEIGHT = 700;

const double CAMERA_FOVY = 60.0;  // degrees, vertical
const double NEAR_CLIP = 1.0;
const double FAR_CLIP = 50.0;

const float MOUSE_ROT_SCALE = 0.075f;   // degrees of camera turn per pixel of drag
const float MOUSE_ZOOM_SCALE = 0.02f;   // scene units of camera distance per pixel of drag
const float ZOOM_MIN = -7.5f;           // nearest camPos[2]
const float ZOOM_MAX = -30.0f;          // farthest camPos[2]

// The GLUT codes of the keys and buttons the input handlers test. Repeated here so the
// handlers need no GLUT header; the shell checks them against GLUT's own.
const int KEY_LEFT = 100;
const int KEY_UP = 101;
const int KEY_RIGHT = 102;
const int KEY_DOWN = 103;
const int MOUSE_LEFT_BUTTON = 0;
const int MOUSE_RIGHT_BUTTON = 2;
const int MOUSE_DOWN = 0;
