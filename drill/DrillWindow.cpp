// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/DrillWindow.h"

#include "drill/InputHold.h"
#include "drill/MidiKeyEvent.h"
#include "drill/Widgets.h"
#include "sound/KeptSettings.h"
#include "sound/SoundSettings.h"
#include "theory/RootChoice.h"

#include <QAccessible>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

namespace {
int g_playbackDepth = 0;
// Windows asked to close, and a window activated, while something played.
std::vector<QPointer<DrillWindow>> g_pendingCloses;
QPointer<DrillWindow> g_pendingActivation;

void setForeground(QLabel *label, const QColor &color) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
}
} // namespace

DrillWindow::DrillWindow(DrillKind kind, Names names, Cycle cycle, QWidget *parent)
    : QMainWindow(parent), cycle_(std::move(cycle)), kind_(kind), names_(std::move(names)) {
    questionCycle_ = QuestionCycle({cycle_.recomputePercentOnNew, cycle_.enableOnDraw});
    questionCycle_.changed = [this] { showCycle(); };
    playedDue_.setSingleShot(true);
    playedDue_.setTimerType(Qt::PreciseTimer);
    connect(&playedDue_, &QTimer::timeout, this, [this] {
        const auto question = playedQuestion();
        if (!question || !loaded_)
            return;
        const qint64 now = MidiKeyEvent::nowMs();
        if (playbackInProgress()) // judged once the question has been heard out
            playedDue_.start(50);
        else if (played_.expired(now))
            judgePlayed(*question);
        else if (played_.due())
            playedDue_.start(int(*played_.due() - now));
    });
    setObjectName(names_.window);
    setWindowTitle(names_.caption);
    setAccessibleName(names_.caption);
}

DrillWindow::~DrillWindow() = default;

bool DrillWindow::playbackInProgress() {
    return g_playbackDepth > 0;
}

void DrillWindow::showWindow() {
    if (!loaded_)
        load();
    if (!placed_) {
        adjustSize();
        centerOnScreen(this);
        // Cascade the drill windows so that a new one does not hide the one that opened it.
        move(pos() + QPoint(40, 40) * int(kind_));
        restoreKeptPlace();
        placed_ = true;
    }
    show();
    raise();
    activateWindow();
    keepPlace(); // where it first shows, before anything moves it
}

void DrillWindow::showSoundProblem(const QString &text) {
    soundProblem_ = text;
    if (loaded_)
        statusBar()->showMessage(text);
}

void DrillWindow::showVoiceInput(bool listening) {
    voiceInput_ = listening;
    if (!listening)
        heard_.clear();
    if (voiceRow)
        voiceRow->setVisible(listening);
    showHeard(heard_, listening ? levelDb_ : -120);
}

void DrillWindow::showHeard(const QString &note, double levelDb) {
    heard_ = note;
    levelDb_ = levelDb;
    if (!heardLabel)
        return;
    // Told to assistive technology only when it changes: a reading comes ten times a
    // second.
    const QString text = note.isEmpty() ? QString("-") : note;
    if (heardLabel->text() != text) {
        heardLabel->setText(text);
        heardLabel->setAccessibleName("Heard: " + text);
    }
    const int level = std::clamp(int(std::lround(levelDb)), -60, 0);
    if (levelBar->value() != level) {
        levelBar->setValue(level);
        levelBar->setAccessibleName(QString("Input level: %1 dB").arg(level));
    }
}

// ---- loading ----

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
    QAction *progress = bar->addAction("Progress");
    progress->setObjectName("progressmnu");
    progress->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    progress->setToolTip("Your answers so far, and where to practise (Ctrl+P)");
    connect(progress, &QAction::triggered, this, [this] { emit progressRequested(this); });

    auto *central = new QWidget;
    central->setObjectName("controls");
    navigation_ = buildNavigation();
    buildControls(central);
    fillAccessibleNames(central);
    static const char *const itemWords[] = {"note", "interval", "chord", "scale"};
    fillAccessibleDescriptions(central, itemWords[int(kind_)]);
    // The menu has no access keys of its own; these reach it from the keyboard.
    options->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    about->setShortcut(QKeySequence(Qt::Key_F1));
    options->setToolTip("Instrument, MIDI channel, volume and pan (Ctrl+,)");
    about->setToolTip("About Tonvik (F1)");
    setCentralWidget(central);
    if (!soundProblem_.isEmpty())
        statusBar()->showMessage(soundProblem_);

    loaded_ = true;
    forgetPlayed();
    // The new score labels start from "0": nothing asked so far is in their tally.
    questionCycle_.load();
    answerOnShow_ = false;
    showCycle();
    onLoad();
    applyKeptControls();
}

