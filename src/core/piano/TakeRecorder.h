// Recording ("7"): what the user plays with the letters, kept with its timing; on stop the take
// is saved as a song and a MIDI file in the user's songs folder and becomes the chosen song. A
// take that cannot be saved is kept, not lost: "7" goes on recording into it and tries again.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ChordInfo.h"
#include "Recorder.h"
#include "SongLibrary.h"

// Writes a recording's MIDI file (the sound library's writer, handed in by whoever builds the
// piano); on failure error is one line.
using MidiFileWriter = std::function<bool(const std::string& path, int program,
                                          const std::vector<RecordedMidiEvent>& events, std::string& error)>;

class TakeRecorder {
public:
    // The piano around the recorder.
    class Piano {
    public:
        virtual ~Piano() = default;
        virtual double seconds() const = 0;
        virtual Mode mode() const = 0;
        virtual int instrument() const = 0;
        virtual void showCaption(const std::string& text) = 0;
        // The event log: each letter of the take whose key has sounded ("take-stroke"), which
        // is what a driver typing a take waits for before it stops it.
        virtual void log(const char* event, const std::string& detail) = 0;
        // A saved take becomes the song "5" plays.
        virtual void choose(const SongEntry& song) = 0;
    };

    TakeRecorder(Piano& piano, MidiFileWriter writeMidi) : piano_(piano), writeMidi_(std::move(writeMidi)) {}

    // Starts, or stops and saves.
    void toggle();
    // The program ends: a take being recorded, or kept after a save that failed, is saved as
    // "7" saves it, and one line on stdout says where (or, as ever, why not).
    void finish();
    bool on() const { return on_; }
    bool kept() const { return kept_; }
    const Recording& take() const { return take_; }

    // What the user plays: a letter's stroke starting and ending, and the samples sounding.
    void strokeStart(bool right, int index, Mode strokeMode);
    void strokeEnd(bool right);
    void sound(int key, bool on, float volume);
    // The instrument changed (its General MIDI program): the MIDI file changes with it.
    void instrumentChanged(int program);

private:
    double clockSeconds() const { return piano_.seconds(); }
    double recordingSeconds() const { return clockSeconds() - shift_; }
    void keep(const std::string& path, const std::string& reason);
    // The song's path once saved, else empty (the take is kept).
    std::string save();
    void stop();
    void closeOpenStrokes();

    Piano& piano_;
    MidiFileWriter writeMidi_;
    bool on_ = false;
    Recording take_;
    bool kept_ = false;
    double shift_ = 0;      // seconds taken off the clock: the pause before a kept take goes on
    double lastEvent_ = 0;  // seconds on the recording's clock
    int openRight_ = -1;    // the stroke whose letter is still down, per hand
    int openLeft_ = -1;
};
