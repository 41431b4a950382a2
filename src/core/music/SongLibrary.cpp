#include "SongLibrary.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
bool isSmallWord(const std::string& word) {
    static constexpr char small[][4] = {"a", "an", "and", "at", "by", "de", "du", "for", "in", "la",
                                        "le", "of", "on", "or", "the", "to"};
    for (const char* s : small)
        if (word == s) return true;
    return false;
}

bool hasExtension(const std::string& name, const std::string& extension) {
    return name.size() > extension.size() &&
           name.compare(name.size() - extension.size(), extension.size(), extension) == 0;
}

// The song files of one folder by file name; nothing when it cannot be read.
std::vector<std::string> songFiles(const std::string& dir) {
    std::vector<std::string> names;
    if (dir.empty()) return names;
    std::error_code error;
    fs::directory_iterator it(dir, error), end;
    for (; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!hasExtension(name, ".song") && !hasExtension(name, ".mid")) continue;
        std::error_code statError;
        if (!it->is_regular_file(statError)) continue;  // follows links, as opening does
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string joined(const std::string& dir, const std::string& name) {
    return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

SongEntry entry(const std::string& dir, const std::string& name) {
    return {joined(dir, name), songTitle(name), hasExtension(name, ".mid")};
}
}  // namespace

std::string songTitle(const std::string& fileName) {
    std::string stem = fileName.substr(0, fileName.rfind('.'));
    std::vector<std::string> words;
    std::string word;
    for (char c : stem + "_") {
        if (c == '_' || c == ' ') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    std::string title;
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string w = words[i];
        const bool inside = i > 0 && i + 1 < words.size();
        if (!(inside && isSmallWord(w))) w[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(w[0])));
        title += (i > 0 ? " " : "") + w;
    }
    return title;
}

std::string userDataDir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return joined(xdg, "tinklewood");
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return joined(home, ".local/share/tinklewood");
    return "";
}

std::vector<SongEntry> listSongs(const std::string& shippedDir, const std::string& first,
                                 const std::string& userDir) {
    std::vector<SongEntry> songs;
    const std::vector<std::string> shipped = songFiles(shippedDir);
    if (std::find(shipped.begin(), shipped.end(), first) != shipped.end()) songs.push_back(entry(shippedDir, first));
    for (const std::string& name : shipped)
        if (name != first) songs.push_back(entry(shippedDir, name));
    for (const std::string& name : songFiles(userDir)) songs.push_back(entry(userDir, name));
    return songs;
}
