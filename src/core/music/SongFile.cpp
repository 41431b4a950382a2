// A strict song reader: a malformed file is refused whole, with the first problem named,
// and reading never does work for entries that a count claims but the file lacks. And the
// writer, whose text the reader takes back unchanged.
#include "SongFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {
class Reader {
public:
    explicit Reader(const std::string& text) : text_(text) {}

    // Next white-space separated word, or false at the end of the text.
    bool next(std::string& word) {
        while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
        if (pos_ >= text_.size()) return false;
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !isSpace(text_[pos_])) ++pos_;
        word.assign(text_, start, pos_ - start);
        return true;
    }

    // The next word without moving past it.
    bool peek(std::string& word) {
        const std::size_t saved = pos_;
        const bool found = next(word);
        pos_ = saved;
        return found;
    }

    // Words left, counted lazily and only as far as needed (at most limit).
    std::size_t wordsLeft(std::size_t limit) const {
        std::size_t count = 0, p = pos_;
        while (count < limit) {
            while (p < text_.size() && isSpace(text_[p])) ++p;
            if (p >= text_.size()) break;
            while (p < text_.size() && !isSpace(text_[p])) ++p;
            ++count;
        }
        return count;
    }

private:
    static bool isSpace(char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }
    const std::string& text_;
    std::size_t pos_ = 0;
};

// A word of the file as it may be shown in a message: printable characters only, and short,
// so a binary file cannot write control codes to the terminal.
std::string shown(const std::string& word) {
    const std::size_t limit = 16;
    std::string out;
    for (std::size_t i = 0; i < word.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(word[i]);
        out += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
    }
    if (word.size() > limit) out += "...";
    return out;
}

bool parseNumber(const std::string& word, double& value) {
    errno = 0;
    char* end = nullptr;
    value = std::strtod(word.c_str(), &end);
    return end != word.c_str() && *end == '\0' && errno == 0 && std::isfinite(value);
}

bool parseMode(const std::string& word, Mode& mode) {
    if (word == "major") mode = MAJOR;
    else if (word == "minor") mode = MINOR;
    else return false;
    return true;
}

const char* modeWord(Mode mode) { return mode == MINOR ? "minor" : "major"; }

// A letter index as the reader takes it back: the reader accepts a fractional index (the
// player truncates it), so one is written with all the digits a float needs.
std::string writtenIndex(float index) {
    if (index == std::floor(index)) return std::to_string(static_cast<long>(index));
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(index));
    return text;
}

// Reads one hand's count and entries. With modeChanges, a mode word may stand before any
// entry (the left hand's chords), and is recorded against that entry's index.
bool readHand(Reader& reader, const char* hand, int letters,
              std::vector<std::array<float, 2>>& entries,
              std::vector<std::pair<std::size_t, Mode>>* modeChanges, std::string& error) {
    std::string word;
    // A count that is missing altogether (the text ends) means no entries for this hand.
    if (!reader.next(word)) return true;
    double count = 0;
    if (!parseNumber(word, count) || count != std::floor(count)) {
        error = std::string("the ") + hand + " hand's count \"" + shown(word) + "\" is not a whole number";
        return false;
    }
    if (count < 0) {
        error = std::string("the ") + hand + " hand's count " + shown(word) + " is negative";
        return false;
    }
    // Check the claim against what the file holds before reserving or reading anything.
    const std::size_t needed = static_cast<std::size_t>(std::fmin(count, 1e15)) * 2;
    const std::size_t present = reader.wordsLeft(needed);
    if (present < needed) {
        error = std::string("the ") + hand + " hand announces " + shown(word) + " entries but " +
                std::to_string(present / 2) + " follow";
        return false;
    }
    entries.reserve(needed / 2);
    float endBeat = 0;
    for (std::size_t i = 0; i < needed / 2; ++i) {
        const std::string where =
            std::string(hand) + " hand entry " + std::to_string(i + 1) + ": ";
        std::string durationWord, indexWord;
        // Mode words take words the count check above took for entries: the text may end early.
        bool present = reader.next(durationWord);
        Mode mode = MAJOR;
        if (present && modeChanges != nullptr && parseMode(durationWord, mode)) {
            present = reader.next(durationWord);
            if (present && parseMode(durationWord, mode)) {
                error = where + "two mode words in a row";
                return false;
            }
            modeChanges->emplace_back(i, mode);
        }
        present = present && reader.next(indexWord);
        if (!present) {
            error = std::string("the ") + hand + " hand announces " + shown(word) + " entries but " +
                    std::to_string(i) + " follow";
            return false;
        }
        double duration = 0, index = 0;
        if (!parseNumber(durationWord, duration)) {
            error = where + "duration \"" + shown(durationWord) + "\" is not a number";
            return false;
        }
        // The player matches whole beat counts exactly: anything else would never end.
        if (duration < 1 || duration != std::floor(duration)) {
            error = where + "duration " + shown(durationWord) + " is not a whole number of beats of at least 1";
            return false;
        }
        if (!parseNumber(indexWord, index)) {
            error = where + "index \"" + shown(indexWord) + "\" is not a number";
            return false;
        }
        if (index < 0 || index >= letters) {
            error = where + "index " + shown(indexWord) + " is outside 0 to " + std::to_string(letters - 1);
            return false;
        }
        if (endBeat + duration > MAX_SONG_BEATS) {
            error = where + "the song runs past " + std::to_string(static_cast<long>(MAX_SONG_BEATS)) + " beats";
            return false;
        }
        endBeat += static_cast<float>(duration);
        entries.push_back({endBeat, static_cast<float>(index)});
    }
    return true;
}
}  // namespace

bool parseSong(const std::string& text, int rightLetters, int leftLetters, SongData& song,
               std::string& error) {
    Reader reader(text);
    SongData parsed;
    std::string first;
    Mode mode = MAJOR;
    if (reader.peek(first) && parseMode(first, mode)) {
        reader.next(first);
        parsed.startMode = mode;
    }
    if (!readHand(reader, "right", rightLetters, parsed.right, nullptr, error)) return false;
    if (!readHand(reader, "left", leftLetters, parsed.left, &parsed.modeChanges, error)) return false;
    // Anything after the left hand's entries is not read.
    song = std::move(parsed);
    return true;
}

std::string formatSong(const SongData& song) {
    std::string text;
    if (song.startMode) text += std::string(modeWord(*song.startMode)) + "\n";
    auto writeHand = [&text](const std::vector<std::array<float, 2>>& entries,
                             const std::vector<std::pair<std::size_t, Mode>>& changes) {
        text += std::to_string(entries.size()) + "\n";
        auto change = changes.begin();
        float previous = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (change != changes.end() && change->first == i) {
                text += std::string(modeWord(change->second)) + "\n";
                ++change;
            }
            text += std::to_string(static_cast<long>(entries[i][0] - previous)) + " " +
                    writtenIndex(entries[i][1]) + "\n";
            previous = entries[i][0];
        }
    };
    writeHand(song.right, {});
    writeHand(song.left, song.modeChanges);
    return text;
}
