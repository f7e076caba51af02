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
class ChordsWindow : public DrillWindow {
    Q_OBJECT
  public:
    explicit ChordsWindow(QWidget *parent = nullptr);

    int questionChord() const { return questionChord_; }
    // Position 1 is the root; 0 before the first question.
    int questionNotes(int position) const { return questionNotes_[size_t(position)]; }
    int noteCount() const { return noteCount_; }

  protected:
    void buildControls(QWidget *central) override;
    void onLoad() override;
    bool drawQuestion() override;
    void playQuestion() override;
    bool hasQuestion() const override { return noteCount_ > 0; }
    QString answerText() const override;
    bool isRightAnswer(int answer) const override { return answer == questionChord_; }
    std::optional<played::Question> playedQuestion() const override {
        return played::Question{played::Question::Chord, questionNotes_[1], questionChord_};
    }

    void describe(Answer &record, int answer) const override;
    std::vector<QAbstractButton *> itemBoxes() const override;

  private:
    void tickAll();
    void untickAll();
    void tickTriads();
    void tickMainChords();
    void onArpeggio();
    void onBlock();
    void onChordButton(int index);
    void fillChordTable();
    void playChord(const std::vector<int> &notes);
    std::vector<int> notesOf(int chordType, int root) const;

    std::array<QCheckBox *, chords::kCount> chordBoxes{};
    std::array<QPushButton *, chords::kCount> chordButtons{};
    QComboBox *rootList = nullptr;
    QRadioButton *arpeggioOption = nullptr;
    QRadioButton *blockOption = nullptr;

    // The window object's own state: it outlives the controls.
    std::array<int, 30> stepCounts_{};
    std::array<std::array<int, chords::kMaxSteps>, 30> steps_{};
    int questionChord_ = 0;
    std::array<int, 7> questionNotes_{}; // positions 1..6
    int noteCount_ = 0;
    bool heardAsArpeggio_ = false; // how the question was last played
};
