// Pitch by autocorrelation, with the octave settled by the spectrum.
//
// The period is the shortest lag at which the note repeats almost as well as at its best lag.
// That alone errs by an octave both ways on these instruments: a church organ's 16-foot series
// (a quint at 1.5 f) makes the waveform repeat only every two periods, an octave low; a choir
// whose second partial is 20 dB over its first repeats nearly as well at half its period, an
// octave high. So the period found is kept only when the spectrum has a partial at its
// frequency; otherwise the estimate moves up an octave to a lag that does, and it moves down one
// when a partial stands at half its frequency. Upper partials are
// filtered out before the final measurement, since a piano's stretched upper partials pull a
// plain autocorrelation 10-30 cents sharp.
#include "sample_pitch.h"

#include "low_pass.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double WINDOW_START = 0.1;   // seconds after the onset: past the attack
constexpr double WINDOW_LENGTH = 0.5;  // seconds
constexpr double LOWEST_HZ = 55.0, HIGHEST_HZ = 1100.0;
constexpr double STRONG_REPEAT = 0.9;     // of the best correlation
constexpr double PARTIAL_FLOOR_DB = -30.0;  // a partial quieter than this, below the loudest, is absent
// Stricter for moving down an octave: a piano's hammer knock leaves -34 dB near half its pitch.
constexpr double OCTAVE_BELOW_FLOOR_DB = -25.0;

