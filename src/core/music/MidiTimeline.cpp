// The tempo map, and a MIDI file's notes and controls put in playing order.
#include "MidiTimeline.h"

#include <algorithm>
#include <cmath>
#include <iterator>

MidiTimeMap::MidiTimeMap(const MidiScore& score) {
    const double ticksPerQuarter = std::max(1, score.ticksPerQuarter);
    std::vector<MidiTempo> tempos = score.tempos;
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const MidiTempo& a, const MidiTempo& b) { return a.tick < b.tick; });
    segments_.push_back({0, 0, 0.5 / ticksPerQuarter});
    for (const MidiTempo& t : tempos) {
        if (!(t.secondsPerQuarter > 0) || !std::isfinite(t.secondsPerQuarter)) continue;
        const double tick = static_cast<double>(std::max(0LL, t.tick));
        Segment& last = segments_.back();
        const Segment next{tick, last.seconds + (tick - last.tick) * last.secondsPerTick,
                           t.secondsPerQuarter / ticksPerQuarter};
        if (tick == last.tick) last.secondsPerTick = next.secondsPerTick;
        else segments_.push_back(next);
    }
}

double MidiTimeMap::seconds(double tick) const {
    const Segment& s = *std::prev(std::upper_bound(segments_.begin(), segments_.end(), tick,
                                                   [](double t, const Segment& seg) { return t < seg.tick; }));
    return s.seconds + (tick - s.tick) * s.secondsPerTick;
}

double MidiTimeMap::tick(double seconds) const {
    const Segment& s = *std::prev(std::upper_bound(segments_.begin(), segments_.end(), seconds,
                                                   [](double t, const Segment& seg) { return t < seg.seconds; }));
    return s.tick + (seconds - s.seconds) / s.secondsPerTick;
}

namespace {
// The order of messages at one time (see MidiTimeline::messages).
enum Order { END_OF_EARLIER_NOTE, CONTROL, NOTE_START, END_OF_NOTE_JUST_STARTED };

struct Placed {
    TimedMidiMessage message;
    long long tick;
    Order order;
    std::size_t serial;  // file order among equals
};

unsigned char byte(int value, int high) { return static_cast<unsigned char>(std::clamp(value, 0, high)); }
}  // namespace

bool timelineFromMidi(const MidiScore& score, MidiTimeline& timeline, std::string& error) {
    const MidiTimeMap time(score);
    std::vector<Placed> placed;
    MidiTimeline made;
    long long lastTick = std::max(0LL, score.endTick);
    for (const MidiNote& note : score.notes) {
        const int channel = note.channel & 0x0F;
        (channel == MIDI_DRUM_CHANNEL ? made.drumNotes : made.melodicNotes) += 1;
        const long long start = std::max(0LL, note.startTick), end = std::max(start, note.endTick);
        lastTick = std::max(lastTick, end);
        TimedMidiMessage on;
        on.bytes[0] = static_cast<unsigned char>(0x90 | channel);
        on.bytes[1] = byte(note.pitch, 127);
        on.bytes[2] = byte(std::max(1, note.velocity), 127);
        TimedMidiMessage off = on;
        off.bytes[0] = static_cast<unsigned char>(0x80 | channel);
        off.bytes[2] = 64;
        placed.push_back({on, start, NOTE_START, placed.size()});
        placed.push_back({off, end, end == start ? END_OF_NOTE_JUST_STARTED : END_OF_EARLIER_NOTE, placed.size()});
    }
    if (made.melodicNotes + made.drumNotes == 0) {
        error = "it holds no notes";
        return false;
    }
    for (const MidiControl& control : score.controls) {
        TimedMidiMessage m;
        const int channel = control.channel & 0x0F;
        switch (control.kind) {
        case MidiControl::PROGRAM:
            m.bytes[0] = static_cast<unsigned char>(0xC0 | channel);
            m.bytes[1] = byte(control.number, 127);
            m.size = 2;
            break;
        case MidiControl::CONTROLLER:
            m.bytes[0] = static_cast<unsigned char>(0xB0 | channel);
            m.bytes[1] = byte(control.number, 127);
            m.bytes[2] = byte(control.value, 127);
            break;
        case MidiControl::PITCH_BEND:
            m.bytes[0] = static_cast<unsigned char>(0xE0 | channel);
            m.bytes[1] = byte(control.value & 0x7F, 127);
            m.bytes[2] = byte((control.value >> 7) & 0x7F, 127);
            break;
        }
        const long long tick = std::max(0LL, control.tick);
        placed.push_back({m, tick, CONTROL, placed.size()});
    }
    made.seconds = time.seconds(static_cast<double>(lastTick));
    if (!(made.seconds <= MAX_TIMELINE_SECONDS)) {
        error = "it lasts longer than " + std::to_string(static_cast<int>(MAX_TIMELINE_SECONDS / 60)) + " minutes";
        return false;
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        if (a.tick != b.tick) return a.tick < b.tick;
        if (a.order != b.order) return a.order < b.order;
        return a.serial < b.serial;
    });
    made.messages.reserve(placed.size());
    for (Placed& p : placed) {
        p.message.seconds = time.seconds(static_cast<double>(p.tick));
        made.messages.push_back(p.message);
    }
    timeline = std::move(made);
    return true;
}
