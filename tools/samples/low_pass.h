// A 4th-order Butterworth low-pass as two biquads (RBJ cookbook form), run in place. Shared by
// the sample renderer's tuning and the tests that measure the committed samples' pitch.
#pragma once

#include <cmath>
#include <vector>

inline void lowPass(std::vector<double>& x, double cutoffHz, double sampleRate) {
    const double pi = 3.14159265358979323846;
    for (double q : {0.54119610, 1.30656296}) {
        const double w = 2.0 * pi * cutoffHz / sampleRate;
        const double alpha = std::sin(w) / (2.0 * q), c = std::cos(w);
        const double a0 = 1.0 + alpha;
        const double b0 = (1.0 - c) / 2.0 / a0, b1 = (1.0 - c) / a0, b2 = b0;
        const double a1 = -2.0 * c / a0, a2 = (1.0 - alpha) / a0;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (double& v : x) {
            const double y = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = v;
            y2 = y1;
            y1 = y;
            v = y;
        }
    }
}
