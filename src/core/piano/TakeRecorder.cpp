// Recording what the user plays, and saving it as a song and a MIDI file.
#include "TakeRecorder.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "FileWrite.h"
#include "Instruments.h"
#include "Letters.h"
#include "Printable.h"

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
    std::fprintf(stderr, "Error: Cannot save the recording to %s: %s\n", printable(path).c_str(), reason.c_str());
    kept_ = true;
    piano_.showCaption("recording not saved: " + reason + " - 7 twice to try again");
}

// A take is saved whole or kept: the song and its MIDI file are both written under temporary
// names and put in place only once both are complete; when either cannot be written, neither is
// left behind and the take is kept for "7" to try again.
std::string TakeRecorder::save() {
    const std::string data = userDataDir();
    const fs::path folder = data.empty() ? fs::path() : fs::path(data) / "songs";
    const std::string name = takeName();
    fs::path songPath = folder / (name + ".song");
    if (folder.empty()) {
        keep("(no home folder)", "neither XDG_DATA_HOME nor HOME names a folder");
        return "";
    }
    std::error_code made;
    fs::create_directories(folder, made);
    if (made) {
        keep(songPath.string(), made.message());
        return "";
    }
    // Two takes saved within a second of each other get their own names.
    for (int n = 2; fs::exists(songPath) || fs::exists(fs::path(songPath).replace_extension(".mid")); ++n)
        songPath = folder / (name + "-" + std::to_string(n) + ".song");
    fs::path midiPath = songPath;
    midiPath.replace_extension(".mid");

    std::string failure;
    const fs::path songTemporary = writeTemporary(songPath.string(), formatSong(songFromRecording(take_)), failure);
    if (songTemporary.empty()) {
        keep(songPath.string(), failure);
        return "";
    }
    std::error_code ignored;
    fs::path midiTemporary;
    if (writeMidi_) {
        midiTemporary = midiPath.string() + ".part";
        std::string error;
        if (!writeMidi_(midiTemporary.string(), instrumentProgram(take_.instrument),
                        midiFromRecording(take_), error)) {
            fs::remove(songTemporary, ignored);
            fs::remove(midiTemporary, ignored);
            // The writer's line names its temporary file, then the reason: the user's file is the
            // one to name.
            const std::string after = ".part: ";
            const std::size_t said = error.find(after);
            keep(midiPath.string(), said == std::string::npos ? "the MIDI file cannot be written"
                                                              : error.substr(said + after.size()));
            return "";
        }
    }
    std::error_code renamed;
    if (!midiTemporary.empty()) fs::rename(midiTemporary, midiPath, renamed);
    if (!renamed) fs::rename(songTemporary, songPath, renamed);
    if (renamed) {
        fs::remove(songTemporary, ignored);
        fs::remove(midiTemporary, ignored);
        fs::remove(midiPath, ignored);
        keep(songPath.string(), renamed.message());
        return "";
    }
    kept_ = false;
    take_ = Recording();
    const std::string file = songPath.filename().string();
    piano_.choose({songPath.string(), songTitle(file), false});
    piano_.showCaption("saved " + printable(file) + " - 5 to play");
    return songPath.string();
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
    stop();
    if (take_.strokes.empty()) {
        kept_ = false;
        piano_.showCaption("nothing recorded");
        return;
    }
    save();
}

void TakeRecorder::stop() {
    closeOpenStrokes();
    lastEvent_ = recordingSeconds();
    on_ = false;
    // A letter whose key was not yet struck when the take stopped sounds after it: left out of
    // the song as it is left out of the MIDI file, so the two files hold the same notes.
    take_.strokes.erase(std::remove_if(take_.strokes.begin(), take_.strokes.end(),
                                       [](const RecordedStroke& s) { return !s.sounded; }),
                        take_.strokes.end());
}

void TakeRecorder::finish() {
    if (on_) stop();
    if (take_.strokes.empty()) return;
    const std::string path = save();
    if (path.empty()) return;  // keep() said why
    std::printf("Saved the recording to %s\n", printable(path).c_str());
    std::fflush(stdout);
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
    if (!on) return;
    // The latest letter not yet struck whose key this is has sounded.
    for (auto s = take_.strokes.rbegin(); s != take_.strokes.rend(); ++s) {
        if (s->sounded) continue;
        bool itsKey = false;
        if (s->right) {
            itsKey = noteIndexKey(s->index) == key;
        } else {
            const ChordInfo& chord = CHORDS[CHORD_KEY_TABLE[s->mode][s->index]];
            itsKey = std::find(chord.notes, chord.notes + chord.numNotes, key) != chord.notes + chord.numNotes;
        }
        if (itsKey) {
            s->sounded = true;
            piano_.log("take-stroke", std::to_string(take_.strokes.rend() - s - 1));
            return;
        }
    }
}

void TakeRecorder::instrumentChanged(int program) {
    if (on_) take_.programs.push_back({recordingSeconds(), program});
}
