// Captions, letters on keys and the recording mark, drawn flat over the scene in window pixels.
#include "Overlay.h"

#include <GL/freeglut.h>

#include <GL/glu.h>

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

// A label drawn flat on the window: its text centred on (x, y), on a box of its own colour so
// it reads over a key, a hand or the background alike.
struct Label {
    float x, y;  // window pixels
    std::string text;
    bool dark;   // dark text on a light box (a white key's), or the other way round
    bool hint = false;  // the letter to press next when playing along
};

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
std::vector<Label> keyLabels(const Scene& scene, bool all, int hintKey) {
    std::vector<Label> labels;
    float x, y;
    for (std::size_t p = 0; p < NOTE_LETTERS.size(); ++p) {
        const int index = noteIndexKey(static_cast<int>(p));
        if (!all && index != hintKey) continue;
        if (onKey(scene, index, x, y))
            labels.push_back({x, y, std::string(1, NOTE_LETTERS[p]), index < NUM_WHITE_KEYS, index == hintKey});
    }
    for (int q = 0; q < 5 && scene.hintChord >= 0 && scene.hintChord < NUM_CHORDS; ++q) {
        if (CHORD_KEY_TABLE[scene.mode][q] != scene.hintChord) continue;
        const ChordInfo& chord = CHORDS[static_cast<std::size_t>(scene.hintChord)];
        if (onKey(scene, chord.notes[chord.numNotes / 2], x, y))
            labels.push_back({x, y, std::string(1, CHORD_LETTERS[static_cast<std::size_t>(q)]), false, true});
    }
    if (!all) return labels;
    for (int q = 0; q < 5; ++q) {
        const std::string name = CHORD_NAMES[CHORD_KEY_TABLE[scene.mode][q]];
        if (toWindow(-4.2f + 0.9f * static_cast<float>(q), 0, KEYBOARD_HEIGHT / 2 + 0.4f, x, y))
            labels.push_back({x, y, std::string(1, CHORD_LETTERS[static_cast<std::size_t>(q)]) + " " + name, false});
    }
    return labels;
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
    glRectf(left - 4, baseline - 4, left + width + 4, baseline + GLYPH_HEIGHT - 2);
    glDisable(GL_BLEND);
}

void drawLabels(const std::vector<Label>& labels) {
    for (const Label& l : labels) {
        const float width = GLYPH_WIDTH * static_cast<float>(l.text.size());
        const float left = l.x - width / 2, baseline = l.y - GLYPH_HEIGHT / 3;
        if (l.hint) backing(left, baseline, width, 0.1f, 0.35f, 0.9f, 0.95f);
        else if (l.dark) backing(left, baseline, width, 0.95f, 0.95f, 0.9f, 0.85f);
        else backing(left, baseline, width, 0.05f, 0.05f, 0.08f, 0.8f);
        if (l.dark && !l.hint) glColor3f(0.05f, 0.05f, 0.1f);
        else glColor3f(1.0f, 1.0f, 0.9f);
        glRasterPos2f(left, baseline);
        text(l.text);
    }
}

// The caption at the top left, light on a dark band so that it reads on every picture and
// in the dark of the concert lights.
void drawCaption(const std::string& caption) {
    int viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const float left = 16, baseline = static_cast<float>(viewport[3]) - 32;
    backing(left, baseline, GLYPH_WIDTH * static_cast<float>(caption.size()), 0, 0, 0, 0.6f);
    glColor3f(1, 1, 1);
    glRasterPos2f(left, baseline);
    text(caption);
}
// A red dot in the top right corner while a recording runs.
void drawRecordingMark() {
    int viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const float radius = 10, x = static_cast<float>(viewport[2]) - 28, y = static_cast<float>(viewport[3]) - 28;
    glColor3f(0.9f, 0.05f, 0.05f);
    glBegin(GL_POLYGON);
    for (int i = 0; i < 24; ++i) {
        const float a = 2 * PI * static_cast<float>(i) / 24;
        glVertex2f(x + radius * std::cos(a), y + radius * std::sin(a));
    }
    glEnd();
}
}  // namespace

void drawOverlay(const Scene& scene) {
    const std::string& caption = scene.caption;
    const int hintKey = scene.hintKey;
    const bool recordingMark = scene.recording;
    if (!scene.lettersOn && caption.empty() && hintKey < 0 && scene.hintChord < 0 && !recordingMark) return;
    const std::vector<Label> labels = keyLabels(scene, scene.lettersOn, hintKey);
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    beginWindowDrawing();
    drawLabels(labels);
    if (!caption.empty()) drawCaption(caption);
    if (recordingMark) drawRecordingMark();
    endWindowDrawing();
    glPopAttrib();
}
