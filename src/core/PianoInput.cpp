// Keyboard commands, camera drags and the light keys. The handlers decide and record; the
// frame step and the display callback act on what they set.
#include <algorithm>

#include "EventLog.h"
#include "Piano.h"
#include "interface.h"
#include "lights.h"

const std::string whitekey_letters = "sdfghjkl";
const std::string blackkey_letters = "eryui";
const std::string key_letters = whitekey_letters + blackkey_letters;
const std::string chord_letters = "zxcvb";

bool (&keyPressed)[256] = app.input.keyPressed;
bool& noteKeyPressed = app.input.noteKeyPressed;
bool& chordKeyPressed = app.input.chordKeyPressed;
Mode& mode = app.input.mode;
bool& glowOn = app.input.glowOn;
bool& concertOn = app.input.concertOn;
int& activeBackground = app.input.activeBackground;
int& activeInstrument = app.input.activeInstrument;
int& activeHandTexture = app.input.activeHandTexture;

float& lastX = app.view.lastX;
float& lastY = app.view.lastY;
bool& rotateCam = app.view.rotateCam;
bool& zoomCam = app.view.zoomCam;

namespace {
const unsigned char ESCAPE = 27;
const unsigned char TAB = 9;
// Steps per press, applied in double and stored in single precision.
const double LIGHT_STEP = 0.05;    // diffuse, specular and background
const double AMBIENT_STEP = 0.015; // keeps the ambient at 0.3 of the diffuse level

// The chord letter that started the current chord. Its release ends that chord even if the
// mode changed meanwhile; looking the letter up again in the new mode would name another
// chord and leave the hand down with its notes sounding.
char& chordLetterHeld = app.input.chordLetterHeld;

// The key index a note letter names: the right hand plays the upper eight white keys and
// the upper five black keys.
int noteKeyIndex(std::size_t position) {
    return position <= 7 ? static_cast<int>(position) + 7 : static_cast<int>(position) + 12;
}

std::size_t findLetter(const std::string& letters, unsigned char key) {
    return key == 0 ? std::string::npos : letters.find(static_cast<char>(key));
}

// A letter and its capital are one key: Shift or Caps Lock must neither silence a letter nor
// leave its note stuck when the two keys come up in another order than they went down.
unsigned char playedLetter(unsigned char key) {
    if (key < 'A' || key > 'Z') return key;
    const unsigned char lower = static_cast<unsigned char>(key - 'A' + 'a');
    const bool playing = findLetter(key_letters, lower) != std::string::npos ||
                         findLetter(chord_letters, lower) != std::string::npos;
    return playing ? lower : key;
}

// Marks the earliest waiting stroke of this letter that is still held as let go.
bool markReleased(std::deque<PendingStroke>& pending, unsigned char letter) {
    for (PendingStroke& stroke : pending) {
        if (stroke.letter == letter && !stroke.released) {
            stroke.released = true;
            return true;
        }
    }
    return false;
}

// A hand strikes about five notes a second; letters typed further ahead than this are dropped,
// so a flood of keys cannot keep the hand playing for minutes after it stops.
const std::size_t MAX_PENDING_STROKES = 8;

std::deque<PendingStroke>& pendingNotes = app.input.pendingNotes;
std::deque<PendingStroke>& pendingChords = app.input.pendingChords;

void stepLights(double sign) {
    for (int c = 0; c < 3; ++c) {
        specular_intensity[c] = static_cast<float>(specular_intensity[c] + sign * LIGHT_STEP);
        diffuse_intensity[c] = static_cast<float>(diffuse_intensity[c] + sign * LIGHT_STEP);
        ambient_intensity[c] = static_cast<float>(ambient_intensity[c] + sign * AMBIENT_STEP);
    }
    background_intensity = static_cast<float>(background_intensity + sign * LIGHT_STEP);
}
}  // namespace

void handleKeyPress(unsigned char key, int, int) {
    logEvent("key-press", std::to_string(key));
    pressKey(key, false);
}

