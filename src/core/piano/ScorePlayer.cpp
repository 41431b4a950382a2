// Stepping through a MIDI file's timeline on the piano's clock.
#include "ScorePlayer.h"

#include <algorithm>
#include <cmath>

#include "animation.h"

void ScorePlayer::start(MidiTimeline timeline) {
    stop();
    timeline_ = std::move(timeline);
    playing_ = true;
    position_ = 0;
    next_ = 0;
    midi_.startFile();
    playDue(STEP_SECONDS * tempo_ / 2);
}

void ScorePlayer::playDue(double until) {
    while (next_ < timeline_.messages.size() && timeline_.messages[next_].seconds < until)
        midi_.playFileMessage(timeline_.messages[next_++]);
}

void ScorePlayer::step() {
    if (!playing_) return;
    const double advance = STEP_SECONDS * tempo_;
    position_ += advance;
    playDue(position_ + advance / 2);
    // The file ends where its last track does, which may be after its last note-off, and not
    // before: a render of it lasts as long as it.
    if (next_ == timeline_.messages.size() && position_ >= timeline_.seconds) stop();
}

void ScorePlayer::stop() {
    if (!playing_) return;
    playing_ = false;
    midi_.endFile();
}

void ScorePlayer::setTempo(double tempo) {
    if (std::isfinite(tempo)) tempo_ = std::clamp(tempo, 0.05, 20.0);
}
