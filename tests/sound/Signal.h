// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

// Measurements on rendered or recorded audio.
namespace measure {
using std::size_t;

// The frequency with the strongest component between fmin and fmax (Hann-windowed
// DFT on a fine grid, refined), over count samples from `from`.
double peakFrequency(const std::vector<float> &x, int rate, double fmin, double fmax,
                     size_t from = 0, size_t count = 0);
// Amplitude of the component at frequency f.
double magnitudeAt(const std::vector<float> &x, int rate, double f, size_t from, size_t count);
double rms(const std::vector<float> &x, size_t from = 0, size_t count = 0);
// The first sample whose magnitude exceeds threshold, or -1.
long firstAbove(const std::vector<float> &x, float threshold, size_t from = 0);
std::vector<float> difference(const std::vector<float> &a, const std::vector<float> &b);

} // namespace measure
