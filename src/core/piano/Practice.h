// What playing along shows of how the player does: each key played shines right or wrong for
// a moment, and a finished run is told in a caption and kept in the user's progress file when
// it is the song's best.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "Clock.h"
#include "Progress.h"
#include "Scene.h"

class Practice {
public:
    explicit Practice(const Clock& time) : time_(time) {}

    // The player's letter, sounding on these keys, was judged right or wrong now.
    void judged(const std::vector<int>& keys, bool right);
    // Each key as the scene shows it now: no feedback once FEEDBACK_SECONDS have passed.
    std::array<KeyFeedback, NUM_KEYS> feedback() const;
    // Whether some key still shows its feedback (it fades: frames are to be drawn).
    bool shining() const;

    // A run of the song at songPath ended: the result (given today's date) is kept in the
    // progress file when it is the song's best. Returns the caption telling the run; a file that
    // cannot be read or written is told in one line on stdout and in the caption.
    std::string finished(const std::string& songPath, PracticeResult result);
    // The song's best as the caption shows it when the song is chosen, "" when it has none.
    std::string best(const std::string& songPath) const;

private:
    const Clock& time_;
    std::array<KeyFeedback::Kind, NUM_KEYS> kinds_{};
    std::array<double, NUM_KEYS> judgedAt_{};  // seconds on the piano's clock
};
