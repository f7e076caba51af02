// SPDX-License-Identifier: GPL-3.0-or-later
#include "melody/MelodyWindow.h"

#include "drill/Widgets.h"
#include "sound/SoundSettings.h"
#include "theory/Answer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

namespace {

DrillWindow::Cycle melodyCycle() {
    DrillWindow::Cycle c;
    c.testFrame = "Frame6";
    c.questionsCaption = "Label3";
    c.questionsCount = "Label4";
    c.rightCaption = "Label2";
    c.stopName = "stoponoise";
    c.feedbackPoints = 13.5;
    c.sliderFrame = "delayframe";
    c.sliderFrameCaption = "Delay ";
    c.sliderMaximum = 3000;
    c.sliderValueLabel.clear();
    c.recomputePercentOnNew = false;
    c.enableOnDraw = true;
    return c;
}

} // namespace

MelodyWindow::MelodyWindow(QWidget *parent)
    : DrillWindow(DrillKind::Melody,
                  {"formmelody", "Tonvik 1.0 Melody", "melody", "optionsmnu", "MCIWnd1"},
                  melodyCycle(), parent) {}

QWidget *MelodyWindow::buildKeyboard() {
    auto *keyboard = new QWidget;
    keyboard->setObjectName("keyboard");
    keyboard->setAccessibleName("Keyboard");
    const auto px = [keyboard](int twips) { return twipsToPixels(twips, keyboard); };
    int width = 0, height = 0;
    for (int pass = 0; pass < 2; ++pass) { // white keys first: the black ones lie in front
        for (int i = 0; i < 12; ++i) {
            const melody::KeyRect r = melody::keyRect(i);
            if (r.black != (pass == 1))
                continue;
            const QString name = latin1(melody::kPitchClassNames[size_t(i)]);
            auto *key = makeButton(arrayName("tasto", i), r.black ? name : QString(), keyboard);
            key->setAccessibleName(name);
            key->setFocusPolicy(Qt::TabFocus);
            key->setGeometry(px(r.left), 0, px(r.width), px(r.height));
            key->setStyleSheet(r.black ? "QPushButton { background: #1b1b1f; color: white; border: "
                                         "1px solid black; border-radius: 2px; }"
                                         "QPushButton:pressed { background: #55555d; }"
                                       : "QPushButton { background: white; border: 1px solid "
                                         "#444; border-radius: 2px; }"
                                         "QPushButton:pressed { background: #d8d8e0; }");
            setKey(key, Qt::Key(melody::kComputerKeys[size_t(i)]));
            connect(key, &QPushButton::clicked, this, [this, i] { onKey(i); });
            keyButtons[size_t(i)] = key;
            width = std::max(width, px(r.left + r.width));
            height = std::max(height, px(r.height));
        }
    }
    keyboard->setFixedSize(width, height);
    // Tab goes along the keys as they sound, C to B, not white keys first.
    for (size_t i = 0; i + 1 < keyButtons.size(); ++i)
        QWidget::setTabOrder(keyButtons[i], keyButtons[i + 1]);
    return keyboard;
}

