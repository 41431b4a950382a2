// The song player, playing along and the passage on repeat, on the grid of frames and beats.
#include "SongPlayer.h"

#include <algorithm>
#include <cassert>
#include <cmath>
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

// A mode change written into the song (a recording made across one) comes before the chord it
// applies to, so the chord letter names the chord that was played.
void SongPlayer::modeChangeAt(const Part& part, unsigned int index) {
    if (part.right) return;
    for (const auto& [at, changed] : modeChanges_)
        if (at == index) piano_.setMode(changed);
}

// The mode a left-hand entry is played in, from the song's start: for a jump back.
Mode SongPlayer::modeAt(unsigned int leftIndex) const {
    Mode mode = startMode_;
    for (const auto& [at, changed] : modeChanges_)
        if (at <= leftIndex) mode = changed;
    return mode;
}

void SongPlayer::press(Part& part, unsigned int index) {
    Stroke& stroke = piano_.stroke(part.right);
    // A song releases a letter only STEPS_UP frames before its next press, while a stroke needs
    // 0.2 s to come back up: without ending the song's own released stroke here, most entries
    // would find the hand busy and be dropped. A stroke the user started, or one still held, is
    // left alone and the song's press is ignored.
    if (ownsRunningStroke(part) && !stroke.held) stroke.endNow();
    const std::array<float, 2>& entry = part.entries[index];
    modeChangeAt(part, index);
    const unsigned int before = stroke.count;
    const unsigned char letter = letterOf(part, entry);
    // Pressed on the beat it starts, or where a repeated passage starts inside it.
    stroke.nextSpeed = strokeSpeed(part, entry[0] - static_cast<float>(beat_));
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
    // An entry the player played (play along turned off part way) is not the song's to let go.
    if (part.held != letterOf(part, part.entries[part.current])) return;
    release(part, part.entries[part.current]);
}

void SongPlayer::start(SongData data) {
    for (Part* part : {&right_, &left_}) {
        letGo(*part);
        if (ownsRunningStroke(*part)) piano_.stroke(part->right).endNow();
    }
    if (data.startMode) piano_.setMode(*data.startMode);  // the song's chord letters mean its mode's chords
    startMode_ = piano_.mode();
    right_.entries = std::move(data.right);
    left_.entries = std::move(data.left);
    modeChanges_ = std::move(data.modeChanges);
    playing_ = true;
    beat_ = 0;
    frames_ = 0;
    position_ = 0;
    stepsDone_ = 0;
    passage_ = Passage();
    left_.current = 0;
    right_.current = 0;
    startPlayAlong();
    // Played along, the song waits for the player's first letters before anything sounds.
    if (along_.active) {
        along_.waiting = true;
        along_.waitStarted = piano_.seconds();
        if (left_.followed) modeChangeAt(left_, 0);
        return;
    }
    if (!right_.entries.empty()) press(right_, 0);
    if (!left_.entries.empty()) press(left_, 0);
}

void SongPlayer::setTempo(double tempo) {
    assert(tempo > 0);
    tempo_ = tempo;
    if (along_.active) along_.slowest = std::min(along_.slowest, tempo_);
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

// When the song step being worked through was due on the piano's clock: the piano's step
// carries the song on by `tempo` steps, so a song step falls between two of the piano's.
double SongPlayer::songStepSeconds() const {
    return piano_.seconds() - (position_ - static_cast<double>(stepsDone_)) * STEP_SECONDS / tempo_;
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
        if (beat_ == passage_.endBeat) {
            repeatPassage();
        } else {
            for (Part* part : {&right_, &left_}) part->followed ? followPlayer(*part) : advance(*part);
        }
    } else if (frames_ == STEPS_PER_BEAT - STEPS_UP) {
        for (Part* part : {&right_, &left_})
            if (!part->followed) releaseBeforeEnd(*part);
    }
    for (Part* part : {&right_, &left_})
        if (part->followed) waitIfLate(*part);
    // Over when both hands are: an accompaniment that outlasts the melody plays to its end. A
    // passage on repeat ends the song's last letters played along early: the song goes on to
    // the passage's end, and back.
    if (right_.current == right_.entries.size() && left_.current == left_.entries.size() && passage_.endBeat < 0) {
        const bool playedAlong = along_.active && !along_.handsChanged;
        PracticeResult result = along_.result;
        stop();
        if (!playedAlong) return;
        if (result.timed > 0) result.meanOffset = along_.offsets / result.timed;
        result.tempoPercent = static_cast<int>(std::lround(along_.slowest * 100));
        piano_.playAlongDone(result);
    }
}

void SongPlayer::stop() {
    for (Part* part : {&right_, &left_}) {
        letGo(*part);
        part->startedAny = false;
        part->followed = part->blocked = false;
    }
    playing_ = false;
    right_.entries.clear();
    left_.entries.clear();
    modeChanges_.clear();
    passage_ = Passage();
    along_.active = along_.waiting = false;
}

