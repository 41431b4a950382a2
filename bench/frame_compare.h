// Reading a drawn frame back, putting it back, and telling how far two frames are apart, shared
// by the benchmark and the tests that hold the fast drawing to the immediate one and frames
// drawn only where they changed to frames drawn whole.
#pragma once

#include <GL/gl.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

struct FramePixels {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;  // rows from the bottom, as GL reads them
};

// The back buffer as it is now, after everything sent so far has been drawn.
inline FramePixels readBackBuffer(int width, int height) {
    FramePixels f;
    f.width = width;
    f.height = height;
    f.rgb.resize(static_cast<size_t>(width) * height * 3);
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, f.rgb.data());
    return f;
}

// Puts a frame read with readBackBuffer back into the back buffer, pixel for pixel: a frame
// drawn over by something else in between (a whole frame to compare with) is as it was for the
// next frame drawn over it. Only colours: a frame drawn in part clears the depth where it draws.
inline void writeBackBuffer(const FramePixels& f) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    for (GLenum cap : {GL_DEPTH_TEST, GL_SCISSOR_TEST, GL_BLEND, GL_TEXTURE_2D, GL_LIGHTING, GL_FOG, GL_ALPHA_TEST,
                       GL_STENCIL_TEST, GL_DITHER})
        glDisable(cap);
    glDrawBuffer(GL_BACK);
    glViewport(0, 0, f.width, f.height);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, f.width, 0, f.height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glRasterPos2i(0, 0);
    glPixelZoom(1, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glDrawPixels(f.width, f.height, GL_RGB, GL_UNSIGNED_BYTE, f.rgb.data());
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopClientAttrib();
    glPopAttrib();
}

struct FrameAgreement {
    double withinTolerance = 0;  // fraction of pixels whose every channel is within tolerance
    int largestDifference = 0;   // over all pixels and channels, 0..255
    long pixelsOff = 0;          // pixels outside tolerance
};

inline FrameAgreement compareFrames(const FramePixels& a, const FramePixels& b, int tolerance) {
    FrameAgreement r;
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return r;
    const size_t pixels = a.rgb.size() / 3;
    for (size_t p = 0; p < pixels; ++p) {
        int worst = 0;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a.rgb[p * 3 + c] - b.rgb[p * 3 + c]));
        r.largestDifference = std::max(r.largestDifference, worst);
        if (worst > tolerance) ++r.pixelsOff;
    }
    r.withinTolerance = 1.0 - static_cast<double>(r.pixelsOff) / static_cast<double>(pixels);
    return r;
}
