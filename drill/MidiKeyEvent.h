// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "theory/PlayedNotes.h"

#include <QEvent>

// A note played on a MIDI keyboard (or sung), begun or ended, delivered to the active
// window like any other user input: held back while a question plays, handled in its
// turn afterwards, with the time it was played.
class MidiKeyEvent : public QEvent {
  public:
    explicit MidiKeyEvent(const played::NoteEvent &played) : QEvent(eventType()), played_(played) {}
    MidiKeyEvent *clone() const override { return new MidiKeyEvent(*this); }

    int note() const { return played_.note; }
    const played::NoteEvent &played() const { return played_; }
    static QEvent::Type eventType();
    // Now on the steady clock, in ms, as played::NoteEvent counts time.
    static qint64 nowMs();

    // Posts to the active window, if there is one: a key pressed on the keyboard now; a
    // note begun now from `source`; any note event.
    static void post(int note);
    static void post(int note, played::Source source);
    static void post(const played::NoteEvent &played);

  private:
    played::NoteEvent played_;
};
