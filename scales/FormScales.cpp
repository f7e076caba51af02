// SPDX-License-Identifier: GPL-3.0-or-later
#include "scales/FormScales.h"

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

FormScales::FormScales(QWidget *parent)
    : DrillWindow(DrillKind::Scales, {"Formscales", "Scales", "Command1", "optionsmnu", "mci"},
                  scalesCycle(), parent) {}

void FormScales::buildControls(QWidget *central) {
    buildCycleControls();

    auto *Frame1 = makeFrame("Frame1", "Scales and Modes");
    auto *grid = new QGridLayout(Frame1);
    grid->setVerticalSpacing(2);
    grid->setColumnMinimumWidth(2, 16);
    for (int i = 0; i < scales::kCount; ++i) {
        const QString caption = latin1(scales::kCatalogue[size_t(i)].caption);
        scalesBox[size_t(i)] = makeCheckBox(arrayName("scales", i), caption);
        playscale[size_t(i)] = makeItemButton("playscale", i, caption);
        connect(playscale[size_t(i)], &QPushButton::clicked, this,
                [this, i] { playscale_Click(i); });
        const bool mode = i >= scales::kScales;
        const int row = mode ? i - scales::kScales : i;
        const int column = mode ? 3 : 0;
        grid->addWidget(scalesBox[size_t(i)], row, column);
        grid->addWidget(playscale[size_t(i)], row, column + 1);
    }
    auto *Allscales = makeButton("Allscales", "All  Scales");
    auto *Nonescales = makeButton("Nonescales", "None");
    auto *Mainscales = makeButton("Mainscales", "Main Scales");
    auto *Allmodes = makeButton("Allmodes", "All Modes");
    auto *Nonemodes = makeButton("Nonemodes", "None");
    Nonescales->setAccessibleName("None (scales)");
    Nonemodes->setAccessibleName("None (modes)");
    connect(Allscales, &QPushButton::clicked, this, [this] { Allscales_Click(); });
    connect(Nonescales, &QPushButton::clicked, this, [this] { Nonescales_Click(); });
    connect(Mainscales, &QPushButton::clicked, this, [this] { Mainscales_Click(); });
    connect(Allmodes, &QPushButton::clicked, this, [this] { Allmodes_Click(); });
    connect(Nonemodes, &QPushButton::clicked, this, [this] { Nonemodes_Click(); });
    grid->setRowMinimumHeight(scales::kScales, 8);
    int row = scales::kScales + 1;
    for (QPushButton *b : {Allscales, Nonescales, Mainscales})
        grid->addWidget(b, row++, 0, 1, 2);
    row = scales::kCount - scales::kScales + 1;
    grid->setRowMinimumHeight(row - 1, 8);
    for (QPushButton *b : {Allmodes, Nonemodes})
        grid->addWidget(b, row++, 3, 1, 2);

    auto *settings = new QVBoxLayout;
    settings->addWidget(sliderFrame);
    settings->addLayout(rootRow(Combo1));
    arrangeWindow(central, Frame1, settings);
}

void FormScales::Form_Load() {
    Combo1->setCurrentIndex(1);
    Midi()->midiOpen();
    sendProgramThenPan();
    selectNotest();
    disableRevealAndRepeat();
    setSliderToLoadValue();
    Mainscales_Click();
    initscaletable();
}

void FormScales::initscaletable() {
    for (size_t i = 0; i < scales::kCatalogue.size(); ++i) {
        stepcount_[i] = scales::kCatalogue[i].stepCount;
        scalesteps_[i] = scales::kCatalogue[i].steps;
    }
}

void FormScales::setTicks(int from, int to, bool ticked) {
    for (int i = from; i <= to; ++i)
        scalesBox[size_t(i)]->setChecked(ticked);
}

void FormScales::Allscales_Click() {
    setTicks(0, scales::kScales - 1, true);
}
void FormScales::Nonescales_Click() {
    setTicks(0, scales::kScales - 1, false);
}
void FormScales::Allmodes_Click() {
    setTicks(scales::kScales, scales::kCount - 1, true);
}
void FormScales::Nonemodes_Click() {
    setTicks(scales::kScales, scales::kCount - 1, false);
}

void FormScales::Mainscales_Click() {
    setTicks(0, scales::kMainScales - 1, true);
    setTicks(scales::kMainScales, scales::kCount - 1, false);
}

int FormScales::buildNotes(int item, int start, std::array<int, 13> &notes) const {
    const std::vector<int> built =
        theory::notesFromSteps(start, stepcount_[size_t(item)], scalesteps_[size_t(item)].data());
    std::copy(built.begin(), built.end(), notes.begin());
    return int(built.size());
}

bool FormScales::drawQuestion() {
    const std::optional<int> drawn = QuestionCycle::drawTicked(ticks(scalesBox));
    if (!drawn)
        return false;
    questionscale_ = *drawn;
    const int root = rootchoice::folded(rootchoice::candidateRoot(Combo1->currentIndex()));
    notecount_ = buildNotes(questionscale_, root, questionnotes_);
    return true;
}

void FormScales::playquestion() {
    const SoundSettings &s = variabiliglobali();
    Midi()->programChange(s.channel, s.instrument);
    playNotes({questionnotes_.begin(), questionnotes_.begin() + notecount_}, Pauses::AfterEach);
}

QString FormScales::answerText() const {
    return QString("%1 %2")
        .arg(latin1(theory::kPitchClassNames[size_t(theory::pitchClass(questionnotes_[0]))]))
        .arg(latin1(scales::kCatalogue[size_t(questionscale_)].revealName));
}

void FormScales::playscale_Click(int Index) {
    if (!testMode()) {
        Playback playback(this);
        // "Random" draws even where the candidate then goes unused; it is not folded.
        const int candidate = rootchoice::candidateRoot(Combo1->currentIndex());
        const int start = questionnotes_[0] == 0 ? candidate : questionnotes_[0];
        const int count = buildNotes(Index, start, listennotes_);
        playNotes({listennotes_.begin(), listennotes_.begin() + count}, Pauses::AfterEach);
    }
    judgeAnswer(Index);
}

void FormScales::describe(Answer &record, int answer) const {
    record.askedIndex = questionscale_;
    record.askedName = latin1(scales::kCatalogue[size_t(questionscale_)].caption);
    record.root = questionnotes_[0];
    record.answeredIndex = answer;
}

std::vector<QAbstractButton *> FormScales::itemBoxes() const {
    return {scalesBox.begin(), scalesBox.end()};
}