void MelodyWindow::buildControls(QWidget *central) {
    buildCycleControls();

    auto *notesFrame = makeFrame("Frame2", "Notes");
    auto *notesGrid = new QGridLayout(notesFrame);
    for (int i = 0; i < 12; ++i) {
        pitchClassBoxes[size_t(i)] =
            makeCheckBox(arrayName("Nota", i), latin1(melody::kPitchClassNames[size_t(i)]));
        notesGrid->addWidget(pitchClassBoxes[size_t(i)], i / 6, i % 6);
    }
    auto *allNotesButton = makeButton("Command13", "ALL");
    auto *cMajorButton = makeButton("Command14", "C major");
    auto *noNotesButton = makeButton("Command15", "NONE");
    notesGrid->addWidget(allNotesButton, 2, 0, 1, 2);
    notesGrid->addWidget(cMajorButton, 2, 2, 1, 2);
    notesGrid->addWidget(noNotesButton, 2, 4, 1, 2);
    connect(allNotesButton, &QPushButton::clicked, this, [this] { tickAllPitchClasses(); });
    connect(cMajorButton, &QPushButton::clicked, this, [this] { tickCMajor(); });
    connect(noNotesButton, &QPushButton::clicked, this, [this] { untickAllPitchClasses(); });

    auto *octavesFrame = makeFrame("Frame1", "Octaves");
    auto *octavesGrid = new QGridLayout(octavesFrame);
    for (int j = 0; j < melody::kOctaves; ++j) {
        octaveBoxes[size_t(j)] =
            makeCheckBox(arrayName("octave", j), latin1(melody::kOctaveNames[size_t(j)]));
        octavesGrid->addWidget(octaveBoxes[size_t(j)], j / 5, j % 5);
    }
    auto *allOctavesButton = makeButton("Command16", "ALL");
    auto *noOctavesButton = makeButton("Command17", "NONE");
    auto *guitarButton = makeButton("Command18", "Guitar");
    auto *pianoButton = makeButton("Command19", "Piano");
    auto *octavePresets = new QHBoxLayout;
    for (QPushButton *b : {allOctavesButton, noOctavesButton, guitarButton, pianoButton})
        octavePresets->addWidget(b);
    octavesGrid->addLayout(octavePresets, 2, 0, 1, 5);
    connect(allOctavesButton, &QPushButton::clicked, this, [this] { tickAllOctaves(); });
    connect(noOctavesButton, &QPushButton::clicked, this, [this] { untickAllOctaves(); });
    connect(guitarButton, &QPushButton::clicked, this, [this] { tickGuitarOctaves(); });
    connect(pianoButton, &QPushButton::clicked, this, [this] { tickPianoOctaves(); });

    auto *lengthLabel = makeLabel("nnoteslabel", "N° of notes");
    lengthList = new QComboBox;
    lengthList->setObjectName("nnotescombo");
    lengthList->setAccessibleName("N° of notes");
    for (int n = 1; n <= melody::kMaxNotes; ++n)
        lengthList->addItem(QString::number(n));
    lengthLabel->setBuddy(lengthList);
    connect(lengthList, &QComboBox::currentIndexChanged, this, [this] { onLengthChosen(); });
    auto *lengthRow = new QHBoxLayout;
    lengthRow->addWidget(lengthLabel);
    lengthRow->addWidget(lengthList);
    lengthRow->addWidget(sliderFrame, 1);

    auto *left = new QVBoxLayout;
    left->addWidget(notesFrame);
    left->addWidget(octavesFrame);
    left->addLayout(lengthRow);
    left->addStretch(1);

    auto *keyboardRow = new QHBoxLayout;
    keyboardRow->addStretch(1);
    keyboardRow->addWidget(buildKeyboard());
    keyboardRow->addStretch(1);
    auto *items = new QWidget;
    items->setObjectName("choices");
    left->setContentsMargins(0, 0, 0, 0);
    items->setLayout(left);
    arrangeWindow(central, items, keyboardRow, false);
}

void MelodyWindow::onLoad() {
    midi()->midiOpen();
    feedbackSound()->setMciCommand("open");
    soundSettings().storeStartValues();
    sendPanThenProgram();
    selectNotest();
    disableRevealAndRepeat();
    // The questions and right counts start from "0" with every load.
    if (lengthList->currentIndex() == 0)
        onLengthChosen();
    else
        lengthList->setCurrentIndex(0);
    setSliderToLoadValue();
    tickCMajor();
    tickGuitarOctaves();
}

bool MelodyWindow::onUnload() {
    if (confirmExit && !confirmExit())
        return false;
    midi()->midiClose();
    feedbackSound()->setMciCommand("close");
    emit exitConfirmed();
    return true;
}

void MelodyWindow::tickAllPitchClasses() {
    setAllChecked(pitchClassBoxes, true);
}

void MelodyWindow::tickCMajor() {
    for (size_t i = 0; i < pitchClassBoxes.size(); ++i) {
        pitchClassBoxes[i]->setChecked(false);
        if (melody::kCMajor[i])
            pitchClassBoxes[i]->setChecked(true);
    }
}

void MelodyWindow::untickAllPitchClasses() {
    setAllChecked(pitchClassBoxes, false);
}

void MelodyWindow::tickAllOctaves() {
    setAllChecked(octaveBoxes, true);
}

void MelodyWindow::untickAllOctaves() {
    setAllChecked(octaveBoxes, false);
}

