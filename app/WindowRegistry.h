// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drill/DrillWindow.h"

#include "progress/ProgressFigures.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class MelodyWindow;
class ProgressStore;
class ProgressWindow;
class SplashWindow;

// Owns the windows of the run: the splash, and the four drill windows, each created
// when first opened and kept until the end so that its question state lives on.
// Opening an open window raises it; the confirmed exit closes every window in order.
class WindowRegistry : public QObject {
    Q_OBJECT
  public:
    explicit WindowRegistry(QObject *parent = nullptr);
    ~WindowRegistry() override;

    void showSplash();
    SplashWindow *splash() const { return splash_.get(); }

    // The window object, created (not loaded) on first use.
    DrillWindow *window(DrillKind kind);
    MelodyWindow *melody();
    // Loads the window if needed and brings it to the front.
    void open(DrillKind kind);
    // Every "Exit" button: closes the main window, which asks first.
    void requestExit();

    // Shows a problem with the sound on the splash and on every drill window.
    void showSoundProblem(const QString &text);
    // The voice input's display on every drill window (DrillWindow::showVoiceInput,
    // showHeard), kept for windows created later.
    void showVoiceInput(bool listening);
    void showHeard(const QString &note, double levelDb);
    // The active drill window, if a drill window is active.
    DrillWindow *activeDrill() const;
    // A problem with the progress store, on every drill window's status bar.
    void showProgressProblem(const QString &text);
    // Says what the store says of itself (it cannot be used, a damaged file was moved
    // aside, it works again) on standard error and with showProgressProblem.
    void follow(ProgressStore &store);

    // Runs a modal dialog; tests replace it to drive the dialog themselves.
    std::function<void(QDialog *)> runModal;

  signals:
    // The exit was confirmed and every window is closed: the run is over.
    void finished();

  private:
    void runDialog(QDialog *dialog, DrillWindow *from);
    void showOptions(DrillWindow *from);
    void showAbout(DrillWindow *from);
    // The Progress window of the drill `from` (one per drill, read afresh each time).
    void showProgress(DrillWindow *from);

    void closeAll();
    // Every kept setting back to its default: the loaded windows' controls, the file.
    void resetToDefaults();
    // The weights "Weak items more often" draws a drill's items by, from the figures of
    // the store's answers of the last 30 days; none until they have been read.
    std::vector<double> itemWeights(DrillKind kind);
    // Reads those figures on the reader thread (the user-interface thread never reads
    // the file), again after answers are recorded and each hour.
    void readFigures(DrillKind kind);

    struct Recent {
        bool asked = false, reading = false, again = false;
        std::optional<ProgressFigures> figures;
        QDateTime readAt;
    };
    std::array<Recent, 4> recent_;
    QPointer<ProgressStore> followed_; // whose recorded answers make the figures read again
    QTimer readAgain_;

    std::unique_ptr<SplashWindow> splash_;
    std::array<std::unique_ptr<DrillWindow>, 4> windows_;
    std::array<std::unique_ptr<ProgressWindow>, 4> progress_;
    QString soundProblem_;
    bool voiceInput_ = false;
    QString progressProblem_; // said until the store works again
    QThreadPool reader_;      // last: its reads end before the rest goes
};
