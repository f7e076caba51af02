// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/PitchListener.h"

#include <QObject>

class WindowRegistry;

// Answers sung or played into a microphone: the listener's notes go to the active
// drill window as played keys, its readings to the windows' display, and what goes
// wrong with the input is said once in the windows; the drills go on with their
// buttons and keys meanwhile.
class VoiceAnswers : public QObject {
    Q_OBJECT
  public:
    VoiceAnswers(WindowRegistry &windows, PitchListener::OwnSound own, QObject *parent = nullptr);
    ~VoiceAnswers() override;
    // The one of the run, if there is one (the options dialog chooses its source).
    static VoiceAnswers *current();

    // Listens to `source` (empty: to nothing) as soon as it is open; one that cannot be
    // opened is said, and then it listens to nothing.
    void listenTo(const QString &source);
    QString source() const { return listener_.source(); }
    PitchListener &listener() { return listener_; }

    // How a note is shown: "A4 -12 cents".
    static QString noteText(int key, double cents);

  private:
    void say(const QString &text);

    WindowRegistry &windows_;
    PitchListener listener_;
};
