// What the drawing reads: a copy of everything on screen, taken from the piano once per frame.
// The drawing never writes back; tests and the benchmark build scenes of their own.
#pragma once

#include <algorithm>
#include <array>
#include <string>
#include <vector>

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

// A key played along: right or wrong, and how long ago, while it still shows (FEEDBACK_SECONDS).
struct KeyFeedback {
    enum Kind { NONE, RIGHT, WRONG };
    Kind kind = NONE;
    float age = 0;  // seconds since it was played
};
constexpr float FEEDBACK_SECONDS = 0.6f;

// One key of a coming entry, on its way to the key ("Return"): it reaches the key's front edge
// when the entry is due and sinks into it while the entry lasts. Times are seconds of the
// song's written time from now, so a slower tempo moves the bars slower, not closer together.
struct NoteBar {
    int key = 0;           // 0..24, as the scene's keys
    bool right = true;     // the right hand's note, or one of the three keys of a left-hand chord
    float start = 0;       // negative once the entry has begun
    float end = 0;
    bool awaited = false;  // the entry playing along waits for: it stands at its key and shines
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
    // The notes coming, when shown: those under way or due within NOTES_AHEAD_SECONDS.
    std::vector<NoteBar> bars;

    // Drawn over the scene.
    bool lettersOn = false;  // each key shows the letter that plays it
    LetterNames letterNames; // as the user's keyboard layout shows those letters
    Mode mode = MAJOR;       // names the chords shown with the chord letters
    int hintKey = -1;        // the key to play next when playing along, -1 for none
    int hintChord = -1;      // the chord (ChordEnum) to play next along with the left hand, -1 for none
    std::array<KeyFeedback, NUM_KEYS> feedback{};  // keys just played along, right or wrong
    std::string caption;     // empty for none
    bool recording = false;  // the recording's red mark
};

// Whether key i is one the player playing along is to press next: the note's, or one of the
// chord's.
inline bool keyHinted(const Scene& scene, int i) {
    if (i == scene.hintKey) return true;
    if (scene.hintChord < 0 || scene.hintChord >= NUM_CHORDS) return false;
    const ChordInfo& chord = CHORDS[static_cast<std::size_t>(scene.hintChord)];
    return std::find(chord.notes, chord.notes + chord.numNotes, i) != chord.notes + chord.numNotes;
}

// Whether a key's colour of right or wrong looks the same in two scenes.
inline bool sameFeedback(const KeyFeedback& a, const KeyFeedback& b) {
    const bool aShows = a.kind != KeyFeedback::NONE && a.age < FEEDBACK_SECONDS;
    const bool bShows = b.kind != KeyFeedback::NONE && b.age < FEEDBACK_SECONDS;
    return aShows == bShows && (!aShows || (a.kind == b.kind && std::max(a.age, 0.0f) == std::max(b.age, 0.0f)));
}
