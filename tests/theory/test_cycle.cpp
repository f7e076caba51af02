// SPDX-License-Identifier: GPL-3.0-or-later
// The question cycle of the drill windows, pressed through as learners would, the draw
// of a ticked item, and answers played on a keyboard.
#include "theory/PlayedNotes.h"
#include "theory/QuestionCycle.h"
#include "theory/Random.h"

#include <QTest>
#include <functional>
#include <map>

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
    // Played answers, judged as a musician would: "right"/"wrong", the item they read
    // as (interval size, chord, scale; -1 none), what was played.
    void playedAnswers() {
        using Q = played::Question;
        const struct {
            Q question;
            std::vector<int> notes;
            const char *expected;
        } rows[] = {
            {{Q::Interval, 60, 7}, {60, 67}, "right 7 Perfect 5th"},
            {{Q::Interval, 60, 7}, {67, 60}, "right 7 Perfect 5th"}, // downwards
            {{Q::Interval, 60, 7}, {50, 57}, "right 7 Perfect 5th"}, // any start
            {{Q::Interval, 60, 4}, {60, 63}, "wrong 3 3rd minor"},
            {{Q::Interval, 60, 0}, {62, 62}, "right 0 Unison"},
            {{Q::Interval, 60, 12}, {60, 72}, "right 12 Octave"},
            {{Q::Interval, 60, 7}, {60, 79}, "wrong -1 19 semitones"},
            {{Q::Chord, 60, 7}, {60, 64, 67, 69}, "right 7 C 6"},
            {{Q::Chord, 60, 7}, {57, 60, 64, 67}, "wrong 4 A min7"}, // same notes, root A
            {{Q::Chord, 60, 7}, {64, 67, 69, 72}, "right 7 C 6"},    // an inversion
            {{Q::Chord, 60, 7}, {48, 60, 64, 67, 69, 76}, "right 7 C 6"},
            {{Q::Chord, 57, 4}, {60, 64, 67, 69}, "wrong 7 C 6"},
            {{Q::Chord, 54, 0}, {57, 60, 64}, "wrong 1 A min"},
            {{Q::Chord, 60, 0}, {64, 60, 62}, "wrong -1 C D E"},
            {{Q::Chord, 60, 0}, {62, 66, 69}, "wrong 0 D maj"},   // another root
            {{Q::Chord, 60, 12}, {64, 68, 72}, "right 12 C aug"}, // E G# C: also E aug
            {{Q::Chord, 65, 19}, {65, 69, 72, 75, 79, 86}, "right 19 F 13"},
            {{Q::Scale, 60, 0}, {48, 50, 52, 53, 55, 57, 59, 60}, "right 0 C D E F G A B C"},
            {{Q::Scale, 60, 0}, {60, 62, 63, 65, 67, 69, 71, 72}, "wrong 3 C D D# F G A B C"},
            {{Q::Scale, 60, 0}, {62, 64, 66, 67, 69, 71, 73, 74}, "wrong 0 D E F# G A B C# D"},
            {{Q::Scale, 62, 13}, {62, 64, 65, 67, 69, 71, 72, 74}, "right 13 D E F G A B C D"},
            {{Q::Scale, 60, 4}, {72, 69, 67, 64, 62, 60}, "wrong -1 C A G E D C"},
        };
        for (const auto &row : rows) {
            const played::Verdict v = played::judge(row.question, row.notes);
            QCOMPARE(QString("%1 %2 %3")
                         .arg(v.right ? "right" : "wrong")
                         .arg(v.answeredIndex)
                         .arg(v.said),
                     QString(row.expected));
        }
    }

    // When the notes make an answer: events "60" (on) or "-60" (off) at "@ms"; what the
    // collector holds once complete, or "due <ms>"/"waits" after the last event.
    void playedAnswerEnds() {
        using Q = played::Question;
        const struct {
            Q question;
            bool sung;
            const char *events, *expected;
        } rows[] = {
            {{Q::Interval, 60, 7}, false, "60@0 67@5", "60 67"},
            {{Q::Chord, 60, 0}, false, "60@0 64@10 67@20 -60@500", "waits"},
            {{Q::Chord, 60, 0}, false, "60@0 64@10 67@20 -64@900 -60@900 -67@910", "due 910"},
            {{Q::Chord, 60, 0}, false, "60@0 -60@100 64@300 -64@350", "due 700"},
            {{Q::Chord, 60, 0}, true, "60@0 64@1000", "due 2500"},
            {{Q::Scale, 60, 4},
             false,
             "60@0 62@300 64@600 67@900 69@1200 72@1500",
             "60 62 64 67 69 72"},
            {{Q::Scale, 60, 0}, false, "60@0 62@300 64@600", "due 3100"},
        };
        for (const auto &row : rows) {
            played::Collector c;
            QString got = "waits";
            for (const QString &e : QString(row.events).split(' ')) {
                const int note = e.section('@', 0, 0).toInt();
                const played::NoteEvent event{
                    std::abs(note), e.section('@', 1).toLongLong(), note > 0,
                    row.sung ? played::Source::Voice : played::Source::Keyboard};
                if (c.add(event, row.question)) {
                    QStringList notes;
                    for (int n : c.notes())
                        notes << QString::number(n);
                    got = notes.join(' ');
                    break;
                }
                if (c.due())
                    got = QString("due %1").arg(*c.due());
                else
                    got = "waits";
            }
            QCOMPARE(QString(row.events) + " -> " + got,
                     QString(row.events) + " -> " + row.expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestCycle)
#include "test_cycle.moc"
