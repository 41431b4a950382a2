// From a MIDI file's notes to a song: melody choice, one transposition for the whole piece,
// octave folding, half-bar chords and the rounding to beats.
#include "MidiImport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "MidiTimeline.h"
#include "Printable.h"
#include "animation.h"

namespace {
// The song player runs at 60 frames a second.
const double BEATS_PER_SECOND = 1.0 / BEAT_SECONDS;
// A chord's notes outside the chord count against it at this fraction of their weight.
const double OUT_OF_CHORD_PENALTY = 0.5;

// The half-bar lines: from each time signature on, every half bar of it.
class HalfBars {
public:
    explicit HalfBars(const MidiScore& score) {
        const double ticksPerQuarter = std::max(1, score.ticksPerQuarter);
        std::vector<MidiMeter> meters = score.meters;
        std::stable_sort(meters.begin(), meters.end(),
                         [](const MidiMeter& a, const MidiMeter& b) { return a.tick < b.tick; });
        segments_.push_back({0, ticksPerQuarter * 2});
        for (const MidiMeter& m : meters) {
            if (m.numerator < 1 || m.denominator < 1) continue;
            // A bar is numerator / denominator whole notes of four quarters each.
            const double length = ticksPerQuarter * 2.0 * m.numerator / m.denominator;
            const double tick = static_cast<double>(std::max(0LL, m.tick));
            if (tick == segments_.back().tick) segments_.back().length = length;
            else segments_.push_back({tick, length});
        }
    }

    // The first half-bar line at or after tick.
    double next(double tick) const {
        auto it = std::prev(std::upper_bound(
            segments_.begin(), segments_.end(), tick,
            [](double t, const Segment& seg) { return t < seg.tick; }));
        const double line = it->tick + std::ceil((tick - it->tick) / it->length) * it->length;
        const auto after = std::next(it);
        return after != segments_.end() && line > after->tick ? after->tick : line;
    }

private:
    struct Segment {
        double tick;
        double length;  // ticks of a half bar
    };
    std::vector<Segment> segments_;
};

// Beats are whole numbers far inside a long long: clamped first, a hostile file's times
// cannot overflow the rounding.
long long beatAt(double seconds) {
    return std::llround(std::clamp(seconds * BEATS_PER_SECOND, -1e15, 1e15));
}

int pitchClass(int pitch) { return ((pitch % 12) + 12) % 12; }

// How well one mode's chords fit a half bar's pitch-class weights, the piece moved by
// transposition semitones: the best chord's index and score, or -1 when none fits.
std::pair<int, double> bestChord(const std::array<double, 12>& weights, int transposition, Mode mode) {
    double total = 0;
    for (double w : weights) total += w;
    if (total <= 0) return {-1, 0};
    int best = -1;
    double bestScore = 0;
    for (int c = 0; c < 5; ++c) {
        double in = 0;
        for (int q : MODE_CHORD_PITCH_CLASSES[mode][c]) in += weights[pitchClass(q - transposition)];
        const double score = in - OUT_OF_CHORD_PENALTY * (total - in);
        if (score > bestScore) {
            best = c;
            bestScore = score;
        }
    }
    return {best, bestScore};
}

int noteIndexOf(int pitch) {
    for (int i = 0; i < 13; ++i)
        if (RIGHT_HAND_PITCHES[i] == pitch) return i;
    return -1;
}
}  // namespace

std::string malformedMidiFile(const std::string& path, const std::string& problem) {
    return "Error: Malformed MIDI file " + printable(path) + ": " + printable(problem, 160);
}

std::string pitchName(int pitch) {
    static constexpr char names[12][3] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    return names[pitchClass(pitch)] + std::to_string((pitch - pitchClass(pitch)) / 12 - 1);
}

std::string MidiImportReport::text() const {
    std::string out = "melody: track " + std::to_string(melodyTrack + 1) + ", channel " +
                      std::to_string(melodyChannel + 1) + "; transposed by " +
                      std::to_string(transposition) + " semitones; " +
                      (mode == MINOR ? "minor" : "major") + " mode\n";
    out += "kept: " + std::to_string(kept) + " melody notes at their pitch, " +
           std::to_string(accompaniment) + " accompaniment notes as " + std::to_string(chordEntries) +
           " chords (" + std::to_string(halfBarsWithoutChord) + " half bars without one)\n";
    out += "folded: " + std::to_string(folded) + " melody notes by octaves";
    const char* separator = ": ";
    for (const auto& fold : folds) {
        out += separator + pitchName(fold.first.first) + " to " + pitchName(fold.first.second) +
               " (" + std::to_string(fold.second) + ")";
        separator = ", ";
    }
    out += "\ndropped: " + std::to_string(dropped()) + " notes: " + std::to_string(droppedTooClose) +
           " melody notes less than " + std::to_string(SHORTEST_ENTRY_BEATS) +
           " beats after the one before, " + std::to_string(droppedDrums) + " drum notes, " +
           std::to_string(droppedOutside) + " notes before the melody starts or after it ends\n";
    return out;
}

