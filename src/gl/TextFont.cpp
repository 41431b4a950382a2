// FreeType glyphs drawn as GL bitmaps, cached per size.
#include "TextFont.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <cstdio>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace {
// Sizes whose glyphs are kept: the main window's text and the help window's, and a few more
// while a window is being resized.
constexpr std::size_t KEPT_SIZES = 4;
constexpr char32_t REPLACEMENT = 0xFFFD;

// The next character of UTF-8 text; a byte that does not start a valid sequence is U+FFFD.
char32_t nextCharacter(const std::string& text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(at++);
    if (first < 0x80) return first;
    const int more = first >= 0xF5 ? -1 : first >= 0xF0 ? 3 : first >= 0xE0 ? 2 : first >= 0xC2 ? 1 : -1;
    if (more < 0 || at + static_cast<std::size_t>(more) > text.size()) return REPLACEMENT;
    char32_t c = first & (0x3F >> more);
    for (int i = 0; i < more; ++i) {
        if ((byte(at + static_cast<std::size_t>(i)) & 0xC0) != 0x80) return REPLACEMENT;
        c = (c << 6) | (byte(at + static_cast<std::size_t>(i)) & 0x3F);
    }
    at += static_cast<std::size_t>(more);
    return c;
}
}  // namespace

TextFont::TextFont(const std::string& file) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    FT_Error error = FT_Init_FreeType(&library);
    if (error == 0) error = FT_New_Face(library, file.c_str(), 0, &face);
    if (error != 0) {
        std::fprintf(stderr, "tinklewood: cannot read the font %s (FreeType error %d); text is drawn at one size\n",
                     file.c_str(), error);
        if (library != nullptr) FT_Done_FreeType(library);
        return;
    }
    library_ = library;
    face_ = face;
}

TextFont::~TextFont() {
    if (face_ != nullptr) FT_Done_Face(static_cast<FT_Face>(face_));
    if (library_ != nullptr) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

const TextFont::Glyph& TextFont::glyph(char32_t c, int pixels) {
    auto size = std::find_if(sizes_.begin(), sizes_.end(), [&](const auto& s) { return s.first == pixels; });
    if (size == sizes_.end()) {
        if (sizes_.size() >= KEPT_SIZES) sizes_.erase(sizes_.begin());
        sizes_.emplace_back(pixels, std::map<char32_t, Glyph>());
    } else if (size + 1 != sizes_.end()) {
        std::rotate(size, size + 1, sizes_.end());  // the last used goes to the back
    }
    std::map<char32_t, Glyph>& glyphs = sizes_.back().second;
    const auto found = glyphs.find(c);
    if (found != glyphs.end()) return found->second;

    Glyph& g = glyphs[c];
    const auto face = static_cast<FT_Face>(face_);
    if (faceSize_ != pixels) {
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels));
        faceSize_ = pixels;
    }
    // One bit a pixel, hinted for it: crisp as a bitmap font, at any size.
    if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) != 0) return g;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    g.width = static_cast<int>(bitmap.width);
    g.rows = static_cast<int>(bitmap.rows);
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    const std::size_t rowBytes = (bitmap.width + 7) / 8;
    g.bits.resize(rowBytes * bitmap.rows);
    // FreeType's rows go down from the top, GL's up from the bottom.
    for (unsigned int row = 0; row < bitmap.rows; ++row) {
        const unsigned char* from = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
        std::copy(from, from + rowBytes, g.bits.begin() + static_cast<std::ptrdiff_t>((bitmap.rows - 1 - row) * rowBytes));
    }
    return g;
}

void TextFont::draw(const std::string& text, int pixels) {
    if (face_ == nullptr) {
        for (char c : text) glutBitmapCharacter(GLUT_BITMAP_9_BY_15, static_cast<unsigned char>(c));
        return;
    }
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);  // FreeType's bits go from the high one
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    for (std::size_t at = 0; at < text.size();) {
        const Glyph& g = glyph(nextCharacter(text, at), pixels);
        glBitmap(g.width, g.rows, static_cast<float>(-g.left), static_cast<float>(g.rows - g.top),
                 static_cast<float>(g.advance), 0, g.bits.empty() ? nullptr : g.bits.data());
    }
    glPopClientAttrib();
}

int TextFont::width(const std::string& text, int pixels) {
    if (face_ == nullptr) return 9 * static_cast<int>(text.size());
    int total = 0;
    for (std::size_t at = 0; at < text.size();) total += glyph(nextCharacter(text, at), pixels).advance;
    return total;
}
