// The SoundFonts the program offers as instruments: the user's own, in their data folder, and
// the system's General MIDI SoundFont when a package installed one.
#pragma once

#include <string>
#include <vector>

struct SoundFontEntry {
    std::string path;  // as it is opened
    std::string name;  // for the caption: the SoundFont's own name (INAM), else from the file name
};

// Where the user puts theirs: $XDG_DATA_HOME/tinklewood/soundfonts, by default
// ~/.local/share/tinklewood/soundfonts. Empty when no data folder can be named.
std::string userSoundFontDir();

// Where Debian's General MIDI SoundFont packages (fluid-soundfont-gm, timgm6mb-soundfont,
// musescore-general-soundfont...) point their alternatives.
const std::vector<std::string>& systemSoundFonts();

// systemSoundFonts(), or, when `named` is given (TINKLEWOOD_SYSTEM_SOUNDFONTS), the files it
// names between colons instead: none when it is empty, so that a test sees the same
// instruments on every machine.
std::vector<std::string> systemSoundFontsNamed(const char* named);

// The name a SoundFont file gives itself, read from the head of the file alone (its INFO
// list), printable and at most 40 characters; else its file name made a title as a song's
// is ("My Piano" for my_piano.sf2). False, with the reason in error, when the file is not a
// SoundFont: missing, not a regular file, or without the RIFF sfbk header and INFO list every
// SoundFont opens with.
bool readSoundFontName(const std::string& path, std::string& name, std::string& error);

// The .sf2 and .sf3 files (either case) of userDir by file name, then those of systemFiles
// that exist and are not one of those. A file that is not a SoundFont is left out after one
// line on stderr naming it; other files are passed over in silence. Reads only the head of
// each file: quick enough for start-up with SoundFonts of hundreds of megabytes. Each call
// tells again: call it once.
std::vector<SoundFontEntry> listSoundFonts(const std::string& userDir, const std::vector<std::string>& systemFiles);
