// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drill/DrillWindow.h"
#include "theory/Scales.h"

#include <array>

class QCheckBox;
class QComboBox;

// The Scales and modes drill: one of the ticked items played ascending from a fixed or
// random root up to its octave. Outside test mode the button beside each item plays it
// from the question's root for listening; in test mode it answers.
class FormScales : public DrillWindow {
    Q_OBJECT
  public:
    explicit FormScales(QWidget *parent = nullptr);

    int questionscale() const { return questionscale_; }
    int questionnotes(int k) const { return questionnotes_[size_t(k)]; } // 0 is the root
    int notecount() const { return notecount_; }

  protected:
    void buildControls(QWidget *central) override;
    void Form_Load() override;
    bool drawQuestion() override;
    void playquestion() override;
    bool hasQuestion() const override { return notecount_ > 0; }
    QString answerText() const override;
    bool isRightAnswer(int answer) const override { return answer == questionscale_; }

    void describe(Answer &record, int answer) const override;
    std::vector<QAbstractButton *> itemBoxes() const override;

  private:
    void Allscales_Click();
    void Nonescales_Click();
    void Mainscales_Click();
    void Allmodes_Click();
    void Nonemodes_Click();
    void playscale_Click(int Index);
    void initscaletable();
    void setTicks(int from, int to, bool ticked);
    // Notes of an item from a start note, into `notes`; returns how many.
    int buildNotes(int item, int start, std::array<int, 13> &notes) const;

    std::array<QCheckBox *, scales::kCount> scalesBox{};
    std::array<QPushButton *, scales::kCount> playscale{};
    QComboBox *Combo1 = nullptr;

    // The window object's own state: it outlives the controls.
    std::array<int, 30> stepcount_{};
    std::array<std::array<int, scales::kMaxSteps>, 30> scalesteps_{};
    int questionscale_ = 0;
    std::array<int, 13> questionnotes_{};
    int notecount_ = 0;
    std::array<int, 13> listennotes_{};
};
