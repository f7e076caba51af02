// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

// One answer judged in test mode.
struct Answer {
    QString uid;            // unique over every run, so that a retried write counts once
    QDateTime at;           // UTC
    QString drill;          // "melody", "intervals", "chords", "scales"
    int askedIndex = -1;    // the item asked (interval size, chord, scale); -1 for a melody
    QString askedName;      // as Reveal words it, without the root
    int root = -1;          // its root note; -1 for a melody
    QString mode;           // direction or playing mode, where the drill has one
    QString askedNotes;     // a melody's note numbers, "60 64 67"
    int answeredIndex = -1; // the item answered; -1 for a melody
    QString answeredKeys;   // a melody's keys (pitch classes), "0 4 7"; notes played or sung
                            // (MIDI note numbers), "57 60 64"
    bool right = false;
    int weight = 1;
    qint64 answerMs = 0; // from the end of the question's playback to the answer
    QString keyTimes;    // a melody's time per key in ms, "830 410 655": each from the key
                         // before, the first from the end of the playback

    bool operator==(const Answer &) const = default;
};
