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
    struct Count {
        int answers = 0, right = 0;
        // In whole percent, rounded down, as the drill windows show their score.
        int accuracy() const { return answers ? int(100LL * right / answers) : 0; }
    };
    QStringList itemNames;                       // by item index
    std::vector<Count> perItem;                  // by item index
    std::vector<double> medianMs;                // by item index; 0 where none
    std::map<std::pair<int, int>, int> confused; // (asked, answered) -> answers
    std::map<QDate, Count> perDay;               // by the user's local date, as the
                                                 // drill window counts (a melody by note)
    std::vector<Count> perPosition;              // melodies: by note position, from 0
    std::vector<QDateTime> lastAsked;            // by item index; invalid where never

    static ProgressFigures of(const QString &drill, const std::vector<Answer> &answers);
    // The first moment of the periods the window offers: the start of the local day
    // `days` - 1 days before today (today alone for 1); invalid (everything) for 0.
    static QDateTime periodStart(int days, const QDateTime &now = QDateTime::currentDateTime());
    // The weakest items: the lowest accuracy among those with at least `minAnswers`
    // answers, up to `count` of them (more where they tie).
    std::set<int> weakest(int count = 3, int minAnswers = 5) const;
    // Each item's weight for "Weak items more often" (weakitems::weight) at `now`, from
    // these figures (the drill windows use the last 30 days').
    std::vector<double> weights(const QDateTime &now) const;
};
