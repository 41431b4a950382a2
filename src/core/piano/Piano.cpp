// The piano: its input routed to the parts that own what it changes, the frame step, captions
// and the song library.
#include "Piano.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "FileRead.h"
#include "Printable.h"
#include "Letters.h"
#include "NotesAhead.h"
#include "animation.h"
#include "interface.h"

namespace {
constexpr unsigned char ESCAPE = 27;
constexpr unsigned char TAB = 9;
constexpr unsigned char RETURN = 13;

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
      readMidiScore_(std::move(setup.readMidiScore)),
      keys_(restingKeyboard()),
      sounds_(setup.sound, setup.resources, setup.log, std::move(setup.soundFonts)),
      right_(Stroke::NOTE, rightHand_, keys_, sounds_, time_),
      left_(Stroke::CHORD, leftHand_, keys_, sounds_, time_),
      song_(*this),
      practice_(time_),
      recorder_(*this, std::move(setup.writeMidiFile)),
      midi_(*this, keys_, right_, left_, sounds_, time_, clock_, setup.log),
      score_(midi_),
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
    startMoving();
}

// Something starts moving by a call from outside: from rest, the piano's steps take up from
// now, so its first step comes one full step later and not at once for a step due long ago.
void Piano::startMoving() {
    if (time_.stepping() || moving_) return;
    restartSteps(clock_.now());
    moving_ = true;
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
    if ((noteIndex >= 0 || chordLetterIndex(key) >= 0) && !fromSong) song_.playerLetter(key);
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
    case ' ': {
        // A SoundFont that cannot be opened has said so and is passed over, for good.
        int next = sounds_.nextInstrument(sounds_.instrument());
        while (!selectInstrument(next)) next = sounds_.nextInstrument(next);
        // Background n goes with instrument n; the SoundFonts' go round the pictures again.
        activeBackground_ = sounds_.instrument() % numBackgrounds;
        showCaption(sounds_.instrumentName());
        log("instrument", sounds_.instrumentName());
        break;
    }
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
        song_.stepPlayAlong();
        break;
    case '[':
    case ']':
        stepTempo(key == ']' ? 1 : -1);
        break;
    case '\'':
        song_.markPassage();
        break;
    case '0':
        soundAtPress_ = !soundAtPress_;
        showCaption(soundAtPress_ ? "letters sound at the press" : "letters sound when the finger strikes");
        break;
    case RETURN:
        notesShown_ = !notesShown_;
        showCaption(notesShown_ ? "notes coming shown" : "notes coming hidden");
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
    // The take's stroke first: the recorder marks a stroke struck when its key sounds, and a
    // stroke begun after its sound stayed unstruck and was left out of the take.
    recorder_.strokeStart(right, index, mode_);
    const float volume = right ? sounds_.noteStartVolume() : sounds_.chordStartVolume();
    for (int key : sounded) midi_.soundKey(key, volume);
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
            // The key rises from the release, however late the next frame comes.
            startMoving();
            stroke.release();
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
    if ((song_.playing() && !song_.waiting()) || score_.playing()) return true;
    if (practice_.shining() || colourAtStep_) return true;  // a key played along fades back
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
    // Before the MIDI player's own step, which lets a note the file ends in this step begin
    // to fade in it.
    score_.step();
    midi_.step();
    // The song goes first, so a note it starts gets its first stroke step in this step.
    if (song_.playing()) song_.step();
    startPendingStrokes();
    if (concertOn_) lights_.stepConcert();
    if (left_.busy()) left_.update();
    if (right_.busy()) right_.update();
    colourAtStep_ = practice_.shining();
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
    // The song's entries; a player with a schedule of its own adds its notes with addBar.
    if (notesShown_) {
        const SongPlayer::Passage& marked = song_.passage();
        std::optional<RepeatedPassage> passage;
        if (marked.startBeat >= 0 && marked.endBeat > marked.startBeat)
            passage = RepeatedPassage{static_cast<float>(marked.startBeat), static_cast<float>(marked.endBeat)};
        songBars(song_, mode_, s.bars, passage);
    }
    s.lettersOn = lettersOn_;
    s.mode = mode_;
    s.hintKey = song_.hintKey();
    s.hintChord = song_.hintChord();
    s.feedback = practice_.feedback();
    s.caption = currentCaption();
    s.recording = recorder_.on();
    s.letterNames = letterNames_;
    return s;
}

// ---- Captions ------------------------------------------------------------------------------
void Piano::showCaption(const std::string& text) {
    log("caption", text);
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
// A song that cannot play: one line on standard error, where errors go, and a short caption for
// a user who started the program from a menu and has no terminal to read. Names are printable.
void Piano::refuse(const std::string& line, const std::string& caption) {
    std::fprintf(stderr, "%s\n", line.c_str());
    showCaption(caption);
}

namespace {
std::string shownName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return printable(slash == std::string::npos ? path : path.substr(slash + 1), 60);
}
}  // namespace

bool Piano::playSongFile(const std::string& path) {
    std::string text, problem;
    if (!readSongFile(path, text, problem)) {
        refuse("Error: Failed to open song file " + printable(path), "cannot open " + shownName(path));
        return false;
    }
    SongData data;
    if (problem.empty()) parseSong(text, NUM_NOTE_LETTERS, NUM_CHORD_LETTERS, data, problem);
    if (!problem.empty()) {
        refuse("Error: Malformed song file " + printable(path) + ": " + problem,
               "cannot play " + shownName(path) + ": not a song file");
        return false;
    }
    return startSong(std::move(data), path);
}

