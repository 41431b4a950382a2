// MIDI files through libsmf. libsmf trusts the lengths a file gives, aborts on its own
// assertions and logs through GLib, so every byte is checked here before it is handed over,
// and its log is taken in rather than printed.
#include "MidiFile.h"

#include <fcntl.h>
#include <smf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

#include "Printable.h"

namespace {
// More tracks than any song needs; each costs libsmf an allocation.
const int MAX_TRACKS = 256;
// libsmf counts ticks in an int: a track's end stays far below its limit.
const long long MAX_TRACK_TICKS = 1LL << 28;
// libsmf frees a track's events one by one, each time searching and renumbering the rest:
// time grows with the square of a track's events (20,000 take 0.08 s, 40,000 0.3 s and a
// file of 1 MB nearly a minute). A song needs a few thousand.
const int MAX_TRACK_EVENTS = 20000;
const int MAX_FILE_EVENTS = 100000;

std::string hexByte(unsigned value) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[(value >> 4) & 0xF] + digits[value & 0xF];
}

// Reads the bytes of one file, walking them without ever reading past a length.
class ByteWalker {
public:
    ByteWalker(const std::string& bytes, std::size_t pos, std::size_t end)
        : bytes_(bytes), pos_(pos), end_(end) {}

    std::size_t pos() const { return pos_; }
    std::size_t left() const { return end_ - pos_; }
    unsigned byte(std::size_t at) const { return static_cast<unsigned char>(bytes_[at]); }

    bool take(unsigned& value) {
        if (pos_ >= end_) return false;
        value = byte(pos_++);
        return true;
    }

    void unread() { --pos_; }

    bool skip(std::size_t count) {
        if (count > left()) return false;
        pos_ += count;
        return true;
    }

    // A variable-length quantity: at most four bytes, as the file format allows.
    bool quantity(unsigned long& value) {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            unsigned b = 0;
            if (!take(b)) return false;
            value = (value << 7) | (b & 0x7F);
            if ((b & 0x80) == 0) return true;
        }
        return false;
    }

    unsigned long big(std::size_t at, int count) const {
        unsigned long value = 0;
        for (int i = 0; i < count; ++i) value = (value << 8) | byte(at + i);
        return value;
    }

private:
    const std::string& bytes_;
    std::size_t pos_;
    std::size_t end_;
};

