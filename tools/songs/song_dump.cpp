// song-dump SONG...: a song file as the program reads it, in JSON, so that the scripts and
// tests that need a song's entries take them from the program's own reader instead of parsing
// the format again. Not installed: it serves the repository's checks.
//
// One object a line per file:
//   {"file": ..., "title": ..., "mode": "major"|"minor"|null, "mode_changes": [[left entry, mode]...],
//    "right": [[beats, letter index]...], "left": [...], "words": N}
// "words" counts the words of the song as the program writes it out (formatSong): a file with
// more has words the reader leaves unread, one with fewer leaves a hand's count out. A file the
// program refuses gets its one line on standard error, and the status is 1.
#include <cstdio>
#include <string>
#include <vector>

#include "FileRead.h"
#include "Letters.h"
#include "SongFile.h"
#include "SongLibrary.h"

namespace {

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A letter index as the player takes it: the reader accepts a fractional one, kept exactly.
std::string number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

const char* modeName(Mode mode) { return mode == MINOR ? "\"minor\"" : "\"major\""; }

// (beats, letter index) pairs: the reader keeps running end beats, the file durations.
std::string entries(const std::vector<std::array<float, 2>>& hand) {
    std::string out = "[";
    float previous = 0;
    for (const auto& entry : hand) {
        out += (out.size() > 1 ? ", [" : "[") + number(entry[0] - previous) + ", " + number(entry[1]) + "]";
        previous = entry[0];
    }
    return out + "]";
}

std::size_t wordCount(const std::string& text) {
    std::size_t count = 0;
    bool inWord = false;
    for (const char c : text) {
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
        count += !space && !inWord;
        inWord = !space;
    }
    return count;
}

// The program's own reading of a song file (playSongFile): the same size limit, the same
// refusals, the same letter tables. False after the program's one line on standard error.
bool dump(const std::string& path) {
    std::string text;
    const FileRead read = readSmallFile(path, MAX_SONG_FILE_BYTES, text);
    if (read == FileRead::Missing) {
        std::fprintf(stderr, "Error: Failed to open song file %s\n", path.c_str());
        return false;
    }
    SongData song;
    std::string problem;
    if (read != FileRead::Read)
        problem = "it is not a readable file of at most " + std::to_string(MAX_SONG_FILE_BYTES) + " bytes";
    else
        parseSong(text, NUM_NOTE_LETTERS, NUM_CHORD_LETTERS, song, problem);
    if (!problem.empty()) {
        std::fprintf(stderr, "Error: Malformed song file %s: %s\n", path.c_str(), problem.c_str());
        return false;
    }
    std::string changes = "[";
    for (const auto& [index, mode] : song.modeChanges)
        changes += (changes.size() > 1 ? ", [" : "[") + std::to_string(index) + ", " + modeName(mode) + "]";
    changes += "]";
    const std::string name = path.substr(path.rfind('/') + 1);
    std::printf("{\"file\": %s, \"title\": %s, \"mode\": %s, \"mode_changes\": %s, \"right\": %s, \"left\": %s, "
                "\"words\": %zu}\n",
                jsonString(path).c_str(), jsonString(songTitle(name)).c_str(),
                song.startMode ? modeName(*song.startMode) : "null", changes.c_str(), entries(song.right).c_str(),
                entries(song.left).c_str(), wordCount(formatSong(song)));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: song-dump SONG...\n");
        return 2;
    }
    bool all = true;
    for (int i = 1; i < argc; ++i) all = dump(argv[i]) && all;
    std::fflush(stdout);
    return all ? 0 : 1;
}
