// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string_view>
#include <vector>

// The 20 chord types of the Chords drill: each a root and the steps, in semitones,
// from one note of the chord to the next.
namespace chords {

inline constexpr int kCount = 20;
inline constexpr int kMaxSteps = 5;

struct ChordType {
    std::string_view name; // check-box caption and reveal name
    int stepCount;
    std::array<int, kMaxSteps> steps;
};

inline constexpr std::array<ChordType, kCount> kCatalogue = {{
    {"maj", 2, {4, 3}},         {"min", 2, {3, 4}},
    {"7", 3, {4, 3, 3}},        {"maj7", 3, {4, 3, 4}},
    {"min7", 3, {3, 4, 3}},     {"sus4", 2, {5, 2}},
    {"7sus4", 3, {5, 2, 3}},    {"6", 3, {4, 3, 2}},
    {"min6", 3, {3, 4, 2}},     {"9", 4, {4, 3, 3, 4}},
    {"min9", 4, {3, 4, 3, 4}},  {"dim", 2, {3, 3}}, // the three-note diminished triad
    {"aug", 2, {4, 4}},         {"maj9", 4, {4, 3, 4, 3}},
    {"7-5", 3, {4, 2, 4}},      {"7+5", 3, {4, 4, 2}},
    {"7+9", 4, {4, 3, 3, 5}},   {"7-9", 4, {4, 3, 3, 3}},
    {"11", 5, {4, 3, 3, 4, 3}}, {"13", 5, {4, 3, 3, 4, 7}}, // no eleventh: its last step is 7
}};

// Every chord fits on the highest root (F, 65) below note 87.
constexpr bool fitsAboveF() {
    for (const ChordType &c : kCatalogue) {
        int top = 65;
        for (int j = 0; j < c.stepCount; ++j)
            top += c.steps[size_t(j)];
        if (top > 86 || c.stepCount < 2 || c.stepCount > kMaxSteps)
            return false;
    }
    return true;
}
static_assert(fitsAboveF());

// "Triads" and "Main".
inline constexpr std::array<int, 4> kTriads = {0, 1, 11, 12};
inline constexpr int kMainCount = 7; // "maj" to "7sus4"

} // namespace chords
