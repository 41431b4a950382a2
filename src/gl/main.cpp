// Tinklewood: a 3D piano played from the computer keyboard.
#include <GL/glut.h>

#include <cstdio>
#include <cstdlib>

#include "EventLog.h"
#include "MidiFile.h"
#include "Piano.h"
#include "Shell.h"

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
    glutMainLoop();
    return 0;
}
