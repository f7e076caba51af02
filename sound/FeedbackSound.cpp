// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/FeedbackSound.h"

#include "sound/AudioEngine.h"
#include "sound/DataFiles.h"

#include <QLoggingCategory>
#include <QSet>

Q_DECLARE_LOGGING_CATEGORY(lcAudio)

FeedbackSound::FeedbackSound(QString window, QObject *parent)
    : QObject(parent), window_(std::move(window)) {}

void FeedbackSound::setMciCommand(const QString &command) {
    command_ = command;
    const QString verb = command.trimmed().toLower();
    if (verb == "open")
        open_ = true;
    else if (verb == "close")
        open_ = false;
    else if (verb == "play")
        play();
    emit commandRun(verb, fileName_);
}

void FeedbackSound::play() {
    static QSet<QString> warned; // one warning per missing file for the whole run
    const QString path = findDataFile(fileName_);
    AudioEngine *engine = AudioEngine::instance();
    const bool ok = !path.isEmpty() && (!engine || engine->playSound(path, PlaybackClock::stamp()));
    if (!ok && !warned.contains(fileName_)) {
        warned.insert(fileName_);
        qCWarning(lcAudio, "%s: the feedback sound \"%s\" cannot be played (looked in %s)",
                  qPrintable(window_), qPrintable(fileName_),
                  qPrintable(dataDirectories().join(", ")));
    }
}
