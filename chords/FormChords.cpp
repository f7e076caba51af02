// SPDX-License-Identifier: GPL-3.0-or-later
#include "chords/FormChords.h"

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

FormChords::FormChords(QWidget *parent)
    : DrillWindow(DrillKind::Chords,
                  {"Formchords", "Tonvik 1.0 Chords", "chords", "optionsmnu", "mci"}, chordsCycle(),
                  parent) {}

void FormChords::buildControls(QWidget *central) {
    buildCycleControls();

    auto *Frame1 = makeFrame("Frame1", "Chords");
    auto *grid = new QGridLayout(Frame1);
    grid->setVerticalSpacing(2);
    grid->setColumnMinimumWidth(2, 16);
    for (int i = 0; i < chords::kCount; ++i) {
        const QString name =
            QString::fromLatin1(chords::kCatalogue[size_t(i)].name.data(),
                                qsizetype(chords::kCatalogue[size_t(i)].name.size()));
        chord[size_t(i)] = makeCheckBox(arrayName("chord", i), name);
        playchord[size_t(i)] = makeItemButton("playchord", i, name);
        connect(playchord[size_t(i)], &QPushButton::clicked, this,
                [this, i] { playchord_Click(i); });
        const int column = i < 10 ? 0 : 3;
        grid->addWidget(chord[size_t(i)], i % 10, column);
        grid->addWidget(playchord[size_t(i)], i % 10, column + 1);
    }
    auto *All = makeButton("All", "All");
    auto *None = makeButton("None", "None");
    auto *Triads = makeButton("Triads", "Triads");
    auto *mainbutton = makeButton("mainbutton", "Main");
    connect(All, &QPushButton::clicked, this, [this] { All_Click(); });
    connect(None, &QPushButton::clicked, this, [this] { None_Click(); });
    connect(Triads, &QPushButton::clicked, this, [this] { Triads_Click(); });
    connect(mainbutton, &QPushButton::clicked, this, [this] { mainbutton_Click(); });
    grid->setRowMinimumHeight(10, 8);
    int row = 11;
    for (QPushButton *b : {All, None, Triads, mainbutton})
        grid->addWidget(b, row++, 0, 1, 5);

    auto *Frame2 = makeFrame("Frame2", "Sequence");
    Arpeggiooption = makeOption("Arpeggiooption", "Arpeggio", Frame2);
    Chordoption = makeOption("Chordoption", "Chord", Frame2);
    auto *sequence = new QVBoxLayout(Frame2);
    sequence->addWidget(Arpeggiooption);
    sequence->addWidget(Chordoption);
    onSelected(Arpeggiooption, this, [this] { Arpeggiooption_Click(); });
    onSelected(Chordoption, this, [this] { Chordoption_Click(); });
    auto *timingRow = new QHBoxLayout;
    timingRow->addWidget(Frame2);
    timingRow->addWidget(sliderFrame, 1);

    auto *settings = new QVBoxLayout;
    settings->addLayout(timingRow);
    settings->addLayout(rootRow(Combo1));
    arrangeWindow(central, Frame1, settings);
}

void FormChords::Form_Load() {
    Midi()->midiOpen();
    Combo1->setCurrentIndex(1);
    sendProgramThenPan();
    Chordoption->setChecked(true);
    selectNotest();
    disableRevealAndRepeat();
    setSliderToLoadValue();
    mainbutton_Click();
    initchordtable();
}

void FormChords::initchordtable() {
    for (size_t i = 0; i < chords::kCatalogue.size(); ++i) {
        stepcount_[i] = chords::kCatalogue[i].stepCount;
        steps_[i] = chords::kCatalogue[i].steps;
    }
}

void FormChords::All_Click() {
    setAllChecked(chord, true);
}

void FormChords::None_Click() {
    setAllChecked(chord, false);
}

void FormChords::Triads_Click() {
    None_Click();
    for (int i : chords::kTriads)
        chord[size_t(i)]->setChecked(true);
}

void FormChords::mainbutton_Click() {
    for (int i = 0; i < chords::kCount; ++i)
        chord[size_t(i)]->setChecked(i < chords::kMainCount);
}

void FormChords::Arpeggiooption_Click() {
    sliderFrame->setEnabled(true);
}

void FormChords::Chordoption_Click() {
    sliderFrame->setEnabled(false);
}

std::vector<int> FormChords::notesOf(int chordType, int root) const {
    return theory::notesFromSteps(root, stepcount_[size_t(chordType)],
                                  steps_[size_t(chordType)].data());
}

bool FormChords::drawQuestion() {
    const std::optional<int> drawn = QuestionCycle::drawTicked(ticks(chord));
    if (!drawn)
        return false;
    questionchord_ = *drawn;
    const int root = rootchoice::folded(rootchoice::candidateRoot(Combo1->currentIndex()));
    const std::vector<int> notes = notesOf(questionchord_, root);
    std::copy(notes.begin(), notes.end(), questionnotes_.begin() + 1);
    notecount_ = int(notes.size());
    return true;
}

void FormChords::playChord(const std::vector<int> &notes) {
    // The mode is read when the chord is played, so Repeat follows a change of it.
    playNotes(notes, Arpeggiooption->isChecked() ? Pauses::AfterEach : Pauses::None);
}

void FormChords::playquestion() {
    heardAsArpeggio_ = Arpeggiooption->isChecked();
    playChord({questionnotes_.begin() + 1, questionnotes_.begin() + 1 + notecount_});
}

QString FormChords::answerText() const {
    const auto &name = chords::kCatalogue[size_t(questionchord_)].name;
    return QString("%1 %2")
        .arg(latin1(theory::kPitchClassNames[size_t(theory::pitchClass(questionnotes_[1]))]))
        .arg(QString::fromLatin1(name.data(), qsizetype(name.size())));
}

void FormChords::playchord_Click(int Index) {
    if (!testMode()) {
        Playback playback(this);
        // "Random" draws even where the candidate then goes unused; it is not folded.
        const int candidate = rootchoice::candidateRoot(Combo1->currentIndex());
        const int root = questionnotes_[1] != 0 ? questionnotes_[1] : candidate;
        playChord(notesOf(Index, root));
    }
    judgeAnswer(Index);
}

void FormChords::describe(Answer &record, int answer) const {
    record.askedIndex = questionchord_;
    const std::string_view name = chords::kCatalogue[size_t(questionchord_)].name;
    record.askedName = QString::fromLatin1(name.data(), qsizetype(name.size()));
    record.root = questionnotes_[1];
    record.mode = heardAsArpeggio_ ? "arpeggio" : "block";
    record.answeredIndex = answer;
}

std::vector<QAbstractButton *> FormChords::itemBoxes() const {
    return {chord.begin(), chord.end()};
}
