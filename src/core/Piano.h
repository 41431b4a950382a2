// The application's shared state and its free functions, grouped by the concern that owns
// them. Everything runs on the one GLUT thread, so nothing here is locked. The changing state
// lives in `app` (AppState.h); these names are references into it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "AppState.h"
#include "ChordInfo.h"
#include "PianoKey.h"
#include "Sound.h"
#include "modelDims.h"
#include "timer.h"
#include "vector.h"

// ---- Windows (pixels) ----------------------------------------------------------------
extern int (&Win)[2];  // main window width, height; updated by every reshape

// ---- Camera: translation in scene units, then rotations in degrees about x, y, z ------
extern float (&camPos)[3];
extern float (&camRot)[3];

// ---- Clocks --------------------------------------------------------------------------
extern Timer* leftHandTimer;       // current chord stroke
extern Timer* rightHandTimer;      // current note stroke
extern Timer* frameRateTimer;      // since the last frame
extern Timer* concertLightsTimer;  // current concert sweep

// ---- Keyboard model ------------------------------------------------------------------
extern PianoKey* keys[NUM_KEYS];  // 0..14 white keys from the left, 15..24 black keys
extern bool& glowOn;
extern bool& concertOn;

// ---- Input ---------------------------------------------------------------------------
extern const std::string whitekey_letters;  // "sdfghjkl"
extern const std::string blackkey_letters;  // "eryui"
extern const std::string key_letters;       // all 13 note letters
extern const std::string chord_letters;     // "zxcvb"
extern bool (&keyPressed)[256];             // by character code, from press to release
extern bool& noteKeyPressed;                // the current note's letter is held
extern bool& chordKeyPressed;               // the current chord's letter is held
extern Mode& mode;
extern int& activeBackground;  // 0..4
extern int& activeInstrument;  // 0..4
extern int& activeHandTexture;  // 0..2

// Mouse drags (window pixels).
extern float& lastX;
extern float& lastY;
extern bool& rotateCam;
extern bool& zoomCam;

// ---- Lighting ------------------------------------------------------------------------
extern std::array<float, 4>& lightPos;
extern std::array<float, 3>& spotDir;
extern float& spotCutoff;  // degrees
extern std::array<float, 4>& ambient_intensity;
extern std::array<float, 4>& diffuse_intensity;
extern std::array<float, 4>& specular_intensity;
extern float& background_intensity;  // grey level the background picture is multiplied by

extern std::array<Vector, 3>& SPOT_STARTING;  // beam directions at the start of the sweep
extern std::array<Vector, 3>& SPOT_TARGETS;   // ... and at its end
extern std::array<Vector, 3>& concertSpotDir;  // current beam directions
extern float& concertTime;                    // sweep phase, radians, -PI/2 .. PI/2

// ---- Performance of notes and chords -------------------------------------------------
extern int& currNote;           // key index of the right hand's note, -1 when free
extern float& noteAnimationTime; // seconds into the note stroke
extern float& notetime;         // the note's phase progress, 0..1
extern float& chordAnimationTime;
extern int& playChord;          // ChordEnum of the left hand's chord, NONE when free
extern unsigned int& noteStrokes; // note strokes started so far: tells one stroke from the next
extern unsigned int& chordStrokes; // chord strokes started so far

// ---- Sound ---------------------------------------------------------------------------
enum Instruments { PIANO, SYNTH, ORGAN, MUSICBOX, CHOIR, NUM_INSTRUMENTS };
// Resource paths derive from the resource root (Resources.h); the songs', pictures' and help
// text's below are set with it.
extern const std::string& soundParentFolder;
extern const std::array<std::string, NUM_INSTRUMENTS> soundFolders;
extern const std::array<std::string, NUM_INSTRUMENTS> instrumentNames;  // as the user reads them
extern const std::array<int, NUM_INSTRUMENTS> instrumentPrograms;         // General MIDI, 0..127
extern const std::array<std::string, NUM_KEYS> soundFiles;
// Every sample the program can play, from the tables above: five instruments of 25 keys,
// soundParentFolder + "<instrument folder><key file>". The engine decodes them ahead.
const std::vector<std::string>& instrumentSamplePaths();
extern SoundEngine* engine;  // null when the program runs without sound
extern SoundHandle& inote;
extern SoundHandle (&ichordnotes)[3];

// ---- Songs ---------------------------------------------------------------------------
extern const std::string& songsPath;
extern const std::string songName;
extern std::vector<std::array<float, 2>>& songRight; // (end beat, letter index)
extern std::vector<std::array<float, 2>>& songLeft;
extern bool& songPlaying;
extern int& numFrames; // frames counted within the current beat
extern int& beat;      // whole beats since the song started
extern unsigned int& currRightNote;
extern unsigned int& currLeftChord;

// ---- Textures and backgrounds --------------------------------------------------------
enum HandTexture { SKIN, ROCK, FLAMES, numTextures };
enum Background { HALL, SPACE, CHURCH, MUSIC_BOX, GLEE_BACK, numBackgrounds };
extern const std::string& texPath;
extern const std::string& backgroundPath;
extern const std::array<std::string, numTextures> texFiles;
extern const std::array<std::string, numBackgrounds> backgroundFiles;
extern const std::string& HELPFILENAME;

// ---- What the window system does for the logic ---------------------------------------
// The input and frame logic carry no GLUT or GL; the shell fills these in at start-up and
// tests put recorders in their place. Each may be left null, which does nothing.
struct ShellHooks {
    void (*requestRedisplay)() = nullptr;     // redraw the main window
    void (*ensureFrameLoop)() = nullptr;      // make sure animate is the idle callback
    void (*handTextureChanged)() = nullptr;   // upload the chosen hand picture
    void (*quit)(int status) = nullptr;       // end the process
};
extern ShellHooks shellHooks;

