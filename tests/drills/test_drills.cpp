// SPDX-License-Identifier: GPL-3.0-or-later
// The windows used as a musician would, every MIDI operation recorded, the random seed
// fixed: the cycle the drills share, every item's notes and name, the keys, what each
// drill does of its own; the command line.
#include "app/CommandLine.h"
#include "app/OptionsDialog.h"
#include "app/SplashWindow.h"
#include "app/VoiceAnswers.h"
#include "app/WindowRegistry.h"
#include "melody/MelodyWindow.h"
#include "sound/FileNames.h"
#include "sound/KeptSettings.h"
#include "sound/SoundSettings.h"
#include "tests_support/Controls.h"
#include "tests_support/RecordingBackend.h"
#include "theory/Random.h"

#include <QAccessible>
#include <QAction>
#include <QElapsedTimer>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <csignal>
#include <map>
#include <unistd.h>

using namespace std::chrono_literals;
Q_DECLARE_METATYPE(DrillKind)

namespace {
// Per window: the questions count label; buttons clearing every item; items to tick for
// one known question; its right and a wrong answer (Melody: a key per note); its Reveal.
struct Drill {
    QString questions, none, tick, right, wrong, reveal;
};
const std::map<DrillKind, Drill> kDrills = {
    {DrillKind::Melody,
     {"Label4", "Command15 Command17", "Nota(0) octave(4)", "tasto(0)", "tasto(1)", "C "}},
    {DrillKind::Intervals,
     {"Label8", "None", "inter(7)", "playint(7)", "playint(2)", "Perfect 5th"}},
    {DrillKind::Chords, {"Label8", "None", "chord(1)", "playchord(1)", "playchord(0)", "C min"}},
    {DrillKind::Scales,
     {"Label8", "Nonescales Nonemodes", "scales(13)", "playscale(13)", "playscale(1)", "C doric"}}};

// Each item as designed: "name: its notes in semitones from the root" (an interval: the
// root and the root plus its index).
const QStringList kIntervalNames = {"Unison",    "2nd minor",   "2nd major",      "3rd minor",
                                    "3rd major", "Perfect 4th", "5th diminished", "Perfect 5th",
                                    "6th minor", "6th major",   "7th minor",      "7th major",
                                    "Octave"};
const QStringList kChordTable = {
    "maj: 0 4 7",       "min: 0 3 7",        "7: 0 4 7 10",        "maj7: 0 4 7 11",
    "min7: 0 3 7 10",   "sus4: 0 5 7",       "7sus4: 0 5 7 10",    "6: 0 4 7 9",
    "min6: 0 3 7 9",    "9: 0 4 7 10 14",    "min9: 0 3 7 10 14",  "dim: 0 3 6",
    "aug: 0 4 8",       "maj9: 0 4 7 11 14", "7-5: 0 4 6 10",      "7+5: 0 4 8 10",
    "7+9: 0 4 7 10 15", "7-9: 0 4 7 10 13",  "11: 0 4 7 10 14 17", "13: 0 4 7 10 14 21"};
const QStringList kScaleTable =
    QString("major: 0 2 4 5 7 9 11 12; minor: 0 2 3 5 7 8 10 12; "
            "armonic minor: 0 2 3 5 7 8 11 12; melodic minor: 0 2 3 5 7 9 11 12; "
            "major pentatonic: 0 2 4 7 9 12; minor pentatonic: 0 3 5 7 10 12; "
            "diminished: 0 2 3 5 6 8 9 11 12; exatonal: 0 2 4 6 8 10 12; "
            "cromatic: 0 1 2 3 4 5 6 7 8 9 10 11 12; major neapolitan: 0 1 3 5 7 9 11 12; "
            "minor neapolitan: 0 1 3 5 7 8 11 12; enigmatic: 0 1 4 6 8 10 11 12; "
            "ungarian: 0 2 3 6 7 8 11 12; doric: 0 2 3 5 7 9 10 12; "
            "frigian: 0 1 3 5 7 8 10 12; lydian: 0 2 4 6 7 9 11 12; "
            "mixolydian: 0 2 4 5 7 9 10 12; locrian: 0 1 3 5 6 8 10 12")
        .split("; ");
} // namespace

