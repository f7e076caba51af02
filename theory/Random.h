// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The random draws of every drill: one generator for the process. Before each draw
// the drills re-seed it from the clock; the clock reading is mixed into the state,
// so two re-seedings in the same clock tick still give independent draws.
class Random {
  public:
    // Mixes the clock into the state (nothing but the state itself once tests have
    // fixed the seed).
    static void reseedFromClock();
    // A number uniform in [0, 1).
    static double draw();
    // Entry 1..n of a list, drawn as Int(r * n) + 1 after re-seeding.
    static int entry(int n);
    // Makes every later draw reproducible.
    static void fixSeed(std::uint64_t seed);
};