bool songFromMidi(const MidiScore& score, SongData& song, MidiImportReport& report,
                  std::string& error) {
    MidiImportReport r;
    const MidiTimeMap time(score);
    const HalfBars halfBars(score);
    auto secondsAt = [&time](long long tick) { return time.seconds(static_cast<double>(tick)); };

    // Drums are not melodic; every other note belongs to a voice of its track and channel
    // (a format-0 file keeps all its parts in one track, told apart by channel).
    std::map<std::pair<int, int>, std::vector<MidiNote>> voices;
    for (MidiNote note : score.notes) {
        if (note.channel == MIDI_DRUM_CHANNEL) {
            ++r.droppedDrums;
            continue;
        }
        note.pitch = std::clamp(note.pitch, 0, 127);
        note.endTick = std::max(note.endTick, note.startTick);
        voices[{note.track, note.channel}].push_back(note);
    }
    if (voices.empty()) {
        error = score.notes.empty() ? "it holds no notes" : "it holds only drum notes";
        return false;
    }
    // The busiest voice carries the melody; the first in file order among equals.
    auto busiest = voices.begin();
    for (auto it = voices.begin(); it != voices.end(); ++it)
        if (it->second.size() > busiest->second.size()) busiest = it;
    r.melodyTrack = busiest->first.first;
    r.melodyChannel = busiest->first.second;

    // Its highest voice: the top note of each onset, unless a higher melody note still
    // sounds over it for a beat or more (then it is an inner voice under a held note).
    std::vector<MidiNote> voice = busiest->second;
    std::stable_sort(voice.begin(), voice.end(), [](const MidiNote& a, const MidiNote& b) {
        return a.startTick != b.startTick ? a.startTick < b.startTick : a.pitch > b.pitch;
    });
    std::vector<MidiNote> melody, others;
    for (const auto& entry : voices)
        if (entry.first != busiest->first) others.insert(others.end(), entry.second.begin(), entry.second.end());
    for (std::size_t i = 0; i < voice.size(); ++i) {
        const MidiNote& note = voice[i];
        const bool onsetTop = i == 0 || voice[i - 1].startTick != note.startTick;
        bool under = false;
        if (!melody.empty()) {
            const MidiNote& held = melody.back();
            under = held.pitch > note.pitch &&
                    (secondsAt(held.endTick) - secondsAt(note.startTick)) * BEATS_PER_SECOND >= 1;
        }
        (onsetTop && !under ? melody : others).push_back(note);
    }

    // Onsets on the beat grid; a note closer than the shortest entry to the one before
    // cannot be played and is dropped, so the kept notes stay on their beats.
    std::vector<MidiNote> kept;
    std::vector<long long> onsetBeats;
    for (const MidiNote& note : melody) {
        const long long beat = beatAt(secondsAt(note.startTick));
        if (!onsetBeats.empty() && beat < onsetBeats.back() + SHORTEST_ENTRY_BEATS) {
            ++r.droppedTooClose;
            continue;
        }
        kept.push_back(note);
        onsetBeats.push_back(beat);
    }
    // The song starts with the melody's first note: what comes before it is not played.
    const long long origin = onsetBeats.front();
    const long long lastEnd = std::max(onsetBeats.back() + SHORTEST_ENTRY_BEATS,
                                       beatAt(secondsAt(kept.back().endTick)));
    const long long total = lastEnd - origin;
    if (total > MAX_IMPORT_BEATS) {
        error = "the melody lasts longer than " +
                std::to_string(static_cast<int>(MAX_IMPORT_BEATS / BEATS_PER_SECOND / 60)) +
                " minutes";
        return false;
    }
    const double songStart = secondsAt(kept.front().startTick);
    const double songEnd = (origin + total) / BEATS_PER_SECOND;

    // The left hand's slots: half bars from the melody's first note, each at least the
    // shortest entry long (shorter half bars are joined to the one before).
    std::vector<double> slotStarts = {songStart};
    for (long long slotBeat = 0;;) {
        // The earliest time whose beat is a shortest entry on; nudged on when rounding in
        // the tempo map puts the half-bar line found just short of it.
        double earliest = (origin + slotBeat + SHORTEST_ENTRY_BEATS - 0.5) / BEATS_PER_SECOND;
        double lineSeconds = 0;
        long long lineBeat = slotBeat;
        for (int tries = 0; tries < 4 && lineBeat < slotBeat + SHORTEST_ENTRY_BEATS; ++tries) {
            lineSeconds = time.seconds(halfBars.next(time.tick(earliest)));
            lineBeat = beatAt(lineSeconds) - origin;
            earliest += 0.25 / BEATS_PER_SECOND;
        }
        if (lineBeat < slotBeat + SHORTEST_ENTRY_BEATS || lineBeat > total - SHORTEST_ENTRY_BEATS) break;
        slotStarts.push_back(lineSeconds);
        slotBeat = lineBeat;
    }

    // Each slot's pitch-class weights: the seconds the accompaniment sounds in it.
    struct Change {
        double seconds;
        int pitchClass;
        int delta;
    };
    std::vector<Change> changes;
    for (const MidiNote& note : others) {
        const double start = secondsAt(note.startTick), end = secondsAt(note.endTick);
        if (end <= songStart || start >= songEnd) {
            ++r.droppedOutside;
            continue;
        }
        ++r.accompaniment;
        changes.push_back({start, pitchClass(note.pitch), +1});
        changes.push_back({end, pitchClass(note.pitch), -1});
    }
    std::stable_sort(changes.begin(), changes.end(),
                     [](const Change& a, const Change& b) { return a.seconds < b.seconds; });
    std::vector<std::array<double, 12>> weights(slotStarts.size());
    {
        std::array<int, 12> sounding{};
        std::size_t c = 0;
        for (std::size_t s = 0; s < slotStarts.size(); ++s) {
            const double end = s + 1 < slotStarts.size() ? slotStarts[s + 1] : songEnd;
            double at = slotStarts[s];
            weights[s].fill(0);
            while (c < changes.size() && changes[c].seconds <= end) {
                if (changes[c].seconds > at) {
                    for (int p = 0; p < 12; ++p) weights[s][p] += sounding[p] * (changes[c].seconds - at);
                    at = changes[c].seconds;
                }
                sounding[changes[c].pitchClass] += changes[c].delta;
                ++c;
            }
            for (int p = 0; p < 12; ++p) weights[s][p] += sounding[p] * (end - at);
        }
    }

    // One transposition for the whole piece: the one that puts most melody notes on the
    // right hand's keys; among those, the one whose chords then fit best, in whichever mode
    // fits better; then the smallest.
    std::array<long long, 128> pitchCount{};
    for (const MidiNote& note : kept) ++pitchCount[note.pitch];
    // The chords' fit depends on the transposition only up to octaves.
    double harmonyOf[NUM_MODES][12] = {};
    for (Mode mode : {MAJOR, MINOR})
        for (int t = 0; t < 12; ++t)
            for (const auto& w : weights) harmonyOf[mode][t] += bestChord(w, t, mode).second;
    long long bestFit = -1;
    double bestHarmony = -1;
    for (int t = -127; t <= 127; ++t) {
        long long fit = 0;
        for (int p = RIGHT_HAND_LOWEST - t; p <= RIGHT_HAND_HIGHEST - t; ++p)
            if (p >= 0 && p < 128) fit += pitchCount[p];
        if (fit < bestFit) continue;
        for (Mode mode : {MAJOR, MINOR}) {
            const double harmony = harmonyOf[mode][pitchClass(t)];
            const bool better = fit > bestFit || harmony > bestHarmony + 1e-9 ||
                                (harmony >= bestHarmony - 1e-9 && std::abs(t) < std::abs(r.transposition));
            if (better) {
                bestFit = fit;
                bestHarmony = harmony;
                r.transposition = t;
                r.mode = mode;
            }
        }
    }

    // The right hand: each kept note until the next one starts (a rest joins the note
    // before it), folded by octaves onto the keys.
    SongData made;
    made.startMode = r.mode;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const int written = kept[i].pitch + r.transposition;
        int played = written;
        while (played < RIGHT_HAND_LOWEST) played += 12;
        while (played > RIGHT_HAND_HIGHEST) played -= 12;
        if (played == written) {
            ++r.kept;
        } else {
            ++r.folded;
            ++r.folds[{written, played}];
        }
        const long long end = i + 1 < kept.size() ? onsetBeats[i + 1] : lastEnd;
        made.right.push_back({static_cast<float>(end - origin), static_cast<float>(noteIndexOf(played))});
    }

    // The left hand: each slot's chord; a slot without one lets the chord before it ring on,
    // and slots before the first chord are held by that chord, struck from the start.
    for (std::size_t s = 0; s < slotStarts.size(); ++s) {
        const int chord = bestChord(weights[s], r.transposition, r.mode).first;
        if (chord < 0) {
            ++r.halfBarsWithoutChord;
            continue;
        }
        const long long start = s == 0 ? 0 : beatAt(slotStarts[s]) - origin;
        if (!made.left.empty()) made.left.back()[0] = static_cast<float>(start);
        made.left.push_back({0, static_cast<float>(chord)});
    }
    if (!made.left.empty()) made.left.back()[0] = static_cast<float>(total);
    r.chordEntries = static_cast<int>(made.left.size());

    song = std::move(made);
    report = std::move(r);
    return true;
}
