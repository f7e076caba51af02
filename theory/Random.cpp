// SPDX-License-Identifier: GPL-3.0-or-later
#include "theory/Random.h"

#include <chrono>
#include <random>

namespace {
std::mt19937_64 &generator() {
    static std::mt19937_64 g(std::random_device{}());
    return g;
}
bool g_fixed = false;

// SplitMix64's finaliser: spreads every bit of the input over the output.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}
} // namespace

void Random::reseedFromClock() {
    std::uint64_t clock = 0;
    if (!g_fixed)
        clock = std::uint64_t(std::chrono::system_clock::now().time_since_epoch().count());
    // The next output carries the whole state forward; the clock only adds to it.
    generator().seed(mix(generator()() ^ mix(clock)));
}

double Random::draw() {
    return std::generate_canonical<double, 53>(generator());
}

int Random::entry(int n) {
    reseedFromClock();
    int k = int(draw() * n) + 1;
    return k > n ? n : k; // generate_canonical may round up to 1.0 on some libraries
}

void Random::fixSeed(std::uint64_t seed) {
    g_fixed = true;
    generator().seed(seed);
}
