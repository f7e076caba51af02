// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/FeedbackSound.h"
#include "sound/MidiControl.h"
#include "theory/Answer.h"
#include "theory/PlayedNotes.h"
#include "theory/QuestionCycle.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <set>
#include <vector>

class QAbstractButton;
class QAction;
class QCheckBox;
class QComboBox;
class QLayout;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;

enum class DrillKind { Melody, Intervals, Chords, Scales };

// A drill window and the question cycle every drill shares: New, Repeat, Reveal, test
// mode, judging with its feedback, the score labels, Reset, "Stop noise!" and the
// timing slider with the pause between notes.
//
// The window object lives for the whole run and keeps the drill's question state; its
// controls (and with them its MIDI and feedback-sound handles) are built when the
// window is loaded and destroyed when it is closed, so a window opened again starts
// from its loaded state.
//
// A drill supplies the music: draw a question from the ticked items, play it, word its
// answer, judge an answer and give the question's weight.
class DrillWindow : public QMainWindow {
    Q_OBJECT
  public:
    // How this window's copy of the common controls is named and behaves.
    struct Names {
        QString window;        // objectName, e.g. "Formintervalli"
        QString caption;       // window title
        QString ownButton;     // the navigation button standing for this window
        QString optionsMenu;   // "optionsmnu" or "optionmnu"
        QString feedbackSound; // "MCIWnd1" or "mci"
    };
    struct Cycle {
        QString testFrame = "Frame4";
        QString notestCaption = "No test";
        QString questionsCaption = "Label9";
        QString questionsCount = "Label8";
        QString rightCaption = "Label10";
        QString stopName = "stopnoise";
        QString stopCaption = "Stop noise!";
        double feedbackPoints = 18;
        double answerPoints = 18;
        QString sliderFrame = "Frame3";
        QString sliderFrameCaption;
        int sliderMaximum = 2000;
        int sliderLoadValue = 1000;
        int sliderTickInterval = 100;
        QString sliderValueLabel = "Label4"; // empty: the value is shown nowhere
        QString sliderValueDesignText = "1000";
        bool countBeforePlaying = false;   // else the question is counted after it plays
        bool recomputePercentOnNew = true; // updatepercent when New follows an unjudged question
        bool enableOnDraw = false; // Repeat and Reveal enabled by a New that draws, not any New
    };

    DrillWindow(DrillKind kind, Names names, Cycle cycle, QWidget *parent = nullptr);
    ~DrillWindow() override;

    DrillKind kind() const { return kind_; }
    // "melody", "intervals", "chords" or "scales", as the progress store names drills.
    QString drillName() const;
    // Ticks the items given (by index) and clears the others, clicking each box that
    // changes as the user would.
    void tickItems(const std::set<int> &items);
    bool isLoaded() const { return loaded_; }
    // Loads the window if it is not loaded, then shows it and brings it to the front.
    void showWindow();
    // A note from the sound engine (e.g. that the program is silent) for the status bar.
    void showSoundProblem(const QString &text);
    // Puts every control that is kept between runs (the items ticked, the options, the
    // lists, the slider) back as loading the window first set it.
    void restoreDefaults();

    // The weight of each item (by index) now, for "Weak items more often"; unset, or
    // empty (not yet known), New draws every ticked item alike.
    std::function<std::vector<double>()> itemWeights;

    // The voice input: whether it listens (the display beside the answer shows), and
    // what it hears now: the note and its cents off ("A4 -12 cents"; empty: no pitch)
    // and the input level in dBFS.
    void showVoiceInput(bool listening);
    void showHeard(const QString &note, double levelDb);
    // Whether an answer sung or played now would be taken: the window is loaded, in
    // test mode, and nothing is playing.
    bool takesAnswers() const { return loaded_ && testMode() && !playbackInProgress(); }

    MidiControl *midi() const { return midi_.get(); }
    FeedbackSound *feedbackSound() const { return feedback_.get(); }
    const QuestionCycle &questionCycle() const { return questionCycle_; }
    bool answered() const { return questionCycle_.state().judged; }
    // True while a question or a comparison is being played (in any window).
    static bool playbackInProgress();

  signals:
    void openRequested(DrillKind kind);
    void exitRequested();
    void optionsRequested(DrillWindow *from);
    void aboutRequested(DrillWindow *from);
    void progressRequested(DrillWindow *from);
    // An answer was judged in test mode: what was asked and answered, for the record.
    void answerJudged(const Answer &answer);
    // What itemWeights gives has changed (it has been worked out afresh).
    void weightsChanged();

