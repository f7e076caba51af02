// The Melody window clicked as a musician would, with every MIDI operation recorded
// and the random generator's seed fixed.
#include "drill/Random.h"
#include "melody/FormMelody.h"
#include "melody/MelodyLogic.h"
#include "sound/SoundSettings.h"
#include "tests_support/Controls.h"
#include "tests_support/DrillFixture.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QSignalSpy>
#include <memory>
#include <set>

using namespace std::chrono_literals;

class TestMelody : public QObject, DrillFixture<FormMelody> {
    Q_OBJECT

    void tick(const QString &array, std::initializer_list<int> indices) {
        for (int i : indices)
            button(w.get(), QString("%1(%2)").arg(array).arg(i))->setChecked(true);
    }
    QList<int> ticked(const QString &array, int count) {
        QList<int> out;
        for (int i = 0; i < count; ++i)
            if (button(w.get(), QString("%1(%2)").arg(array).arg(i))->isChecked())
                out << i;
        return out;
    }
    void only(std::initializer_list<int> pitchClasses, std::initializer_list<int> octaves) {
        click(w.get(), "Command15");
        click(w.get(), "Command17");
        tick("Nota", pitchClasses);
        tick("octave", octaves);
    }
    void setLength(int n) { combo(w.get(), "nnotescombo")->setCurrentIndex(n - 1); }
    void key(int i) { click(w.get(), QString("tasto(%1)").arg(i)); }
    void answerMelody(int wrongAt = 0) {
        for (int k = 1; k <= w->nnotes(); ++k)
            key((melody::pitchClass(w->notes(k)) + (k == wrongAt ? 1 : 0)) % 12);
    }
    QStringList score() const { return DrillFixture::score("Label4"); }

  private slots:
    void initTestCase() { Random::fixSeed(4242); }

    void init() {
        openWindow();
        w->exitQuestion = [](QWidget *) { return true; };
        slider(w.get())->setValue(0);
        midi->clear();
    }

    void cleanup() { closeWindow(); }

    void loadsWithItsPresetsAndDefaults() {
        QCOMPARE(ticked("Nota", 12), QList<int>({0, 2, 4, 5, 7, 9, 11}));
        QCOMPARE(ticked("octave", 10), QList<int>({3, 4, 5, 6}));
        QCOMPARE(combo(w.get(), "nnotescombo")->currentText(), QString("1"));
        QVERIFY(!combo(w.get(), "nnotescombo")->isEditable());
        QVERIFY(!enabled(w.get(), "delayframe"));
        QVERIFY(!enabled(w.get(), "Repeat") && !enabled(w.get(), "Reveal"));
        QVERIFY(button(w.get(), "Notest")->isChecked());
        QCOMPARE(w->findChild<QGroupBox *>("Frame6")->title(), QString("Test options"));
        QCOMPARE(text(w.get(), "Label3"), QString("Questions"));
        QCOMPARE(score(), QStringList({"0", "0", "0"}));
        QCOMPARE(variabiliglobali().instrument, 24);
        QCOMPARE(button(w.get(), "octave(9)")->text(), QString("10th"));
        setLength(2);
        QVERIFY(enabled(w.get(), "delayframe"));
    }

    void presets() {
        click(w.get(), "Command16"); // octaves ALL
        click(w.get(), "Command18"); // Guitar
        QCOMPARE(ticked("octave", 10), QList<int>({3, 4, 5, 6}));
        click(w.get(), "Command19"); // Piano
        QCOMPARE(ticked("octave", 10), QList<int>({2, 3, 4, 5, 6, 7}));
        click(w.get(), "Command17");
        QVERIFY(ticked("octave", 10).isEmpty());
        click(w.get(), "Command13");
        QCOMPARE(ticked("Nota", 12).size(), 12);
        click(w.get(), "Command14");
        QCOMPARE(ticked("Nota", 12), QList<int>({0, 2, 4, 5, 7, 9, 11}));
        click(w.get(), "Command15");
        QVERIFY(ticked("Nota", 12).isEmpty());
    }

    void notesComeFromTheTickedPitchClassesAndOctaves() {
        only({0}, {4});
        setLength(10);
        click(w.get(), "New");
        QCOMPARE(int(midi->noteOns().size()), 10);
        for (const MidiOp &op : midi->noteOns())
            QCOMPARE(op.note, 60);

        // The "10th" octave: 128-131 are played folded, and judged by pitch class.
        only({8, 9, 10, 11}, {9});
        click(w.get(), "Test");
        midi->clear();
        click(w.get(), "New");
        std::set<int> played;
        for (const MidiOp &op : midi->noteOns())
            played.insert(op.note);
        for (int n : played)
            QVERIFY2(n >= 116 && n <= 119, qPrintable(QString::number(n)));
        for (int k = 1; k <= 10; ++k)
            QVERIFY(w->notes(k) >= 128 && w->notes(k) <= 131);
        answerMelody();
        QCOMPARE(text(w.get(), "rightwronglabel"), QString("Right!"));
    }

