// Timing of frames, strokes and songs, in seconds and frames.
#pragma once

constexpr float SEC_PER_FRAME = 1.0f / 60.0f;  // a frame only after more than this has passed

// A stroke's way down, and then its way up, each take this long on the stroke's own clock.
constexpr float CHORD_DOWN_SECONDS = 0.2f;
constexpr float NOTE_DOWN_SECONDS = 0.2f;

constexpr int FRAMES_PER_BEAT = 10;  // songs are counted in frames
constexpr int FRAME_UP = 4;          // a song releases a letter this many frames before the next press
