// The Scales window and its catalogue, clicked as a musician would, with every MIDI
// operation recorded and the random generator's seed fixed.
#include "drill/Random.h"
#include "scales/FormScales.h"
#include "scales/ScaleCatalogue.h"
#include "sound/SoundSettings.h"
#include "tests_support/Controls.h"
#include "tests_support/DrillFixture.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QSignalSpy>
#include <memory>
#include <numeric>

class TestScales : public QObject, DrillFixture<FormScales> {
    Q_OBJECT

    void tickOnly(int item) {
        click(w.get(), "Nonescales");
        click(w.get(), "Nonemodes");
        button(w.get(), QString("scales(%1)").arg(item))->setChecked(true);
    }
    void setRoot(int entry) { combo(w.get(), "Combo1")->setCurrentIndex(entry); }
    static std::vector<int> run(int from, int to) {
        std::vector<int> out(size_t(to - from + 1));
        std::iota(out.begin(), out.end(), from);
        return out;
    }
    QList<int> ticked() const {
        QList<int> out;
        for (int i = 0; i < scales::kCount; ++i)
            if (button(w.get(), QString("scales(%1)").arg(i))->isChecked())
                out << i;
        return out;
    }

  private slots:
    void initTestCase() { Random::fixSeed(31337); }

    void init() {
        openWindow();
        slider(w.get())->setValue(0);
        midi->clear();
    }

    void cleanup() { closeWindow(); }

    void catalogueAddsUpToTheOctave() {
        const std::vector<std::vector<int>> offsets = {
            {0, 2, 4, 5, 7, 9, 11, 12},    {0, 2, 3, 5, 7, 8, 10, 12}, {0, 2, 3, 5, 7, 8, 11, 12},
            {0, 2, 3, 5, 7, 9, 11, 12},    {0, 2, 4, 7, 9, 12},        {0, 3, 5, 7, 10, 12},
            {0, 2, 3, 5, 6, 8, 9, 11, 12}, {0, 2, 4, 6, 8, 10, 12},    run(0, 12),
            {0, 1, 3, 5, 7, 9, 11, 12},    {0, 1, 3, 5, 7, 8, 11, 12}, {0, 1, 4, 6, 8, 10, 11, 12},
            {0, 2, 3, 6, 7, 8, 11, 12},    {0, 2, 3, 5, 7, 9, 10, 12}, {0, 1, 3, 5, 7, 8, 10, 12},
            {0, 2, 4, 6, 7, 9, 11, 12},    {0, 2, 4, 5, 7, 9, 10, 12}, {0, 1, 3, 5, 6, 8, 10, 12}};
        const int stepCounts[] = {7, 7, 7, 7, 5, 5, 8, 6, 12, 7, 7, 7, 7, 7, 7, 7, 7, 7};
        for (int i = 0; i < scales::kCount; ++i) {
            const auto &s = scales::kCatalogue[size_t(i)];
            QCOMPARE(s.stepCount, stepCounts[i]);
            std::vector<int> notes{0};
            for (int j = 0; j < s.stepCount; ++j)
                notes.push_back(notes.back() + s.steps[size_t(j)]);
            QCOMPARE(notes, offsets[size_t(i)]);
        }
        QCOMPARE(button(w.get(), "scales(2)")->text(), QString("Armonic Minor"));
        QCOMPARE(button(w.get(), "Allscales")->text(), QString("All  Scales"));
        QCOMPARE(button(w.get(), "stopnoise")->text(), QString("&Stop noise!"));
        QCOMPARE(button(w.get(), "stopnoise")->accessibleName(), QString("Stop noise!"));
        QCOMPARE(button(w.get(), "playscale(14)")->accessibleName(), QString("Frigian"));
        QCOMPARE(w->findChild<QGroupBox *>("Frame1")->title(), QString("Scales and Modes"));
    }

