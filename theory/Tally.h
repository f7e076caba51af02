// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

// The score of a drill window: the questions asked, the right answers and the
// percentage shown, whether the current question has been judged, and whether it is
// part of the tally at all. Every window's New and judging go through here; the score
// labels only show it.
class Tally {
  public:
    int questions() const { return questions_; }
    int right() const { return right_; }
    // As last computed: it changes only when the percentage is worked out again.
    int percent() const { return percent_; }
    bool answered() const { return answered_; }

    // New in test mode: the question's weight joins the questions count and the new
    // question is open for judging. With `percentOfUnjudged`, a previous question that
    // went unjudged lowers the percentage at once.
    void ask(int weight, bool percentOfUnjudged);
    // New outside test mode: the question is asked but not counted.
    void askUncounted() { inTally_ = false; }
    // Judges the current question, once: false if it has been judged already. A
    // question asked outside the tally (in "No test", or before a Reset or a reload)
    // is counted now, so the right answers never outnumber the questions.
    bool judge(bool right, int weight);
    // Reset, and loading the window: all three counts to 0. The open question leaves
    // the tally but keeps its judged state.
    void reset();

    // Called after every change.
    std::function<void()> changed;

  private:
    void updatepercent();
    void notify() const;

    int questions_ = 0;
    int right_ = 0;
    int percent_ = 0;
    bool answered_ = false;
    bool inTally_ = false;
};
