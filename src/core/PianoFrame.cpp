// The frame step and the state the start-up creates: windows' bookkeeping, camera, clocks
// and keys. No GL here: the step asks the shell for a redraw through shellHooks.
#include <algorithm>

#include "constants.h"
#include "Piano.h"
#include "WhiteKey.h"
#include "BlackKey.h"
#include "EventLog.h"
#include "Hand.h"
#include "MidiPlaying.h"
#include "animation.h"

AppState app;

int (&Win)[2] = app.view.Win;
float (&camPos)[3] = app.view.camPos;
float (&camRot)[3] = app.view.camRot;

Timer* leftHandTimer = nullptr;
Timer* rightHandTimer = nullptr;
Timer* frameRateTimer = nullptr;
Timer* concertLightsTimer = nullptr;

PianoKey* keys[NUM_KEYS] = {};

ShellHooks shellHooks;

void resetAppState() {
    app = AppState();
    leftHand = Hand(-1);
    rightHand = Hand(1);
    for (PianoKey* key : keys)
        if (key != nullptr) key->pressFactor = 0;
}

void initTimers() {
    leftHandTimer = new Timer;
    rightHandTimer = new Timer;
    frameRateTimer = new Timer;
    concertLightsTimer = new Timer;
    concertTime = -PI / 2;
}

void initKeyboard() {
    for (int i = 0; i < NUM_WHITE_KEYS; ++i) keys[i] = new WhiteKey(i);
    for (int i = 0; i < NUM_BLACK_KEYS; ++i) keys[NUM_WHITE_KEYS + i] = new BlackKey(i);
}

namespace {
// A stroke is still once its hand holds the key at the bottom and the driver has paused its
// clock; until the driver has, a frame must come to pause it.
bool strokeMoves(bool busy, bool held, const Timer* clock) { return busy && !(held && clock->isPaused()); }
}  // namespace

bool animating() {
    if (strokeMoves(currNote >= 0, noteKeyPressed, rightHandTimer)) return true;
    if (strokeMoves(playChord != NONE, chordKeyPressed, leftHandTimer)) return true;
    if (songPlaying && !(app.song.along.active && app.song.along.waiting)) return true;
    return concertOn || !app.input.pendingNotes.empty() || !app.input.pendingChords.empty() ||
           !app.performance.fading.empty() || midiKeysMoving();
}

double secondsUntilChange() {
    if (app.caption.text.empty()) return -1;
    const double left = app.caption.until - static_cast<double>(clocksource::now()) / clocksource::TICKS_PER_SECOND;
    return std::max(left, 0.0);
}

double secondsUntilFrame() {
    return std::max(static_cast<double>(SEC_PER_FRAME) - frameRateTimer->elapsed(), 0.0);
}

bool stepFrame() {
    // Widened to double on purpose: the float 1/60 is what frames are paced against.
    if (!(frameRateTimer->elapsed() > static_cast<double>(SEC_PER_FRAME))) return false;

    logEvent("frame");
    stopFadedSamples();
    stepMidi();
    // The song goes first, so a note it starts gets its first stroke step in this frame.
    if (songPlaying) stepSong();
    startPendingStrokes();
    if (concertOn) animateConcertLights();
    if (playChord != NONE) updateChordAnimation();
    if (currNote >= 0) updateNoteAnimation();
    if (shellHooks.requestRedisplay != nullptr) shellHooks.requestRedisplay();
    frameRateTimer->reset();
    return true;
}
