// A recording made a song (in beats, the format's way) and a MIDI file (in seconds, as it sounded).
#include "Recorder.h"

#include <algorithm>
#include <cmath>

#include "KeyNotes.h"
#include "animation.h"
#include "modelDims.h"

namespace {
const int SHORTEST_ENTRY = 2;  // beats: a shorter entry ends before its stroke strikes

double firstStart(const Recording& recording) {
    double first = 0;
    bool any = false;
    for (const RecordedStroke& s : recording.strokes) {
        if (!any || s.start < first) first = s.start;
        any = true;
    }
    return first;
}

int toBeats(double seconds) { return static_cast<int>(std::lround(seconds / BEAT_SECONDS)); }

// One hand's entries: (duration in beats, letter index), and the modes they were played in.
void handEntries(const Recording& recording, bool right, double origin, std::vector<std::array<float, 2>>& entries,
                 std::vector<Mode>& modes) {
    std::vector<RecordedStroke> strokes;
    for (const RecordedStroke& s : recording.strokes)
        if (s.right == right) strokes.push_back(s);
    std::stable_sort(strokes.begin(), strokes.end(),
                     [](const RecordedStroke& a, const RecordedStroke& b) { return a.start < b.start; });
    float end = 0;
    for (std::size_t i = 0; i < strokes.size(); ++i) {
        const int start = toBeats(strokes[i].start - origin);
        const int until = i + 1 < strokes.size() ? toBeats(strokes[i + 1].start - origin)
                                                 : toBeats(strokes[i].end - origin);
        const int beats = std::max(until - start, SHORTEST_ENTRY);
        end += static_cast<float>(beats);
        entries.push_back({end, static_cast<float>(strokes[i].index)});
        modes.push_back(strokes[i].mode);
    }
}
}  // namespace

SongData songFromRecording(const Recording& recording) {
    SongData song;
    if (recording.strokes.empty()) return song;
    const double origin = firstStart(recording);
    std::vector<Mode> rightModes, leftModes;
    handEntries(recording, true, origin, song.right, rightModes);
    handEntries(recording, false, origin, song.left, leftModes);
    song.startMode = recording.startMode;
    Mode current = recording.startMode;
    for (std::size_t i = 0; i < leftModes.size(); ++i) {
        if (leftModes[i] != current) song.modeChanges.emplace_back(i, leftModes[i]);
        current = leftModes[i];
    }
    return song;
}

std::vector<RecordedMidiEvent> midiFromRecording(const Recording& recording) {
    std::vector<RecordedMidiEvent> events;
    const double origin = firstStart(recording);
    int sounding[NUM_KEYS] = {};
    double last = 0;
    for (const RecordedSound& s : recording.sounds) {
        const double at = std::max(0.0, s.seconds - origin);
        last = std::max(last, at);
        if (s.on) {
            // A key struck again while it still sounds ends its first note there.
            if (sounding[s.key] > 0) events.push_back({at, keyMidiNote(s.key), 0});
            const int velocity = std::clamp(static_cast<int>(std::lround(s.volume * 127)), 1, 127);
            events.push_back({at, keyMidiNote(s.key), velocity});
            sounding[s.key] = 1;
        } else if (sounding[s.key] > 0) {
            events.push_back({at, keyMidiNote(s.key), 0});
            sounding[s.key] = 0;
        }
    }
    for (int key = 0; key < NUM_KEYS; ++key)
        if (sounding[key] > 0) events.push_back({last, keyMidiNote(key), 0});
    for (const RecordedProgram& p : recording.programs)
        events.push_back({std::max(0.0, p.seconds - origin), 0, 0, p.program});
    return events;
}