// ---- Functions -----------------------------------------------------------------------
// Start-up state and the frame step.
void initTimers();
void initKeyboard();
// Advances one frame if one is due; returns whether it did. The shell's frame loop is this
// plus the wait until the next frame.
bool stepFrame();
// Seconds until the next frame is due: 0, never less, once it is. The clock runs on between
// stepFrame's look and this one, so a frame that was not yet due there may be overdue here.
double secondsUntilFrame();
// Whether the next frame can differ from the last one drawn: a stroke on its way down or up
// (a note or chord held at the bottom, its clock paused, is still), a song counting its beats,
// the concert sweep, letters waiting for a hand, samples dying away, keys let go on a MIDI
// keyboard rising. When not, the shell draws nothing until an input, a window event, a MIDI
// message or a change due at a time (a caption's end).
bool animating();
// Seconds until something shown changes by itself with nothing animating (a caption ends):
// 0 when its time has come, negative when nothing will.
double secondsUntilChange();

// Keyboard commands and camera and light controls.
// A letter typed while its hand is busy waits for the hand (see startPendingStrokes); the song
// player presses through pressKey with fromSong set, whose letters a busy hand ignores instead.
void handleKeyPress(unsigned char key, int x, int y);
void pressKey(unsigned char key, bool fromSong);
void handleKeyUp(unsigned char key, int x, int y);
void mouse(int button, int state, int x, int y);
void motion(int x, int y);
void moveLight(int key, int x, int y);
// Keys whose press was taken and whose release was not, less the letters the song player
// holds: what the user is holding down, as far as the program knows.
std::vector<unsigned char> userHeldKeys();

// Concert lights.
void animateConcertLights();
int randInt(int lb, int ub);
int randSign();

// Note and chord performance.
void activateRightAnimation();
void activateLeftChordAnimation();
void updateHandsAnimationStatus();
void updateNoteAnimation();
void updateChordAnimation();
void animateNoteDown();
void animateNoteUp();
void animateChordDown();
void animateChordUp();
std::string samplePath(int key);  // of the active instrument
float noteStartVolume();          // a right-hand note's, on the active instrument (0..1)
// End a stroke at once: keys at rest, samples faded and stopped, the hand at rest and free.
void endNoteStroke();
void endChordStroke();
// Starts the letters typed while their hand was busy, in order: on a free hand, or once the
// stroke under way has struck its key, which then ends at once. Run by the frame step before
// the strokes are advanced.
void startPendingStrokes();
// Stops the samples of ended strokes once their volume has ramped to silence.
void stopFadedSamples();
// Whoever follows what the program sounds (the recorder, the MIDI output) is told of every
// key whose sample starts, with its volume (0..1), and of every key whose sample stops or
// starts dying away. Run in the frame step or the key handlers, on the program's thread.
using KeySoundObserver = void (*)(int key, bool on, float volume);
void observeKeySounds(KeySoundObserver observer);
void clearKeySoundObservers();

// The sound steps of a stroke; each does nothing without a sound engine.
void startNoteSample(int key);
void fadeNoteSample(float notePress);
void startChordSample(int slot, int key);
void fadeChordSample(int slot, float notePress);
// A stroke ended early lets its sample die away: for those who follow the sound it stops here.
void noteSampleEndedEarly();
void chordSampleEndedEarly(int slot);

// Songs.
void playSong(std::string song);   // a file of the shipped songs folder, by name
bool playSongFile(const std::string& path);
// Starts a song read from path (named in messages); false, after one line on stdout, when
// it has nothing to play.
bool startSong(SongData song, const std::string& path);
void stepSong();
// Ends the song: it lets go of the letters it holds; strokes under way finish as usual.
void stopSong();

// Playing along ("9"): the right-hand part is the player's. The song shows the letter of its
// next right-hand entry and its beat counter waits for it; a press within a beat of the
// entry's time keeps the song in tempo.
void togglePlayAlong();
// The player pressed a note letter (typed, not the song's own).
void playAlongLetter(unsigned char letter);
// The key index whose letter the player is to press next, -1 when none.
int playAlongHintKey();

// The song library: "6" chooses the next song, "5" plays the chosen one.
void chooseNextSong();
void playChosenSong();
// Reads a MIDI file as a song: importMidiSong of the sound library, which the program hands
// in at start-up; null leaves MIDI files unplayable. On failure error is one line.
using MidiSongImporter = bool (*)(const std::string& path, SongData& song, std::string& report, std::string& error);
extern MidiSongImporter midiSongImporter;

// Recording ("7"): starts, or stops and saves to the user's songs folder as a song and a
// MIDI file. What the user plays is fed in by the keyboard commands and the sound steps.
void toggleRecording();
void recordStrokeStart(bool right, int index, Mode strokeMode);
void recordStrokeEnd(bool right);
void recordSound(int key, bool on, float volume);
// Writes a recording's MIDI file: writeMidiFile of the sound library, handed in at start-up;
// null writes none. On failure error is one line.
using MidiFileWriter = bool (*)(const std::string& path, int program, const std::vector<RecordedMidiEvent>& events,
                                std::string& error);
extern MidiFileWriter midiFileWriter;

// Captions: one line over the scene for CAPTION_SECONDS.
const double CAPTION_SECONDS = 3.0;
void showCaption(const std::string& text);
// The caption to draw now, empty when none.
std::string currentCaption();
// True once when the caption's time has run out: the frame without it is still to be drawn.
bool captionEnded();
