// SPDX-License-Identifier: GPL-3.0-or-later
// The windows clicked and typed at as a musician would, every MIDI operation recorded
// and the random seed fixed: loading, opening and closing, the splash, the dialogs;
// the cycle the drills share, a row per window; what each drill does of its own.
#include "app/OptionsForm.h"
#include "app/SplashWindow.h"
#include "app/WindowRegistry.h"
#include "chords/FormChords.h"
#include "drill/Random.h"
#include "melody/FormMelody.h"
#include "sound/SoundSettings.h"
#include "tests_support/Controls.h"
#include "tests_support/RecordingBackend.h"

#include <QAction>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <map>
#include <numeric>

using namespace std::chrono_literals;
Q_DECLARE_METATYPE(DrillKind)

namespace {
// Per window: the questions count label; buttons clearing every item; items to tick for
// one known question; its right and a wrong answer (Melody: a key per note); its Reveal.
struct Drill {
    QString questions;
    QStringList none, tick;
    QString right, wrong, reveal;
};
const std::map<DrillKind, Drill> kDrills = {
    {DrillKind::Melody,
     {"Label4",
      {"Command15", "Command17"},
      {"Nota(0)", "octave(4)"},
      "tasto(0)",
      "tasto(1)",
      "C "}},
    {DrillKind::Intervals,
     {"Label8", {"None"}, {"inter(7)"}, "playint(7)", "playint(2)", "Perfect 5th"}},
    {DrillKind::Chords,
     {"Label8", {"None"}, {"chord(1)"}, "playchord(1)", "playchord(0)", "C min"}},
    {DrillKind::Scales,
     {"Label8",
      {"Nonescales", "Nonemodes"},
      {"scales(13)"},
      "playscale(13)",
      "playscale(1)",
      "C doric"}},
};
} // namespace

class TestDrills : public QObject {
    Q_OBJECT

    std::unique_ptr<RecordingBackend> midi;
    std::unique_ptr<WindowRegistry> registry;
    DrillWindow *w = nullptr;
    Drill d;

    void open(DrillKind kind) {
        w = registry->window(kind);
        registry->open(kind);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        control<QSlider>(w, "Slider1")->setValue(0);
        d = kDrills.at(kind);
        midi->clear();
    }
    void clicks(const QStringList &names) {
        for (const QString &b : names)
            click(w, b);
    }
    void tick(const QStringList &names) {
        for (const QString &b : names)
            button(w, b)->setChecked(true);
    }
    void answer(const QString &b) {
        const bool melody = w->kind() == DrillKind::Melody;
        for (int i = 0; i < std::max(melody ? static_cast<FormMelody *>(w)->nnotes() : 1, 1); ++i)
            click(w, b);
    }
    QString score() const {
        return text(w, d.questions) + ' ' + text(w, "Label5") + ' ' + text(w, "Label7");
    }
    QString feedback() const { return text(w, "rightwronglabel") + '|' + text(w, "Label1"); }
    void setCombo(const QString &name, int index) {
        control<QComboBox>(w, name)->setCurrentIndex(index);
    }
    QList<int> ticked(const QString &array, int count) const {
        QList<int> out;
        for (int i = 0; i < count; ++i)
            if (button(w, QString("%1(%2)").arg(array).arg(i))->isChecked())
                out << i;
        return out;
    }
    std::vector<int> stampGapsMs() const {
        std::vector<int> gaps;
        const auto ops = midi->noteOns();
        for (size_t k = 1; k < ops.size(); ++k)
            gaps.push_back(int((ops[k].stamp - ops[k - 1].stamp) / 1ms));
        return gaps;
    }

    DrillWindow *openAndActivate(DrillKind kind) {
        registry->open(kind);
        DrillWindow *w = registry->window(kind);
        if (!QTest::qWaitForWindowActive(w))
            qWarning("%s did not become active", qPrintable(w->objectName()));
        return w;
    }

  private slots:
    void initTestCase() { Random::fixSeed(20261207); }
    void init() {
        variabiliglobali() = SoundSettings{};
        midi = std::make_unique<RecordingBackend>();
        registry = std::make_unique<WindowRegistry>();
    }
    void cleanup() {
        registry.reset();
        midi.reset();
    }

