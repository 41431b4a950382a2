// The hands' pictures and the background pictures: read and checked at start-up, decoded
// and uploaded to their two texture objects when the choice changes.
#include "Pictures.h"

#include <GL/gl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stb/stb_image.h>
#include <thread>
#include <vector>

namespace {
// One picture to decode to RGBA, and where its pixels and size go.
struct Picture {
    std::string path;
    unsigned char** pixels;
    int* dims;
    std::vector<unsigned char>* file;
    bool chosen = false;  // shown first: kept decoded for its first upload
    int components = 0;
    const char* failure = nullptr;  // stb_image's reason, when it could not be read
};

// The pictures do not depend on one another and stb_image keeps its state per thread, so
// they are decoded side by side: start-up waits for the busiest core, not for all eight in
// turn. A picture that cannot be read stays null and 0 x 0, which leaves it plain; the user
// is told on one line of stderr how many there were and which came first in the list: a
// misplaced resource folder loses all eight, and eight lines would bury the line that
// says where the resources were looked for.
void loadPictures(std::vector<Picture>& pictures) {
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; (i = next++) < pictures.size();) {
            Picture& p = pictures[i];
            stbi_image_free(*p.pixels);
            *p.pixels = stbi_load(p.path.c_str(), &p.dims[0], &p.dims[1], &p.components, 4);
            p.file->clear();
            if (*p.pixels == nullptr) {
                p.failure = stbi_failure_reason();
                continue;
            }
            std::ifstream in(p.path, std::ios::binary);
            p.file->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (!p.chosen) {
                stbi_image_free(*p.pixels);
                *p.pixels = nullptr;
            }
        }
    };
    const size_t threads = std::max<size_t>(1, std::min<size_t>(std::thread::hardware_concurrency(), pictures.size()));
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& t : helpers) t.join();
    const Picture* first = nullptr;
    int failed = 0;
    for (Picture& p : pictures) {
        if (p.failure == nullptr) continue;
        p.dims[0] = p.dims[1] = 0;
        if (failed++ == 0) first = &p;
    }
    if (failed == 1) {
        std::fprintf(stderr, "Tinklewood: cannot load picture %s (%s); it is shown plain.\n", first->path.c_str(),
                     first->failure != nullptr ? first->failure : "unknown reason");
    } else if (failed > 1) {
        std::fprintf(stderr, "Tinklewood: cannot load %d pictures, the first %s (%s); they are shown plain.\n",
                     failed, first->path.c_str(), first->failure != nullptr ? first->failure : "unknown reason");
    }
}

// The viewport as 0..1 on both axes, z = -1 on the far plane: where the background lies.
void flatOverViewport() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// With its brightness at 0 (as in concert mode) the picture is black all over, and clearing
// the viewport gives the same pixels as drawing it, for a tenth of the cost. Within the scissor
// box when a frame draws only part of the window, as drawing the picture would be.
void clearToBlack(const int vp[4]) {
    float clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    GLint box[4];
    glGetIntegerv(GL_SCISSOR_BOX, box);
    int x0 = vp[0], y0 = vp[1], x1 = vp[0] + vp[2], y1 = vp[1] + vp[3];
    if (scissor) {
        x0 = std::max(x0, box[0]);
        y0 = std::max(y0, box[1]);
        x1 = std::min(x1, box[0] + box[2]);
        y1 = std::min(y1, box[1] + box[3]);
    }
    glClearColor(0, 0, 0, 1);
    glEnable(GL_SCISSOR_TEST);
    glScissor(x0, y0, std::max(x1 - x0, 0), std::max(y1 - y0, 0));
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(box[0], box[1], box[2], box[3]);
    if (!scissor) glDisable(GL_SCISSOR_TEST);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
}

void createTextureObject(unsigned int& name) {
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

// An empty image (a picture that failed to load) leaves texturing off for that object. The
// pixels are decoded from the file when they are not at hand, and let go once GL has them.
void upload(unsigned char*& pixels, const std::vector<unsigned char>& file, const int dims[2]) {
    int width = 0, height = 0, components = 0;
    if (pixels == nullptr && !file.empty())
        pixels = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &width, &height, &components, 4);
    const bool whole = pixels != nullptr;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, whole ? dims[0] : 0, whole ? dims[1] : 0, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 pixels);
    stbi_image_free(pixels);
    pixels = nullptr;
}
}  // namespace

