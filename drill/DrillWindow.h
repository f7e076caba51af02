#pragma once

#include "sound/FeedbackSound.h"
#include "sound/MidiControl.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QPushButton;

enum class DrillKind { Melody, Intervals, Chords, Scales };

// A drill window. The window object lives for the whole run and keeps the drill's
// question state; its controls (and with them its MIDI and feedback-sound handles) are
// built when the window is loaded and destroyed when it is closed, so a window opened
// again starts from its loaded state.
class DrillWindow : public QMainWindow {
    Q_OBJECT
  public:
    struct Names {
        QString window;        // objectName, e.g. "Formintervalli"
        QString caption;       // window title
        QString ownButton;     // the navigation button standing for this window
        QString optionsMenu;   // "optionsmnu" or "optionmnu"
        QString feedbackSound; // "MCIWnd1" or "mci"
    };

    DrillWindow(DrillKind kind, Names names, QWidget *parent = nullptr);
    ~DrillWindow() override;

    DrillKind kind() const { return kind_; }
    bool isLoaded() const { return loaded_; }
    // Loads the window if it is not loaded, then shows it and brings it to the front.
    void showWindow();
    // A note from the sound engine (e.g. that the program is silent) for the status bar.
    void showSoundProblem(const QString &text);

    MidiControl *Midi() const { return midi_.get(); }
    FeedbackSound *feedbackSound() const { return feedback_.get(); }

  signals:
    void openRequested(DrillKind kind);
    void exitRequested();
    void optionsRequested(DrillWindow *from);
    void aboutRequested(DrillWindow *from);

  protected:
    // Builds the window's own controls into `central`; navigationRow() is ready by then.
    virtual void buildControls(QWidget *central) = 0;
    virtual void Form_Load() = 0;
    virtual void Form_Activate();
    // Returns false to keep the window open.
    virtual bool Form_Unload() { return true; }

    // The row "Melody", "Intervals", "Chords", "Scales" and "Exit".
    QWidget *navigationRow() const { return navigation_; }

    // The MIDI set-up every window sends with the current settings.
    void sendProgramThenPan();
    void sendPanThenProgram();

    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

  private:
    void load();
    void unload();
    QWidget *buildNavigation();

    DrillKind kind_;
    Names names_;
    bool loaded_ = false;
    bool placed_ = false;
    QString soundProblem_;
    QWidget *navigation_ = nullptr;
    std::unique_ptr<MidiControl> midi_;
    std::unique_ptr<FeedbackSound> feedback_;
};
