// SPDX-License-Identifier: GPL-3.0-or-later
#include "scales/ScalesWindow.h"

#include "drill/Widgets.h"
#include "sound/SoundSettings.h"
#include "theory/Answer.h"
#include "theory/PitchClasses.h"
#include "theory/RootChoice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

DrillWindow::Cycle scalesCycle() {
    DrillWindow::Cycle c;
    c.notestCaption = "No Test";
    c.stopCaption = "&Stop noise!";
    c.answerPoints = 13.5;
    c.sliderFrameCaption = "Intervals [ms]";
    c.sliderLoadValue = 250;
    c.sliderValueDesignText = "500";
    c.countBeforePlaying = true;
    return c;
}

} // namespace

ScalesWindow::ScalesWindow(QWidget *parent)
    : DrillWindow(DrillKind::Scales, {"Formscales", "Scales", "Command1", "optionsmnu", "mci"},
                  scalesCycle(), parent) {}

void ScalesWindow::buildControls(QWidget *central) {
    buildCycleControls();

    auto *itemsFrame = makeFrame("Frame1", "Scales and Modes");
    auto *grid = new QGridLayout(itemsFrame);
    grid->setVerticalSpacing(2);
    grid->setColumnMinimumWidth(2, 16);
    for (int i = 0; i < scales::kCount; ++i) {
        const QString caption = latin1(scales::kCatalogue[size_t(i)].caption);
        scaleBoxes[size_t(i)] = makeCheckBox(arrayName("scales", i), caption);
        scaleButtons[size_t(i)] = makeItemButton("playscale", i, caption);
        connect(scaleButtons[size_t(i)], &QPushButton::clicked, this,
                [this, i] { onScaleButton(i); });
        const bool mode = i >= scales::kScales;
        const int row = mode ? i - scales::kScales : i;
        const int column = mode ? 3 : 0;
        grid->addWidget(scaleBoxes[size_t(i)], row, column);
        grid->addWidget(scaleButtons[size_t(i)], row, column + 1);
    }
    auto *allScalesButton = makeButton("Allscales", "All  Scales");
    auto *noScalesButton = makeButton("Nonescales", "None");
    auto *mainScalesButton = makeButton("Mainscales", "Main Scales");
    auto *allModesButton = makeButton("Allmodes", "All Modes");
    auto *noModesButton = makeButton("Nonemodes", "None");
    noScalesButton->setAccessibleName("None (scales)");
    noModesButton->setAccessibleName("None (modes)");
    connect(allScalesButton, &QPushButton::clicked, this, [this] { tickAllScales(); });
    connect(noScalesButton, &QPushButton::clicked, this, [this] { untickAllScales(); });
    connect(mainScalesButton, &QPushButton::clicked, this, [this] { tickMainScales(); });
    connect(allModesButton, &QPushButton::clicked, this, [this] { tickAllModes(); });
    connect(noModesButton, &QPushButton::clicked, this, [this] { untickAllModes(); });
    grid->setRowMinimumHeight(scales::kScales, 8);
    int row = scales::kScales + 1;
    for (QPushButton *b : {allScalesButton, noScalesButton, mainScalesButton})
        grid->addWidget(b, row++, 0, 1, 2);
    row = scales::kCount - scales::kScales + 1;
    grid->setRowMinimumHeight(row - 1, 8);
    for (QPushButton *b : {allModesButton, noModesButton})
        grid->addWidget(b, row++, 3, 1, 2);

    auto *settings = new QVBoxLayout;
    settings->addWidget(sliderFrame);
    settings->addLayout(rootRow(rootList));
    arrangeWindow(central, itemsFrame, settings);
}

void ScalesWindow::onLoad() {
    rootList->setCurrentIndex(1);
    midi()->midiOpen();
    sendProgramThenPan();
    selectNotest();
    disableRevealAndRepeat();
    setSliderToLoadValue();
    tickMainScales();
    fillScaleTable();
}

void ScalesWindow::fillScaleTable() {
    for (size_t i = 0; i < scales::kCatalogue.size(); ++i) {
        stepCounts_[i] = scales::kCatalogue[i].stepCount;
        scaleSteps_[i] = scales::kCatalogue[i].steps;
    }
}

void ScalesWindow::setTicks(int from, int to, bool ticked) {
    for (int i = from; i <= to; ++i)
        scaleBoxes[size_t(i)]->setChecked(ticked);
}

void ScalesWindow::tickAllScales() {
    setTicks(0, scales::kScales - 1, true);
}
void ScalesWindow::untickAllScales() {
    setTicks(0, scales::kScales - 1, false);
}
void ScalesWindow::tickAllModes() {
    setTicks(scales::kScales, scales::kCount - 1, true);
}
void ScalesWindow::untickAllModes() {
    setTicks(scales::kScales, scales::kCount - 1, false);
}

void ScalesWindow::tickMainScales() {
    setTicks(0, scales::kMainScales - 1, true);
    setTicks(scales::kMainScales, scales::kCount - 1, false);
}

int ScalesWindow::buildNotes(int item, int start, std::array<int, 13> &notes) const {
    const std::vector<int> built =
        theory::notesFromSteps(start, stepCounts_[size_t(item)], scaleSteps_[size_t(item)].data());
    std::copy(built.begin(), built.end(), notes.begin());
    return int(built.size());
}

bool ScalesWindow::drawQuestion() {
    const std::optional<int> drawn = drawItem(ticks(scaleBoxes));
    if (!drawn)
        return false;
    questionScale_ = *drawn;
    const int root = rootchoice::folded(rootchoice::candidateRoot(rootList->currentIndex()));
    noteCount_ = buildNotes(questionScale_, root, questionNotes_);
    return true;
}

void ScalesWindow::playQuestion() {
    const SoundSettings &s = soundSettings();
    midi()->programChange(s.channel, s.instrument);
    playNotes({questionNotes_.begin(), questionNotes_.begin() + noteCount_}, Pauses::AfterEach);
}

QString ScalesWindow::answerText() const {
    return QString("%1 %2")
        .arg(latin1(theory::kPitchClassNames[size_t(theory::pitchClass(questionNotes_[0]))]))
        .arg(latin1(scales::kCatalogue[size_t(questionScale_)].revealName));
}

void ScalesWindow::onScaleButton(int index) {
    if (!testMode()) {
        Playback playback(this);
        // "Random" draws even where the candidate then goes unused; it is not folded.
        const int candidate = rootchoice::candidateRoot(rootList->currentIndex());
        const int start = questionNotes_[0] == 0 ? candidate : questionNotes_[0];
        const int count = buildNotes(index, start, listenNotes_);
        playNotes({listenNotes_.begin(), listenNotes_.begin() + count}, Pauses::AfterEach);
    }
    judgeAnswer(index);
}

void ScalesWindow::describe(Answer &record, int answer) const {
    record.askedIndex = questionScale_;
    record.askedName = latin1(scales::kCatalogue[size_t(questionScale_)].caption);
    record.root = questionNotes_[0];
    record.answeredIndex = answer;
}

std::vector<QAbstractButton *> ScalesWindow::itemBoxes() const {
    return {scaleBoxes.begin(), scaleBoxes.end()};
}
