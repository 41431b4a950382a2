// The names the user's layout gives the playing letters' keys, and text naming keys by them.
#include "KeyLayout.h"

LetterNames::LetterNames() {
    for (std::size_t i = 0; i < names_.size(); ++i) names_[i] = std::string(1, PLAYING_LETTERS[i]);
}

std::string LetterNames::of(unsigned char letter) const {
    const int index = playingLetterIndex(letter);
    return index < 0 ? std::string(1, static_cast<char>(letter)) : names_[static_cast<std::size_t>(index)];
}

void LetterNames::set(unsigned char letter, const std::string& name) {
    const int index = playingLetterIndex(letter);
    if (index < 0) return;
    names_[static_cast<std::size_t>(index)] = name.empty() ? std::string(1, static_cast<char>(letter)) : name;
}

std::string LetterNames::describe() const {
    std::string out;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (i > 0) out += ' ';
        out += std::string(1, PLAYING_LETTERS[i]) + "=" + names_[i];
    }
    return out;
}

std::string nameLettersIn(std::string_view text, const LetterNames& names) {
    std::string out;
    out.reserve(text.size());
    const auto separates = [&](std::size_t at) { return at >= text.size() || text[at] == ' ' || text[at] == '\n' || text[at] == '\r'; };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool alone = (i == 0 || separates(i - 1)) && separates(i + 1);
        out += alone && playingLetterIndex(c) >= 0 ? names.of(c) : std::string(1, text[i]);
    }
    return out;
}
