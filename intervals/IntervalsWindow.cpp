// SPDX-License-Identifier: GPL-3.0-or-later
#include "intervals/IntervalsWindow.h"

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

IntervalsWindow::IntervalsWindow(QWidget *parent)
    : DrillWindow(DrillKind::Intervals,
                  {"Formintervalli", "Tonvik 1.0 Intervals", "intervals", "optionmnu", "mci"},
                  intervalsCycle(), parent) {}

void IntervalsWindow::buildControls(QWidget *central) {
    buildCycleControls();

    // Left: the interval rows with their play buttons, and the presets.
    auto *itemsFrame = makeFrame("Frame1", "Interval Choose              Play");
    auto *rows = new QGridLayout(itemsFrame);
    rows->setVerticalSpacing(2);
    for (int i = 0; i < intervals::kCount; ++i) {
        const QString name = QString::fromLatin1(intervals::kRevealNames[size_t(i)]);
        intervalBoxes[size_t(i)] = makeCheckBox(
            arrayName("inter", i), QString::fromLatin1(intervals::kCaptions[size_t(i)]));
        intervalButtons[size_t(i)] = makeItemButton("playint", i, name);
        connect(intervalButtons[size_t(i)], &QPushButton::clicked, this,
                [this, i] { onIntervalButton(i); });
        rows->addWidget(intervalBoxes[size_t(i)], i, 0);
        rows->addWidget(intervalButtons[size_t(i)], i, 1, Qt::AlignRight);
    }
    allButton = makeButton("All", "All");
    noneButton = makeButton("None", "None");
    mainIntervalsButton = makeButton("mainintervals", "Main intervals");
    connect(allButton, &QPushButton::clicked, this, [this] { tickAll(); });
    connect(noneButton, &QPushButton::clicked, this, [this] { untickAll(); });
    connect(mainIntervalsButton, &QPushButton::clicked, this, [this] { tickMainIntervals(); });
    rows->setRowMinimumHeight(intervals::kCount, 8);
    rows->addWidget(allButton, intervals::kCount + 1, 0, 1, 2);
    rows->addWidget(noneButton, intervals::kCount + 2, 0, 1, 2);
    rows->addWidget(mainIntervalsButton, intervals::kCount + 3, 0, 1, 2);
    rows->setRowStretch(intervals::kCount + 4, 1);

    directionFrame = makeFrame("Frame2", "Direction");
    ascendingOption = makeOption("ascending", "Ascending", directionFrame);
    descendingOption = makeOption("discending", "Discending", directionFrame);
    togetherOption = makeOption("together", "Together", directionFrame);
    auto *directions = new QVBoxLayout(directionFrame);
    directions->addWidget(ascendingOption);
    directions->addWidget(descendingOption);
    directions->addWidget(togetherOption);
    onSelected(ascendingOption, this, [this] { onAscending(); });
    onSelected(descendingOption, this, [this] { onDescending(); });
    onSelected(togetherOption, this, [this] { onTogether(); });
    auto *timingRow = new QHBoxLayout;
    timingRow->addWidget(directionFrame);
    timingRow->addWidget(sliderFrame, 1);

    auto *settings = new QVBoxLayout;
    settings->addLayout(timingRow);
    settings->addLayout(rootRow(rootList));
    arrangeWindow(central, itemsFrame, settings);
}

void IntervalsWindow::onLoad() {
    midi()->midiOpen();
    feedbackSound()->setMciCommand("open");
    // The volume chosen in the options dialog is kept: loading this window must not
    // silently put it back to 100.
    rootList->setCurrentIndex(1);
    sendProgramThenPan();
    ascendingOption->setChecked(true);
    setSliderToLoadValue();
    selectNotest();
    disableRevealAndRepeat();
    tickMainIntervals();
}

bool IntervalsWindow::onUnload() {
    midi()->midiClose();
    feedbackSound()->setMciCommand("close");
    return true;
}

void IntervalsWindow::tickAll() {
    setAllChecked(intervalBoxes, true);
}

void IntervalsWindow::untickAll() {
    setAllChecked(intervalBoxes, false);
}

void IntervalsWindow::tickMainIntervals() {
    for (size_t i = 0; i < intervalBoxes.size(); ++i)
        intervalBoxes[i]->setChecked(intervals::kMainIntervals[i]);
}

void IntervalsWindow::onAscending() {
    sliderFrame->setEnabled(true);
}

void IntervalsWindow::onDescending() {
    sliderFrame->setEnabled(true);
}

void IntervalsWindow::onTogether() {
    sliderFrame->setEnabled(false);
}

intervals::Direction IntervalsWindow::direction() const {
    if (togetherOption->isChecked())
        return intervals::Direction::Together;
    return descendingOption->isChecked() ? intervals::Direction::Descending
                                         : intervals::Direction::Ascending;
}

int IntervalsWindow::rootFromCombo() const {
    // "Random" draws even where the root then goes unused.
    return rootchoice::candidateRoot(rootList->currentIndex());
}

bool IntervalsWindow::drawQuestion() {
    const std::optional<int> drawn = drawItem(ticks(intervalBoxes));
    if (!drawn)
        return false;
    questionInterval_ = *drawn;
    rootNote_ = rootFromCombo();
    drawnDirection_ = direction();
    secondNote_ = intervals::secondNote(rootNote_, questionInterval_, drawnDirection_);
    return true;
}

void IntervalsWindow::playPair(int root, int second) {
    playNotes({root, second},
              direction() == intervals::Direction::Together ? Pauses::None : Pauses::Between);
}

void IntervalsWindow::playQuestion() {
    if (rootNote_ == 0)
        return;
    // The second note stays where it was drawn; together or apart is chosen now.
    using intervals::Direction;
    heardDirection_ = direction() == Direction::Together         ? Direction::Together
                      : drawnDirection_ == Direction::Descending ? Direction::Descending
                                                                 : Direction::Ascending;
    playPair(rootNote_, secondNote_);
}

QString IntervalsWindow::answerText() const {
    return QString::fromLatin1(intervals::kRevealNames[size_t(questionInterval_)]);
}

void IntervalsWindow::onIntervalButton(int index) {
    if (!testMode()) {
        Playback playback(this);
        const int candidate = rootFromCombo();
        const int root = rootNote_ == 0 ? candidate : rootNote_;
        const SoundSettings &s = soundSettings();
        midi()->programChange(s.channel, s.instrument);
        playPair(root, intervals::secondNote(root, index, direction()));
    }
    judgeAnswer(index);
}

void IntervalsWindow::describe(Answer &record, int answer) const {
    static const char *const directions[] = {"ascending", "descending", "together"};
    record.askedIndex = questionInterval_;
    record.askedName = answerText();
    record.root = rootNote_;
    record.mode = directions[int(heardDirection_)];
    record.answeredIndex = answer;
}

std::vector<QAbstractButton *> IntervalsWindow::itemBoxes() const {
    return {intervalBoxes.begin(), intervalBoxes.end()};
}
