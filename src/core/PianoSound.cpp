// Which sample each key and instrument sounds, and the sound steps of a stroke: start a
// sample when its key leaves rest, follow the key back up with the volume, stop at rest.
#include <vector>

#include "EventLog.h"
#include "Piano.h"

const std::array<std::string, NUM_INSTRUMENTS> soundFolders = {
    "piano/", "synth/", "organ/", "music_box/", "choir/"};
const std::array<std::string, NUM_INSTRUMENTS> instrumentNames = {
    "piano", "synth", "organ", "music box", "choir"};
// General MIDI: Acoustic Grand Piano, Lead 2 (sawtooth), Church Organ, Music Box, Choir Aahs.
const std::array<int, NUM_INSTRUMENTS> instrumentPrograms = {0, 81, 19, 10, 52};
const std::array<std::string, NUM_KEYS> soundFiles = {
    "C0.mp3", "D0.mp3", "E0.mp3", "F0.mp3", "G0.mp3", "A0.mp3", "B0.mp3",
    "C1.mp3", "D1.mp3", "E1.mp3", "F1.mp3", "G1.mp3", "A1.mp3", "B1.mp3", "C2.mp3",
    "Black0.mp3", "Black1.mp3", "Black2.mp3", "Black3.mp3", "Black4.mp3",
    "Black5.mp3", "Black6.mp3", "Black7.mp3", "Black8.mp3", "Black9.mp3"};

SoundEngine* engine = nullptr;
SoundHandle& inote = app.performance.inote;
SoundHandle (&ichordnotes)[3] = app.performance.ichordnotes;

namespace {
// Start volumes where they differ from full: the organ's right-hand notes and every chord
// note are quieter, the choir's chords quieter still.
const float ORGAN_NOTE_VOLUME = 0.5f;
const float CHORD_NOTE_VOLUME = 0.5f;
const float CHOIR_CHORD_VOLUME = 0.35f;

std::vector<KeySoundObserver> observers;

void notify(int key, bool on, float volume) {
    recordSound(key, on, volume);
    for (KeySoundObserver observer : observers) observer(key, on, volume);
}

void sounded(int& slotKey, int key, float volume) {
    slotKey = key;
    notify(key, true, volume);
}

void stopped(int& slotKey) {
    if (slotKey < 0) return;
    notify(slotKey, false, 0);
    slotKey = -1;
}

SoundHandle play(int key) {
    // Logged once playing: a sample the background loading has not reached yet is decoded
    // first, tens of milliseconds on a busy machine, and its sound starts only then.
    SoundHandle handle = engine != nullptr ? engine->play2D(samplePath(key)) : SoundHandle();
    logEvent("play", samplePath(key));
    return handle;
}
}  // namespace

const std::vector<std::string>& instrumentSamplePaths() {
    // Made again if the resource root moved since the last call.
    static std::vector<std::string> paths;
    static std::string madeFrom;
    if (paths.empty() || madeFrom != soundParentFolder) {
        paths.clear();
        for (const std::string& folder : soundFolders)
            for (const std::string& file : soundFiles) paths.push_back(soundParentFolder + folder + file);
        madeFrom = soundParentFolder;
    }
    return paths;
}

std::string samplePath(int key) {
    return soundParentFolder + soundFolders[activeInstrument] + soundFiles[key];
}

void observeKeySounds(KeySoundObserver observer) { observers.push_back(observer); }

void clearKeySoundObservers() { observers.clear(); }

float noteStartVolume() { return activeInstrument == ORGAN ? ORGAN_NOTE_VOLUME : 1.0f; }

void startNoteSample(int key) {
    stopped(app.performance.inoteKey);  // a stroke ended without its stop step
    inote = play(key);
    app.performance.inoteVolume = noteStartVolume();
    if (app.performance.inoteVolume != 1) inote.setVolume(app.performance.inoteVolume);
    sounded(app.performance.inoteKey, key, app.performance.inoteVolume);
}

void fadeNoteSample(float notePress) {
    inote.setVolume(notePress * notePress);
    app.performance.inoteVolume = notePress * notePress;
    if (notePress == 0) {
        inote.stop();
        stopped(app.performance.inoteKey);
    }
}

void startChordSample(int slot, int key) {
    stopped(app.performance.ichordKeys[slot]);
    ichordnotes[slot] = play(key);
    const float volume = activeInstrument == CHOIR ? CHOIR_CHORD_VOLUME : CHORD_NOTE_VOLUME;
    ichordnotes[slot].setVolume(volume);
    app.performance.ichordVolumes[slot] = volume;
    sounded(app.performance.ichordKeys[slot], key, volume);
}

void fadeChordSample(int slot, float notePress) {
    ichordnotes[slot].setVolume(notePress * notePress);
    app.performance.ichordVolumes[slot] = notePress * notePress;
    if (notePress == 0) {
        ichordnotes[slot].stop();
        stopped(app.performance.ichordKeys[slot]);
    }
}

void noteSampleEndedEarly() { stopped(app.performance.inoteKey); }

void chordSampleEndedEarly(int slot) { stopped(app.performance.ichordKeys[slot]); }
