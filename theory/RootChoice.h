// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// The "Root" list of the Intervals, Chords and Scales windows.
namespace rootchoice {

// "Random", then "Fixed C" to "Fixed B".
QStringList entries();

// The root an entry stands for: entry p (1-12) is p + 59 (60 "Fixed C" to 71
// "Fixed B"); "Random" (0) draws one of them, re-seeding first.
int candidateRoot(int entry);

// A question's root in the Chords and Scales windows: 66 and above an octave lower,
// so that every root lies in 54-65.
constexpr int folded(int root) {
    return root >= 66 ? root - 12 : root;
}

} // namespace rootchoice
