// How far two drawn frames are apart, pixel by pixel.
#include "frame_compare.h"

#include <algorithm>
#include <cstdlib>

FrameAgreement compareFrames(const FramePixels& a, const FramePixels& b, int tolerance) {
    FrameAgreement r;
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return r;
    const size_t pixels = a.rgb.size() / 3;
    const unsigned char* pa = a.rgb.data();
    const unsigned char* pb = b.rgb.data();
    for (size_t p = 0; p < pixels; ++p, pa += 3, pb += 3) {
        int worst = 0;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(pa[c] - pb[c]));
        r.largestDifference = std::max(r.largestDifference, worst);
        if (worst > tolerance) ++r.pixelsOff;
    }
    r.withinTolerance = 1.0 - static_cast<double>(r.pixelsOff) / static_cast<double>(pixels);
    return r;
}