// What a copy of the window was taken of: when any of it changes, the copy is stale.
struct CopyKey {
    unsigned int picture = 0, uploads = 0;
    float intensity = 0;
    int viewport[4] = {};
    bool operator==(const CopyKey& o) const {
        return picture == o.picture && uploads == o.uploads && intensity == o.intensity &&
               std::equal(viewport, viewport + 4, o.viewport);
    }
};

// Decoded RGBA pixels, top row first, of a picture not uploaded since it was decoded; null
// otherwise, and (with 0 x 0) for a picture that could not be read. The files as read at
// start-up: a picture is decoded again from its file whenever it is chosen, since kept decoded
// the eight would hold 18 MB beside GL's own copies of the two in use.
struct Pictures::Decoded {
    unsigned char* pixels = nullptr;
    int dims[2] = {};
    std::vector<unsigned char> file;
};

// The background as the window showed it, kept in a texture of the window's size. Drawn 1:1
// with the nearest texel it gives back the very same pixels for a fraction of the cost of
// filtering the picture up to the window every frame. Made again whenever the picture, its
// brightness or the window change.
struct Pictures::WindowCopy {
    unsigned int texture = 0;
    int width = 0, height = 0;  // the texture's size
    bool valid = false;
    CopyKey of;  // what it shows, or what the window showed before there was a copy
};

Pictures::Pictures(const ResourcePaths& resources)
    : resources_(resources), hands_(numTextures), backgrounds_(numBackgrounds), copy_(std::make_unique<WindowCopy>()) {}

Pictures::~Pictures() {
    for (Decoded& d : hands_) stbi_image_free(d.pixels);
    for (Decoded& d : backgrounds_) stbi_image_free(d.pixels);
}

void Pictures::load(int handTexture, int background) {
    std::vector<Picture> pictures;
    for (int i = 0; i < numTextures; ++i)
        pictures.push_back({resources_.textures + std::string(HAND_TEXTURE_FILES[static_cast<std::size_t>(i)]), &hands_[i].pixels,
                            hands_[i].dims, &hands_[i].file, i == handTexture});
    for (int i = 0; i < numBackgrounds; ++i)
        pictures.push_back({resources_.backgrounds + std::string(BACKGROUND_FILES[static_cast<std::size_t>(i)]),
                            &backgrounds_[i].pixels, backgrounds_[i].dims, &backgrounds_[i].file, i == background});
    loadPictures(pictures);
    createTextureObject(handTex_);
    useHandTexture(handTexture);
    createTextureObject(backgroundTex_);
    uploadedBackground_ = -1;
    ++loads_;
}

void Pictures::useHandTexture(int handTexture) {
    glBindTexture(GL_TEXTURE_2D, handTex_);
    Decoded& d = hands_[static_cast<std::size_t>(handTexture)];
    upload(d.pixels, d.file, d.dims);
    uploadedHandTexture_ = handTexture;
}

void Pictures::bindHandTexture(int handTexture) {
    if (handTexture != uploadedHandTexture_) useHandTexture(handTexture);
    glBindTexture(GL_TEXTURE_2D, handTex_);
}

void Pictures::holdBackground(int background) {
    Decoded& d = backgrounds_[static_cast<std::size_t>(background)];
    upload(d.pixels, d.file, d.dims);
    backgroundHeld_ = true;
}

void Pictures::takeWindowCopy(const int vp[4], float intensity) {
    WindowCopy& c = *copy_;
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
    // From where the frame is being drawn: the back buffer, or a framebuffer object's colour.
    GLint readBuffer = GL_BACK, drawBuffer = GL_BACK;
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);
    glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
    glReadBuffer(static_cast<GLenum>(drawBuffer));
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, vp[0], vp[1], vp[2], vp[3]);
    glReadBuffer(static_cast<GLenum>(readBuffer));
    c.valid = true;
    c.of = copyKey(vp, intensity);
    glBindTexture(GL_TEXTURE_2D, backgroundTex_);
}

