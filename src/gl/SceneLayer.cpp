// Framebuffer objects through the entry points GLX finds, so that a driver without them (GL
// before 3.0 and without the extension) still runs the program, drawing every part as before.
#include "SceneLayer.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

struct SceneLayer::Gl {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer;
    PFNGLCLIPCONTROLPROC clipControl;  // null where there is none
};

namespace {
template <typename F>
bool find(F& f, const char* name) {
    f = reinterpret_cast<F>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
    return f != nullptr;
}

// GL 3.0 or ARB_framebuffer_object: GLX hands out an entry point for any name, so whether the
// driver has them is read from what it says it is.
bool hasVersionOr(int wantMajor, int wantMinor, const char* extension) {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0, minor = 0;
    if (version != nullptr && std::sscanf(version, "%d.%d", &major, &minor) == 2 &&
        (major > wantMajor || (major == wantMajor && minor >= wantMinor)))
        return true;
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return extensions != nullptr && std::strstr(extensions, extension) != nullptr;
}

// A depth buffer the window's can be copied from: the same bits of depth and of stencil, as
// a copy of depth between framebuffers asks.
GLenum windowDepthFormat() {
    GLint depth = 0, stencil = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    if (depth == 24 && stencil == 8) return GL_DEPTH24_STENCIL8;
    if (depth == 32 && stencil == 8) return GL_DEPTH32F_STENCIL8;
    if (stencil != 0) return 0;
    if (depth == 16) return GL_DEPTH_COMPONENT16;
    if (depth == 24) return GL_DEPTH_COMPONENT24;
    if (depth == 32) return GL_DEPTH_COMPONENT32;
    return 0;
}
}  // namespace

SceneLayer::~SceneLayer() {
    if (context_ != nullptr && context_ == glXGetCurrentContext()) release();
    delete gl_;
}

void SceneLayer::release() {
    if (framebuffer_ != 0) gl_->deleteFramebuffers(1, &framebuffer_);
    if (colour_ != 0) gl_->deleteRenderbuffers(1, &colour_);
    if (depth_ != 0) gl_->deleteRenderbuffers(1, &depth_);
    framebuffer_ = colour_ = depth_ = 0;
    width_ = height_ = askedWidth_ = askedHeight_ = 0;
}

void SceneLayer::letGo() {
    if (gl_ != nullptr && framebuffer_ != 0 && context_ == glXGetCurrentContext()) release();
}

