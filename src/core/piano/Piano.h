// The piano: one object that owns the keys, the hands and their strokes, the song player and
// playing along, the recorder, MIDI playing, the lights and the camera. It is built with what it
// needs from outside (a clock, a sound engine, a host to ask for frames, readers and writers of
// files the core cannot parse itself) and driven by calls: keys, mouse, MIDI, and the frame step
// on the clock. The drawing reads a Scene from it and never writes back. Everything runs on the
// program's thread except the MIDI inbox, which any thread may fill.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Clock.h"
#include "EventLog.h"
#include "Hand.h"
#include "KeyLayout.h"
#include "KeySounds.h"
#include "Lights.h"
#include "MidiImport.h"
#include "MidiPlayer.h"
#include "MidiTimeline.h"
#include "PianoKey.h"
#include "Practice.h"
#include "Resources.h"
#include "Scene.h"
#include "ScorePlayer.h"
#include "Settings.h"
#include "SongFile.h"
#include "SongLibrary.h"
#include "SongPlayer.h"
#include "Sound.h"
#include "SoundFontLibrary.h"
#include "Stroke.h"
#include "TakeRecorder.h"

// What the window system does for the piano.
class PianoHost {
public:
    virtual ~PianoHost() = default;
    virtual void requestFrame() {}     // the main window is to be drawn again
    virtual void quit(int /*status*/) {}  // Escape
};

// Reads a MIDI file (the sound library's reader, handed in by whoever builds the piano); on
// failure error is one line.
using MidiScoreReader = std::function<bool(const std::string& path, MidiScore& score, std::string& error)>;

// What a piano is built with. Only the clock is required: without a sound engine it is silent,
// without a host nobody is told of frames, without a log nothing is logged, without SoundFonts
// Space steps through the five built-in instruments.
struct PianoSetup {
    const Clock* clock = nullptr;
    SoundEngine* sound = nullptr;
    PianoHost* host = nullptr;
    EventLog* log = nullptr;
    ResourcePaths resources;
    MidiScoreReader readMidiScore;
    MidiFileWriter writeMidiFile;
    std::vector<SoundFontEntry> soundFonts;  // instruments after the five, opened when chosen
};

// A stall longer than this is not caught up: the piano's time starts afresh from now.
constexpr double MAX_CATCH_UP_SECONDS = 0.5;
// "[" and "]" keep the tempo within these, in percent of the written tempo.
constexpr long MIN_TEMPO_PERCENT = 30;
constexpr long MAX_TEMPO_PERCENT = 150;
// Seconds a caption stays up.
constexpr double CAPTION_SECONDS = 3.0;
// The program's own first song, which "5" plays until "6" chooses another.
inline constexpr const char* FIRST_SONG = "twinkle.song";

class Piano final : private SongPlayer::Performer, private MidiPlayer::Piano, private TakeRecorder::Piano {
public:
    explicit Piano(PianoSetup setup);
    Piano(const Piano&) = delete;
    Piano& operator=(const Piano&) = delete;

    // ---- Input ------------------------------------------------------------------------------
    // A key of the keyboard goes down or up, by the character it types. A letter typed while
    // its hand is busy waits for the hand (see startPendingStrokes).
    void keyDown(unsigned char key);
    void keyUp(unsigned char key);
    // The arrow keys (interface.h's codes).
    void specialKey(int key);
    // Drags turn (left button) and zoom (right button) the camera, measured from the press.
    void mouseButton(int button, int state, int x, int y);
    void mouseMotion(int x, int y);
    // Where the MIDI threads leave what comes in; played by playMidi on the program's thread.
    MidiInbox& midiInbox() { return midi_.inbox(); }
    void playMidi() { midi_.step(); }
    // Every key the program sounds is sent to `send` as MIDI from now on.
    void startMidiOutput(MidiPlayer::Send send) { midi_.startOutput(std::move(send)); }
    void stopMidiOutput() { midi_.stopOutput(); }
    // The program is ending: a take being recorded is saved as "7" would (one line on stdout
    // says where), and every key held from MIDI is let go. Before the MIDI ports close.
    void finish() {
        recorder_.finish();
        midi_.releaseAll();
    }
    // Told of every key whose sample starts (with its volume) or stops.
    void observeKeySounds(KeySoundObserver observer) { sounds_.observe(std::move(observer)); }

