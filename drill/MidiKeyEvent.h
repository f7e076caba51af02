// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QEvent>

// A key pressed on a MIDI keyboard, delivered to the active window like any other user
// input: held back while a question plays, handled in its turn afterwards.
class MidiKeyEvent : public QEvent {
  public:
    explicit MidiKeyEvent(int note) : QEvent(eventType()), note_(note) {}
    MidiKeyEvent *clone() const override { return new MidiKeyEvent(*this); }

    int note() const { return note_; }
    static QEvent::Type eventType();

    // Posts the key to the active window, if there is one.
    static void post(int note);

  private:
    int note_;
};