bool SceneLayer::ready(int w, int h) {
    if (unusable_ || w <= 0 || h <= 0) return false;
    if (gl_ == nullptr) {
        Gl gl{};
        if (!hasVersionOr(3, 0, "GL_ARB_framebuffer_object") || !find(gl.genFramebuffers, "glGenFramebuffers") ||
            !find(gl.deleteFramebuffers, "glDeleteFramebuffers") || !find(gl.bindFramebuffer, "glBindFramebuffer") ||
            !find(gl.framebufferRenderbuffer, "glFramebufferRenderbuffer") ||
            !find(gl.checkFramebufferStatus, "glCheckFramebufferStatus") ||
            !find(gl.genRenderbuffers, "glGenRenderbuffers") || !find(gl.deleteRenderbuffers, "glDeleteRenderbuffers") ||
            !find(gl.bindRenderbuffer, "glBindRenderbuffer") || !find(gl.renderbufferStorage, "glRenderbufferStorage") ||
            !find(gl.blitFramebuffer, "glBlitFramebuffer")) {
            unusable_ = true;
            return false;
        }
        if (!hasVersionOr(4, 5, "GL_ARB_clip_control") || !find(gl.clipControl, "glClipControl")) gl.clipControl = nullptr;
        gl_ = new Gl(gl);
    }
    void* context = glXGetCurrentContext();
    if (context != context_) {  // the old objects went with their context
        framebuffer_ = colour_ = depth_ = 0;
        width_ = height_ = askedWidth_ = askedHeight_ = 0;
        context_ = context;
    }
    if (framebuffer_ != 0 && w == askedWidth_ && h == askedHeight_) return true;

    release();
    // Of the window's size, which Mesa turns its drawing over by, when the scene is drawn in
    // less of it: only then do the two drawings put a point at the same place to the last bit.
    unsigned int windowWidth = 0, windowHeight = 0;
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (display != nullptr && drawable != 0) {
        glXQueryDrawable(display, drawable, GLX_WIDTH, &windowWidth);
        glXQueryDrawable(display, drawable, GLX_HEIGHT, &windowHeight);
    }
    const int width = std::max(w, static_cast<int>(windowWidth)), height = std::max(h, static_cast<int>(windowHeight));
    const GLenum depthFormat = windowDepthFormat();
    if (depthFormat == 0) {
        unusable_ = true;
        return false;
    }
    gl_->genRenderbuffers(1, &colour_);
    gl_->bindRenderbuffer(GL_RENDERBUFFER, colour_);
    gl_->renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    gl_->genRenderbuffers(1, &depth_);
    gl_->bindRenderbuffer(GL_RENDERBUFFER, depth_);
    gl_->renderbufferStorage(GL_RENDERBUFFER, depthFormat, width, height);
    gl_->bindRenderbuffer(GL_RENDERBUFFER, 0);
    gl_->genFramebuffers(1, &framebuffer_);
    gl_->bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gl_->framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    const GLenum attach = depthFormat == GL_DEPTH24_STENCIL8 || depthFormat == GL_DEPTH32F_STENCIL8
                              ? GL_DEPTH_STENCIL_ATTACHMENT
                              : GL_DEPTH_ATTACHMENT;
    gl_->framebufferRenderbuffer(GL_FRAMEBUFFER, attach, GL_RENDERBUFFER, depth_);
    const bool complete = gl_->checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    gl_->bindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!complete) {
        release();
        unusable_ = true;
        return false;
    }
    width_ = width;
    height_ = height;
    askedWidth_ = w;
    askedHeight_ = h;
    return true;
}

// Mesa draws into a window upside down, and a triangle's edges and where two surfaces meet in
// depth then fall on other pixels than in a framebuffer object drawn the right way up: a few
// hundred pixels of a frame differed by up to 5/255 from the same frame drawn whole. Drawn
// upside down too, the layer is the window's drawing pixel for pixel, and the copy turns it.
// Where the scene takes less than the window (the window's lower left), Mesa turns the
// drawing over by the window's height: the scene is then drawn at the top of the layer, which
// puts every point where the window's drawing puts it, turned.
void SceneLayer::drawIntoLayer() {
    gl_->bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    if (gl_->clipControl != nullptr) {
        gl_->clipControl(GL_UPPER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
        glViewport(0, height_ - askedHeight_, askedWidth_, askedHeight_);
    }
    inLayer_ = true;
}

void SceneLayer::drawIntoWindow() {
    if (gl_->clipControl != nullptr) {
        gl_->clipControl(GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
        glViewport(0, 0, askedWidth_, askedHeight_);
    }
    gl_->bindFramebuffer(GL_FRAMEBUFFER, 0);
    inLayer_ = false;
}

bool SceneLayer::upsideDown() const { return inLayer_ && gl_->clipControl != nullptr; }

void SceneLayer::scissor(const ScreenBox& box) const {
    const int y0 = upsideDown() ? height_ - box.y1 : box.y0;
    glScissor(box.x0, y0, box.width(), box.height());
}

bool SceneLayer::copyToWindow(const ScreenBox& box) {
    // A copy between framebuffers is cut by the scissor box like any drawing.
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    if (!checked_) while (glGetError() != GL_NO_ERROR) {}
    gl_->bindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    gl_->bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    const bool turn = gl_->clipControl != nullptr;
    gl_->blitFramebuffer(box.x0, turn ? height_ - box.y0 : box.y0, box.x1, turn ? height_ - box.y1 : box.y1, box.x0,
                         box.y0, box.x1, box.y1, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT, GL_NEAREST);
    gl_->bindFramebuffer(GL_FRAMEBUFFER, 0);
    if (scissor) glEnable(GL_SCISSOR_TEST);
    if (!checked_) {
        checked_ = true;
        if (glGetError() != GL_NO_ERROR) {
            unusable_ = true;
            return false;
        }
    }
    return true;
}
