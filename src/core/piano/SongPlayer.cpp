// The song player and playing along, on the grid of frames and beats.
#include "SongPlayer.h"

#include <algorithm>
#include <cstdio>

#include "Letters.h"
#include "animation.h"

SongPlayer::SongPlayer(Performer& piano) : piano_(piano) {}

unsigned char SongPlayer::letterOf(const Part& part, const std::array<float, 2>& entry) const {
    const std::string_view letters = part.right ? NOTE_LETTERS : CHORD_LETTERS;
    return static_cast<unsigned char>(letters[static_cast<std::size_t>(entry[1])]);
}

bool SongPlayer::ownsRunningStroke(Part& part) {
    const Stroke& stroke = piano_.stroke(part.right);
    return part.startedAny && stroke.busy() && part.ownStroke == stroke.count;
}

// How fast the stroke of an entry of `beats` beats must run to reach the bottom by the time its
// letter is released, STEPS_UP frames before the next entry's press ends it: a one-beat entry
// would otherwise be ended before its key is struck. Entries of two beats and more are released
// after the full down phase and keep their full stroke.
float SongPlayer::strokeSpeed(const Part& part, float beats) {
    const float heldFor = static_cast<float>((beats * STEPS_PER_BEAT - STEPS_UP) * STEP_SECONDS / tempo_);
    return std::max(1.0f, piano_.stroke(part.right).downSeconds() / heldFor);
}

void SongPlayer::press(Part& part, unsigned int index) {
    Stroke& stroke = piano_.stroke(part.right);
    // A song releases a letter only STEPS_UP frames before its next press, while a stroke needs
    // 0.2 s to come back up: without ending the song's own released stroke here, most entries
    // would find the hand busy and be dropped. A stroke the user started, or one still held, is
    // left alone and the song's press is ignored.
    if (ownsRunningStroke(part) && !stroke.held) stroke.endNow();
    const std::array<float, 2>& entry = part.entries[index];
    // A mode change written into the song (a recording made across one) comes before the chord
    // it applies to, so the chord letter names the chord that was played.
    if (!part.right) {
        for (const auto& [at, changed] : modeChanges_)
            if (at == index) piano_.setMode(changed);
    }
    const unsigned int before = stroke.count;
    const unsigned char letter = letterOf(part, entry);
    stroke.nextSpeed = strokeSpeed(part, index == 0 ? entry[0] : entry[0] - part.entries[index - 1][0]);
    piano_.log("song-press", std::string(1, static_cast<char>(letter)));
    piano_.songPress(letter);
    stroke.nextSpeed = 1;  // an ignored press leaves nothing behind for the user's next stroke
    part.held = letter;
    if (stroke.count != before) {
        part.ownStroke = stroke.count;
        part.startedAny = true;
    }
}

void SongPlayer::release(Part& part, const std::array<float, 2>& entry) {
    const unsigned char letter = letterOf(part, entry);
    piano_.log("song-release", std::string(1, static_cast<char>(letter)));
    piano_.songRelease(letter);
    if (part.held == letter) part.held = 0;
}

// A song that ends or is replaced lets go of what it holds; otherwise a chord held at the end
// would stay down, sounding, until the user happened to type its letter.
void SongPlayer::letGo(Part& part) {
    if (part.held != 0) piano_.songRelease(part.held);
    part.held = 0;
}

// On the frame a beat reaches the current entry's end, move on and press the next entry.
void SongPlayer::advance(Part& part) {
    if (part.current >= part.entries.size()) return;
    if (static_cast<float>(beat_) != part.entries[part.current][0]) return;
    ++part.current;
    if (part.current < part.entries.size()) press(part, part.current);
}

// The current entry's letter goes up STEPS_UP frames before the beat that ends it.
void SongPlayer::releaseBeforeEnd(Part& part) {
    if (part.current >= part.entries.size()) return;
    if (static_cast<float>(beat_) != part.entries[part.current][0] - 1) return;
    release(part, part.entries[part.current]);
}

void SongPlayer::start(SongData data) {
    for (Part* part : {&right_, &left_}) {
        letGo(*part);
        if (ownsRunningStroke(*part)) piano_.stroke(part->right).endNow();
    }
    if (data.startMode) piano_.setMode(*data.startMode);  // the song's chord letters mean its mode's chords
    right_.entries = std::move(data.right);
    left_.entries = std::move(data.left);
    modeChanges_ = std::move(data.modeChanges);
    playing_ = true;
    beat_ = 0;
    frames_ = 0;
    position_ = 0;
    stepsDone_ = 0;
    left_.current = 0;
    right_.current = 0;
    startPlayAlong();
    // Played along, the song waits for the player's first note before anything sounds.
    if (along_.active && !right_.entries.empty()) {
        along_.waiting = true;
        along_.waitStarted = piano_.seconds();
        return;
    }
    if (!right_.entries.empty()) press(right_, 0);
    if (!left_.entries.empty()) press(left_, 0);
}

