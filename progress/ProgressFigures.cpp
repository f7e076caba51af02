// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/ProgressFigures.h"

#include "theory/Chords.h"
#include "theory/Intervals.h"
#include "theory/Melody.h"
#include "theory/Scales.h"
#include "theory/WeakItems.h"

#include <algorithm>

namespace {

QStringList namesOf(const QString &drill) {
    QStringList names;
    auto add = [&](std::string_view s) {
        names << QString::fromLatin1(s.data(), qsizetype(s.size()));
    };
    if (drill == "intervals")
        for (auto name : intervals::kRevealNames)
            add(name);
    else if (drill == "chords")
        for (const auto &c : chords::kCatalogue)
            add(c.name);
    else if (drill == "scales")
        for (const auto &s : scales::kCatalogue)
            add(s.caption);
    else
        for (auto name : melody::kPitchClassNames)
            add(name);
    return names;
}

QList<int> numbers(const QString &s) {
    QList<int> out;
    for (const QString &n : s.split(' ', Qt::SkipEmptyParts))
        out << n.toInt();
    return out;
}

} // namespace

ProgressFigures ProgressFigures::of(const QString &drill, const std::vector<Answer> &answers) {
    ProgressFigures f;
    f.itemNames = namesOf(drill);
    const auto items = size_t(f.itemNames.size());
    f.perItem.resize(items);
    f.lastAsked.resize(items);
    auto markAsked = [&f](size_t item, const QDateTime &at) {
        if (!f.lastAsked[item].isValid() || f.lastAsked[item] < at)
            f.lastAsked[item] = at;
    };
    std::vector<std::vector<qint64>> times(items);
    for (const Answer &a : answers) {
        // The day as the user lived it, and counted as the drill window counted it.
        Count &day = f.perDay[a.at.toLocalTime().date()];
        day.answers += a.weight;
        day.right += a.right ? a.weight : 0;
        if (drill != "melody") {
            if (a.askedIndex < 0 || size_t(a.askedIndex) >= items)
                continue;
            Count &t = f.perItem[size_t(a.askedIndex)];
            ++t.answers;
            t.right += a.right;
            times[size_t(a.askedIndex)].push_back(a.answerMs);
            ++f.confused[{a.askedIndex, a.answeredIndex}];
            markAsked(size_t(a.askedIndex), a.at);
            continue;
        }
        // A melody counts note by note: each pitch class and each position asked.
        // Each note's time is its own key's (answers kept before key times were, the
        // whole melody's).
        const QList<int> asked = numbers(a.askedNotes), keys = numbers(a.answeredKeys),
                         keyMs = numbers(a.keyTimes);
        for (qsizetype k = 0; k < asked.size(); ++k) {
            const int pc = melody::pitchClass(asked[k]);
            const bool right = k < keys.size() && keys[k] == pc;
            ++f.perItem[size_t(pc)].answers;
            f.perItem[size_t(pc)].right += right;
            markAsked(size_t(pc), a.at);
            times[size_t(pc)].push_back(k < keyMs.size() ? keyMs[k] : a.answerMs);
            if (f.perPosition.size() <= size_t(k))
                f.perPosition.resize(size_t(k) + 1);
            ++f.perPosition[size_t(k)].answers;
            f.perPosition[size_t(k)].right += right;
        }
    }
    for (auto &t : times) {
        std::sort(t.begin(), t.end());
        const size_t n = t.size();
        f.medianMs.push_back(n == 0  ? 0
                             : n % 2 ? double(t[n / 2])
                                     : (t[n / 2 - 1] + t[n / 2]) / 2.0);
    }
    return f;
}

QDateTime ProgressFigures::periodStart(int days, const QDateTime &now) {
    if (days <= 0)
        return {};
    return now.toLocalTime().date().addDays(1 - days).startOfDay();
}

std::vector<double> ProgressFigures::weights(const QDateTime &now) const {
    std::vector<double> out;
    for (size_t i = 0; i < perItem.size(); ++i) {
        weakitems::History h{perItem[i].answers, perItem[i].answers - perItem[i].right, {}};
        if (lastAsked[i].isValid())
            h.secondsSinceAsked = double(lastAsked[i].msecsTo(now)) / 1000.0;
        out.push_back(weakitems::weight(h));
    }
    return out;
}

std::set<int> ProgressFigures::weakest(int count, int minAnswers) const {
    std::vector<int> candidates;
    for (int i = 0; i < int(perItem.size()); ++i)
        if (perItem[size_t(i)].answers >= minAnswers)
            candidates.push_back(i);
    // Compared as fractions: two items a whole percent apart may still differ.
    auto worse = [&](int a, int b) {
        const Count &x = perItem[size_t(a)], &y = perItem[size_t(b)];
        return qint64(x.right) * y.answers < qint64(y.right) * x.answers;
    };
    std::stable_sort(candidates.begin(), candidates.end(), worse);
    std::set<int> out;
    for (size_t k = 0; k < candidates.size(); ++k)
        if (int(k) < count || !worse(candidates[size_t(count) - 1], candidates[k]))
            out.insert(candidates[k]);
    return out;
}
