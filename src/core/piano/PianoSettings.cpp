// The piano's settings kept between runs: what the user chose with the keys and the mouse,
// written to the settings file when it changes and taken up again at the next start.
#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "Instruments.h"
#include "Piano.h"
#include "Printable.h"
#include "interface.h"

namespace {
// The names the file uses for the pictures, as their files are called.
constexpr std::array<std::string_view, numBackgrounds> BACKGROUND_NAMES = {"hall", "space", "church", "music_box", "glee"};
constexpr std::array<std::string_view, numTextures> HAND_TEXTURE_NAMES = {"skin", "rock", "flames"};
// Where a chosen song's file is: the shipped songs folder or the user's own.
constexpr std::string_view SHIPPED = "shipped ";
constexpr std::string_view USERS = "user ";

// A SoundFont is kept by the name Space's caption gives it.
constexpr std::string_view SOUNDFONT = "soundfont ";

std::string builtInName(int instrument) {
    const std::string_view folder = INSTRUMENT_FOLDERS[static_cast<std::size_t>(instrument)];
    return std::string(folder.substr(0, folder.size() - 1));  // "music_box/" is "music_box"
}

template <std::size_t N>
int indexOf(const std::array<std::string_view, N>& names, const std::string& name) {
    for (std::size_t i = 0; i < N; ++i)
        if (names[i] == name) return static_cast<int>(i);
    return -1;
}

std::string onOff(bool on) { return on ? "on" : "off"; }

// Six numbers: the camera's translation, then its rotations. Nine digits give a float back
// exactly.
std::string cameraText(const CameraState& camera) {
    char text[160];
    std::snprintf(text, sizeof text, "%.9g %.9g %.9g %.9g %.9g %.9g", camera.position[0], camera.position[1],
                  camera.position[2], camera.rotation[0], camera.rotation[1], camera.rotation[2]);
    return text;
}

bool readCamera(const std::string& text, CameraState& camera) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    std::array<float, 6> v{};
    for (float& x : v)
        if (!(in >> x) || !std::isfinite(x)) return false;
    std::string more;
    if (in >> more) return false;
    // A drag can bring the camera no nearer nor further than these.
    if (v[2] > ZOOM_MIN || v[2] < ZOOM_MAX) return false;
    camera.position = {v[0], v[1], v[2]};
    camera.rotation = {v[3], v[4], v[5]};
    return true;
}

std::string userSongsFolder() {
    const std::string data = userDataDir();
    return data.empty() ? data : data + "/songs";
}
}  // namespace

void Piano::storeSettings(Settings& settings) const {
    const int instrument = sounds_.instrument();
    settings.set("instrument", instrument < NUM_INSTRUMENTS ? builtInName(instrument)
                                                            : std::string(SOUNDFONT) + sounds_.instrumentName());
    settings.set("background", std::string(BACKGROUND_NAMES[static_cast<std::size_t>(activeBackground_)]));
    settings.set("hand-texture", std::string(HAND_TEXTURE_NAMES[static_cast<std::size_t>(activeHandTexture_)]));
    settings.set("glow", onOff(glowOn_));
    settings.set("concert", onOff(concertOn_));
    settings.set("letters", onOff(lettersOn_));
    settings.set("sound-at-press", onOff(soundAtPress_));
    settings.set("camera", cameraText(camera_));
    // The chosen song by its folder and file name, so the same song is found from wherever the
    // program is started; a name a line cannot hold is not kept (set refuses it).
    settings.erase("song");
    if (chosen_) {
        const std::string& path = chosen_->path;
        const std::string users = userSongsFolder() + "/";
        if (path.compare(0, resources_.songs.size(), resources_.songs) == 0)
            settings.set("song", std::string(SHIPPED) + path.substr(resources_.songs.size()));
        else if (users.size() > 1 && path.compare(0, users.size(), users) == 0)
            settings.set("song", std::string(USERS) + path.substr(users.size()));
    }
}

