// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>
#include <set>
#include <vector>

// Answers played on a MIDI keyboard (or sung): notes with their times, gathered into
// one answer and judged as a musician would. The same rules whatever the notes came
// from; only how long an answer waits for more notes depends on the source.
namespace played {

enum class Source { Keyboard, Voice };

// A note begun (on) or ended, at `ms` on the steady clock.
struct NoteEvent {
    int note = 60;
    qint64 ms = 0;
    bool on = true;
    Source source = Source::Keyboard;
};

// What an answer of notes is judged against.
struct Question {
    enum Kind { Interval, Chord, Scale };
    Kind kind = Interval;
    int root = 60;  // the question's root note
    int item = 0;   // interval size, chord type or scale (catalogue index)
    int second = 0; // an interval's second note, as asked (0: above the root)
};

struct Verdict {
    bool right = false;
    int answeredIndex = -1; // the item the notes read as; -1 when none
    QString said;           // what was played: "Perfect 5th", "A min7", "C D E F G A B C"
    QString notes;          // the notes as played: "57 60 64 67"
};

// Intervals: the first two notes, in either order or together; right when they lie the
// asked number of semitones apart. Chords: the pitch classes (any inversion, octave or
// doubling) must be the question's, and the lowest note must not make them another
// chord of the table on another root (C E G A is C 6, A C E G is A min7). Scales: the
// steps from note to note must be the question's, from a note of its root's pitch class.
// Sung (`source` Voice), an interval is its second note alone, sung after the first as
// asked or in the singer's own octave: right when its pitch class is the asked second
// note's. The notes sung may begin with the first; the last one is judged.
Verdict judge(const Question &question, const std::vector<int> &notes,
              Source source = Source::Keyboard);

// Gathers the notes of one answer. An interval is complete with its second note, a
// scale with as many notes as the question's; a chord once no key is held and no note
// has begun for a moment (the notes of a chord are held together or struck one after
// the other within that moment). A scale cut short, or a chord, completes when nothing
// more comes: at due().
class Collector {
  public:
    static constexpr qint64 kChordGapMs = 400;      // keys
    static constexpr qint64 kSungChordGapMs = 1500; // one sung note after the other
    static constexpr qint64 kScaleGapMs = 2500;

    void reset();
    // True when the answer is complete.
    bool add(const NoteEvent &event, const Question &question);
    // When the answer completes unless another note comes; nothing while one is awaited.
    std::optional<qint64> due() const { return due_; }
    // True when the answer is complete at `ms`.
    bool expired(qint64 ms) const { return due_ && ms >= *due_; }
    const std::vector<int> &notes() const { return notes_; }
    Source source() const { return source_; } // of the last note

  private:
    std::vector<int> notes_;
    Source source_ = Source::Keyboard;
    std::multiset<int> held_;
    qint64 lastOn_ = 0;
    std::optional<qint64> due_;
};

} // namespace played
