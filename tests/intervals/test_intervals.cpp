// The Intervals window clicked as a musician would, with every MIDI operation recorded
// and the random generator's seed fixed.
#include "drill/Random.h"
#include "intervals/FormIntervalli.h"
#include "sound/AudioEngine.h"
#include "sound/SoundSettings.h"
#include "tests_support/Controls.h"
#include "tests_support/DrillFixture.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QSignalSpy>
#include <QTimer>
#include <map>
#include <memory>

using namespace std::chrono_literals;

class TestIntervals : public QObject, DrillFixture<FormIntervalli> {
    Q_OBJECT

    void tickOnly(std::initializer_list<int> intervals) {
        click(w.get(), "None");
        for (int i : intervals)
            button(w.get(), QString("inter(%1)").arg(i))->setChecked(true);
    }
    QStringList notes() const {
        QStringList out;
        for (const QString &line : midi->lines("Formintervalli"))
            if (line.startsWith("noteOn") || line.startsWith("programChange"))
                out << line;
        return out;
    }
    void setTest(bool on) { click(w.get(), on ? "Test" : "Notest"); }
  private slots:
    void initTestCase() { Random::fixSeed(20261206); }

    void init() { openWindow(); }

    void cleanup() { closeWindow(); }

    void loadsItsControls() {
        QCOMPARE(w->windowTitle(), QString("Tonvik 1.0 Intervals"));
        QCOMPARE(combo(w.get(), "Combo1")->currentText(), QString("Fixed C"));
        QCOMPARE(combo(w.get(), "Combo1")->count(), 13);
        QVERIFY(!combo(w.get(), "Combo1")->isEditable());
        QCOMPARE(text(w.get(), "Label4"), QString("1000"));
        QCOMPARE(slider(w.get())->maximum(), 2000);
        QVERIFY(button(w.get(), "ascending")->isChecked());
        QVERIFY(button(w.get(), "Notest")->isChecked());
        QCOMPARE(w->findChild<QGroupBox *>("Frame1")->title(),
                 QString("Interval Choose              Play"));
        QCOMPARE(button(w.get(), "discending")->text(), QString("Discending"));
        QCOMPARE(button(w.get(), "playint(7)")->accessibleName(), QString("Perfect 5th"));
        QCOMPARE(button(w.get(), "playint(7)")->toolTip(), QString("Perfect 5th"));
        QCOMPARE(button(w.get(), "playint(7)")->text(), QString());
        QCOMPARE(button(w.get(), "inter(5)")->text(), QString("4th perfect"));
        // Enabled states after load.
        QVERIFY(enabled(w.get(), "New") && enabled(w.get(), "stopnoise"));
        QVERIFY(!enabled(w.get(), "Repeat") && !enabled(w.get(), "Reveal"));
        QVERIFY(!enabled(w.get(), "Reset") && !enabled(w.get(), "Frame5"));
        QVERIFY(!enabled(w.get(), "Label8") && !enabled(w.get(), "Label7"));
        QCOMPARE(score(), QStringList({"0", "0", "0"}));
        slider(w.get())->setValue(250);
        QCOMPARE(text(w.get(), "Label4"), QString("250"));
    }

    void presetsTickTheirIntervals() {
        auto ticked = [this] {
            QList<int> out;
            for (int i = 0; i < 13; ++i)
                if (button(w.get(), QString("inter(%1)").arg(i))->isChecked())
                    out << i;
            return out;
        };
        QCOMPARE(ticked(), QList<int>({0, 2, 4, 5, 7, 9, 11, 12}));
        click(w.get(), "All");
        QCOMPARE(ticked().size(), 13);
        click(w.get(), "None");
        QVERIFY(ticked().isEmpty());
        click(w.get(), "mainintervals");
        QCOMPARE(ticked(), QList<int>({0, 2, 4, 5, 7, 9, 11, 12}));
    }