class TestDrills : public QObject {
    Q_OBJECT

    std::unique_ptr<RecordingBackend> midi;
    std::unique_ptr<WindowRegistry> registry;
    DrillWindow *w = nullptr;
    Drill d;

    // Opens a window, active, with no pause between notes; with `ticks`, only those
    // items ticked (the known question's if empty) and, with `root`, that root entry.
    void open(DrillKind kind, std::optional<QString> ticks = {}, int root = -1) {
        w = registry->window(kind);
        registry->open(kind);
        QVERIFY(QTest::qWaitForWindowActive(w));
        control<QSlider>(w, "Slider1")->setValue(0);
        d = kDrills.at(kind);
        if (ticks) {
            clicks(d.none);
            tick(ticks->isEmpty() ? d.tick : *ticks);
        }
        if (root >= 0)
            setCombo("Combo1", root);
        midi->clear();
    }
    void clicks(const QString &names) {
        for (const QString &b : names.split(' '))
            click(w, b);
    }
    void tick(const QString &names) {
        for (const QString &b : names.split(' '))
            button(w, b)->setChecked(true);
    }
    void answer(const QString &b) {
        const bool melody = w->kind() == DrillKind::Melody;
        for (int i = 0;
             i < std::max(melody ? static_cast<MelodyWindow *>(w)->melodyLength() : 1, 1); ++i)
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
  private slots:
    void initTestCase() { Random::fixSeed(20261207); }
    void init() {
        soundSettings() = SoundSettings{};
        midi = std::make_unique<RecordingBackend>();
        registry = std::make_unique<WindowRegistry>();
    }
    void cleanup() {
        registry.reset();
        midi.reset();
    }

    // A key or a click on the frame, when let go, opens the Melody window once.
    void splashOpensTheMelodyWindowOnce() {
        registry->showSplash();
        SplashWindow *splash = registry->splash();
        QVERIFY(QTest::qWaitForWindowExposed(splash));
        QTest::keyPress(splash, Qt::Key_Space);
        QVERIFY(splash->isVisible());
        for (int i = 0; i < 3; ++i)
            QTest::mouseClick(splash->frame, Qt::LeftButton);
        QCoreApplication::processEvents();
        QVERIFY(!splash->isVisible() && registry->window(DrillKind::Melody)->isVisible());
        QCOMPARE(midi->lines("formmelody").filter("setPan").size(), 2); // load, activation
    }

    // The options dialog shows the settings and, closed, stores what it shows (the last
    // channel is 16, "Center" pan 64); each window takes them when next activated.
    void optionsReachEachWindowWhenItIsNextActivated() {
        open(DrillKind::Melody);
        DrillWindow *melody = w;
        soundSettings() = {77, 100, 9, 3}; // loading Intervals keeps them
        open(DrillKind::Intervals);
        DrillWindow *intervals = w;
        registry->runModal = [&](QDialog *dialog) {
            auto *form = qobject_cast<OptionsDialog *>(dialog);
            QCOMPARE(form->windowTitle() + ' ' + form->instrumentList->itemText(24),
                     QString("Settings 24=Acoustic Guitar (nylon)"));
            QCOMPARE(
                QList<int>({form->instrumentList->count(), form->instrumentList->currentIndex(),
                            form->channelList->currentText().toInt(), form->volumeSlider->value()}),
                QList<int>({128, 100, 9, 77}));
            form->channelList->setCurrentIndex(15);
            form->instrumentList->setCurrentIndex(40);
            QTest::mouseClick(form->centerButton, Qt::LeftButton);
            QVERIFY(form->panSlider->value() == 64 && soundSettings().pan == 3);
            QTimer::singleShot(0, form, [form] { form->close(); });
            form->exec();
        };
        midi->clear();
        intervals->menuBar()->actions().at(0)->trigger();
        const SoundSettings &s = soundSettings();
        QCOMPARE(QList<int>({s.volume, s.instrument, s.channel, s.pan}),
                 QList<int>({77, 40, 16, 64}));
        QVERIFY(midi->lines("formmelody").isEmpty());
        for (DrillWindow *w : {melody, intervals}) {
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w));
            QVERIFY(midi->lines(w->objectName()).contains("programChange 16 40"));
        }
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
        clicks(d.none + " New");
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
        click(w, "New");
        answer(d.right);
        QCOMPARE(score(), QString("3 2 66")); // whole percent, rounded down

