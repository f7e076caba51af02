// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "progress/ProgressStore.h"

#include <QDate>
#include <QStringList>
#include <map>
#include <set>
#include <vector>

// What the Progress window shows of a drill's answers, worked out apart from any
// window. An "item" is what the drill asks: an interval, a chord, a scale; for a
// melody, a pitch class.
struct ProgressFigures {
    struct Tally {
        int answers = 0, right = 0;
        double accuracy() const { return answers ? 100.0 * right / answers : 0; }
    };
    QStringList itemNames;                       // by item index
    std::vector<Tally> perItem;                  // by item index
    std::vector<double> medianMs;                // by item index; 0 where none
    std::map<std::pair<int, int>, int> confused; // (asked, answered) -> answers
    std::map<QDate, Tally> perDay;               // by UTC date
    std::vector<Tally> perPosition;              // melodies: by note position, from 0

    static ProgressFigures of(const QString &drill, const std::vector<Answer> &answers);
    // The weakest items: the lowest accuracy among those with at least `minAnswers`
    // answers, up to `count` of them (more where they tie).
    std::set<int> weakest(int count = 3, int minAnswers = 5) const;
};