void DrillWindow::applyKeptControls() {
    loadValues_.clear();
    KeptSettings *kept = KeptSettings::current();
    // The values kept from the run before are the first load's; a window closed and
    // opened again shows its controls as loading leaves them, and keeps those.
    const bool first = !keptApplied_;
    keptApplied_ = true;
    auto keep = [&](const QString &key, const QVariant &loaded) {
        if (kept && !first)
            kept->set(key, loaded);
        return kept && first ? kept : nullptr;
    };
    for (QWidget *control : centralWidget()->findChildren<QWidget *>()) {
        const QString key = keptKey(control->objectName());
        if (control->objectName().isEmpty())
            continue;
        if (auto *box = qobject_cast<QAbstractButton *>(control); box && box->isCheckable()) {
            loadValues_.emplace_back(control, box->isChecked());
            KeptSettings *from = keep(key, box->isChecked());
            // Of a group of options only the one selected is set.
            if (const auto on = from ? from->boolean(key) : std::nullopt;
                on && (*on || !box->autoExclusive()))
                box->setChecked(*on);
            if (kept)
                connect(box, &QAbstractButton::toggled, this,
                        [kept, key](bool on) { kept->set(key, on); });
        } else if (auto *list = qobject_cast<QComboBox *>(control)) {
            loadValues_.emplace_back(control, list->currentIndex());
            KeptSettings *from = keep(key, list->currentIndex());
            if (const auto index = from ? from->integer(key, 0, list->count() - 1) : std::nullopt)
                list->setCurrentIndex(*index);
            if (kept)
                connect(list, &QComboBox::currentIndexChanged, this,
                        [kept, key](int index) { kept->set(key, index); });
        } else if (auto *slider = qobject_cast<QSlider *>(control)) {
            loadValues_.emplace_back(control, slider->value());
            KeptSettings *from = keep(key, slider->value());
            if (const auto value =
                    from ? from->integer(key, slider->minimum(), slider->maximum()) : std::nullopt)
                slider->setValue(*value);
            if (kept)
                connect(slider, &QSlider::valueChanged, this,
                        [kept, key](int value) { kept->set(key, value); });
        }
    }
}

void DrillWindow::restoreDefaults() {
    for (const auto &[control, value] : loadValues_) {
        if (auto *box = qobject_cast<QAbstractButton *>(control.data())) {
            if (value || !box->autoExclusive())
                box->setChecked(value);
        } else if (auto *list = qobject_cast<QComboBox *>(control.data())) {
            list->setCurrentIndex(value);
        } else if (auto *slider = qobject_cast<QSlider *>(control.data())) {
            slider->setValue(value);
        }
    }
}

void DrillWindow::restoreKeptPlace() {
    KeptSettings *kept = KeptSettings::current();
    if (!kept)
        return;
    const auto frame = kept->rect(keptKey("frame"));
    const auto geometry = kept->bytes(keptKey("geometry"));
    if (!frame || !geometry)
        return;
    // Only where it fits one of this run's screens whole (another monitor may be gone).
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (std::none_of(screens.begin(), screens.end(), [&](const QScreen *screen) {
            return screen->availableGeometry().contains(*frame);
        }))
        return;
    const QPoint before = pos();
    if (!restoreGeometry(*geometry)) {
        move(before);
        std::fprintf(stderr,
                     "tonvik: The kept place of the %s window cannot be read: it opens "
                     "where it would the first time.\n",
                     qPrintable(drillName()));
    }
}

void DrillWindow::keepPlace() {
    KeptSettings *kept = KeptSettings::current();
    if (!kept || !placed_ || !isVisible() || isMinimized())
        return;
    kept->set(keptKey("geometry"), saveGeometry());
    kept->set(keptKey("frame"), frameGeometry());
}

