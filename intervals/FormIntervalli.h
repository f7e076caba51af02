#pragma once

#include "drill/DrillWindow.h"

// The Intervals drill.
class FormIntervalli : public DrillWindow {
    Q_OBJECT
  public:
    explicit FormIntervalli(QWidget *parent = nullptr);

  protected:
    void buildControls(QWidget *central) override;
    void Form_Load() override;
    bool Form_Unload() override;
};
