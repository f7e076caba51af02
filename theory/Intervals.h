// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string_view>

// The 13 intervals from the unison to the octave. An interval's index is its size in
// semitones.
namespace intervals {

inline constexpr int kCount = 13;

// The check-box captions.
inline constexpr std::array<std::string_view, kCount> kCaptions = {
    "Unison",      "2nd minor",      "2nd major",   "3rd minor", "3rd major",
    "4th perfect", "5th diminished", "5th perfect", "6th minor", "6th major",
    "7th minor",   "7th major",      "Octave"};

// The names the answer is revealed with; they differ from the captions at 5 and 7.
inline constexpr std::array<std::string_view, kCount> kRevealNames = {
    "Unison",      "2nd minor",      "2nd major",   "3rd minor", "3rd major",
    "Perfect 4th", "5th diminished", "Perfect 5th", "6th minor", "6th major",
    "7th minor",   "7th major",      "Octave"};

// "Main intervals": the unison, the major and perfect intervals and the octave.
inline constexpr std::array<bool, kCount> kMainIntervals = {
    true, false, true, false, true, true, false, true, false, true, false, true, true};

enum class Direction { Ascending, Descending, Together };

// The second note of an interval played from root in a direction.
constexpr int secondNote(int root, int interval, Direction direction) {
    return direction == Direction::Descending ? root - interval : root + interval;
}

} // namespace intervals
