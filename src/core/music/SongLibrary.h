// The songs the program offers: the shipped ones and those the user keeps in their own data
// folder, in the order "6" steps through them, with the titles shown for them.
#pragma once

#include <string>
#include <vector>

struct SongEntry {
    std::string path;   // as it is opened
    std::string title;  // from the file name: "ode_to_joy.song" is "Ode to Joy"
    bool midi = false;  // a Standard MIDI File, turned into a song when chosen
};

// "ode_to_joy.song" -> "Ode to Joy": words joined by underscores, each capitalised but for
// short joining words inside the title. Control codes in the name come out escaped.
std::string songTitle(const std::string& fileName);

// dir/name, with one slash between them whether or not dir ends in one.
std::string joinedPath(const std::string& dir, const std::string& name);

// The user's own folder for the program's files: $XDG_DATA_HOME/tinklewood, by default
// ~/.local/share/tinklewood. Empty when neither variable gives an absolute path.
std::string userDataDir();

// The song and MIDI files of the shipped folder, `first` (the program's own first song) at the
// head and the rest by file name, then those of the user's folder by file name. A folder that
// is missing or unreadable adds nothing; only regular files that can be read count.
// With problems, what was left out is told there, one printable line each, in the order met:
// a song or MIDI name that is a folder, a link to nothing or a loop of links, a file that
// cannot be read, and a folder that exists but cannot be read.
std::vector<SongEntry> listSongs(const std::string& shippedDir, const std::string& first,
                                 const std::string& userDir, std::vector<std::string>* problems = nullptr);