bool Piano::startSong(SongData data, const std::string& path) {
    if (data.right.empty() && data.left.empty()) {
        refuse("Error: Song file " + printable(path) + " has no notes to play", shownName(path) + " has no notes to play");
        return false;
    }
    score_.stop();
    startMoving();  // the song's first beat is now
    songPath_ = path;
    song_.start(std::move(data));
    return true;
}

bool Piano::startScore(MidiTimeline timeline, const std::string& path) {
    if (timeline.melodicNotes == 0 && sounds_.synth() == nullptr) {
        refuse(malformedMidiFile(path, "it holds only drum notes, which only a SoundFont plays"),
               "cannot play " + shownName(path) + ": drums only, for a SoundFont");
        return false;
    }
    song_.stop();
    startMoving();  // the file's start is now
    score_.start(std::move(timeline));
    requestFrame();
    return true;
}

bool Piano::selectInstrument(int instrument) {
    if (!sounds_.setInstrument(instrument)) return false;
    midi_.instrumentChanged();
    recorder_.instrumentChanged(instrumentProgram(sounds_.instrument()));
    return true;
}

// A MIDI file is read when it is chosen, so "5" plays it at once and a file that cannot be
// played is named then: as written, and as the song of melody and chords play along needs.
void Piano::importChosen() {
    timeline_ = MidiTimeline();
    imported_ = SongData();
    timelineError_.clear();
    importError_.clear();
    MidiScore score;
    std::string problem;
    MidiImportReport report;
    if (!readMidiScore_) {
        timelineError_ = importError_ = "Error: Failed to open MIDI file " + printable(chosen_->path);
    } else if (!readMidiScore_(chosen_->path, score, timelineError_)) {
        importError_ = timelineError_;
    } else {
        if (!timelineFromMidi(score, timeline_, problem)) timelineError_ = malformedMidiFile(chosen_->path, problem);
        if (!songFromMidi(score, imported_, report, problem)) {
            imported_ = SongData();
            importError_ = malformedMidiFile(chosen_->path, problem);
        }
    }
    // One line for a file that cannot be read at all; a problem with one way of playing it is
    // told when "5" asks for that way.
    if (!timelineError_.empty() && timelineError_ == importError_) {
        std::fprintf(stderr, "%s\n", timelineError_.c_str());
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
    const std::string best = practice_.best(chosen_->path);
    showCaption(chosen_->title + (chosen_->midi && !importError_.empty() && !timelineError_.empty() ? " - cannot be played" : " - 5 to play") +
                (best.empty() ? "" : " - " + best));
}

void Piano::playChosenSong() {
    bool started = false;
    std::string title = songTitle(FIRST_SONG);
    if (!chosen_) {
        started = playSongFile(resources_.songs + FIRST_SONG);
    } else if (chosen_->midi) {
        title = chosen_->title;
        const bool asSong = song_.playAlongOn();
        const std::string& error = asSong ? importError_ : timelineError_;
        if (!error.empty()) {
            refuse(error, "cannot play " + shownName(chosen_->path) + ": not a MIDI file it can play");
        } else {
            started = asSong ? startSong(imported_, chosen_->path) : startScore(timeline_, chosen_->path);
        }
    } else {
        title = chosen_->title;
        started = playSongFile(chosen_->path);
    }
    if (started) showCaption(title + " - playing");
}

// ---- Practice ------------------------------------------------------------------------------
void Piano::setTempo(double tempo) { song_.setTempo(tempo); }

// "[" and "]": tenths of the written tempo, from 30% to 150%, counted in whole percents so that
// ten steps up and down come back to exactly the written tempo.
void Piano::stepTempo(int direction) {
    const long percent = std::lround(song_.tempo() * 100);
    const long next = std::clamp(percent + 10 * direction, MIN_TEMPO_PERCENT, MAX_TEMPO_PERCENT);
    setTempo(static_cast<double>(next) / 100);
    const char* limit = next == percent ? (direction > 0 ? " (the fastest)" : " (the slowest)") : "";
    showCaption("tempo " + std::to_string(next) + "%" + limit);
}

// A letter played along lights the keys it sounds: the note's key, or the chord's in the mode
// now in force (as the letter plays it).
void Piano::judged(unsigned char letter, bool right) {
    std::vector<int> keys;
    const int note = noteLetterIndex(letter), chord = chordLetterIndex(letter);
    if (note >= 0) {
        keys.push_back(noteIndexKey(note));
    } else if (chord >= 0) {
        const ChordInfo& info = CHORDS[static_cast<std::size_t>(CHORD_KEY_TABLE[mode_][chord])];
        keys.assign(info.notes, info.notes + info.numNotes);
    }
    practice_.judged(keys, right);
    // From rest the piano's steps start with it, so the colour fades on time.
    if (!time_.stepping() && !moving_) {
        restartSteps(clock_.now());
        moving_ = true;
    }
    requestFrame();
}

void Piano::playAlongDone(const PracticeResult& result) { showCaption(practice_.finished(songPath_, result)); }
