// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/MidiKeyEvent.h"

#include <QApplication>
#include <QWidget>
#include <chrono>

QEvent::Type MidiKeyEvent::eventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

qint64 MidiKeyEvent::nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void MidiKeyEvent::post(int note) {
    post(note, played::Source::Keyboard);
}

void MidiKeyEvent::post(int note, played::Source source) {
    post(played::NoteEvent{note, nowMs(), true, source});
}

void MidiKeyEvent::post(const played::NoteEvent &played) {
    if (QWidget *window = QApplication::activeWindow())
        QCoreApplication::postEvent(window, new MidiKeyEvent(played));
}
