// The user's settings between runs: a small text file of "name value" lines under the user's
// config folder. Each part of the program reads and writes its own names; a name nobody here
// knows (written by a later version, or by a part not built in) is kept as it was, and a name
// missing leaves its setting at its default, so parts can add settings without a new format.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The first line of every settings file: what tells the file from anything else in its place.
inline constexpr std::string_view SETTINGS_HEADER = "tinklewood-settings 1";
// Far more than the program writes; a larger file is not its settings.
constexpr std::size_t MAX_SETTINGS_BYTES = 64 * 1024;

class Settings {
public:
    // Reads a settings file's text. A file that is not one (another header, a line that is not
    // a name and a value, a control code) leaves the record empty: false, with the first
    // problem as "line N: what". Blank lines and lines starting with '#' are passed over.
    bool parse(std::string_view text, std::string& problem);
    // The text of the file: the header, then the entries in the order first set or read.
    std::string text() const;

    // A setting's value; none when the file does not have it.
    std::optional<std::string> get(std::string_view name) const;
    // Sets a value, or adds it at the end. A name is lower-case letters, digits and '-'; a value
    // that a line cannot hold (empty, or with a control code such as a line break) is not kept:
    // false, and the setting is left out of the file.
    bool set(const std::string& name, const std::string& value);
    void erase(std::string_view name);
    bool empty() const { return entries_.empty(); }

    bool operator==(const Settings& other) const { return entries_ == other.entries_; }
    bool operator!=(const Settings& other) const { return !(*this == other); }

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

// $XDG_CONFIG_HOME/tinklewood/settings, by default ~/.config/tinklewood/settings; empty when
// neither variable gives an absolute path.
std::string settingsFilePath();

enum class SettingsRead {
    Read,     // the record holds the file's settings
    Missing,  // there is no file yet: the record is empty and nothing is wrong
    Damaged,  // unreadable, or not a settings file: the record is empty, problem says why
};
SettingsRead readSettingsFile(const std::string& path, Settings& settings, std::string& problem);

// Writes the file whole (FileWrite.h), making its folder first. Empty on success, else why not.
std::string writeSettingsFile(const std::string& path, const Settings& settings);
