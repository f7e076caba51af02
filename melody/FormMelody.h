#pragma once

#include "drill/DrillWindow.h"

#include <functional>

// The main window and the Melody drill. Closing it asks whether to leave the program.
class FormMelody : public DrillWindow {
    Q_OBJECT
  public:
    explicit FormMelody(QWidget *parent = nullptr);

    // Asks the exit question; true means Yes.
    std::function<bool(QWidget *)> exitQuestion;

  signals:
    // The user confirmed the exit: every other window is to close and the run to end.
    void exitConfirmed();

  protected:
    void buildControls(QWidget *central) override;
    void Form_Load() override;
    bool isRightAnswer(int) const override { return false; } // the drill comes later
    bool Form_Unload() override;
};

// The exit question of the program, as a message box.
bool askExitQuestion(QWidget *parent);