        // "No test" greys the score and empties the texts; Reveal shows the answer. (The
        // cycle's rules themselves are tested on its model.)
        click(w, "Notest");
        QVERIFY(!enabled(w, "Frame5") && !enabled(w, "Label5") && enabled(w, "Reveal"));
        QCOMPARE(feedback(), QString("|"));
        clicks("New Reveal");
        QCOMPARE(feedback() + ' ' + score(), "|" + d.reveal + " 3 2 66");
        clicks("Test Reset");
        QCOMPARE(score(), QString("0 0 0"));

        // Nothing ticked after a question: nothing sent or counted; Repeat plays the old.
        clicks(d.none);
        midi->clear();
        click(w, "New");
        QVERIFY(midi->calls().empty());
        QCOMPARE(score(), QString("0 0 0"));
        click(w, "Repeat");
        QVERIFY(!midi->noteOns().empty());
        midi->clear();
        click(w, melody ? "stoponoise" : "stopnoise");
        QCOMPARE(midi->lines(w->objectName()), QStringList({"allNotesOff"}));
    }

    // Closing takes the controls with it; opening again starts from the loaded state but
    // keeps the question.
    void closingAndReopeningRestoresTheLoadedStateButKeepsTheQuestion() {
        for (DrillKind kind : {DrillKind::Intervals, DrillKind::Chords, DrillKind::Scales}) {
            open(kind, "", 10); // A
            clicks("Test New");
            answer(d.right);
            w->close(); // its own close box: no question
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!w->isLoaded() && !w->isVisible() && !w->findChild<QPushButton *>("Exit"));
            registry->open(kind);
            QVERIFY(QTest::qWaitForWindowExposed(w));
            QCOMPARE(score(), QString("0 0 0"));
            QVERIFY(button(w, "Notest")->isChecked() && !enabled(w, "Repeat") && w->answered());
            QCOMPARE(control<QComboBox>(w, "Combo1")->currentIndex(), 1);
            QCOMPARE(text(w, "Label4"), kind == DrillKind::Scales ? QString("250") : "1000");
            click(w, "Test");
            answer(d.right); // judged before the close: nothing
            QCOMPARE(score(), QString("0 0 0"));
            clicks("Notest Reveal");
            QCOMPARE(text(w, "Label1"), QString(d.reveal).replace(QRegularExpression("^C "), "A "));
        }
    }

    void intervalsDirectionsAndComparison() {
        open(DrillKind::Intervals, "");
        control<QSlider>(w, "Slider1")->setValue(120);
        const std::pair<QString, std::vector<int>> directions[] = {
            {"ascending", {60, 67}}, {"discending", {60, 53}}, {"together", {60, 67}}};
        for (const auto &[direction, notes] : directions) {
            clicks(direction);
            midi->clear();
            click(w, "New");
            QCOMPARE(midi->notes(), notes);
            QCOMPARE(stampGapsMs(), std::vector<int>{direction == "together" ? 0 : 120});
            QCOMPARE(enabled(w, "Frame3"), direction != "together");
        }
        // A comparison plays from the question's root, with a program change first.
        soundSettings().instrument = 40;
        setCombo("Combo1", 3); // Fixed D no longer matters
        midi->clear();
        click(w, "playint(4)");
        QCOMPARE(midi->lines("Formintervalli"),
                 QStringList({"programChange 1 40", "noteOn 1 100 60", "noteOn 1 100 64"}));
    }

    // A click, or an "animated" one (by key or assistive technology, from a timer a
    // moment later), during a pause waits for the question's end; so does a close.
    void inputDuringAPauseWaitsForTheQuestion() {
        open(DrillKind::Intervals, "");
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

    // Entry p is root p+59, 12 lower from 66 on; a comparison plays on the question's
    // root. A block is struck at once; an arpeggio pauses after its last note too.
    void chordsRootsBlocksAndArpeggios() {
        open(DrillKind::Chords, "");
        control<QSlider>(w, "Slider1")->setValue(30);
        const int roots[] = {60, 61, 62, 63, 64, 65, 54, 55, 56, 57, 58, 59};
        const QStringList names = QString("C C# D D# E F F# G G# A A# B").split(' ');
        for (int entry = 1; entry <= 12; ++entry) {
            setCombo("Combo1", entry);
            midi->clear();
            clicks("New Reveal");
            QCOMPARE(midi->notes().front(), roots[entry - 1]);
            QCOMPARE(stampGapsMs(), std::vector<int>(2, 0));
            QCOMPARE(text(w, "Label1"), names[entry - 1] + " min");
        }
        setCombo("Combo1", 3);
        midi->clear();
        click(w, "playchord(3)");
        QCOMPARE(midi->notes(), std::vector<int>({59, 63, 66, 70}));

        click(w, "Arpeggiooption");
        midi->clear();
        QTimer::singleShot(10, this, [&] { click(w, "stopnoise"); });
        click(w, "Repeat");
        QTRY_COMPARE(midi->calls().size(), size_t(4));
        QCOMPARE(stampGapsMs(), std::vector<int>(2, 30));
        QVERIFY(midi->calls().back().op.stamp - midi->noteOns().front().stamp >= 90ms);
    }

    // A scale runs from the folded root after a program change.
    void scalesRootsAndComparison() {
        open(DrillKind::Scales, "scales(8)", 7); // Cromatic on F#: 54
        clicks("New Reveal");
        QCOMPARE(text(w, "Label1"), QString("F# cromatic"));
        midi->clear();
        click(w, "Repeat");
        QCOMPARE(midi->lines("Formscales").first(), QString("programChange 1 24"));
        QCOMPARE(midi->notes(),
                 std::vector<int>({54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66}));
        setCombo("Combo1", 1);
        midi->clear();
        click(w, "playscale(4)");
        QCOMPARE(midi->notes(), std::vector<int>({54, 56, 58, 61, 63, 66}));
    }

    // Every item alone on "Fixed C": the notes sent and the name revealed.
    void eachItemsNotesAndName_data() {
        QTest::addColumn<DrillKind>("kind");
        QTest::addColumn<QString>("box");
        QTest::addColumn<std::vector<int>>("notes");
        QTest::addColumn<QString>("reveal");
        for (int i = 0; i < 13; ++i)
            QTest::addRow("interval %d", i) << DrillKind::Intervals << QString("inter(%1)").arg(i)
                                            << std::vector<int>{60, 60 + i} << kIntervalNames[i];
        for (const bool chord : {true, false}) {
            const QStringList &table = chord ? kChordTable : kScaleTable;
            for (int i = 0; i < table.size(); ++i) {
                const QString name = table[i].section(": ", 0, 0);
                std::vector<int> notes;
                for (const QString &offset : table[i].section(": ", 1).split(' '))
                    notes.push_back(60 + offset.toInt());
                QTest::addRow("%s", qPrintable(name))
                    << (chord ? DrillKind::Chords : DrillKind::Scales)
                    << QString(chord ? "chord(%1)" : "scales(%1)").arg(i) << notes << "C " + name;
            }
        }
    }
    void eachItemsNotesAndName() {
        QFETCH(DrillKind, kind);
        QFETCH(QString, box);
        open(kind, box, 1); // Fixed C
        if (kind != DrillKind::Scales)
            click(w, kind == DrillKind::Chords ? "Chordoption" : "ascending");
        click(w, "New");
        QTEST(midi->notes(), "notes");
        click(w, "Reveal");
        QTEST(text(w, "Label1"), "reveal");
    }

    // Each key does what its button or menu entry (by its index) does.
    void keysDoWhatTheirButtonsDo() {
        open(DrillKind::Scales, ""); // C doric: 8 notes
        QStringList asked;
        registry->runModal = [&](QDialog *dialog) {
            asked << (dialog->isModal() ? dialog->windowTitle() : "");
        };
        connect(w, &DrillWindow::progressRequested, this, [&] { asked << "Progress"; });
        const auto done = [&] {
            return QString("%1 notes%2|%3|%4")
                .arg(midi->noteOns().size())
                .arg(midi->lines(w->objectName()).contains("allNotesOff") ? ", stop" : "")
                .arg(text(w, "Label1"), asked.join(' '));
        };
        const std::tuple<QKeySequence, QString, QString> rows[] = {
            {Qt::Key_N, "New", "8 notes||"},
            {Qt::Key_R, "Repeat", "8 notes||"},
            {Qt::Key_V, "Reveal", "0 notes|C doric|"},
            {Qt::ALT | Qt::Key_S, "stopnoise", "0 notes, stop||"},
            {Qt::CTRL | Qt::Key_Comma, "0", "0 notes||Settings"},
            {Qt::Key_F1, "1", "0 notes||About!"},
            {Qt::CTRL | Qt::Key_P, "2", "0 notes||Progress"}};
        for (const auto &[key, byHand, expected] : rows) {
            for (const bool byKey : {true, false}) {
                click(w, "New");
                midi->clear();
                asked.clear();
                if (byKey)
                    QTest::keySequence(w, key);
                else if (byHand.size() == 1)
                    w->menuBar()->actions().at(byHand.toInt())->trigger();
                else
                    click(w, byHand);
                QTRY_VERIFY2(done() == expected,
                             qPrintable((byKey ? key.toString() : byHand) + ": " + done()));
            }
        }
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
        tick("Nota(8) Nota(9) Nota(10) Nota(11) octave(9)");
        setCombo("nnotescombo", 9);
        QVERIFY(enabled(w, "delayframe"));
        clicks("Test New");
        auto *form = static_cast<MelodyWindow *>(w);
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

        // Reveal spells the sharps with a blank, but "A#" without.
        open(DrillKind::Melody, "Nota(1) Nota(3) Nota(6) Nota(8) Nota(10) octave(4)");
        setCombo("nnotescombo", 4);
        const QMap<int, QString> spelled = {
            {61, "C #"}, {63, "D #"}, {66, "F #"}, {68, "G #"}, {70, "A#"}};
        for (int tries = 0; tries < 5; ++tries) {
            clicks("New Reveal");
            QString expected;
            for (int k = 1; k <= 5; ++k)
                expected += spelled[static_cast<MelodyWindow *>(w)->notes(k)] + ' ';
            QCOMPARE(text(w, "Label1"), expected);
        }
        QCOMPARE(control<QLabel>(w, "Label1")->font().pointSizeF(), 18.0);
    }

    // Letters press buttons unless the focused control takes them (a list box does).
    void keysGoToTheFocusedListFirst() {
        open(DrillKind::Chords);
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
        QTest::qWait(200); // the same wait is long enough for a key's notes
        QVERIFY(!midi->noteOns().empty());

        open(DrillKind::Melody);
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

    // Every control has a name and a description for assistive technology; lists a label.
    void everyControlIsNamedAndDescribed() {
        for (const auto &[kind, drill] : kDrills) {
            open(kind);
            const auto controls = control(w, "controls")->findChildren<QWidget *>();
            QVERIFY(controls.size() > 20);
            for (QWidget *c : controls) {
                const QAccessibleInterface *a = QAccessible::queryAccessibleInterface(c);
                const QString what = w->objectName() + ' ' + c->objectName();
                if (qobject_cast<QAbstractButton *>(c) || qobject_cast<QSlider *>(c))
                    QVERIFY2(!a->text(QAccessible::Name).isEmpty() &&
                                 !a->text(QAccessible::Description).isEmpty(),
                             qPrintable(what));
                if (qobject_cast<QComboBox *>(c))
                    QVERIFY2(!a->relations(QAccessible::Label).isEmpty() &&
                                 !a->text(QAccessible::Description).isEmpty(),
                             qPrintable(what));
            }
        }
    }

    // What is set comes back in the next run (registry and file afresh), the place where
    // it fits the screen; a damaged value is its default, said once, nothing else lost;
    // "Reset to defaults" puts the window as the first run has it.
    void settingsAreKeptBetweenRuns() {
        QTemporaryDir dir;
        const QString file = dir.filePath("tonvik.conf");
        std::unique_ptr<KeptSettings> kept;
        auto newRun = [&](DrillKind kind) {
            registry.reset();
            kept.reset(); // writes what waits
            KeptSettings::setCurrent((kept = std::make_unique<KeptSettings>(file)).get());
            soundSettings() = SoundSettings{};
            registry = std::make_unique<WindowRegistry>();
            registry->open(DrillKind::Melody);
            registry->open(kind);
            w = registry->window(kind);
        };
        auto shown = [this] {
            QList<int> out = ticked("inter", 13);
            for (const char *b : {"weakitems", "Test", "discending"})
                out.prepend(button(w, b)->isChecked());
            return out << control<QComboBox>(w, "Combo1")->currentIndex()
                       << control<QSlider>(w, "Slider1")->value() << soundSettings().instrument;
        };
        auto options = [this](const std::function<void(OptionsDialog *)> &set) {
            registry->runModal = [set](QDialog *d) {
                set(qobject_cast<OptionsDialog *>(d)), d->done(0);
            };
            w->menuBar()->actions().at(0)->trigger();
        };
        newRun(DrillKind::Intervals);
        const QList<int> first = shown();
        const QPoint firstPlace = w->pos();
        QCOMPARE(first, QList<int>({0, 0, 0, 0, 2, 4, 5, 7, 9, 11, 12, 1, 1000, 24}));
        open(DrillKind::Intervals, "inter(3) inter(5)", 5);
        clicks("discending Test weakitems");
        control<QSlider>(w, "Slider1")->setValue(300);
        options([](OptionsDialog *d) { d->instrumentList->setCurrentIndex(40); });
        w->move(firstPlace + QPoint(7, 9));

        newRun(DrillKind::Intervals);
        QCOMPARE(shown(), QList<int>({1, 1, 1, 3, 5, 5, 300, 40}));
        QCOMPARE(w->pos(), firstPlace + QPoint(7, 9));

        QSettings(file, QSettings::IniFormat).setValue("Formintervalli/Combo1", 13);
        QSettings(file, QSettings::IniFormat).setValue("sound/instrument", "violin");
        QSettings(file, QSettings::IniFormat)
            .setValue("Formintervalli/frame", QRect(5000, 0, 9, 9));
        std::fflush(stderr);
        QTemporaryFile said;
        const int err = ::dup(2);
        QVERIFY(said.open() && ::dup2(said.handle(), 2) == 2);
        newRun(DrillKind::Intervals);
        const QList<int> keptShown = shown();
        w->close(); // opened again in the run: as loading leaves it, nothing said again
        registry->open(DrillKind::Intervals);
        std::fflush(stderr);
        ::dup2(err, 2);
        ::close(err);
        QCOMPARE(keptShown, QList<int>({1, 1, 1, 3, 5, 1, 300, 24}));
        QCOMPARE(shown(), first);
        QCOMPARE(w->pos(), firstPlace);
        said.seek(0);
        const QStringList lines = QString(said.readAll()).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() == 2 && lines.filter("\"violin\" for sound/instrument").size() == 1 &&
                     lines.filter("\"13\" for Formintervalli/Combo1").size() == 1,
                 qPrintable(lines.join('\n')));

        options([](OptionsDialog *d) { d->resetButton->click(); });
        QCOMPARE(shown(), first);
        QVERIFY(!QSettings(file, QSettings::IniFormat).contains("Formintervalli/Combo1"));
        registry.reset(); // before the settings it keeps into
    }

    // The options dialog lists the sound server's sources (monitors too) as they come,
    // and opens at once when the server does not answer; a source chosen meanwhile is
    // listened to once the server answers, and nothing waits for it.
    void audioSourcesDoNotHoldTheOptionsUp() {
        const qint64 server = qEnvironmentVariableIntValue("TONVIK_TEST_PULSE_PID");
        if (server <= 0)
            QSKIP("no sound server of the test's own");
        open(DrillKind::Intervals);
        qint64 openedMs = -1;
        bool listed = false;
        QElapsedTimer clock;
        registry->runModal = [&](QDialog *dialog) {
            openedMs = clock.elapsed();
            auto *form = qobject_cast<OptionsDialog *>(dialog);
            QTRY_VERIFY_WITH_TIMEOUT(
                (listed = form->audioInList->findData("tonvik_null.monitor") >= 0), 5000);
        };
        clock.start();
        w->menuBar()->actions().at(0)->trigger();
        QVERIFY2(listed, "the null sink's monitor was not listed");
        // Stopped: the dialog opens with "None" alone, and the sources come when the
        // server answers again. It goes on in 5 s whatever becomes of this process.
        const auto resume = qScopeGuard([server] { ::kill(pid_t(server), SIGCONT); });
        QVERIFY(
            QProcess::startDetached("sh", {"-c", QString("sleep 5; kill -CONT %1").arg(server)}));
        listed = false;
        registry->runModal = [&](QDialog *dialog) {
            openedMs = clock.elapsed();
            auto *form = qobject_cast<OptionsDialog *>(dialog);
            QCOMPARE(form->audioInList->count(), 1);
            ::kill(pid_t(server), SIGCONT);
            QTRY_VERIFY_WITH_TIMEOUT(
                (listed = form->audioInList->findData("tonvik_null.monitor") >= 0), 5000);
        };
        QCOMPARE(::kill(pid_t(server), SIGSTOP), 0);
        clock.start();
        w->menuBar()->actions().at(0)->trigger();
        QVERIFY2(openedMs >= 0 && openedMs < 1000, qPrintable(QString::number(openedMs)));
        QVERIFY2(listed, "the sources did not come when the server answered again");

        VoiceAnswers voice(*registry, {});
        QVERIFY(
            QProcess::startDetached("sh", {"-c", QString("sleep 5; kill -CONT %1").arg(server)}));
        QCOMPARE(::kill(pid_t(server), SIGSTOP), 0);
        clock.start();
        voice.listenTo("tonvik_null.monitor");
        QTest::qWait(300); // the user-interface thread goes on meanwhile
        QVERIFY2(clock.elapsed() < 600, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!voice.listener().listening());
        QCOMPARE(voice.source(), QString("tonvik_null.monitor"));
        ::kill(pid_t(server), SIGCONT);
        QTRY_VERIFY_WITH_TIMEOUT(voice.listener().listening(), 3000);

        // A source muted when it is chosen is said.
        voice.listenTo(QString());
        const QStringList mute = {"set-source-mute", "tonvik_null.monitor"};
        QCOMPARE(QProcess::execute("pactl", mute + QStringList{"1"}), 0);
        const auto unmute =
            qScopeGuard([&] { QProcess::execute("pactl", mute + QStringList{"0"}); });
        QSignalSpy said(&voice.listener(), &PitchListener::problem);
        voice.listenTo("tonvik_null.monitor");
        QTRY_VERIFY(voice.listener().listening());
        QTRY_COMPARE(said.size(), 1);
        QVERIFY2(said[0][0].toString().contains("is muted"), qPrintable(said[0][0].toString()));
    }

    // --help and --version answer; good values run; bad ones exit with 2, said plainly.
    void commandLine() {
        const auto parse = [](const QStringList &args) {
            return parseCommandLine(QStringList{"tonvik"} + args, {"alsa", "pulseaudio", "oss"});
        };
        const auto help = parse({"--help"}), version = parse({"--version"});
        QVERIFY(!help.options && help.exitCode == 0 && version.exitCode == 0);
        QVERIFY2(help.output.startsWith("Usage: tonvik [options]\n"), qPrintable(help.output));
        QVERIFY(help.output.simplified().contains("(alsa, pulseaudio, oss)"));
        QCOMPARE(version.output, QString("tonvik 1.0.0\n")); // the package's version

        const QString font = QCoreApplication::applicationFilePath(); // any readable file
        const auto r = parse({"--soundfont", font, "--audio-driver=oss", "--midi-out", "synth:in",
                              "--midi-in=keys", "--list-midi-ports", "--latency-ms", "12",
                              "--sound-info", "--audio-in", "mic", "--pitch-tolerance=30"});
        QVERIFY(r.options && r.options->latencyMs == 12 && r.options->soundInfo &&
                r.options->listMidiPorts && r.options->audioIn == "mic" &&
                r.options->pitchToleranceCents == 30);
        QCOMPARE(r.options->soundFont, QFileInfo(font).absoluteFilePath());
        QCOMPARE(r.options->audioDriver + r.options->midiOut + r.options->midiIn,
                 QString("osssynth:inkeys"));
        // A font whose name is not UTF-8 is that file, named by its own bytes.
        const QByteArray odd = QFile::encodeName(font) + "\xff";
        QVERIFY(::link(QFile::encodeName(font).constData(), odd.constData()) == 0);
        const auto named = parse({"--soundfont", fileNameFromBytes(odd)});
        ::unlink(odd.constData());
        QVERIFY(named.options && fileNameBytes(named.options->soundFont) == odd);

        const std::pair<QStringList, QString> refused[] = {
            {{"--audio-driver", "coreaudio"},
             "driver 'coreaudio' (available: alsa, pulseaudio, oss)"},
            {{"--soundfont", "/no/x.sf2"}, "cannot read the sound font '/no/x.sf2'"},
            {{"--soundfont"}, "Missing value"},
            {{"--loud"}, "Unknown option"},
            {{"--midi-out="}, "cannot be empty"},
            {{"--latency-ms", "1"}, "from 2 to 200, not '1'"},
            {{"--latency-ms=fast"}, "from 2 to 200, not 'fast'"},
            {{"--audio-in="}, "cannot be empty"},
            {{"--pitch-tolerance", "101"}, "from 10 to 100, not '101'"},
            {{"song.mid"}, "unexpected argument 'song.mid'"}};
        for (const auto &[args, message] : refused) {
            const auto bad = parse(args);
            QVERIFY(!bad.options && bad.exitCode == 2);
            QVERIFY2(bad.error.startsWith("tonvik: ") && bad.error.contains(message),
                     qPrintable(bad.error));
        }
    }
};

QTEST_MAIN(TestDrills)
#include "test_drills.moc"
