// The piano: its input routed to the parts that own what it changes, the frame step, captions
// and the song library.
#include "Piano.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "FileRead.h"
#include "Letters.h"
#include "animation.h"
#include "interface.h"

namespace {
constexpr unsigned char ESCAPE = 27;
constexpr unsigned char TAB = 9;

// A hand strikes about five notes a second; letters typed further ahead than this (three
// seconds of playing) are dropped, so a flood of keys cannot keep the hand playing for minutes.
constexpr std::size_t MAX_PENDING_STROKES = 16;

// A letter and its capital are one key: Shift or Caps Lock must neither silence a letter nor
// leave its note stuck when the two keys come up in another order than they went down.
unsigned char playedLetter(unsigned char key) {
    if (key < 'A' || key > 'Z') return key;
    const unsigned char lower = static_cast<unsigned char>(key - 'A' + 'a');
    const bool playing = noteLetterIndex(lower) >= 0 || chordLetterIndex(lower) >= 0;
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

bool readSongFile(const std::string& path, std::string& text, std::string& problem) {
    switch (readSmallFile(path, MAX_SONG_FILE_BYTES, text)) {
    case FileRead::Missing:
        return false;
    case FileRead::Read:
        return true;
    case FileRead::NotRegular:
    case FileRead::TooLarge:
    case FileRead::Failed:
        break;
    }
    problem = "it is not a readable file of at most " + std::to_string(MAX_SONG_FILE_BYTES) + " bytes";
    return true;
}

std::string userSongsDir() {
    const std::string data = userDataDir();
    return data.empty() ? data : data + "/songs";
}
}  // namespace

Piano::Piano(PianoSetup setup)
    : clock_(*setup.clock),
      time_(*setup.clock),
      host_(setup.host),
      log_(setup.log),
      resources_(setup.resources),
      importMidiSong_(std::move(setup.importMidiSong)),
      keys_(restingKeyboard()),
      sounds_(setup.sound, setup.resources, setup.log),
      right_(Stroke::NOTE, rightHand_, keys_, sounds_, time_),
      left_(Stroke::CHORD, leftHand_, keys_, sounds_, time_),
      song_(*this),
      recorder_(*this, std::move(setup.writeMidiFile)),
      midi_(*this, keys_, right_, left_, sounds_, time_, clock_, setup.log),
      lights_(time_) {
    restartSteps(clock_.now());
    // Those who follow the sound: the recorder first, then the MIDI output.
    sounds_.observe([this](int key, bool on, float volume) { recorder_.sound(key, on, volume); });
    sounds_.observe([this](int key, bool on, float volume) { midi_.keySounded(key, on, volume); });
}

// What the piano does is logged at the piano's time: a step's events at the step's own time,
// which is when they happened as far as the music goes, however late the step ran.
void Piano::log(const char* event, const std::string& detail) {
    if (log_ != nullptr) log_->logAt(time_.seconds(), event, detail);
}

void Piano::requestFrame() {
    if (host_ != nullptr) host_->requestFrame();
}

// ---- Strokes -------------------------------------------------------------------------------
void Piano::beginStroke(bool right, int target, unsigned char letter) {
    stroke(right).begin(target, letter);
    log("stroke", right ? "right" : "left");
    // From rest, the piano's steps start with the stroke: its first step comes one full step
    // after the press, not at once for a step that fell due long ago.
    if (!time_.stepping() && !moving_) {
        restartSteps(clock_.now());
        moving_ = true;
    }
}

void Piano::updateHands() {
    left_.updateHand();
    right_.updateHand();
}

// A stroke waiting for its hand starts once the hand is free or its stroke has struck its
// key, which then ends at once.
void Piano::startPending(Stroke& stroke, bool right) {
    if (stroke.pending.empty() || (stroke.busy() && !stroke.sounded)) return;
    const PendingStroke next = stroke.pending.front();
    stroke.pending.pop_front();
    stroke.endNow();
    recorder_.strokeEnd(right);
    // The rhythm typed is the rhythm heard: the stroke strikes as long after its press as a stroke
    // on a free hand would, however long it waited.
    stroke.nextSpeed = fittedSpeed(next.pressedAt, time_.seconds());
    beginStroke(right, next.target, next.letter);
    const int index = right ? noteLetterIndex(next.letter) : chordLetterIndex(next.letter);
    recorder_.strokeStart(right, index, next.mode);
    if (next.released) {
        stroke.held = false;  // a tap: the stroke goes straight back up
        recorder_.strokeEnd(right);
    }
    updateHands();
}

void Piano::startPendingStrokes() {
    startPending(right_, true);
    startPending(left_, false);
}

// ---- Keys ----------------------------------------------------------------------------------
void Piano::keyDown(unsigned char key) {
    log("key-press", std::to_string(key));
    pressKey(key, false);
}

void Piano::pressKey(unsigned char typed, bool fromSong) {
    const unsigned char key = playedLetter(typed);
    const int noteIndex = noteLetterIndex(key);
    if (noteIndex >= 0 && !fromSong) song_.playerLetter(key);
    if (noteIndex >= 0 && !keyPressed_[key]) {
        const int note = noteIndexKey(noteIndex);
        // The song's presses keep their own rule: taken by a free hand, never queued.
        if (soundAtPress_ && !fromSong) {
            soundLetterNow(true, note, key, noteIndex);
        } else if (!right_.busy() && (fromSong || right_.pending.empty())) {
            beginStroke(true, note, key);
            if (!fromSong) recorder_.strokeStart(true, noteIndex, mode_);
        } else if (!fromSong && right_.pending.size() < MAX_PENDING_STROKES) {
            right_.pending.push_back({key, note, false, mode_, time_.seconds()});
        }
    }

    const int chordIndex = chordLetterIndex(key);
    if (chordIndex >= 0) {
        const int chord = CHORD_KEY_TABLE[mode_][chordIndex];
        if (soundAtPress_ && !fromSong) {
            if (!keyPressed_[key]) soundLetterNow(false, chord, key, chordIndex);
        } else if (!left_.busy() && (fromSong || left_.pending.empty())) {
            beginStroke(false, chord, key);
            if (!fromSong) recorder_.strokeStart(false, chordIndex, mode_);
        } else if (!fromSong && !keyPressed_[key] && left_.pending.size() < MAX_PENDING_STROKES) {
            left_.pending.push_back({key, chord, false, mode_, time_.seconds()});
        }
    } else if (key == ESCAPE) {
        if (host_ != nullptr) host_->quit(0);
        return;
    } else {
        command(key);
        saveSettings();
    }

    keyPressed_[key] = true;
    updateHands();
}

void Piano::command(unsigned char key) {
    if (lights_.lightKey(key)) return;
    switch (key) {
    case '+':
        mode_ = MAJOR;
        showCaption("major chords");
        break;
    case '-':
        mode_ = MINOR;
        showCaption("minor chords");
        break;
    case ' ':
        // Background n always goes with instrument n.
        activeBackground_ = (activeBackground_ + 1) % numBackgrounds;
        sounds_.setInstrument((sounds_.instrument() + 1) % NUM_INSTRUMENTS);
        showCaption(std::string(INSTRUMENT_NAMES[static_cast<std::size_t>(sounds_.instrument())]));
        break;
    case TAB:
        activeHandTexture_ = (activeHandTexture_ + 1) % numTextures;
        break;
    case '1':
        glowOn_ = false;
        break;
    case '2':
        glowOn_ = true;
        break;
    case '3':
        if (!concertOn_) break;
        concertOn_ = false;
        glowOn_ = false;
        lights_.restoreLevels();
        break;
    case '4':
        concertOn_ = true;
        glowOn_ = true;
        lights_.concertOn();
        break;
    case '5':
        playChosenSong();
        break;
    case '6':
        chooseNextSong();
        break;
    case '7':
        recorder_.toggle();
        break;
    case '8':
        lettersOn_ = !lettersOn_;
        break;
    case '9':
        song_.togglePlayAlong();
        break;
    case '0':
        soundAtPress_ = !soundAtPress_;
        showCaption(soundAtPress_ ? "letters sound at the press" : "letters sound when the finger strikes");
        break;
    default:
        break;
    }
}

// A letter that sounds at its press sounds at once, as a MIDI note does, and its hand follows
// on a fast stroke that only moves it; a busy hand lets the note sound without it.
void Piano::soundLetterNow(bool right, int target, unsigned char letter, int index) {
    std::vector<int>& sounded = soundedByLetter_[letter];
    sounded.clear();
    if (right) {
        sounded.push_back(target);
    } else {
        const ChordInfo& chord = CHORDS[static_cast<std::size_t>(target)];
        sounded.assign(chord.notes, chord.notes + chord.numNotes);
    }
    const float volume = right ? sounds_.noteStartVolume() : sounds_.chordStartVolume();
    for (int key : sounded) midi_.soundKey(key, volume);
    recorder_.strokeStart(right, index, mode_);
    Stroke& hand = stroke(right);
    if (!hand.busy() && hand.pending.empty()) {
        hand.nextSpeed = FOLLOW_SPEED;
        beginStroke(right, target, letter);
        hand.showOnly = true;
    }
    requestFrame();
}

void Piano::keyUp(unsigned char typed) {
    log("key-release", std::to_string(typed));
    const unsigned char key = playedLetter(typed);
    if (!soundedByLetter_[key].empty()) {
        for (int sounded : soundedByLetter_[key]) midi_.releaseKey(sounded);
        soundedByLetter_[key].clear();
        recorder_.strokeEnd(noteLetterIndex(key) >= 0);
    }
    if (noteLetterIndex(key) >= 0) releaseLetter(right_, true, key);
    if (chordLetterIndex(key) >= 0) releaseLetter(left_, false, key);
    keyPressed_[key] = false;
}

void Piano::releaseLetter(Stroke& stroke, bool right, unsigned char key) {
    // A letter typed again while its earlier stroke still runs is the waiting one: that earlier
    // stroke's letter was let go before it could be typed again. A stroke following a MIDI note
    // is no letter's, and a chord is ended by the letter that started it, whatever the mode now.
    const bool current = stroke.busy() && stroke.letter != 0 && key == stroke.letter;
    if ((current && stroke.held) || !markReleased(stroke.pending, key)) {
        if (current) {
            stroke.held = false;
            updateHands();
            recorder_.strokeEnd(right);
        }
    }
}

void Piano::specialKey(int key) {
    lights_.arrowKey(key);
    requestFrame();
}

void Piano::mouseButton(int button, int state, int x, int y) {
    const bool down = state == MOUSE_DOWN;
    if (button == MOUSE_LEFT_BUTTON) {
        rotateCam_ = down;
    } else if (button == MOUSE_RIGHT_BUTTON) {
        zoomCam_ = down;
    } else {
        return;
    }
    // Drags measure from the press, so the view does not jump on the first move.
    if (down) {
        lastX_ = static_cast<float>(x);
        lastY_ = static_cast<float>(y);
    } else {
        saveSettings();  // the camera where the drag left it
    }
}

void Piano::mouseMotion(int x, int y) {
    if (rotateCam_) {
        camera_.rotation[1] += (x - lastX_) * MOUSE_ROT_SCALE;
        camera_.rotation[0] += (y - lastY_) * MOUSE_ROT_SCALE;
    }
    if (zoomCam_) {
        camera_.position[2] -= (y - lastY_) * MOUSE_ZOOM_SCALE;
        // ZOOM_MIN is the larger number: the nearest the camera may come.
        camera_.position[2] = std::max(std::min(camera_.position[2], ZOOM_MIN), ZOOM_MAX);
    }
    if (rotateCam_ || zoomCam_) {
        lastX_ = static_cast<float>(x);
        lastY_ = static_cast<float>(y);
        requestFrame();
    }
}

std::vector<unsigned char> Piano::userHeldKeys() const {
    std::vector<unsigned char> held;
    for (int key = 0; key < 256; ++key)
        if (keyPressed_[key] && !song_.holds(static_cast<unsigned char>(key))) held.push_back(static_cast<unsigned char>(key));
    return held;
}

// ---- The frame step ------------------------------------------------------------------------
bool Piano::animating() const {
    if (right_.moving() || left_.moving()) return true;
    if (song_.playing() && !song_.waiting()) return true;
    return concertOn_ || !right_.pending.empty() || !left_.pending.empty() || sounds_.fading() || midi_.keysMoving();
}

std::optional<double> Piano::secondsUntilChange() const {
    if (caption_.empty()) return std::nullopt;
    return std::max(captionUntil_ - clock_.seconds(), 0.0);
}

void Piano::restartSteps(Ticks from) {
    origin_ = from;
    stepsSinceOrigin_ = 0;
}

namespace {
Ticks stepDue(Ticks origin, long long steps) {
    return origin + std::llround(static_cast<double>(steps) * STEP_SECONDS * TICKS_PER_SECOND);
}
}  // namespace

double Piano::secondsUntilFrame() const {
    const Ticks due = stepDue(origin_, stepsSinceOrigin_ + 1);
    return std::max(static_cast<double>(due - clock_.now()) / TICKS_PER_SECOND, 0.0);
}

bool Piano::stepFrame() {
    const Ticks now = clock_.now();
    // Coming out of rest (a held key let go, the concert lights on): nothing was moving, so no
    // step is owed; the piano's time takes up from now.
    if (!moving_ && animating()) {
        restartSteps(stepDue(now, -1));
        moving_ = true;
    }
    Ticks due = stepDue(origin_, stepsSinceOrigin_ + 1);
    if (now < due) return false;
    if (static_cast<double>(now - due) > MAX_CATCH_UP_SECONDS * TICKS_PER_SECOND) {
        log("catch-up", std::to_string(static_cast<double>(now - due) / TICKS_PER_SECOND));
        restartSteps(stepDue(now, -1));
        due = now;
    }
    do {
        ++stepsSinceOrigin_;
        time_.enter(due);
        step();
        time_.leave();
        due = stepDue(origin_, stepsSinceOrigin_ + 1);
    } while (due <= now);
    moving_ = animating();
    requestFrame();
    return true;
}

// One step of the piano's time.
void Piano::step() {
    ++steps_;
    log("frame", "");
    sounds_.stepFades();
    midi_.step();
    // The song goes first, so a note it starts gets its first stroke step in this step.
    if (song_.playing()) song_.step();
    startPendingStrokes();
    if (concertOn_) lights_.stepConcert();
    if (left_.busy()) left_.update();
    if (right_.busy()) right_.update();
}

Scene Piano::scene() const {
    Scene s;
    s.keys = keys_;
    s.leftHand = leftHand_;
    s.rightHand = rightHand_;
    s.camera = camera_;
    s.lights = lights_.state();
    s.glowOn = glowOn_;
    s.concertOn = concertOn_;
    s.activeBackground = activeBackground_;
    s.activeHandTexture = activeHandTexture_;
    s.lettersOn = lettersOn_;
    s.mode = mode_;
    s.hintKey = song_.hintKey();
    s.caption = currentCaption();
    s.recording = recorder_.on();
    s.letterNames = letterNames_;
    return s;
}

// ---- Captions ------------------------------------------------------------------------------
void Piano::showCaption(const std::string& text) {
    caption_ = text;
    captionUntil_ = time_.seconds() + CAPTION_SECONDS;
    requestFrame();
}

bool Piano::captionEnded() {
    if (caption_.empty() || clock_.seconds() < captionUntil_) return false;
    caption_.clear();
    return true;
}

std::string Piano::currentCaption() const {
    if (caption_.empty() || clock_.seconds() >= captionUntil_) return "";
    return caption_;
}

// ---- Songs ---------------------------------------------------------------------------------
bool Piano::playSongFile(const std::string& path) {
    std::string text, problem;
    if (!readSongFile(path, text, problem)) {
        std::printf("Error: Failed to open song file %s\n", path.c_str());
        std::fflush(stdout);
        return false;
    }
    SongData data;
    if (problem.empty()) parseSong(text, NUM_NOTE_LETTERS, NUM_CHORD_LETTERS, data, problem);
    if (!problem.empty()) {
        std::printf("Error: Malformed song file %s: %s\n", path.c_str(), problem.c_str());
        std::fflush(stdout);
        return false;
    }
    return startSong(std::move(data), path);
}

bool Piano::startSong(SongData data, const std::string& path) {
    if (data.right.empty() && data.left.empty()) {
        std::printf("Error: Song file %s has no notes to play\n", path.c_str());
        std::fflush(stdout);
        return false;
    }
    // From rest, the piano's steps start with the song, whose first beat is now.
    if (!moving_) {
        restartSteps(clock_.now());
        moving_ = true;
    }
    song_.start(std::move(data));
    return true;
}

// A MIDI file becomes a song when it is chosen, so "5" plays it at once and a file that cannot
// be one is named then.
void Piano::importChosen() {
    imported_ = SongData();
    importError_.clear();
    std::string report;
    if (!importMidiSong_) {
        importError_ = "Error: Failed to open MIDI file " + chosen_->path;
    } else if (!importMidiSong_(chosen_->path, imported_, report, importError_)) {
        imported_ = SongData();
    }
    if (!importError_.empty()) {
        std::printf("%s\n", importError_.c_str());
        std::fflush(stdout);
    }
}

void Piano::chooseNextSong() {
    std::vector<std::string> problems;
    songs_ = listSongs(resources_.songs, FIRST_SONG, userSongsDir(), &problems);
    for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
    if (songs_.empty()) {
        showCaption("no songs found");
        return;
    }
    // The one after the chosen song; a list that changed meanwhile is stepped from where the
    // chosen file now stands, or from its start when it is gone.
    std::size_t next = 0;
    const std::string current = chosen_ ? chosen_->path : resources_.songs + FIRST_SONG;
    const auto at = std::find_if(songs_.begin(), songs_.end(), [&](const SongEntry& s) { return s.path == current; });
    if (at != songs_.end()) next = (static_cast<std::size_t>(at - songs_.begin()) + 1) % songs_.size();
    chosen_ = songs_[next];
    if (chosen_->midi) importChosen();
    showCaption(chosen_->title + " - 5 to play");
}

void Piano::playChosenSong() {
    bool started = false;
    std::string title = songTitle(FIRST_SONG);
    if (!chosen_) {
        started = playSongFile(resources_.songs + FIRST_SONG);
    } else if (chosen_->midi) {
        title = chosen_->title;
        if (!importError_.empty()) {
            std::printf("%s\n", importError_.c_str());
            std::fflush(stdout);
        } else {
            started = startSong(imported_, chosen_->path);
        }
    } else {
        title = chosen_->title;
        started = playSongFile(chosen_->path);
    }
    if (started) showCaption(title + " - playing");
}
