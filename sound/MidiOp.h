// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <chrono>

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;

// One MIDI operation of a window, already checked and stamped with the time at which
// it is meant to sound.
struct MidiOp {
    enum Kind { Open, Close, NoteOn, NoteOff, ProgramChange, Pan, AllNotesOff };
    Kind kind = Open;
    int channel = 0; // 1-16 (0 for Open, Close and AllNotesOff)
    int value = 0;   // NoteOn: velocity; NoteOff: note; ProgramChange: program; Pan: pan
    int note = 0;    // NoteOn only
    TimePoint stamp{};
    quint64 playback = 0; // the playback it belongs to; 0 for none
};

const char *midiOpName(MidiOp::Kind kind);
// An operation as the trace writes it: its name and arguments, e.g. "noteOn 1 100 60".
QString midiOpText(const MidiOp &op);

// Where the operations of every window's MidiControl go: the built-in synthesiser,
// or a recorder in tests.
class MidiBackend {
  public:
    virtual ~MidiBackend() = default;
    virtual void send(const QString &window, const MidiOp &op) = 0;
    // How long before its time the next operation of a playback should be sent: the
    // pause between notes ends that much early, and the note keeps its due stamp.
    virtual std::chrono::milliseconds lead() const { return {}; }

    // The process-wide backend; null means operations go nowhere.
    static MidiBackend *current();
    static void setCurrent(MidiBackend *backend);
};

// Stamps operations. Outside a playback the stamp is "now"; inside one it is a logical
// time that starts at "now" and grows by each pause, so notes are spaced exactly by the
// pauses however late the user-interface thread wakes up.
class PlaybackClock {
  public:
    static TimePoint stamp();
    // Moves the logical time on by ms and returns it: the moment the pause ends.
    static TimePoint advance(int ms);
    static bool inPlayback();
    // The current playback's number (each playback gets a new one), or 0 outside one.
    static quint64 playback();

    class Scope {
      public:
        Scope();
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;
    };
};

// Milliseconds from the start of the process to t, as the trace writes them.
qint64 msSinceStart(TimePoint t);