    void eachWindowLoadsActivatesAndUnloadsInItsOrder() {
        variabiliglobali().instrument = 3; // the Melody window's load stores the defaults
        openAndActivate(DrillKind::Melody);
        QCOMPARE(midi->lines("formmelody"),
                 QStringList({"midiOpen", "setPan 1 64", "programChange 1 24", "midiOpen",
                              "programChange 1 24", "setPan 1 64"}));
        struct Row {
            DrillKind kind;
            QString name, ownButton;
            bool feedbackOpenClose;
        };
        for (const Row &r : {Row{DrillKind::Intervals, "Formintervalli", "intervals", true},
                             Row{DrillKind::Chords, "Formchords", "chords", false},
                             Row{DrillKind::Scales, "Formscales", "Command1", false}}) {
            variabiliglobali() = {100, 40, 3, 10};
            DrillWindow *w = openAndActivate(r.kind);
            QCOMPARE(midi->lines(r.name),
                     QStringList({"midiOpen", "programChange 3 40", "setPan 3 10", "midiOpen",
                                  "programChange 3 40", "setPan 3 10"}));
            QCOMPARE(w->feedbackSound()->isOpen(), r.feedbackOpenClose);
            QStringList disabled;
            for (auto *b : control(w, "navigation")->findChildren<QPushButton *>())
                if (!b->isEnabled())
                    disabled << b->objectName();
            QCOMPARE(disabled, QStringList{r.ownButton});
            QCOMPARE(w->menuBar()->actions().at(0)->objectName(),
                     QString(r.kind == DrillKind::Intervals ? "optionmnu" : "optionsmnu"));

            // Opening it again raises it: an activation, no second load.
            registry->window(DrillKind::Melody)->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(registry->window(DrillKind::Melody)));
            midi->clear();
            QCOMPARE(openAndActivate(r.kind), w);
            QCOMPARE(midi->lines(r.name),
                     QStringList({"midiOpen", "programChange 3 40", "setPan 3 10"}));

            QSignalSpy feedback(w->feedbackSound(), &FeedbackSound::commandRun);
            midi->clear();
            w->close(); // its own close box: no question
            QCOMPARE(midi->lines(r.name),
                     r.feedbackOpenClose ? QStringList{"midiClose"} : QStringList{});
            QCOMPARE(feedback.count(), r.feedbackOpenClose ? 1 : 0);
            QVERIFY(!w->isLoaded() && !w->isVisible());
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!w->findChild<QPushButton *>("Exit")); // the controls went with it
        }
        QCOMPARE(registry->window(DrillKind::Scales)->windowTitle(), QString("Scales"));
    }

    // A key or a click on the frame, when let go, opens the Melody window once.
    void splashOpensTheMelodyWindowOnce() {
        for (const bool byKey : {true, false}) {
            registry = std::make_unique<WindowRegistry>();
            registry->showSplash();
            SplashWindow *splash = registry->splash();
            QVERIFY(QTest::qWaitForWindowExposed(splash));
            if (byKey)
                QTest::keyPress(splash, Qt::Key_Space);
            QVERIFY(splash->isVisible());
            for (int i = 0; i < 3; ++i)
                byKey ? QTest::keyClick(splash, Qt::Key_A + i)
                      : QTest::mouseClick(splash->Frame1, Qt::LeftButton);
            QCoreApplication::processEvents();
            QVERIFY(!splash->isVisible() && registry->window(DrillKind::Melody)->isVisible());
            QCOMPARE(midi->lines("formmelody").filter("setPan").size(), 2); // load, activation
            midi->clear();
        }
    }

    void optionsReachEachWindowWhenItIsNextActivated() {
        DrillWindow *melody = openAndActivate(DrillKind::Melody);
        variabiliglobali().volume = 60; // loading Intervals keeps it
        DrillWindow *intervals = openAndActivate(DrillKind::Intervals);
        QCOMPARE(variabiliglobali().volume, 60);
        QString aboutTitle;
        registry->runModal = [&](QDialog *d) {
            if (auto *form = qobject_cast<OptionsForm *>(d)) {
                QTimer::singleShot(0, form, [form] {
                    form->comboinstr->setCurrentIndex(40);
                    form->close(); // the close box: the shown values are stored
                });
                form->exec();
            } else {
                aboutTitle = d->isModal() ? d->windowTitle() : QString();
            }
        };
        midi->clear();
        intervals->menuBar()->actions().at(0)->trigger();
        QCOMPARE(variabiliglobali().instrument, 40);
        QVERIFY(midi->lines("formmelody").isEmpty());
        // (Its re-activation as the dialog closes is seen in the end-to-end test.)
        for (DrillWindow *w : {melody, intervals}) {
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w));
            QVERIFY(midi->lines(w->objectName()).contains("programChange 1 40"));
        }
        melody->menuBar()->actions().at(1)->trigger();
        QCOMPARE(aboutTitle, QString("About!"));
    }
    void sharedCycle_data() {
        QTest::addColumn<DrillKind>("kind");
        for (const auto &[kind, drill] : kDrills)
            QTest::newRow(qPrintable(drill.right)) << kind;
    }
    void sharedCycle() {
        QFETCH(DrillKind, kind);
        open(kind);
        const bool melody = kind == DrillKind::Melody;
        QVERIFY(button(w, "Notest")->isChecked());
        for (const char *off : {"Repeat", "Reveal", "Reset", "Frame5", "Label5", "Label7"})
            QVERIFY2(!enabled(w, off), off);
        // A first New with nothing ticked: the Melody window stops before enabling.
        clicks(d.none + QStringList{"New"});
        QVERIFY(enabled(w, "Repeat") == !melody && enabled(w, "Reveal") == !melody);
        QVERIFY(midi->calls().empty());

        tick(d.tick);
        click(w, "Test");
        QVERIFY(enabled(w, "Frame5") && enabled(w, "Reset") && !enabled(w, "Reveal"));
        QSignalSpy sounds(w->feedbackSound(), &FeedbackSound::commandRun);
        click(w, d.right); // nothing asked yet: nothing judged
        QCOMPARE(feedback() + score(), QString("|0 0 0"));

        click(w, "New");
        QCOMPARE(score(), QString("1 0 0"));
        QVERIFY(enabled(w, "Repeat") && !enabled(w, "Reveal"));
        midi->clear();
        answer(d.wrong);
        QVERIFY(midi->noteOns().empty()); // in test mode an answer makes no note
        QCOMPARE(feedback(), "Wrong!|" + d.reveal);
        QCOMPARE(control<QLabel>(w, "rightwronglabel")->palette().color(QPalette::WindowText),
                 QColor(255, 0, 0));
        answer(d.right); // the same question again: nothing
        QCOMPARE(feedback(), "Wrong!|" + d.reveal);
        QCOMPARE(sounds.count(), 1);
        QCOMPARE(sounds.at(0).at(1).toString(), QString("wrong.wav"));

        click(w, "New");
        QCOMPARE(feedback(), QString("|"));
        answer(d.right);
        QCOMPARE(feedback() + ' ' + score(), "Right!|" + d.reveal + " 2 1 50");
        QCOMPARE(control<QLabel>(w, "rightwronglabel")->palette().color(QPalette::WindowText),
                 QColor(0, 255, 0));
        QCOMPARE(sounds.last().at(1).toString(), QString("right.wav"));

        // Unjudged questions lower the percentage at once, but not in the Melody window.
        clicks({"New", "New"});
        QCOMPARE(score(), QString(melody ? "4 1 50" : "4 1 25"));
        answer(d.right);
        QCOMPARE(score(), QString("4 2 50"));
        QCOMPARE(control(w, d.questions)->accessibleName(), QString("Questions: 4"));
        QCOMPARE(control(w, "Label7")->accessibleName(), QString("Percentage: 50%"));

        // "No test" greys the score, empties the texts, counts no New; judged stays judged.
        click(w, "Notest");
        QVERIFY(!enabled(w, "Frame5") && !enabled(w, "Label5") && enabled(w, "Reveal"));
        QCOMPARE(feedback(), QString("|"));
        clicks({"New", "Reveal"});
        QCOMPARE(feedback() + ' ' + score(), "|" + d.reveal + " 4 2 50");
        click(w, "Test");
        answer(d.right);
        QCOMPARE(score(), QString("4 2 50"));
        clicks({"New", "Reset"}); // the open question leaves the tally too
        QCOMPARE(score(), QString("0 0 0"));
        answer(d.right);
        QCOMPARE(score(), QString("1 1 100"));

        // Nothing ticked after a question: nothing sent or counted; Repeat plays the old.
        clicks(d.none);
        midi->clear();
        click(w, "New");
        QVERIFY(midi->calls().empty());
        QCOMPARE(score(), QString("1 1 100"));
        click(w, "Repeat");
        QVERIFY(!midi->noteOns().empty());
        midi->clear();
        click(w, melody ? "stoponoise" : "stopnoise");
        QCOMPARE(midi->lines(w->objectName()), QStringList({"allNotesOff"}));
    }

    // A melody asked in "No test" and judged in test mode is counted with its notes.
    void melodyAskedOutsideTheTallyCountsItsNotesWhenJudged() {
        open(DrillKind::Melody);
        clicks(d.none);
        tick(d.tick);
        clicks({"Test", "New", "Notest"});
        setCombo("nnotescombo", 2);
        clicks({"New", "Test"});
        answer("tasto(0)");
        QCOMPARE(score(), QString("4 3 75"));
    }

    // (Closing the Melody window ends the run.)
    void closingAndReopeningRestoresTheLoadedStateButKeepsTheQuestion() {
        for (DrillKind kind : {DrillKind::Intervals, DrillKind::Chords, DrillKind::Scales}) {
            open(kind);
            clicks(d.none);
            tick(d.tick);
            setCombo("Combo1", 10); // A
            clicks({"Test", "New"});
            answer(d.right);
            w->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            registry->open(kind);
            QVERIFY(QTest::qWaitForWindowExposed(w));
            QCOMPARE(score(), QString("0 0 0"));
            QVERIFY(button(w, "Notest")->isChecked() && !enabled(w, "Repeat") && w->answered());
            QCOMPARE(control<QComboBox>(w, "Combo1")->currentIndex(), 1);
            QCOMPARE(text(w, "Label4"), kind == DrillKind::Scales ? QString("250") : "1000");
            click(w, "Test");
            answer(d.right); // judged before the close: nothing
            QCOMPARE(score(), QString("0 0 0"));
            clicks({"Notest", "Reveal"});
            QCOMPARE(text(w, "Label1"), QString(d.reveal).replace(QRegularExpression("^C "), "A "));
        }
    }

    void intervalsDirectionsAndComparison() {
        open(DrillKind::Intervals);
        clicks(d.none);
        tick(d.tick);
        control<QSlider>(w, "Slider1")->setValue(120);
        QCOMPARE(control(w, "Label4")->accessibleName(), QString("Interval time [ms]: 120"));
        const std::pair<QString, std::vector<int>> directions[] = {
            {"ascending", {60, 67}}, {"discending", {60, 53}}, {"together", {60, 67}}};
        for (const auto &[direction, notes] : directions) {
            clicks({direction});
            midi->clear();
            click(w, "New");
            QCOMPARE(midi->notes(), notes);
            QCOMPARE(stampGapsMs(), std::vector<int>{direction == "together" ? 0 : 120});
            QCOMPARE(enabled(w, "Frame3"), direction != "together");
        }
        // A comparison plays from the question's root, with a program change first.
        variabiliglobali().instrument = 40;
        setCombo("Combo1", 3); // Fixed D no longer matters
        midi->clear();
        click(w, "playint(4)");
        QCOMPARE(midi->lines("Formintervalli"),
                 QStringList({"programChange 1 40", "noteOn 1 100 60", "noteOn 1 100 64"}));
    }

    // Draws are uniform, many to a clock tick (chi-square under 99.9% for 12 d.f.).
    void randomDrawsAreUniform() {
        std::map<int, double> counts;
        for (int q = 0; q < 2600; ++q)
            ++counts[Random::entry(13)];
        double x2 = 0;
        for (const auto &[entry, n] : counts)
            x2 += (n - 200) * (n - 200) / 200;
        QVERIFY(counts.size() == 13 && counts.begin()->first == 1 && x2 < 32.91);
    }

    // A click, or an "animated" one (by key or assistive technology, from a timer a
    // moment later), during a pause waits for the question's end; so does a close.
    void inputDuringAPauseWaitsForTheQuestion() {
        open(DrillKind::Intervals);
        clicks(d.none);
        tick(d.tick);
        control<QSlider>(w, "Slider1")->setValue(300);
        for (const bool animated : {false, true}) {
            midi->clear();
            QTimer::singleShot(100, this, [&] {
                QVERIFY(DrillWindow::playbackInProgress());
                if (animated)
                    button(w, "playint(4)")->animateClick();
                else
                    click(w, "playint(4)");
            });
            click(w, "New");
            QCOMPARE(midi->notes(), std::vector<int>({60, 67}));
            QTRY_COMPARE(midi->notes(), std::vector<int>({60, 67, 60, 64}));
        }
        QTimer::singleShot(50, this, [&] { w->close(); });
        click(w, "New");
        QVERIFY(w->isLoaded());
        QTRY_VERIFY(!w->isLoaded());
        QCOMPARE(midi->lines("Formintervalli").last(), QString("midiClose"));
        registry->open(DrillKind::Intervals);              // a press still on its way as the window
        QPointer<QAbstractButton> late = button(w, "New"); // closes reaches nothing
        w->close();
        late->click();
    }

    void chordsRootsBlocksArpeggiosAndAnswers() {
        open(DrillKind::Chords);
        clicks(d.none);
        tick(d.tick);
        // Roots fold into the octave below F: F 65, F# 54, C 60, B 59.
        for (const auto &[entry, root] : {std::pair{6, 65}, {7, 54}, {1, 60}, {12, 59}}) {
            setCombo("Combo1", entry);
            click(w, "New");
            QCOMPARE(static_cast<FormChords *>(w)->questionnotes(1), root);
        }
        click(w, "None");
        tick({"chord(19)"});
        setCombo("Combo1", 6);
        midi->clear();
        click(w, "New");
        QCOMPARE(midi->notes(), std::vector<int>({65, 69, 72, 75, 79, 86}));
        QCOMPARE(stampGapsMs(), std::vector<int>(5, 0));
        // As an arpeggio the pause follows the last note too: a "Stop noise!" clicked
        // during the question is stamped after six pauses.
        click(w, "Arpeggiooption");
        control<QSlider>(w, "Slider1")->setValue(30);
        midi->clear();
        QTimer::singleShot(10, this, [&] { click(w, "stopnoise"); });
        click(w, "Repeat");
        QTRY_COMPARE(midi->calls().size(), size_t(7));
        QCOMPARE(stampGapsMs(), std::vector<int>(5, 30));
        QVERIFY(midi->calls().back().op.stamp - midi->noteOns().front().stamp >= 180ms);

        // "min" on A asked, "maj" answered; counted before it plays.
        click(w, "None");
        tick({"chord(1)"});
        setCombo("Combo1", 10);
        clicks({"Test", "Reset", "New"});
        QCOMPARE(score(), QString("1 0 0"));
        click(w, "playchord(0)");
        QCOMPARE(feedback() + ' ' + score(), QString("Wrong!|A min 1 0 0"));
        click(w, "Notest");
        midi->clear();
        click(w, "playchord(3)"); // a comparison on the question's root
        QCOMPARE(midi->notes(), std::vector<int>({57, 61, 64, 68}));
    }

    void scalesRunFromTheFoldedRootAfterAProgramChange() {
        open(DrillKind::Scales);
        clicks(d.none);
        tick({"scales(8)"});   // Cromatic
        setCombo("Combo1", 7); // F#: 54
        click(w, "New");
        std::vector<int> chromatic(13);
        std::iota(chromatic.begin(), chromatic.end(), 54);
        QCOMPARE(midi->notes(), chromatic);
        midi->clear();
        click(w, "Repeat");
        QCOMPARE(midi->lines("Formscales").first(), QString("programChange 1 24"));
        QCOMPARE(midi->notes(), chromatic);
        midi->clear();
        click(w, "playscale(4)"); // a comparison from the question's root
        QCOMPARE(midi->notes(), std::vector<int>({54, 56, 58, 61, 63, 66}));
        clicks({"Test", "New"});
        QCOMPARE(score(), QString("1 0 0"));
        click(w, "playscale(8)");
        QCOMPARE(text(w, "Label1"), QString("F# cromatic"));
    }

    void melodyNotesLengthsAndRepeat() {
        open(DrillKind::Melody);
        QCOMPARE(ticked("Nota", 12), QList<int>({0, 2, 4, 5, 7, 9, 11}));
        QCOMPARE(ticked("octave", 10), QList<int>({3, 4, 5, 6}));
        QVERIFY(!enabled(w, "delayframe"));
        const std::pair<QString, QList<int>> presets[] = {
            {"Command16", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
            {"Command19", {2, 3, 4, 5, 6, 7}},
            {"Command18", {3, 4, 5, 6}},
            {"Command17", {}}};
        for (const auto &[preset, octaves] : presets) {
            click(w, preset);
            QCOMPARE(ticked("octave", 10), octaves);
        }
        // The "10th" octave: 128-131 are played folded, and judged by pitch class.
        click(w, "Command15");
        tick({"Nota(8)", "Nota(9)", "Nota(10)", "Nota(11)", "octave(9)"});
        setCombo("nnotescombo", 9);
        QVERIFY(enabled(w, "delayframe"));
        clicks({"Test", "New"});
        auto *form = static_cast<FormMelody *>(w);
        for (int k = 1; k <= 10; ++k) {
            QVERIFY(form->notes(k) >= 128 && form->notes(k) <= 131);
            QCOMPARE(midi->notes()[size_t(k - 1)], form->notes(k) - 12);
            click(w, QString("tasto(%1)").arg(form->notes(k) % 12));
        }
        QCOMPARE(text(w, "rightwronglabel"), QString("Right!"));
        QCOMPARE(control<QLabel>(w, "Label1")->font().pointSizeF(), 10.0);

        // The length and the pause are read by New; Repeat plays the melody it has.
        click(w, "Notest");
        setCombo("nnotescombo", 2);
        control<QSlider>(w, "Slider1")->setValue(40);
        click(w, "New");
        setCombo("nnotescombo", 4);
        midi->clear();
        click(w, "Repeat");
        QCOMPARE(stampGapsMs(), std::vector<int>({40, 40}));
        midi->clear();
        click(w, "tasto(9)"); // outside test mode a key plays its note
        QCOMPARE(midi->notes(), std::vector<int>{69});
    }

    // Reveal spells the sharps with a blank, but "A#" without.
    void melodyRevealSpelling() {
        open(DrillKind::Melody);
        clicks(d.none);
        tick({"Nota(1)", "Nota(3)", "Nota(6)", "Nota(8)", "Nota(10)", "octave(4)"});
        setCombo("nnotescombo", 4);
        const QMap<int, QString> spelled = {
            {61, "C #"}, {63, "D #"}, {66, "F #"}, {68, "G #"}, {70, "A#"}};
        for (int tries = 0; tries < 5; ++tries) {
            clicks({"New", "Reveal"});
            QString expected;
            for (int k = 1; k <= 5; ++k)
                expected += spelled[static_cast<FormMelody *>(w)->notes(k)] + ' ';
            QCOMPARE(text(w, "Label1"), expected);
        }
        QCOMPARE(control<QLabel>(w, "Label1")->font().pointSizeF(), 18.0);
    }

    // Letters press buttons wherever the focused control does not take them: a list
    // box takes them to choose an entry.
    void keysGoToTheFocusedListFirst() {
        open(DrillKind::Chords);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        click(w, "New");
        midi->clear();
        auto *root = control<QComboBox>(w, "Combo1");
        root->setFocus();
        QTest::keyClick(root, 'R');
        QCOMPARE(root->currentText(), QString("Random"));
        QTest::qWait(200);
        QVERIFY(midi->noteOns().empty());
        button(w, "chord(0)")->setFocus();
        QTest::keyClick(w->focusWidget(), 'N');
        QTRY_VERIFY(!midi->noteOns().empty());

        open(DrillKind::Melody);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        for (char letter : {'A', 'W', 'J'})
            QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, letter);
        QCOMPARE(midi->notes(), std::vector<int>({60, 61, 71})); // at once, not a moment later
        QCOMPARE(button(w, "tasto(1)")->toolTip(), QString("C# (W)"));
        // Tab walks the keys as they sound, C to B; black keys lie in front.
        QWidget *from = button(w, "tasto(0)");
        for (int i = 1; i < 12; ++i) {
            from = from->nextInFocusChain();
            while (!(from->focusPolicy() & Qt::TabFocus))
                from = from->nextInFocusChain();
            QCOMPARE(from->objectName(), QString("tasto(%1)").arg(i));
        }
        QWidget *cSharp = button(w, "tasto(1)");
        QCOMPARE(cSharp->parentWidget()->childAt(cSharp->geometry().center()), cSharp);
    }
};

QTEST_MAIN(TestDrills)
#include "test_drills.moc"