    void lengthSliderAndRepeat() {
        only({0, 4, 7}, {4});
        click(w.get(), "New"); // length 1: one note, no pause
        QCOMPARE(int(midi->noteOns().size()), 1);

        setLength(3);
        slider(w.get())->setValue(40);
        midi->clear();
        click(w.get(), "New");
        auto ops = midi->noteOns();
        QCOMPARE(int(ops.size()), 3);
        QCOMPARE(ops[1].stamp - ops[0].stamp, SteadyClock::duration(40ms));
        QCOMPARE(ops[2].stamp - ops[1].stamp, SteadyClock::duration(40ms));

        setLength(5); // the length of the next melody, not of the one to repeat
        slider(w.get())->setValue(0);
        midi->clear();
        click(w.get(), "Repeat");
        ops = midi->noteOns();
        QCOMPARE(int(ops.size()), 3);
        for (int k = 0; k < 3; ++k)
            QCOMPARE(ops[size_t(k)].note, w->notes(k + 1));
        QCOMPARE(ops[2].stamp, ops[0].stamp); // at 0 ms: a chord
    }

    void testModeCountsJudgesAndReveals() {
        QSignalSpy sounds(w->feedbackSound(), &FeedbackSound::commandRun);
        click(w.get(), "Test");
        setLength(5);
        click(w.get(), "New");
        QCOMPARE(score(), QStringList({"5", "0", "0"})); // the percentage waits for a verdict
        QVERIFY(!enabled(w.get(), "Reveal"));
        answerMelody();
        QCOMPARE(score(), QStringList({"5", "5", "100"}));

        setLength(3);
        click(w.get(), "New");
        midi->clear();
        key(melody::pitchClass(w->notes(1)));
        key(melody::pitchClass(w->notes(2)));
        QVERIFY(midi->calls().empty()); // keys answer, they do not sound
        QCOMPARE(text(w.get(), "rightwronglabel"), QString());
        QCOMPARE(text(w.get(), "Label1"), QString());
        QCOMPARE(sounds.count(), 1);
        key((melody::pitchClass(w->notes(3)) + 1) % 12); // one wrong key: all wrong
        QCOMPARE(text(w.get(), "rightwronglabel"), QString("Wrong!"));
        QCOMPARE(sounds.count(), 2);
        QCOMPARE(sounds.last().at(1).toString(), QString("wrong.wav"));
        QCOMPARE(score(), QStringList({"8", "5", "62"}));
        QVERIFY(!text(w.get(), "Label1").isEmpty());

        answerMelody(); // after the verdict: taken, and nothing changes
        QCOMPARE(score(), QStringList({"8", "5", "62"}));
        QCOMPARE(sounds.count(), 2);
        QCOMPARE(w->nanswers(), 0);

        click(w.get(), "Notest");
        midi->clear();
        key(9);
        QCOMPARE(midi->lines("formmelody"), QStringList({"noteOn 1 100 69"}));
    }

    void revealSpellsTheMelody() {
        // Only C# and A# in the 5th octave: 61 and 70.
        only({1, 10}, {4});
        setLength(2);
        for (int tries = 0; tries < 50; ++tries) {
            click(w.get(), "New");
            if (w->notes(1) == 61 && w->notes(2) == 70)
                break;
        }
        QCOMPARE(w->notes(1), 61);
        QCOMPARE(w->notes(2), 70);
        click(w.get(), "Reveal");
        QCOMPARE(text(w.get(), "Label1"), QString("C # A# "));
        QCOMPARE(label(w.get(), "Label1")->font().pointSizeF(), 18.0);
        setLength(6);
        click(w.get(), "New");
        click(w.get(), "Reveal");
        QCOMPARE(label(w.get(), "Label1")->font().pointSizeF(), 10.0);
        QCOMPARE(text(w.get(), "Label1").count(' '), 6 + text(w.get(), "Label1").count(" #"));
    }

