// Text at any size: DejaVu Sans Mono (Debian's fonts-dejavu-core) rasterized by FreeType into
// one-bit glyphs and drawn with glBitmap, the way GLUT draws its bitmap fonts, so text looks
// as it did in GLUT's 9 x 15 font (9 pixels a character at 15) and grows with the window.
// Without the font file, GLUT's 9 x 15 font draws everything at its one size.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ShellOnly.h"

inline constexpr const char* TEXT_FONT_FILE = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
// The font's size in pixels (its em) where GLUT's 9 x 15 font stood: the text at the windows'
// first sizes.
constexpr int BASE_TEXT_PIXELS = 15;

class TextFont {
public:
    // Opens the font; one line on stderr when it cannot, and GLUT's font stands in.
    explicit TextFont(const std::string& file = TEXT_FONT_FILE);
    ~TextFont();
    TextFont(const TextFont&) = delete;
    TextFont& operator=(const TextFont&) = delete;

    // Draws UTF-8 text from the current raster position, its baseline there, at `pixels` a
    // line (the font's em), and moves the raster position past it.
    void draw(const std::string& text, int pixels);
    // The width the text takes at that size, in pixels.
    int width(const std::string& text, int pixels);
    // False when GLUT's fixed font stands in for the font file.
    bool scalable() const { return face_ != nullptr; }

private:
    struct Glyph {
        int width = 0, rows = 0;  // pixels
        int left = 0, top = 0;    // from the pen position to the bitmap's left edge and top row
        int advance = 0;          // to the next pen position
        std::vector<unsigned char> bits;  // rows from the bottom up, each (width + 7) / 8 bytes
    };
    const Glyph& glyph(char32_t c, int pixels);

    void* library_ = nullptr;  // FT_Library and FT_Face, kept out of the header
    void* face_ = nullptr;
    int faceSize_ = 0;
    // Glyphs as drawn at each size in use, the last size used at the back: a window dragged to
    // many sizes keeps only the last few.
    std::vector<std::pair<int, std::map<char32_t, Glyph>>> sizes_;
};
