// The song player: it plays by typing, pressing and releasing the same letters a user
// would, on a grid of frames and beats.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "Piano.h"
#include "SongFile.h"
#include "animation.h"

const std::string songsPath = "../res/songs/";
const std::string songName = "twinkle.song";
std::vector<std::array<float, 2>>& songRight = app.song.songRight;
std::vector<std::array<float, 2>>& songLeft = app.song.songLeft;
bool& songPlaying = app.song.songPlaying;
int& numFrames = app.song.numFrames;
int& beat = app.song.beat;
unsigned int& currRightNote = app.song.currRightNote;
unsigned int& currLeftChord = app.song.currLeftChord;

namespace {
// What the song has done to one hand: the letter it holds down, and the stroke it started.
struct SongHand {
    const std::string& letters;
    bool (*busy)();                // the hand's stroke is still running
    bool (*held)();                // the stroke's letter is still down
    const unsigned int& strokes;   // strokes of this hand started so far
    void (*endStroke)();
    SongHandState& state;
};

SongHand rightPart{key_letters, [] { return currNote >= 0; }, [] { return noteKeyPressed; },
                   noteStrokes, endNoteStroke, app.song.right};
SongHand leftPart{chord_letters, [] { return playChord != NONE; }, [] { return chordKeyPressed; },
                  chordStrokes, endChordStroke, app.song.left};

bool ownsRunningStroke(const SongHand& hand) {
    return hand.state.startedAny && hand.busy() && hand.state.ownStroke == hand.strokes;
}

unsigned char letterOf(const SongHand& hand, const std::array<float, 2>& entry) {
    return static_cast<unsigned char>(hand.letters[static_cast<int>(entry[1])]);
}

void press(SongHand& hand, const std::array<float, 2>& entry) {
    // A song releases a letter only FRAME_UP frames before its next press, while a stroke
    // needs 0.2 s to come back up: without ending the song's own released stroke here,
    // most entries would find the hand busy and be dropped. A stroke the user started,
    // or one still held, is left alone and the song's press is ignored.
    if (ownsRunningStroke(hand) && !hand.held()) hand.endStroke();
    const unsigned int before = hand.strokes;
    const unsigned char letter = letterOf(hand, entry);
    handleKeyPress(letter, 0, 0);
    hand.state.heldLetter = letter;
    if (hand.strokes != before) {
        hand.state.ownStroke = hand.strokes;
        hand.state.startedAny = true;
    }
}

void release(SongHand& hand, const std::array<float, 2>& entry) {
    const unsigned char letter = letterOf(hand, entry);
    handleKeyUp(letter, 0, 0);
    if (hand.state.heldLetter == letter) hand.state.heldLetter = 0;
}

// A song that ends or is replaced lets go of what it holds; otherwise a chord held at the
// end would stay down, sounding, until the user happened to type its letter.
void letGo(SongHand& hand) {
    if (hand.state.heldLetter != 0) handleKeyUp(hand.state.heldLetter, 0, 0);
    hand.state.heldLetter = 0;
}

// On the frame a beat reaches the current entry's end, move on and press the next entry.
void advance(SongHand& hand, const std::vector<std::array<float, 2>>& entries, unsigned int& current) {
    if (current >= entries.size()) return;
    if (static_cast<float>(beat) != entries[current][0]) return;
    ++current;
    if (current < entries.size()) press(hand, entries[current]);
}

// The current entry's letter goes up FRAME_UP frames before the beat that ends it.
void releaseBeforeEnd(SongHand& hand, const std::vector<std::array<float, 2>>& entries,
                      unsigned int current) {
    if (current >= entries.size()) return;
    if (static_cast<float>(beat) != entries[current][0] - 1) return;
    release(hand, entries[current]);
}

bool readFile(const std::string& path, std::string& text, std::string& problem) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || size > MAX_SONG_FILE_BYTES) {
        problem = "it is not a readable file of at most " + std::to_string(MAX_SONG_FILE_BYTES) + " bytes";
        return true;
    }
    in.seekg(0, std::ios::beg);
    std::ostringstream contents;
    contents << in.rdbuf();
    text = contents.str();
    return true;
}
}  // namespace

void playSong(std::string song) {
    const std::string path = songsPath + song;
    std::string text, problem;
    if (!readFile(path, text, problem)) {
        std::printf("Error: Failed to open song file %s\n", path.c_str());
        std::fflush(stdout);
        return;
    }
    SongData data;
    if (problem.empty()) {
        parseSong(text, static_cast<int>(key_letters.size()), static_cast<int>(chord_letters.size()),
                  data, problem);
    }
    if (!problem.empty()) {
        std::printf("Error: Malformed song file %s: %s\n", path.c_str(), problem.c_str());
        std::fflush(stdout);
        return;
    }

    // A restart ends what the song before it still holds, so its first entries can play.
    for (SongHand* hand : {&rightPart, &leftPart}) {
        letGo(*hand);
        if (ownsRunningStroke(*hand)) hand->endStroke();
    }
    if (data.startMode) mode = *data.startMode;  // the song's chord letters mean its mode's chords
    songRight = std::move(data.right);
    songLeft = std::move(data.left);
    songPlaying = true;
    beat = 0;
    numFrames = 0;
    currLeftChord = 0;
    currRightNote = 0;
    if (!songRight.empty()) press(rightPart, songRight[0]);
    if (!songLeft.empty()) press(leftPart, songLeft[0]);
}

void stepSong() {
    ++numFrames;
    if (numFrames == FRAMES_PER_BEAT) {
        ++beat;
        numFrames = 0;
        advance(rightPart, songRight, currRightNote);
        advance(leftPart, songLeft, currLeftChord);
    } else if (numFrames == FRAMES_PER_BEAT - FRAME_UP) {
        releaseBeforeEnd(rightPart, songRight, currRightNote);
        releaseBeforeEnd(leftPart, songLeft, currLeftChord);
    }
    if (currRightNote == songRight.size()) stopSong();
}

void stopSong() {
    for (SongHand* hand : {&rightPart, &leftPart}) {
        letGo(*hand);
        hand->state.startedAny = false;
    }
    songPlaying = false;
    songRight.clear();
    songLeft.clear();
}
