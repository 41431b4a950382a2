// Results of playing along, told in captions and kept in the progress file.
#include "Progress.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "FileRead.h"
#include "FileWrite.h"
#include "Printable.h"
#include "SongLibrary.h"

namespace {
// A progress file this size is not one the program wrote: a line a song.
constexpr std::size_t MAX_PROGRESS_BYTES = 1 << 20;
constexpr const char* HEADER =
    "# Tinklewood: each song's best play-along run. Tab-separated: right first time, letters, wrong\n"
    "# letters, longest wait (ms), letters timed, their average timing (ms, late > 0), tempo (%),\n"
    "# hands, date, song file.\n";

bool wholeNumber(const std::string& word, int& value) {
    if (word.empty() || word.size() > 9) return false;
    std::size_t at = word[0] == '-' || word[0] == '+' ? 1 : 0;
    if (at == word.size()) return false;
    for (std::size_t i = at; i < word.size(); ++i)
        if (word[i] < '0' || word[i] > '9') return false;
    value = std::stoi(word);
    return true;
}

bool parseLine(const std::string& line, std::string& key, PracticeResult& r) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    // The song's name comes last and may hold anything but a tab or a newline.
    for (int i = 0; i < 9; ++i) {
        const std::size_t tab = line.find('\t', from);
        if (tab == std::string::npos) return false;
        fields.push_back(line.substr(from, tab - from));
        from = tab + 1;
    }
    key = line.substr(from);
    int waitMs = 0, offsetMs = 0;
    if (key.empty() || !wholeNumber(fields[0], r.rightFirstTime) || !wholeNumber(fields[1], r.entries) ||
        !wholeNumber(fields[2], r.wrongLetters) || !wholeNumber(fields[3], waitMs) ||
        !wholeNumber(fields[4], r.timed) || !wholeNumber(fields[5], offsetMs) ||
        !wholeNumber(fields[6], r.tempoPercent))
        return false;
    if (r.entries < 1 || r.rightFirstTime < 0 || r.rightFirstTime > r.entries || r.wrongLetters < 0 ||
        waitMs < 0 || r.timed < 0 || r.tempoPercent < 1)
        return false;
    if (fields[7] != "right" && fields[7] != "left" && fields[7] != "both") return false;
    r.hands = fields[7];
    r.date = fields[8];
    r.longestWait = waitMs / 1000.0;
    r.meanOffset = offsetMs / 1000.0;
    return true;
}

long milliseconds(double seconds) { return std::lround(seconds * 1000); }
}  // namespace

int rightShare(const PracticeResult& r) {
    return r.entries <= 0 ? 0 : static_cast<int>(100LL * r.rightFirstTime / r.entries);
}

bool better(const PracticeResult& a, const PracticeResult& b) {
    // Compared as the file keeps them, so a result read back ties with itself.
    const long long aRight = 1LL * a.rightFirstTime * b.entries, bRight = 1LL * b.rightFirstTime * a.entries;
    if (aRight != bRight) return aRight > bRight;
    if (a.tempoPercent != b.tempoPercent) return a.tempoPercent > b.tempoPercent;
    return a.wrongLetters < b.wrongLetters;
}

std::string describeRun(const PracticeResult& r) {
    char text[200];
    std::snprintf(text, sizeof text, "right first time %d of %d (%d%%), wrong letters %d, longest wait %.1f s",
                  r.rightFirstTime, r.entries, rightShare(r), r.wrongLetters, r.longestWait);
    std::string told = text;
    if (r.timed > 0) {
        const long ms = milliseconds(r.meanOffset);
        told += ms == 0 ? ", on time on average"
                        : ", on average " + std::to_string(std::labs(ms)) + (ms > 0 ? " ms late" : " ms early");
    }
    return told;
}

std::string describeBest(const PracticeResult& r) {
    return "best " + std::to_string(rightShare(r)) + "% right first time (" + r.hands + " hand" +
           (r.hands == "both" ? "s" : "") + ", tempo " + std::to_string(r.tempoPercent) + "%, " + r.date + ")";
}

std::string progressKey(const std::string& songPath) {
    return printable(std::filesystem::path(songPath).filename().string());
}

std::string formatProgress(const ProgressBook& book) {
    std::ostringstream out;
    out << HEADER;
    for (const auto& [key, r] : book.best)
        out << r.rightFirstTime << '\t' << r.entries << '\t' << r.wrongLetters << '\t' << milliseconds(r.longestWait)
            << '\t' << r.timed << '\t' << milliseconds(r.meanOffset) << '\t' << r.tempoPercent << '\t' << r.hands
            << '\t' << r.date << '\t' << key << '\n';
    for (const std::string& line : book.otherLines) out << line << '\n';
    return out.str();
}

ProgressBook parseProgress(const std::string& text) {
    ProgressBook book;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::string key;
        PracticeResult r;
        if (!parseLine(line, key, r)) {
            book.otherLines.push_back(line);
        } else if (book.best.count(key) == 0 || better(r, book.best[key])) {
            book.best[key] = r;
        }
    }
    return book;
}

std::string progressPath() {
    const std::string data = userDataDir();
    return data.empty() ? data : data + "/progress";
}

bool readProgress(const std::string& path, ProgressBook& book, std::string& problem) {
    book = ProgressBook();
    std::string text;
    switch (readSmallFile(path, MAX_PROGRESS_BYTES, text)) {
    case FileRead::Read:
        book = parseProgress(text);
        return true;
    case FileRead::Missing:
        if (errno == ENOENT) return true;  // none yet
        problem = std::strerror(errno);
        return false;
    case FileRead::NotRegular:
        problem = "it is not a regular file";
        return false;
    case FileRead::TooLarge:
        problem = "it is larger than " + std::to_string(MAX_PROGRESS_BYTES) + " bytes";
        return false;
    case FileRead::Failed:
        problem = std::strerror(errno);
        return false;
    }
    return false;
}

std::string writeProgress(const std::string& path, const ProgressBook& book) {
    std::error_code made;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), made);
    if (made) return made.message();
    return writeWhole(path, formatProgress(book));
}