// ---- The passage on repeat ----------------------------------------------------------------
// The beat on which an entry starts: where the one before it ends.
int SongPlayer::startBeat(const Part& part, unsigned int index) {
    return index == 0 ? 0 : static_cast<int>(part.entries[index - 1][0]);
}

// The part whose current entry a mark is set at: the player's, else the melody while it lasts.
SongPlayer::Part* SongPlayer::markingPart() {
    for (Part* part : {&right_, &left_})
        if (part->followed && part->current < part->entries.size()) return part;
    for (Part* part : {&right_, &left_})
        if (part->current < part->entries.size()) return part;
    return nullptr;
}

void SongPlayer::markPassage() {
    if (!playing_) {
        piano_.showCaption("' marks a passage while a song plays");
        return;
    }
    if (passage_.endBeat >= 0) {
        passage_ = Passage();
        piano_.showCaption("passage cleared: the song goes on");
        return;
    }
    Part* part = markingPart();
    if (part == nullptr) return;
    const std::string entry = std::string(part->right ? "note " : "chord ") + std::to_string(part->current + 1);
    if (passage_.startBeat < 0) {
        passage_.startBeat = startBeat(*part, part->current);
        piano_.showCaption("passage from " + entry + " - ' again to end it");
        return;
    }
    // The current entry ends after the beat the counter stands on, and after the passage's start.
    passage_.endBeat = std::max(static_cast<int>(part->entries[part->current][0]), passage_.startBeat + 1);
    piano_.showCaption("passage to " + entry + " on repeat - ' again to clear it");
}

// The beat counter reached the passage's end: it goes back to the passage's start, and each
// hand to the entry sounding there, pressed again (a chord begun before the passage restarts
// with it). Played along, the player's entries there are due again.
void SongPlayer::repeatPassage() {
    const int span = (passage_.endBeat - passage_.startBeat) * STEPS_PER_BEAT;
    beat_ = passage_.startBeat;
    stepsDone_ -= span;
    position_ -= span;
    piano_.log("passage", std::to_string(passage_.startBeat));
    for (Part* part : {&right_, &left_}) {
        unsigned int index = 0;
        while (index < part->entries.size() && part->entries[index][0] <= static_cast<float>(beat_)) ++index;
        if (!part->right && index < part->entries.size()) piano_.setMode(modeAt(index));
        if (part->followed) {
            due(*part, index);
            continue;
        }
        letGo(*part);  // a letter held across the passage's end
        part->current = index;
        if (index < part->entries.size()) press(*part, index);
    }
}

// ---- Playing along ------------------------------------------------------------------------
void SongPlayer::startPlayAlong() {
    const Along hands = along_.hands;
    along_ = PlayAlong();
    along_.hands = hands;
    along_.slowest = tempo_;
    right_.followed = (hands == ALONG_RIGHT || hands == ALONG_BOTH) && !right_.entries.empty();
    left_.followed = (hands == ALONG_LEFT || hands == ALONG_BOTH) && !left_.entries.empty();
    along_.active = right_.followed || left_.followed;
    along_.result.hands = hands == ALONG_RIGHT ? "right" : hands == ALONG_LEFT ? "left" : "both";
    for (Part* part : {&right_, &left_}) {
        due(*part, 0);
        part->blocked = part->followed;  // the song starts with the player's first letters
    }
}

// The part's entry at index is the one the player is to play next.
void SongPlayer::due(Part& part, unsigned int index) {
    part.current = index;
    part.lateSteps = 0;
    part.takenEarly = false;
    part.missed = false;
}

void SongPlayer::nextExpected(Part& part) {
    ++along_.result.entries;
    if (!part.missed) ++along_.result.rightFirstTime;
    due(part, part.current + 1);
    if (part.current < part.entries.size()) modeChangeAt(part, part.current);
}

// Every due letter has come: the beat counter runs again. The first time, the song starts.
void SongPlayer::resume(double now) {
    along_.waiting = false;
    if (along_.started) {
        along_.result.longestWait = std::max(along_.result.longestWait, now - along_.waitStarted);
        return;
    }
    // The wait before the first letters is the player getting ready, not a letter hesitated over.
    along_.started = true;
    for (Part* part : {&right_, &left_})
        if (!part->followed && !part->entries.empty()) press(*part, 0);
}

// On each new beat: an entry the player took early is done when its beat comes.
void SongPlayer::followPlayer(Part& part) {
    if (part.current >= part.entries.size() || !part.takenEarly || beat_ < startBeat(part, part.current)) return;
    ++along_.result.timed;
    along_.offsets += part.takenAt - songStepSeconds();
    nextExpected(part);
}

