// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/MidiControl.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTextStream>
#include <memory>

Q_LOGGING_CATEGORY(lcMidi, "tonvik.midi")

namespace {

bool validChannel(int channel) {
    return channel >= 1 && channel <= 16;
}
bool validValue(int value) {
    return value >= 0 && value <= 127;
}

// TONVIK_MIDI_TRACE=FILE: every operation of every window, one line each.
class Trace {
  public:
    static Trace &instance() {
        static Trace trace;
        return trace;
    }

    void write(const QString &window, const MidiOp &op) {
        if (!file_)
            return;
        QTextStream out(file_.get());
        out << msSinceStart(op.stamp) << ' ' << window << ' ' << midiOpText(op) << '\n';
        out.flush();
    }

  private:
    Trace() {
        const QString path = qEnvironmentVariable("TONVIK_MIDI_TRACE");
        if (path.isEmpty())
            return;
        file_ = std::make_unique<QFile>(path);
        if (!file_->open(QIODevice::Append | QIODevice::Text)) {
            qCWarning(lcMidi, "cannot write the MIDI trace to %s: %s", qPrintable(path),
                      qPrintable(file_->errorString()));
            file_.reset();
        }
    }
    std::unique_ptr<QFile> file_;
};

} // namespace

MidiControl::MidiControl(QString window) : window_(std::move(window)) {}

int MidiControl::playableNote(int note) {
    if (note < 0)
        return -1;
    while (note > 127)
        note -= 12;
    return note;
}

void MidiControl::send(MidiOp op) {
    op.stamp = PlaybackClock::stamp();
    op.playback = PlaybackClock::playback();
    Trace::instance().write(window_, op);
    if (MidiBackend *backend = MidiBackend::current())
        backend->send(window_, op);
}

void MidiControl::midiOpen() {
    open_ = true;
    send({MidiOp::Open});
}

void MidiControl::midiClose() {
    open_ = false;
    send({MidiOp::Close});
}

bool MidiControl::noteOn(int channel, int velocity, int note) {
    const int played = playableNote(note);
    if (!validChannel(channel) || !validValue(velocity) || played < 0) {
        qCWarning(lcMidi, "%s: noteOn(%d, %d, %d) refused", qPrintable(window_), channel, velocity,
                  note);
        return false;
    }
    send({MidiOp::NoteOn, channel, velocity, played});
    return true;
}

bool MidiControl::noteOff(int channel, int note) {
    const int played = playableNote(note);
    if (!validChannel(channel) || played < 0) {
        qCWarning(lcMidi, "%s: noteOff(%d, %d) refused", qPrintable(window_), channel, note);
        return false;
    }
    send({MidiOp::NoteOff, channel, played});
    return true;
}

bool MidiControl::programChange(int channel, int program) {
    if (!validChannel(channel) || !validValue(program)) {
        qCWarning(lcMidi, "%s: programChange(%d, %d) refused", qPrintable(window_), channel,
                  program);
        return false;
    }
    send({MidiOp::ProgramChange, channel, program});
    return true;
}

bool MidiControl::setPan(int channel, int pan) {
    if (!validChannel(channel) || !validValue(pan)) {
        qCWarning(lcMidi, "%s: setPan(%d, %d) refused", qPrintable(window_), channel, pan);
        return false;
    }
    send({MidiOp::Pan, channel, pan});
    return true;
}

void MidiControl::allNotesOff() {
    send({MidiOp::AllNotesOff});
}