// The copy within the boxes (of window pixels) in the viewport, texel for pixel, its colours
// as they are.
void Pictures::drawWindowCopy(const int vp[4], const std::vector<ScreenBox>& boxes) {
    glBindTexture(GL_TEXTURE_2D, copy_->texture);
    GLint envMode = GL_MODULATE;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &envMode);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBegin(GL_QUADS);
    for (const ScreenBox& box : boxes) {
        const ScreenBox cut = box.within(vp[0] + vp[2], vp[1] + vp[3]);
        if (cut.empty()) continue;
        // Of the viewport, which the projection maps to 0..1.
        const float x0 = static_cast<float>(std::max(cut.x0 - vp[0], 0)) / static_cast<float>(vp[2]);
        const float y0 = static_cast<float>(std::max(cut.y0 - vp[1], 0)) / static_cast<float>(vp[3]);
        const float x1 = static_cast<float>(std::max(cut.x1 - vp[0], 0)) / static_cast<float>(vp[2]);
        const float y1 = static_cast<float>(std::max(cut.y1 - vp[1], 0)) / static_cast<float>(vp[3]);
        glTexCoord2f(x0, y0);  glVertex3f(x0, y0, -1);
        glTexCoord2f(x1, y0);  glVertex3f(x1, y0, -1);
        glTexCoord2f(x1, y1);  glVertex3f(x1, y1, -1);
        glTexCoord2f(x0, y1);  glVertex3f(x0, y1, -1);
    }
    glEnd();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, envMode);
    glBindTexture(GL_TEXTURE_2D, backgroundTex_);
}

bool Pictures::hasCopyOf(int background, float intensity) const {
    if (background != uploadedBackground_ || intensity == 0 || !copy_->valid) return false;
    int viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    return copy_->of == copyKey(viewport, intensity);
}

void Pictures::drawCopyBehind(const std::vector<ScreenBox>& boxes) {
    glDisable(GL_LIGHTING);
    glDepthMask(GL_FALSE);
    // The copy's quad lies on the far plane, where the depth is cleared to: it passes where
    // nothing was drawn.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    flatOverViewport();
    glEnable(GL_TEXTURE_2D);
    int viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    drawWindowCopy(viewport, boxes);
    glDisable(GL_TEXTURE_2D);
    glDepthFunc(GL_LESS);
    glDisable(GL_DEPTH_TEST);
}

CopyKey Pictures::copyKey(const int vp[4], float intensity) const {
    CopyKey key;
    key.picture = backgroundTex_;
    key.uploads = backgroundUploads_;
    key.intensity = intensity;
    std::copy(vp, vp + 4, key.viewport);
    return key;
}

bool Pictures::drawBackground(int background, float intensity, bool fast, const ScreenBox* within) {
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDepthMask(GL_FALSE);

    glBindTexture(GL_TEXTURE_2D, backgroundTex_);
    // The picture only changes with the choice; re-sending megabytes every frame would show
    // the same thing.
    if (uploadedBackground_ != background) {
        holdBackground(background);
        uploadedBackground_ = background;
        ++backgroundUploads_;
    }

    flatOverViewport();
    glEnable(GL_TEXTURE_2D);
    int viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const CopyKey now = copyKey(viewport, intensity);
    bool inBox = false;
    if (fast && intensity == 0) {
        clearToBlack(viewport);
    } else if (fast && copy_->valid && copy_->of == now) {
        drawWindowCopy(viewport, {within != nullptr ? *within
                                                   : ScreenBox{viewport[0], viewport[1], viewport[0] + viewport[2],
                                                               viewport[1] + viewport[3]}});
        inBox = within != nullptr;
        // Sent to llvmpipe's threads now, the picture is drawn while this one works out the
        // keys; clearing is too quick to be worth it.
        glFlush();
    } else {
        if (!backgroundHeld_) holdBackground(background);
        glColor4f(intensity, intensity, intensity, 1);
        // Only the quarter 0..1 of this quad is in view, where t = -y: with repeat wrapping
        // that samples row 1 - y, so the picture's top row lands at the window's top.
        glBegin(GL_QUADS);
        glTexCoord2f(-1, 1);  glVertex3f(-1, -1, -1);
        glTexCoord2f(1, 1);   glVertex3f(1, -1, -1);
        glTexCoord2f(1, -1);  glVertex3f(1, 1, -1);
        glTexCoord2f(-1, -1); glVertex3f(-1, 1, -1);
        glEnd();
        // The copy is taken the second time the same background is drawn: not in the first
        // frame, which should show as soon as it can, nor while the brightness is changing;
        // and only in a frame drawn whole into the window, since it is taken of the whole window
        // (a layer drawn upside down would give it upside down).
        if (fast && !glIsEnabled(GL_SCISSOR_TEST)) {
            if (copy_->of == now && intoWindow_) {
                takeWindowCopy(viewport, intensity);
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
                backgroundHeld_ = false;
            } else if (!(copy_->of == now)) {
                copy_->valid = false;
                copy_->of = now;
            }
        }
    }
    glColor4f(intensity, intensity, intensity, 1);
    glDisable(GL_TEXTURE_2D);
    return inBox;
}
