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

    RecordingBackend();
    ~RecordingBackend() override;

    void send(const QString &window, const MidiOp &op) override;
    void clear() { calls_.clear(); }
    const std::vector<Call> &calls() const { return calls_; }
    // The calls as "window op args", e.g. "formmelody setPan 1 64"; optionally only
    // those of one window, without its name.
    QStringList lines(const QString &window = {}) const;
    // The note-ons, and their note numbers, in the order sent.
    std::vector<MidiOp> noteOns() const;
    std::vector<int> notes() const;

  private:
    std::vector<Call> calls_;
    MidiBackend *previous_;
};
