// tinklewood-import IN.mid [OUT.song]: makes a song of a MIDI file, as the program does when
// one is chosen. The song goes to OUT (or standard output); what was kept, folded and
// dropped, or the one line saying why the file was refused, goes to standard error.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "CommandLine.h"
#include "MidiFile.h"
#include "OutputFile.h"
#include "Printable.h"

namespace {
const CommandLineSyntax SYNTAX = {
    "tinklewood-import",
    "tinklewood-import IN.mid [OUT.song]",
    "Makes a song for Tinklewood of a Standard MIDI File, as the program does when one is chosen,\n"
    "and writes it to OUT.song, or to standard output without it. Standard error says which notes\n"
    "were kept, folded into the keyboard's range and dropped.\n"
    "  --help     this text\n"
    "  --version  the program's version\n",
    {},
    {"IN.mid", "OUT.song"},
    1,
};

int failed(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    return 1;
}
}  // namespace

int main(int argc, char** argv) {
    const CommandLine line = readCommandLine(SYNTAX, argc, argv);
    if (line.exitStatus >= 0) return finishCommandLine(SYNTAX, line);
    const std::string& in = line.operands[0];
    const bool toStandardOutput = line.operands.size() < 2;
    const std::string out = toStandardOutput ? "" : line.operands[1];
    const std::string cannotWrite = toStandardOutput ? "Error: Failed to write the song to standard output"
                                                : "Error: Failed to write song file " + printable(out);
    // Checked before anything is read: the song would replace the file it is made from.
    if (toStandardOutput ? standardOutputIs(in) : sameFile(in, out))
        return failed(cannotWrite + ": it is the MIDI file " + printable(in) + " itself");

    SongData song;
    std::string report, error;
    if (!importMidiSong(in, song, report, error)) return failed(error);
    const std::string text = formatSong(song);
    if (!toStandardOutput) {
        OutputFile file;
        if (!file.open(out) || !file.write(text.data(), text.size()) || !file.commit())
            return failed(cannotWrite + ": " + file.reason());
    } else {
        errno = 0;
        const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
        const int writeError = errno;
        std::string reason;
        const bool closed = closeStandardOutput(reason);
        if (!written || !closed)
            return failed(cannotWrite + ": " + (!written && writeError != 0 ? std::strerror(writeError) : reason));
    }
    std::fputs(report.c_str(), stderr);
    return 0;
}
