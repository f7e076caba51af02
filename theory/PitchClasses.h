// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string_view>
#include <vector>

// Notes and pitch classes, as every drill names and builds them.
namespace theory {

// A note's pitch class: C = 0 to B = 11, in any octave.
constexpr int pitchClass(int note) {
    return ((note % 12) + 12) % 12;
}

// The names of the pitch classes: the Melody window's boxes and keys, and the roots
// the Chords and Scales windows reveal. (The Melody window's reveal spells four of
// them its own way.)
inline constexpr std::array<std::string_view, 12> kPitchClassNames = {
    "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

// A chord or a scale from its root: each note a step (in semitones) above the one
// before, `stepCount` + 1 notes, lowest first.
inline std::vector<int> notesFromSteps(int root, int stepCount, const int *steps) {
    std::vector<int> notes{root};
    for (int j = 0; j < stepCount; ++j)
        notes.push_back(notes.back() + steps[j]);
    return notes;
}

} // namespace theory
