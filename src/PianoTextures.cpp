// The hands' pictures and the background pictures: decoded once at start-up, uploaded to
// their two texture objects when the choice changes.
#include <GL/gl.h>

#include <cstdio>
#include <stb/stb_image.h>

#include "Draw.h"
#include "Piano.h"

const std::string texPath = "../res/textures/";
const std::string backgroundPath = "../res/backgrounds/";
const std::array<std::string, numTextures> texFiles = {"skin.jpg", "rock.jpg", "flames.jpg"};
const std::array<std::string, numBackgrounds> backgroundFiles = {
    "hall.jpg", "space.jpg", "church.png", "music_box.png", "glee.jpg"};

// Decoded RGBA pixels, top row first; null (and 0 x 0) for a picture that could not be read.
unsigned char* texArrayData[numTextures] = {};
int texDims[numTextures][2] = {};
unsigned char* backgroundArrayData[numBackgrounds] = {};
int backgroundDims[numBackgrounds][2] = {};
int n = 0;  // colour components of the file last decoded

unsigned int handTex = 0;
unsigned int backgroundTex = 0;

namespace {
// Decodes a picture to RGBA. One that cannot be read stays null and 0 x 0, which leaves that
// picture plain; the user is told once, on stderr, which file it was.
unsigned char* loadPicture(const std::string& path, int dims[2]) {
    unsigned char* pixels = stbi_load(path.c_str(), &dims[0], &dims[1], &n, 4);
    if (pixels == nullptr) {
        dims[0] = dims[1] = 0;
        std::fprintf(stderr, "Tinklewood: cannot load picture %s (%s); it is shown plain.\n", path.c_str(),
                     stbi_failure_reason());
    }
    return pixels;
}

// The background picture now in backgroundTex; -1 before the first upload.
int uploadedBackground = -1;
// Counts uploads into backgroundTex, so a copy of the window knows when it is stale.
unsigned int backgroundUploads = 0;

// The background as the window showed it, kept in a texture of the window's size. Drawn
// 1:1 with the nearest texel it gives back the very same pixels for a fraction of the
// cost of filtering the picture up to the window every frame. Made again whenever the
// picture, its brightness or the window change.
struct WindowCopy {
    unsigned int texture = 0;
    int width = 0, height = 0;  // the texture's size
    bool valid = false;
    unsigned int picture = 0, uploads = 0;
    float intensity = 0;
    int viewport[4] = {};

    bool shows(const int vp[4]) const {
        return valid && picture == backgroundTex && uploads == backgroundUploads &&
               intensity == background_intensity && vp[0] == viewport[0] && vp[1] == viewport[1] &&
               vp[2] == viewport[2] && vp[3] == viewport[3];
    }
};
WindowCopy windowCopy;

// Copies the viewport's pixels, just drawn, into the copy.
void takeWindowCopy(const int vp[4]) {
    WindowCopy& c = windowCopy;
    if (c.texture == 0) glGenTextures(1, &c.texture);
    glBindTexture(GL_TEXTURE_2D, c.texture);
    if (c.width != vp[2] || c.height != vp[3]) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, vp[2], vp[3], 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        c.width = vp[2];
        c.height = vp[3];
    }
    GLint readBuffer = GL_BACK;
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);
    glReadBuffer(GL_BACK);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, vp[0], vp[1], vp[2], vp[3]);
    glReadBuffer(static_cast<GLenum>(readBuffer));
    c.valid = true;
    c.picture = backgroundTex;
    c.uploads = backgroundUploads;
    c.intensity = background_intensity;
    for (int i = 0; i < 4; ++i) c.viewport[i] = vp[i];
    glBindTexture(GL_TEXTURE_2D, backgroundTex);
}

// The copy over the whole viewport, texel for pixel, its colours as they are.
void drawWindowCopy() {
    glBindTexture(GL_TEXTURE_2D, windowCopy.texture);
    GLint envMode = GL_MODULATE;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &envMode);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);  glVertex3f(0, 0, -1);
    glTexCoord2f(1, 0);  glVertex3f(1, 0, -1);
    glTexCoord2f(1, 1);  glVertex3f(1, 1, -1);
    glTexCoord2f(0, 1);  glVertex3f(0, 1, -1);
    glEnd();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, envMode);
    glBindTexture(GL_TEXTURE_2D, backgroundTex);
}

void createTextureObject(unsigned int& name) {
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

// An empty image (a picture that failed to load) leaves texturing off for that object.
void upload(const unsigned char* pixels, const int dims[2]) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, dims[0], dims[1], 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
}
}  // namespace

void initTextures() {
    for (int i = 0; i < numTextures; ++i) {
        texArrayData[i] = loadPicture(texPath + texFiles[i], texDims[i]);
    }
    createTextureObject(handTex);
    setTextures();
    for (int i = 0; i < numBackgrounds; ++i) {
        backgroundArrayData[i] = loadPicture(backgroundPath + backgroundFiles[i], backgroundDims[i]);
    }
    createTextureObject(backgroundTex);
    uploadedBackground = -1;
}

void setTextures() {
    glBindTexture(GL_TEXTURE_2D, handTex);
    upload(texArrayData[activeHandTexture], texDims[activeHandTexture]);
}

void setBackground() {
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDepthMask(GL_FALSE);

    glBindTexture(GL_TEXTURE_2D, backgroundTex);
    // The picture only changes with activeBackground; re-sending megabytes every frame
    // would show the same thing.
    if (uploadedBackground != activeBackground) {
        upload(backgroundArrayData[activeBackground], backgroundDims[activeBackground]);
        uploadedBackground = activeBackground;
        ++backgroundUploads;
    }

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glEnable(GL_TEXTURE_2D);
    int viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const bool fast = drawPath == DrawPath::Fast;
    if (fast && windowCopy.shows(viewport)) {
        drawWindowCopy();
    } else {
        glColor4f(background_intensity, background_intensity, background_intensity, 1);
        // Only the quarter 0..1 of this quad is in view, where t = -y: with repeat wrapping
        // that samples row 1 - y, so the picture's top row lands at the window's top.
        glBegin(GL_QUADS);
        glTexCoord2f(-1, 1);  glVertex3f(-1, -1, -1);
        glTexCoord2f(1, 1);   glVertex3f(1, -1, -1);
        glTexCoord2f(1, -1);  glVertex3f(1, 1, -1);
        glTexCoord2f(-1, -1); glVertex3f(-1, 1, -1);
        glEnd();
        if (fast) takeWindowCopy(viewport);
    }
    glColor4f(background_intensity, background_intensity, background_intensity, 1);
    glDisable(GL_TEXTURE_2D);
}
