// SPDX-License-Identifier: GPL-3.0-or-later
// The controls every drill window shares, built and laid out: the question buttons,
// the test options and the score, the feedback and answer labels, "Stop noise!", the
// timing slider, the navigation row, and the single keys.
#include "drill/DrillWindow.h"

#include "drill/InputHold.h"
#include "drill/MidiKeyEvent.h"
#include "drill/Widgets.h"
#include "sound/SoundSettings.h"
#include "theory/RootChoice.h"

#include <QAccessible>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <utility>
#include <vector>

QWidget *DrillWindow::buildNavigation() {
    struct Entry {
        DrillKind kind;
        QString name;
        QString caption;
    };
    const Entry entries[] = {
        {DrillKind::Melody, "melody", "Melody"},
        {DrillKind::Intervals, "intervals", "Intervals"},
        {DrillKind::Chords, "chords", "Chords"},
        {DrillKind::Scales, "scalescmdbtn", "Scales"},
    };
    auto *row = new QWidget;
    row->setObjectName("navigation");
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (const Entry &e : entries) {
        const bool own = e.kind == kind_;
        auto *button = makeButton(own ? names_.ownButton : e.name, e.caption, row);
        button->setEnabled(!own);
        connect(button, &QPushButton::clicked, this, [this, k = e.kind] { emit openRequested(k); });
        layout->addWidget(button);
    }
    layout->addSpacing(12);
    auto *exitButton = makeButton("Exit", "Exit", row);
    connect(exitButton, &QPushButton::clicked, this, &DrillWindow::exitRequested);
    layout->addWidget(exitButton);
    return row;
}
void DrillWindow::buildCycleControls() {
    newButton = makeButton("New", "New");
    repeatButton = makeButton("Repeat", "Repeat");
    revealButton = makeButton("Reveal", "Reveal");
    connect(newButton, &QPushButton::clicked, this, [this] { onNew(); });
    connect(repeatButton, &QPushButton::clicked, this, [this] { onRepeat(); });
    connect(revealButton, &QPushButton::clicked, this, [this] { onReveal(); });
    // Single keys, clear of the Melody window's keyboard letters and of Alt+S.
    keys_.clear();
    setKey(newButton, Qt::Key_N);
    setKey(repeatButton, Qt::Key_R);
    setKey(revealButton, Qt::Key_V);

    testOptions = makeFrame(cycle_.testFrame, "Test options");
    noTestOption = makeOption("Notest", cycle_.notestCaption, testOptions);
    testOption = makeOption("Test", "Test mode", testOptions);
    weakItemsBox = makeCheckBox("weakitems", "Weak items more often", testOptions);
    weakItemsBox->setToolTip("New asks more often the items you get wrong and those not "
                             "asked for a while (from your answers of the last 30 days)");
    weakItemsBox->setAccessibleDescription(weakItemsBox->toolTip());
    connect(weakItemsBox, &QCheckBox::toggled, this, [this](bool on) {
        if (on && itemWeights)
            itemWeights(); // the answers are read now, so that the next New has them
    });
    auto *testLayout = new QVBoxLayout(testOptions);
    // Each as wide as its caption: a click beside an option's caption selects nothing.
    testLayout->addWidget(noTestOption, 0, Qt::AlignLeft);
    testLayout->addWidget(testOption, 0, Qt::AlignLeft);
    testLayout->addWidget(weakItemsBox, 0, Qt::AlignLeft);
    onSelected(testOption, this, [this] { onTestMode(); });
    onSelected(noTestOption, this, [this] { onNoTest(); });

    scoreFrame = makeFrame("Frame5", "Test");
    questionsCaption = makeLabel(cycle_.questionsCaption, "Questions", scoreFrame);
    questionsCount = makeLabel(cycle_.questionsCount, "0", scoreFrame);
    rightCaption = makeLabel(cycle_.rightCaption, "Right", scoreFrame);
    rightCount = makeLabel("Label5", "0", scoreFrame);
    percentLabel = makeLabel("Label7", "0", scoreFrame);
    percentLabel->setFont(sizedFont(24));
    percentLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    percentSign = makeLabel("Label6", "%", scoreFrame);
    percentSign->setFont(sizedFont(24));
    resetButton = makeButton("Reset", "Reset", scoreFrame);
    connect(resetButton, &QPushButton::clicked, this, [this] { onReset(); });
    auto *score = new QGridLayout(scoreFrame);
    score->addWidget(questionsCaption, 0, 0);
    score->addWidget(questionsCount, 0, 1);
    score->addWidget(rightCaption, 1, 0);
    score->addWidget(rightCount, 1, 1);
    score->addWidget(percentLabel, 0, 2, 2, 1);
    score->addWidget(percentSign, 0, 3, 2, 1);
    score->addWidget(resetButton, 0, 4, 2, 1);
    score->setColumnMinimumWidth(1, 40);
    score->setColumnMinimumWidth(2, 70);

    feedbackLabel = makeLabel("rightwronglabel", QString());
    feedbackLabel->setFont(sizedFont(cycle_.feedbackPoints));
    feedbackLabel->setAccessibleDescription("Feedback");
    feedbackLabel->setMinimumWidth(140);
    answerLabel = makeLabel("Label1", QString());
    answerLabel->setFont(sizedFont(cycle_.answerPoints));
    answerLabel->setAccessibleDescription("Answer");
    answerLabel->setAutoFillBackground(true);
    QPalette yellow = answerLabel->palette();
    yellow.setColor(QPalette::Window, QColor(255, 255, 192));
    answerLabel->setPalette(yellow);
    answerLabel->setMinimumHeight(answerLabel->fontMetrics().height() + 8);
    answerLabel->setFrameShape(QFrame::Panel);
    answerLabel->setFrameShadow(QFrame::Sunken);

    playedLabel = makeLabel("playedlabel", QString());
    playedLabel->setAccessibleDescription("What you played");
    // The voice input's display, shown while it listens.
    voiceRow = new QWidget;
    voiceRow->setObjectName("voiceinput");
    heardLabel = makeLabel("heardnote", "-", voiceRow);
    heardLabel->setAccessibleName("Heard: -");
    heardLabel->setMinimumWidth(heardLabel->fontMetrics().horizontalAdvance("A#4 -50 cents  "));
    levelBar = new QProgressBar(voiceRow);
    levelBar->setObjectName("inputlevel");
    levelBar->setRange(-60, 0);
    levelBar->setValue(-60);
    levelBar->setTextVisible(false);
    levelBar->setMaximumHeight(heardLabel->fontMetrics().height());
    levelBar->setAccessibleName("Input level: -60 dB");
    auto *voiceLayout = new QHBoxLayout(voiceRow);
    voiceLayout->setContentsMargins(0, 0, 0, 0);
    voiceLayout->addWidget(heardLabel);
    voiceLayout->addWidget(levelBar, 1);
    voiceRow->setVisible(voiceInput_);
    showHeard(heard_, levelDb_);

    stopNoiseButton = makeButton(cycle_.stopName, cycle_.stopCaption);
    connect(stopNoiseButton, &QPushButton::clicked, this, [this] { onStopNoise(); });

    sliderFrame = makeFrame(cycle_.sliderFrame, cycle_.sliderFrameCaption);
    delaySlider = new QSlider(Qt::Horizontal, sliderFrame);
    delaySlider->setObjectName("Slider1");
    delaySlider->setAccessibleName(cycle_.sliderFrameCaption.trimmed());
    delaySlider->setRange(0, cycle_.sliderMaximum);
    delaySlider->setSingleStep(10);
    delaySlider->setPageStep(cycle_.sliderTickInterval);
    delaySlider->setTickInterval(cycle_.sliderTickInterval);
    delaySlider->setTickPosition(QSlider::TicksBelow);
    delaySlider->setMinimumWidth(180);
    auto *sliderLayout = new QHBoxLayout(sliderFrame);
    sliderLayout->addWidget(delaySlider, 1);
    if (!cycle_.sliderValueLabel.isEmpty()) {
        sliderValue = makeLabel(cycle_.sliderValueLabel, cycle_.sliderValueDesignText, sliderFrame);
        onDelayChanged();
        sliderValue->setMinimumWidth(sliderValue->fontMetrics().horizontalAdvance("00000"));
        sliderLayout->addWidget(sliderValue);
        connect(delaySlider, &QSlider::valueChanged, this, [this] { onDelayChanged(); });
    }
}
void DrillWindow::arrangeWindow(QWidget *central, QWidget *items, QLayout *settings,
                                bool navigationOnTheRight) {
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(newButton);
    buttons->addWidget(repeatButton);
    buttons->addWidget(revealButton);
    auto *feedback = new QHBoxLayout;
    feedback->addWidget(feedbackLabel, 1);
    feedback->addWidget(stopNoiseButton);

    auto *right = new QVBoxLayout;
    right->addLayout(buttons);
    right->addWidget(answerLabel);
    right->addWidget(voiceRow);
    right->addLayout(feedback);
    right->addWidget(playedLabel);
    right->addLayout(settings);
    right->addStretch(1);
    if (navigationOnTheRight)
        right->addWidget(navigation_);

    auto *top = new QHBoxLayout;
    top->addWidget(items);
    top->addLayout(right, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(testOptions);
    bottom->addWidget(scoreFrame, 1);
    auto *layout = new QVBoxLayout(central);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
    if (!navigationOnTheRight)
        layout->addWidget(navigation_);
}
QPushButton *DrillWindow::makeItemButton(const QString &array, int index, const QString &item) {
    auto *button = makeButton(arrayName(array, index), QString());
    button->setAccessibleName(item);
    button->setToolTip(item);
    button->setFixedSize(28, 20);
    return button;
}
QLayout *DrillWindow::rootRow(QComboBox *&list) {
    auto *label = makeLabel("Label2", "Root");
    list = new QComboBox;
    list->setObjectName("Combo1");
    list->setAccessibleName("Root");
    list->addItems(rootchoice::entries());
    list->setMaxVisibleItems(13);
    label->setBuddy(list);
    auto *row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(list);
    row->addStretch(1);
    return row;
}
void DrillWindow::enableScore(bool enabled) {
    const std::initializer_list<QWidget *> score = {scoreFrame,   questionsCaption, questionsCount,
                                                    rightCaption, rightCount,       percentLabel,
                                                    percentSign,  resetButton};
    for (QWidget *w : score)
        w->setEnabled(enabled);
}
void DrillWindow::onDelayChanged() {
    if (!sliderValue)
        return;
    sliderValue->setText(QString::number(delaySlider->value()));
    sliderValue->setAccessibleName(
        QString("%1: %2").arg(cycle_.sliderFrameCaption.trimmed(), sliderValue->text()));
}
void DrillWindow::setKey(QPushButton *button, Qt::Key key) {
    keys_.emplace_back(button, key);
    button->setToolTip(QString("%1 (%2)").arg(
        button->accessibleName().isEmpty() ? button->text() : button->accessibleName(),
        QKeySequence(key).toString(QKeySequence::NativeText)));
}
