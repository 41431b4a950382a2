// Keyboard commands, camera drags and the light keys. The handlers decide and record; the
// frame step and the display callback act on what they set.
#include <algorithm>

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
    const std::size_t notePosition = findLetter(key_letters, key);
    if (notePosition != std::string::npos && !keyPressed[key] && currNote == -1) {
        currNote = noteKeyIndex(notePosition);
        activateRightAnimation();
    }

    const std::size_t chordPosition = findLetter(chord_letters, key);
    if (chordPosition != std::string::npos && playChord == NONE) {
        playChord = CHORD_KEY_TABLE[mode][chordPosition];
        chordLetterHeld = static_cast<char>(key);
        activateLeftChordAnimation();
    } else if (key == '+') {
        mode = MAJOR;
    } else if (key == '-') {
        mode = MINOR;
    } else if (key == ESCAPE) {
        if (shellHooks.quit != nullptr) shellHooks.quit(0);
        return;
    } else if (key == ' ') {
        // Background n always goes with instrument n.
        activeBackground = (activeBackground + 1) % numBackgrounds;
        activeInstrument = (activeInstrument + 1) % NUM_INSTRUMENTS;
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
        for (int c = 0; c < 3; ++c) {
            specular_intensity[c] = 1.0f;
            diffuse_intensity[c] = 1.0f;
            ambient_intensity[c] = 1.0f;
        }
        background_intensity = 1.0f;
    } else if (key == '4') {
        concertOn = true;
        glowOn = true;
        concertLightsTimer->reset();
        background_intensity = 0.0f;
    } else if (key == '5') {
        playSong(songName);
    }

    keyPressed[key] = true;
    updateHandsAnimationStatus();
}

void handleKeyUp(unsigned char key, int, int) {
    const std::size_t notePosition = findLetter(key_letters, key);
    if (notePosition != std::string::npos && noteKeyIndex(notePosition) == currNote) {
        noteKeyPressed = false;
        updateHandsAnimationStatus();
    }
    if (playChord != NONE && chordLetterHeld != 0 && key == static_cast<unsigned char>(chordLetterHeld)) {
        chordKeyPressed = false;
        updateHandsAnimationStatus();
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