// The counter runs on for a beat past the due entry's time; then it stops and waits.
void SongPlayer::waitIfLate(Part& part) {
    if (part.blocked || part.current >= part.entries.size()) return;
    if (beat_ * STEPS_PER_BEAT + frames_ < startBeat(part, part.current) * STEPS_PER_BEAT) return;
    if (part.lateSteps++ == 0) part.dueAt = songStepSeconds();
    if (part.lateSteps < STEPS_PER_BEAT) return;
    part.blocked = true;
    if (!along_.waiting) {
        along_.waiting = true;
        along_.waitStarted = songStepSeconds();
    }
}

void SongPlayer::stepPlayAlong() {
    along_.hands = static_cast<Along>((along_.hands + 1) % (ALONG_BOTH + 1));
    static const char* const told[] = {"the program plays", "play along: right hand", "play along: left hand",
                                       "play along: both hands"};
    // Mid-song, a hand no longer played along goes on by itself at once, from where it stands,
    // instead of waiting for letters that will not come; a hand newly asked for waits for the
    // next song, whose start it is played from.
    bool later = false;
    if (playing_) {
        for (Part* part : {&right_, &left_}) {
            const bool wanted = along_.hands == ALONG_BOTH || along_.hands == (part->right ? ALONG_RIGHT : ALONG_LEFT);
            if (part->followed && !wanted) playOnFromHere(*part);
            if (!part->followed && wanted && part->current < part->entries.size()) later = true;
        }
    }
    piano_.showCaption(std::string(told[along_.hands]) + (later ? " from the next song" : ""));
}

// A hand's part that was played along goes on by itself from where the song stands.
void SongPlayer::playOnFromHere(Part& part) {
    const bool taken = part.takenEarly;
    part.followed = part.blocked = false;
    along_.handsChanged = true;  // a run with a hand given up part way is no result to keep
    along_.active = right_.followed || left_.followed;
    if (!along_.active) along_.waiting = false;
    if (!along_.started) {
        // Still before the player's first letters: the song starts with them (resume presses
        // this part's first entry then), or, with no hand left to wait for, now.
        if (along_.active) return;
        along_.started = true;
        for (Part* p : {&right_, &left_})
            if (!p->entries.empty()) press(*p, 0);
        return;
    }
    if (along_.waiting && !right_.blocked && !left_.blocked) resume(piano_.seconds());
    if (part.current >= part.entries.size() || taken) return;  // taken early: the next is pressed on its beat
    if (beat_ * STEPS_PER_BEAT + frames_ >= startBeat(part, part.current) * STEPS_PER_BEAT)
        press(part, part.current);  // due, or waited for: it sounds now
    else
        --part.current;  // not yet due: pressed on its own beat, as the song would have
}

int SongPlayer::expectedEntry(bool right) const {
    const Part& part = right ? right_ : left_;
    if (!playing_ || !part.followed || part.current >= part.entries.size()) return -1;
    return static_cast<int>(part.current);
}

int SongPlayer::hintKey() const {
    const int expected = expectedEntry(true);
    return expected < 0 ? -1 : noteIndexKey(static_cast<int>(right_.entries[static_cast<std::size_t>(expected)][1]));
}

int SongPlayer::hintChord() const {
    const int expected = expectedEntry(false);
    if (expected < 0) return -1;
    return CHORD_KEY_TABLE[piano_.mode()][static_cast<int>(left_.entries[static_cast<std::size_t>(expected)][1])];
}

void SongPlayer::playerLetter(unsigned char letter) {
    if (!playing_ || !along_.active) return;
    const bool note = noteLetterIndex(letter) >= 0;
    if (!note && chordLetterIndex(letter) < 0) return;
    Part& part = note ? right_ : left_;
    if (!part.followed || part.current >= part.entries.size()) return;
    if (letter != letterOf(part, part.entries[part.current])) {
        // It sounds its own note or chord; the song waits on.
        ++along_.result.wrongLetters;
        part.missed = true;
        piano_.judged(letter, false);
        return;
    }
    const double now = piano_.seconds();
    const int due = startBeat(part, part.current) * STEPS_PER_BEAT;
    const int counter = beat_ * STEPS_PER_BEAT + frames_;
    if (!part.blocked && counter < due - STEPS_PER_BEAT) return;  // only sounds: its time has not come
    piano_.judged(letter, true);  // before the next entry's mode change
    if (part.blocked) {
        part.blocked = false;
        nextExpected(part);
        if (!right_.blocked && !left_.blocked) resume(now);
    } else if (counter >= due) {
        // A little late, within the beat the counter waits. Timed only while the song runs: a
        // letter played while the song stood waiting for the other hand was not late by the wait.
        if (!along_.waiting) {
            ++along_.result.timed;
            along_.offsets += now - part.dueAt;
        }
        nextExpected(part);
    } else if (!part.takenEarly) {
        part.takenEarly = true;  // a little early: the song goes on through its beat
        part.takenAt = now;
    }
}
