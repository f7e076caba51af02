// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "theory/PitchClasses.h"

#include <array>
#include <string_view>

// The music of the Melody drill, apart from any window.
namespace melody {

inline constexpr int kMaxNotes = 10;
inline constexpr int kOctaves = 10;

// The check-box captions of the pitch classes and the octaves.
using theory::kPitchClassNames;
inline constexpr std::array<std::string_view, kOctaves> kOctaveNames = {
    "1st", "2nd", "3rd", "4th", "5th", "6th", "7th", "8th", "9th", "10th"};
// How Reveal spells the pitch classes: four sharps with a blank, "A#" without.
inline constexpr std::array<std::string_view, 12> kRevealNames = {
    "C", "C #", "D", "D #", "E", "F", "F #", "G", "G #", "A", "A#", "B"};
// "C major": the white keys.
inline constexpr std::array<bool, 12> kCMajor = {true,  false, true,  false, true,  true,
                                                 false, true,  false, true,  false, true};

// The computer keys that play the keyboard, as music programs lay them out: the white
// keys on the home row, the black ones on the row above.
inline constexpr std::array<char, 12> kComputerKeys = {'A', 'W', 'S', 'E', 'D', 'F',
                                                       'T', 'G', 'Y', 'H', 'U', 'J'};

// The note of octave box j (0-9) and pitch class i (0-11): "5th" C is 60, "10th" B 131.
constexpr int noteNumber(int octaveIndex, int pitchClass) {
    return 12 * (octaveIndex + 1) + pitchClass;
}
using theory::pitchClass;

// The keyboard: key i (pitch class) as a rectangle in twips, relative to the left edge
// of the first white key; black keys are shorter and lie over the gaps.
struct KeyRect {
    int left, width, height;
    bool black;
};
constexpr KeyRect keyRect(int pitchClass) {
    constexpr int kWhiteLeft[] = {1800, 0, 2280, 0, 2760, 3240, 0, 3720, 0, 4200, 0, 4680};
    constexpr int kBlackLeft[] = {0, 2040, 0, 2520, 0, 0, 3480, 0, 3960, 0, 4440, 0};
    const bool black = !kCMajor[size_t(pitchClass)];
    return black ? KeyRect{kBlackLeft[pitchClass] - 1800, 495, 615, true}
                 : KeyRect{kWhiteLeft[pitchClass] - 1800, 495, 975, false};
}

} // namespace melody
