// The sounds the keys make: which sample (or which SoundFont note), at what volume on the chosen
// instrument, samples of ended strokes dying away, and those who follow every key's sound (the
// recorder, the MIDI output, tests), told of each start and stop once.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EventLog.h"
#include "Instruments.h"
#include "Resources.h"
#include "Sound.h"
#include "SoundFontLibrary.h"
#include "SynthVoices.h"

// Told of every key whose sample starts, with its volume (0..1), and of every key whose
// sample stops or starts dying away.
using KeySoundObserver = std::function<void(int key, bool on, float volume)>;

class KeySounds {
public:
    // soundFonts: the instruments after the built-in ones, each opened only when chosen.
    KeySounds(SoundEngine* engine, ResourcePaths resources, EventLog* log, std::vector<SoundFontEntry> soundFonts = {});

    // The built-in instruments (Instruments.h) first, then the SoundFonts in their order.
    int instrument() const { return instrument_; }
    int instrumentCount() const { return NUM_INSTRUMENTS + static_cast<int>(soundFonts_.size()); }
    // Chooses an instrument. A SoundFont's is opened now and the one before closed (its notes
    // still sounding stop); false, the instrument unchanged, when it cannot be opened: the
    // engine has said why in one line, and it is not offered again (see nextInstrument).
    bool setInstrument(int instrument);
    // The instrument after `instrument` in Space's cycle that can still be chosen.
    int nextInstrument(int instrument) const;
    // As the caption names it: the chosen one, or any.
    std::string instrumentName() const { return instrumentName(instrument_); }
    std::string instrumentName(int instrument) const;
    // The chosen SoundFont's synthesizer; null on a built-in instrument.
    Synth* synth() const;
    std::string samplePath(int key) const { return ::samplePath(resources_, sampleInstrument(), key); }
    const ResourcePaths& resources() const { return resources_; }
    SoundEngine* engine() const { return engine_; }

    // Start volumes on the chosen instrument: the organ's right-hand notes and every chord
    // note are quieter than full, the choir's chords quieter still.
    float noteStartVolume() const;
    float chordStartVolume() const;

    // Starts the key's own note at `volume`; a null handle without an engine.
    SoundHandle play(int key, float volume = 1, const char* event = "play");
    // Starts any MIDI note at its own pitch: the sample of its name's nearest key, whole
    // octaves faster or slower (NotePitch.h), or the SoundFont's own note on `channel`.
    SoundHandle playNote(int note, float volume, int channel, const char* event);

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
    void prepareHighNotes() const;
    // The samples played on the chosen instrument: a SoundFont's instrument has none of its own.
    int sampleInstrument() const { return instrument_ < NUM_INSTRUMENTS ? instrument_ : PIANO; }

    struct Fading {
        SoundHandle handle;
        float volume;  // at the start of the fade
        int step;      // frames of it done
    };
    // A SoundFont the user may choose. Its voices live as long as the piano, since handles to
    // them may be anywhere; only the synthesizer inside is opened and closed.
    struct SoundFontInstrument {
        SoundFontEntry entry;
        std::unique_ptr<SynthVoices> voices;
        bool unreadable = false;
    };

    SoundEngine* engine_;
    ResourcePaths resources_;
    EventLog* log_;
    int instrument_ = PIANO;
    std::vector<SoundFontInstrument> soundFonts_;
    std::vector<Fading> fading_;
    std::vector<KeySoundObserver> observers_;
};
