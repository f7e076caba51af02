// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drill/DrillWindow.h"
#include "theory/Chords.h"

#include <array>

class QCheckBox;
class QComboBox;
class QRadioButton;

// The Chords drill: one of the ticked chord types on a fixed or random root, played as
// a block or as an arpeggio. Outside test mode the button beside each type plays it on
// the question's root for comparison; in test mode it answers.
class FormChords : public DrillWindow {
    Q_OBJECT
  public:
    explicit FormChords(QWidget *parent = nullptr);

    int questionchord() const { return questionchord_; }
    // Position 1 is the root; 0 before the first question.
    int questionnotes(int position) const { return questionnotes_[size_t(position)]; }
    int notecount() const { return notecount_; }

  protected:
    void buildControls(QWidget *central) override;
    void Form_Load() override;
    bool drawQuestion() override;
    void playquestion() override;
    bool hasQuestion() const override { return notecount_ > 0; }
    QString answerText() const override;
    bool isRightAnswer(int answer) const override { return answer == questionchord_; }

    void describe(Answer &record, int answer) const override;
    std::vector<QAbstractButton *> itemBoxes() const override;

  private:
    void All_Click();
    void None_Click();
    void Triads_Click();
    void mainbutton_Click();
    void Arpeggiooption_Click();
    void Chordoption_Click();
    void playchord_Click(int Index);
    void initchordtable();
    void playChord(const std::vector<int> &notes);
    std::vector<int> notesOf(int chordType, int root) const;

    std::array<QCheckBox *, chords::kCount> chord{};
    std::array<QPushButton *, chords::kCount> playchord{};
    QComboBox *Combo1 = nullptr;
    QRadioButton *Arpeggiooption = nullptr;
    QRadioButton *Chordoption = nullptr;

    // The window object's own state: it outlives the controls.
    std::array<int, 30> stepcount_{};
    std::array<std::array<int, chords::kMaxSteps>, 30> steps_{};
    int questionchord_ = 0;
    std::array<int, 7> questionnotes_{}; // positions 1..6
    int notecount_ = 0;
    bool heardAsArpeggio_ = false; // how the question was last played
};
