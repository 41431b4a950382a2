// Drawing a hand and its fingers as their model poses them.
#pragma once

#include "ShellOnly.h"

#include "Draw.h"
#include "Finger.h"
#include "Hand.h"
#include "ScreenBox.h"

// The palm and fingers at the hand's position, the left hand mirrored; one draw per hand.
void drawHand(const Hand& hand, Solids& solids);
// A finger from its root at the current origin.
void drawFinger(const Finger& finger, Solids& solids);
// Every window pixel drawHand can touch under the camera and viewport GL holds now.
ScreenBox handBox(const Hand& hand, Solids& solids);
// Whether drawHand draws the two the same: equal in everything it reads (the side, position,
// wrist and finger angles), whatever their strokes' timing.
bool samePose(const Hand& a, const Hand& b);
