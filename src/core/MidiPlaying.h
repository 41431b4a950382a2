// Playing from a MIDI keyboard, and telling a MIDI output what the program plays: the
// window-free half. The RtMidi adapter (src/audio/MidiPorts) queues what comes in from its own
// threads and sends what goes out; everything else runs on the program's thread.
#pragma once

#include <cstddef>

// ---- MIDI in ---------------------------------------------------------------------------
// A note-on sounds its key at once, with no finger travel first, at a volume set by its
// velocity, and presses the key; a note outside the 25 keys is taken into them by octaves.
// A note-off (or the sustain pedal's release, controller 64) lets the key rise and the
// sample fade as a released letter's does. The hands follow when free, moving only: a note
// of the right hand's thirteen keys gets a right-hand stroke, a held triad that is one of
// the current mode's five chords gets the left hand's chord; neither sounds nor presses
// anything itself. Notes from MIDI are not reported to observeKeySounds, so the MIDI output
// never sends them back.

// Any thread: one message as it came in, status byte first. Note on and off and controllers
// are kept, everything else is dropped; a flood faster than the frames drops the newest.
void queueMidiInput(const unsigned char* message, std::size_t size);
// Any thread: messages wait to be played. The frame loop asks before it waits, and plays them
// (stepMidi) first thing when it wakes: a MIDI note sounds as it comes in, not a frame later.
bool midiInputPending();
// What wakes the frame loop: called on the MIDI thread when a message lands in an empty
// queue, so it must be safe there (the shell writes to an eventfd its wait watches).
using MidiWake = void (*)();
void wakeOnMidiInput(MidiWake wake);
// Program thread: plays the queued messages, lets released keys rise (asking for a redraw
// when a key moved) and keeps the MIDI output's program in step with the instrument. Run by
// the frame step, and by the frame loop each time it wakes.
void stepMidi();
// Released keys are still rising: frames are needed.
bool midiKeysMoving();
// Empties the queue without playing it (tests, between cases).
void discardMidiInput();

// ---- MIDI out --------------------------------------------------------------------------
// Every key the program sounds (letters, songs, play-along) goes out as note on and off on
// channel 1, velocity from its volume; a program change names the instrument (General MIDI)
// before the first note, after every change of instrument, and before a note that follows
// silence, so a synthesizer connected late still plays the right instrument.
using MidiSend = void (*)(const unsigned char* message, std::size_t size);
void startMidiOutput(MidiSend send);
// Note-offs for whatever the output has left sounding; then nothing more is sent.
void stopMidiOutput();

// ---- Keys and notes --------------------------------------------------------------------
const int LOWEST_MIDI_NOTE = 48;                                // C3, key 0
const int HIGHEST_MIDI_NOTE = 72;                               // C5, key 14
// The key a MIDI note (0..127) plays, octaves up or down into C3..C5 when outside it.
int midiNoteKey(int note);
int keyMidiNote(int key);
// The General MIDI curve: a sample's volume (0..1) is the square of velocity / 127, 12 dB
// down when the velocity halves; volumeVelocity is its inverse, 1..127.
float velocityVolume(int velocity);
int volumeVelocity(float volume);
