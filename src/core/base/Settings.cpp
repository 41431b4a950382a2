// The settings file: its text read and written, and where it lives.
#include "Settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "FileRead.h"
#include "FileWrite.h"

namespace {
bool validName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    });
}

// A value is the rest of its line: anything but a control code, which no setting needs and
// which binary garbage is full of.
bool validValue(std::string_view value) {
    return !value.empty() && std::none_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}
}  // namespace

bool Settings::parse(std::string_view text, std::string& problem) {
    entries_.clear();
    std::vector<std::pair<std::string, std::string>> read;
    std::size_t number = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // written on another system
        if (number == 1) {
            if (line != SETTINGS_HEADER) {
                problem = "line 1: it does not start with \"" + std::string(SETTINGS_HEADER) + "\"";
                return false;
            }
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        const std::size_t space = line.find(' ');
        const std::string_view name = line.substr(0, space);
        const std::string_view value = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
        if (!validName(name) || !validValue(value)) {
            problem = "line " + std::to_string(number) + ": not a name and a value";
            return false;
        }
        // A name given twice: the later line wins, as in most such files.
        const auto at = std::find_if(read.begin(), read.end(), [&](const auto& e) { return e.first == name; });
        if (at != read.end())
            at->second = std::string(value);
        else
            read.emplace_back(std::string(name), std::string(value));
    }
    if (number == 0) {
        problem = "the file is empty";
        return false;
    }
    entries_ = std::move(read);
    return true;
}

std::string Settings::text() const {
    std::string out(SETTINGS_HEADER);
    out += '\n';
    for (const auto& [name, value] : entries_) out += name + ' ' + value + '\n';
    return out;
}

std::optional<std::string> Settings::get(std::string_view name) const {
    for (const auto& entry : entries_)
        if (entry.first == name) return entry.second;
    return std::nullopt;
}

bool Settings::set(const std::string& name, const std::string& value) {
    if (!validName(name) || !validValue(value)) {
        erase(name);
        return false;
    }
    for (auto& entry : entries_) {
        if (entry.first == name) {
            entry.second = value;
            return true;
        }
    }
    entries_.emplace_back(name, value);
    return true;
}

void Settings::erase(std::string_view name) {
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.first == name; }),
                   entries_.end());
}

std::string settingsFilePath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/tinklewood/settings";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.config/tinklewood/settings";
    return "";
}

SettingsRead readSettingsFile(const std::string& path, Settings& settings, std::string& problem) {
    settings = Settings();
    std::string text;
    switch (readSmallFile(path, MAX_SETTINGS_BYTES, text)) {
    case FileRead::Read:
        break;
    case FileRead::Missing:
        if (errno == ENOENT) return SettingsRead::Missing;
        problem = std::strerror(errno);
        return SettingsRead::Damaged;
    case FileRead::NotRegular:
        problem = "it is not a regular file";
        return SettingsRead::Damaged;
    case FileRead::TooLarge:
        problem = "it is larger than " + std::to_string(MAX_SETTINGS_BYTES) + " bytes";
        return SettingsRead::Damaged;
    case FileRead::Failed:
        problem = std::strerror(errno);
        return SettingsRead::Damaged;
    }
    return settings.parse(text, problem) ? SettingsRead::Read : SettingsRead::Damaged;
}

std::string writeSettingsFile(const std::string& path, const Settings& settings) {
    std::error_code made;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), made);
    if (made) return made.message();
    return writeWhole(path, settings.text());
}
