// SPDX-License-Identifier: GPL-3.0-or-later
#include "theory/Tally.h"

void Tally::ask(int weight, bool percentOfUnjudged) {
    questions_ += weight;
    if (percentOfUnjudged && !answered_)
        updatepercent();
    answered_ = false;
    inTally_ = true;
    notify();
}

bool Tally::judge(bool right, int weight) {
    if (answered_)
        return false;
    if (!inTally_) {
        questions_ += weight;
        inTally_ = true;
    }
    if (right)
        right_ += weight;
    updatepercent();
    answered_ = true;
    notify();
    return true;
}

void Tally::reset() {
    questions_ = right_ = percent_ = 0;
    inTally_ = false;
    notify();
}

void Tally::updatepercent() {
    if (questions_ > 0)
        percent_ = int(static_cast<long long>(right_) * 100 / questions_);
}

void Tally::notify() const {
    if (changed)
        changed();
}
