// The song player: it plays by typing, pressing and releasing the same letters a user
// would, on a grid of frames and beats.
#include <algorithm>
#include <cstdio>

#include "EventLog.h"
#include "FileRead.h"
#include "timer.h"
#include "Piano.h"
#include "SongFile.h"
#include "animation.h"

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
    float& nextSpeed;              // the speed of the hand's next stroke
    float strokeDown;              // seconds of a full stroke's way down
    bool (*busy)();                // the hand's stroke is still running
    bool (*held)();                // the stroke's letter is still down
    const unsigned int& strokes;   // strokes of this hand started so far
    void (*endStroke)();
    SongHandState& state;
};

SongHand rightPart{key_letters, app.performance.nextNoteSpeed, NOTE_SPEED_FACTOR, [] { return currNote >= 0; }, [] { return noteKeyPressed; },
                   noteStrokes, endNoteStroke, app.song.right};
SongHand leftPart{chord_letters, app.performance.nextChordSpeed, CHORD_SPEED, [] { return playChord != NONE; }, [] { return chordKeyPressed; },
                  chordStrokes, endChordStroke, app.song.left};

bool ownsRunningStroke(const SongHand& hand) {
    return hand.state.startedAny && hand.busy() && hand.state.ownStroke == hand.strokes;
}

unsigned char letterOf(const SongHand& hand, const std::array<float, 2>& entry) {
    return static_cast<unsigned char>(hand.letters[static_cast<int>(entry[1])]);
}

// How fast the stroke of an entry of `beats` beats must run to reach the bottom by the time
// its letter is released, FRAME_UP frames before the next entry's press ends it: a one-beat
// entry would otherwise be ended before its key is struck. Entries of two beats and more are
// released after the full down phase and keep their full stroke.
float strokeSpeed(const SongHand& hand, float beats) {
    const float heldFor = (beats * FRAMES_PER_BEAT - FRAME_UP) * SEC_PER_FRAME;
    return std::max(1.0f, hand.strokeDown / heldFor);
}

void press(SongHand& hand, const std::vector<std::array<float, 2>>& entries, unsigned int index) {
    // A song releases a letter only FRAME_UP frames before its next press, while a stroke
    // needs 0.2 s to come back up: without ending the song's own released stroke here,
    // most entries would find the hand busy and be dropped. A stroke the user started,
    // or one still held, is left alone and the song's press is ignored.
    if (ownsRunningStroke(hand) && !hand.held()) hand.endStroke();
    const std::array<float, 2>& entry = entries[index];
    // A mode change written into the song (a recording made across one) comes before the
    // chord it applies to, so the chord letter names the chord that was played.
    if (&hand == &leftPart) {
        for (const auto& [at, changed] : app.song.modeChanges)
            if (at == index) mode = changed;
    }
    const unsigned int before = hand.strokes;
    const unsigned char letter = letterOf(hand, entry);
    hand.nextSpeed = strokeSpeed(hand, index == 0 ? entry[0] : entry[0] - entries[index - 1][0]);
    logEvent("song-press", std::string(1, static_cast<char>(letter)));
    pressKey(letter, true);
    hand.nextSpeed = 1;  // an ignored press leaves nothing behind for the user's next stroke
    hand.state.heldLetter = letter;
    if (hand.strokes != before) {
        hand.state.ownStroke = hand.strokes;
        hand.state.startedAny = true;
    }
}

void release(SongHand& hand, const std::array<float, 2>& entry) {
    const unsigned char letter = letterOf(hand, entry);
    logEvent("song-release", std::string(1, static_cast<char>(letter)));
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
    if (current < entries.size()) press(hand, entries, current);
}

// The current entry's letter goes up FRAME_UP frames before the beat that ends it.
void releaseBeforeEnd(SongHand& hand, const std::vector<std::array<float, 2>>& entries,
                      unsigned int current) {
    if (current >= entries.size()) return;
    if (static_cast<float>(beat) != entries[current][0] - 1) return;
    release(hand, entries[current]);
}

// ---- Playing along ------------------------------------------------------------------
PlayAlongState& along = app.song.along;

double nowSeconds() { return static_cast<double>(clocksource::now()) / clocksource::TICKS_PER_SECOND; }

void startPlayAlong() {
    const bool on = along.on;
    along = PlayAlongState();
    along.on = on;
    along.active = on;
    along.entries = songRight.size();
}

// The beat on which a right-hand entry is due: where the one before it ends.
int startBeat(unsigned int index) { return index == 0 ? 0 : static_cast<int>(songRight[index - 1][0]); }

void nextExpected() {
    if (!along.missed) ++along.rightFirstTime;
    along.missed = false;
    along.takenEarly = false;
    along.lateFrames = 0;
    ++currRightNote;
}

// On each new beat: an entry the player took early is done when its beat comes.
void followPlayer() {
    if (currRightNote < songRight.size() && along.takenEarly && beat >= startBeat(currRightNote)) nextExpected();
}

// The counter runs on for a beat past the expected entry's time; then it stops and waits.
void waitIfLate() {
    if (along.waiting || currRightNote >= songRight.size()) return;
    if (beat * FRAMES_PER_BEAT + numFrames < startBeat(currRightNote) * FRAMES_PER_BEAT) return;
    if (++along.lateFrames < FRAMES_PER_BEAT) return;
    along.waiting = true;
    along.waitStarted = nowSeconds();
}

