// SPDX-License-Identifier: GPL-3.0-or-later
// The question cycle of the drill windows, pressed through as learners would, the draw
// of a ticked item, and answers played on a keyboard.
#include "theory/PlayedNotes.h"
#include "theory/QuestionCycle.h"
#include "theory/Random.h"
#include "theory/WeakItems.h"

#include <QTest>
#include <functional>
#include <map>
#include <random>

namespace {
// Steps: load, test, notest, new (New before it draws), asked[:weight] (New drew),
// ask (New drawing a question of weight 1), right[:weight], wrong[:weight], reveal, reset.
const std::map<QString, std::function<void(QuestionCycle &, int weight)>> kSteps = {
    {"load", [](QuestionCycle &c, int) { c.load(); }},
    {"test", [](QuestionCycle &c, int) { c.selectTestMode(true); }},
    {"notest", [](QuestionCycle &c, int) { c.selectTestMode(false); }},
    {"new", [](QuestionCycle &c, int) { c.newPressed(); }},
    {"asked", [](QuestionCycle &c, int w) { c.asked(w); }},
    {"ask", [](QuestionCycle &c, int w) { c.newPressed(), c.asked(w); }},
    {"right", [](QuestionCycle &c, int w) { c.judge(true, w); }},
    {"wrong", [](QuestionCycle &c, int w) { c.judge(false, w); }},
    {"reveal", [](QuestionCycle &c, int) { c.reveal(); }},
    {"reset", [](QuestionCycle &c, int) { c.reset(); }}};

void run(QuestionCycle &cycle, const QString &steps) {
    for (const QString &step : steps.split(' ', Qt::SkipEmptyParts)) {
        const int weight = step.contains(':') ? step.section(':', 1).toInt() : 1;
        kSteps.at(step.section(':', 0, 0))(cycle, weight);
    }
}

// "questions right percent", then "judged", the feedback, "shown" for the answer, and
// which of Repeat, Reveal and Reset are enabled.
QString shown(const QuestionCycle::State &s) {
    const char *const feedback[] = {"", "right", "wrong"};
    return QString("%1 %2 %3 %4 %5 %6 %7 %8 %9")
        .arg(s.questions)
        .arg(s.right)
        .arg(s.percent)
        .arg(s.judged ? "judged" : "", feedback[int(s.feedback)], s.answerShown ? "shown" : "",
             s.repeatEnabled ? "Repeat" : "", s.revealEnabled ? "Reveal" : "",
             s.scoreEnabled() ? "Reset" : "")
        .simplified();
}
} // namespace

class TestCycle : public QObject {
    Q_OBJECT
  private slots:
    // A row per learner: the Melody window's rules or not, what was pressed, what is shown.
    void cycle() {
        const struct {
            bool melody;
            const char *steps, *expected;
        } rows[] = {
            {false, "notest", "0 0 0"},
            {false, "test ask right ask right ask wrong", "3 2 66 judged wrong shown Repeat Reset"},
            {false, "test new asked:3 right:3 ask wrong", "4 3 75 judged wrong shown Repeat Reset"},
            {false, "test ask right ask", "2 1 100 Repeat Reset"},
            {false, "test ask right ask ask", "3 1 33 Repeat Reset"},
            {true, "test ask right ask ask", "3 1 100 Repeat Reset"},
            {true, "test new asked asked asked right:3", "3 3 100 judged right shown Repeat Reset"},
            {false, "test ask notest ask test right", "2 1 50 judged right shown Repeat Reset"},
            {true, "test ask notest new asked asked asked test right:3",
             "4 3 75 judged right shown Repeat Reset"},
            {false, "test ask wrong notest ask test right", "1 0 0 judged Repeat Reset"},
            {false, "test ask wrong right", "1 0 0 judged wrong shown Repeat Reset"},
            {false, "test right", "0 0 0 Reset"},
            {false, "ask right", "0 0 0 Repeat Reveal"},
            {true, "ask", "0 0 0 Repeat Reveal"},
            {true, "test ask", "1 0 0 Repeat Reset"},
            {false, "ask reveal test", "0 0 0 shown Repeat Reset"},
            {false, "new reveal", "0 0 0 Repeat Reveal"},
            {false, "test ask right notest", "1 1 100 judged Repeat Reveal"},
            {false, "test ask right reset right", "0 0 0 judged right shown Repeat Reset"},
            {false, "test ask reset right", "1 1 100 judged right shown Repeat Reset"},
            {false, "test ask right load", "0 0 0 judged"},
            {false, "test ask right load test right", "0 0 0 judged Reset"},
            {false, "test ask load test right", "1 1 100 judged right shown Reset"},
        };
        for (const auto &row : rows) {
            QuestionCycle cycle({.percentOfUnjudged = !row.melody, .enableOnDraw = row.melody});
            const QString steps = QString(row.melody ? "Melody: " : "") + row.steps + " -> ";
            run(cycle, QString("load ") + row.steps);
            QCOMPARE(steps + shown(cycle.state()), steps + row.expected);
        }
    }

