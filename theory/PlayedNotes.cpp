// SPDX-License-Identifier: GPL-3.0-or-later
#include "theory/PlayedNotes.h"

#include "theory/Chords.h"
#include "theory/Intervals.h"
#include "theory/PitchClasses.h"
#include "theory/Scales.h"

#include <QStringList>
#include <algorithm>
#include <cstdlib>

namespace played {
namespace {

QString text(std::string_view s) {
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

QString pitchName(int note) {
    return text(theory::kPitchClassNames[size_t(theory::pitchClass(note))]);
}

using PitchClasses = std::set<int>;

PitchClasses pitchClassesOf(const std::vector<int> &notes) {
    PitchClasses out;
    for (int n : notes)
        out.insert(theory::pitchClass(n));
    return out;
}

PitchClasses chordPitchClasses(int root, int type) {
    const chords::ChordType &c = chords::kCatalogue[size_t(type)];
    return pitchClassesOf(theory::notesFromSteps(root, c.stepCount, c.steps.data()));
}

struct Reading {
    int root; // pitch class
    int type;
};

// The chords of the table the notes make, on the bass when any is rooted there.
std::vector<Reading> chordReadings(const std::vector<int> &notes) {
    const PitchClasses played = pitchClassesOf(notes);
    std::vector<Reading> all, onBass;
    const int bass = theory::pitchClass(*std::min_element(notes.begin(), notes.end()));
    for (int type = 0; type < chords::kCount; ++type)
        for (int root = 0; root < 12; ++root)
            if (chordPitchClasses(root, type) == played) {
                all.push_back({root, type});
                if (root == bass)
                    onBass.push_back({root, type});
            }
    return onBass.empty() ? all : onBass;
}

Verdict judgeInterval(const Question &q, const std::vector<int> &notes, Verdict v) {
    if (notes.size() < 2)
        return v;
    const int size = std::abs(notes[1] - notes[0]);
    v.right = size == q.item;
    v.answeredIndex = size < intervals::kCount ? size : -1;
    v.said = v.answeredIndex >= 0 ? text(intervals::kRevealNames[size_t(size)])
                                  : QString("%1 semitones").arg(size);
    return v;
}

int secondNote(const Question &q) {
    return q.second != 0 ? q.second : q.root + q.item;
}

Verdict judgeSungInterval(const Question &q, const std::vector<int> &notes, Verdict v) {
    if (notes.empty())
        return v;
    const int sung = theory::pitchClass(notes.back());
    const bool up = secondNote(q) >= q.root;
    const int size = ((up ? sung - q.root : q.root - sung) % 12 + 12) % 12;
    v.right = sung == theory::pitchClass(secondNote(q));
    v.answeredIndex = v.right ? q.item : size;
    v.said = text(intervals::kRevealNames[size_t(v.answeredIndex)]);
    return v;
}

Verdict judgeChord(const Question &q, const std::vector<int> &notes, Source source, Verdict v) {
    if (notes.empty())
        return v;
    const std::vector<Reading> readings = chordReadings(notes);
    if (readings.empty()) {
        std::vector<int> sorted = notes;
        std::sort(sorted.begin(), sorted.end());
        QStringList names;
        for (int n : sorted)
            if (!names.contains(pitchName(n)))
                names << pitchName(n);
        v.said = names.join(' ');
        return v;
    }
    const bool sameNotes = pitchClassesOf(notes) == chordPitchClasses(q.root, q.item);
    Reading named = readings.front();
    for (const Reading &r : readings)
        // Sung one after the other, in the singer's own octaves, the notes have no bass.
        if (sameNotes && (r.type == q.item || source == Source::Voice)) {
            v.right = true;
            named = r;
        }
    if (v.right)
        named = {theory::pitchClass(q.root), q.item};
    v.answeredIndex = named.type;
    v.said = pitchName(named.root) + ' ' + text(chords::kCatalogue[size_t(named.type)].name);
    return v;
}

Verdict judgeScale(const Question &q, const std::vector<int> &notes, Verdict v) {
    QStringList names;
    std::vector<int> steps;
    for (size_t k = 0; k < notes.size(); ++k) {
        names << pitchName(notes[k]);
        if (k > 0)
            steps.push_back(notes[k] - notes[k - 1]);
    }
    v.said = names.join(' ');
    for (int i = 0; i < scales::kCount; ++i) {
        const scales::Scale &s = scales::kCatalogue[size_t(i)];
        if (std::equal(steps.begin(), steps.end(), s.steps.begin(), s.steps.begin() + s.stepCount))
            v.answeredIndex = i;
    }
    v.right = v.answeredIndex == q.item && !notes.empty() &&
              theory::pitchClass(notes.front()) == theory::pitchClass(q.root);
    return v;
}

} // namespace

Verdict judge(const Question &question, const std::vector<int> &notes, Source source) {
    Verdict v;
    QStringList numbers;
    for (int n : notes)
        numbers << QString::number(n);
    v.notes = numbers.join(' ');
    switch (question.kind) {
    case Question::Interval:
        return source == Source::Voice ? judgeSungInterval(question, notes, v)
                                       : judgeInterval(question, notes, v);
    case Question::Chord:
        return judgeChord(question, notes, source, v);
    case Question::Scale:
        return judgeScale(question, notes, v);
    }
    return v;
}

void Collector::reset() {
    notes_.clear();
    held_.clear();
    due_.reset();
}

bool Collector::add(const NoteEvent &event, const Question &question) {
    if (!event.on) {
        if (auto it = held_.find(event.note); it != held_.end())
            held_.erase(it);
        if (question.kind == Question::Chord && !notes_.empty() && held_.empty())
            due_ = std::max(event.ms, lastOn_ + kChordGapMs);
        return false;
    }
    notes_.push_back(event.note);
    source_ = event.source;
    lastOn_ = event.ms;
    due_.reset();
    switch (question.kind) {
    case Question::Interval:
        // Sung, the second note may come alone: a note that is not the first's.
        return notes_.size() >= 2 ||
               (event.source == Source::Voice &&
                (theory::pitchClass(event.note) != theory::pitchClass(question.root) ||
                 theory::pitchClass(secondNote(question)) == theory::pitchClass(question.root)));
    case Question::Scale:
        if (int(notes_.size()) > scales::kCatalogue[size_t(question.item)].stepCount)
            return true;
        due_ = event.ms + kScaleGapMs;
        return false;
    case Question::Chord:
        // A sung note has ended by the time it is told; a key is held until released.
        if (event.source == Source::Voice)
            due_ = event.ms + kSungChordGapMs;
        else
            held_.insert(event.note);
        return false;
    }
    return false;
}

} // namespace played
