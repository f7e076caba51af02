// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string_view>

// The 13 scales and 5 modes of the Scales drill, each a list of steps in semitones
// that adds up to the octave.
namespace scales {

inline constexpr int kCount = 18;
inline constexpr int kScales = 13; // 0-12 are scales, 13-17 modes
inline constexpr int kMaxSteps = 12;

struct Scale {
    std::string_view caption;
    std::string_view revealName;
    int stepCount;
    std::array<int, kMaxSteps> steps;
};

inline constexpr std::array<Scale, kCount> kCatalogue = {{
    {"Major", "major", 7, {2, 2, 1, 2, 2, 2, 1}},
    {"Minor", "minor", 7, {2, 1, 2, 2, 1, 2, 2}},
    {"Armonic Minor", "armonic minor", 7, {2, 1, 2, 2, 1, 3, 1}},
    {"Melodic Minor", "melodic minor", 7, {2, 1, 2, 2, 2, 2, 1}},
    {"Major Pentatonic", "major pentatonic", 5, {2, 2, 3, 2, 3}},
    {"Minor Pentatonic", "minor pentatonic", 5, {3, 2, 2, 3, 2}},
    {"Diminished", "diminished", 8, {2, 1, 2, 1, 2, 1, 2, 1}},
    {"Exatonal", "exatonal", 6, {2, 2, 2, 2, 2, 2}},
    {"Cromatic", "cromatic", 12, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Major Neapolitan", "major neapolitan", 7, {1, 2, 2, 2, 2, 2, 1}},
    {"Minor Neapolitan", "minor neapolitan", 7, {1, 2, 2, 2, 1, 3, 1}},
    {"Enigmatic", "enigmatic", 7, {1, 3, 2, 2, 2, 1, 1}},
    {"Ungarian", "ungarian", 7, {2, 1, 3, 1, 1, 3, 1}},
    {"Doric", "doric", 7, {2, 1, 2, 2, 2, 1, 2}},
    {"Frigian", "frigian", 7, {1, 2, 2, 2, 1, 2, 2}},
    {"Lydian", "lydian", 7, {2, 2, 2, 1, 2, 2, 1}},
    {"Mixolydian", "mixolydian", 7, {2, 2, 1, 2, 2, 1, 2}},
    {"Locrian", "locrian", 7, {1, 2, 2, 1, 2, 2, 2}},
}};

// Every scale and mode spans exactly one octave.
constexpr bool spansAnOctave() {
    for (const Scale &scale : kCatalogue) {
        int sum = 0;
        for (int j = 0; j < scale.stepCount; ++j)
            sum += scale.steps[size_t(j)];
        if (sum != 12)
            return false;
    }
    return true;
}
static_assert(spansAnOctave());

// "Main Scales": the first seven scales.
inline constexpr int kMainScales = 7;

} // namespace scales