void DrillWindow::moveEvent(QMoveEvent *event) {
    QMainWindow::moveEvent(event);
    keepPlace();
}

void DrillWindow::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    keepPlace();
}

void DrillWindow::unload() {
    loaded_ = false;
    // A button of these controls may be the one whose click is closing the window; and
    // a click still on its way (animated, or held during a playback) must reach nothing.
    if (QWidget *old = takeCentralWidget()) {
        for (QObject *control : old->findChildren<QObject *>())
            control->disconnect(this);
        old->hide();
        old->deleteLater();
    }
    navigation_ = nullptr;
    newButton = repeatButton = revealButton = resetButton = stopNoiseButton = nullptr;
    testOptions = scoreFrame = sliderFrame = nullptr;
    testOption = noTestOption = nullptr;
    questionsCaption = questionsCount = rightCaption = rightCount = percentLabel = percentSign =
        nullptr;
    feedbackLabel = answerLabel = playedLabel = sliderValue = heardLabel = nullptr;
    voiceRow = nullptr;
    levelBar = nullptr;
    delaySlider = nullptr;
    weakItemsBox = nullptr;
    menuBar()->clear();
    feedback_.reset();
    midi_.reset();
}

void DrillWindow::selectNotest() {
    if (noTestOption->isChecked())
        onNoTest();
    else
        noTestOption->setChecked(true);
}

void DrillWindow::disableRevealAndRepeat() {
    revealButton->setEnabled(false);
    repeatButton->setEnabled(false);
}

void DrillWindow::setSliderToLoadValue() {
    delaySlider->setValue(cycle_.sliderLoadValue);
}

void DrillWindow::onActivate() {
    midi_->midiOpen();
    sendProgramThenPan();
}

void DrillWindow::sendProgramThenPan() {
    const SoundSettings &s = soundSettings();
    midi_->programChange(s.channel, s.instrument);
    midi_->setPan(s.channel, s.pan);
}

void DrillWindow::sendPanThenProgram() {
    const SoundSettings &s = soundSettings();
    midi_->setPan(s.channel, s.pan);
    midi_->programChange(s.channel, s.instrument);
}

// ---- the cycle ----

bool DrillWindow::testMode() const {
    return questionCycle_.state().testMode;
}

void DrillWindow::countQuestion(int weight) {
    questionCycle_.asked(weight);
}

void DrillWindow::showCycle() {
    if (!loaded_)
        return;
    const QuestionCycle::State &state = questionCycle_.state();
    repeatButton->setEnabled(state.repeatEnabled);
    revealButton->setEnabled(state.revealEnabled);
    enableScore(state.scoreEnabled());
    using Feedback = QuestionCycle::Feedback;
    const QString said = state.feedback == Feedback::Right   ? "Right!"
                         : state.feedback == Feedback::Wrong ? "Wrong!"
                                                             : QString();
    if (feedbackLabel->text() != said) {
        setForeground(feedbackLabel,
                      state.feedback == Feedback::Right ? QColor(0, 255, 0) : QColor(255, 0, 0));
        feedbackLabel->setText(said);
        if (!said.isEmpty())
            announce(feedbackLabel);
    }
    const QString played = state.feedback == Feedback::Wrong ? playedSaid_ : QString();
    if (playedLabel->text() != played) {
        playedLabel->setText(played);
        if (!played.isEmpty())
            announce(playedLabel);
    }
    if (state.answerShown != answerOnShow_) {
        answerOnShow_ = state.answerShown;
        if (answerOnShow_)
            showAnswer();
        else
            answerLabel->setText(QString());
    }
    struct Shown {
        QLabel *label;
        int value;
        const char *name; // what a screen reader says before the number
    };
    const Shown shown[] = {{questionsCount, state.questions, "Questions: %1"},
                           {rightCount, state.right, "Right: %1"},
                           {percentLabel, state.percent, "Percentage: %1%"}};
    for (const Shown &s : shown) {
        const QString name = QString(s.name).arg(s.value);
        if (s.label->accessibleName() == name)
            continue;
        s.label->setText(QString::number(s.value));
        s.label->setAccessibleName(name); // which tells assistive technology
    }
}