  protected:
    // ---- what a drill supplies ----
    // Builds the window's own controls into `central`; navigationRow() and, once
    // buildCycleControls() has run, the common controls are ready to be placed.
    virtual void buildControls(QWidget *central) = 0;
    virtual void onLoad() = 0;
    virtual void onActivate();
    // Returns false to keep the window open.
    virtual bool onUnload() { return true; }
    // Draws a new question from the ticked items; false if nothing is ticked.
    virtual bool drawQuestion() { return false; }
    // Plays the current question (New and Repeat).
    virtual void playQuestion() {}
    // Whether a question has been drawn in this window yet.
    virtual bool hasQuestion() const { return false; }
    // The answer as Reveal words it.
    virtual QString answerText() const { return {}; }
    virtual bool isRightAnswer(int answer) const = 0;
    // What was asked and what was answered, for the progress store.
    virtual void describe(Answer &record, int answer) const = 0;
    // The check boxes of the items, by index.
    virtual std::vector<QAbstractButton *> itemBoxes() const = 0;
    virtual int questionWeight() const { return 1; }
    // A key pressed on a MIDI keyboard while this window is active, in a drill that
    // takes no played answers (playedQuestion() gives none).
    virtual void midiKeyPressed(int /*note*/) {}
    // What notes played in test mode answer: the current question as played::judge
    // reads it; none where keys press the window's own buttons instead.
    virtual std::optional<played::Question> playedQuestion() const { return std::nullopt; }

    // ---- the shared cycle ----
    virtual void onNew();
    void onRepeat();
    void onReveal();
    // Writes the current question's answer into the answer display, as Reveal shows it.
    virtual void showAnswer();
    // New pressed: the feedback and the answer go (what it enables is the cycle's rule).
    void newPressed();
    void onTestMode();
    void onNoTest();
    void onReset();
    void onStopNoise();
    void onDelayChanged();
    // Tells assistive technology that a label's text (the feedback, the answer) changed.
    static void announce(QLabel *label);
    // The judging step of an answer handler: acts in test mode on an unjudged question.
    void judgeAnswer(int answer);
    // The pause between notes: the slider's value in milliseconds on the steady clock,
    // painting but taking no input meanwhile.
    void pauseBetweenNotes();
    // Waits on the steady clock in a nested event loop.
    static void waitUntil(TimePoint when);
    // Plays notes with the current channel and volume: all at once, with the pause
    // between them, or with the pause after each (the last included).
    enum class Pauses { None, Between, AfterEach };
    void playNotes(const std::vector<int> &notes, Pauses pauses);
    // One of the ticked items: with "Weak items more often" on, by the items' weights,
    // else uniformly (QuestionCycle::drawTicked); nothing when none is ticked.
    std::optional<int> drawItem(const std::vector<bool> &ticked) const;
    // Which of a row of check boxes are ticked, for QuestionCycle::drawTicked.
    template <typename Boxes> static std::vector<bool> ticks(const Boxes &boxes) {
        std::vector<bool> out;
        for (const auto *box : boxes)
            out.push_back(box->isChecked());
        return out;
    }
    // New's counting step: in test mode the weight joins the tally (recomputing the
    // percentage if the previous question went unjudged, where the window does so);
    // outside it the question stays out of the tally.
    void countQuestion(int weight);
    // A single key that presses `button` wherever the focused control does not take
    // the key itself (a list box takes letters to choose an entry).
    void setKey(QPushButton *button, Qt::Key key);

    // The question has been played: the answer time runs from now.
    void questionPlayed() { sinceQuestion_.start(); }
    qint64 msSinceQuestion() const {
        return sinceQuestion_.isValid() ? sinceQuestion_.elapsed() : 0;
    }

    // Load steps every window takes, in the order its own load gives.
    void selectNotest();
    void disableRevealAndRepeat();
    void setSliderToLoadValue();

    bool testMode() const;

    // Marks a handler that plays: operations inside are stamped on one logical time
    // line, input is held until it ends and a close request waits for it.
    class Playback {
      public:
        explicit Playback(DrillWindow *window);
        ~Playback();
        Playback(const Playback &) = delete;
        Playback &operator=(const Playback &) = delete;

      private:
        std::unique_ptr<PlaybackClock::Scope> clock_;
    };