void MelodyWindow::tickGuitarOctaves() {
    untickAllOctaves();
    for (int j = 3; j <= 6; ++j)
        octaveBoxes[size_t(j)]->setChecked(true);
}

void MelodyWindow::tickPianoOctaves() {
    untickAllOctaves();
    for (int j = 2; j <= 7; ++j)
        octaveBoxes[size_t(j)]->setChecked(true);
}

void MelodyWindow::onLengthChosen() {
    sliderFrame->setEnabled(lengthList->currentIndex() > 0);
}

void MelodyWindow::onNew() {
    newPressed();
    const std::vector<bool> octaves = ticks(octaveBoxes), pitchClasses = ticks(pitchClassBoxes);
    // Nothing to draw from: the current melody stays as it is.
    if (std::find(octaves.begin(), octaves.end(), true) == octaves.end() ||
        std::find(pitchClasses.begin(), pitchClasses.end(), true) == pitchClasses.end())
        return;

    Playback playback(this);
    melodyLength_ = lengthList->currentIndex() + 1;
    keysAnswered_ = 0; // keys typed towards the previous melody do not count for this one
    const SoundSettings &s = soundSettings();
    for (int k = 1; k <= melodyLength_; ++k) {
        const int j = *QuestionCycle::drawTicked(octaves); // the octave, then the pitch class
        const int note = melody::noteNumber(j, *drawItem(pitchClasses));
        midi()->noteOn(s.channel, s.volume, note);
        countQuestion(1); // note by note; the first enables Repeat (and Reveal outside a test)
        notes_[size_t(k)] = note;
        if (k < melodyLength_)
            pauseBetweenNotes();
    }
    questionPlayed();
}

void MelodyWindow::playQuestion() {
    playNotes({notes_.begin() + 1, notes_.begin() + 1 + melodyLength_}, Pauses::Between);
}

// The key of the same name on the window's keyboard, whatever the octave played.
void MelodyWindow::midiKeyPressed(int note) {
    QPushButton *key = keyButtons[size_t(note % 12)];
    if (key && key->isEnabled())
        key->click();
}

void MelodyWindow::onKey(int index) {
    if (!testMode()) {
        const SoundSettings &s = soundSettings();
        midi()->noteOn(s.channel, s.volume, 60 + index);
        return;
    }
    const qint64 now = msSinceQuestion();
    if (keysAnswered_ == 0)
        lastKeyMs_ = 0; // the first key's time runs from the end of the playback
    if (keysAnswered_ < melody::kMaxNotes) {
        answers_[size_t(++keysAnswered_)] = index;
        keyMs_[size_t(keysAnswered_)] = now - lastKeyMs_;
    }
    lastKeyMs_ = now;
    if (keysAnswered_ < melodyLength_)
        return;
    keysAnswered_ = 0;
    judgeAnswer(index);
}

bool MelodyWindow::isRightAnswer(int) const {
    for (int k = 1; k <= melodyLength_; ++k)
        if (answers_[size_t(k)] != melody::pitchClass(notes_[size_t(k)]))
            return false;
    return true;
}

QString MelodyWindow::answerText() const {
    QString text;
    for (int k = 1; k <= melodyLength_; ++k)
        text += latin1(melody::kRevealNames[size_t(melody::pitchClass(notes_[size_t(k)]))]) + ' ';
    return text;
}

void MelodyWindow::showAnswer() {
    answerLabel->setFont(sizedFont(melodyLength_ > 5 ? 10 : 18));
    answerLabel->setText(answerText());
    announce(answerLabel);
}

void MelodyWindow::describe(Answer &record, int) const {
    QStringList notes, keys, times;
    for (int k = 1; k <= melodyLength_; ++k) {
        notes << QString::number(notes_[size_t(k)]);
        keys << QString::number(answers_[size_t(k)]);
        times << QString::number(keyMs_[size_t(k)]);
    }
    record.keyTimes = times.join(' ');
    record.askedName = answerText().trimmed();
    record.askedNotes = notes.join(' ');
    record.answeredKeys = keys.join(' ');
}

std::vector<QAbstractButton *> MelodyWindow::itemBoxes() const {
    return {pitchClassBoxes.begin(), pitchClassBoxes.end()};
}
