// The recorder's place in the program: "7" starts and stops it; the user's strokes and the
// sounds they make are kept; on stop the take is saved as a song and a MIDI file in the user's
// songs folder and becomes the chosen song. A take that cannot be saved is kept, not lost.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "Piano.h"
#include "timer.h"

MidiFileWriter midiFileWriter = nullptr;

namespace {
namespace fs = std::filesystem;

RecordingState& recording = app.recording;

double clockSeconds() { return static_cast<double>(clocksource::now()) / clocksource::TICKS_PER_SECOND; }
double recordingSeconds() { return clockSeconds() - recording.shift; }

// "recording_2026-12-08_15-30-00": the moment of saving, so takes sort by time.
std::string takeName() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char name[64];
    std::strftime(name, sizeof name, "recording_%Y-%m-%d_%H-%M-%S", &local);
    return name;
}

// Writes text to path through a temporary file in the same folder, so a full disk or a
// failed write never leaves a half song behind. Empty on success, else the reason.
std::string writeWhole(const fs::path& path, const std::string& text) {
    const fs::path temporary = path.string() + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wx");
    if (file == nullptr) return std::strerror(errno);
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    const int closeError = errno;
    std::error_code ignored;
    if (!written || !closed) {
        fs::remove(temporary, ignored);
        return std::strerror(!written ? writeError : closeError);
    }
    std::error_code renamed;
    fs::rename(temporary, path, renamed);
    if (renamed) {
        fs::remove(temporary, ignored);
        return renamed.message();
    }
    return "";
}

void keep(const std::string& path, const std::string& reason) {
    std::printf("Error: Cannot save the recording to %s: %s\n", path.c_str(), reason.c_str());
    std::fflush(stdout);
    recording.kept = true;
    showCaption("recording not saved: " + reason + " - 7 twice to try again");
}

void save() {
    const std::string data = userDataDir();
    const fs::path folder = data.empty() ? fs::path() : fs::path(data) / "songs";
    const std::string name = takeName();
    fs::path songPath = folder / (name + ".song");
    if (folder.empty()) {
        keep("(no home folder)", "neither XDG_DATA_HOME nor HOME names a folder");
        return;
    }
    std::error_code made;
    fs::create_directories(folder, made);
    if (made) {
        keep(songPath.string(), made.message());
        return;
    }
    // Two takes saved within a second of each other get their own names.
    for (int n = 2; fs::exists(songPath); ++n) songPath = folder / (name + "-" + std::to_string(n) + ".song");

    const std::string failure = writeWhole(songPath, formatSong(songFromRecording(recording.take)));
    if (!failure.empty()) {
        keep(songPath.string(), failure);
        return;
    }
    std::string midiNote;
    if (midiFileWriter != nullptr) {
        fs::path midiPath = songPath;
        midiPath.replace_extension(".mid");
        std::string error;
        if (!midiFileWriter(midiPath.string(), instrumentPrograms[recording.take.instrument],
                            midiFromRecording(recording.take), error)) {
            std::printf("%s\n", error.c_str());
            std::fflush(stdout);
            midiNote = " (no MIDI file)";
        }
    }
    recording.kept = false;
    recording.take = Recording();
    const std::string file = songPath.filename().string();
    app.library.chosen = {songPath.string(), songTitle(file), false};
    app.library.chosenAny = true;
    showCaption("saved " + file + midiNote + " - 5 to play");
}

// A letter still down when the recording stops ends there.
void closeOpenStrokes() {
    for (int* open : {&recording.openRight, &recording.openLeft}) {
        if (*open >= 0) recording.take.strokes[static_cast<std::size_t>(*open)].end = recordingSeconds();
        *open = -1;
    }
}
}  // namespace

void toggleRecording() {
    if (!recording.on) {
        if (recording.kept) {
            // Going on with a take that could not be saved: the pause does not count.
            recording.shift = clockSeconds() - recording.lastEvent - 0.5;
        } else {
            recording.take = Recording();
            recording.take.startMode = mode;
            recording.take.instrument = activeInstrument;
            recording.shift = 0;
        }
        recording.on = true;
        showCaption("recording");
        return;
    }
    closeOpenStrokes();
    recording.lastEvent = recordingSeconds();
    recording.on = false;
    if (recording.take.strokes.empty()) {
        recording.kept = false;
        showCaption("nothing recorded");
        return;
    }
    save();
}

void recordStrokeStart(bool right, int index, Mode strokeMode) {
    if (!recording.on) return;
    const double now = recordingSeconds();
    recording.take.strokes.push_back({right, index, strokeMode, now, now});
    (right ? recording.openRight : recording.openLeft) = static_cast<int>(recording.take.strokes.size()) - 1;
}

void recordStrokeEnd(bool right) {
    int& open = right ? recording.openRight : recording.openLeft;
    if (!recording.on || open < 0) return;
    recording.take.strokes[static_cast<std::size_t>(open)].end = recordingSeconds();
    open = -1;
}

void recordSound(int key, bool on, float volume) {
    if (!recording.on) return;
    recording.take.sounds.push_back({recordingSeconds(), key, on, volume});
}