    // ---- Time -------------------------------------------------------------------------------
    // The piano's time moves on in steps of STEP_SECONDS of the clock: the strokes, the song, the
    // concert sweep and everything else that moves by itself take a step each. This runs every
    // step due by the clock now (a late frame catches up the steps it missed) and asks for a
    // frame; false when no step was due. The shell's frame loop is this plus the wait until the
    // next step. After a rest, or a stall longer than MAX_CATCH_UP_SECONDS, it starts afresh
    // from now rather than rush through what it missed.
    bool stepFrame();
    // Seconds until the next step is due: 0, never less, once it is.
    double secondsUntilFrame() const;
    // Steps taken since the piano was made.
    long long steps() const { return steps_; }
    // Whether the next frame can differ from the last one drawn: a stroke on its way down or up,
    // a song counting its beats, the concert sweep, letters waiting for a hand, samples dying
    // away, keys let go on a MIDI keyboard rising. When not, nothing need be drawn until an
    // input, a window event, a MIDI message or a change due at a time (a caption's end).
    bool animating() const;
    // Seconds until something shown changes by itself with nothing animating (a caption ends):
    // 0 when its time has come, none when nothing will.
    std::optional<double> secondsUntilChange() const;
    // True once when the caption's time has run out: the frame without it is still to be drawn.
    bool captionEnded();

    // ---- What is drawn ----------------------------------------------------------------------
    Scene scene() const;

    // ---- Songs ------------------------------------------------------------------------------
    // Reads and starts a song file; false, after one line on stderr and a caption, when it cannot.
    bool playSongFile(const std::string& path);
    // Starts a song read from path (named in messages); false, after one line on stderr and a
    // caption, when it has nothing to play.
    bool startSong(SongData song, const std::string& path);
    void stopSong() { song_.stop(); }
    // Plays a MIDI file as written, every note at its time through the MIDI player, from `path`
    // (named in messages); false, after one line on stdout, when the instrument can play none
    // of it (drums alone on the samples). Ends a song or file playing.
    bool startScore(MidiTimeline timeline, const std::string& path);
    // The speed of a MIDI file played as written against its written tempo (1 as written).
    void setScoreTempo(double tempo) { score_.setTempo(tempo); }
    // "6" chooses the next song, "5" plays the chosen one: a MIDI file as written, or, with play
    // along on, as the song of melody and chords made of it.
    void chooseNextSong();
    void playChosenSong();

    // The tempo of what plays from now on against its written tempo (1 as written): "[" and "]"
    // set it in steps of a tenth from 0.3 to 1.5. Songs, playing along and MIDI files played as
    // written follow it.
    void setTempo(double tempo);
    double tempo() const { return song_.tempo(); }

    // The instrument the keys sound on from now on (Space steps through them with the pictures):
    // the five built-in ones, then the SoundFonts. False when a SoundFont cannot be opened.
    bool selectInstrument(int instrument);
    // Whether what the piano has started may still sound: a song or MIDI file plays on, a stroke
    // is under way on either hand, a letter waits for its hand, or a sample is dying away.
    bool mayStillSound() const {
        return song_.playing() || score_.playing() || right_.busy() || left_.busy() || !right_.pending.empty() ||
               !left_.pending.empty() || sounds_.fading() || midi_.keysMoving();
    }

