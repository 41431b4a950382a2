// The application's changing state, grouped by concern, with every starting value written
// once, here. The globals the program's design names (Piano.h) are references into `app`, so
// the code reads and writes them as plain globals, while resetAppState() puts the whole
// application back to its start in one statement (tests use it between cases).
#pragma once

#include <array>
#include <deque>
#include <vector>

#include "ChordInfo.h"
#include "Recorder.h"
#include "SongFile.h"
#include "SongLibrary.h"
#include "Sound.h"
#include "lights.h"
#include "vector.h"

// Window size, camera and mouse drags.
struct ViewState {
    int Win[2] = {1200, 1000};              // main window width, height (pixels)
    double aspectRatio = 1200.0 / 1000.0;   // of the last size that had one
    float camPos[3] = {0.0f, -0.7f, -7.5f};  // scene units
    float camRot[3] = {60.0f, 0.0f, 0.0f};   // degrees about x, y, z
    float lastX = 0, lastY = 0;              // window pixels, where the drag was last seen
    bool rotateCam = false;
    bool zoomCam = false;
};

// A letter the user typed while its hand was busy: it plays, in the order typed, as soon as
// the hand's stroke has sounded.
struct PendingStroke {
    unsigned char letter;
    int target;     // key index of a note, or ChordEnum of a chord (named by the mode at the press)
    bool released;  // let go before its turn: it plays as a tap
    Mode mode;      // the mode at the press, for a recording
};

// Keys held and the switches the keyboard commands flip.
struct InputState {
    bool keyPressed[256] = {};
    bool noteKeyPressed = false;
    bool chordKeyPressed = false;
    Mode mode = MAJOR;
    bool glowOn = false;
    bool concertOn = false;
    int activeBackground = 0;
    int activeInstrument = 0;
    int activeHandTexture = 0;
    // The chord letter that started the current chord: its release ends that chord even after
    // a mode change.
    char chordLetterHeld = 0;
    std::deque<PendingStroke> pendingNotes;
    std::deque<PendingStroke> pendingChords;
    bool lettersOn = false;  // each key shows the letter that plays it
};

// The normal spot light and the concert beams.
struct LightState {
    std::array<float, 4> lightPos = {0.0f, 5.0f, 0.0f, 1.0f};
    std::array<float, 3> spotDir = {0.0f, -2.0f, 0.0f};
    float spotCutoff = 50.0f;  // degrees
    // Ambient at 0.3 of the diffuse level: the light keys keep that ratio.
    std::array<float, 4> ambient_intensity = {0.3f, 0.3f, 0.3f, 1.0f};
    std::array<float, 4> diffuse_intensity = {1.0f, 1.0f, 1.0f, 1.0f};
    std::array<float, 4> specular_intensity = {1.0f, 1.0f, 1.0f, 1.0f};
    float background_intensity = 1.0f;
    std::array<Vector, 3> SPOT_STARTING = CONCERT_DEFAULT_DIR;
    std::array<Vector, 3> SPOT_TARGETS = {Vector(std::array<float, 3>{-2, -5, -2}),
                                          Vector(std::array<float, 3>{3, -5, 0}),
                                          Vector(std::array<float, 3>{4, -5, -2})};
    std::array<Vector, 3> concertSpotDir = CONCERT_DEFAULT_DIR;
    float concertTime = 0.0f;  // sweep phase, radians
};