void Piano::applySettings(const Settings& settings, std::vector<std::string>& problems) {
    const auto bad = [&](const char* name, const std::string& value) {
        problems.push_back(std::string(name) + " \"" + printable(value, 40) + "\" is not one the program knows");
    };
    const auto onOrOff = [&](const char* name, bool& flag) {
        const std::optional<std::string> value = settings.get(name);
        if (!value) return false;
        if (*value != "on" && *value != "off") {
            bad(name, *value);
            return false;
        }
        flag = *value == "on";
        return true;
    };
    if (const std::optional<std::string> value = settings.get("instrument")) {
        int found = -1;
        for (int i = 0; i < NUM_INSTRUMENTS; ++i)
            if (builtInName(i) == *value) found = i;
        for (int i = NUM_INSTRUMENTS; i < sounds_.instrumentCount(); ++i)
            if (std::string(SOUNDFONT) + sounds_.instrumentName(i) == *value) found = i;
        // A SoundFont that cannot be opened any more has said why; the first instrument stays.
        if (found >= 0) selectInstrument(found);
        else bad("instrument", *value);
    }
    if (const std::optional<std::string> value = settings.get("background")) {
        const int found = indexOf(BACKGROUND_NAMES, *value);
        if (found >= 0) activeBackground_ = found;
        else bad("background", *value);
    }
    if (const std::optional<std::string> value = settings.get("hand-texture")) {
        const int found = indexOf(HAND_TEXTURE_NAMES, *value);
        if (found >= 0) activeHandTexture_ = found;
        else bad("hand-texture", *value);
    }
    // The concert lights first: "4" turns the glow on with them, and a glow turned off after is kept.
    bool concert = false;
    if (onOrOff("concert", concert) && concert) {
        concertOn_ = true;
        glowOn_ = true;
        lights_.concertOn();
    }
    onOrOff("glow", glowOn_);
    onOrOff("letters", lettersOn_);
    onOrOff("sound-at-press", soundAtPress_);
    if (const std::optional<std::string> value = settings.get("camera"))
        if (!readCamera(*value, camera_)) bad("camera", *value);
    // A chosen song whose file is gone is forgotten without a word: the user removed it.
    if (const std::optional<std::string> value = settings.get("song")) {
        std::string path;
        if (value->compare(0, SHIPPED.size(), SHIPPED) == 0)
            path = resources_.songs + value->substr(SHIPPED.size());
        else if (value->compare(0, USERS.size(), USERS) == 0 && !userSongsFolder().empty())
            path = userSongsFolder() + "/" + value->substr(USERS.size());
        else
            bad("song", *value);
        if (!path.empty()) {
            for (const SongEntry& song : listSongs(resources_.songs, FIRST_SONG, userSongsFolder())) {
                if (song.path != path) continue;
                chosen_ = song;
                if (chosen_->midi) importChosen();
                break;
            }
        }
    }
    requestFrame();
}

void Piano::keepSettingsIn(const std::string& path) {
    settingsPath_ = path;
    settingsWriteFailed_ = false;
    if (path.empty()) return;
    std::string problem;
    const SettingsRead read = readSettingsFile(path, settings_, problem);
    if (read == SettingsRead::Damaged) {
        std::fprintf(stderr, "tinklewood: settings file %s not used: %s; starting with the first settings\n",
                     printable(path).c_str(), problem.c_str());
        return;
    }
    std::vector<std::string> problems;
    applySettings(settings_, problems);
    if (!problems.empty()) {
        std::string more;
        if (problems.size() > 1) more = " (and " + std::to_string(problems.size() - 1) + " more)";
        std::fprintf(stderr, "tinklewood: settings file %s: %s%s; kept as at first\n", printable(path).c_str(),
                     problems.front().c_str(), more.c_str());
    }
    // What the file says now is what was taken up: written again only once something changes.
    storeSettings(settings_);
    settingsWritten_ = settings_.text();
}

// Written when it changes, so nothing chosen is lost however the program ends. A write that
// fails is told once; the next change tries again.
void Piano::saveSettings() {
    if (settingsPath_.empty()) return;
    storeSettings(settings_);
    const std::string text = settings_.text();
    if (text == settingsWritten_) return;
    const std::string failure = writeSettingsFile(settingsPath_, settings_);
    if (failure.empty()) {
        settingsWritten_ = text;
        settingsWriteFailed_ = false;
        log("settings", "");
        return;
    }
    if (!settingsWriteFailed_)
        std::fprintf(stderr, "tinklewood: cannot save the settings to %s: %s\n", printable(settingsPath_).c_str(),
                     failure.c_str());
    settingsWriteFailed_ = true;
}

void Piano::setLetterNames(const LetterNames& names) {
    if (names == letterNames_) return;
    letterNames_ = names;
    log("letters", names.describe());
    requestFrame();
}