// Data bytes a channel message carries, by its status's upper half.
int dataBytes(unsigned status) { return (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2; }

bool checkTrack(const std::string& bytes, std::size_t start, std::size_t end, const std::string& where,
                int& fileEvents, std::string& problem) {
    ByteWalker walk(bytes, start, end);
    unsigned running = 0;  // the last channel status; meta and sysex events end it
    long long tick = 0;
    for (int events = 1; walk.left() > 0; ++events, ++fileEvents) {
        if (events > MAX_TRACK_EVENTS || fileEvents > MAX_FILE_EVENTS) {
            problem = events > MAX_TRACK_EVENTS
                          ? where + "has more than " + std::to_string(MAX_TRACK_EVENTS) + " events"
                          : "it has more than " + std::to_string(MAX_FILE_EVENTS) + " events";
            return false;
        }
        const std::string at = where + "byte " + std::to_string(walk.pos()) + ": ";
        unsigned long delta = 0;
        if (!walk.quantity(delta)) {
            problem = at + "bad delta time";
            return false;
        }
        tick += static_cast<long long>(delta);
        if (tick > MAX_TRACK_TICKS) {
            problem = where + "runs past " + std::to_string(MAX_TRACK_TICKS) + " ticks";
            return false;
        }
        unsigned status = 0;
        if (!walk.take(status)) {
            problem = at + "the track ends inside an event";
            return false;
        }
        if (status < 0x80) {
            if (running == 0) {
                problem = at + "data byte " + hexByte(status) + " without a status";
                return false;
            }
            // Running status: this byte was the first data byte.
            status = running;
            walk.unread();
        }
        if (status < 0xF0) {
            running = status;
            for (int i = 0; i < dataBytes(status); ++i) {
                unsigned data = 0;
                if (!walk.take(data) || data >= 0x80) {
                    problem = at + "a " + hexByte(status) + " event lacks its data bytes";
                    return false;
                }
            }
            continue;
        }
        running = 0;
        if (status == 0xFF) {
            unsigned type = 0;
            unsigned long length = 0;
            if (!walk.take(type) || type >= 0x80 || !walk.quantity(length) || length > walk.left()) {
                problem = at + "a meta event runs past its track";
                return false;
            }
            const std::size_t data = walk.pos();
            walk.skip(length);
            // The events libsmf decodes itself must have exactly their sizes.
            if ((type == 0x2F && length != 0) || (type == 0x51 && length != 3) ||
                (type == 0x58 && length != 4)) {
                problem = at + "meta event " + hexByte(type) + " has length " + std::to_string(length);
                return false;
            }
            if (type == 0x51 && walk.big(data, 3) == 0) {
                problem = at + "a tempo of 0 microseconds a quarter note";
                return false;
            }
            if (type == 0x2F) {
                if (walk.left() != 0) {
                    problem = where + "has " + std::to_string(walk.left()) + " bytes after its end";
                    return false;
                }
                return true;
            }
            continue;
        }
        // libsmf takes a system exclusive message to run to the next status byte, and
        // asserts on escaped (0xF7) events: only a whole message, 0xF7 last, is passed on.
        if (status == 0xF0) {
            unsigned long length = 0;
            if (!walk.quantity(length) || length > walk.left()) {
                problem = at + "a system exclusive event runs past its track";
                return false;
            }
            const std::size_t data = walk.pos();
            walk.skip(length);
            bool whole = length > 0 && walk.byte(data + length - 1) == 0xF7;
            for (std::size_t i = 0; whole && i + 1 < length; ++i) whole = walk.byte(data + i) < 0x80;
            if (!whole) {
                problem = at + "a system exclusive event is not one whole message";
                return false;
            }
            continue;
        }
        problem = at + "status " + hexByte(status) + " does not belong in a file";
        return false;
    }
    problem = where + "has no end-of-track event";
    return false;
}

// libsmf reports through GLib; what it says is kept as the problem instead of printed.
void keepLibsmfMessage(const gchar*, GLogLevelFlags, const gchar* message, gpointer kept) {
    std::string& text = *static_cast<std::string*>(kept);
    if (text.empty() && message != nullptr) text = message;
}

struct SmfDeleter {
    void operator()(smf_t* smf) const { smf_delete(smf); }
};
using SmfPtr = std::unique_ptr<smf_t, SmfDeleter>;

// libsmf's log messages go to `kept` while this lives.
class LibsmfLog {
public:
    explicit LibsmfLog(std::string& kept)
        : id_(g_log_set_handler("libsmf", static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL |
                                                                      G_LOG_FLAG_RECURSION),
                                keepLibsmfMessage, &kept)) {}
    ~LibsmfLog() { g_log_remove_handler("libsmf", id_); }
    LibsmfLog(const LibsmfLog&) = delete;
    LibsmfLog& operator=(const LibsmfLog&) = delete;

private:
    guint id_;
};

bool readFileBytes(const std::string& path, std::string& bytes, std::string& problem, bool& opened) {
    opened = false;
    // Without blocking: a FIFO or a device named .mid must not hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    opened = true;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (!ok) problem = "it is not a regular file";
    if (ok) {
        // At most one byte past the limit, whatever the size said: the file may be growing.
        bytes.assign(static_cast<std::size_t>(MAX_MIDI_FILE_BYTES) + 1, '\0');
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, &bytes[got], bytes.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        if (!ok) problem = std::string("it cannot be read: ") + std::strerror(errno);
        else if (got > static_cast<std::size_t>(MAX_MIDI_FILE_BYTES)) {
            ok = false;
            problem = "it is larger than " + std::to_string(MAX_MIDI_FILE_BYTES) + " bytes";
        }
    }
    ::close(fd);
    return ok;
}
}  // namespace

