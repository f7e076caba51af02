// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests_support/RecordingBackend.h"

RecordingBackend::RecordingBackend() : previous_(MidiBackend::current()) {
    MidiBackend::setCurrent(this);
}

RecordingBackend::~RecordingBackend() {
    MidiBackend::setCurrent(previous_);
}

void RecordingBackend::send(const QString &window, const MidiOp &op) {
    calls_.push_back({window, op});
}

QStringList RecordingBackend::lines(const QString &window) const {
    QStringList out;
    for (const Call &c : calls_)
        if (window.isEmpty() || c.window == window)
            out << (window.isEmpty() ? c.window + ' ' : QString()) + midiOpText(c.op);
    return out;
}

std::vector<MidiOp> RecordingBackend::noteOns() const {
    std::vector<MidiOp> out;
    for (const Call &c : calls_)
        if (c.op.kind == MidiOp::NoteOn)
            out.push_back(c.op);
    return out;
}

std::vector<int> RecordingBackend::notes() const {
    std::vector<int> out;
    for (const MidiOp &op : noteOns())
        out.push_back(op.note);
    return out;
}