    void octaveInEachDirection() {
        tickOnly({12});
        slider(w.get())->setValue(120);
        click(w.get(), "New");
        QCOMPARE(notes(), QStringList({"noteOn 1 100 60", "noteOn 1 100 72"}));
        auto ops = midi->noteOns();
        QCOMPARE(ops[1].stamp - ops[0].stamp, SteadyClock::duration(120ms));

        midi->clear();
        click(w.get(), "discending");
        click(w.get(), "New");
        QCOMPARE(notes(), QStringList({"noteOn 1 100 60", "noteOn 1 100 48"}));

        midi->clear();
        click(w.get(), "together");
        QVERIFY(!enabled(w.get(), "Frame3"));
        click(w.get(), "New");
        QCOMPARE(notes(), QStringList({"noteOn 1 100 60", "noteOn 1 100 72"}));
        ops = midi->noteOns();
        QCOMPARE(ops[1].stamp, ops[0].stamp);

        midi->clear();
        click(w.get(), "Repeat"); // the same question, no program change
        QCOMPARE(notes(), QStringList({"noteOn 1 100 60", "noteOn 1 100 72"}));
        click(w.get(), "ascending");
        QVERIFY(enabled(w.get(), "Frame3"));
    }

    void comparisonPlaysFromTheQuestionsRootOnceThereIsOne() {
        slider(w.get())->setValue(0);
        variabiliglobali().instrument = 40;
        variabiliglobali().volume = 90;
        combo(w.get(), "Combo1")->setCurrentIndex(3); // Fixed D: 62
        click(w.get(), "playint(7)");
        QCOMPARE(notes(), QStringList({"programChange 1 40", "noteOn 1 90 62", "noteOn 1 90 69"}));
        QCOMPARE(w->rootnote(), 0); // the question is untouched

        tickOnly({4});
        combo(w.get(), "Combo1")->setCurrentIndex(1);
        click(w.get(), "New");
        QCOMPARE(w->rootnote(), 60);
        midi->clear();
        combo(w.get(), "Combo1")->setCurrentIndex(8); // Fixed G no longer matters
        click(w.get(), "playint(3)");
        QCOMPARE(notes(), QStringList({"programChange 1 40", "noteOn 1 90 60", "noteOn 1 90 63"}));
        QCOMPARE(w->questioninterval(), 4);
        QCOMPARE(w->secondnote(), 64);
    }

    void judgingOncePerQuestionWithScoreAndFeedback() {
        slider(w.get())->setValue(0);
        tickOnly({7});
        setTest(true);
        QVERIFY(enabled(w.get(), "Frame5") && enabled(w.get(), "Reset"));
        QVERIFY(!enabled(w.get(), "Reveal"));
        QSignalSpy sounds(w->feedbackSound(), &FeedbackSound::commandRun);

        click(w.get(), "New");
        QVERIFY(enabled(w.get(), "Repeat") && !enabled(w.get(), "Reveal"));
        midi->clear();
        click(w.get(), "playint(7)");
        QVERIFY(notes().isEmpty()); // in test mode the button only answers
        QCOMPARE(text(w.get(), "rightwronglabel"), QString("Right!"));
        QCOMPARE(label(w.get(), "rightwronglabel")->palette().color(QPalette::WindowText),
                 QColor(0, 255, 0));
        QCOMPARE(text(w.get(), "Label1"), QString("Perfect 5th"));
        QCOMPARE(sounds.count(), 1);
        QCOMPARE(sounds.at(0).at(0).toString(), QString("play"));
        QCOMPARE(sounds.at(0).at(1).toString(), QString("right.wav"));
        QVERIFY(w->answered());

        click(w.get(), "playint(2)"); // a second answer to the same question: nothing
        QCOMPARE(text(w.get(), "rightwronglabel"), QString("Right!"));
        QCOMPARE(sounds.count(), 1);

        click(w.get(), "New");
        QCOMPARE(text(w.get(), "rightwronglabel"), QString());
        QCOMPARE(text(w.get(), "Label1"), QString());
        click(w.get(), "playint(7)");
        click(w.get(), "New");
        click(w.get(), "playint(5)");
        QCOMPARE(text(w.get(), "rightwronglabel"), QString("Wrong!"));
        QCOMPARE(label(w.get(), "rightwronglabel")->palette().color(QPalette::WindowText),
                 QColor(255, 0, 0));
        QCOMPARE(text(w.get(), "Label1"), QString("Perfect 5th"));
        QCOMPARE(sounds.last().at(1).toString(), QString("wrong.wav"));
        QCOMPARE(score(), QStringList({"3", "2", "66"}));

        // Unanswered questions lower the percentage at once.
        click(w.get(), "New");
        click(w.get(), "New");
        QCOMPARE(score(), QStringList({"5", "2", "40"}));

        // "No test" greys the score and empties the texts; the counts stay.
        click(w.get(), "playint(7)");
        setTest(false);
        QCOMPARE(text(w.get(), "rightwronglabel"), QString());
        QCOMPARE(text(w.get(), "Label1"), QString());
        QVERIFY(!enabled(w.get(), "Frame5") && !enabled(w.get(), "Label5") &&
                !enabled(w.get(), "Reset") && enabled(w.get(), "Reveal"));
        click(w.get(), "New"); // counts nothing outside test mode
        QCOMPARE(score(), QStringList({"5", "3", "60"}));
        click(w.get(), "Reveal");
        QCOMPARE(text(w.get(), "Label1"), QString("Perfect 5th"));
        setTest(true);
        QVERIFY(enabled(w.get(), "Label7"));
        QCOMPARE(score(), QStringList({"5", "3", "60"}));
        click(w.get(), "Reset");
        QCOMPARE(score(), QStringList({"0", "0", "0"}));
    }

