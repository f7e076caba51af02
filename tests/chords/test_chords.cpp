// The Chords window and its catalogue, clicked as a musician would, with every MIDI
// operation recorded and the random generator's seed fixed.
#include "chords/ChordCatalogue.h"
#include "chords/FormChords.h"
#include "drill/Random.h"
#include "sound/SoundSettings.h"
#include "tests_support/Controls.h"
#include "tests_support/DrillFixture.h"

#include <QCheckBox>
#include <QSignalSpy>
#include <memory>
#include <set>

using namespace std::chrono_literals;

class TestChords : public QObject, DrillFixture<FormChords> {
    Q_OBJECT

    void tickOnly(std::initializer_list<int> types) {
        click(w.get(), "None");
        for (int i : types)
            button(w.get(), QString("chord(%1)").arg(i))->setChecked(true);
    }
    void setRoot(int entry) { combo(w.get(), "Combo1")->setCurrentIndex(entry); }
  private slots:
    void initTestCase() { Random::fixSeed(777); }

    void init() { openWindow(); }

    void cleanup() { closeWindow(); }

    void catalogueMatchesItsOffsets() {
        const std::vector<std::vector<int>> offsets = {
            {0, 4, 7},         {0, 3, 7},         {0, 4, 7, 10},         {0, 4, 7, 11},
            {0, 3, 7, 10},     {0, 5, 7},         {0, 5, 7, 10},         {0, 4, 7, 9},
            {0, 3, 7, 9},      {0, 4, 7, 10, 14}, {0, 3, 7, 10, 14},     {0, 3, 6},
            {0, 4, 8},         {0, 4, 7, 11, 14}, {0, 4, 6, 10},         {0, 4, 8, 10},
            {0, 4, 7, 10, 15}, {0, 4, 7, 10, 13}, {0, 4, 7, 10, 14, 17}, {0, 4, 7, 10, 14, 21}};
        for (int i = 0; i < chords::kCount; ++i) {
            const auto &c = chords::kCatalogue[size_t(i)];
            std::vector<int> notes = chords::chordNotes(0, c.stepCount, c.steps.data());
            QCOMPARE(notes, offsets[size_t(i)]);
            QVERIFY(65 + notes.back() <= 86); // the highest root is 65
        }
        QCOMPARE(chords::kCatalogue[11].name, std::string_view("dim"));
        QCOMPARE(button(w.get(), "chord(19)")->text(), QString("13"));
        QCOMPARE(button(w.get(), "playchord(6)")->accessibleName(), QString("7sus4"));
        QCOMPARE(button(w.get(), "playchord(6)")->toolTip(), QString("7sus4"));
    }

    void loadAndPresets() {
        QCOMPARE(w->windowTitle(), QString("Tonvik 1.0 Chords"));
        QCOMPARE(combo(w.get(), "Combo1")->currentText(), QString("Fixed C"));
        QVERIFY(!combo(w.get(), "Combo1")->isEditable());
        QVERIFY(button(w.get(), "Chordoption")->isChecked());
        QVERIFY(!enabled(w.get(), "Frame3"));
        QCOMPARE(text(w.get(), "Label4"), QString("1000"));
        QCOMPARE(button(w.get(), "Notest")->text(), QString("No Test"));
        QVERIFY(!enabled(w.get(), "Repeat") && !enabled(w.get(), "Reveal"));
        auto ticked = [this] {
            QList<int> out;
            for (int i = 0; i < chords::kCount; ++i)
                if (button(w.get(), QString("chord(%1)").arg(i))->isChecked())
                    out << i;
            return out;
        };
        QCOMPARE(ticked(), QList<int>({0, 1, 2, 3, 4, 5, 6}));
        click(w.get(), "Triads");
        QCOMPARE(ticked(), QList<int>({0, 1, 11, 12}));
        click(w.get(), "All");
        QCOMPARE(ticked().size(), 20);
        click(w.get(), "mainbutton");
        QCOMPARE(ticked(), QList<int>({0, 1, 2, 3, 4, 5, 6}));
        click(w.get(), "None");
        QVERIFY(ticked().isEmpty());
        click(w.get(), "Arpeggiooption");
        QVERIFY(enabled(w.get(), "Frame3"));
    }

