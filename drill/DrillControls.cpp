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
    New = makeButton("New", "New");
    Repeat = makeButton("Repeat", "Repeat");
    Reveal = makeButton("Reveal", "Reveal");
    connect(New, &QPushButton::clicked, this, [this] { New_Click(); });
    connect(Repeat, &QPushButton::clicked, this, [this] { Repeat_Click(); });
    connect(Reveal, &QPushButton::clicked, this, [this] { Reveal_Click(); });
    // Single keys, clear of the Melody window's keyboard letters and of Alt+S.
    keys_.clear();
    setKey(New, Qt::Key_N);
    setKey(Repeat, Qt::Key_R);
    setKey(Reveal, Qt::Key_V);

    testOptions = makeFrame(cycle_.testFrame, "Test options");
    Notest = makeOption("Notest", cycle_.notestCaption, testOptions);
    Test = makeOption("Test", "Test mode", testOptions);
    auto *testLayout = new QVBoxLayout(testOptions);
    testLayout->addWidget(Notest);
    testLayout->addWidget(Test);
    onSelected(Test, this, [this] { Test_Click(); });
    onSelected(Notest, this, [this] { Notest_Click(); });

    Frame5 = makeFrame("Frame5", "Test");
    questionsCaption = makeLabel(cycle_.questionsCaption, "Questions", Frame5);
    questionsCount = makeLabel(cycle_.questionsCount, "0", Frame5);
    rightCaption = makeLabel(cycle_.rightCaption, "Right", Frame5);
    Label5 = makeLabel("Label5", "0", Frame5);
    Label7 = makeLabel("Label7", "0", Frame5);
    Label7->setFont(sizedFont(24));
    Label7->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label6 = makeLabel("Label6", "%", Frame5);
    Label6->setFont(sizedFont(24));
    Reset = makeButton("Reset", "Reset", Frame5);
    connect(Reset, &QPushButton::clicked, this, [this] { Reset_Click(); });
    auto *score = new QGridLayout(Frame5);
    score->addWidget(questionsCaption, 0, 0);
    score->addWidget(questionsCount, 0, 1);
    score->addWidget(rightCaption, 1, 0);
    score->addWidget(Label5, 1, 1);
    score->addWidget(Label7, 0, 2, 2, 1);
    score->addWidget(Label6, 0, 3, 2, 1);
    score->addWidget(Reset, 0, 4, 2, 1);
    score->setColumnMinimumWidth(1, 40);
    score->setColumnMinimumWidth(2, 70);

    rightwronglabel = makeLabel("rightwronglabel", QString());
    rightwronglabel->setFont(sizedFont(cycle_.feedbackPoints));
    rightwronglabel->setAccessibleDescription("Feedback");
    rightwronglabel->setMinimumWidth(140);
    Label1 = makeLabel("Label1", QString());
    Label1->setFont(sizedFont(cycle_.answerPoints));
    Label1->setAccessibleDescription("Answer");
    Label1->setAutoFillBackground(true);
    QPalette yellow = Label1->palette();
    yellow.setColor(QPalette::Window, QColor(255, 255, 192));
    Label1->setPalette(yellow);
    Label1->setMinimumHeight(Label1->fontMetrics().height() + 8);
    Label1->setFrameShape(QFrame::Panel);
    Label1->setFrameShadow(QFrame::Sunken);

    stopnoise = makeButton(cycle_.stopName, cycle_.stopCaption);
    connect(stopnoise, &QPushButton::clicked, this, [this] { stopnoise_Click(); });

    sliderFrame = makeFrame(cycle_.sliderFrame, cycle_.sliderFrameCaption);
    Slider1 = new QSlider(Qt::Horizontal, sliderFrame);
    Slider1->setObjectName("Slider1");
    Slider1->setAccessibleName(cycle_.sliderFrameCaption.trimmed());
    Slider1->setRange(0, cycle_.sliderMaximum);
    Slider1->setSingleStep(10);
    Slider1->setPageStep(cycle_.sliderTickInterval);
    Slider1->setTickInterval(cycle_.sliderTickInterval);
    Slider1->setTickPosition(QSlider::TicksBelow);
    Slider1->setMinimumWidth(180);
    auto *sliderLayout = new QHBoxLayout(sliderFrame);
    sliderLayout->addWidget(Slider1, 1);
    if (!cycle_.sliderValueLabel.isEmpty()) {
        sliderValue = makeLabel(cycle_.sliderValueLabel, cycle_.sliderValueDesignText, sliderFrame);
        Slider1_Change();
        sliderValue->setMinimumWidth(sliderValue->fontMetrics().horizontalAdvance("00000"));
        sliderLayout->addWidget(sliderValue);
        connect(Slider1, &QSlider::valueChanged, this, [this] { Slider1_Change(); });
    }
}
void DrillWindow::arrangeWindow(QWidget *central, QWidget *items, QLayout *settings,
                                bool navigationOnTheRight) {
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(New);
    buttons->addWidget(Repeat);
    buttons->addWidget(Reveal);
    auto *feedback = new QHBoxLayout;
    feedback->addWidget(rightwronglabel, 1);
    feedback->addWidget(stopnoise);

    auto *right = new QVBoxLayout;
    right->addLayout(buttons);
    right->addWidget(Label1);
    right->addLayout(feedback);
    right->addLayout(settings);
    right->addStretch(1);
    if (navigationOnTheRight)
        right->addWidget(navigation_);

    auto *top = new QHBoxLayout;
    top->addWidget(items);
    top->addLayout(right, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(testOptions);
    bottom->addWidget(Frame5, 1);
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
    const std::initializer_list<QWidget *> score = {
        Frame5, questionsCaption, questionsCount, rightCaption, Label5, Label7, Label6, Reset};
    for (QWidget *w : score)
        w->setEnabled(enabled);
}
void DrillWindow::Slider1_Change() {
    if (!sliderValue)
        return;
    sliderValue->setText(QString::number(Slider1->value()));
    sliderValue->setAccessibleName(
        QString("%1: %2").arg(cycle_.sliderFrameCaption.trimmed(), sliderValue->text()));
}
void DrillWindow::setKey(QPushButton *button, Qt::Key key) {
    keys_.emplace_back(button, key);
    button->setToolTip(QString("%1 (%2)").arg(
        button->accessibleName().isEmpty() ? button->text() : button->accessibleName(),
        QKeySequence(key).toString(QKeySequence::NativeText)));
}
