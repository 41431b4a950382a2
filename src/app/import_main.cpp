// tinklewood-import IN.mid [OUT.song]: makes a song of a MIDI file, as the program does when
// one is chosen. The song goes to OUT (or standard output); what was kept, folded and
// dropped, or the one line saying why the file was refused, goes to standard error.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "MidiFile.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: tinklewood-import IN.mid [OUT.song]\n");
        return 2;
    }
    SongData song;
    std::string report, error;
    if (!importMidiSong(argv[1], song, report, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const std::string text = formatSong(song);
    if (argc == 3) {
        std::ofstream out(argv[2], std::ios::binary);
        out << text;
        out.close();
        if (!out) {
            std::fprintf(stderr, "Error: Failed to write song file %s\n", argv[2]);
            return 1;
        }
    } else {
        std::cout << text << std::flush;
    }
    std::fputs(report.c_str(), stderr);
    return 0;
}
