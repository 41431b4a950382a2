// The program's MIDI ports through RtMidi, on the ALSA sequencer or a JACK server: an input
// named "Tinklewood", connected to every MIDI source, whose messages go to the piano's MIDI
// inbox, and an output named "Tinklewood" that the piano's MIDI output sends through.
#pragma once

#include "AudioOnly.h"

class EventLog;
class Piano;

// Opens both ports on the MIDI system TINKLEWOOD_MIDI names ("alsa", "jack" or "off"), or
// else on the ALSA sequencer when the machine has one, else on a JACK server that is running,
// and connects the input to the sources present; a thread of its own then looks for new
// sources every second (RtMidi tells nobody of them). False when there is no MIDI system:
// silently when none was asked for, otherwise after one line on stderr. Run on the program's
// thread; the ports close at process exit, after note-offs for whatever the output left
// sounding.
bool openMidiPorts(Piano& piano, EventLog* log);
