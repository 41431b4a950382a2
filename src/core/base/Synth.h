// A MIDI synthesizer the core plays as an instrument, with no idea what sounds behind it: the
// sound layer makes one from a SoundFont (SoundEngine::openSoundFont) and hears it at once.
#pragma once

#include <string>
#include <vector>

// One of a synthesizer's sounds, as a MIDI program change names it.
struct SynthPreset {
    int bank;     // 0 for General MIDI's melodic sounds, 128 for its drum kits
    int program;  // 0..127
    std::string name;
};

// Events take effect from the next block the synthesizer renders: on a sound device within
// the time the README's "Sound latency" gives plus at most one block of the stream, 5.8 ms.
// They are called from the program's thread. Numbers are MIDI's, counted from 0: channels
// 0..15 (9 is General MIDI's drum channel, "channel 10"), keys and values 0..127; a value out
// of range is ignored.
class Synth {
public:
    virtual ~Synth() = default;

    // What the caption calls it: the SoundFont's own name, or its file name without the suffix.
    virtual const std::string& name() const = 0;
    // Every preset, by bank then program. The first is the natural one for the program's own
    // notes (General MIDI's piano, for a General MIDI SoundFont).
    virtual const std::vector<SynthPreset>& presets() const = 0;

    // A note-on with velocity 0 is a note-off, as in MIDI.
    virtual void noteOn(int channel, int key, int velocity) = 0;
    virtual void noteOff(int channel, int key) = 0;
    // The program on the bank the channel's controller 0 chose (128 on channel 9). A program
    // the synthesizer lacks falls back to bank 0, then, off the drum channel, to the first
    // preset: a one-instrument SoundFont plays every melodic part.
    virtual void programChange(int channel, int program) = 0;
    // Bank and program at once, for the program's own notes: the same fallback.
    virtual void selectPreset(int channel, int bank, int program) = 0;
    // Controllers as MIDI has them: 0 bank select, 7 volume, 10 pan, 64 sustain pedal, 123
    // all notes off, and the rest.
    virtual void controller(int channel, int number, int value) = 0;
    // 0..16383, 8192 the centre; two semitones each way unless the part says otherwise.
    virtual void pitchBend(int channel, int value) = 0;
    // Every pedal up and every note released, on all channels: they die away as released.
    virtual void allNotesOff() = 0;
    // Back to how it started, for a new song: sounds cut at once, programs and controllers as
    // after loading.
    virtual void reset() = 0;
};
