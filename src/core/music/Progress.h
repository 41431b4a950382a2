// Playing along's results: what one run came to, how it is told, and each song's best as the
// user's progress file keeps it (a small text file, one song a line).
#pragma once

#include <map>
#include <string>
#include <vector>

// One run played along, from the first letter to the song's end.
struct PracticeResult {
    int entries = 0;         // letters the player had to play (a repeated passage counts again)
    int rightFirstTime = 0;  // of those, played with no wrong letter before them
    int wrongLetters = 0;
    double longestWait = 0;  // seconds the song stood waiting, the wait for the first letter aside
    int timed = 0;           // letters played while the song ran on, within a beat of their time
    double meanOffset = 0;   // their average distance from their time in seconds: late > 0
    int tempoPercent = 100;
    std::string hands;       // "right", "left" or "both"
    std::string date;        // local, "2026-12-09"
};

// Right first time as a whole percentage, rounded down: 100 only when every letter was.
int rightShare(const PracticeResult& result);
// Whether a is the better run: more right first time, then the faster tempo, then fewer wrong
// letters. A tie keeps the older result.
bool better(const PracticeResult& a, const PracticeResult& b);
// The caption at the end of a run.
std::string describeRun(const PracticeResult& result);
// A song's best in a few words.
std::string describeBest(const PracticeResult& result);

// Each song's best, by progressKey, and the lines of the file this program could not read
// (kept as they were, so a line written by a later version is not lost).
struct ProgressBook {
    std::map<std::string, PracticeResult> best;
    std::vector<std::string> otherLines;
};
// A song's name in the book: its file name, escaped (one line, no tab).
std::string progressKey(const std::string& songPath);
std::string formatProgress(const ProgressBook& book);
ProgressBook parseProgress(const std::string& text);
// Where the book is kept: $XDG_DATA_HOME/tinklewood/progress; empty without a home folder.
std::string progressPath();
// The book in the file at path: true with an empty book when there is none yet, false with
// the reason when the file is there but cannot be read (it must not then be written over).
bool readProgress(const std::string& path, ProgressBook& book, std::string& problem);
// Writes the book whole to path, making its folder if need be; empty on success, else why.
std::string writeProgress(const std::string& path, const ProgressBook& book);
