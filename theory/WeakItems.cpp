// SPDX-License-Identifier: GPL-3.0-or-later
#include "theory/WeakItems.h"

#include <algorithm>

double weakitems::weight(const History &h) {
    if (h.answers <= 0 || !h.secondsSinceAsked)
        return kFloor + 1.0 + kTimeShare;
    const int wrong = std::clamp(h.wrong, 0, h.answers);
    const double errorRate = (wrong + 1.0) / (h.answers + 2.0);
    const double since = std::clamp(*h.secondsSinceAsked / kTimeFull, 0.0, 1.0);
    return kFloor + errorRate + kTimeShare * since;
}
