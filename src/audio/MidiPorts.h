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
// sources every second (RtMidi tells nobody of them). On JACK that thread also sees the server
// go away: one line says so, the piano lets go of every note held from MIDI, and the ports open
// again, with one line, once a server runs again. False when there is no MIDI system: silently
// when none was asked for, otherwise after one line on stderr. Run on the program's thread;
// the piano must outlive the ports.
bool openMidiPorts(Piano& piano, EventLog* log);
// Stops the looking thread, sends note-offs for whatever the output left sounding and closes
// both ports. Run on the program's thread before the piano goes; nothing when none are open.
void closeMidiPorts();
