// Reading and writing a song: an optional mode word (major or minor), a count of right-hand
// entries, that many (duration, letter index) pairs, then the same for the left hand, where a
// mode word may stand before any entry. Words are separated by any white space.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ChordInfo.h"

struct SongData {
    // (end beat, letter index): the end beat is the running sum of the durations so far.
    std::vector<std::array<float, 2>> right;
    std::vector<std::array<float, 2>> left;
    // The chord mode the song is played in from its start, when the file names one.
    std::optional<Mode> startMode;
    // (left-entry index, mode): from that left entry on, its chord letters are read in that
    // mode. Indices rise strictly and each is below left.size().
    std::vector<std::pair<std::size_t, Mode>> modeChanges;
};

// Parses a song's text. On success fills song and returns true; on failure leaves song
// alone, puts one short description of the first problem into error and returns false.
// rightLetters and leftLetters are the sizes of the two letter tables the indices name.
bool parseSong(const std::string& text, int rightLetters, int leftLetters, SongData& song,
               std::string& error);

// The text of a song, which parseSong reads back to the same data: the mode line first when
// there is one, then each hand's count and one entry a line.
std::string formatSong(const SongData& song);

// Songs longer than this many bytes are refused before they are read.
const long MAX_SONG_FILE_BYTES = 1 << 20;
// End beats beyond this are refused: a float counts whole beats exactly only so far, and
// no tune lasts anywhere near as long.
const float MAX_SONG_BEATS = 1 << 20;