    void aNewWithNothingTickedKeepsTheMelody() {
        only({2}, {4}); // D: 62
        setLength(2);
        click(w.get(), "New");
        click(w.get(), "Reveal");
        click(w.get(), "Command17"); // no octave
        setLength(4);
        midi->clear();
        click(w.get(), "New");
        QVERIFY(midi->calls().empty());
        QCOMPARE(text(w.get(), "Label1"), QString());
        QCOMPARE(w->nnotes(), 2);
        click(w.get(), "Repeat");
        QCOMPARE(midi->lines("formmelody"), QStringList({"noteOn 1 100 62", "noteOn 1 100 62"}));
    }

    void keysBeforeANewMelodyAreDropped() {
        only({0}, {4});
        setLength(4);
        click(w.get(), "Test");
        click(w.get(), "New");
        key(0);
        key(0);
        click(w.get(), "New"); // the answer starts afresh
        key(0);
        key(0);
        QCOMPARE(text(w.get(), "rightwronglabel"), QString());
        key(0);
        key(0);
        QCOMPARE(text(w.get(), "rightwronglabel"), QString("Right!"));
        QCOMPARE(score(), QStringList({"8", "4", "50"}));
    }

    void keysJudgeNothingBeforeTheFirstMelody() {
        QSignalSpy sounds(w->feedbackSound(), &FeedbackSound::commandRun);
        click(w.get(), "Test");
        key(0);
        key(3);
        QCOMPARE(text(w.get(), "rightwronglabel"), QString());
        QCOMPARE(score(), QStringList({"0", "0", "0"}));
        QCOMPARE(sounds.count(), 0);
        QVERIFY(!w->answered());
    }

    void computerKeysPlayTheKeyboard() {
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        for (char letter : {'A', 'W', 'J'})
            QTest::keyClick(w.get(), letter);
        QTRY_COMPARE(midi->notes(), std::vector<int>({60, 61, 71}));
        QCOMPARE(button(w.get(), "tasto(1)")->toolTip(), QString("C# (W)"));
        QTest::keyClick(w.get(), 'N'); // New
        QTRY_VERIFY(w->nnotes() == 1);
        QVERIFY(button(w.get(), "New")->toolTip().contains("(N)"));
    }

    // Tab walks the keys chromatically, and the menu has keys of its own.
    void keyboardAloneReachesEveryKeyAndTheMenu() {
        QWidget *from = button(w.get(), "tasto(0)");
        for (int i = 1; i < 12; ++i) {
            QWidget *next = from->nextInFocusChain();
            while (!(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            QCOMPARE(next->objectName(), QString("tasto(%1)").arg(i));
            from = next;
        }
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        int dialogs = 0;
        connect(w.get(), &DrillWindow::optionsRequested, this, [&] { ++dialogs; });
        connect(w.get(), &DrillWindow::aboutRequested, this, [&] { dialogs += 10; });
        QTest::keyClick(w.get(), Qt::Key_Comma, Qt::ControlModifier);
        QTest::keyClick(w.get(), Qt::Key_F1);
        QTRY_COMPARE(dialogs, 11);
    }

    void keyboardFollowsTheDesignGeometry() {
        QWidget *keyboard = w->findChild<QWidget *>("keyboard");
        QVERIFY(keyboard);
        const double scale = keyboard->logicalDpiX() / 96.0;
        auto px = [scale](int twips) { return int(std::lround(twips / 15.0 * scale)); };
        const int whiteLeft[] = {1800, 2280, 2760, 3240, 3720, 4200, 4680};
        const int whites[] = {0, 2, 4, 5, 7, 9, 11};
        const int blackLeft[] = {2040, 2520, 3480, 3960, 4440};
        const int blacks[] = {1, 3, 6, 8, 10};
        for (int n = 0; n < 7; ++n) {
            auto *k = button(w.get(), QString("tasto(%1)").arg(whites[n]));
            QCOMPARE(k->geometry(), QRect(px(whiteLeft[n] - 1800), 0, px(495), px(975)));
            QCOMPARE(k->text(), QString());
            QCOMPARE(k->accessibleName(),
                     QString::fromLatin1(melody::kPitchClassNames[size_t(whites[n])].data()));
        }
        for (int n = 0; n < 5; ++n) {
            auto *k = button(w.get(), QString("tasto(%1)").arg(blacks[n]));
            QCOMPARE(k->geometry(), QRect(px(blackLeft[n] - 1800), 0, px(495), px(615)));
            QCOMPARE(k->text(), k->accessibleName());
            // In front: a click on a black key's centre reaches the black key.
            QCOMPARE(keyboard->childAt(k->geometry().center()), static_cast<QWidget *>(k));
        }
        QCOMPARE(button(w.get(), "tasto(1)")->text(), QString("C#"));
    }
};

QTEST_MAIN(TestMelody)
#include "test_melody.moc"
