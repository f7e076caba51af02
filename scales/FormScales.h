#pragma once

#include "drill/DrillWindow.h"

// The Scales and modes drill.
class FormScales : public DrillWindow {
    Q_OBJECT
  public:
    explicit FormScales(QWidget *parent = nullptr);

  protected:
    void buildControls(QWidget *central) override;
    void Form_Load() override;
    bool isRightAnswer(int) const override { return false; } // the drill comes later
};