    void loadAndPresets() {
        QCOMPARE(w->windowTitle(), QString("Scales"));
        QCOMPARE(combo(w.get(), "Combo1")->currentText(), QString("Fixed C"));
        QCOMPARE(slider(w.get())->maximum(), 2000);
        QCOMPARE(ticked(), QList<int>({0, 1, 2, 3, 4, 5, 6}));
        click(w.get(), "Allmodes");
        QCOMPARE(ticked(), QList<int>({0, 1, 2, 3, 4, 5, 6, 13, 14, 15, 16, 17}));
        click(w.get(), "Nonescales");
        QCOMPARE(ticked(), QList<int>({13, 14, 15, 16, 17}));
        click(w.get(), "Allscales");
        QCOMPARE(ticked().size(), 18);
        click(w.get(), "Nonemodes");
        QCOMPARE(ticked().size(), 13);
        click(w.get(), "Mainscales");
        QCOMPARE(ticked(), QList<int>({0, 1, 2, 3, 4, 5, 6}));
    }

    void questionsRunFromTheFoldedRootToItsOctave() {
        tickOnly(8); // Cromatic
        setRoot(7);  // F#
        click(w.get(), "New");
        QCOMPARE(midi->notes(), run(54, 66));
        QCOMPARE(midi->lines("Formscales").first(), QString("programChange 1 24"));
        tickOnly(4); // Major Pentatonic
        setRoot(6);  // F
        midi->clear();
        click(w.get(), "New");
        QCOMPARE(midi->notes(), std::vector<int>({65, 67, 69, 72, 74, 77}));
    }

    void listeningUsesTheQuestionsRoot() {
        setRoot(8); // G
        click(w.get(), "playscale(0)");
        QCOMPARE(midi->notes(), std::vector<int>({67, 69, 71, 72, 74, 76, 78, 79}));
        QVERIFY(!midi->lines("Formscales").contains("programChange 1 24"));

        tickOnly(4);
        click(w.get(), "New"); // G folded: 55
        QCOMPARE(w->questionnotes(0), 55);
        midi->clear();
        click(w.get(), "playscale(0)");
        QCOMPARE(midi->notes(), std::vector<int>({55, 57, 59, 60, 62, 64, 66, 67}));
        midi->clear();
        click(w.get(), "playscale(8)");
        click(w.get(), "Repeat");
        const auto all = midi->notes();
        QCOMPARE(std::vector<int>(all.end() - 6, all.end()),
                 std::vector<int>({55, 57, 59, 62, 64, 67}));
    }

    void testModeJudgesByIndexOnce() {
        QSignalSpy sounds(w->feedbackSound(), &FeedbackSound::commandRun);
        click(w.get(), "Test");
        click(w.get(), "playscale(0)"); // before any question: nothing
        QCOMPARE(sounds.count(), 0);
        tickOnly(13); // Doric
        setRoot(10);  // A: 57
        click(w.get(), "New");
        midi->clear();
        click(w.get(), "playscale(1)"); // Minor: wrong
        QVERIFY(midi->notes().empty());
        QCOMPARE(text(w.get(), "rightwronglabel"), QString("Wrong!"));
        QCOMPARE(text(w.get(), "Label1"), QString("A doric"));
        QCOMPARE(text(w.get(), "Label5"), QString("0"));
        click(w.get(), "playscale(13)"); // right, but too late
        QCOMPARE(text(w.get(), "rightwronglabel"), QString("Wrong!"));
        QCOMPARE(text(w.get(), "Label5"), QString("0"));
        QCOMPARE(sounds.count(), 1);
        QCOMPARE(text(w.get(), "Label8"), QString("1"));

        tickOnly(8);
        setRoot(7);
        click(w.get(), "New");
        click(w.get(), "playscale(8)");
        QCOMPARE(text(w.get(), "Label1"), QString("F# cromatic"));
        QCOMPARE(text(w.get(), "Label7"), QString("50"));
    }
};

QTEST_MAIN(TestScales)
#include "test_scales.moc"
