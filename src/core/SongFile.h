// Reading a song: a count of right-hand entries, that many (duration, letter index) pairs,
// then the same for the left hand. Numbers are separated by any white space.
#pragma once

#include <array>
#include <string>
#include <vector>

struct SongData {
    // (end beat, letter index): the end beat is the running sum of the durations so far.
    std::vector<std::array<float, 2>> right;
    std::vector<std::array<float, 2>> left;
};

// Parses a song's text. On success fills song and returns true; on failure leaves song
// alone, puts one short description of the first problem into error and returns false.
// rightLetters and leftLetters are the sizes of the two letter tables the indices name.
bool parseSong(const std::string& text, int rightLetters, int leftLetters, SongData& song,
               std::string& error);

// Songs longer than this many bytes are refused before they are read.
const long MAX_SONG_FILE_BYTES = 1 << 20;
// End beats beyond this are refused: a float counts whole beats exactly only so far, and
// no tune lasts anywhere near as long.
const float MAX_SONG_BEATS = 1 << 20;
