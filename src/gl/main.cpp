// Tinklewood: a 3D piano played from the computer keyboard.
#include <cstdio>
#include <cstdlib>

#include "EventLog.h"
#include "MidiFile.h"
#include "MidiPorts.h"
#include "Piano.h"
#include "Shell.h"

namespace {
// The recorder's events, written by the sound library's MIDI writer.
bool writeRecordedMidi(const std::string& path, int program, const std::vector<RecordedMidiEvent>& events,
                       std::string& error) {
    std::vector<MidiNoteEvent> notes;
    for (const RecordedMidiEvent& e : events) notes.push_back({e.seconds, e.pitch, e.velocity});
    return writeMidiFile(path, program, notes, error);
}
}  // namespace

int main(int argc, char** argv) {
    const char* eventLog = std::getenv("TINKLEWOOD_EVENT_LOG");
    if (eventLog != nullptr && !openEventLog(eventLog))
        std::fprintf(stderr, "Tinklewood: cannot write the event log %s\n", eventLog);
    startGlut(&argc, argv);
    findResources();  // before anything reads a resource path
    initGlut();
    initGl();
    initTimers();
    initTextures();
    engine = createSoundEngine(instrumentSamplePaths(), mixerConfigFile());
    initKeyboard();
    midiSongImporter = importMidiSong;
    midiFileWriter = writeRecordedMidi;
    openMidiPorts();
    runFrameLoop();
    return 0;
}
