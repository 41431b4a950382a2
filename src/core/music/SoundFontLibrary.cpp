// Finding SoundFonts and their names. Only a file's head is read here; whether the rest holds
// a sound is for the synthesizer that loads it.
#include "SoundFontLibrary.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "FileRead.h"
#include "SongLibrary.h"

namespace fs = std::filesystem;

namespace {
// A SoundFont's INFO list holds a few names and an optional comment of at most 64 KiB; it
// comes first, right after the 12 bytes of the RIFF header.
constexpr std::size_t HEAD_BYTES = 12 + 8 + 4 + 70 * 1024;
constexpr std::size_t NAME_LIMIT = 40;  // characters: a caption's width

std::uint32_t le32(const std::string& data, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(data[at + i]);
    return value;
}

// In either case: SoundFonts from other systems are often named FONT.SF2.
bool hasSuffix(const std::string& name) {
    if (name.size() <= 4) return false;
    std::string suffix = name.substr(name.size() - 4);
    for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return suffix == ".sf2" || suffix == ".sf3";
}

// Printable ASCII, as the caption's font has it, with runs of spaces made one.
std::string printable(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\0') break;
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '_';
        if (space && !out.empty() && out.back() != ' ') out += ' ';
        else if (!space && c > ' ' && c < 0x7f) out += c;
    }
    if (out.size() > NAME_LIMIT) out.resize(NAME_LIMIT);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::vector<std::string> soundFontFiles(const std::string& dir) {
    std::vector<std::string> names;
    if (dir.empty()) return names;
    std::error_code error;
    fs::directory_iterator it(dir, error), end;
    for (; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code statError;
        if (hasSuffix(name) && it->is_regular_file(statError)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Adds the file under its name, or tells why it is left out.
void offer(const std::string& path, std::vector<SoundFontEntry>& out) {
    std::string name, error;
    if (!readSoundFontName(path, name, error)) {
        std::fprintf(stderr, "tinklewood: the SoundFont %s is left out: %s\n", path.c_str(), error.c_str());
        return;
    }
    out.push_back({path, name});
}
}  // namespace

std::string userSoundFontDir() {
    const std::string data = userDataDir();
    return data.empty() ? data : joinedPath(data, "soundfonts");
}

const std::vector<std::string>& systemSoundFonts() {
    static const std::vector<std::string> files = {"/usr/share/sounds/sf2/default-GM.sf2",
                                                   "/usr/share/sounds/sf3/default-GM.sf3"};
    return files;
}

std::vector<std::string> systemSoundFontsNamed(const char* named) {
    if (named == nullptr) return systemSoundFonts();
    std::vector<std::string> files;
    const std::string list = named;
    for (std::size_t at = 0; at <= list.size();) {
        const std::size_t end = std::min(list.find(':', at), list.size());
        if (end > at) files.push_back(list.substr(at, end - at));
        at = end + 1;
    }
    return files;
}

bool readSoundFontName(const std::string& path, std::string& name, std::string& error) {
    name.clear();
    std::string head;
    switch (readSmallFile(path, HEAD_BYTES, head)) {
        case FileRead::Read:
        case FileRead::TooLarge:
            break;
        case FileRead::Missing:
            error = "it cannot be opened";
            return false;
        case FileRead::NotRegular:
            error = "not a regular file";
            return false;
        case FileRead::Failed:
            error = "it cannot be read";
            return false;
    }
    if (head.size() < 24 || head.compare(0, 4, "RIFF") != 0 || head.compare(8, 4, "sfbk") != 0) {
        error = "not a SoundFont (no RIFF sfbk header)";
        return false;
    }
    if (head.compare(12, 4, "LIST") != 0 || head.compare(20, 4, "INFO") != 0) {
        error = "not a SoundFont (no INFO list at its head)";
        return false;
    }
    // The subchunks of INFO, as far as the head holds them; sizes are untrusted.
    const std::size_t end = std::min<std::size_t>(head.size(), 20 + std::size_t{le32(head, 16)});
    for (std::size_t at = 24; at + 8 <= end;) {
        const std::size_t size = le32(head, at + 4);
        if (head.compare(at, 4, "INAM") == 0) {
            name = printable(head.substr(at + 8, std::min(size, end - (at + 8))));
            break;
        }
        if (size > end - (at + 8)) break;
        at += 8 + size + (size & 1);
    }
    if (name.empty()) name = printable(songTitle(fs::path(path).filename().string()));
    if (name.empty()) name = "SoundFont";
    return true;
}

std::vector<SoundFontEntry> listSoundFonts(const std::string& userDir, const std::vector<std::string>& systemFiles) {
    std::vector<SoundFontEntry> found;
    for (const std::string& name : soundFontFiles(userDir)) offer(joinedPath(userDir, name), found);
    for (const std::string& path : systemFiles) {
        std::error_code error;
        if (!fs::is_regular_file(path, error)) continue;
        // A package's alternative often points at a file the user also keeps, or one that
        // another alternative names already.
        const bool known = std::any_of(found.begin(), found.end(), [&](const SoundFontEntry& entry) {
            std::error_code ignored;
            return fs::equivalent(entry.path, path, ignored);
        });
        if (!known) offer(path, found);
    }
    return found;
}