void DrillWindow::onNew() {
    Playback playback(this);
    newPressed();
    if (!drawQuestion())
        return;
    if (cycle_.countBeforePlaying) {
        countQuestion(questionWeight());
        playQuestion();
    } else {
        playQuestion();
        countQuestion(questionWeight());
    }
    questionPlayed();
}

std::optional<int> DrillWindow::drawItem(const std::vector<bool> &ticked) const {
    if (weakItemsBox && weakItemsBox->isChecked() && itemWeights)
        if (const std::vector<double> weights = itemWeights(); !weights.empty())
            return QuestionCycle::drawWeighted(ticked, weights);
    return QuestionCycle::drawTicked(ticked);
}

void DrillWindow::onRepeat() {
    if (!hasQuestion())
        return; // nothing has been asked: nothing to play
    Playback playback(this);
    playQuestion();
}

void DrillWindow::onReveal() {
    questionCycle_.reveal();
}

void DrillWindow::showAnswer() {
    answerLabel->setText(answerText());
    announce(answerLabel);
}

void DrillWindow::announce(QLabel *label) {
    // Screen readers read a label by its text: tell them it changed.
    QAccessibleEvent changed(label, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void DrillWindow::judgeAnswer(int answer) {
    judged(isRightAnswer(answer), answer, nullptr);
}

void DrillWindow::judged(bool right, int answer, const played::Verdict *played) {
    // The cycle judges once, in test mode, a question there is; the controls show the
    // feedback and the answer as it does.
    const QString said = played && !right ? "You played: " + played->said : QString();
    if (!questionCycle_.judge(right, questionWeight()))
        return;
    if (said != playedSaid_) {
        playedSaid_ = said;
        showCycle();
    }
    feedback_->setMciFileName(right ? "right.wav" : "wrong.wav");
    feedback_->setMciCommand("play");
    Answer record;
    record.at = QDateTime::currentDateTimeUtc();
    record.drill = drillName();
    record.right = right;
    record.weight = questionWeight();
    record.answerMs = msSinceQuestion();
    describe(record, answer);
    if (played)
        record.answeredKeys = played->notes;
    emit answerJudged(record);
}

void DrillWindow::newPressed() {
    forgetPlayed();
    questionCycle_.newPressed();
}

void DrillWindow::forgetPlayed() {
    played_.reset();
    playedDue_.stop();
    playedSaid_.clear();
}

// Outside test mode a note sounds, as the Melody window's keys do; in test mode the
// notes after a question answer it, once they make an answer.
void DrillWindow::onPlayedNote(const played::NoteEvent &event) {
    const std::optional<played::Question> question = playedQuestion();
    if (!question) {
        if (event.on)
            midiKeyPressed(event.note);
        return;
    }
    if (!testMode()) {
        const SoundSettings &s = soundSettings();
        if (event.on)
            midi_->noteOn(s.channel, s.volume, event.note);
        return;
    }
    const QuestionCycle::State &state = questionCycle_.state();
    if (!state.hasQuestion || state.judged) {
        played_.reset();
        return;
    }
    if (played_.add(event, *question)) {
        judgePlayed(*question);
        return;
    }
    if (const std::optional<qint64> due = played_.due())
        playedDue_.start(int(std::max<qint64>(0, *due - MidiKeyEvent::nowMs())));
    else
        playedDue_.stop();
}

void DrillWindow::judgePlayed(const played::Question &question) {
    const played::Verdict verdict = played::judge(question, played_.notes(), played_.source());
    played_.reset();
    playedDue_.stop();
    judged(verdict.right, verdict.answeredIndex, &verdict);
}

QString DrillWindow::drillName() const {
    static const char *const names[] = {"melody", "intervals", "chords", "scales"};
    return names[int(kind_)];
}

void DrillWindow::tickItems(const std::set<int> &items) {
    if (!loaded_)
        return;
    const auto boxes = itemBoxes();
    for (int i = 0; i < int(boxes.size()); ++i)
        if (boxes[size_t(i)]->isChecked() != bool(items.count(i)))
            boxes[size_t(i)]->click();
}

void DrillWindow::onReset() {
    questionCycle_.reset();
}

void DrillWindow::onTestMode() {
    forgetPlayed();
    questionCycle_.selectTestMode(true);
}

void DrillWindow::onNoTest() {
    forgetPlayed();
    questionCycle_.selectTestMode(false);
}

void DrillWindow::onStopNoise() {
    midi_->allNotesOff();
}

void DrillWindow::playNotes(const std::vector<int> &notes, Pauses pauses) {
    const SoundSettings &s = soundSettings();
    for (size_t k = 0; k < notes.size(); ++k) {
        midi_->noteOn(s.channel, s.volume, notes[k]);
        if (pauses == Pauses::AfterEach || (pauses == Pauses::Between && k + 1 < notes.size()))
            pauseBetweenNotes();
    }
}

void DrillWindow::pauseBetweenNotes() {
    const TimePoint due = PlaybackClock::advance(delaySlider->value());
    // The next note is sent a little before its time, stamped with it, so that it
    // reaches the audio thread before the period it sounds in is rendered.
    const MidiBackend *backend = MidiBackend::current();
    waitUntil(due - (backend ? backend->lead() : std::chrono::milliseconds(0)));
}

void DrillWindow::waitUntil(TimePoint when) {
    // Wait on the steady clock in an event loop: the windows keep painting and the
    // process sleeps, while the input hold keeps clicks and keys for later.
    while (SteadyClock::now() < when) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - SteadyClock::now());
        QEventLoop loop;
        QTimer::singleShot(int(left.count()), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

DrillWindow::Playback::Playback(DrillWindow *) : clock_(std::make_unique<PlaybackClock::Scope>()) {
    ++g_playbackDepth;
    InputHold::begin();
}

DrillWindow::Playback::~Playback() {
    // A playback lasts until its last pause has run out, though its last note was sent
    // early.
    if (g_playbackDepth == 1)
        waitUntil(PlaybackClock::stamp());
    clock_.reset();
    if (--g_playbackDepth > 0) {
        InputHold::end();
        return;
    }
    // What waited for the playback happens now, in the order it was asked for:
    // an activation, the input held meanwhile, then close requests.
    if (DrillWindow *w = g_pendingActivation) {
        g_pendingActivation = nullptr;
        if (w->loaded_ && w->isActiveWindow())
            w->onActivate();
    }
    InputHold::end();
    for (const QPointer<DrillWindow> &w : std::exchange(g_pendingCloses, {}))
        if (w)
            QTimer::singleShot(0, w, &QWidget::close);
}

// ---- window events ----

void DrillWindow::closeEvent(QCloseEvent *event) {
    if (playbackInProgress()) {
        // Closing in the middle of a playback would pull the controls from under it.
        g_pendingCloses.push_back(this);
        event->ignore();
        return;
    }
    if (!loaded_) {
        event->accept();
        return;
    }
    if (!onUnload()) {
        event->ignore();
        return;
    }
    event->accept();
    unload();
}

// Keys reach the window only when the focused control has no use for them, so a
// letter typed into a list box chooses an entry there instead of pressing a button.
void DrillWindow::keyPressEvent(QKeyEvent *event) {
    if (!event->isAutoRepeat() && event->modifiers() == Qt::NoModifier) {
        for (const auto &[button, key] : keys_) {
            if (key == event->key() && button->isEnabled() && button->isVisible()) {
                // Clicked at once: a key must sound when it is struck (an animated click
                // comes 100 ms later). The button is then shown down for a moment.
                const QPointer<QPushButton> pressed = button;
                button->click();
                if (pressed) {
                    pressed->setDown(true);
                    QTimer::singleShot(120, pressed, [pressed] { pressed->setDown(false); });
                }
                return;
            }
        }
    }
    QMainWindow::keyPressEvent(event);
}

bool DrillWindow::event(QEvent *event) {
    if (event->type() == QEvent::WindowActivate && loaded_) {
        // A program change in the middle of a question would change its sound.
        if (playbackInProgress())
            g_pendingActivation = this;
        else
            onActivate();
    }
    if (event->type() == MidiKeyEvent::eventType()) {
        if (loaded_)
            onPlayedNote(static_cast<MidiKeyEvent *>(event)->played());
        return true;
    }
    return QMainWindow::event(event);
}
