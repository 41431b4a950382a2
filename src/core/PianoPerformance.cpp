// The note and chord drivers: from a stroke's clock they press the keys, start, fade and
// stop the samples, and feed the same time to the hand's animation.
//
// A stroke runs on its own time axis: down from 0 to 0.2 s, held with the clock paused,
// up from 0.2 to 0.4 s. The key moves only in the last fifth of the way down and the first
// fifth of the way up.
#include <algorithm>

#include "EventLog.h"
#include "Hand.h"
#include "Piano.h"
#include "animation.h"

int& currNote = app.performance.currNote;
float& noteAnimationTime = app.performance.noteAnimationTime;
float& notetime = app.performance.notetime;
float& chordAnimationTime = app.performance.chordAnimationTime;
int& playChord = app.performance.playChord;
unsigned int& noteStrokes = app.performance.noteStrokes;
unsigned int& chordStrokes = app.performance.chordStrokes;

namespace {
float clamp01(float x) { return std::min(std::max(x, 0.0f), 1.0f); }

// A stroke ended before its time lets its sample die away over this many frames (0.1 s at
// 60 frames a second), the next frame stops it: cut at once it would click, and a note
// ended by the next one typed would last a single frame.
const int FADE_FRAMES = 6;

void fadeOutSample(SoundHandle& handle, float volume) {
    if (handle.isNull()) return;
    app.performance.fading.push_back({handle, volume, 0});
    handle = SoundHandle();
}

void startFrameLoop() {
    frameRateTimer->reset();  // the stroke's first frame comes one full interval later
    if (shellHooks.ensureFrameLoop != nullptr) shellHooks.ensureFrameLoop();
}
}  // namespace

void activateRightAnimation() {
    noteKeyPressed = true;
    ++noteStrokes;
    app.performance.noteSounded = false;
    app.performance.noteShowOnly = false;
    app.performance.noteSpeed = app.performance.nextNoteSpeed;
    app.performance.nextNoteSpeed = 1;
    rightHandTimer->reset();
    logEvent("stroke", "right");
    startFrameLoop();
}

void activateLeftChordAnimation() {
    chordKeyPressed = true;
    ++chordStrokes;
    app.performance.chordSounded = false;
    app.performance.chordShowOnly = false;
    app.performance.chordSpeed = app.performance.nextChordSpeed;
    app.performance.nextChordSpeed = 1;
    leftHandTimer->reset();
    logEvent("stroke", "left");
    startFrameLoop();
}

void updateHandsAnimationStatus() {
    leftHand.updateAnimationStatus(chordKeyPressed);
    rightHand.updateAnimationStatus(noteKeyPressed);
    if (chordKeyPressed && playChord != NONE) leftHand.setAnimationChord(&CHORDS[playChord]);
    if (noteKeyPressed && currNote >= 0) rightHand.setAnimationNote(currNote);
}

void updateNoteAnimation() {
    // The branch follows the time kept from the previous frame, so the last down frame
    // may read past 0.2 s; the clamps keep its progress at 1.
    if (noteAnimationTime < NOTE_SPEED_FACTOR) {
        noteAnimationTime = static_cast<float>(rightHandTimer->elapsed() * app.performance.noteSpeed);
        notetime = std::min(noteAnimationTime / NOTE_SPEED_FACTOR, 1.0f);
        animateNoteDown();
    } else if (noteKeyPressed) {
        rightHandTimer->pause();  // held: the time spent holding does not count
    } else if (noteAnimationTime < 2 * NOTE_SPEED_FACTOR) {
        rightHandTimer->unpause();
        noteAnimationTime = static_cast<float>(rightHandTimer->elapsed() * app.performance.noteSpeed);
        notetime = clamp01(noteAnimationTime / NOTE_SPEED_FACTOR - 1);
        animateNoteUp();
    } else {
        // A stall of the process can carry a stroke past its whole up phase between two
        // frames; the key must still come up and its sample stop.
        if (!app.performance.noteShowOnly && keys[currNote]->press(0)) fadeNoteSample(0);
        noteAnimationTime = 0;
        currNote = -1;
    }
    rightHand.animateFinger(noteAnimationTime);
}

void animateNoteDown() {
    const float notePress = std::max(notetime - 0.8f, 0.0f) / 0.2f;
    if (app.performance.noteShowOnly) {
        if (notePress > 0) app.performance.noteSounded = true;
        return;
    }
    PianoKey* key = keys[currNote];
    if (notePress > 0 && key->pressFactor == 0) {
        startNoteSample(currNote);
        app.performance.noteSounded = true;
    }
    key->press(notePress);
}

void animateNoteUp() {
    if (app.performance.noteShowOnly) return;
    const float notePress = std::max((0.2f - notetime) / 0.2f, 0.0f);
    keys[currNote]->press(notePress);
    fadeNoteSample(notePress);
}

