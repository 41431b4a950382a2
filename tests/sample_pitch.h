// Measures the pitch of a recorded note, for checking the instrument samples. It is told
// nothing about the note it should find, so it cannot be drawn towards the expected answer.
#pragma once

#include <vector>

// The note's fundamental in Hz, measured over 0.1-0.6 s after its onset; 0 when the
// recording is too short or has no steady pitch between 55 and 1100 Hz.
double estimatePitchHz(const std::vector<float>& samples, int rate);
// The same over windowLength seconds from windowStart after the onset, for a note too short
// for the window above (a song's two-beat note sounds for about 0.2 s).
double estimatePitchHz(const std::vector<float>& samples, int rate, double windowStart, double windowLength);

// Equal temperament, A4 = MIDI 69 = 440 Hz.
double midiToHz(double midi);
double centsBetween(double hz, double referenceHz);
