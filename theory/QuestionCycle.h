// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <vector>

// The question cycle every drill window shares, without the window: test mode, the
// score, whether the current question has been judged, the feedback and the answer
// shown, and which of the cycle's buttons can be pressed. A window hands in what its
// user pressed and what its drill drew and judged, and shows the state; the music
// (drawing, playing, telling a right answer from a wrong one) stays with the drill.
//
// The object lives as long as its window object, which outlives the controls: loading
// the window again puts the controls back as they start, but the current question and
// whether it has been judged are kept.
class QuestionCycle {
  public:
    enum class Feedback { None, Right, Wrong };

    // Where the windows differ.
    struct Rules {
        // New in test mode works the percentage out again when the question before went
        // unjudged, so that it counts against the learner at once (not in the Melody
        // window).
        bool percentOfUnjudged = true;
        // Repeat and Reveal are enabled by a New that draws a question, not by every
        // press of New (the Melody window).
        bool enableOnDraw = false;
    };

    struct State {
        bool testMode = false;
        int questions = 0;
        int right = 0;
        int percent = 0; // whole percent rounded down, as last worked out
        bool judged = false;
        bool hasQuestion = false;
        Feedback feedback = Feedback::None;
        bool answerShown = false;
        // New and "Stop noise!" can always be pressed.
        bool repeatEnabled = false;
        bool revealEnabled = false;
        // The score's frame, its labels and Reset.
        bool scoreEnabled() const { return testMode; }

        bool operator==(const State &) const = default;
    };

    QuestionCycle() = default;
    explicit QuestionCycle(Rules rules) : rules_(rules) {}

    const State &state() const { return state_; }

    // What loading the window leaves: "No test", Repeat and Reveal disabled, nothing
    // shown, the score at 0 with the current question out of it.
    void load();
    // "Test mode" (true) or "No test" becoming the selected option; selecting the one
    // already selected does nothing.
    void selectTestMode(bool on);
    // New pressed, before it draws anything: the feedback and the answer go.
    void newPressed();
    // New has drawn a question of `weight`. In test mode its weight joins the questions
    // and it is open for judging. Outside it, it is asked outside the tally and the
    // judged state stays as it was: after a judged question, one asked in "No test"
    // cannot be judged. The Melody window tells each note as it plays it, with weight 1.
    void asked(int weight);
    // An answer to the current question in test mode, judged once: the feedback and the
    // answer are shown. False, and nothing changes, when there is no question, outside
    // test mode, or when it has been judged already. A question asked outside the tally
    // is counted now, so the right answers never outnumber the questions.
    bool judge(bool right, int weight);
    // Reveal pressed: the answer of the current question is shown, if there is one;
    // nothing while Reveal is disabled.
    void reveal();
    // Reset: the counts to 0 and the current question out of the tally; whether it has
    // been judged is kept.
    void reset();

    // One of the ticked items, drawn as Random::entry(n) of the n ticked ones in
    // ascending order; nothing, and no draw, when none is ticked.
    static std::optional<int> drawTicked(const std::vector<bool> &ticked);
    // One of the ticked items with a chance in proportion to its weight (by index; an
    // item without one, or with none above zero, weighs 1), drawn with one
    // Random::draw() after re-seeding; nothing, and no draw, when none is ticked.
    static std::optional<int> drawWeighted(const std::vector<bool> &ticked,
                                           const std::vector<double> &weights);

    // Called after each operation that changed the state.
    std::function<void()> changed;

  private:
    void updatePercent();
    void notifyIfChanged(const State &before) const;

    Rules rules_;
    State state_;
    bool inTally_ = false; // the current question is part of the questions count
};