void showPlayAlongCount() {
    char text[160];
    std::snprintf(text, sizeof text, "right first time %d of %zu, wrong letters %d, longest wait %.1f s",
                  along.rightFirstTime, along.entries, along.wrongLetters, along.longestWait);
    showCaption(text);
}

bool readFile(const std::string& path, std::string& text, std::string& problem) {
    switch (readSmallFile(path, MAX_SONG_FILE_BYTES, text)) {
    case FileRead::Missing:
        return false;
    case FileRead::Read:
        return true;
    case FileRead::NotRegular:
    case FileRead::TooLarge:
    case FileRead::Failed:
        break;
    }
    problem = "it is not a readable file of at most " + std::to_string(MAX_SONG_FILE_BYTES) + " bytes";
    return true;
}
}  // namespace

void playSong(std::string song) { playSongFile(songsPath + song); }

bool playSongFile(const std::string& path) {
    std::string text, problem;
    if (!readFile(path, text, problem)) {
        std::printf("Error: Failed to open song file %s\n", path.c_str());
        std::fflush(stdout);
        return false;
    }
    SongData data;
    if (problem.empty()) {
        parseSong(text, static_cast<int>(key_letters.size()), static_cast<int>(chord_letters.size()),
                  data, problem);
    }
    if (!problem.empty()) {
        std::printf("Error: Malformed song file %s: %s\n", path.c_str(), problem.c_str());
        std::fflush(stdout);
        return false;
    }
    return startSong(std::move(data), path);
}

bool startSong(SongData data, const std::string& path) {
    if (data.right.empty() && data.left.empty()) {
        std::printf("Error: Song file %s has no notes to play\n", path.c_str());
        std::fflush(stdout);
        return false;
    }

    // A restart ends what the song before it still holds, so its first entries can play.
    for (SongHand* hand : {&rightPart, &leftPart}) {
        letGo(*hand);
        if (ownsRunningStroke(*hand)) hand->endStroke();
    }
    if (data.startMode) mode = *data.startMode;  // the song's chord letters mean its mode's chords
    songRight = std::move(data.right);
    songLeft = std::move(data.left);
    app.song.modeChanges = std::move(data.modeChanges);
    songPlaying = true;
    beat = 0;
    numFrames = 0;
    currLeftChord = 0;
    currRightNote = 0;
    startPlayAlong();
    // Played along, the song waits for the player's first note before anything sounds.
    if (along.active && !songRight.empty()) {
        along.waiting = true;
        along.waitStarted = nowSeconds();
        return true;
    }
    if (!songRight.empty()) press(rightPart, songRight, 0);
    if (!songLeft.empty()) press(leftPart, songLeft, 0);
    return true;
}

void stepSong() {
    if (along.active && along.waiting) return;  // the beat counter stands still
    ++numFrames;
    if (numFrames == FRAMES_PER_BEAT) {
        ++beat;
        numFrames = 0;
        if (along.active) followPlayer();
        else advance(rightPart, songRight, currRightNote);
        advance(leftPart, songLeft, currLeftChord);
    } else if (numFrames == FRAMES_PER_BEAT - FRAME_UP) {
        if (!along.active) releaseBeforeEnd(rightPart, songRight, currRightNote);
        releaseBeforeEnd(leftPart, songLeft, currLeftChord);
    }
    if (along.active) waitIfLate();
    // Over when both hands are: an accompaniment that outlasts the melody plays to its end.
    if (currRightNote == songRight.size() && currLeftChord == songLeft.size()) {
        const bool playedAlong = along.active;
        stopSong();
        if (playedAlong) showPlayAlongCount();
    }
}

void stopSong() {
    for (SongHand* hand : {&rightPart, &leftPart}) {
        letGo(*hand);
        hand->state.startedAny = false;
    }
    songPlaying = false;
    songRight.clear();
    songLeft.clear();
    app.song.modeChanges.clear();
    along.active = along.waiting = false;
}

void togglePlayAlong() {
    along.on = !along.on;
    showCaption(along.on ? "play along" : "the program plays");
}

int playAlongHintKey() {
    if (!songPlaying || !along.active || currRightNote >= songRight.size()) return -1;
    const int index = static_cast<int>(songRight[currRightNote][1]);
    return index <= 7 ? index + 7 : index + 12;
}

void playAlongLetter(unsigned char letter) {
    if (!songPlaying || !along.active || currRightNote >= songRight.size()) return;
    if (letter != letterOf(rightPart, songRight[currRightNote])) {
        // It sounds its own note; the song waits on.
        ++along.wrongLetters;
        along.missed = true;
        return;
    }
    const int due = startBeat(currRightNote) * FRAMES_PER_BEAT;
    const int now = beat * FRAMES_PER_BEAT + numFrames;
    if (along.waiting) {
        // The wait before the first note is the player getting ready, not a note hesitated over.
        if (currRightNote > 0) along.longestWait = std::max(along.longestWait, nowSeconds() - along.waitStarted);
        along.waiting = false;
        if (currRightNote == 0 && !songLeft.empty()) press(leftPart, songLeft, 0);  // the song starts now
        nextExpected();
    } else if (now >= due) {
        nextExpected();  // a little late, within the beat the counter waits
    } else if (now >= due - FRAMES_PER_BEAT) {
        along.takenEarly = true;  // a little early: the song goes on through its beat
    }
    // Earlier still, it only sounds: the song's time for it has not come.
}
