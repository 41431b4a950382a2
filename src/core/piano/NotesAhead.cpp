// The bars of the notes coming, from a song's entries and the song's own clock.
#include "NotesAhead.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>

#include "Letters.h"
#include "SongPlayer.h"
#include "animation.h"

void addBar(std::vector<NoteBar>& bars, int key, bool right, double start, double end, bool awaited) {
    if (key < 0 || key >= NUM_KEYS || !(end > start) || end <= 0 || start >= NOTES_AHEAD_SECONDS) return;
    bars.push_back({key, right, static_cast<float>(start), static_cast<float>(end), awaited});
}

namespace {
using Entries = std::vector<std::array<float, 2>>;

double startBeat(const Entries& entries, std::size_t i) { return i == 0 ? 0.0 : entries[i - 1][0]; }

// One hand's entries laid out from now: an entry's beats become seconds from now once shifted
// by where its repetition of a passage comes.
class PartBars {
public:
    PartBars(const SongPlayer& song, bool right, Mode mode, std::vector<NoteBar>& bars)
        : song_(song),
          right_(right),
          entries_(right ? song.rightEntries() : song.leftEntries()),
          mode_(mode),
          bars_(bars),
          now_(song.songSteps() / STEPS_PER_BEAT) {}

    // The entries from where the hand stands, cut at the beat `limit`, in their place.
    void fromNow(double limit, int awaited) {
        const unsigned current = right_ ? song_.rightPosition() : song_.leftPosition();
        // The entry before the current one may still sound: played along, the current one is
        // the next to play.
        for (std::size_t i = current > 0 ? current - 1 : 0; i < entries_.size(); ++i) {
            const double from = startBeat(entries_, i);
            if (from >= limit || from >= now_ + aheadBeats()) break;
            const double to = std::min<double>(entries_[i][0], limit);
            if (static_cast<int>(i) == awaited && from <= now_) {
                add(i, 0.0, to - from, true);  // stands at its key, whole, until it is played
            } else {
                add(i, from - now_, to - now_, false);
            }
        }
    }

    // The entries within [first, end) (beats), `shift` beats later than they are written.
    void repeated(double first, double end, double shift) {
        const auto overlapping = std::upper_bound(entries_.begin(), entries_.end(), static_cast<float>(first),
                                                  [](float beat, const std::array<float, 2>& e) { return beat < e[0]; });
        for (std::size_t i = static_cast<std::size_t>(overlapping - entries_.begin()); i < entries_.size(); ++i) {
            const double from = std::max(startBeat(entries_, i), first);
            if (from >= end || from + shift - now_ >= aheadBeats()) break;
            add(i, from + shift - now_, std::min<double>(entries_[i][0], end) + shift - now_, false);
        }
    }

    double now() const { return now_; }
    static double aheadBeats() { return NOTES_AHEAD_SECONDS / BEAT_SECONDS; }

private:
    // Beats from now become seconds of written time.
    void add(std::size_t i, double start, double end, bool awaited) {
        const int index = static_cast<int>(entries_[i][1]);
        start *= BEAT_SECONDS;
        end *= BEAT_SECONDS;
        if (right_) {
            addBar(bars_, noteIndexKey(index), true, start, end, awaited);
            return;
        }
        const ChordInfo& chord = CHORDS[static_cast<std::size_t>(CHORD_KEY_TABLE[modeOf(i)][index])];
        for (int n = 0; n < chord.numNotes; ++n) addBar(bars_, chord.notes[n], false, start, end, awaited);
    }

    // The mode a chord entry is played in: the last one the song names from the current entry
    // up to it (the current one may not have been pressed yet), else the piano's mode now.
    Mode modeOf(std::size_t i) const {
        Mode mode = mode_;
        for (const auto& [at, changed] : song_.modeChanges())
            if (at >= song_.leftPosition() && at <= i) mode = changed;
        return mode;
    }

    const SongPlayer& song_;
    const bool right_;
    const Entries& entries_;
    const Mode mode_;
    std::vector<NoteBar>& bars_;
    const double now_;  // beats
};
}  // namespace

void songBars(const SongPlayer& song, Mode mode, std::vector<NoteBar>& bars,
              const std::optional<RepeatedPassage>& passage) {
    if (!song.playing()) return;
    for (const bool right : {true, false}) {
        PartBars part(song, right, mode, bars);
        const double ahead = PartBars::aheadBeats();
        const bool repeats = passage && passage->end > passage->first && part.now() < passage->end;
        const double limit = repeats ? passage->end : std::numeric_limits<double>::infinity();
        part.fromNow(limit, song.expectedEntry(right));
        if (!repeats) continue;
        // After the passage's end its start comes again, as often as the bars reach.
        const double length = passage->end - passage->first;
        for (double shift = passage->end - passage->first; passage->first + shift - part.now() < ahead; shift += length)
            part.repeated(passage->first, passage->end, shift);
    }
}