    void rootsFoldIntoTheOctaveBelowF() {
        tickOnly({0});
        const std::pair<int, int> fixed[] = {{6, 65}, {7, 54}, {1, 60}, {12, 59}};
        for (const auto &[entry, root] : fixed) {
            setRoot(entry);
            click(w.get(), "New");
            QCOMPARE(w->questionnotes(1), root);
        }
        setRoot(0);
        std::set<int> roots;
        for (int q = 0; q < 300; ++q) {
            click(w.get(), "New");
            const int root = w->questionnotes(1);
            QVERIFY2(root >= 54 && root <= 65, qPrintable(QString::number(root)));
            roots.insert(root);
        }
        QCOMPARE(int(roots.size()), 12);
    }

    void blockAndArpeggioPlaying() {
        tickOnly({19});
        setRoot(6); // F: 65
        midi->clear();
        click(w.get(), "New");
        QCOMPARE(midi->notes(), std::vector<int>({65, 69, 72, 75, 79, 86}));
        for (const MidiOp &op : midi->noteOns())
            QCOMPARE(op.stamp, midi->noteOns().front().stamp); // a block: no pause

        click(w.get(), "Arpeggiooption");
        slider(w.get())->setValue(30);
        midi->clear();
        const auto before = SteadyClock::now();
        click(w.get(), "Repeat");
        const auto ops = midi->noteOns();
        QCOMPARE(int(ops.size()), 6);
        for (size_t k = 1; k < ops.size(); ++k)
            QCOMPARE(ops[k].stamp - ops[k - 1].stamp, SteadyClock::duration(30ms));
        // The pause follows the last note too: the click returns after six pauses.
        QVERIFY(SteadyClock::now() - before >= 180ms);
    }

    void comparisonPlaysOnTheQuestionsRoot() {
        setRoot(7); // F#: a question would be on 54, a comparison on 66
        click(w.get(), "playchord(0)");
        QCOMPARE(midi->notes(), std::vector<int>({66, 70, 73}));
        QCOMPARE(w->notecount(), 0);
        QVERIFY(!midi->lines("Formchords").contains("programChange 1 24"));

        tickOnly({1});
        setRoot(10); // A: 57
        click(w.get(), "New");
        QCOMPARE(w->questionnotes(1), 57);
        setRoot(3);
        midi->clear();
        click(w.get(), "playchord(3)");
        QCOMPARE(midi->notes(), std::vector<int>({57, 61, 64, 68}));
        midi->clear();
        click(w.get(), "Repeat");
        QCOMPARE(midi->notes(), std::vector<int>({57, 60, 64}));
        QCOMPARE(w->questionchord(), 1);
    }

    void testModeJudgesTheChordTypeOnce() {
        QSignalSpy sounds(w->feedbackSound(), &FeedbackSound::commandRun);
        click(w.get(), "Test");
        click(w.get(), "playchord(0)"); // before any question: nothing
        QCOMPARE(sounds.count(), 0);
        click(w.get(), "Reveal");
        QCOMPARE(text(w.get(), "Label1"), QString());

        tickOnly({6});
        setRoot(7); // F#
        click(w.get(), "New");
        QCOMPARE(score(), QStringList({"1", "0", "0"}));
        midi->clear();
        click(w.get(), "playchord(6)");
        QVERIFY(midi->noteOns().empty()); // in test mode the button only answers
        QCOMPARE(text(w.get(), "rightwronglabel"), QString("Right!"));
        QCOMPARE(text(w.get(), "Label1"), QString("F# 7sus4"));
        click(w.get(), "playchord(2)");
        QCOMPARE(text(w.get(), "rightwronglabel"), QString("Right!"));
        QCOMPARE(score(), QStringList({"1", "1", "100"}));
        QCOMPARE(sounds.count(), 1);

        // Closing and opening again keeps the question and its verdict.
        w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        w->showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(score(), QStringList({"0", "0", "0"}));
        QVERIFY(button(w.get(), "Chordoption")->isChecked());
        click(w.get(), "Test");
        click(w.get(), "playchord(6)");
        QCOMPARE(text(w.get(), "rightwronglabel"), QString());
        click(w.get(), "Notest");
        midi->clear();
        click(w.get(), "playchord(0)"); // still on the old question's root
        QCOMPARE(midi->notes(), std::vector<int>({54, 58, 61}));
        click(w.get(), "Reveal");
        QCOMPARE(text(w.get(), "Label1"), QString("F# 7sus4"));
    }
};

QTEST_MAIN(TestChords)
#include "test_chords.moc"
