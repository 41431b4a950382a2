// Keys as MIDI notes: the keyboard runs from C3 (MIDI note 48) to C5 (72).
#pragma once

constexpr int LOWEST_MIDI_NOTE = 48;   // C3, key 0
constexpr int HIGHEST_MIDI_NOTE = 72;  // C5, key 14
// The key a MIDI note (0..127) plays, octaves up or down into C3..C5 when outside it.
int midiNoteKey(int note);
// The MIDI note of a key.
int keyMidiNote(int key);
// The General MIDI curve: a sample's volume (0..1) is the square of velocity / 127, 12 dB down
// when the velocity halves; volumeVelocity is its inverse, 1..127.
float velocityVolume(int velocity);
int volumeVelocity(float volume);
