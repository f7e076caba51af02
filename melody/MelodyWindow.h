// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drill/DrillWindow.h"
#include "theory/Melody.h"

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;

// The main window and the Melody drill: a melody of 1 to 10 notes from the ticked
// pitch classes and octaves, answered note by note on a one-octave keyboard and judged
// as a whole. Closing it asks whether to leave the program.
class MelodyWindow : public DrillWindow {
    Q_OBJECT
  public:
    explicit MelodyWindow(QWidget *parent = nullptr);

    // The current melody: nnotes notes, notes(1)..notes(nnotes); 0 before the first.
    int melodyLength() const { return melodyLength_; }
    int notes(int k) const { return notes_[size_t(k)]; }
    int keysAnswered() const { return keysAnswered_; }

    // Asked when the window is to close, which ends the run: true to go on. Unset, the
    // window closes without asking.
    std::function<bool()> confirmExit;

  signals:
    // The user confirmed the exit: every other window is to close and the run to end.
    void exitConfirmed();

  protected:
    void buildControls(QWidget *central) override;
    void onLoad() override;
    bool onUnload() override;
    void onNew() override;
    QString answerText() const override;
    void showAnswer() override;
    void playQuestion() override;
    bool hasQuestion() const override { return melodyLength_ > 0; }
    bool isRightAnswer(int answer) const override;
    int questionWeight() const override { return melodyLength_; }
    void midiKeyPressed(int note) override;

    void describe(Answer &record, int answer) const override;
    std::vector<QAbstractButton *> itemBoxes() const override;

  private:
    void tickAllPitchClasses();
    void tickCMajor();
    void untickAllPitchClasses();
    void tickAllOctaves();
    void untickAllOctaves();
    void tickGuitarOctaves();
    void tickPianoOctaves();
    void onLengthChosen();
    void onKey(int index);
    QWidget *buildKeyboard();

    std::array<QCheckBox *, 12> pitchClassBoxes{};
    std::array<QCheckBox *, melody::kOctaves> octaveBoxes{};
    std::array<QPushButton *, 12> keyButtons{};
    QComboBox *lengthList = nullptr;

    // The window object's own state: it outlives the controls.
    int melodyLength_ = 0;
    std::array<int, melody::kMaxNotes + 1> notes_{};    // positions 1..10
    std::array<int, melody::kMaxNotes + 1> answers_{};  // positions 1..10
    std::array<qint64, melody::kMaxNotes + 1> keyMs_{}; // each key's own answer time
    qint64 lastKeyMs_ = 0; // when the previous key came, after the playback ended
    int keysAnswered_ = 0;
};

// The exit question of the program, as a message box; it says which answers the
// progress store could not keep, and can save them as CSV.
bool askExitQuestion(QWidget *parent);
