// The song player: it plays by typing, pressing and releasing the same letters a user would,
// on a grid of frames and beats; playing along ("9"), where one hand's part or both are the
// player's and the song waits for them; and a marked passage played on repeat ("'").
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "ChordInfo.h"
#include "Progress.h"
#include "SongFile.h"
#include "Stroke.h"

class SongPlayer {
public:
    // Which hands the player plays along with: "9" steps through them in this order.
    enum Along { ALONG_OFF, ALONG_RIGHT, ALONG_LEFT, ALONG_BOTH };

    // The piano, as the song sees it.
    class Performer {
    public:
        virtual ~Performer() = default;
        // A song's press: taken by a free hand, ignored by a busy one, never queued.
        virtual void songPress(unsigned char letter) = 0;
        virtual void songRelease(unsigned char letter) = 0;
        virtual Stroke& stroke(bool right) = 0;
        virtual Mode mode() const = 0;
        virtual void setMode(Mode mode) = 0;
        virtual void showCaption(const std::string& text) = 0;
        virtual double seconds() const = 0;
        virtual void log(const char* event, const std::string& detail) = 0;
        // Playing along, the player's letter for a hand played along was the one due (right)
        // or another.
        virtual void judged(unsigned char letter, bool right) = 0;
        // A song played along has come to its end.
        virtual void playAlongDone(const PracticeResult& result) = 0;
    };

    explicit SongPlayer(Performer& piano);

    // Starts a song; ends what the one before it still holds, so its first entries can play.
    void start(SongData song);
    // One step of the piano's time: the song moves on by `tempo` of its own steps (1 at its
    // written tempo), counting them into beats and pressing and releasing its letters on them.
    void step();
    // The song's speed against its written tempo (1 as written), for this song and the next.
    void setTempo(double tempo);
    double tempo() const { return tempo_; }
    // Ends the song: it lets go of the letters it holds; strokes under way finish as usual.
    void stop();

    bool playing() const { return playing_; }
    // The beat counter stands still, waiting for the player.
    bool waiting() const { return along_.active && along_.waiting; }
    // Letters the song holds down (no key on the keyboard stands behind them).
    bool holds(unsigned char letter) const { return letter != 0 && (right_.held == letter || left_.held == letter); }

    // Playing along: "9" steps to the next choice, for the songs started from now on; in the
    // song playing, a hand no longer chosen goes on by itself at once.
    void stepPlayAlong();
    Along playAlong() const { return along_.hands; }
    bool playAlongOn() const { return along_.hands != ALONG_OFF; }
    // The player typed a letter (not the song's own press).
    void playerLetter(unsigned char letter);
    // The key whose letter the player is to press next, -1 when none.
    int hintKey() const;
    // The chord (ChordEnum) whose letter the player is to press next with the left hand, -1
    // when none.
    int hintChord() const;

    // A passage on repeat: while a song plays, the first mark starts it where the current entry
    // starts, the second ends it where the current entry ends, and from then on the song goes
    // back to its start each time it reaches its end; the third mark clears it.
    void markPassage();
    struct Passage {
        int startBeat = -1;  // -1: not marked
        int endBeat = -1;    // -1: not marked yet
    };
    const Passage& passage() const { return passage_; }
    // The entry of a hand's part the player is to play next, by its index, -1 when none.
    int expectedEntry(bool right) const;

    // For tests and the render tool: the song's entries and where it stands.
    const std::vector<std::array<float, 2>>& rightEntries() const { return right_.entries; }
    const std::vector<std::array<float, 2>>& leftEntries() const { return left_.entries; }
    unsigned int rightPosition() const { return right_.current; }
    unsigned int leftPosition() const { return left_.current; }
    int beat() const { return beat_; }
    int framesInBeat() const { return frames_; }
    // Where the song stands in its own steps from its start: the beat counter with the part of
    // a step gone by; a repeated passage takes it back to the passage's start.
    double position() const { return position_; }
    // The same, as far as the song has gone: a slow tempo's part of a step towards the next, but
    // nothing of a step that started a wait; it stands still while the song waits.
    double songSteps() const;
    // (left entry, mode): the modes the song names for its chords from those entries on.
    const std::vector<std::pair<std::size_t, Mode>>& modeChanges() const { return modeChanges_; }

private:
    // One hand's part: its entries, where it stands, the letter it holds down, and the stroke
    // it started last; played along, how the player is doing with its due entry.
    struct Part {
        explicit Part(bool isRight) : right(isRight) {}
        bool right;
        std::vector<std::array<float, 2>> entries;  // (end beat, letter index)
        unsigned int current = 0;
        unsigned char held = 0;  // pressed by the song and not yet released
        unsigned int ownStroke = 0;
        bool startedAny = false;
        // Played along: the player plays this part and the song waits for it.
        bool followed = false;
        bool blocked = false;     // the counter stands still until the due entry is played
        int lateSteps = 0;        // song steps the counter ran past the due entry's time
        double dueAt = 0;         // seconds on the clock when the counter reached it
        bool takenEarly = false;  // played within a beat before its time
        double takenAt = 0;       // seconds, when
        bool missed = false;      // a wrong letter of this hand came while it was due
    };

    struct PlayAlong {
        Along hands = ALONG_OFF;  // "9": songs started from now on are played along so
        bool active = false;      // the song playing now is
        bool started = false;     // the first letters came: the song runs
        bool waiting = false;     // the beat counter is stopped until the due letters come
        bool handsChanged = false;  // a hand played along was given up part way
        double waitStarted = 0;   // seconds, when the counter stopped
        double slowest = 1;       // the slowest tempo the run was played at
        double offsets = 0;       // seconds, the sum of the timed letters' distances from their time
        PracticeResult result;    // counted as the run goes
    };

    unsigned char letterOf(const Part& part, const std::array<float, 2>& entry) const;
    bool ownsRunningStroke(Part& part);
    float strokeSpeed(const Part& part, float beats);
    void press(Part& part, unsigned int index);
    void release(Part& part, const std::array<float, 2>& entry);
    void letGo(Part& part);
    void advance(Part& part);
    void releaseBeforeEnd(Part& part);
    void modeChangeAt(const Part& part, unsigned int index);
    Mode modeAt(unsigned int leftIndex) const;
    void repeatPassage();
    Part* markingPart();
    double songStepSeconds() const;
    void startPlayAlong();
    static int startBeat(const Part& part, unsigned int index);
    void due(Part& part, unsigned int index);
    void nextExpected(Part& part);
    void resume(double now);
    void followPlayer(Part& part);
    void waitIfLate(Part& part);
    void stepOnce();
    void playOnFromHere(Part& part);

    Performer& piano_;
    Part right_{true};
    Part left_{false};
    // (left entry, mode): the chord mode a left-hand entry and those after it are played in.
    std::vector<std::pair<std::size_t, Mode>> modeChanges_;
    Mode startMode_ = MAJOR;  // the mode the song's first chord is played in
    bool playing_ = false;
    int frames_ = 0;  // song steps counted within the current beat
    int beat_ = 0;    // whole beats from the song's start
    double tempo_ = 1;
    double position_ = 0;      // song steps from the start, at the song's tempo
    long long stepsDone_ = 0;  // whole song steps worked through: beat_ and frames_ in steps
    Passage passage_;
    PlayAlong along_;
};
