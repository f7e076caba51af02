// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/InputHold.h"

#include "drill/MidiKeyEvent.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>

InputHold &InputHold::instance() {
    static InputHold hold;
    return hold;
}

bool InputHold::active() {
    return instance().depth_ > 0;
}

void InputHold::begin() {
    InputHold &h = instance();
    if (h.depth_++ == 0)
        QCoreApplication::instance()->installEventFilter(&h);
}

void InputHold::end() {
    InputHold &h = instance();
    if (--h.depth_ > 0)
        return;
    QCoreApplication::instance()->removeEventFilter(&h);
    std::vector<Held> held = std::move(h.held_);
    h.held_.clear();
    for (Held &e : held)
        if (e.receiver)
            QCoreApplication::postEvent(e.receiver, e.event.release());
}

bool InputHold::isUserInput(const QEvent *event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return event->type() == MidiKeyEvent::eventType();
    }
}

bool InputHold::eventFilter(QObject *watched, QEvent *event) {
    if (depth_ == 0)
        return false;
    // A button pressed by its shortcut or by assistive technology clicks from a timer
    // a moment later ("animated" click): that click is user input too.
    if (event->type() == QEvent::Timer && qobject_cast<QAbstractButton *>(watched)) {
        const int id = static_cast<QTimerEvent *>(event)->timerId();
        for (const Held &h : held_)
            if (h.receiver == watched && h.event->type() == QEvent::Timer &&
                static_cast<QTimerEvent *>(h.event.get())->timerId() == id)
                return true;
        held_.push_back({watched, std::unique_ptr<QEvent>(event->clone())});
        return true;
    }
    if (!isUserInput(event))
        return false;
    // Take it where it first arrives (the window, or a widget an input was sent to
    // directly) and hand it back there later.
    held_.push_back({watched, std::unique_ptr<QEvent>(event->clone())});
    return true;
}
