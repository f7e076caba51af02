// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "theory/Answer.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Every judged answer, kept in an SQLite database. Answers are handed to a writer
// thread, which commits each one as it comes, so the user-interface thread never
// waits on the disk. When the store cannot be used (the directory not writable, the
// disk full, a corrupt or foreign file, the file locked by another program for long)
// the answers of this run are kept in memory, the problem is said once and the writer
// tries again; a damaged file is moved aside, never deleted, and a new one takes the
// answers. The file is never made, nor written, by reading or exporting it.
class ProgressStore : public QObject {
    Q_OBJECT
  public:
    static constexpr int kSchemaVersion = 2;

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
    // a melody's notes, keys and key times.
    std::vector<Answer> answers(const QString &drill = {}, const QDateTime &since = {},
                                bool brief = false) const;
    // Waits until everything recorded so far is written or has failed; true if written.
    bool flush(int timeoutMs = 5000);

    // The answers not in the file yet, and why (empty while they are only on their way).
    struct Waiting {
        int count = 0;
        QString reason;
    };
    Waiting waiting() const;
    // Tries the file once more now, whatever the time of the next try, and waits for that
    // try; true if nothing is waiting any more.
    bool tryAgain(int timeoutMs);

    // Every answer (all of them, or only the waiting ones) as CSV: a header line, RFC
    // 4180 quoting, a text that a spreadsheet would take for a formula begun with a
    // quote. Written to a new file beside `file` that then takes its place, so a failure
    // leaves the old one as it was. False with the reason if the store cannot be read
    // (a missing file counts when nothing waits) or the CSV cannot be written.
    bool exportCsv(const QString &file, QString *error) const;
    bool exportWaiting(const QString &file, QString *error) const;
    // True if `file` is this store's database or one of its companion files.
    bool isStoreFile(const QString &file) const;

  signals:
    // The store cannot be used (with the reason and the path), said once until it
    // works again; a damaged file was moved aside (with its new name); and that it
    // works again.
    void problem(const QString &message);
    void restored();
    // An answer was recorded (it may still be waiting to be written).
    void recorded();

  private:
    class Connection;
    void run();
    bool attempt(std::unique_ptr<Connection> &connection, const Answer &answer, QString *error,
                 QString *notice) const;
    bool openToWrite(Connection &connection, QString *error, QString *notice) const;
    bool moveAside(const QString &reason, QString *error, QString *notice) const;
    // `check`: PRAGMA quick_check first, for the export.
    bool readFile(const QString &drill, const QDateTime &since, bool brief, bool withUid,
                  bool check, std::vector<Answer> &out, QString *error) const;
    bool collect(const QString &drill, const QDateTime &since, bool brief, bool check,
                 std::vector<Answer> &out, bool *missing, QString *error) const;
    bool writeCsv(const QString &file, const std::vector<Answer> &rows, QString *error) const;

    QString path_;
    QByteArray file_; // path_ as the system's bytes
    mutable std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<Answer> waiting_;
    QString reason_; // why the last try failed
    bool stopping_ = false, failing_ = false, busy_ = false, retryNow_ = false;
    qint64 tries_ = 0;
    std::thread writer_;
};
