// The samples the keys sound: which file, at what volume on the chosen instrument, samples of
// ended strokes dying away, and those who follow every key's sound (the recorder, the MIDI
// output, tests), told of each start and stop once.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "EventLog.h"
#include "Instruments.h"
#include "Resources.h"
#include "Sound.h"

// Told of every key whose sample starts, with its volume (0..1), and of every key whose
// sample stops or starts dying away.
using KeySoundObserver = std::function<void(int key, bool on, float volume)>;

class KeySounds {
public:
    KeySounds(SoundEngine* engine, ResourcePaths resources, EventLog* log)
        : engine_(engine), resources_(std::move(resources)), log_(log) {}

    int instrument() const { return instrument_; }
    void setInstrument(int instrument) { instrument_ = instrument; }
    std::string samplePath(int key) const { return ::samplePath(resources_, instrument_, key); }
    const ResourcePaths& resources() const { return resources_; }
    SoundEngine* engine() const { return engine_; }

    // Start volumes on the chosen instrument: the organ's right-hand notes and every chord
    // note are quieter than full, the choir's chords quieter still.
    float noteStartVolume() const;
    float chordStartVolume() const;

    // Starts the key's sample at full volume; a null handle without an engine.
    SoundHandle play(int key, const char* event = "play");

    // A sample that sounds for a key, as those who follow the sound see it: `key` is the key it
    // sounds while it sounds, -1 once it has stopped.
    void sounded(int& key, int newKey, float volume);
    void stopped(int& key);

    // A sample cut short dies away over a few frames like a damped string, then stops: a stop is
    // a hard cut, which clicks. The handle is given up to the fade.
    void fadeOut(SoundHandle& handle, float volume);
    // One frame of every fade; those done are stopped.
    void stepFades();
    bool fading() const { return !fading_.empty(); }

    void observe(KeySoundObserver observer) { observers_.push_back(std::move(observer)); }
    void clearObservers() { observers_.clear(); }

private:
    void notify(int key, bool on, float volume);

    struct Fading {
        SoundHandle handle;
        float volume;  // at the start of the fade
        int step;      // frames of it done
    };

    SoundEngine* engine_;
    ResourcePaths resources_;
    EventLog* log_;
    int instrument_ = PIANO;
    std::vector<Fading> fading_;
    std::vector<KeySoundObserver> observers_;
};
