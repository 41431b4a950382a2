// Drawing a hand and its fingers as their model poses them.
#pragma once

#include "ShellOnly.h"

#include "Draw.h"
#include "Finger.h"
#include "Hand.h"

// The palm and fingers at the hand's position, the left hand mirrored; one draw per hand.
void drawHand(const Hand& hand, Solids& solids);
// A finger from its root at the current origin.
void drawFinger(const Finger& finger, Solids& solids);
