// Any MIDI note from the 25 keys' samples: the key of the same name an exact number of octaves
// away, played that many octaves faster or slower.
#pragma once

struct NoteSample {
    int key;      // 0..24, as keys[] counts them: the sample to play
    int octaves;  // how far the note lies above (or, negative, below) that key
    float pitch;  // 2^octaves: the speed to play the sample at
};

// For a note in C3..C5 its own key at its own speed; below, the key in C3..B3 and above, the
// key in C#4..C5, the nearest ones of its name. Notes outside 0..127 are held to it.
NoteSample noteSample(int midiNote);
