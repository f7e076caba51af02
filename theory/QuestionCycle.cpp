// SPDX-License-Identifier: GPL-3.0-or-later
#include "theory/QuestionCycle.h"

#include "theory/Random.h"

void QuestionCycle::load() {
    const State before = state_;
    state_.questions = state_.right = state_.percent = 0;
    inTally_ = false;
    state_.testMode = false;
    state_.feedback = Feedback::None;
    state_.answerShown = false;
    state_.repeatEnabled = state_.revealEnabled = false;
    notifyIfChanged(before);
}

void QuestionCycle::selectTestMode(bool on) {
    if (on == state_.testMode)
        return;
    const State before = state_;
    state_.testMode = on;
    state_.revealEnabled = !on;
    if (!on) {
        state_.feedback = Feedback::None;
        state_.answerShown = false;
    }
    notifyIfChanged(before);
}

void QuestionCycle::newPressed() {
    const State before = state_;
    state_.feedback = Feedback::None;
    state_.answerShown = false;
    if (!rules_.enableOnDraw) {
        state_.repeatEnabled = true;
        if (!state_.testMode)
            state_.revealEnabled = true;
    }
    notifyIfChanged(before);
}

void QuestionCycle::asked(int weight) {
    const State before = state_;
    state_.hasQuestion = true;
    if (rules_.enableOnDraw) {
        state_.repeatEnabled = true;
        state_.revealEnabled = !state_.testMode;
    }
    if (state_.testMode) {
        state_.questions += weight;
        if (rules_.percentOfUnjudged && !state_.judged)
            updatePercent();
        state_.judged = false;
        inTally_ = true;
    } else {
        // Not counted; a question judged before stays judged.
        inTally_ = false;
    }
    notifyIfChanged(before);
}

bool QuestionCycle::judge(bool right, int weight) {
    if (!state_.testMode || !state_.hasQuestion || state_.judged)
        return false;
    const State before = state_;
    if (!inTally_) {
        state_.questions += weight;
        inTally_ = true;
    }
    if (right)
        state_.right += weight;
    updatePercent();
    state_.judged = true;
    state_.feedback = right ? Feedback::Right : Feedback::Wrong;
    state_.answerShown = true;
    notifyIfChanged(before);
    return true;
}

void QuestionCycle::reveal() {
    if (!state_.revealEnabled)
        return;
    const State before = state_;
    state_.answerShown = state_.hasQuestion;
    notifyIfChanged(before);
}

void QuestionCycle::reset() {
    const State before = state_;
    state_.questions = state_.right = state_.percent = 0;
    inTally_ = false;
    notifyIfChanged(before);
}

std::optional<int> QuestionCycle::drawTicked(const std::vector<bool> &ticked) {
    std::vector<int> indexes;
    for (int i = 0; i < int(ticked.size()); ++i)
        if (ticked[size_t(i)])
            indexes.push_back(i);
    if (indexes.empty())
        return std::nullopt;
    return indexes[size_t(Random::entry(int(indexes.size())) - 1)];
}

std::optional<int> QuestionCycle::drawWeighted(const std::vector<bool> &ticked,
                                               const std::vector<double> &weights) {
    std::vector<std::pair<int, double>> items;
    double total = 0;
    for (int i = 0; i < int(ticked.size()); ++i) {
        if (!ticked[size_t(i)])
            continue;
        const double w =
            size_t(i) < weights.size() && weights[size_t(i)] > 0 ? weights[size_t(i)] : 1.0;
        items.emplace_back(i, w);
        total += w;
    }
    if (items.empty())
        return std::nullopt;
    Random::reseedFromClock();
    double r = Random::draw() * total;
    for (const auto &[index, w] : items) {
        if (r < w)
            return index;
        r -= w;
    }
    return items.back().first; // rounding left r a hair over the total
}

void QuestionCycle::updatePercent() {
    if (state_.questions > 0)
        state_.percent = int(static_cast<long long>(state_.right) * 100 / state_.questions);
}

void QuestionCycle::notifyIfChanged(const State &before) const {
    if (changed && !(state_ == before))
        changed();
}
