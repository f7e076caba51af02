// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/VoiceAnswers.h"

#include "app/WindowRegistry.h"
#include "drill/MidiKeyEvent.h"
#include "theory/PitchClasses.h"

#include <QLoggingCategory>
#include <cmath>
#include <cstdio>

Q_DECLARE_LOGGING_CATEGORY(lcListen)

namespace {
VoiceAnswers *g_current = nullptr;
}

VoiceAnswers::VoiceAnswers(WindowRegistry &windows, PitchListener::OwnSound own, QObject *parent)
    : QObject(parent), windows_(windows) {
    g_current = this;
    listener_.setGate(std::move(own));
    connect(&listener_, &PitchListener::noteHeard, this, [this](int key, double) {
        // Heard only by a drill that takes an answer now; the key is judged like one
        // played on a MIDI keyboard.
        DrillWindow *w = windows_.activeDrill();
        const bool taken = w && w->takesAnswers();
        qCDebug(lcListen, "key %d %s", key,
                taken ? "answers"
                : w   ? "is no answer now"
                      : "heard with no drill active");
        if (taken)
            MidiKeyEvent::post(key, played::Source::Voice);
    });
    connect(&listener_, &PitchListener::reading, this,
            [this](bool voiced, double key, double levelDb) {
                const int nearest = int(std::lround(key));
                windows_.showHeard(voiced ? noteText(nearest, (key - nearest) * 100) : QString(),
                                   levelDb);
            });
    connect(&listener_, &PitchListener::started, this, [this](bool ok, const QString &error) {
        windows_.showVoiceInput(ok);
        if (!ok)
            say(error[0].toUpper() + error.mid(1) + '.');
    });
    connect(&listener_, &PitchListener::problem, this, &VoiceAnswers::say);
    connect(&listener_, &PitchListener::restored, this, [this] {
        std::fprintf(stderr, "tonvik: The audio input is heard again.\n");
        windows_.showSoundProblem(QString());
    });
}

VoiceAnswers::~VoiceAnswers() {
    if (g_current == this)
        g_current = nullptr;
}

VoiceAnswers *VoiceAnswers::current() {
    return g_current;
}

void VoiceAnswers::listenTo(const QString &source) {
    if (source.isEmpty())
        listener_.stop();
    else
        listener_.start(source);
    windows_.showVoiceInput(false);
}

QString VoiceAnswers::noteText(int key, double cents) {
    const auto name = theory::kPitchClassNames[size_t(theory::pitchClass(key))];
    const long off = std::lround(cents);
    return QString("%1%2 %3%4 cents")
        .arg(QString::fromLatin1(name.data(), qsizetype(name.size())))
        .arg(key / 12 - 1)
        .arg(off > 0 ? "+" : "")
        .arg(off);
}

void VoiceAnswers::say(const QString &text) {
    const QString message = text + " Answer with the buttons and keys.";
    std::fprintf(stderr, "tonvik: %s\n", qPrintable(message));
    windows_.showSoundProblem(message);
}
