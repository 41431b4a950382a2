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

// A label drawn flat on the window: its text centred on (x, y), on a box of its own colour so
// it reads over a key, a hand or the background alike.
struct Label {
    float x, y;  // window pixels
    std::string text;  // UTF-8
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

// The note letters on their keys, near the front of each key's top as it now stands, and
// the chord letters with their chords in this mode in a row before the lower octave, where
// the left hand plays them.
std::vector<Label> keyLabels(const Scene& scene, bool all, int hintKey) {
    std::vector<Label> labels;
    float x, y;
    for (std::size_t p = 0; p < NOTE_LETTERS.size(); ++p) {
        const int index = noteIndexKey(static_cast<int>(p));
        if (!all && index != hintKey) continue;
        const PianoKey& key = scene.keys[static_cast<std::size_t>(index)];
        const bool black = index >= NUM_WHITE_KEYS;
        const float top = key.posY - key.height * 0.25f * key.pressFactor + key.height * (1 - key.pressFactor * 0.5f) / 2;
        const float front = key.posZ + key.length / 2 - (black ? 0.25f : 0.3f);
        if (toWindow(key.posX, top, front, x, y))
            labels.push_back({x, y, scene.letterNames.of(static_cast<unsigned char>(NOTE_LETTERS[p])), !black, index == hintKey});
    }
    if (!all) return labels;
    for (int q = 0; q < 5; ++q) {
        const std::string name = CHORD_NAMES[CHORD_KEY_TABLE[scene.mode][q]];
        if (toWindow(-4.2f + 0.9f * static_cast<float>(q), 0, KEYBOARD_HEIGHT / 2 + 0.4f, x, y))
            labels.push_back({x, y, scene.letterNames.of(static_cast<unsigned char>(CHORD_LETTERS[static_cast<std::size_t>(q)])) + " " + name, false});
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

// Sizes in the window's pixels: those of the first window, times the text's scale.
struct Metrics {
    double scale;
    int pixels;  // the font's size
    float at(float firstPixels) const { return static_cast<float>(firstPixels * scale); }
};

// A band of colour behind text that starts at (left, baseline).
void backing(const Metrics& m, float left, float baseline, float width, float r, float g, float b, float a) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(r, g, b, a);
    glRectf(left - m.at(4), baseline - m.at(4), left + width + m.at(4), baseline + static_cast<float>(m.pixels) - m.at(2));
    glDisable(GL_BLEND);
}

void drawLabels(const std::vector<Label>& labels, TextFont& font, const Metrics& m) {
    for (const Label& l : labels) {
        const auto width = static_cast<float>(font.width(l.text, m.pixels));
        const float left = l.x - width / 2, baseline = l.y - static_cast<float>(m.pixels) / 3;
        if (l.hint) backing(m, left, baseline, width, 0.1f, 0.35f, 0.9f, 0.95f);
        else if (l.dark) backing(m, left, baseline, width, 0.95f, 0.95f, 0.9f, 0.85f);
        else backing(m, left, baseline, width, 0.05f, 0.05f, 0.08f, 0.8f);
        if (l.dark && !l.hint) glColor3f(0.05f, 0.05f, 0.1f);
        else glColor3f(1.0f, 1.0f, 0.9f);
        glRasterPos2f(left, baseline);
        font.draw(l.text, m.pixels);
    }
}

// The caption at the top left, light on a dark band so that it reads on every picture and
// in the dark of the concert lights.
void drawCaption(const std::string& caption, TextFont& font, const Metrics& m, int windowHeight) {
    const float left = m.at(16), baseline = static_cast<float>(windowHeight) - m.at(32);
    backing(m, left, baseline, static_cast<float>(font.width(caption, m.pixels)), 0, 0, 0, 0.6f);
    glColor3f(1, 1, 1);
    glRasterPos2f(left, baseline);
    font.draw(caption, m.pixels);
}
// A red dot in the top right corner while a recording runs.
void drawRecordingMark(const Metrics& m, int windowWidth, int windowHeight) {
    const float radius = m.at(10), x = static_cast<float>(windowWidth) - m.at(28),
                y = static_cast<float>(windowHeight) - m.at(28);
    glColor3f(0.9f, 0.05f, 0.05f);
    glBegin(GL_POLYGON);
    for (int i = 0; i < 24; ++i) {
        const float a = 2 * PI * static_cast<float>(i) / 24;
        glVertex2f(x + radius * std::cos(a), y + radius * std::sin(a));
    }
    glEnd();
}
}  // namespace

void drawOverlay(const Scene& scene, TextFont& font) {
    const std::string& caption = scene.caption;
    const int hintKey = scene.hintKey;
    const bool recordingMark = scene.recording;
    if (!scene.lettersOn && caption.empty() && hintKey < 0 && !recordingMark) return;
    const std::vector<Label> labels = keyLabels(scene, scene.lettersOn, hintKey);
    int viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const double scale = textScale(viewport[3]);
    const Metrics metrics{scale, static_cast<int>(std::lround(BASE_TEXT_PIXELS * scale))};
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    beginWindowDrawing();
    drawLabels(labels, font, metrics);
    if (!caption.empty()) drawCaption(caption, font, metrics, viewport[3]);
    if (recordingMark) drawRecordingMark(metrics, viewport[2], viewport[3]);
    endWindowDrawing();
    glPopAttrib();
}
