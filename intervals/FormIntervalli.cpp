// SPDX-License-Identifier: GPL-3.0-or-later
#include "intervals/FormIntervalli.h"

#include "drill/Widgets.h"
#include "sound/SoundSettings.h"
#include "theory/Answer.h"
#include "theory/RootChoice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

DrillWindow::Cycle intervalsCycle() {
    DrillWindow::Cycle c;
    c.sliderFrameCaption = "Interval time [ms]";
    c.countBeforePlaying = false; // this window plays the question, then counts it
    return c;
}

} // namespace

FormIntervalli::FormIntervalli(QWidget *parent)
    : DrillWindow(DrillKind::Intervals,
                  {"Formintervalli", "Tonvik 1.0 Intervals", "intervals", "optionmnu", "mci"},
                  intervalsCycle(), parent) {}

void FormIntervalli::buildControls(QWidget *central) {
    buildCycleControls();

    // Left: the interval rows with their play buttons, and the presets.
    auto *Frame1 = makeFrame("Frame1", "Interval Choose              Play");
    auto *rows = new QGridLayout(Frame1);
    rows->setVerticalSpacing(2);
    for (int i = 0; i < intervals::kCount; ++i) {
        const QString name = QString::fromLatin1(intervals::kRevealNames[size_t(i)]);
        inter[size_t(i)] = makeCheckBox(arrayName("inter", i),
                                        QString::fromLatin1(intervals::kCaptions[size_t(i)]));
        playint[size_t(i)] = makeItemButton("playint", i, name);
        connect(playint[size_t(i)], &QPushButton::clicked, this, [this, i] { playint_Click(i); });
        rows->addWidget(inter[size_t(i)], i, 0);
        rows->addWidget(playint[size_t(i)], i, 1, Qt::AlignRight);
    }
    All = makeButton("All", "All");
    None = makeButton("None", "None");
    mainintervals = makeButton("mainintervals", "Main intervals");
    connect(All, &QPushButton::clicked, this, [this] { All_Click(); });
    connect(None, &QPushButton::clicked, this, [this] { None_Click(); });
    connect(mainintervals, &QPushButton::clicked, this, [this] { mainintervals_Click(); });
    rows->setRowMinimumHeight(intervals::kCount, 8);
    rows->addWidget(All, intervals::kCount + 1, 0, 1, 2);
    rows->addWidget(None, intervals::kCount + 2, 0, 1, 2);
    rows->addWidget(mainintervals, intervals::kCount + 3, 0, 1, 2);
    rows->setRowStretch(intervals::kCount + 4, 1);

    Frame2 = makeFrame("Frame2", "Direction");
    ascending = makeOption("ascending", "Ascending", Frame2);
    discending = makeOption("discending", "Discending", Frame2);
    together = makeOption("together", "Together", Frame2);
    auto *directions = new QVBoxLayout(Frame2);
    directions->addWidget(ascending);
    directions->addWidget(discending);
    directions->addWidget(together);
    onSelected(ascending, this, [this] { ascending_Click(); });
    onSelected(discending, this, [this] { discending_Click(); });
    onSelected(together, this, [this] { together_Click(); });
    auto *timingRow = new QHBoxLayout;
    timingRow->addWidget(Frame2);
    timingRow->addWidget(sliderFrame, 1);

    auto *settings = new QVBoxLayout;
    settings->addLayout(timingRow);
    settings->addLayout(rootRow(Combo1));
    arrangeWindow(central, Frame1, settings);
}

void FormIntervalli::Form_Load() {
    Midi()->midiOpen();
    feedbackSound()->setMciCommand("open");
    // The volume chosen in the options dialog is kept: loading this window must not
    // silently put it back to 100.
    Combo1->setCurrentIndex(1);
    sendProgramThenPan();
    ascending->setChecked(true);
    setSliderToLoadValue();
    selectNotest();
    disableRevealAndRepeat();
    mainintervals_Click();
}

bool FormIntervalli::Form_Unload() {
    Midi()->midiClose();
    feedbackSound()->setMciCommand("close");
    return true;
}

void FormIntervalli::All_Click() {
    setAllChecked(inter, true);
}

void FormIntervalli::None_Click() {
    setAllChecked(inter, false);
}

void FormIntervalli::mainintervals_Click() {
    for (size_t i = 0; i < inter.size(); ++i)
        inter[i]->setChecked(intervals::kMainIntervals[i]);
}

void FormIntervalli::ascending_Click() {
    sliderFrame->setEnabled(true);
}

void FormIntervalli::discending_Click() {
    sliderFrame->setEnabled(true);
}

void FormIntervalli::together_Click() {
    sliderFrame->setEnabled(false);
}

intervals::Direction FormIntervalli::direction() const {
    if (together->isChecked())
        return intervals::Direction::Together;
    return discending->isChecked() ? intervals::Direction::Descending
                                   : intervals::Direction::Ascending;
}

int FormIntervalli::rootFromCombo() const {
    // "Random" draws even where the root then goes unused.
    return rootchoice::candidateRoot(Combo1->currentIndex());
}

bool FormIntervalli::drawQuestion() {
    const std::optional<int> drawn = QuestionCycle::drawTicked(ticks(inter));
    if (!drawn)
        return false;
    questioninterval_ = *drawn;
    rootnote_ = rootFromCombo();
    drawnDirection_ = direction();
    secondnote_ = intervals::secondNote(rootnote_, questioninterval_, drawnDirection_);
    return true;
}

void FormIntervalli::playPair(int root, int second) {
    playNotes({root, second},
              direction() == intervals::Direction::Together ? Pauses::None : Pauses::Between);
}

void FormIntervalli::playquestion() {
    if (rootnote_ == 0)
        return;
    // The second note stays where it was drawn; together or apart is chosen now.
    using intervals::Direction;
    heardDirection_ = direction() == Direction::Together         ? Direction::Together
                      : drawnDirection_ == Direction::Descending ? Direction::Descending
                                                                 : Direction::Ascending;
    playPair(rootnote_, secondnote_);
}

QString FormIntervalli::answerText() const {
    return QString::fromLatin1(intervals::kRevealNames[size_t(questioninterval_)]);
}

void FormIntervalli::playint_Click(int Index) {
    if (!testMode()) {
        Playback playback(this);
        const int candidate = rootFromCombo();
        const int root = rootnote_ == 0 ? candidate : rootnote_;
        const SoundSettings &s = variabiliglobali();
        Midi()->programChange(s.channel, s.instrument);
        playPair(root, intervals::secondNote(root, Index, direction()));
    }
    judgeAnswer(Index);
}

void FormIntervalli::describe(Answer &record, int answer) const {
    static const char *const directions[] = {"ascending", "descending", "together"};
    record.askedIndex = questioninterval_;
    record.askedName = answerText();
    record.root = rootnote_;
    record.mode = directions[int(heardDirection_)];
    record.answeredIndex = answer;
}

std::vector<QAbstractButton *> FormIntervalli::itemBoxes() const {
    return {inter.begin(), inter.end()};
}