    // ---- Settings kept between runs (PianoSettings.cpp) ----------------------------------------
    // Reads the settings file at path and takes up what it says; from then on each change the
    // user makes (a key, the end of a drag) is written there. A file that cannot be used is told
    // in one line on stderr and the piano keeps its first state. An empty path keeps nothing.
    void keepSettingsIn(const std::string& path);
    // Writes the piano's own settings into a record, leaving the other names in it alone.
    void storeSettings(Settings& settings) const;
    // Takes up a record's settings; a value that cannot be used leaves its setting as it is,
    // with a line in problems.
    void applySettings(const Settings& settings, std::vector<std::string>& problems);

    // What the user's keyboard layout shows on each playing letter's key (the shell knows):
    // the letters on the keys are drawn with it.
    void setLetterNames(const LetterNames& names);
    const LetterNames& letterNames() const { return letterNames_; }

    // ---- State, read only -------------------------------------------------------------------
    const std::array<PianoKey, NUM_KEYS>& keys() const { return keys_; }
    const Hand& leftHand() const { return leftHand_; }
    const Hand& rightHand() const { return rightHand_; }
    const Stroke& noteStroke() const { return right_; }
    const Stroke& chordStroke() const { return left_; }
    const SongPlayer& song() const { return song_; }
    const Practice& practice() const { return practice_; }
    const TakeRecorder& recorder() const { return recorder_; }
    const MidiPlayer& midi() const { return midi_; }
    const ScorePlayer& score() const { return score_; }
    const Lights& lights() const { return lights_; }
    const CameraState& camera() const { return camera_; }
    Mode mode() const override { return mode_; }
    int instrument() const override { return sounds_.instrument(); }
    int instrumentCount() const { return sounds_.instrumentCount(); }
    std::string instrumentName() const { return sounds_.instrumentName(); }
    bool glowOn() const { return glowOn_; }
    bool concertOn() const { return concertOn_; }
    int activeBackground() const { return activeBackground_; }
    int activeHandTexture() const { return activeHandTexture_; }
    bool lettersOn() const { return lettersOn_; }
    // "0": letters sound at their press, as MIDI notes do, the hand following; otherwise (as the
    // piano starts) a letter sounds when its finger strikes the key.
    bool soundAtPress() const { return soundAtPress_; }
    // "Return": the scene shows the notes coming, as bars travelling to their keys.
    bool notesShown() const { return notesShown_; }
    // The caption to draw now, empty when none.
    std::string currentCaption() const;
    // Keys whose press was taken and whose release was not, by character.
    bool keyHeld(unsigned char key) const { return keyPressed_[key]; }
    // The keys the user holds down, as far as the program knows: those above, less the letters
    // the song player holds (no key on the keyboard stands behind them).
    std::vector<unsigned char> userHeldKeys() const;
    // The chosen song, when "6" has chosen one.
    const std::optional<SongEntry>& chosenSong() const { return chosen_; }
    // Seconds on the piano's clock: during a step, the step's own time.
    double seconds() const override { return time_.seconds(); }

private:
    // SongPlayer::Performer, MidiPlayer::Piano, TakeRecorder::Piano
    void songPress(unsigned char letter) override { pressKey(letter, true); }
    void songRelease(unsigned char letter) override { keyUp(letter); }
    Stroke& stroke(bool right) override { return right ? right_ : left_; }
    void setMode(Mode mode) override { mode_ = mode; }
    void showCaption(const std::string& text) override;
    void log(const char* event, const std::string& detail) override;
    void beginStroke(bool right, int target, unsigned char letter) override;
    void requestFrame() override;
    void choose(const SongEntry& song) override { chosen_ = song; }
    void judged(unsigned char letter, bool right) override;
    void playAlongDone(const PracticeResult& result) override;

