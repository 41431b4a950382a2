// Reading a drawn frame back, putting it back, and telling how far two frames are apart, shared
// by the benchmark and the tests that hold the fast drawing to the immediate one and frames
// drawn only where they changed to frames drawn whole.
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <vector>

struct FramePixels {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;  // rows from the bottom, as GL reads them
};

// The back buffer as it is now, after everything sent so far has been drawn, into a frame whose
// pixels are kept from one read to the next: a test reading two frames a step does not fault in
// and clear megabytes each time.
inline void readBackBuffer(FramePixels& f, int width, int height) {
    f.width = width;
    f.height = height;
    f.rgb.resize(static_cast<size_t>(width) * height * 3);
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, f.rgb.data());
}

inline FramePixels readBackBuffer(int width, int height) {
    FramePixels f;
    readBackBuffer(f, width, height);
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

// Compiled on its own (frame_compare.cpp) and optimised even in the unoptimised test trees: a
// frame is a million pixels, and the tests compare two a step.
FrameAgreement compareFrames(const FramePixels& a, const FramePixels& b, int tolerance);
