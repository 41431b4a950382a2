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
#include "SoundFontLibrary.h"
#include "Shell.h"

namespace {
// The recorder's events, written by the sound library's MIDI writer.
bool writeRecordedMidi(const std::string& path, int program, const std::vector<RecordedMidiEvent>& events,
                       std::string& error) {
    std::vector<MidiNoteEvent> notes;
    for (const RecordedMidiEvent& e : events) notes.push_back({e.seconds, e.pitch, e.velocity, e.program});
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
    setup.readMidiScore = readMidiFile;
    setup.writeMidiFile = writeRecordedMidi;
    // Listed now from their heads alone; each is read whole only when Space chooses it.
    setup.soundFonts = listSoundFonts(userSoundFontDir(), systemSoundFontsNamed(std::getenv("TINKLEWOOD_SYSTEM_SOUNDFONTS")));
    Piano piano(setup);
    // Without its X server the program cannot go on, but a take being recorded is saved.
    static Piano* playing = nullptr;
    playing = &piano;
    onConnectionLost([] { playing->finish(); });
    // What the user chose last time, unless asked to start afresh; then the file is left alone.
    if (!options.has("--defaults")) piano.keepSettingsIn(settingsFilePath());
    shell.loadPictures(piano.scene());  // the pictures of the scene the piano starts with
    shell.attach(&piano);
    openMidiPorts(piano, &log);
    const int status = shell.run();

    // The way out, once the frame loop has ended (Escape, or the main window's close box): the
    // take being recorded is saved, the MIDI ports close (their threads joined, note-offs sent
    // for what the output left sounding) while the piano they feed is still there, and then
    // the sound engine (its threads joined, its device closed).
    piano.finish();
    onConnectionLost(nullptr);  // the piano goes before the windows' connections close
    closeMidiPorts();
    closeSoundEngine(engine);
    return status;
}
