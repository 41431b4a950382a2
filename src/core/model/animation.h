// The piano's time: strokes in seconds, and songs in steps of the piano's clock.
#pragma once

// The piano's time moves on in steps of a sixtieth of a second of the clock; a frame that comes
// late runs the steps it missed, so nothing slows down when frames are slow.
constexpr double STEP_SECONDS = 1.0 / 60.0;

// A stroke's way down, and then its way up, each take this long on the stroke's own clock.
constexpr float CHORD_DOWN_SECONDS = 0.2f;
constexpr float NOTE_DOWN_SECONDS = 0.2f;
// Keys start down in the last fifth of the way down: a full stroke strikes this long after it starts.
constexpr double STRIKE_SECONDS = 0.8 * NOTE_DOWN_SECONDS;

constexpr int STEPS_PER_BEAT = 10;  // a song's beat is a sixth of a second at its written tempo
constexpr int STEPS_UP = 4;         // a song releases a letter this many steps before the next press
constexpr double BEAT_SECONDS = STEPS_PER_BEAT * STEP_SECONDS;
