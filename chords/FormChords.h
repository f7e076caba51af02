#pragma once

#include "drill/DrillWindow.h"

// The Chords drill.
class FormChords : public DrillWindow {
    Q_OBJECT
  public:
    explicit FormChords(QWidget *parent = nullptr);

  protected:
    void buildControls(QWidget *central) override;
    void Form_Load() override;
    bool isRightAnswer(int) const override { return false; } // the drill comes later
};
