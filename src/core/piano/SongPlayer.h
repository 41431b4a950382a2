// The song player: it plays by typing, pressing and releasing the same letters a user would,
// on a grid of frames and beats; and playing along ("9"), where the right-hand part is the
// player's and the song waits for it.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "ChordInfo.h"
#include "SongFile.h"
#include "Stroke.h"

class SongPlayer {
public:
    // The piano, as the song sees it.
    class Performer {
    public:
        virtual ~Performer() = default;
        // A song's press: taken by a free hand, ignored by a busy one, never queued.
        virtual void songPress(unsigned char letter) = 0;
        virtual void songRelease(unsigned char letter) = 0;
        virtual Stroke& stroke(bool right) = 0;
        virtual void setMode(Mode mode) = 0;
        virtual void showCaption(const std::string& text) = 0;
        virtual double seconds() const = 0;
        virtual void log(const char* event, const std::string& detail) = 0;
    };

    explicit SongPlayer(Performer& piano);

    // Starts a song; ends what the one before it still holds, so its first entries can play.
    void start(SongData song);
    // One step of the piano's time: the song moves on by `tempo` of its own steps (1 at its
    // written tempo), counting them into beats and pressing and releasing its letters on them.
    void step();
    // The song's speed against its written tempo (1 as written).
    void setTempo(double tempo) { tempo_ = tempo; }
    double tempo() const { return tempo_; }
    // Ends the song: it lets go of the letters it holds; strokes under way finish as usual.
    void stop();

    bool playing() const { return playing_; }
    // The beat counter stands still, waiting for the player.
    bool waiting() const { return along_.active && along_.waiting; }
    // Letters the song holds down (no key on the keyboard stands behind them).
    bool holds(unsigned char letter) const { return letter != 0 && (right_.held == letter || left_.held == letter); }

    // Playing along: "9" turns it on for the songs started from now on.
    void togglePlayAlong();
    bool playAlongOn() const { return along_.on; }
    // The player typed a note letter (not the song's own press).
    void playerLetter(unsigned char letter);
    // The key whose letter the player is to press next, -1 when none.
    int hintKey() const;
    // The right-hand entry the player is to play next, by its index, -1 when none.
    int expectedEntry() const;

    // For tests and the render tool: the song's entries and where it stands.
    const std::vector<std::array<float, 2>>& rightEntries() const { return right_.entries; }
    const std::vector<std::array<float, 2>>& leftEntries() const { return left_.entries; }
    unsigned int rightPosition() const { return right_.current; }
    unsigned int leftPosition() const { return left_.current; }
    int beat() const { return beat_; }
    int framesInBeat() const { return frames_; }
    // Song steps gone by since the song started, at its own tempo.
    double position() const { return position_; }
    // Where the song stands, in its own steps from its start: the beat counter, and the part of
    // a step a slow tempo has gone towards the next. It stands still while the song waits.
    double songSteps() const;
    // (left entry, mode): the modes the song names for its chords from those entries on.
    const std::vector<std::pair<std::size_t, Mode>>& modeChanges() const { return modeChanges_; }

private:
    // One hand's part: its entries, where it stands, the letter it holds down, and the stroke
    // it started last.
    struct Part {
        bool right;
        std::vector<std::array<float, 2>> entries;  // (end beat, letter index)
        unsigned int current = 0;
        unsigned char held = 0;  // pressed by the song and not yet released
        unsigned int ownStroke = 0;
        bool startedAny = false;
    };

    struct PlayAlong {
        bool on = false;          // "9": songs started from now on are played along
        bool active = false;      // the song playing now is
        bool waiting = false;     // the beat counter is stopped until the expected letter comes
        int lateFrames = 0;       // frames the counter ran past the expected entry's beat
        bool takenEarly = false;  // the expected entry was played within a beat before its time
        bool missed = false;      // a wrong letter came while the expected entry was due
        double waitStarted = 0;   // seconds, when the counter stopped
        // For the count at the end.
        std::size_t entries = 0;
        int rightFirstTime = 0;
        int wrongLetters = 0;
        double longestWait = 0;  // seconds
    };

    unsigned char letterOf(const Part& part, const std::array<float, 2>& entry) const;
    bool ownsRunningStroke(Part& part);
    float strokeSpeed(const Part& part, float beats);
    void press(Part& part, unsigned int index);
    void release(Part& part, const std::array<float, 2>& entry);
    void letGo(Part& part);
    void advance(Part& part);
    void releaseBeforeEnd(Part& part);
    void startPlayAlong();
    int startBeat(unsigned int index) const;
    void nextExpected();
    void followPlayer();
    void waitIfLate();
    void showPlayAlongCount();
    void stepOnce();

    Performer& piano_;
    Part right_{true};
    Part left_{false};
    // (left entry, mode): the chord mode a left-hand entry and those after it are played in.
    std::vector<std::pair<std::size_t, Mode>> modeChanges_;
    bool playing_ = false;
    int frames_ = 0;  // song steps counted within the current beat
    int beat_ = 0;    // whole beats since the song started
    double tempo_ = 1;
    double position_ = 0;     // song steps gone by, at the song's tempo
    long long stepsDone_ = 0;  // whole song steps worked through
    PlayAlong along_;
};
