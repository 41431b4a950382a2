// Tinklewood: a 3D piano played from the computer keyboard.
#include <cstdio>
#include <cstdlib>

#include "EventLog.h"
#include "Instruments.h"
#include "MidiFile.h"
#include "MidiPorts.h"
#include "OpenAlSound.h"
#include "Piano.h"
#include "ProgramOptions.h"
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
    CommandLine options;
    if (const int status = takeProgramOptions(argc, argv, options); status >= 0) return status;
    SteadyClock clock;
    EventLog log(clock);
    const char* eventLog = std::getenv("TINKLEWOOD_EVENT_LOG");
    if (eventLog != nullptr && !log.open(eventLog))
        std::fprintf(stderr, "Tinklewood: cannot write the event log %s\n", eventLog);
    startGlut(&argc, argv);
    const ResourcePaths resources = findResources();  // before anything reads a resource
    Shell shell(resources, &log);
    SoundEngine* engine = createSoundEngine(instrumentSamplePaths(resources), mixerConfigFile(resources));

    PianoSetup setup;
    setup.clock = &clock;
    setup.sound = engine;
    setup.host = &shell;
    setup.log = &log;
    setup.resources = resources;
    setup.importMidiSong = importMidiSong;
    setup.writeMidiFile = writeRecordedMidi;
    Piano piano(setup);
    // What the user chose last time, unless asked to start afresh; then the file is left alone.
    if (!options.has("--defaults")) piano.keepSettingsIn(settingsFilePath());
    shell.loadPictures(piano.scene());  // the pictures of the scene the piano starts with
    shell.attach(&piano);
    openMidiPorts(piano, &log);
    shell.run();
    return 0;
}
