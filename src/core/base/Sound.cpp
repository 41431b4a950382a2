// Handle forwarding; the engines live in their own files.
#include "Sound.h"

void SoundHandle::setVolume(float volume) {
    if (engine_ != nullptr) engine_->setVolume(*this, volume);
}

void SoundHandle::stop() {
    if (engine_ != nullptr) engine_->stop(*this);
}
