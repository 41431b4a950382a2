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
void* const FONT = GLUT_BITMAP_9_BY_15;
const float GLYPH_WIDTH = 9;  // pixels
const float GLYPH_HEIGHT = 15;

void text(const std::string& s) {
    for (char c : s) glutBitmapCharacter(FONT, static_cast<unsigned char>(c));
}

// A band of colour behind text goes this far beyond the text's width, and from this far below
// its baseline to this far above it (pixels).
const float BACKING_SIDE = 4, BACKING_BELOW = 4, BACKING_ABOVE = GLYPH_HEIGHT - 2;
const float MARK_RADIUS = 10;  // pixels
const float MARK_INSET = 28;   // from the window's top and right edges to the mark's centre
const float CAPTION_LEFT = 16, CAPTION_BELOW_TOP = 32;  // its baseline's start, from the top left
// What may stray past the outlines above: the glyphs' own extent and GL's rounding.
const int ITEM_MARGIN = 2;

// A text's width, and where a label's text starts: the left end of its baseline.
float textWidth(const std::string& s) { return GLYPH_WIDTH * static_cast<float>(s.size()); }
float labelLeft(const OverlayItem& l) { return l.x - textWidth(l.text) / 2; }
float labelBaseline(const OverlayItem& l) { return l.y - GLYPH_HEIGHT / 3; }

// The band and the glyphs of a text starting at (left, baseline): the glyphs of the 9 x 15 font
// reach from 4 pixels below the baseline to 12 above it, inside the band.
ScreenBox textBox(float left, float baseline, const std::string& s) {
    return boxAround(left - BACKING_SIDE, baseline - BACKING_BELOW, left + textWidth(s) + BACKING_SIDE,
                     baseline + std::max(BACKING_ABOVE, GLYPH_HEIGHT), ITEM_MARGIN);
}

OverlayItem label(float x, float y, std::string text, bool dark, bool hint) {
    OverlayItem l;
    l.kind = OverlayItem::Kind::Label;
    l.x = x;
    l.y = y;
    l.text = std::move(text);
    l.dark = dark;
    l.hint = hint;
    l.box = textBox(labelLeft(l), labelBaseline(l), l.text);
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
// row before the lower octave, where the left hand plays them. Playing along, the letter to
// press next is on its key: a chord's on the middle one of its keys.
void addKeyLabels(const Scene& scene, bool all, int hintKey, std::vector<OverlayItem>& labels) {
    float x, y;
    for (std::size_t p = 0; p < NOTE_LETTERS.size(); ++p) {
        const int index = noteIndexKey(static_cast<int>(p));
        if (!all && index != hintKey) continue;
        if (onKey(scene, index, x, y))
            labels.push_back(label(x, y, std::string(1, NOTE_LETTERS[p]), index < NUM_WHITE_KEYS, index == hintKey));
    }
    for (int q = 0; q < 5 && scene.hintChord >= 0 && scene.hintChord < NUM_CHORDS; ++q) {
        if (CHORD_KEY_TABLE[scene.mode][q] != scene.hintChord) continue;
        const ChordInfo& chord = CHORDS[static_cast<std::size_t>(scene.hintChord)];
        if (onKey(scene, chord.notes[chord.numNotes / 2], x, y))
            labels.push_back(label(x, y, std::string(1, CHORD_LETTERS[static_cast<std::size_t>(q)]), false, true));
    }
    if (!all) return;
    for (int q = 0; q < 5; ++q) {
        const std::string name = CHORD_NAMES[CHORD_KEY_TABLE[scene.mode][q]];
        if (toWindow(-4.2f + 0.9f * static_cast<float>(q), 0, KEYBOARD_HEIGHT / 2 + 0.4f, x, y))
            labels.push_back(label(x, y, std::string(1, CHORD_LETTERS[static_cast<std::size_t>(q)]) + " " + name, false, false));
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
void backing(float left, float baseline, float width, float r, float g, float b, float a) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(r, g, b, a);
    glRectf(left - BACKING_SIDE, baseline - BACKING_BELOW, left + width + BACKING_SIDE, baseline + BACKING_ABOVE);
    glDisable(GL_BLEND);
}

// A label: its text centred on (x, y), on a band of its own colour so it reads over a key, a
// hand or the background alike.
void drawLabel(const OverlayItem& l) {
    const float width = textWidth(l.text);
    const float left = labelLeft(l), baseline = labelBaseline(l);
    if (l.hint) backing(left, baseline, width, 0.1f, 0.35f, 0.9f, 0.95f);
    else if (l.dark) backing(left, baseline, width, 0.95f, 0.95f, 0.9f, 0.85f);
    else backing(left, baseline, width, 0.05f, 0.05f, 0.08f, 0.8f);
    if (l.dark && !l.hint) glColor3f(0.05f, 0.05f, 0.1f);
    else glColor3f(1.0f, 1.0f, 0.9f);
    glRasterPos2f(left, baseline);
    text(l.text);
}

// The caption at the top left, light on a dark band so that it reads on every picture and
// in the dark of the concert lights.
void drawCaption(const OverlayItem& caption) {
    backing(caption.x, caption.y, textWidth(caption.text), 0, 0, 0, 0.6f);
    glColor3f(1, 1, 1);
    glRasterPos2f(caption.x, caption.y);
    text(caption.text);
}

// A red dot in the top right corner while a recording runs.
void drawRecordingMark(const OverlayItem& mark) {
    glColor3f(0.9f, 0.05f, 0.05f);
    glBegin(GL_POLYGON);
    for (int i = 0; i < 24; ++i) {
        const float a = 2 * PI * static_cast<float>(i) / 24;
        glVertex2f(mark.x + MARK_RADIUS * std::cos(a), mark.y + MARK_RADIUS * std::sin(a));
    }
    glEnd();
}
}  // namespace

std::vector<OverlayItem> layOutOverlay(const Scene& scene) {
    std::vector<OverlayItem> items;
    if (!scene.lettersOn && scene.caption.empty() && scene.hintKey < 0 && scene.hintChord < 0 && !scene.recording)
        return items;
    addKeyLabels(scene, scene.lettersOn, scene.hintKey, items);
    int viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const float width = static_cast<float>(viewport[2]), height = static_cast<float>(viewport[3]);
    if (!scene.caption.empty()) {
        OverlayItem caption;
        caption.kind = OverlayItem::Kind::Caption;
        caption.x = CAPTION_LEFT;
        caption.y = height - CAPTION_BELOW_TOP;
        caption.text = scene.caption;
        caption.box = textBox(caption.x, caption.y, caption.text);
        items.push_back(caption);
    }
    if (scene.recording) {
        OverlayItem mark;
        mark.kind = OverlayItem::Kind::RecordingMark;
        mark.x = width - MARK_INSET;
        mark.y = height - MARK_INSET;
        mark.box = boxAround(mark.x - MARK_RADIUS, mark.y - MARK_RADIUS, mark.x + MARK_RADIUS, mark.y + MARK_RADIUS,
                             ITEM_MARGIN);
        items.push_back(mark);
    }
    return items;
}

void drawOverlay(const std::vector<OverlayItem>& items) {
    if (items.empty()) return;
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    beginWindowDrawing();
    for (const OverlayItem& item : items) {
        switch (item.kind) {
            case OverlayItem::Kind::Label: drawLabel(item); break;
            case OverlayItem::Kind::Caption: drawCaption(item); break;
            case OverlayItem::Kind::RecordingMark: drawRecordingMark(item); break;
        }
    }
    endWindowDrawing();
    glPopAttrib();
}

void drawOverlay(const Scene& scene) { drawOverlay(layOutOverlay(scene)); }
