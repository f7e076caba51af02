// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/MidiOp.h"

namespace {
MidiBackend *g_backend = nullptr;
int g_playbackDepth = 0;
TimePoint g_logicalTime{};
quint64 g_playbackNumber = 0;
const TimePoint g_processStart = SteadyClock::now();
} // namespace

const char *midiOpName(MidiOp::Kind kind) {
    switch (kind) {
    case MidiOp::Open:
        return "midiOpen";
    case MidiOp::Close:
        return "midiClose";
    case MidiOp::NoteOn:
        return "noteOn";
    case MidiOp::NoteOff:
        return "noteOff";
    case MidiOp::ProgramChange:
        return "programChange";
    case MidiOp::Pan:
        return "setPan";
    case MidiOp::AllNotesOff:
        return "allNotesOff";
    }
    return "?";
}

QString midiOpText(const MidiOp &op) {
    QString text = midiOpName(op.kind);
    switch (op.kind) {
    case MidiOp::NoteOn:
        return text + QString(" %1 %2 %3").arg(op.channel).arg(op.value).arg(op.note);
    case MidiOp::NoteOff:
    case MidiOp::ProgramChange:
    case MidiOp::Pan:
        return text + QString(" %1 %2").arg(op.channel).arg(op.value);
    default:
        return text;
    }
}

MidiBackend *MidiBackend::current() {
    return g_backend;
}
void MidiBackend::setCurrent(MidiBackend *backend) {
    g_backend = backend;
}

TimePoint PlaybackClock::stamp() {
    return g_playbackDepth > 0 ? g_logicalTime : SteadyClock::now();
}

TimePoint PlaybackClock::advance(int ms) {
    if (g_playbackDepth == 0)
        g_logicalTime = SteadyClock::now();
    g_logicalTime += std::chrono::milliseconds(ms);
    return g_logicalTime;
}

bool PlaybackClock::inPlayback() {
    return g_playbackDepth > 0;
}

quint64 PlaybackClock::playback() {
    return g_playbackDepth > 0 ? g_playbackNumber : 0;
}

PlaybackClock::Scope::Scope() {
    if (g_playbackDepth++ == 0) {
        g_logicalTime = SteadyClock::now();
        ++g_playbackNumber;
    }
}

PlaybackClock::Scope::~Scope() {
    --g_playbackDepth;
}

qint64 msSinceStart(TimePoint t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t - g_processStart).count();
}
