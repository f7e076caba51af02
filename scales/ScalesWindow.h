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
class ScalesWindow : public DrillWindow {
    Q_OBJECT
  public:
    explicit ScalesWindow(QWidget *parent = nullptr);

    int questionScale() const { return questionScale_; }
    int questionNotes(int k) const { return questionNotes_[size_t(k)]; } // 0 is the root
    int noteCount() const { return noteCount_; }

  protected:
    void buildControls(QWidget *central) override;
    void onLoad() override;
    bool drawQuestion() override;
    void playQuestion() override;
    bool hasQuestion() const override { return noteCount_ > 0; }
    QString answerText() const override;
    bool isRightAnswer(int answer) const override { return answer == questionScale_; }
    std::optional<played::Question> playedQuestion() const override {
        return played::Question{played::Question::Scale, questionNotes_[0], questionScale_};
    }

    void describe(Answer &record, int answer) const override;
    std::vector<QAbstractButton *> itemBoxes() const override;

  private:
    void tickAllScales();
    void untickAllScales();
    void tickMainScales();
    void tickAllModes();
    void untickAllModes();
    void onScaleButton(int index);
    void fillScaleTable();
    void setTicks(int from, int to, bool ticked);
    // Notes of an item from a start note, into `notes`; returns how many.
    int buildNotes(int item, int start, std::array<int, 13> &notes) const;

    std::array<QCheckBox *, scales::kCount> scaleBoxes{};
    std::array<QPushButton *, scales::kCount> scaleButtons{};
    QComboBox *rootList = nullptr;

    // The window object's own state: it outlives the controls.
    std::array<int, 30> stepCounts_{};
    std::array<std::array<int, scales::kMaxSteps>, 30> scaleSteps_{};
    int questionScale_ = 0;
    std::array<int, 13> questionNotes_{};
    int noteCount_ = 0;
    std::array<int, 13> listenNotes_{};
};
