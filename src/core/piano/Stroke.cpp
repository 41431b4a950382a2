// One stroke on either hand: the driver that moves keys and samples along the stroke's clock.
#include "Stroke.h"

#include <algorithm>

namespace {
float clamp01(float x) { return std::min(std::max(x, 0.0f), 1.0f); }
}  // namespace

float fittedSpeed(double pressedAt, double now) {
    const double left = std::max(pressedAt + STRIKE_SECONDS - now, 2 * STEP_SECONDS);
    return static_cast<float>(std::max(STRIKE_SECONDS / left, 1.0));
}

Stroke::Stroke(Kind kind, Hand& hand, std::array<PianoKey, NUM_KEYS>& keys, KeySounds& sounds, const Clock& clock)
    : kind_(kind), hand_(hand), keys_(keys), sounds_(sounds), timer_(clock) {}

int Stroke::keyCount() const {
    if (!busy()) return 0;
    return kind_ == NOTE ? 1 : CHORDS[static_cast<std::size_t>(target_)].numNotes;
}

int Stroke::key(int slot) const {
    return kind_ == NOTE ? target_ : CHORDS[static_cast<std::size_t>(target_)].notes[slot];
}

void Stroke::begin(int newTarget, unsigned char newLetter) {
    target_ = newTarget;
    letter = newLetter;
    held = true;
    ++count;
    sounded = false;
    showOnly = false;
    speed = nextSpeed;
    nextSpeed = 1;
    timer_.reset();
}

void Stroke::updateHand() {
    hand_.updateAnimationStatus(held);
    if (!held || !busy()) return;
    if (kind_ == NOTE)
        hand_.setAnimationNote(target_);
    else
        hand_.setAnimationChord(&CHORDS[static_cast<std::size_t>(target_)]);
}

void Stroke::release() {
    held = false;
    timer_.unpause();
}

void Stroke::update() {
    const float down = downSeconds();
    // The branch follows the time kept from the previous frame, so the last down frame may
    // read past the bottom; the clamps keep its progress at 1.
    if (time < down) {
        // A letter typed between two steps starts its stroke after the step that runs it is due.
        time = static_cast<float>(std::max(timer_.elapsed(), 0.0) * speed);
        phase = std::min(time / down, 1.0f);
        animateDown();
    } else if (held) {
        timer_.pause();  // held: the time spent holding does not count
    } else if (time < 2 * down) {
        timer_.unpause();
        time = static_cast<float>(timer_.elapsed() * speed);
        phase = clamp01(time / down - 1);
        animateUp();
    } else {
        // A stall of the process can carry a stroke past its whole up phase between two
        // frames; the keys must still come up and their samples stop.
        for (int slot = 0; slot < keyCount() && !showOnly; ++slot)
            if (keys_[key(slot)].press(0)) fadeSample(slot, 0);
        time = 0;
        target_ = NO_TARGET;
    }
    if (kind_ == NOTE)
        hand_.animateFinger(time);
    else
        hand_.animateChord(time);
}

void Stroke::animateDown() {
    const float press = std::max(phase - 0.8f, 0.0f) / 0.2f;
    if (showOnly) {
        if (press > 0) sounded = true;
        return;
    }
    for (int slot = 0; slot < keyCount(); ++slot) {
        PianoKey& k = keys_[key(slot)];
        // Only leaving rest starts the sample, so it starts once a stroke.
        if (press > 0 && k.pressFactor == 0) {
            startSample(slot);
            sounded = true;
        }
        k.press(press);
    }
}

void Stroke::animateUp() {
    if (showOnly) return;
    const float press = std::max((0.2f - phase) / 0.2f, 0.0f);
    for (int slot = 0; slot < keyCount(); ++slot) {
        // A note's sample follows its key all the way up; a chord's three only once their keys
        // are in the lower half, where press() answers true.
        const bool moved = keys_[key(slot)].press(press);
        if (kind_ == NOTE || moved) fadeSample(slot, press);
    }
}

void Stroke::endNow() {
    if (!busy()) return;
    for (int slot = 0; slot < keyCount() && !showOnly; ++slot) {
        keys_[key(slot)].press(0);
        sounds_.stopped(soundingKeys_[slot]);
        sounds_.fadeOut(voices_[slot], volumes_[slot]);
    }
    hand_.returnToRest();
    held = false;
    time = 0;
    phase = 0;
    target_ = NO_TARGET;
}

void Stroke::startSample(int slot) {
    sounds_.stopped(soundingKeys_[slot]);  // a stroke ended without its stop step
    const int k = key(slot);
    volumes_[slot] = startVolumes_[slot] = kind_ == NOTE ? sounds_.noteStartVolume() : sounds_.chordStartVolume();
    voices_[slot] = sounds_.play(k, volumes_[slot]);
    sounds_.sounded(soundingKeys_[slot], k, volumes_[slot]);
}

// From the volume the sample started at: a quieter start (the organ's notes, a chord's) must
// not grow louder as its key rises.
void Stroke::fadeSample(int slot, float press) {
    volumes_[slot] = startVolumes_[slot] * press * press;
    voices_[slot].setVolume(volumes_[slot]);
    if (press == 0) {
        voices_[slot].stop();
        sounds_.stopped(soundingKeys_[slot]);
    }
}
