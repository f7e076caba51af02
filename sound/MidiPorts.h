// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/MidiOp.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class RtMidiIn;
class RtMidiOut;

// External MIDI devices (a hardware synthesiser or keyboard, another program's port),
// through RtMidi: the ALSA sequencer and JACK on Linux, CoreMIDI and Windows MIDI
// elsewhere.

using MidiMessage = std::vector<std::uint8_t>;

// The wire form of one operation. Open and Close have none; "all notes off" is
// controllers 123 (all notes off) and 120 (all sound off) on every channel.
std::vector<MidiMessage> midiMessages(const MidiOp &op);

struct MidiPort {
    enum Direction { Output, Input };
    QString api;  // "alsa", "jack", ...
    QString name; // as the MIDI system names it
    QString label() const { return api + ": " + name; }
};

// Every port of one direction, over every MIDI system that answers.
std::vector<MidiPort> listMidiPorts(MidiPort::Direction direction);

// The port a user means by `wanted`: an exact name (optionally "api:"-prefixed) or a part
// of exactly one port's name, case-insensitively. On failure, *error says why.
std::optional<MidiPort> findMidiPort(const std::vector<MidiPort> &ports, const QString &wanted,
                                     QString *error);

// The text of --list-midi-ports.
QString midiPortListing();

// Checks from a thread of its own, twice a second, that a port is still there, and
// reports (once, on the user-interface thread) when it has gone.
class MidiPortWatch : public QObject {
    Q_OBJECT
  public:
    MidiPortWatch(MidiPort port, MidiPort::Direction direction, QObject *parent = nullptr);
    ~MidiPortWatch() override;

  signals:
    void gone();

  private:
    void loop();
    MidiPort port_;
    MidiPort::Direction direction_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
    std::thread thread_;
};

// Every window's MIDI operations, sent to an output port as MIDI messages at their
// time stamps. When the port disappears it says so once (lost), sends nothing more and
// hands the operations to the fallback (the built-in synthesiser).
class MidiPortOutput : public QObject, public MidiBackend {
    Q_OBJECT
  public:
    // Opens the port; on failure returns null and sets *error.
    static std::unique_ptr<MidiPortOutput> open(const MidiPort &port, QString *error);
    ~MidiPortOutput() override;

    void send(const QString &window, const MidiOp &op) override;
    const MidiPort &port() const { return port_; }
    bool isLost() const { return lost_; }
    void setFallback(MidiBackend *fallback) { fallback_ = fallback; }

  signals:
    void lost(const QString &message);

  private:
    MidiPortOutput(MidiPort port, std::unique_ptr<RtMidiOut> out);
    void flush();
    void write(const MidiOp &op);
    void portGone();

    MidiPort port_;
    std::unique_ptr<RtMidiOut> out_;
    std::deque<MidiOp> queue_; // operations stamped in the future, in order
    QTimer timer_;
    MidiPortWatch watch_;
    MidiBackend *fallback_ = nullptr;
    bool lost_ = false;
};

// Notes played on a MIDI keyboard: each note-on (velocity above 0) and note-off is
// reported on the user-interface thread, with the steady clock's time (ms) it came at.
class MidiKeyboardInput : public QObject {
    Q_OBJECT
  public:
    static std::unique_ptr<MidiKeyboardInput> open(const MidiPort &port, QString *error);
    ~MidiKeyboardInput() override;

    const MidiPort &port() const { return port_; }

  signals:
    void notePlayed(int note, bool on, qint64 ms);
    void lost(const QString &message);

  private:
    MidiKeyboardInput(MidiPort port, std::unique_ptr<RtMidiIn> in);
    static void received(double delta, std::vector<unsigned char> *message, void *relay);

    // What the MIDI system's thread calls back through: the input while it lives.
    struct Relay {
        std::mutex mutex;
        MidiKeyboardInput *input = nullptr;
    };

    MidiPort port_;
    std::unique_ptr<RtMidiIn> in_;
    Relay *relay_ = nullptr; // owned, but left to a JACK client that is never closed
    MidiPortWatch watch_;
};

// The MIDI keyboard of the run: the input port named on the command line or chosen in
// Options, changed at once; its notes and its loss as one source whatever the port.
class MidiKeyboard : public QObject {
    Q_OBJECT
  public:
    explicit MidiKeyboard(QObject *parent = nullptr);
    ~MidiKeyboard() override;
    static MidiKeyboard *current();

    // Listens to `port` from now on (none: to no port). On failure nothing changes and
    // *error says why. A port that has gone is said (lost) and let go of.
    bool choose(const std::optional<MidiPort> &port, QString *error);
    std::optional<MidiPort> port() const;

  signals:
    void notePlayed(int note, bool on, qint64 ms);
    void lost(const QString &message);

  private:
    std::unique_ptr<MidiKeyboardInput> input_;
    unsigned chosen_ = 0; // which choice input_ is
};
