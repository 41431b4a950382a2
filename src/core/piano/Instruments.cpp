// The sample each key sounds on each instrument.
#include "Instruments.h"

int instrumentProgram(int instrument) {
    return instrument >= 0 && instrument < NUM_INSTRUMENTS ? INSTRUMENT_PROGRAMS[static_cast<std::size_t>(instrument)] : 0;
}

std::string samplePath(const ResourcePaths& resources, int instrument, int key) {
    std::string path = resources.sounds;
    path += INSTRUMENT_FOLDERS[static_cast<std::size_t>(instrument)];
    path += KEY_SAMPLE_FILES[static_cast<std::size_t>(key)];
    return path;
}

std::vector<std::string> instrumentSamplePaths(const ResourcePaths& resources) {
    std::vector<std::string> paths;
    for (int instrument = 0; instrument < NUM_INSTRUMENTS; ++instrument)
        for (int key = 0; key < NUM_KEYS; ++key) paths.push_back(samplePath(resources, instrument, key));
    return paths;
}
