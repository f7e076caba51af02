// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/MidiOp.h"

#include <QStringList>
#include <vector>

// Records every MIDI operation of every window, for tests to compare.
class RecordingBackend : public MidiBackend {
  public:
    struct Call {
        QString window;
        MidiOp op;
    };

    RecordingBackend() : previous_(MidiBackend::current()) { MidiBackend::setCurrent(this); }
    ~RecordingBackend() override { MidiBackend::setCurrent(previous_); }

    void send(const QString &window, const MidiOp &op) override { calls_.push_back({window, op}); }
    void clear() { calls_.clear(); }
    const std::vector<Call> &calls() const { return calls_; }
    // The calls as "window op args", e.g. "formmelody setPan 1 64"; optionally only
    // those of one window, without its name.
    QStringList lines(const QString &window = {}) const {
        QStringList out;
        for (const Call &c : calls_)
            if (window.isEmpty() || c.window == window)
                out << (window.isEmpty() ? c.window + ' ' : QString()) + midiOpText(c.op);
        return out;
    }
    // The note-ons, and their note numbers, in the order sent.
    std::vector<MidiOp> noteOns() const {
        std::vector<MidiOp> out;
        for (const Call &c : calls_)
            if (c.op.kind == MidiOp::NoteOn)
                out.push_back(c.op);
        return out;
    }
    std::vector<int> notes() const {
        std::vector<int> out;
        for (const MidiOp &op : noteOns())
            out.push_back(op.note);
        return out;
    }

  private:
    std::vector<Call> calls_;
    MidiBackend *previous_;
};
