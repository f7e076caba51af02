// SPDX-License-Identifier: GPL-3.0-or-later
#include "melody/FormMelody.h"

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

FormMelody::FormMelody(QWidget *parent)
    : DrillWindow(DrillKind::Melody,
                  {"formmelody", "Tonvik 1.0 Melody", "melody", "optionsmnu", "MCIWnd1"},
                  melodyCycle(), parent) {}

QWidget *FormMelody::buildKeyboard() {
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
            connect(key, &QPushButton::clicked, this, [this, i] { tasto_click(i); });
            tasto[size_t(i)] = key;
            width = std::max(width, px(r.left + r.width));
            height = std::max(height, px(r.height));
        }
    }
    keyboard->setFixedSize(width, height);
    // Tab goes along the keys as they sound, C to B, not white keys first.
    for (size_t i = 0; i + 1 < tasto.size(); ++i)
        QWidget::setTabOrder(tasto[i], tasto[i + 1]);
    return keyboard;
}

void FormMelody::buildControls(QWidget *central) {
    buildCycleControls();

    auto *Frame2 = makeFrame("Frame2", "Notes");
    auto *notesGrid = new QGridLayout(Frame2);
    for (int i = 0; i < 12; ++i) {
        Nota[size_t(i)] =
            makeCheckBox(arrayName("Nota", i), latin1(melody::kPitchClassNames[size_t(i)]));
        notesGrid->addWidget(Nota[size_t(i)], i / 6, i % 6);
    }
    auto *Command13 = makeButton("Command13", "ALL");
    auto *Command14 = makeButton("Command14", "C major");
    auto *Command15 = makeButton("Command15", "NONE");
    notesGrid->addWidget(Command13, 2, 0, 1, 2);
    notesGrid->addWidget(Command14, 2, 2, 1, 2);
    notesGrid->addWidget(Command15, 2, 4, 1, 2);
    connect(Command13, &QPushButton::clicked, this, [this] { Command13_Click(); });
    connect(Command14, &QPushButton::clicked, this, [this] { Command14_Click(); });
    connect(Command15, &QPushButton::clicked, this, [this] { Command15_Click(); });

    auto *Frame1 = makeFrame("Frame1", "Octaves");
    auto *octavesGrid = new QGridLayout(Frame1);
    for (int j = 0; j < melody::kOctaves; ++j) {
        octave[size_t(j)] =
            makeCheckBox(arrayName("octave", j), latin1(melody::kOctaveNames[size_t(j)]));
        octavesGrid->addWidget(octave[size_t(j)], j / 5, j % 5);
    }
    auto *Command16 = makeButton("Command16", "ALL");
    auto *Command17 = makeButton("Command17", "NONE");
    auto *Command18 = makeButton("Command18", "Guitar");
    auto *Command19 = makeButton("Command19", "Piano");
    auto *octavePresets = new QHBoxLayout;
    for (QPushButton *b : {Command16, Command17, Command18, Command19})
        octavePresets->addWidget(b);
    octavesGrid->addLayout(octavePresets, 2, 0, 1, 5);
    connect(Command16, &QPushButton::clicked, this, [this] { Command16_Click(); });
    connect(Command17, &QPushButton::clicked, this, [this] { Command17_Click(); });
    connect(Command18, &QPushButton::clicked, this, [this] { Command18_Click(); });
    connect(Command19, &QPushButton::clicked, this, [this] { Command19_Click(); });

    auto *nnoteslabel = makeLabel("nnoteslabel", "N° of notes");
    nnotescombo = new QComboBox;
    nnotescombo->setObjectName("nnotescombo");
    nnotescombo->setAccessibleName("N° of notes");
    for (int n = 1; n <= melody::kMaxNotes; ++n)
        nnotescombo->addItem(QString::number(n));
    nnoteslabel->setBuddy(nnotescombo);
    connect(nnotescombo, &QComboBox::currentIndexChanged, this, [this] { nnotescombo_click(); });
    auto *lengthRow = new QHBoxLayout;
    lengthRow->addWidget(nnoteslabel);
    lengthRow->addWidget(nnotescombo);
    lengthRow->addWidget(sliderFrame, 1);

    auto *left = new QVBoxLayout;
    left->addWidget(Frame2);
    left->addWidget(Frame1);
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

void FormMelody::Form_Load() {
    Midi()->midiOpen();
    feedbackSound()->setMciCommand("open");
    variabiliglobali().storeDefaults();
    sendPanThenProgram();
    selectNotest();
    disableRevealAndRepeat();
    // The questions and right counts start from "0" with every load.
    if (nnotescombo->currentIndex() == 0)
        nnotescombo_click();
    else
        nnotescombo->setCurrentIndex(0);
    setSliderToLoadValue();
    Command14_Click();
    Command18_Click();
}

bool FormMelody::Form_Unload() {
    if (confirmExit && !confirmExit())
        return false;
    Midi()->midiClose();
    feedbackSound()->setMciCommand("close");
    emit exitConfirmed();
    return true;
}

void FormMelody::Command13_Click() {
    setAllChecked(Nota, true);
}

void FormMelody::Command14_Click() {
    for (size_t i = 0; i < Nota.size(); ++i) {
        Nota[i]->setChecked(false);
        if (melody::kCMajor[i])
            Nota[i]->setChecked(true);
    }
}

void FormMelody::Command15_Click() {
    setAllChecked(Nota, false);
}

void FormMelody::Command16_Click() {
    setAllChecked(octave, true);
}

void FormMelody::Command17_Click() {
    setAllChecked(octave, false);
}

void FormMelody::Command18_Click() {
    Command17_Click();
    for (int j = 3; j <= 6; ++j)
        octave[size_t(j)]->setChecked(true);
}

void FormMelody::Command19_Click() {
    Command17_Click();
    for (int j = 2; j <= 7; ++j)
        octave[size_t(j)]->setChecked(true);
}

void FormMelody::nnotescombo_click() {
    sliderFrame->setEnabled(nnotescombo->currentIndex() > 0);
}

void FormMelody::New_Click() {
    newPressed();
    const std::vector<bool> octaves = ticks(octave), pitchClasses = ticks(Nota);
    // Nothing to draw from: the current melody stays as it is.
    if (std::find(octaves.begin(), octaves.end(), true) == octaves.end() ||
        std::find(pitchClasses.begin(), pitchClasses.end(), true) == pitchClasses.end())
        return;

    Playback playback(this);
    nnotes_ = nnotescombo->currentIndex() + 1;
    nanswers_ = 0; // keys typed towards the previous melody do not count for this one
    const SoundSettings &s = variabiliglobali();
    for (int k = 1; k <= nnotes_; ++k) {
        const int j = *QuestionCycle::drawTicked(octaves); // the octave, then the pitch class
        const int note = melody::noteNumber(j, *QuestionCycle::drawTicked(pitchClasses));
        Midi()->noteOn(s.channel, s.volume, note);
        countQuestion(1); // note by note; the first enables Repeat (and Reveal outside a test)
        notes_[size_t(k)] = note;
        if (k < nnotes_)
            delaywait();
    }
    questionPlayed();
}

void FormMelody::playquestion() {
    playNotes({notes_.begin() + 1, notes_.begin() + 1 + nnotes_}, Pauses::Between);
}

// The key of the same name on the window's keyboard, whatever the octave played.
void FormMelody::midiKeyPressed(int note) {
    QPushButton *key = tasto[size_t(note % 12)];
    if (key && key->isEnabled())
        key->click();
}

void FormMelody::tasto_click(int Index) {
    if (!testMode()) {
        const SoundSettings &s = variabiliglobali();
        Midi()->noteOn(s.channel, s.volume, 60 + Index);
        return;
    }
    const qint64 now = msSinceQuestion();
    if (nanswers_ == 0)
        lastKeyMs_ = 0; // the first key's time runs from the end of the playback
    if (nanswers_ < melody::kMaxNotes) {
        answers_[size_t(++nanswers_)] = Index;
        keyMs_[size_t(nanswers_)] = now - lastKeyMs_;
    }
    lastKeyMs_ = now;
    if (nanswers_ < nnotes_)
        return;
    nanswers_ = 0;
    judgeAnswer(Index);
}

bool FormMelody::isRightAnswer(int) const {
    for (int k = 1; k <= nnotes_; ++k)
        if (answers_[size_t(k)] != melody::pitchClass(notes_[size_t(k)]))
            return false;
    return true;
}

QString FormMelody::answerText() const {
    QString text;
    for (int k = 1; k <= nnotes_; ++k)
        text += latin1(melody::kRevealNames[size_t(melody::pitchClass(notes_[size_t(k)]))]) + ' ';
    return text;
}

void FormMelody::showAnswer() {
    Label1->setFont(sizedFont(nnotes_ > 5 ? 10 : 18));
    Label1->setText(answerText());
    announce(Label1);
}

void FormMelody::describe(Answer &record, int) const {
    QStringList notes, keys, times;
    for (int k = 1; k <= nnotes_; ++k) {
        notes << QString::number(notes_[size_t(k)]);
        keys << QString::number(answers_[size_t(k)]);
        times << QString::number(keyMs_[size_t(k)]);
    }
    record.keyTimes = times.join(' ');
    record.askedName = answerText().trimmed();
    record.askedNotes = notes.join(' ');
    record.answeredKeys = keys.join(' ');
}

std::vector<QAbstractButton *> FormMelody::itemBoxes() const {
    return {Nota.begin(), Nota.end()};
}
