// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowRegistry.h"

#include "app/AboutWindow.h"
#include "app/ExitQuestion.h"
#include "app/SplashWindow.h"
#include "chords/ChordsWindow.h"
#include "drill/Widgets.h"

#include "app/OptionsDialog.h"
#include "intervals/IntervalsWindow.h"
#include "melody/MelodyWindow.h"
#include "progress/ProgressFigures.h"
#include "progress/ProgressWindow.h"
#include "scales/ScalesWindow.h"
#include "sound/FileNames.h"
#include "sound/KeptSettings.h"
#include <QStatusBar>
#include <cstdio>

WindowRegistry::WindowRegistry(QObject *parent) : QObject(parent) {
    runModal = [](QDialog *dialog) { dialog->exec(); };
    reader_.setMaxThreadCount(1);
    readAgain_.setSingleShot(true);
    readAgain_.setInterval(150); // a burst of answers is read once
    connect(&readAgain_, &QTimer::timeout, this, [this] {
        for (size_t k = 0; k < recent_.size(); ++k)
            if (recent_[k].asked)
                readFigures(DrillKind(k));
    });
}

WindowRegistry::~WindowRegistry() = default;

void WindowRegistry::showSplash() {
    if (!splash_) {
        splash_ = std::make_unique<SplashWindow>();
        splash_->showSoundProblem(soundProblem_);
        splash_->adjustSize();
        centerOnScreen(splash_.get());
        connect(splash_.get(), &SplashWindow::continueRequested, this,
                [this] { open(DrillKind::Melody); });
    }
    splash_->show();
    splash_->raise();
    splash_->activateWindow();
    splash_->setFocus();
}

DrillWindow *WindowRegistry::window(DrillKind kind) {
    auto &slot = windows_[size_t(kind)];
    if (slot)
        return slot.get();
    switch (kind) {
    case DrillKind::Melody: {
        auto form = std::make_unique<MelodyWindow>();
        form->confirmExit = [melody = form.get()] { return askExitQuestion(melody); };
        // The others close once the main window's own close has gone through.
        connect(form.get(), &MelodyWindow::exitConfirmed, this, &WindowRegistry::closeAll,
                Qt::QueuedConnection);
        slot = std::move(form);
        break;
    }
    case DrillKind::Intervals:
        slot = std::make_unique<IntervalsWindow>();
        break;
    case DrillKind::Chords:
        slot = std::make_unique<ChordsWindow>();
        break;
    case DrillKind::Scales:
        slot = std::make_unique<ScalesWindow>();
        break;
    }
    DrillWindow *w = slot.get();
    if (!soundProblem_.isEmpty())
        w->showSoundProblem(soundProblem_);
    w->showVoiceInput(voiceInput_);
    connect(w, &DrillWindow::openRequested, this, &WindowRegistry::open);
    connect(w, &DrillWindow::exitRequested, this, &WindowRegistry::requestExit);
    connect(w, &DrillWindow::optionsRequested, this, &WindowRegistry::showOptions);
    connect(w, &DrillWindow::aboutRequested, this, &WindowRegistry::showAbout);
    connect(w, &DrillWindow::progressRequested, this, &WindowRegistry::showProgress);
    connect(w, &DrillWindow::answerJudged, this, [](const Answer &answer) {
        if (ProgressStore *store = ProgressStore::current())
            store->record(answer);
    });
    w->itemWeights = [this, kind] { return itemWeights(kind); };
    return w;
}

MelodyWindow *WindowRegistry::melody() {
    return static_cast<MelodyWindow *>(window(DrillKind::Melody));
}

void WindowRegistry::open(DrillKind kind) {
    DrillWindow *w = window(kind);
    const bool loading = !w->isLoaded();
    w->showWindow();
    // A window loaded after the store's problem was said says it too.
    if (loading && !progressProblem_.isEmpty())
        w->statusBar()->showMessage(progressProblem_);
}

void WindowRegistry::requestExit() {
    if (DrillWindow *main = windows_[size_t(DrillKind::Melody)].get())
        main->close();
}

void WindowRegistry::showSoundProblem(const QString &text) {
    soundProblem_ = text;
    if (splash_)
        splash_->showSoundProblem(text);
    for (auto &w : windows_)
        if (w)
            w->showSoundProblem(text);
}

void WindowRegistry::showVoiceInput(bool listening) {
    voiceInput_ = listening;
    for (auto &w : windows_)
        if (w)
            w->showVoiceInput(listening);
}

