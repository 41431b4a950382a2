// Handle forwarding; the engines live in their own files.
#include "Sound.h"

void SoundHandle::setVolume(float volume) {
    if (engine_ != nullptr) engine_->setVolume(*this, volume);
}

void SoundHandle::stop() {
    if (engine_ != nullptr) engine_->stop(*this);
}

const std::vector<std::string>& instrumentSamplePaths() {
    static const std::vector<std::string> paths = [] {
        const char* folders[] = {"piano/", "synth/", "organ/", "music_box/", "choir/"};
        // White keys C0..C2 in order, then the ten black keys between them.
        const char* files[] = {"C0", "D0", "E0", "F0", "G0", "A0", "B0", "C1", "D1",
                               "E1", "F1", "G1", "A1", "B1", "C2", "Black0", "Black1",
                               "Black2", "Black3", "Black4", "Black5", "Black6", "Black7",
                               "Black8", "Black9"};
        std::vector<std::string> all;
        for (const char* folder : folders)
            for (const char* file : files) all.push_back(std::string("../res/sounds/") + folder + file + ".mp3");
        return all;
    }();
    return paths;
}
