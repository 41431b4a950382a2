// Timing of frames, strokes and songs.
#pragma once

const float SEC_PER_FRAME = 1.0f / 60.0f;  // a frame only after more than this has passed

const float CHORD_SPEED = 0.2f;        // seconds of a chord stroke's down phase, and of its up phase
const float NOTE_SPEED_FACTOR = 0.2f;  // the same for a note stroke

const int FRAMES_PER_BEAT = 10;  // songs are counted in frames
const int FRAME_UP = 4;          // a song releases a letter this many frames before the next press
