// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

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
    QString answeredKeys;   // a melody's keys (pitch classes), "0 4 7"
    bool right = false;
    int weight = 1;
    qint64 answerMs = 0; // from the end of the question's playback to the answer
    QString keyTimes;    // a melody's keys, each from the one before (the first from the
                         // end of the playback), in ms: "850 420 610"

    bool operator==(const Answer &) const = default;
};

// Every judged answer, kept in an SQLite database. Answers are handed to a writer
// thread, which commits each one as it comes, so the user-interface thread never
// waits on the disk. When the store cannot be used (the directory not writable, the
// disk full, a corrupt or foreign file, the file locked by another program for long)
// the answers of this run are kept in memory, the problem is said once and the writer
// tries again; a corrupt file is moved aside, never deleted.
class ProgressStore : public QObject {
    Q_OBJECT
  public:
    static constexpr int kSchemaVersion = 1;

    explicit ProgressStore(QString path, QObject *parent = nullptr);
    ~ProgressStore() override; // writes what is still waiting, if it can

    // The store the drill windows record into; null records nothing.
    static ProgressStore *current();
    static void setCurrent(ProgressStore *store);
    // The default file: the application data directory's progress.sqlite.
    static QString defaultPath();

    const QString &path() const { return path_; }
    void record(Answer answer);
    // Every answer of a drill (all drills if empty) since `since` (all if invalid),
    // oldest first: what is in the file and what is still waiting to be written. The
    // brief form fills only the time, the items, right, the weight, the answer time and
    // a melody's notes and keys.
    std::vector<Answer> answers(const QString &drill = {}, const QDateTime &since = {},
                                bool brief = false) const;
    // Waits until everything recorded so far is written or has failed; true if written.
    bool flush(int timeoutMs = 5000);
    // All answers as CSV (a header line, RFC 4180 quoting).
    bool exportCsv(const QString &file, QString *error) const;

  signals:
    // The store cannot be used (with the reason and the path), said once until it
    // works again; and that it works again.
    void problem(const QString &message);
    void restored();
    // An answer was recorded (it may still be waiting to be written).
    void recorded();

  private:
    void run();
    bool open(const QString &connection, QString *error) const;
    bool write(const QString &connection, const Answer &answer, QString *error);

    QString path_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<Answer> waiting_;
    bool stopping_ = false, failing_ = false, busy_ = false;
    std::thread writer_;
};
