// The songs "6" offers: shipped ones first, then the user's, with titles made from file names.
#include "SongLibrary.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "Printable.h"

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

// Why the entry at path cannot be offered as a song; empty when it can. Links are followed, as
// opening does.
std::string unplayable(const fs::directory_entry& entry, const std::string& path) {
    std::error_code error;
    const fs::file_status status = entry.status(error);
    if (error) {
        std::error_code ignored;
        if (error == std::errc::no_such_file_or_directory && entry.is_symlink(ignored))
            return "it is a link to nothing";
        if (error == std::errc::too_many_symbolic_link_levels) return "its links go round in a loop";
        return error.message();
    }
    if (fs::is_directory(status)) return "it is a folder";
    if (!fs::is_regular_file(status)) return "it is not a regular file";
    if (access(path.c_str(), R_OK) != 0) return std::string("it cannot be read: ") + std::strerror(errno);
    return "";
}

// The song files of one folder by file name; nothing when it cannot be read. What looks like
// a song but cannot be one is told in problems.
std::vector<std::string> songFiles(const std::string& dir, std::vector<std::string>* problems) {
    std::vector<std::string> names;
    std::vector<std::pair<std::string, std::string>> leftOut;  // name, why
    if (dir.empty()) return names;
    std::error_code error;
    fs::directory_iterator it(dir, error), end;
    for (; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!hasExtension(name, ".song") && !hasExtension(name, ".mid")) continue;
        const std::string why = unplayable(*it, joinedPath(dir, name));
        if (why.empty()) names.push_back(name);
        else leftOut.emplace_back(name, why);
    }
    std::sort(names.begin(), names.end());
    if (problems == nullptr) return names;
    std::sort(leftOut.begin(), leftOut.end());
    for (const auto& [name, why] : leftOut)
        problems->push_back("Song file " + printable(joinedPath(dir, name)) + " left out: " + why);
    // A folder that is not there is a user with no songs yet; one that is there says why.
    if (error && error != std::errc::no_such_file_or_directory)
        problems->push_back("Songs folder " + printable(dir) + " cannot be read: " + error.message());
    return names;
}

SongEntry entry(const std::string& dir, const std::string& name) {
    return {joinedPath(dir, name), songTitle(name), hasExtension(name, ".mid")};
}
}  // namespace

std::string joinedPath(const std::string& dir, const std::string& name) {
    return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

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
    return printable(title);
}

std::string userDataDir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return joinedPath(xdg, "tinklewood");
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return joinedPath(home, ".local/share/tinklewood");
    return "";
}

std::vector<SongEntry> listSongs(const std::string& shippedDir, const std::string& first,
                                 const std::string& userDir, std::vector<std::string>* problems) {
    std::vector<SongEntry> songs;
    const std::vector<std::string> shipped = songFiles(shippedDir, problems);
    if (std::find(shipped.begin(), shipped.end(), first) != shipped.end()) songs.push_back(entry(shippedDir, first));
    for (const std::string& name : shipped)
        if (name != first) songs.push_back(entry(shippedDir, name));
    for (const std::string& name : songFiles(userDir, problems)) songs.push_back(entry(userDir, name));
    return songs;
}