    // Builds the common controls (called by buildControls of a drill).
    void buildCycleControls();
    // Lays the window out as every drill does: its items on the left; on the right the
    // question buttons, the answer, the feedback and "Stop noise!", then `settings`
    // (the drill's own), then the navigation row unless the drill places it; the test
    // options and the score across the bottom.
    void arrangeWindow(QWidget *central, QWidget *items, QLayout *settings,
                       bool navigationOnTheRight = true);
    // A caption-less button beside an item that plays or answers it, named after it.
    QPushButton *makeItemButton(const QString &array, int index, const QString &item);
    // The "Root" list with its label, as a row.
    QLayout *rootRow(QComboBox *&list);
    // The row "Melody", "Intervals", "Chords", "Scales" and "Exit".
    QWidget *navigationRow() const { return navigation_; }

    // The MIDI set-up every window sends with the current settings.
    void sendProgramThenPan();
    void sendPanThenProgram();

    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool event(QEvent *event) override;

    // The common controls, under their design names.
    QPushButton *newButton = nullptr;
    QPushButton *repeatButton = nullptr;
    QPushButton *revealButton = nullptr;
    QGroupBox *testOptions = nullptr; // Frame4 (Frame6 in the Melody window)
    QRadioButton *testOption = nullptr;
    QRadioButton *noTestOption = nullptr;
    QGroupBox *scoreFrame = nullptr;
    QLabel *questionsCaption = nullptr;
    QLabel *rightCaption = nullptr;
    QLabel *percentSign = nullptr; // "%"
    QPushButton *resetButton = nullptr;
    QLabel *feedbackLabel = nullptr;
    QLabel *answerLabel = nullptr; // answer display
    QLabel *playedLabel = nullptr; // what was played, under a wrong answer
    QPushButton *stopNoiseButton = nullptr;
    QGroupBox *sliderFrame = nullptr;
    QSlider *delaySlider = nullptr;
    QLabel *sliderValue = nullptr;     // Label4, where the window shows the slider's value
    QCheckBox *weakItemsBox = nullptr; // "Weak items more often", in the test options
    QWidget *voiceRow = nullptr;       // the voice input's display: the note heard and the level
    QLabel *heardLabel = nullptr;
    QProgressBar *levelBar = nullptr;

    const Cycle cycle_;

  private:
    void load();
    void unload();
    // The score frame, its six labels and Reset.
    void enableScore(bool enabled);
    // The score labels show the tally, and tell assistive technology what changed.
    // The controls show the question cycle's state: enabled buttons, the score (telling
    // assistive technology what changed), the feedback and the answer.
    void showCycle();
    QWidget *buildNavigation();
    // The kept values of the window's controls, applied after its own load; from then
    // on each change is kept.
    void applyKeptControls();
    QString keptKey(const QString &name) const { return names_.window + '/' + name; }
    // The window's kept place, where it fits the screens of this run.
    void restoreKeptPlace();
    void keepPlace();
    // A note played (or sung) while this window is active.
    void onPlayedNote(const played::NoteEvent &event);
    // The notes gathered so far answer the question.
    void judgePlayed(const played::Question &question);
    void forgetPlayed();
    // The judging shared by an item answered and notes played (`played`, else null).
    void judged(bool right, int answer, const played::Verdict *played);

    DrillKind kind_;
    Names names_;
    bool loaded_ = false;
    bool placed_ = false;
    // The score labels: only the tally writes them.
    QLabel *questionsCount = nullptr;
    QLabel *rightCount = nullptr;   // right count
    QLabel *percentLabel = nullptr; // percentage
    QuestionCycle questionCycle_;
    bool answerOnShow_ = false; // the answer display holds the answer of the question
    QElapsedTimer sinceQuestion_;
    std::vector<std::pair<QPushButton *, Qt::Key>> keys_;
    QString soundProblem_;
    bool voiceInput_ = false;
    QString heard_;
    double levelDb_ = -120;
    QWidget *navigation_ = nullptr;
    played::Collector played_; // the notes of the answer being played
    QTimer playedDue_;         // when they make an answer unless more come
    QString playedSaid_;       // "You played: A min" after a wrong played answer
    std::unique_ptr<MidiControl> midi_;
    std::unique_ptr<FeedbackSound> feedback_;
    // Each kept control with the value loading the window gave it.
    std::vector<std::pair<QPointer<QWidget>, int>> loadValues_;
    bool keptApplied_ = false; // the kept values have been shown (at the first load)
};
