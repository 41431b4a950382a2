// Tinklewood: a 3D piano played from the computer keyboard.
#include <GL/glut.h>

#include <cstdio>
#include <cstdlib>

#include "EventLog.h"
#include "MidiFile.h"
#include "MidiPorts.h"
#include "Piano.h"
#include "Shell.h"

namespace {
const unsigned int MIDI_SOURCES_LOOK_MS = 1000;

void lookForMidiSources(int) {
    connectNewMidiSources();
    glutTimerFunc(MIDI_SOURCES_LOOK_MS, lookForMidiSources, 0);
}
}  // namespace

int main(int argc, char** argv) {
    const char* eventLog = std::getenv("TINKLEWOOD_EVENT_LOG");
    if (eventLog != nullptr && !openEventLog(eventLog))
        std::fprintf(stderr, "Tinklewood: cannot write the event log %s\n", eventLog);
    glutInit(&argc, argv);
    findResources();  // before anything reads a resource path
    initGlut();
    initGl();
    initTimers();
    initTextures();
    engine = createSoundEngine(instrumentSamplePaths(), mixerConfigFile());
    initKeyboard();
    midiSongImporter = importMidiSong;
    if (openMidiPorts()) glutTimerFunc(MIDI_SOURCES_LOOK_MS, lookForMidiSources, 0);
    glutMainLoop();
    return 0;
}