void WindowRegistry::showHeard(const QString &note, double levelDb) {
    for (auto &w : windows_)
        if (w)
            w->showHeard(note, levelDb);
}

DrillWindow *WindowRegistry::activeDrill() const {
    for (const auto &w : windows_)
        if (w && w->isActiveWindow())
            return w.get();
    return nullptr;
}

// The window a dialog was opened from is active again once it closes, and so plays
// with what was chosen there, even on a desktop whose window manager does not hand the
// focus back by itself.
void WindowRegistry::runDialog(QDialog *dialog, DrillWindow *from) {
    runModal(dialog);
    if (from && from->isVisible())
        from->activateWindow();
}

void WindowRegistry::showOptions(DrillWindow *from) {
    OptionsDialog dialog(from);
    connect(&dialog, &OptionsDialog::resetRequested, this, &WindowRegistry::resetToDefaults);
    runDialog(&dialog, from);
}

void WindowRegistry::showAbout(DrillWindow *from) {
    AboutWindow dialog(from);
    runDialog(&dialog, from);
}

void WindowRegistry::showProgress(DrillWindow *from) {
    ProgressStore *store = ProgressStore::current();
    if (!store)
        return;
    auto &window = progress_[size_t(from->kind())];
    if (!window)
        window = std::make_unique<ProgressWindow>(*store, from);
    else
        window->refresh();
    window->show();
    window->raise();
    window->activateWindow();
}

void WindowRegistry::showProgressProblem(const QString &text) {
    progressProblem_ = text;
    for (auto &w : windows_)
        if (w && w->isLoaded())
            w->statusBar()->showMessage(text);
}

void WindowRegistry::follow(ProgressStore &store) {
    connect(&store, &ProgressStore::problem, this, [this](const QString &message) {
        std::fprintf(stderr, "tonvik: %s\n", fileNameBytes(message).constData());
        showProgressProblem(message);
    });
    connect(&store, &ProgressStore::restored, this, [this] {
        std::fprintf(stderr, "tonvik: Your answers are kept again.\n");
        showProgressProblem(QString());
    });
}

void WindowRegistry::resetToDefaults() {
    for (auto &w : windows_)
        if (w && w->isLoaded())
            w->restoreDefaults();
    if (KeptSettings *kept = KeptSettings::current())
        kept->clear();
}

std::vector<double> WindowRegistry::itemWeights(DrillKind kind) {
    ProgressStore *store = ProgressStore::current();
    if (!store)
        return {};
    if (followed_ != store) {
        if (followed_)
            disconnect(followed_, nullptr, &readAgain_, nullptr);
        followed_ = store;
        connect(store, &ProgressStore::recorded, &readAgain_, qOverload<>(&QTimer::start));
    }
    Recent &recent = recent_[size_t(kind)];
    const QDateTime now = QDateTime::currentDateTime();
    if (!recent.asked || recent.readAt.secsTo(now) > 3600) {
        recent.asked = true;
        recent.readAt = now;
        readFigures(kind);
    }
    return recent.figures ? recent.figures->weights(now) : std::vector<double>();
}

void WindowRegistry::readFigures(DrillKind kind) {
    Recent &recent = recent_[size_t(kind)];
    ProgressStore *store = ProgressStore::current();
    if (!store)
        return;
    if (std::exchange(recent.reading, true)) {
        recent.again = true; // once this read is done: answers came meanwhile
        return;
    }
    const QString drill = window(kind)->drillName();
    const QDateTime since = ProgressFigures::periodStart(30);
    reader_.start([this, kind, store, drill, since] {
        ProgressFigures figures = ProgressFigures::of(drill, store->answers(drill, since, true));
        QMetaObject::invokeMethod(
            this,
            [this, kind, figures = std::move(figures)] {
                Recent &recent = recent_[size_t(kind)];
                recent.figures = figures;
                recent.reading = false;
                if (std::exchange(recent.again, false))
                    readFigures(kind);
                emit window(kind)->weightsChanged();
            },
            Qt::QueuedConnection);
    });
}

void WindowRegistry::closeAll() {
    for (auto &window : progress_)
        if (window)
            window->close();
    for (DrillKind kind :
         {DrillKind::Melody, DrillKind::Intervals, DrillKind::Chords, DrillKind::Scales}) {
        DrillWindow *w = windows_[size_t(kind)].get();
        if (w && w->isLoaded())
            w->close();
    }
    emit finished();
}
