// SPDX-License-Identifier: GPL-3.0-or-later
// Synthesises the two feedback sounds into the given directory:
//   right.wav  a short, bright, rising chime (C6, E6, G6, C7 struck one after another)
//   wrong.wav  a short, low, dull buzz (two detuned low tones, harmonics rolled off)
#include <cmath>
#include <cstdio>
#include <numbers>
#include <sndfile.h>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;

bool writeWav(const std::string &path, const std::vector<float> &mono) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    std::vector<float> stereo(mono.size() * 2);
    for (size_t i = 0; i < mono.size(); ++i)
        stereo[2 * i] = stereo[2 * i + 1] = mono[i];
    const auto frames = static_cast<sf_count_t>(mono.size());
    const bool ok = sf_writef_float(file, stereo.data(), frames) == frames;
    sf_close(file);
    return ok;
}

std::vector<float> chime() {
    const double notes[] = {1046.50, 1318.51, 1567.98, 2093.00};
    std::vector<float> out(size_t(0.75 * kRate), 0.f);
    for (int k = 0; k < 4; ++k) {
        const size_t start = size_t(k * 0.07 * kRate);
        for (size_t i = start; i < out.size(); ++i) {
            const double t = double(i - start) / kRate;
            const double env = std::min(1.0, t / 0.003) * std::exp(-t * 7.0);
            const double w = 2 * std::numbers::pi * notes[k] * t;
            out[i] += float(0.2 * env * (std::sin(w) + 0.25 * std::sin(2 * w)));
        }
    }
    return out;
}

std::vector<float> buzz() {
    const double length = 0.45;
    std::vector<float> out(size_t(length * kRate));
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / kRate;
        const double env = std::min(1.0, t / 0.01) * std::min(1.0, (length - t) / 0.08);
        double v = 0;
        for (double f : {98.0, 103.0})
            for (int h = 1; h <= 7; h += 2) // odd harmonics, falling fast: dull, not harsh
                v += std::sin(2 * std::numbers::pi * f * h * t) / (h * h);
        out[i] = float(0.3 * env * v);
    }
    return out;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    return writeWav(dir + "/right.wav", chime()) && writeWav(dir + "/wrong.wav", buzz()) ? 0 : 1;
}
