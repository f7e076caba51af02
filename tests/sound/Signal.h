// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

// Measurements on rendered or recorded audio.
namespace measure {
using std::size_t;

// How many of `count` samples from `from` there are (all the rest for 0).
inline size_t span(const std::vector<float> &x, size_t from, size_t count) {
    if (from >= x.size())
        return 0;
    return count == 0 ? x.size() - from : std::min(count, x.size() - from);
}

// Amplitude of the component at frequency f.
inline double magnitudeAt(const std::vector<float> &x, int rate, double f, size_t from,
                          size_t count) {
    const size_t n = span(x, from, count);
    if (n == 0)
        return 0;
    // Goertzel with a Hann window.
    const double w = 2 * std::numbers::pi * f / rate;
    const double coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < n; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n - 1));
        const double s0 = x[from + i] * hann + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - coeff * s1 * s2)) / double(n);
}

// The frequency with the strongest component between fmin and fmax (Hann-windowed
// DFT on a fine grid, refined), over count samples from `from`.
inline double peakFrequency(const std::vector<float> &x, int rate, double fmin, double fmax,
                            size_t from = 0, size_t count = 0) {
    const size_t n = span(x, from, count);
    if (n == 0)
        return 0;
    auto best = [&](double lo, double hi, double step) {
        double bestF = lo, bestM = -1;
        for (double f = lo; f <= hi; f += step) {
            const double m = magnitudeAt(x, rate, f, from, n);
            if (m > bestM) {
                bestM = m;
                bestF = f;
            }
        }
        return bestF;
    };
    const double coarse = double(rate) / double(n) / 2;
    const double f = best(fmin, fmax, coarse);
    return best(std::max(fmin, f - coarse), std::min(fmax, f + coarse), coarse / 50);
}

inline double rms(const std::vector<float> &x, size_t from = 0, size_t count = 0) {
    const size_t n = span(x, from, count);
    if (n == 0)
        return 0;
    double sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += double(x[from + i]) * x[from + i];
    return std::sqrt(sum / double(n));
}

// The first sample whose magnitude exceeds threshold, or -1.
inline long firstAbove(const std::vector<float> &x, float threshold, size_t from = 0) {
    for (size_t i = from; i < x.size(); ++i)
        if (std::fabs(x[i]) > threshold)
            return long(i);
    return -1;
}

// The frequency of a MIDI note in equal temperament (A4 = 440 Hz).
inline double noteHz(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

} // namespace measure