void updateChordAnimation() {
    if (chordAnimationTime < CHORD_SPEED) {
        chordAnimationTime = static_cast<float>(leftHandTimer->elapsed() * app.performance.chordSpeed);
        animateChordDown();
    } else if (chordKeyPressed) {
        leftHandTimer->pause();
    } else if (chordAnimationTime < 2 * CHORD_SPEED) {
        leftHandTimer->unpause();
        chordAnimationTime = static_cast<float>(leftHandTimer->elapsed() * app.performance.chordSpeed);
        animateChordUp();
    } else {
        // As for a note: keys skipped past by a stall come up, their samples stop.
        const ChordInfo& chord = CHORDS[playChord];
        for (int i = 0; i < chord.numNotes && !app.performance.chordShowOnly; ++i) {
            if (keys[chord.notes[i]]->press(0)) fadeChordSample(i, 0);
        }
        playChord = NONE;
        chordAnimationTime = 0;
    }
    leftHand.animateChord(chordAnimationTime);
}

void animateChordDown() {
    const float progress = clamp01(chordAnimationTime / CHORD_SPEED);
    const float notePress = std::max((progress - 1) / 0.2f + 1, 0.0f);
    if (app.performance.chordShowOnly) {
        if (notePress > 0) app.performance.chordSounded = true;
        return;
    }
    const ChordInfo& chord = CHORDS[playChord];
    for (int i = 0; i < chord.numNotes; ++i) {
        PianoKey* key = keys[chord.notes[i]];
        const bool atRest = key->pressFactor == 0;
        // press() also answers true for a key already on its way down but still in the
        // upper half; only leaving rest starts the sample, so it starts once a stroke.
        if (key->press(notePress) && atRest) {
            startChordSample(i, chord.notes[i]);
            app.performance.chordSounded = true;
        }
    }
}

void animateChordUp() {
    if (app.performance.chordShowOnly) return;
    const float progress = clamp01(chordAnimationTime / CHORD_SPEED - 1);
    const float notePress = std::max(1 - progress / 0.2f, 0.0f);
    const ChordInfo& chord = CHORDS[playChord];
    for (int i = 0; i < chord.numNotes; ++i) {
        if (keys[chord.notes[i]]->press(notePress)) fadeChordSample(i, notePress);
    }
}

void endNoteStroke() {
    if (currNote < 0) return;
    if (!app.performance.noteShowOnly) {
        keys[currNote]->press(0);
        noteSampleEndedEarly();
        fadeOutSample(inote, app.performance.inoteVolume);
    }
    rightHand.returnToRest();
    noteKeyPressed = false;
    noteAnimationTime = 0;
    notetime = 0;
    currNote = -1;
}

void endChordStroke() {
    if (playChord == NONE) return;
    const ChordInfo& chord = CHORDS[playChord];
    for (int i = 0; i < chord.numNotes && !app.performance.chordShowOnly; ++i) {
        keys[chord.notes[i]]->press(0);
        chordSampleEndedEarly(i);
        fadeOutSample(ichordnotes[i], app.performance.ichordVolumes[i]);
    }
    leftHand.returnToRest();
    chordKeyPressed = false;
    chordAnimationTime = 0;
    playChord = NONE;
}

void startPendingStrokes() {
    std::deque<PendingStroke>& notes = app.input.pendingNotes;
    if (!notes.empty() && (currNote < 0 || app.performance.noteSounded)) {
        const PendingStroke next = notes.front();
        notes.pop_front();
        endNoteStroke();
        recordStrokeEnd(true);
        currNote = next.target;
        activateRightAnimation();
        recordStrokeStart(true, static_cast<int>(key_letters.find(static_cast<char>(next.letter))), next.mode);
        if (next.released) {
            noteKeyPressed = false;  // a tap: the stroke goes straight back up
            recordStrokeEnd(true);
        }
        updateHandsAnimationStatus();
    }
    std::deque<PendingStroke>& chords = app.input.pendingChords;
    if (!chords.empty() && (playChord == NONE || app.performance.chordSounded)) {
        const PendingStroke next = chords.front();
        chords.pop_front();
        endChordStroke();
        recordStrokeEnd(false);
        playChord = next.target;
        app.input.chordLetterHeld = static_cast<char>(next.letter);
        activateLeftChordAnimation();
        recordStrokeStart(false, static_cast<int>(chord_letters.find(static_cast<char>(next.letter))), next.mode);
        if (next.released) {
            chordKeyPressed = false;
            recordStrokeEnd(false);
        }
        updateHandsAnimationStatus();
    }
}

void stopFadedSamples() {
    auto& fading = app.performance.fading;
    for (auto& f : fading) {
        ++f.step;
        if (f.step <= FADE_FRAMES)
            f.handle.setVolume(f.volume * static_cast<float>(FADE_FRAMES - f.step) / FADE_FRAMES);
        else
            f.handle.stop();
    }
    fading.erase(std::remove_if(fading.begin(), fading.end(), [](const auto& f) { return f.step > FADE_FRAMES; }),
                 fading.end());
}
