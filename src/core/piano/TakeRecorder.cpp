// Recording what the user plays, and saving it as a song and a MIDI file.
#include "TakeRecorder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "FileWrite.h"
#include "Instruments.h"

namespace {
namespace fs = std::filesystem;

// "recording_2026-12-08_15-30-00": the moment of saving, so takes sort by time.
std::string takeName() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char name[64];
    std::strftime(name, sizeof name, "recording_%Y-%m-%d_%H-%M-%S", &local);
    return name;
}

}  // namespace

void TakeRecorder::keep(const std::string& path, const std::string& reason) {
    std::printf("Error: Cannot save the recording to %s: %s\n", path.c_str(), reason.c_str());
    std::fflush(stdout);
    kept_ = true;
    piano_.showCaption("recording not saved: " + reason + " - 7 twice to try again");
}

void TakeRecorder::save() {
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

    const std::string failure = writeFileWhole(songPath.string(), formatSong(songFromRecording(take_)));
    if (!failure.empty()) {
        keep(songPath.string(), failure);
        return;
    }
    std::string midiNote;
    if (writeMidi_) {
        fs::path midiPath = songPath;
        midiPath.replace_extension(".mid");
        std::string error;
        if (!writeMidi_(midiPath.string(), INSTRUMENT_PROGRAMS[static_cast<std::size_t>(take_.instrument)],
                        midiFromRecording(take_), error)) {
            std::printf("%s\n", error.c_str());
            std::fflush(stdout);
            midiNote = " (no MIDI file)";
        }
    }
    kept_ = false;
    take_ = Recording();
    const std::string file = songPath.filename().string();
    piano_.choose({songPath.string(), songTitle(file), false});
    piano_.showCaption("saved " + file + midiNote + " - 5 to play");
}

// A letter still down when the recording stops ends there.
void TakeRecorder::closeOpenStrokes() {
    for (int* open : {&openRight_, &openLeft_}) {
        if (*open >= 0) take_.strokes[static_cast<std::size_t>(*open)].end = recordingSeconds();
        *open = -1;
    }
}

void TakeRecorder::toggle() {
    if (!on_) {
        if (kept_) {
            // Going on with a take that could not be saved: the pause does not count.
            shift_ = clockSeconds() - lastEvent_ - 0.5;
        } else {
            take_ = Recording();
            take_.startMode = piano_.mode();
            take_.instrument = piano_.instrument();
            shift_ = 0;
        }
        on_ = true;
        piano_.showCaption("recording");
        return;
    }
    closeOpenStrokes();
    lastEvent_ = recordingSeconds();
    on_ = false;
    if (take_.strokes.empty()) {
        kept_ = false;
        piano_.showCaption("nothing recorded");
        return;
    }
    save();
}

void TakeRecorder::strokeStart(bool right, int index, Mode strokeMode) {
    if (!on_) return;
    const double now = recordingSeconds();
    take_.strokes.push_back({right, index, strokeMode, now, now});
    (right ? openRight_ : openLeft_) = static_cast<int>(take_.strokes.size()) - 1;
}

void TakeRecorder::strokeEnd(bool right) {
    int& open = right ? openRight_ : openLeft_;
    if (!on_ || open < 0) return;
    take_.strokes[static_cast<std::size_t>(open)].end = recordingSeconds();
    open = -1;
}

void TakeRecorder::sound(int key, bool on, float volume) {
    if (!on_) return;
    take_.sounds.push_back({recordingSeconds(), key, on, volume});
}