    void nothingIsJudgedOrRevealedBeforeTheFirstQuestion() {
        QSignalSpy sounds(w->feedbackSound(), &FeedbackSound::commandRun);
        setTest(true);
        click(w.get(), "playint(0)");
        QCOMPARE(text(w.get(), "rightwronglabel"), QString());
        QCOMPARE(sounds.count(), 0);
        QCOMPARE(score(), QStringList({"0", "0", "0"}));
        QVERIFY(!w->answered());
        // A New that finds nothing ticked enables Repeat and Reveal, which have
        // nothing to play or show.
        setTest(false);
        click(w.get(), "None");
        click(w.get(), "New");
        QVERIFY(enabled(w.get(), "Repeat") && enabled(w.get(), "Reveal"));
        midi->clear();
        click(w.get(), "Repeat");
        click(w.get(), "Reveal");
        QVERIFY(midi->calls().empty());
        QCOMPARE(text(w.get(), "Label1"), QString());
    }

    void aQuestionOutsideTheTallyCountsWhenJudged() {
        slider(w.get())->setValue(0);
        tickOnly({9});
        click(w.get(), "New"); // asked in "No test"
        setTest(true);
        click(w.get(), "playint(9)");
        QCOMPARE(score(), QStringList({"1", "1", "100"}));

        click(w.get(), "New");
        click(w.get(), "Reset"); // the open question leaves the tally
        click(w.get(), "playint(9)");
        QCOMPARE(score(), QStringList({"1", "1", "100"}));
        click(w.get(), "New");
        click(w.get(), "playint(2)");
        QCOMPARE(score(), QStringList({"2", "1", "50"}));
    }

    void stopNoiseIsOneOperation() {
        click(w.get(), "stopnoise");
        QCOMPARE(midi->lines("Formintervalli"), QStringList({"allNotesOff"}));
    }

