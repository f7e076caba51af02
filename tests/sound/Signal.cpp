// SPDX-License-Identifier: GPL-3.0-or-later
#include "Signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace measure {

namespace {
size_t span(const std::vector<float> &x, size_t from, size_t count) {
    if (from >= x.size())
        return 0;
    return count == 0 ? x.size() - from : std::min(count, x.size() - from);
}
} // namespace

double magnitudeAt(const std::vector<float> &x, int rate, double f, size_t from, size_t count) {
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

double peakFrequency(const std::vector<float> &x, int rate, double fmin, double fmax, size_t from,
                     size_t count) {
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

double rms(const std::vector<float> &x, size_t from, size_t count) {
    const size_t n = span(x, from, count);
    if (n == 0)
        return 0;
    double sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += double(x[from + i]) * x[from + i];
    return std::sqrt(sum / double(n));
}

long firstAbove(const std::vector<float> &x, float threshold, size_t from) {
    for (size_t i = from; i < x.size(); ++i)
        if (std::fabs(x[i]) > threshold)
            return long(i);
    return -1;
}

std::vector<float> difference(const std::vector<float> &a, const std::vector<float> &b) {
    std::vector<float> d(std::min(a.size(), b.size()));
    for (size_t i = 0; i < d.size(); ++i)
        d[i] = a[i] - b[i];
    return d;
}

} // namespace measure
