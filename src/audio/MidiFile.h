// Standard MIDI files through libsmf: reading one into the plain description the importer
// takes, importing one as a song, and writing one track of notes (for the recorder).
#pragma once

#include "AudioOnly.h"

#include <string>
#include <vector>

#include "MidiImport.h"
#include "SongFile.h"

// MIDI files longer than this are refused unread: a song's file is a few kilobytes.
const long MAX_MIDI_FILE_BYTES = 1 << 20;

// Checks that bytes are a Standard MIDI File libsmf can be given safely: the header, every
// declared track chunk and every event inside it, without reading past any length. On a
// problem puts a short description of it into problem and returns false.
bool checkMidiBytes(const std::string& bytes, std::string& problem);

// Reads a MIDI file's bytes into score. Refuses, as checkMidiBytes does, what is malformed.
bool readMidiBytes(const std::string& bytes, MidiScore& score, std::string& problem);

// Reads a MIDI file (a regular file of at most MAX_MIDI_FILE_BYTES, opened without blocking)
// into score. On failure puts one printable line, without its newline, into error: "Error:
// Failed to open MIDI file PATH" or "Error: Malformed MIDI file PATH: PROBLEM".
bool readMidiFile(const std::string& path, MidiScore& score, std::string& error);

// Reads a MIDI file as readMidiFile does and makes it a song, as tinklewood-import does and
// as "6" does for play along. On success fills song and report (a few lines saying what was
// kept, folded and dropped); on failure error is one line, as readMidiFile's.
bool importMidiSong(const std::string& path, SongData& song, std::string& report, std::string& error);

// One event of a track to write: a note starts (velocity 1..127) or ends (velocity 0); or,
// with a program of 0..127, the instrument changes.
struct MidiNoteEvent {
    double seconds = 0;
    int pitch = 60;
    int velocity = 0;
    int program = -1;
};

// Writes a format-0 file of one track on channel 1: the General MIDI program (0..127) at
// the start, then the events in time order (a note's end before another's start at the
// same time), at 120 beats a minute and MIDI_WRITE_TICKS_PER_QUARTER ticks a quarter note.
// On failure puts one line into error and returns false.
bool writeMidiFile(const std::string& path, int program, const std::vector<MidiNoteEvent>& events,
                   std::string& error);

const int MIDI_WRITE_TICKS_PER_QUARTER = 960;
