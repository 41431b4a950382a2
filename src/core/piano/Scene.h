// What the drawing reads: a copy of everything on screen, taken from the piano once per frame.
// The drawing never writes back; tests and the benchmark build scenes of their own.
#pragma once

#include <array>
#include <string>

#include "ChordInfo.h"
#include "Hand.h"
#include "KeyLayout.h"
#include "PianoKey.h"
#include "Vector.h"
#include "lights.h"
#include "modelDims.h"

enum HandTexture { SKIN, ROCK, FLAMES, numTextures };
enum Background { HALL, SPACE, CHURCH, MUSIC_BOX, GLEE_BACK, numBackgrounds };

// Translation in scene units, then rotations in degrees about x, y, z.
struct CameraState {
    std::array<float, 3> position = {0.0f, -0.7f, -7.5f};
    std::array<float, 3> rotation = {60.0f, 0.0f, 0.0f};
};

// The normal spot light, the light levels, and the concert beams' directions.
struct LightState {
    std::array<float, 4> lightPos = {0.0f, 5.0f, 0.0f, 1.0f};
    std::array<float, 3> spotDir = {0.0f, -2.0f, 0.0f};
    float spotCutoff = 50.0f;  // degrees
    // Ambient at 0.3 of the diffuse level: the light keys keep that ratio.
    std::array<float, 4> ambient_intensity = {0.3f, 0.3f, 0.3f, 1.0f};
    std::array<float, 4> diffuse_intensity = {1.0f, 1.0f, 1.0f, 1.0f};
    std::array<float, 4> specular_intensity = {1.0f, 1.0f, 1.0f, 1.0f};
    float background_intensity = 1.0f;  // grey level the background picture is multiplied by
    std::array<Vector, 3> concertSpotDir = CONCERT_DEFAULT_DIR;
};

struct Scene {
    std::array<PianoKey, NUM_KEYS> keys = restingKeyboard();  // 0..14 white keys from the left, 15..24 black keys
    Hand leftHand{-1};
    Hand rightHand{1};
    CameraState camera;
    LightState lights;
    bool glowOn = false;     // pressed keys glow
    bool concertOn = false;  // the three coloured beams instead of the spot light
    int activeBackground = HALL;
    int activeHandTexture = SKIN;

    // Drawn over the scene.
    bool lettersOn = false;  // each key shows the letter that plays it
    LetterNames letterNames; // as the user's keyboard layout shows those letters
    Mode mode = MAJOR;       // names the chords shown with the chord letters
    int hintKey = -1;        // the key to play next when playing along, -1 for none
    std::string caption;     // empty for none
    bool recording = false;  // the recording's red mark
};
