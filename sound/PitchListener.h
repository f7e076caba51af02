// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/MidiOp.h"
#include "sound/NoteDetector.h"

#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

// Listens to a PulseAudio source (a microphone, or any source `pactl list sources`
// names, monitors too) for sung or played notes. The recording and the note detector
// run on a thread of their own; what they find is emitted on the thread the listener
// belongs to (the user-interface thread).
//
// It is deaf to the program's own sound: nothing heard before `audibleUntil()` plus
// the tail counts, nor a note that was already sounding then.
class PitchListener : public QObject {
    Q_OBJECT
  public:
    struct Source {
        QString name, description;
    };
    // The sources the sound server has now; empty without a server.
    static QList<Source> sources();

    explicit PitchListener(QObject *parent = nullptr);
    ~PitchListener() override;

    // Lets go of the source listened to and opens `source` on a thread of its own:
    // `started` says how that went. Nothing waits for the sound server meanwhile.
    void start(const QString &source);
    void stop();
    // The source listened to, or being opened.
    QString source() const { return source_; }
    bool listening() const { return bool(record_); }

    // The program's own sound: until when it is heard, and how loud it is now (dBFS).
    // The listener stays deaf until then and `tail` after (the room's echo, the way from
    // the speakers to the microphone). What it hears of our sound meanwhile sets how
    // loud our sound reaches it; after, a note must be clearly louder than that (a note
    // of the question ringing on is no answer).
    struct OwnSound {
        std::function<TimePoint()> audibleUntil;
        std::function<double()> levelDb;
    };
    void setGate(OwnSound own, std::chrono::milliseconds tail = std::chrono::milliseconds(250));
    void setTolerance(double cents) { settings_.toleranceCents = cents; }

  signals:
    // The source asked for is listened to now, or cannot be (`error` says why).
    void started(bool ok, const QString &error);
    // A note held long enough: its nearest MIDI key and how far off it was, in cents.
    void noteHeard(int key, double cents);
    // What is heard now, a few times a second: the pitch (when there is one) and the
    // input level in dBFS.
    void reading(bool voiced, double key, double levelDb);
    // The source cannot be heard (gone, muted, the server went away): said once, until
    // `restored`.
    void problem(const QString &text);
    void restored();

  private:
    class Record;
    struct Link;
    void report(unsigned generation, const QString &text);
    void opened(unsigned generation, std::shared_ptr<Record> record, const QString &error);

    NoteDetector::Settings settings_;
    OwnSound own_;
    std::chrono::milliseconds tail_{250};
    QString source_;
    QString problem_; // the one last said
    std::shared_ptr<Record> record_;
    std::shared_ptr<Link> link_;
    // Which record is the current one: what an earlier one posted before it was stopped
    // (a problem, a note, a reading) is not the new source's.
    unsigned generation_ = 0;
};
