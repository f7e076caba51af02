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
class IntervalsWindow : public DrillWindow {
    Q_OBJECT
  public:
    explicit IntervalsWindow(QWidget *parent = nullptr);

    // The current question (0 before the first: no question yet).
    int rootNote() const { return rootNote_; }
    int secondNote() const { return secondNote_; }
    int questionInterval() const { return questionInterval_; }

  protected:
    void buildControls(QWidget *central) override;
    void onLoad() override;
    bool onUnload() override;
    bool drawQuestion() override;
    void playQuestion() override;
    bool hasQuestion() const override { return rootNote_ != 0; }
    QString answerText() const override;
    bool isRightAnswer(int answer) const override { return answer == questionInterval_; }
    std::optional<played::Question> playedQuestion() const override {
        return played::Question{played::Question::Interval, rootNote_, questionInterval_,
                                secondNote_};
    }

    void describe(Answer &record, int answer) const override;
    std::vector<QAbstractButton *> itemBoxes() const override;

  private:
    void tickAll();
    void untickAll();
    void tickMainIntervals();
    void onAscending();
    void onDescending();
    void onTogether();
    void onIntervalButton(int index);
    intervals::Direction direction() const;
    int rootFromCombo() const;
    void playPair(int root, int second);

    std::array<QCheckBox *, intervals::kCount> intervalBoxes{};
    std::array<QPushButton *, intervals::kCount> intervalButtons{};
    QPushButton *allButton = nullptr;
    QPushButton *noneButton = nullptr;
    QPushButton *mainIntervalsButton = nullptr;
    QComboBox *rootList = nullptr;
    QGroupBox *directionFrame = nullptr;
    QRadioButton *ascendingOption = nullptr;
    QRadioButton *descendingOption = nullptr;
    QRadioButton *togetherOption = nullptr;

    // The window object's own state: it outlives the controls.
    int rootNote_ = 0;
    int secondNote_ = 0;
    int questionInterval_ = 0;
    // How the question was drawn, and how it was last heard (for the answer's record).
    intervals::Direction drawnDirection_ = intervals::Direction::Ascending;
    intervals::Direction heardDirection_ = intervals::Direction::Ascending;
};