bool checkMidiBytes(const std::string& bytes, std::string& problem) {
    if (bytes.size() < 14) {
        problem = "too short for a MIDI file";
        return false;
    }
    ByteWalker walk(bytes, 0, bytes.size());
    if (bytes.compare(0, 4, "MThd") != 0) {
        problem = "no MIDI header (MThd)";
        return false;
    }
    if (walk.big(4, 4) != 6) {
        problem = "header length " + std::to_string(walk.big(4, 4)) + " instead of 6";
        return false;
    }
    const unsigned long format = walk.big(8, 2), tracks = walk.big(10, 2), division = walk.big(12, 2);
    if (format > 1) {
        problem = "format " + std::to_string(format) + " (only 0 and 1 are songs)";
        return false;
    }
    if (tracks < 1 || tracks > MAX_TRACKS || (format == 0 && tracks != 1)) {
        problem = std::to_string(tracks) + " tracks in a format " + std::to_string(format) + " file";
        return false;
    }
    if (division == 0 || (division & 0x8000) != 0) {
        problem = "its time division is not in ticks a quarter note";
        return false;
    }
    std::size_t pos = 14;
    int events = 0;
    for (unsigned long t = 1; t <= tracks; ++t) {
        const std::string where = "track " + std::to_string(t) + " ";
        if (bytes.size() - pos < 8) {
            problem = where + "is missing";
            return false;
        }
        if (bytes.compare(pos, 4, "MTrk") != 0) {
            problem = where + "is a \"" + printable(bytes.substr(pos, 4), 4) + "\" chunk, not MTrk";
            return false;
        }
        const unsigned long length = walk.big(pos + 4, 4);
        if (length > bytes.size() - pos - 8) {
            problem = where + "length " + std::to_string(length) + " runs past the end of the file";
            return false;
        }
        if (!checkTrack(bytes, pos + 8, pos + 8 + length, where, events, problem)) return false;
        pos += 8 + length;
    }
    // What follows the declared tracks is not read.
    return true;
}

bool readMidiBytes(const std::string& bytes, MidiScore& score, std::string& problem) {
    if (!checkMidiBytes(bytes, problem)) return false;
    std::string logged;
    SmfPtr smf;
    {
        LibsmfLog log(logged);
        smf.reset(smf_load_from_memory(bytes.data(), static_cast<int>(bytes.size())));
    }
    if (!smf || smf->number_of_tracks < 1) {
        problem = "libsmf refused it: " + printable(logged.empty() ? "no tracks" : logged, 80);
        return false;
    }
    MidiScore made;
    made.ticksPerQuarter = smf->ppqn;
    for (int t = 1; t <= smf->number_of_tracks; ++t) {
        smf_track_t* track = smf_get_track_by_number(smf.get(), t);
        if (track == nullptr) continue;
        // Notes still sounding, by channel and pitch: a note's end closes its earliest start.
        std::map<std::pair<int, int>, std::deque<std::size_t>> open;
        long long lastTick = 0;
        for (int e = 1; e <= track->number_of_events; ++e) {
            const smf_event_t* event = smf_track_get_event_by_number(track, e);
            if (event == nullptr || event->midi_buffer_length < 1) continue;
            const unsigned char* m = event->midi_buffer;
            const int length = event->midi_buffer_length;
            const long long tick = event->time_pulses;
            lastTick = std::max(lastTick, tick);
            const int kind = m[0] & 0xF0, channel = m[0] & 0x0F;
            if ((kind == 0x90 || kind == 0x80) && length >= 3) {
                const bool starts = kind == 0x90 && m[2] > 0;
                auto& notes = open[{channel, m[1]}];
                if (starts) {
                    notes.push_back(made.notes.size());
                    made.notes.push_back({t - 1, channel, m[1], m[2], tick, tick});
                } else if (!notes.empty()) {
                    made.notes[notes.front()].endTick = tick;
                    notes.pop_front();
                }
            } else if (kind == 0xC0 && length >= 2) {
                made.controls.push_back({tick, t - 1, channel, MidiControl::PROGRAM, m[1], 0});
            } else if (kind == 0xB0 && length >= 3) {
                made.controls.push_back({tick, t - 1, channel, MidiControl::CONTROLLER, m[1], m[2]});
            } else if (kind == 0xE0 && length >= 3) {
                made.controls.push_back({tick, t - 1, channel, MidiControl::PITCH_BEND, 0, m[1] | (m[2] << 7)});
            } else if (m[0] == 0xFF && length >= 6 && m[1] == 0x51) {
                const long micros = (m[3] << 16) | (m[4] << 8) | m[5];
                made.tempos.push_back({tick, micros / 1e6});
            } else if (m[0] == 0xFF && length >= 7 && m[1] == 0x58 && m[4] <= 6) {
                made.meters.push_back({tick, m[3], 1 << m[4]});
            }
        }
        // A note the track never ends lasts to the track's last event.
        for (const auto& entry : open)
            for (std::size_t index : entry.second) made.notes[index].endTick = lastTick;
        // Its last event is its end (libsmf gives every track one).
        made.endTick = std::max(made.endTick, lastTick);
    }
    score = std::move(made);
    return true;
}

