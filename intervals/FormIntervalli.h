// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drill/DrillWindow.h"
#include "theory/Intervals.h"

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QRadioButton;

// The Intervals drill: one of the ticked intervals from a fixed or random root,
// ascending, descending or both notes together. Outside test mode the button beside
// each interval plays it for comparison; in test mode it answers.
class FormIntervalli : public DrillWindow {
    Q_OBJECT
  public:
    explicit FormIntervalli(QWidget *parent = nullptr);

    // The current question (0 before the first: no question yet).
    int rootnote() const { return rootnote_; }
    int secondnote() const { return secondnote_; }
    int questioninterval() const { return questioninterval_; }

  protected:
    void buildControls(QWidget *central) override;
    void Form_Load() override;
    bool Form_Unload() override;
    bool drawQuestion() override;
    void playquestion() override;
    bool hasQuestion() const override { return rootnote_ != 0; }
    QString answerText() const override;
    bool isRightAnswer(int answer) const override { return answer == questioninterval_; }

    void describe(Answer &record, int answer) const override;
    std::vector<QAbstractButton *> itemBoxes() const override;

  private:
    void All_Click();
    void None_Click();
    void mainintervals_Click();
    void ascending_Click();
    void discending_Click();
    void together_Click();
    void playint_Click(int Index);
    intervals::Direction direction() const;
    int rootFromCombo() const;
    void playPair(int root, int second);

    std::array<QCheckBox *, intervals::kCount> inter{};
    std::array<QPushButton *, intervals::kCount> playint{};
    QPushButton *All = nullptr;
    QPushButton *None = nullptr;
    QPushButton *mainintervals = nullptr;
    QComboBox *Combo1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QRadioButton *ascending = nullptr;
    QRadioButton *discending = nullptr;
    QRadioButton *together = nullptr;

    // The window object's own state: it outlives the controls.
    int rootnote_ = 0;
    int secondnote_ = 0;
    int questioninterval_ = 0;
    // How the question was drawn, and how it was last heard (for the answer's record).
    intervals::Direction drawnDirection_ = intervals::Direction::Ascending;
    intervals::Direction heardDirection_ = intervals::Direction::Ascending;
};
