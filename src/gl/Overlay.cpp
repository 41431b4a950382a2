// Captions, letters on keys and the recording mark, drawn flat over the scene in window pixels.
#include "Overlay.h"

#include <GL/freeglut.h>

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "ChordInfo.h"
#include "constants.h"
#include "Letters.h"
#include "Scene.h"

namespace {
// The text's size against the window's: as it always was at the first height of 1000 pixels
// and up to it, and growing with the height beyond, as the scene does (its field of view is
// vertical), so it reads on a large screen as on a small one.
constexpr double FIRST_HEIGHT = 1000;
double textScale(int windowHeight) { return std::max(1.0, windowHeight / FIRST_HEIGHT); }

// Sizes in the window's pixels: those of the first window, times the text's scale.
struct Metrics {
    double scale;
    int pixels;  // the font's size
    float at(float firstPixels) const { return static_cast<float>(firstPixels * scale); }
};
Metrics metricsFor(int windowHeight) {
    const double scale = textScale(windowHeight);
    return {scale, static_cast<int>(std::lround(BASE_TEXT_PIXELS * scale))};
}

// A band of colour behind text goes this far beyond the text's width, and from this far below
// its baseline to this far below the font's size above it (first-window pixels).
const float BACKING_SIDE = 4, BACKING_BELOW = 4, BACKING_SHORT = 2;
const float MARK_RADIUS = 10;  // first-window pixels
const float MARK_INSET = 28;   // from the window's top and right edges to the mark's centre
const float CAPTION_LEFT = 16, CAPTION_BELOW_TOP = 32;  // its baseline's start, from the top left
// What may stray past the outlines above: GL's rounding.
const int ITEM_MARGIN = 2;

// The band and the glyphs of a text `width` wide starting at (left, baseline): the glyphs reach
// at most a quarter of the font's size below the baseline, and an accented capital a quarter
// above its size.
ScreenBox textBox(const Metrics& m, float left, float baseline, float width) {
    const auto pixels = static_cast<float>(m.pixels);
    return boxAround(left - m.at(BACKING_SIDE), baseline - std::max(m.at(BACKING_BELOW), pixels / 4),
                     left + width + m.at(BACKING_SIDE), baseline + pixels * 1.25f, ITEM_MARGIN);
}

// A label: its text centred on (x, y), its baseline a third of the font's size below.
OverlayItem label(TextFont& font, const Metrics& m, float x, float y, std::string text, bool dark, bool hint) {
    OverlayItem l;
    l.kind = OverlayItem::Kind::Label;
    l.x = x;
    l.y = y;
    l.text = std::move(text);
    l.dark = dark;
    l.hint = hint;
    l.pixels = m.pixels;
    l.width = static_cast<float>(font.width(l.text, m.pixels));
    l.box = textBox(m, x - l.width / 2, y - static_cast<float>(m.pixels) / 3, l.width);
    return l;
}

// Where a scene point lands in the window under the camera in force; false behind the eye.
bool toWindow(float x, float y, float z, float& wx, float& wy) {
    double model[16], projection[16], wz;
    int viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    double px, py;
    if (gluProject(x, y, z, model, projection, viewport, &px, &py, &wz) != GL_TRUE || wz < 0 || wz > 1) return false;
    wx = static_cast<float>(px);
    wy = static_cast<float>(py);
    return true;
}

// Where a letter on key `index` goes: near the front of the key's top as it now stands.
bool onKey(const Scene& scene, int index, float& x, float& y) {
    const PianoKey& key = scene.keys[static_cast<std::size_t>(index)];
    const bool black = index >= NUM_WHITE_KEYS;
    const float top = key.posY - key.height * 0.25f * key.pressFactor + key.height * (1 - key.pressFactor * 0.5f) / 2;
    const float front = key.posZ + key.length / 2 - (black ? 0.25f : 0.3f);
    return toWindow(key.posX, top, front, x, y);
}

// The note letters on their keys, and the chord letters with their chords in this mode in a
// row before the lower octave, where the left hand plays them, each as the user's layout names
// its key. Playing along, the letter to press next is on its key: a chord's on the middle one of
// its keys.
void addKeyLabels(const Scene& scene, TextFont& font, const Metrics& m, std::vector<OverlayItem>& labels) {
    const bool all = scene.lettersOn;
    const auto named = [&](char letter) { return scene.letterNames.of(static_cast<unsigned char>(letter)); };
    float x, y;
    for (std::size_t p = 0; p < NOTE_LETTERS.size(); ++p) {
        const int index = noteIndexKey(static_cast<int>(p));
        if (!all && index != scene.hintKey) continue;
        if (onKey(scene, index, x, y))
            labels.push_back(label(font, m, x, y, named(NOTE_LETTERS[p]), index < NUM_WHITE_KEYS, index == scene.hintKey));
    }
    for (int q = 0; q < 5 && scene.hintChord >= 0 && scene.hintChord < NUM_CHORDS; ++q) {
        if (CHORD_KEY_TABLE[scene.mode][q] != scene.hintChord) continue;
        const ChordInfo& chord = CHORDS[static_cast<std::size_t>(scene.hintChord)];
        if (onKey(scene, chord.notes[chord.numNotes / 2], x, y))
            labels.push_back(label(font, m, x, y, named(CHORD_LETTERS[static_cast<std::size_t>(q)]), false, true));
    }
    if (!all) return;
    for (int q = 0; q < 5; ++q) {
        const std::string name = CHORD_NAMES[CHORD_KEY_TABLE[scene.mode][q]];
        if (toWindow(-4.2f + 0.9f * static_cast<float>(q), 0, KEYBOARD_HEIGHT / 2 + 0.4f, x, y))
            labels.push_back(label(font, m, x, y, named(CHORD_LETTERS[static_cast<std::size_t>(q)]) + " " + name, false, false));
    }
}

// From here on drawing is in window pixels, origin at the bottom left.
void beginWindowDrawing() {
    int viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, viewport[2], 0, viewport[3], -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void endWindowDrawing() {
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

// A band of colour behind text that starts at (left, baseline).
void backing(const Metrics& m, float left, float baseline, float width, float r, float g, float b, float a) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(r, g, b, a);
    glRectf(left - m.at(BACKING_SIDE), baseline - m.at(BACKING_BELOW), left + width + m.at(BACKING_SIDE),
            baseline + static_cast<float>(m.pixels) - m.at(BACKING_SHORT));
    glDisable(GL_BLEND);
}

void drawLabel(const OverlayItem& l, TextFont& font, const Metrics& m) {
    const float left = l.x - l.width / 2, baseline = l.y - static_cast<float>(m.pixels) / 3;
    if (l.hint) backing(m, left, baseline, l.width, 0.1f, 0.35f, 0.9f, 0.95f);
    else if (l.dark) backing(m, left, baseline, l.width, 0.95f, 0.95f, 0.9f, 0.85f);
    else backing(m, left, baseline, l.width, 0.05f, 0.05f, 0.08f, 0.8f);
    if (l.dark && !l.hint) glColor3f(0.05f, 0.05f, 0.1f);
    else glColor3f(1.0f, 1.0f, 0.9f);
    glRasterPos2f(left, baseline);
    font.draw(l.text, m.pixels);
}

// The caption at the top left, light on a dark band so that it reads on every picture and
// in the dark of the concert lights.
void drawCaption(const OverlayItem& caption, TextFont& font, const Metrics& m) {
    backing(m, caption.x, caption.y, caption.width, 0, 0, 0, 0.6f);
    glColor3f(1, 1, 1);
    glRasterPos2f(caption.x, caption.y);
    font.draw(caption.text, m.pixels);
}

// A red dot in the top right corner while a recording runs.
void drawRecordingMark(const OverlayItem& mark, const Metrics& m) {
    const float radius = m.at(MARK_RADIUS);
    glColor3f(0.9f, 0.05f, 0.05f);
    glBegin(GL_POLYGON);
    for (int i = 0; i < 24; ++i) {
        const float a = 2 * PI * static_cast<float>(i) / 24;
        glVertex2f(mark.x + radius * std::cos(a), mark.y + radius * std::sin(a));
    }
    glEnd();
}
}  // namespace

std::vector<OverlayItem> layOutOverlay(const Scene& scene, TextFont& font) {
    std::vector<OverlayItem> items;
    if (!scene.lettersOn && scene.caption.empty() && scene.hintKey < 0 && scene.hintChord < 0 && !scene.recording)
        return items;
    int viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const Metrics m = metricsFor(viewport[3]);
    addKeyLabels(scene, font, m, items);
    const float width = static_cast<float>(viewport[2]), height = static_cast<float>(viewport[3]);
    if (!scene.caption.empty()) {
        OverlayItem caption;
        caption.kind = OverlayItem::Kind::Caption;
        caption.x = m.at(CAPTION_LEFT);
        caption.y = height - m.at(CAPTION_BELOW_TOP);
        caption.text = scene.caption;
        caption.pixels = m.pixels;
        caption.width = static_cast<float>(font.width(caption.text, m.pixels));
        caption.box = textBox(m, caption.x, caption.y, caption.width);
        items.push_back(caption);
    }
    if (scene.recording) {
        OverlayItem mark;
        mark.kind = OverlayItem::Kind::RecordingMark;
        mark.x = width - m.at(MARK_INSET);
        mark.y = height - m.at(MARK_INSET);
        mark.pixels = m.pixels;
        const float radius = m.at(MARK_RADIUS);
        mark.box = boxAround(mark.x - radius, mark.y - radius, mark.x + radius, mark.y + radius, ITEM_MARGIN);
        items.push_back(mark);
    }
    return items;
}

void drawOverlay(const std::vector<OverlayItem>& items, TextFont& font) {
    if (items.empty()) return;
    int viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const Metrics m = metricsFor(viewport[3]);
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    beginWindowDrawing();
    for (const OverlayItem& item : items) {
        switch (item.kind) {
            case OverlayItem::Kind::Label: drawLabel(item, font, m); break;
            case OverlayItem::Kind::Caption: drawCaption(item, font, m); break;
            case OverlayItem::Kind::RecordingMark: drawRecordingMark(item, m); break;
        }
    }
    endWindowDrawing();
    glPopAttrib();
}

void drawOverlay(const Scene& scene, TextFont& font) { drawOverlay(layOutOverlay(scene, font), font); }