    // Every ticked item comes up about as often as the others (chi-square, p > 0.001),
    // an unticked one never; nothing is drawn when none is ticked.
    void drawTicked() {
        Random::fixSeed(20261207);
        const std::vector<bool> boxes = {1, 0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1, 1};
        std::map<int, double> counts;
        for (int q = 0; q < 1600; ++q)
            ++counts[QuestionCycle::drawTicked(boxes).value_or(-1)];
        double x2 = 0;
        QList<int> drawn;
        for (const auto &[item, n] : counts)
            drawn << item, x2 += (n - 200) * (n - 200) / 200;
        QCOMPARE(drawn, QList<int>({0, 2, 4, 5, 7, 9, 11, 12}));
        QVERIFY2(x2 < 24.32, qPrintable(QString::number(x2)));
        QVERIFY(!QuestionCycle::drawTicked(std::vector<bool>(13)));
    }

    // "Weak items more often": a learner with 5 ticked items, one wrong 80 % of the time,
    // the others right 90 %, 200 questions 6 s apart. On, the weak item is asked at least
    // twice as often as off, every other at least 10 times, an unticked one never.
    void weakItemsMoreOften() {
        const std::vector<bool> boxes = {0, 1, 1, 0, 1, 1, 1, 0};
        const size_t weak = 4;
        auto simulate = [&](std::uint64_t seed, bool on) {
            Random::fixSeed(seed);
            std::mt19937_64 learner(seed * 7 + 1);
            std::vector<weakitems::History> history(boxes.size());
            std::vector<double> lastAsked(boxes.size(), -1);
            std::vector<int> asked(boxes.size());
            for (double now = 0; now < 1200; now += 6) {
                std::vector<double> weights;
                for (size_t i = 0; i < boxes.size(); ++i)
                    weights.push_back(weakitems::weight(
                        {history[i].answers, history[i].wrong,
                         lastAsked[i] < 0 ? std::nullopt : std::optional(now - lastAsked[i])}));
                const auto item = size_t(*(on ? QuestionCycle::drawWeighted(boxes, weights)
                                              : QuestionCycle::drawTicked(boxes)));
                ++asked[item], ++history[item].answers, lastAsked[item] = now;
                history[item].wrong +=
                    std::bernoulli_distribution(item == weak ? 0.8 : 0.1)(learner);
            }
            return asked;
        };
        for (std::uint64_t seed : {20261207ULL, 1ULL, 2ULL, 3ULL, 4ULL, 5ULL}) {
            const std::vector<int> off = simulate(seed, false), on = simulate(seed, true);
            QString said =
                QString("seed %1: off %2, on %3:").arg(seed).arg(off[weak]).arg(on[weak]);
            for (size_t i = 0; i < boxes.size(); ++i) {
                said += ' ' + QString::number(on[i]);
                QVERIFY2(boxes[i] || (on[i] == 0 && off[i] == 0), qPrintable(said));
                QVERIFY2(!boxes[i] || i == weak || on[i] >= 10, qPrintable(said));
            }
            QVERIFY2(on[weak] >= 2 * off[weak], qPrintable(said));
            qInfo("%s", qPrintable(said));
        }
        // Not asked for a day weighs more than just asked.
        QVERIFY(weakitems::weight({10, 1, 86400.0}) > weakitems::weight({10, 1, 60.0}));
    }