    void reopeningResetsTheControlsButKeepsTheQuestion() {
        slider(w.get())->setValue(0);
        tickOnly({3});
        click(w.get(), "discending");
        combo(w.get(), "Combo1")->setCurrentIndex(10); // A: 69
        setTest(true);
        click(w.get(), "New");
        click(w.get(), "playint(3)");
        QCOMPARE(score(), QStringList({"1", "1", "100"}));

        w->close();
        QVERIFY(!w->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        w->showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(score(), QStringList({"0", "0", "0"}));
        QVERIFY(button(w.get(), "Notest")->isChecked());
        QVERIFY(button(w.get(), "ascending")->isChecked());
        QCOMPARE(combo(w.get(), "Combo1")->currentIndex(), 1);
        QCOMPARE(text(w.get(), "Label4"), QString("1000"));
        QVERIFY(!button(w.get(), "inter(3)")->isChecked());
        QVERIFY(!enabled(w.get(), "Repeat"));
        QCOMPARE(w->rootnote(), 69);
        QCOMPARE(w->secondnote(), 66);
        QVERIFY(w->answered());

        setTest(true);
        click(w.get(), "playint(3)"); // still answered: nothing judged
        QCOMPARE(text(w.get(), "rightwronglabel"), QString());
        QCOMPARE(score(), QStringList({"0", "0", "0"}));
        setTest(false);
        click(w.get(), "Reveal");
        QCOMPARE(text(w.get(), "Label1"), QString("3rd minor"));
    }

    void randomDrawsAreUniform() {
        slider(w.get())->setValue(0);
        click(w.get(), "All");
        combo(w.get(), "Combo1")->setCurrentIndex(0);
        std::map<int, int> roots, sizes;
        const int questions = 2600;
        for (int q = 0; q < questions; ++q) {
            midi->clear();
            click(w.get(), "New");
            const auto ops = midi->noteOns();
            QCOMPARE(int(ops.size()), 2);
            ++roots[ops[0].note];
            ++sizes[ops[1].note - ops[0].note];
        }
        auto chiSquare = [](const std::map<int, int> &counts, int cells, int total) {
            const double expected = double(total) / cells;
            double x2 = 0;
            for (const auto &[value, n] : counts)
                x2 += (n - expected) * (n - expected) / expected;
            return x2;
        };
        QCOMPARE(int(roots.size()), 12);
        QCOMPARE(roots.begin()->first, 60);
        QCOMPARE(roots.rbegin()->first, 71);
        QCOMPARE(int(sizes.size()), 13);
        // 99.9th percentiles of chi-square with 11 and 12 degrees of freedom.
        QVERIFY2(chiSquare(roots, 12, questions) < 31.26,
                 qPrintable(QString::number(chiSquare(roots, 12, questions))));
        QVERIFY2(chiSquare(sizes, 13, questions) < 32.91,
                 qPrintable(QString::number(chiSquare(sizes, 13, questions))));
    }

    // A mouse click, or a press by shortcut or assistive technology (an "animated"
    // click that lands from a timer a moment later).
    void inputDuringAPauseWaitsForTheSecondNote_data() {
        QTest::addColumn<bool>("animated");
        QTest::newRow("mouse") << false;
        QTest::newRow("accessibility action") << true;
    }
    void inputDuringAPauseWaitsForTheSecondNote() {
        QFETCH(bool, animated);
        tickOnly({12});
        slider(w.get())->setValue(300);
        bool clickedDuringPause = false;
        QTimer::singleShot(100, this, [&] {
            clickedDuringPause = DrillWindow::playbackInProgress();
            if (animated)
                button(w.get(), "playint(4)")->animateClick();
            else
                QTest::mouseClick(button(w.get(), "playint(4)"), Qt::LeftButton);
        });
        click(w.get(), "New");
        QVERIFY(clickedDuringPause);
        QCOMPARE(notes(), QStringList({"noteOn 1 100 60", "noteOn 1 100 72"}));
        QTRY_COMPARE(notes().size(), 5);
        QCOMPARE(notes().mid(2),
                 QStringList({"programChange 1 24", "noteOn 1 100 60", "noteOn 1 100 64"}));
    }

    void closingDuringAPlaybackWaitsForItsEnd() {
        tickOnly({12});
        slider(w.get())->setValue(200);
        QTimer::singleShot(50, this, [&] { w->close(); });
        click(w.get(), "New");
        QCOMPARE(notes().size(), 2);
        QVERIFY(w->isLoaded());
        QTRY_VERIFY(!w->isLoaded());
        QVERIFY(midi->lines("Formintervalli").contains("midiClose"));
    }

    void stopNoiseSilencesTheRealSynthesiserOnEveryChannel() {
        EngineConfig config;
        config.offline = true;
        AudioEngine engine(config);
        QVERIFY(engine.waitForSoundFont());
        MidiBackend::setCurrent(&engine);
        engine.setOfflineOrigin(SteadyClock::now());
        slider(w.get())->setValue(0);
        click(w.get(), "playint(7)"); // two notes on channel 1
        variabiliglobali().channel = 2;
        QTest::qWait(100);
        click(w.get(), "stopnoise");
        const TimePoint after = SteadyClock::now();
        const auto out = engine.renderOffline(engine.sampleRate());
        MidiBackend::setCurrent(midi.get());
        const qint64 stop = engine.frameForStamp(after);
        float before = 0, tail = 0;
        for (qint64 i = 0; i < qint64(out.left.size()); ++i) {
            const float v = std::fabs(out.left[size_t(i)]);
            if (i < stop - 128)
                before = std::max(before, v);
            else if (i > stop + 64)
                tail = std::max(tail, v);
        }
        QVERIFY(before > 0.01f);
        QCOMPARE(tail, 0.0f);
    }
};

QTEST_MAIN(TestIntervals)
#include "test_intervals.moc"
