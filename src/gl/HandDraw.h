// Drawing a hand and its fingers as their model poses them.
#pragma once

#include "Finger.h"
#include "Hand.h"

// The palm and fingers at the hand's position, the left hand mirrored; one draw per hand.
void drawHand(const Hand& hand);
// A finger from its root at the current origin.
void drawFinger(const Finger& finger);
