#include "drill/DrillWindow.h"

#include "drill/Widgets.h"
#include "sound/SoundSettings.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>

DrillWindow::DrillWindow(DrillKind kind, Names names, QWidget *parent)
    : QMainWindow(parent), kind_(kind), names_(std::move(names)) {
    setObjectName(names_.window);
    setWindowTitle(names_.caption);
    setAccessibleName(names_.caption);
}

DrillWindow::~DrillWindow() = default;

void DrillWindow::showWindow() {
    if (!loaded_)
        load();
    if (!placed_) {
        adjustSize();
        centerOnScreen(this);
        // Cascade the drill windows so that a new one does not hide the one that opened it.
        move(pos() + QPoint(40, 40) * int(kind_));
        placed_ = true;
    }
    show();
    raise();
    activateWindow();
}

void DrillWindow::showSoundProblem(const QString &text) {
    soundProblem_ = text;
    if (loaded_)
        statusBar()->showMessage(text);
}

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

void DrillWindow::load() {
    midi_ = std::make_unique<MidiControl>(names_.window);
    feedback_ = std::make_unique<FeedbackSound>(names_.window);
    feedback_->setObjectName(names_.feedbackSound);

    QMenuBar *bar = menuBar();
    bar->clear();
    QAction *options = bar->addAction("Options");
    options->setObjectName(names_.optionsMenu);
    connect(options, &QAction::triggered, this, [this] { emit optionsRequested(this); });
    QAction *about = bar->addAction("About");
    about->setObjectName("aboutmnu");
    connect(about, &QAction::triggered, this, [this] { emit aboutRequested(this); });

    auto *central = new QWidget;
    central->setObjectName("controls");
    navigation_ = buildNavigation();
    buildControls(central);
    fillAccessibleNames(central);
    setCentralWidget(central);
    if (!soundProblem_.isEmpty())
        statusBar()->showMessage(soundProblem_);

    loaded_ = true;
    Form_Load();
}

void DrillWindow::unload() {
    loaded_ = false;
    // A button of these controls may be the one whose click is closing the window.
    if (QWidget *old = takeCentralWidget()) {
        old->hide();
        old->deleteLater();
    }
    navigation_ = nullptr;
    menuBar()->clear();
    feedback_.reset();
    midi_.reset();
}

void DrillWindow::Form_Activate() {
    midi_->midiOpen();
    sendProgramThenPan();
}

void DrillWindow::sendProgramThenPan() {
    const SoundSettings &s = variabiliglobali();
    midi_->programChange(s.channel, s.instrument);
    midi_->setPan(s.channel, s.pan);
}

void DrillWindow::sendPanThenProgram() {
    const SoundSettings &s = variabiliglobali();
    midi_->setPan(s.channel, s.pan);
    midi_->programChange(s.channel, s.instrument);
}

void DrillWindow::closeEvent(QCloseEvent *event) {
    if (!loaded_) {
        event->accept();
        return;
    }
    if (!Form_Unload()) {
        event->ignore();
        return;
    }
    event->accept();
    unload();
}

bool DrillWindow::event(QEvent *event) {
    if (event->type() == QEvent::WindowActivate && loaded_)
        Form_Activate();
    return QMainWindow::event(event);
}
