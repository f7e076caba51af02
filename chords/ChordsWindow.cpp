// SPDX-License-Identifier: GPL-3.0-or-later
#include "chords/ChordsWindow.h"

#include "drill/Widgets.h"
#include "theory/Answer.h"
#include "theory/PitchClasses.h"
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

DrillWindow::Cycle chordsCycle() {
    DrillWindow::Cycle c;
    c.notestCaption = "No Test";
    c.sliderFrameCaption = "Arpeggio time [ms]";
    c.countBeforePlaying = true;
    return c;
}

} // namespace

ChordsWindow::ChordsWindow(QWidget *parent)
    : DrillWindow(DrillKind::Chords,
                  {"Formchords", "Tonvik 1.0 Chords", "chords", "optionsmnu", "mci"}, chordsCycle(),
                  parent) {}

void ChordsWindow::buildControls(QWidget *central) {
    buildCycleControls();

    auto *itemsFrame = makeFrame("Frame1", "Chords");
    auto *grid = new QGridLayout(itemsFrame);
    grid->setVerticalSpacing(2);
    grid->setColumnMinimumWidth(2, 16);
    for (int i = 0; i < chords::kCount; ++i) {
        const QString name =
            QString::fromLatin1(chords::kCatalogue[size_t(i)].name.data(),
                                qsizetype(chords::kCatalogue[size_t(i)].name.size()));
        chordBoxes[size_t(i)] = makeCheckBox(arrayName("chord", i), name);
        chordButtons[size_t(i)] = makeItemButton("playchord", i, name);
        connect(chordButtons[size_t(i)], &QPushButton::clicked, this,
                [this, i] { onChordButton(i); });
        const int column = i < 10 ? 0 : 3;
        grid->addWidget(chordBoxes[size_t(i)], i % 10, column);
        grid->addWidget(chordButtons[size_t(i)], i % 10, column + 1);
    }
    auto *allButton = makeButton("All", "All");
    auto *noneButton = makeButton("None", "None");
    auto *triadsButton = makeButton("Triads", "Triads");
    auto *mainButton = makeButton("mainbutton", "Main");
    connect(allButton, &QPushButton::clicked, this, [this] { tickAll(); });
    connect(noneButton, &QPushButton::clicked, this, [this] { untickAll(); });
    connect(triadsButton, &QPushButton::clicked, this, [this] { tickTriads(); });
    connect(mainButton, &QPushButton::clicked, this, [this] { tickMainChords(); });
    grid->setRowMinimumHeight(10, 8);
    int row = 11;
    for (QPushButton *b : {allButton, noneButton, triadsButton, mainButton})
        grid->addWidget(b, row++, 0, 1, 5);

    auto *sequenceFrame = makeFrame("Frame2", "Sequence");
    arpeggioOption = makeOption("Arpeggiooption", "Arpeggio", sequenceFrame);
    blockOption = makeOption("Chordoption", "Chord", sequenceFrame);
    auto *sequence = new QVBoxLayout(sequenceFrame);
    sequence->addWidget(arpeggioOption);
    sequence->addWidget(blockOption);
    onSelected(arpeggioOption, this, [this] { onArpeggio(); });
    onSelected(blockOption, this, [this] { onBlock(); });
    auto *timingRow = new QHBoxLayout;
    timingRow->addWidget(sequenceFrame);
    timingRow->addWidget(sliderFrame, 1);

    auto *settings = new QVBoxLayout;
    settings->addLayout(timingRow);
    settings->addLayout(rootRow(rootList));
    arrangeWindow(central, itemsFrame, settings);
}

void ChordsWindow::onLoad() {
    midi()->midiOpen();
    rootList->setCurrentIndex(1);
    sendProgramThenPan();
    blockOption->setChecked(true);
    selectNotest();
    disableRevealAndRepeat();
    setSliderToLoadValue();
    tickMainChords();
    fillChordTable();
}

void ChordsWindow::fillChordTable() {
    for (size_t i = 0; i < chords::kCatalogue.size(); ++i) {
        stepCounts_[i] = chords::kCatalogue[i].stepCount;
        steps_[i] = chords::kCatalogue[i].steps;
    }
}

void ChordsWindow::tickAll() {
    setAllChecked(chordBoxes, true);
}

void ChordsWindow::untickAll() {
    setAllChecked(chordBoxes, false);
}

void ChordsWindow::tickTriads() {
    untickAll();
    for (int i : chords::kTriads)
        chordBoxes[size_t(i)]->setChecked(true);
}

void ChordsWindow::tickMainChords() {
    for (int i = 0; i < chords::kCount; ++i)
        chordBoxes[size_t(i)]->setChecked(i < chords::kMainCount);
}

void ChordsWindow::onArpeggio() {
    sliderFrame->setEnabled(true);
}

void ChordsWindow::onBlock() {
    sliderFrame->setEnabled(false);
}

std::vector<int> ChordsWindow::notesOf(int chordType, int root) const {
    return theory::notesFromSteps(root, stepCounts_[size_t(chordType)],
                                  steps_[size_t(chordType)].data());
}

bool ChordsWindow::drawQuestion() {
    const std::optional<int> drawn = drawItem(ticks(chordBoxes));
    if (!drawn)
        return false;
    questionChord_ = *drawn;
    const int root = rootchoice::folded(rootchoice::candidateRoot(rootList->currentIndex()));
    const std::vector<int> notes = notesOf(questionChord_, root);
    std::copy(notes.begin(), notes.end(), questionNotes_.begin() + 1);
    noteCount_ = int(notes.size());
    return true;
}

void ChordsWindow::playChord(const std::vector<int> &notes) {
    // The mode is read when the chord is played, so Repeat follows a change of it.
    playNotes(notes, arpeggioOption->isChecked() ? Pauses::AfterEach : Pauses::None);
}

void ChordsWindow::playQuestion() {
    heardAsArpeggio_ = arpeggioOption->isChecked();
    playChord({questionNotes_.begin() + 1, questionNotes_.begin() + 1 + noteCount_});
}

QString ChordsWindow::answerText() const {
    const auto &name = chords::kCatalogue[size_t(questionChord_)].name;
    return QString("%1 %2")
        .arg(latin1(theory::kPitchClassNames[size_t(theory::pitchClass(questionNotes_[1]))]))
        .arg(QString::fromLatin1(name.data(), qsizetype(name.size())));
}

void ChordsWindow::onChordButton(int index) {
    if (!testMode()) {
        Playback playback(this);
        // "Random" draws even where the candidate then goes unused; it is not folded.
        const int candidate = rootchoice::candidateRoot(rootList->currentIndex());
        const int root = questionNotes_[1] != 0 ? questionNotes_[1] : candidate;
        playChord(notesOf(index, root));
    }
    judgeAnswer(index);
}

void ChordsWindow::describe(Answer &record, int answer) const {
    record.askedIndex = questionChord_;
    const std::string_view name = chords::kCatalogue[size_t(questionChord_)].name;
    record.askedName = QString::fromLatin1(name.data(), qsizetype(name.size()));
    record.root = questionNotes_[1];
    record.mode = heardAsArpeggio_ ? "arpeggio" : "block";
    record.answeredIndex = answer;
}

std::vector<QAbstractButton *> ChordsWindow::itemBoxes() const {
    return {chordBoxes.begin(), chordBoxes.end()};
}