void pressKey(unsigned char typed, bool fromSong) {
    const unsigned char key = playedLetter(typed);
    const std::size_t notePosition = findLetter(key_letters, key);
    if (notePosition != std::string::npos && !fromSong) playAlongLetter(key);
    if (notePosition != std::string::npos && !keyPressed[key]) {
        const int note = noteKeyIndex(notePosition);
        // The song's presses keep their own rule: taken by a free hand, never queued.
        if (currNote == -1 && (fromSong || pendingNotes.empty())) {
            currNote = note;
            activateRightAnimation();
            if (!fromSong) recordStrokeStart(true, static_cast<int>(notePosition), mode);
        } else if (!fromSong && pendingNotes.size() < MAX_PENDING_STROKES) {
            pendingNotes.push_back({key, note, false, mode});
        }
    }

    const std::size_t chordPosition = findLetter(chord_letters, key);
    if (chordPosition != std::string::npos) {
        const int chord = CHORD_KEY_TABLE[mode][chordPosition];
        if (playChord == NONE && (fromSong || pendingChords.empty())) {
            playChord = chord;
            chordLetterHeld = static_cast<char>(key);
            activateLeftChordAnimation();
            if (!fromSong) recordStrokeStart(false, static_cast<int>(chordPosition), mode);
        } else if (!fromSong && !keyPressed[key] && pendingChords.size() < MAX_PENDING_STROKES) {
            pendingChords.push_back({key, chord, false, mode});
        }
    } else if (key == '+') {
        mode = MAJOR;
        showCaption("major chords");
    } else if (key == '-') {
        mode = MINOR;
        showCaption("minor chords");
    } else if (key == ESCAPE) {
        if (shellHooks.quit != nullptr) shellHooks.quit(0);
        return;
    } else if (key == ' ') {
        // Background n always goes with instrument n.
        activeBackground = (activeBackground + 1) % numBackgrounds;
        activeInstrument = (activeInstrument + 1) % NUM_INSTRUMENTS;
        showCaption(instrumentNames[activeInstrument]);
    } else if (key == TAB) {
        activeHandTexture = (activeHandTexture + 1) % numTextures;
        if (shellHooks.handTextureChanged != nullptr) shellHooks.handTextureChanged();
    } else if (key == '<' && diffuse_intensity[0] > 0) {
        stepLights(-1);
    } else if (key == '>' && diffuse_intensity[0] < 1) {
        stepLights(+1);
    } else if (key == '/' && spotCutoff > SPOT_MIN) {
        spotCutoff -= SPOT_INCREMENT;
    } else if (key == '?' && spotCutoff < SPOT_MAX) {
        spotCutoff += SPOT_INCREMENT;
    } else if (key == '1') {
        glowOn = false;
    } else if (key == '2') {
        glowOn = true;
    } else if (key == '3' && concertOn) {
        concertOn = false;
        glowOn = false;
        // Back to the levels the program starts with, where the ambient is 0.3 of the diffuse
        // light: full ambient would wash out the shading of the hands and the keys' sides.
        const LightState start;
        for (int c = 0; c < 3; ++c) {
            specular_intensity[c] = start.specular_intensity[c];
            diffuse_intensity[c] = start.diffuse_intensity[c];
            ambient_intensity[c] = start.ambient_intensity[c];
        }
        background_intensity = start.background_intensity;
    } else if (key == '4') {
        concertOn = true;
        glowOn = true;
        concertLightsTimer->reset();
        background_intensity = 0.0f;
    } else if (key == '5') {
        playChosenSong();
    } else if (key == '7') {
        toggleRecording();
    } else if (key == '6') {
        chooseNextSong();
    } else if (key == '8') {
        app.input.lettersOn = !app.input.lettersOn;
    } else if (key == '9') {
        togglePlayAlong();
    }

    keyPressed[key] = true;
    updateHandsAnimationStatus();
}

void handleKeyUp(unsigned char typed, int, int) {
    logEvent("key-release", std::to_string(typed));
    const unsigned char key = playedLetter(typed);
    const std::size_t notePosition = findLetter(key_letters, key);
    if (notePosition != std::string::npos) {
        // A letter typed again while its earlier stroke still runs is the waiting one: that
        // earlier stroke's letter was let go before it could be typed again.
        const bool current = noteKeyIndex(notePosition) == currNote;
        if ((current && noteKeyPressed) || !markReleased(pendingNotes, key)) {
            if (current) {
                noteKeyPressed = false;
                updateHandsAnimationStatus();
                recordStrokeEnd(true);
            }
        }
    }
    if (findLetter(chord_letters, key) != std::string::npos) {
        const bool current = playChord != NONE && chordLetterHeld != 0 &&
                             key == static_cast<unsigned char>(chordLetterHeld);
        if ((current && chordKeyPressed) || !markReleased(pendingChords, key)) {
            if (current) {
                chordKeyPressed = false;
                updateHandsAnimationStatus();
                recordStrokeEnd(false);
            }
        }
    }
    keyPressed[key] = false;
}

void mouse(int button, int state, int x, int y) {
    const bool down = state == MOUSE_DOWN;
    if (button == MOUSE_LEFT_BUTTON) {
        rotateCam = down;
    } else if (button == MOUSE_RIGHT_BUTTON) {
        zoomCam = down;
    } else {
        return;
    }
    // Drags measure from the press, so the view does not jump on the first move.
    if (down) {
        lastX = static_cast<float>(x);
        lastY = static_cast<float>(y);
    }
}

void motion(int x, int y) {
    if (rotateCam) {
        camRot[1] += (x - lastX) * MOUSE_ROT_SCALE;
        camRot[0] += (y - lastY) * MOUSE_ROT_SCALE;
    }
    if (zoomCam) {
        camPos[2] -= (y - lastY) * MOUSE_ZOOM_SCALE;
        // ZOOM_MIN is the larger number: the nearest the camera may come.
        camPos[2] = std::max(std::min(camPos[2], ZOOM_MIN), ZOOM_MAX);
    }
    if (rotateCam || zoomCam) {
        lastX = static_cast<float>(x);
        lastY = static_cast<float>(y);
    }
}

void moveLight(int key, int, int) {
    switch (key) {
        case KEY_LEFT: spotDir[0] -= SPOT_DIR_STEP; break;
        case KEY_RIGHT: spotDir[0] += SPOT_DIR_STEP; break;
        case KEY_UP: spotDir[2] -= SPOT_DIR_STEP; break;
        case KEY_DOWN: spotDir[2] += SPOT_DIR_STEP; break;
        default: break;
    }
    if (shellHooks.requestRedisplay != nullptr) shellHooks.requestRedisplay();
}