// In-place radix-2 transform. Products are spelled out: std::complex's operator* checks for
// infinities on every call, which makes it several times slower.
void fft(std::vector<std::complex<double>>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    std::vector<double> cosines(n / 2), sines(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k) {
        cosines[k] = std::cos(2.0 * PI * k / n);
        sines[k] = -std::sin(2.0 * PI * k / n);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::size_t stride = n / len;
        for (std::size_t i = 0; i < n; i += len) {
            for (std::size_t k = 0; k < len / 2; ++k) {
                const double wr = cosines[k * stride], wi = sines[k * stride];
                const std::complex<double> u = a[i + k], x = a[i + k + len / 2];
                const std::complex<double> v(x.real() * wr - x.imag() * wi, x.real() * wi + x.imag() * wr);
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

std::size_t powerOfTwoAtLeast(std::size_t n) {
    std::size_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

std::vector<double> lowPass(const std::vector<float>& x, double cutoffHz, int rate) {
    std::vector<double> y(x.begin(), x.end());
    ::lowPass(y, cutoffHz, rate);
    return y;
}

// Correlation of the segment with itself shifted by each lag up to maxLag, each lag normalised
// by the energy of the two parts it compares.
std::vector<double> autocorrelation(const std::vector<double>& segment, std::size_t maxLag) {
    const std::size_t n = segment.size();
    // Zero padding past the longest lag keeps the circular correlation from wrapping into it.
    std::vector<std::complex<double>> a(powerOfTwoAtLeast(n + maxLag + 1));
    std::copy(segment.begin(), segment.end(), a.begin());
    fft(a);
    for (auto& v : a) v = std::norm(v);
    fft(a);  // the inverse up to scale and order: the power spectrum is real and even
    std::vector<double> energy(n + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i) energy[i + 1] = energy[i] + segment[i] * segment[i];
    std::vector<double> r(maxLag + 1, 0.0);
    for (std::size_t k = 0; k <= maxLag && k < n; ++k) {
        const double head = energy[n - k], tail = energy[n] - energy[k];
        r[k] = a[k].real() / static_cast<double>(a.size()) / std::sqrt(head * tail + 1e-30);
    }
    return r;
}

// The same for one lag, computed directly: cheaper than a transform for a handful of lags.
double correlationAt(const std::vector<double>& segment, std::size_t lag) {
    double both = 0.0, head = 0.0, tail = 0.0;
    for (std::size_t i = 0; i + lag < segment.size(); ++i) {
        both += segment[i] * segment[i + lag];
        head += segment[i] * segment[i];
        tail += segment[i + lag] * segment[i + lag];
    }
    return both / std::sqrt(head * tail + 1e-30);
}

// Level of the strongest partial within 50 cents of each frequency, in dB below the loudest
// between 50 and 1500 Hz.
class Spectrum {
public:
    Spectrum(const std::vector<float>& segment, int rate) : rate_(rate) {
        std::vector<std::complex<double>> a(powerOfTwoAtLeast(segment.size()));
        for (std::size_t i = 0; i < segment.size(); ++i)
            a[i] = segment[i] * (0.5 - 0.5 * std::cos(2.0 * PI * i / (segment.size() - 1)));
        fft(a);
        magnitude_.resize(a.size() / 2);
        for (std::size_t i = 0; i < magnitude_.size(); ++i) magnitude_[i] = std::abs(a[i]);
        loudest_ = peakBetween(50.0, 1500.0);
    }
    double levelDb(double hz) const {
        return 20.0 * std::log10(peakBetween(hz * std::pow(2.0, -50.0 / 1200.0), hz * std::pow(2.0, 50.0 / 1200.0)) /
                                 (loudest_ + 1e-30) + 1e-30);
    }

private:
    double peakBetween(double loHz, double hiHz) const {
        const double binHz = static_cast<double>(rate_) / (2.0 * magnitude_.size());
        const auto lo = static_cast<std::size_t>(std::ceil(loHz / binHz));
        const auto hi = std::min(magnitude_.size() - 1, static_cast<std::size_t>(hiHz / binHz));
        double peak = 0.0;
        for (std::size_t i = lo; i <= hi; ++i) peak = std::max(peak, magnitude_[i]);
        return peak;
    }
    int rate_;
    std::vector<double> magnitude_;
    double loudest_ = 0.0;
};

bool isLocalMax(const std::vector<double>& r, std::size_t k) {
    return k > 0 && k + 1 < r.size() && r[k] >= r[k - 1] && r[k] > r[k + 1];
}

}  // namespace

double midiToHz(double midi) { return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0); }

double centsBetween(double hz, double referenceHz) { return 1200.0 * std::log2(hz / referenceHz); }

double estimatePitchHz(const std::vector<float>& samples, int rate) {
    return estimatePitchHz(samples, rate, WINDOW_START, WINDOW_LENGTH);
}

double estimatePitchHz(const std::vector<float>& samples, int rate, double windowStart, double windowLength) {
    float peak = 0.0f;
    for (float v : samples) peak = std::max(peak, std::fabs(v));
    if (peak == 0.0f) return 0.0;
    std::size_t onset = 0;
    while (std::fabs(samples[onset]) < peak * 1e-3f) ++onset;
    const auto start = onset + static_cast<std::size_t>(windowStart * rate);
    const auto n = static_cast<std::size_t>(windowLength * rate);
    if (samples.size() < start + n) return 0.0;

    // Only what leads up to the window and the window itself matter.
    const std::vector<float> used(samples.begin(), samples.begin() + start + n);

    // The period: the shortest lag that repeats nearly as well as the best.
    const std::vector<double> broad = lowPass(used, 1500.0, rate);
    const auto minLag = static_cast<std::size_t>(rate / HIGHEST_HZ);
    const auto maxLag = static_cast<std::size_t>(rate / LOWEST_HZ);
    const std::vector<double> r =
        autocorrelation(std::vector<double>(broad.begin() + start, broad.begin() + start + n), maxLag + 1);
    double best = -1.0;
    for (std::size_t k = minLag; k <= maxLag; ++k)
        if (isLocalMax(r, k)) best = std::max(best, r[k]);
    if (best < 0.5) return 0.0;
    std::size_t lag = 0;
    for (std::size_t k = minLag; k <= maxLag && lag == 0; ++k)
        if (isLocalMax(r, k) && r[k] >= STRONG_REPEAT * best) lag = k;

    // The octave: up while there is no partial at the period's frequency.
    const Spectrum spectrum(std::vector<float>(samples.begin() + start, samples.begin() + start + n), rate);
    for (int step = 0; step < 2 && spectrum.levelDb(double(rate) / lag) < PARTIAL_FLOOR_DB; ++step) {
        const double half = lag / 2.0, reach = std::max(2.0, 0.06 * half);
        std::size_t up = 0;
        for (std::size_t k = minLag; k <= maxLag; ++k)
            if (std::fabs(k - half) <= reach && isLocalMax(r, k) && r[k] >= 0.5 && (up == 0 || r[k] > r[up])) up = k;
        if (up == 0) break;
        lag = up;
    }

    // And down again where the spectrum says the octave below is the note: a fundamental 20 dB
    // under its second partial still sets the pitch, though the wave nearly repeats at half
    // the period.
    if (spectrum.levelDb(double(rate) / lag) >= PARTIAL_FLOOR_DB) {
        for (int step = 0; step < 2 && spectrum.levelDb(rate / (2.0 * lag)) >= OCTAVE_BELOW_FLOOR_DB; ++step) {
            const double twice = 2.0 * lag, reach = std::max(2.0, 0.06 * twice);
            std::size_t down = 0;
            for (std::size_t k = minLag; k <= maxLag; ++k)
                if (std::fabs(k - twice) <= reach && isLocalMax(r, k) && r[k] >= 0.5 && (down == 0 || r[k] > r[down]))
                    down = k;
            if (down == 0) break;
            lag = down;
        }
    }

    // The fine measurement, on the first two partials only.
    const double roughHz = double(rate) / lag;
    const std::vector<double> narrow = lowPass(used, std::min(2.5 * roughHz, 8000.0), rate);
    const std::vector<double> segment(narrow.begin() + start, narrow.begin() + start + n);
    const auto lo = static_cast<std::size_t>(lag * std::pow(2.0, -60.0 / 1200.0));
    const auto hi = static_cast<std::size_t>(lag * std::pow(2.0, 60.0 / 1200.0)) + 1;
    std::vector<double> fine(hi + 2, 0.0);
    for (std::size_t k = lo - 1; k <= hi + 1; ++k) fine[k] = correlationAt(segment, k);
    std::size_t k = lo;
    for (std::size_t i = lo; i <= hi; ++i)
        if (fine[i] > fine[k]) k = i;
    if (k == 0 || k + 1 >= fine.size()) return 0.0;
    const double a = fine[k - 1], b = fine[k], c = fine[k + 1];
    const double denominator = a - 2.0 * b + c;
    const double offset = denominator < 0.0 ? 0.5 * (a - c) / denominator : 0.0;
    return rate / (k + offset);
}
