// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/MidiOp.h"
#include <QString>

// A drill window's handle on the synthesiser: the six MIDI operations, plus silencing
// everything at once. Values are checked here, so nothing invalid ever reaches the
// synthesiser or a port: a bad channel, velocity, program or pan is refused (false),
// and a note above 127 is played whole octaves lower, keeping its pitch class.
class MidiControl {
  public:
    explicit MidiControl(QString window);

    void midiOpen();
    void midiClose();
    bool noteOn(int channel, int velocity, int note);
    bool noteOff(int channel, int note);
    bool programChange(int channel, int program);
    bool setPan(int channel, int pan);
    // All notes off and all sound off on all sixteen channels.
    void allNotesOff();

    bool isOpen() const { return open_; }
    const QString &window() const { return window_; }

    // The note actually played for a requested note number, or -1 if none can be.
    static int playableNote(int note);

  private:
    void send(MidiOp op);

    QString window_;
    bool open_ = false;
};