    // Played answers judged as a musician would: the question (Interval, Chord or Scale,
    // root, item), the notes; right or wrong, the item they read as (-1 none), the name.
    void playedAnswers() {
        const char *const rows[] = {
            "I 60 7: 57 50 -> right 7 Perfect 5th", "I 60 4: 60 63 -> wrong 3 3rd minor",
            "C 60 7: 57 60 64 67 -> wrong 4 A min7", "C 60 7: 64 67 69 72 -> right 7 C 6",
            "C 60 7: 48 60 64 67 69 76 -> right 7 C 6", "C 60 0: 64 60 62 -> wrong -1 C D E",
            "C 60 0: 62 66 69 -> wrong 0 D maj", "C 60 12: 64 68 72 -> right 12 C aug",
            "S 60 0: 48 50 52 53 55 57 59 60 -> right 0 C D E F G A B C",
            "S 60 0: 60 62 63 65 67 69 71 72 -> wrong 3 C D D# F G A B C",
            "S 60 0: 62 64 66 67 69 71 73 74 -> wrong 0 D E F# G A B C# D",
            // Sung (~): an interval's second note alone or after
            // the first, in any octave; a chord's notes in any order.
            "~I 60 7: 43 -> right 7 Perfect 5th", "~I 60 7: 48 55 -> right 7 Perfect 5th",
            "~I 60 4: 63 -> wrong 3 3rd minor", "~I 60 7 53: 65 -> right 7 Perfect 5th",
            "~I 60 7 53: 55 -> wrong 5 Perfect 4th", "~C 60 7: 69 64 60 67 -> right 7 C 6"};
        for (const QString row : rows) {
            const QStringList q = row.section(':', 0, 0).split(' ');
            std::vector<int> notes;
            for (const QString &n : row.section(": ", 1).section(" ->", 0, 0).split(' '))
                notes.push_back(n.toInt());
            const auto kind = played::Question::Kind(QString("ICS").indexOf(q[0].back()));
            const played::Verdict v =
                played::judge({kind, q[1].toInt(), q[2].toInt(), q.value(3).toInt()}, notes,
                              q[0][0] == '~' ? played::Source::Voice : played::Source::Keyboard);
            QCOMPARE(QString("%1 -> %2 %3 %4")
                         .arg(row.section(" -> ", 0, 0), v.right ? "right" : "wrong",
                              QString::number(v.answeredIndex), v.said),
                     row);
        }
    }

    // When the notes make an answer: events "60" (on) or "-60" (off) "@ms", by a key or
    // sung (~); after the last: complete, or "due <ms>", or "waits".
    void playedAnswerEnds() {
        const char *const rows[] = {
            "C 0: 60@0 64@10 67@20 -60@500 -> waits",
            "C 0: 60@0 -60@100 64@300 -64@350 -> due 700",
            "C 0: ~60@0 ~64@1000 -> due 2500",
            "S 4: 60@0 62@300 64@600 67@900 69@1200 72@1500 -> complete, 6 notes",
            "S 0: 60@0 62@300 64@600 -> due 3100",
            "I 7: ~43@0 -> complete, 1 notes",
            "I 7: ~48@0 -> waits",
            "I 7: ~48@0 ~55@500 -> complete, 2 notes"};
        for (const QString row : rows) {
            const auto kind = played::Question::Kind(QString("ICS").indexOf(row[0]));
            const played::Question question{kind, 60, row.section(':', 0, 0).mid(2).toInt()};
            played::Collector c;
            QString got;
            for (QString e : row.section(": ", 1).section(" ->", 0, 0).split(' ')) {
                const bool sung = e.startsWith('~'), on = !e.remove('~').startsWith('-');
                const played::NoteEvent event{
                    std::abs(e.section('@', 0, 0).toInt()), e.section('@', 1).toLongLong(), on,
                    sung ? played::Source::Voice : played::Source::Keyboard};
                got = c.add(event, question) ? QString("complete, %1 notes").arg(c.notes().size())
                      : c.due()              ? QString("due %1").arg(*c.due())
                                             : "waits";
            }
            QCOMPARE(row.section(" -> ", 0, 0) + " -> " + got, row);
        }
    }
};

QTEST_GUILESS_MAIN(TestCycle)
#include "test_cycle.moc"
