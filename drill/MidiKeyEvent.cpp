// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/MidiKeyEvent.h"

#include <QApplication>
#include <QWidget>

QEvent::Type MidiKeyEvent::eventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void MidiKeyEvent::post(int note) {
    if (QWidget *window = QApplication::activeWindow())
        QCoreApplication::postEvent(window, new MidiKeyEvent(note));
}
