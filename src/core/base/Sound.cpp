// Handle forwarding, and what an engine without a synthesizer says; the engines live in their
// own files.
#include "Sound.h"

#include <cstdio>

std::unique_ptr<Synth> SoundEngine::openSoundFont(const std::string& path) {
    std::fprintf(stderr, "tinklewood: cannot use the SoundFont %s: this sound layer has no synthesizer\n",
                 path.c_str());
    return nullptr;
}

void SoundHandle::setVolume(float volume) {
    if (engine_ != nullptr) engine_->setVolume(*this, volume);
}

void SoundHandle::stop() {
    if (engine_ != nullptr) engine_->stop(*this);
}
