// The one place names are escaped for printing.
#include "Printable.h"

namespace {
// The length of the valid UTF-8 sequence of two bytes or more that text starts with; 0 when
// it starts with none (an ASCII byte, a stray continuation byte, an overlong form, a
// surrogate, a code point past U+10FFFF, or a sequence cut short).
std::size_t multibyteLength(std::string_view text) {
    const auto at = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const unsigned lead = at(0);
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the range of the byte after the lead
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
        if (lead == 0xED) high = 0x9F;  // the surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong below U+10000
        if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return 0;
    }
    if (at(1) < low || at(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (at(i) < 0x80 || at(i) > 0xBF) return 0;
    return length;
}

void escape(unsigned char c, std::string& out) {
    static const char digits[] = "0123456789abcdef";
    switch (c) {
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default:
        out += "\\x";
        out += digits[c >> 4];
        out += digits[c & 0xF];
    }
}
}  // namespace

std::string printable(std::string_view text, std::size_t limit) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : multibyteLength(text.substr(i));
        const std::size_t step = length == 0 ? 1 : length;
        if (step > limit || i > limit - step) {
            out += "...";
            break;
        }
        // U+0080 to U+009F are control codes too: some terminals take U+009B as an escape.
        const bool control =
            c < 0x20 || c == 0x7F || (c == 0xC2 && length == 2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
        if (length == 0 || control) {
            for (std::size_t k = 0; k < step; ++k) escape(static_cast<unsigned char>(text[i + k]), out);
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            out.append(text, i, step);
        }
        i += step;
    }
    return out;
}