// The strokes under way on each hand and the samples they sound.
struct PerformanceState {
    int currNote = -1;  // key index of the right hand's note, -1 when free
    float noteAnimationTime = 0;
    float notetime = 0;
    float chordAnimationTime = 0;
    int playChord = NONE;
    unsigned int noteStrokes = 0;
    unsigned int chordStrokes = 0;
    SoundHandle inote;
    SoundHandle ichordnotes[3];
    // Whether the stroke under way has struck its key(s) yet: a letter waiting for the hand
    // may end the stroke only then.
    bool noteSounded = false;
    bool chordSounded = false;
    // How fast each stroke runs (1 is the full 0.2 s down phase); the song player asks for a
    // faster stroke, for its next press, when an entry is too short for the full one.
    float noteSpeed = 1, chordSpeed = 1;
    float nextNoteSpeed = 1, nextChordSpeed = 1;
    // The volume each sample was last given, so a stroke ended early fades from there.
    float inoteVolume = 0;
    float ichordVolumes[3] = {};
    // The key each sample sounds while it sounds, -1 once it has stopped: those who follow
    // the sound (the recorder, the MIDI output) hear of each start and stop once.
    int inoteKey = -1;
    int ichordKeys[3] = {-1, -1, -1};
    // Samples of strokes ended early: faded out over a few frames like a damped string, then
    // stopped once silent (a stop is a hard cut).
    struct Fading {
        SoundHandle handle;
        float volume;  // at the start of the fade
        int step;      // frames of it done
    };
    std::vector<Fading> fading;
};

// What the song player has done to one hand: the letter it holds down and the stroke it
// started last.
struct SongHandState {
    unsigned char heldLetter = 0;  // pressed by the song and not yet released
    unsigned int ownStroke = 0;
    bool startedAny = false;
};

// Playing along: the song leaves its right-hand part to the player and waits for it.
struct PlayAlongState {
    bool on = false;        // "9": songs started from now on are played along
    bool active = false;    // the song playing now is
    bool waiting = false;   // the beat counter is stopped until the expected letter comes
    int lateFrames = 0;     // frames the counter ran past the expected entry's beat
    bool takenEarly = false;  // the expected entry was played within a beat before its time
    bool missed = false;      // a wrong letter came while the expected entry was due
    double waitStarted = 0;   // seconds, when the counter stopped
    // For the count at the end.
    std::size_t entries = 0;
    int rightFirstTime = 0;
    int wrongLetters = 0;
    double longestWait = 0;  // seconds
};

// The song being played.
struct SongState {
    std::vector<std::array<float, 2>> songRight;  // (end beat, letter index)
    std::vector<std::array<float, 2>> songLeft;
    // (left entry, mode): the chord mode a left-hand entry and those after it are played in.
    std::vector<std::pair<std::size_t, Mode>> modeChanges;
    bool songPlaying = false;
    int numFrames = 0;  // frames counted within the current beat
    int beat = 0;       // whole beats since the song started
    unsigned int currRightNote = 0;
    unsigned int currLeftChord = 0;
    SongHandState right, left;
    PlayAlongState along;
};

// The songs "6" steps through and the one "5" plays.
struct LibraryState {
    std::vector<SongEntry> songs;  // as listed at the last "6"
    bool chosenAny = false;        // until "6", "5" plays the program's own first song
    SongEntry chosen;
    // A chosen MIDI file is made a song when chosen: the song, or why it cannot be one.
    SongData imported;
    std::string importError;
};

// A line of text over the scene for a few seconds after a key that changes what plays.
struct CaptionState {
    std::string text;
    double until = 0;  // seconds on the program's clock
};

// Recording ("7"): what the user plays, until it is saved.
struct RecordingState {
    bool on = false;
    Recording take;
    // A take that could not be saved is kept: "7" goes on recording into it and tries again.
    bool kept = false;
    double shift = 0;        // seconds taken off the clock: the pause before a kept take goes on
    double lastEvent = 0;    // seconds on the recording's clock
    int openRight = -1;      // the stroke whose letter is still down, per hand
    int openLeft = -1;
};

struct AppState {
    ViewState view;
    InputState input;
    LightState light;
    PerformanceState performance;
    SongState song;
    LibraryState library;
    CaptionState caption;
    RecordingState recording;
};

extern AppState app;

// Everything back to its starting value, the two hands at rest included. The timers, the keys
// and the sound engine are start-up's resources, not state: they are left as they are.
void resetAppState();
