// The instruments and the sample each key sounds on each: one table gives the sample paths,
// the preload list, the captions' names and the MIDI programs.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "Resources.h"
#include "modelDims.h"

enum Instruments { PIANO, SYNTH, ORGAN, MUSICBOX, CHOIR, NUM_INSTRUMENTS };

// Sample folders under the sounds folder.
inline constexpr std::array<std::string_view, NUM_INSTRUMENTS> INSTRUMENT_FOLDERS = {
    "piano/", "synth/", "organ/", "music_box/", "choir/"};
// As the user reads them.
inline constexpr std::array<std::string_view, NUM_INSTRUMENTS> INSTRUMENT_NAMES = {
    "piano", "synth", "organ", "music box", "choir"};
// General MIDI: Acoustic Grand Piano, Lead 2 (sawtooth), Church Organ, Music Box, Choir Aahs.
inline constexpr std::array<int, NUM_INSTRUMENTS> INSTRUMENT_PROGRAMS = {0, 81, 19, 10, 52};
inline constexpr std::array<std::string_view, NUM_KEYS> KEY_SAMPLE_FILES = {
    "C0.mp3", "D0.mp3", "E0.mp3", "F0.mp3", "G0.mp3", "A0.mp3", "B0.mp3",
    "C1.mp3", "D1.mp3", "E1.mp3", "F1.mp3", "G1.mp3", "A1.mp3", "B1.mp3", "C2.mp3",
    "Black0.mp3", "Black1.mp3", "Black2.mp3", "Black3.mp3", "Black4.mp3",
    "Black5.mp3", "Black6.mp3", "Black7.mp3", "Black8.mp3", "Black9.mp3"};

// The General MIDI program that names an instrument to the MIDI output and in a recording's
// MIDI file. A SoundFont's instruments, after the built-in ones, are named the piano: their
// letters play the first preset, General MIDI's piano in a General MIDI SoundFont.
int instrumentProgram(int instrument);

// The sample a key sounds on an instrument.
std::string samplePath(const ResourcePaths& resources, int instrument, int key);
// Every sample the program can play: five instruments of 25 keys, for the engine to decode ahead.
std::vector<std::string> instrumentSamplePaths(const ResourcePaths& resources);