    // A letter or command; the song's presses come with fromSong and a busy hand ignores them.
    void pressKey(unsigned char key, bool fromSong);
    void command(unsigned char key);
    void updateHands();
    void startPendingStrokes();
    void startPending(Stroke& stroke, bool right);
    void releaseLetter(Stroke& stroke, bool right, unsigned char key);
    void soundLetterNow(bool right, int target, unsigned char letter, int index);
    void importChosen();
    void refuse(const std::string& line, const std::string& caption);
    void stepTempo(int direction);
    void saveSettings();
    void step();
    void restartSteps(Ticks from);
    void startMoving();

    // The clock the piano's parts read: the real clock between steps, and during a step that
    // step's own time, so a step that catches up is worked out as if it had come on time.
    class StepClock final : public Clock {
    public:
        explicit StepClock(const Clock& real) : real_(real) {}
        Ticks now() const override { return stepping_ ? at_ : real_.now(); }
        void enter(Ticks at) {
            at_ = at;
            stepping_ = true;
        }
        void leave() { stepping_ = false; }
        bool stepping() const { return stepping_; }

    private:
        const Clock& real_;
        Ticks at_ = 0;
        bool stepping_ = false;
    };

    const Clock& clock_;
    StepClock time_;
    PianoHost* host_;
    EventLog* log_;
    ResourcePaths resources_;
    MidiScoreReader readMidiScore_;

    std::array<PianoKey, NUM_KEYS> keys_;
    Hand leftHand_{-1};
    Hand rightHand_{1};
    KeySounds sounds_;
    Stroke right_;  // notes
    Stroke left_;   // chords
    SongPlayer song_;
    Practice practice_;
    // Whether the last step's scene showed a key's colour of right or wrong. The colour ends by
    // the clock, between two frames as often as not: the piano goes on moving until a step
    // sees it gone, so that a frame shows it gone (and the shown letter's key shining again).
    bool colourAtStep_ = false;
    TakeRecorder recorder_;
    MidiPlayer midi_;
    ScorePlayer score_;
    Lights lights_;
    CameraState camera_;

    // Steps of the piano's time: the n-th step since `origin_` is due at origin_ + n steps.
    Ticks origin_ = 0;
    long long stepsSinceOrigin_ = 0;
    long long steps_ = 0;
    // Whether the piano's steps are running: the last step left something moving, or something
    // started since. When not, the piano is at rest and owes no steps: the next stroke starts the
    // steps afresh from its own press, anything else from the frame step that finds it moving.
    bool moving_ = false;

    // Keys held and the switches the keyboard commands flip.
    bool keyPressed_[256] = {};  // by character code, from press to release
    Mode mode_ = MAJOR;
    bool glowOn_ = false;
    bool concertOn_ = false;
    int activeBackground_ = HALL;
    int activeHandTexture_ = SKIN;
    bool lettersOn_ = false;
    bool soundAtPress_ = false;
    bool notesShown_ = false;
    // The keys each letter sounded at its press, until the letter comes up.
    std::array<std::vector<int>, 256> soundedByLetter_;

    // Mouse drags, in window pixels from where the drag was last seen.
    float lastX_ = 0, lastY_ = 0;
    bool rotateCam_ = false, zoomCam_ = false;

    // A line over the scene for a few seconds after a key that changes what plays.
    std::string caption_;
    double captionUntil_ = 0;  // seconds on the clock

    // The song library: listed afresh at every "6".
    std::vector<SongEntry> songs_;
    std::optional<SongEntry> chosen_;  // until "6", "5" plays the program's own first song
    std::string songPath_;  // the file of the song started last, for its progress
    // A chosen MIDI file is read when chosen: played as written, its timeline, and for play
    // along the song made of it; or why each cannot be.
    MidiTimeline timeline_;
    std::string timelineError_;
    SongData imported_;
    std::string importError_;

    // The settings file, when the piano keeps one: the record last read or written (with the
    // names of others in it) and its text as it stands on the disk.
    std::string settingsPath_;
    Settings settings_;
    std::string settingsWritten_;
    bool settingsWriteFailed_ = false;  // told once, until a write succeeds
    LetterNames letterNames_;
};