void SongPlayer::step() {
    if (along_.active && along_.waiting) return;  // the beat counter stands still
    position_ += tempo_;
    // A little under a whole step still counts as one: tenths of a tempo do not add up exactly.
    while (playing_ && !(along_.active && along_.waiting) && static_cast<double>(stepsDone_ + 1) <= position_ + 1e-6) {
        ++stepsDone_;
        stepOnce();
    }
}

double SongPlayer::songSteps() const {
    // position_ runs ahead of the steps worked through by less than one at a tempo under 1; a
    // step that started a wait leaves the rest of its tempo unworked, which is no part of a step.
    const double part = waiting() ? 0.0 : std::clamp(position_ - static_cast<double>(stepsDone_), 0.0, 1.0 - 1e-6);
    return beat_ * STEPS_PER_BEAT + frames_ + part;
}

void SongPlayer::stepOnce() {
    ++frames_;
    if (frames_ == STEPS_PER_BEAT) {
        ++beat_;
        frames_ = 0;
        if (along_.active)
            followPlayer();
        else
            advance(right_);
        advance(left_);
    } else if (frames_ == STEPS_PER_BEAT - STEPS_UP) {
        if (!along_.active) releaseBeforeEnd(right_);
        releaseBeforeEnd(left_);
    }
    if (along_.active) waitIfLate();
    // Over when both hands are: an accompaniment that outlasts the melody plays to its end.
    if (right_.current == right_.entries.size() && left_.current == left_.entries.size()) {
        const bool playedAlong = along_.active;
        stop();
        if (playedAlong) showPlayAlongCount();
    }
}

void SongPlayer::stop() {
    for (Part* part : {&right_, &left_}) {
        letGo(*part);
        part->startedAny = false;
    }
    playing_ = false;
    right_.entries.clear();
    left_.entries.clear();
    modeChanges_.clear();
    along_.active = along_.waiting = false;
}

// ---- Playing along ------------------------------------------------------------------------
void SongPlayer::startPlayAlong() {
    const bool on = along_.on;
    along_ = PlayAlong();
    along_.on = on;
    along_.active = on;
    along_.entries = right_.entries.size();
}

// The beat on which a right-hand entry is due: where the one before it ends.
int SongPlayer::startBeat(unsigned int index) const {
    return index == 0 ? 0 : static_cast<int>(right_.entries[index - 1][0]);
}

void SongPlayer::nextExpected() {
    if (!along_.missed) ++along_.rightFirstTime;
    along_.missed = false;
    along_.takenEarly = false;
    along_.lateFrames = 0;
    ++right_.current;
}

// On each new beat: an entry the player took early is done when its beat comes.
void SongPlayer::followPlayer() {
    if (right_.current < right_.entries.size() && along_.takenEarly && beat_ >= startBeat(right_.current))
        nextExpected();
}

// The counter runs on for a beat past the expected entry's time; then it stops and waits.
void SongPlayer::waitIfLate() {
    if (along_.waiting || right_.current >= right_.entries.size()) return;
    if (beat_ * STEPS_PER_BEAT + frames_ < startBeat(right_.current) * STEPS_PER_BEAT) return;
    if (++along_.lateFrames < STEPS_PER_BEAT) return;
    along_.waiting = true;
    along_.waitStarted = piano_.seconds();
}

void SongPlayer::showPlayAlongCount() {
    char text[160];
    std::snprintf(text, sizeof text, "right first time %d of %zu, wrong letters %d, longest wait %.1f s",
                  along_.rightFirstTime, along_.entries, along_.wrongLetters, along_.longestWait);
    piano_.showCaption(text);
}

void SongPlayer::togglePlayAlong() {
    along_.on = !along_.on;
    piano_.showCaption(along_.on ? "play along" : "the program plays");
}

int SongPlayer::expectedEntry() const {
    if (!playing_ || !along_.active || right_.current >= right_.entries.size()) return -1;
    return static_cast<int>(right_.current);
}

int SongPlayer::hintKey() const {
    const int expected = expectedEntry();
    return expected < 0 ? -1 : noteIndexKey(static_cast<int>(right_.entries[static_cast<std::size_t>(expected)][1]));
}

void SongPlayer::playerLetter(unsigned char letter) {
    if (!playing_ || !along_.active || right_.current >= right_.entries.size()) return;
    if (letter != letterOf(right_, right_.entries[right_.current])) {
        // It sounds its own note; the song waits on.
        ++along_.wrongLetters;
        along_.missed = true;
        return;
    }
    const int due = startBeat(right_.current) * STEPS_PER_BEAT;
    const int now = beat_ * STEPS_PER_BEAT + frames_;
    if (along_.waiting) {
        // The wait before the first note is the player getting ready, not a note hesitated over.
        if (right_.current > 0) along_.longestWait = std::max(along_.longestWait, piano_.seconds() - along_.waitStarted);
        along_.waiting = false;
        if (right_.current == 0 && !left_.entries.empty()) press(left_, 0);  // the song starts now
        nextExpected();
    } else if (now >= due) {
        nextExpected();  // a little late, within the beat the counter waits
    } else if (now >= due - STEPS_PER_BEAT) {
        along_.takenEarly = true;  // a little early: the song goes on through its beat
    }
    // Earlier still, it only sounds: the song's time for it has not come.
}
