// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

// How much more often "Weak items more often" asks an item, from its recent history:
// the answers given to it, how many of them were wrong, and how long ago it was last
// asked. The weight grows with the error rate and with the time since the item was
// last asked, and never falls to zero, so every ticked item keeps being asked.
namespace weakitems {

struct History {
    int answers = 0;
    int wrong = 0;
    std::optional<double> secondsSinceAsked; // none: not asked in the period
};

// The smallest weight: an item answered right every time, just now.
inline constexpr double kFloor = 0.05;
// The time since last asked adds up to this much, reached after a day.
inline constexpr double kTimeShare = 0.25;
inline constexpr double kTimeFull = 24 * 3600.0;

// kFloor + the error rate (with one right and one wrong answer assumed, so that a few
// answers do not decide it) + the share of the time since it was last asked. An item
// with no history counts as weak: the largest weight, kFloor + 1 + kTimeShare.
double weight(const History &history);

} // namespace weakitems