bool readMidiFile(const std::string& path, MidiScore& score, std::string& error) {
    std::string bytes, problem;
    bool opened = false;
    const std::string shownPath = printable(path);
    if (!readFileBytes(path, bytes, problem, opened) && !opened) {
        error = "Error: Failed to open MIDI file " + shownPath;
        return false;
    }
    if (problem.empty() && readMidiBytes(bytes, score, problem)) return true;
    error = malformedMidiFile(path, problem);
    return false;
}

bool importMidiSong(const std::string& path, SongData& song, std::string& report, std::string& error) {
    MidiScore score;
    if (!readMidiFile(path, score, error)) return false;
    MidiImportReport made;
    std::string problem;
    if (!songFromMidi(score, song, made, problem)) {
        error = malformedMidiFile(path, problem);
        return false;
    }
    report = made.text();
    return true;
}

bool writeMidiFile(const std::string& path, int program, const std::vector<MidiNoteEvent>& events,
                   std::string& error) {
    std::vector<MidiNoteEvent> sorted = events;
    // In time order; at one time, notes ending first, then a change of instrument, then the
    // notes starting, which the change is for.
    auto rank = [](const MidiNoteEvent& e) { return e.program >= 0 ? 1 : e.velocity == 0 ? 0 : 2; };
    std::stable_sort(sorted.begin(), sorted.end(), [&](const MidiNoteEvent& a, const MidiNoteEvent& b) {
        if (a.seconds != b.seconds) return a.seconds < b.seconds;
        return rank(a) < rank(b);
    });
    std::string logged;
    LibsmfLog log(logged);
    SmfPtr smf(smf_new());
    if (!smf || smf_set_format(smf.get(), 0) != 0 || smf_set_ppqn(smf.get(), MIDI_WRITE_TICKS_PER_QUARTER) != 0) {
        error = "Error: Failed to write MIDI file " + printable(path) + ": " + printable(logged, 80);
        return false;
    }
    smf_track_t* track = smf_track_new();
    smf_add_track(smf.get(), track);
    // 500000 microseconds a quarter note: 120 beats a minute, said outright.
    unsigned char tempo[] = {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
    smf_track_add_event_pulses(track, smf_event_new_from_pointer(tempo, sizeof tempo), 0);
    smf_track_add_event_pulses(track, smf_event_new_from_bytes(0xC0, std::clamp(program, 0, 127), -1), 0);
    const double ticksPerSecond = MIDI_WRITE_TICKS_PER_QUARTER * 2.0;
    for (const MidiNoteEvent& e : sorted) {
        const int pitch = std::clamp(e.pitch, 0, 127), velocity = std::clamp(e.velocity, 0, 127);
        smf_event_t* event = e.program >= 0 ? smf_event_new_from_bytes(0xC0, std::min(e.program, 127), -1)
                             : velocity > 0 ? smf_event_new_from_bytes(0x90, pitch, velocity)
                                            : smf_event_new_from_bytes(0x80, pitch, 64);
        const double tick = std::max(0.0, e.seconds) * ticksPerSecond + 0.5;
        smf_track_add_event_pulses(track, event, static_cast<int>(std::min(tick, double(MAX_TRACK_TICKS))));
    }
    if (smf_save(smf.get(), path.c_str()) != 0) {
        error = "Error: Failed to write MIDI file " + printable(path) +
                (logged.empty() ? "" : ": " + printable(logged, 80));
        return false;
    }
    return true;
}
