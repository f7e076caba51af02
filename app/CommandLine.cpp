// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include "sound/FileNames.h"

#include <QCommandLineParser>
#include <QDir>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

CommandLineResult parseCommandLine(const QStringList &arguments, const QStringList &drivers) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Tonvik: ear training for musicians.");
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption version({"v", "version"}, "Show the version and exit.");
    const QCommandLineOption soundFont(
        "soundfont", "Play with the SoundFont FILE instead of the system's General MIDI font.",
        "FILE");
    const QCommandLineOption audioDriver(
        "audio-driver",
        QString("Play through the audio driver NAME (%1) instead of the best that opens.")
            .arg(drivers.join(", ")),
        "NAME");
    const QCommandLineOption midiOut(
        "midi-out",
        "Send every MIDI operation to the MIDI output PORT (a name or part of one, see "
        "--list-midi-ports) instead of the built-in synthesiser.",
        "PORT");
    const QCommandLineOption midiIn(
        "midi-in", "Take notes from the MIDI input PORT: what is played answers in test mode.",
        "PORT");
    const QCommandLineOption audioIn(
        "audio-in",
        "Listen to the PulseAudio source SOURCE (a name as 'pactl list sources short' gives "
        "it): in test mode, notes sung or played into it answer.",
        "SOURCE");
    const QCommandLineOption pitchTolerance(
        "pitch-tolerance",
        "How far (10-100 cents, 50 by default) a note sung into --audio-in may waver and "
        "still be one note.",
        "CENTS");
    const QCommandLineOption listPorts(
        "list-midi-ports", "List the MIDI ports for --midi-out and --midi-in and exit.");
    const QCommandLineOption progressDb(
        "progress-db", "Keep the answers in the SQLite database FILE instead of the default one.",
        "FILE");
    const QCommandLineOption exportProgress(
        "export-progress", "Write every answer kept so far to FILE as CSV and exit.", "FILE");
    const QCommandLineOption latency(
        "latency-ms",
        "Ask for an audio buffer of about N milliseconds (2-200): smaller answers sooner, "
        "larger holds on a busy machine. The default is the driver's own.",
        "N");
    const QCommandLineOption soundInfo(
        "sound-info", "Open the audio output, print its driver, period, buffer, sound font "
                      "and feedback sounds, and exit.");
    const QCommandLineOption defaults(
        "defaults", "Start from the default settings, as the first run does; the settings kept "
                    "from earlier runs are neither read nor changed.");
    parser.addOptions({help, version, soundFont, audioDriver, latency, soundInfo, midiOut, midiIn,
                       audioIn, pitchTolerance, listPorts, progressDb, exportProgress, defaults});

    CommandLineResult result;
    auto fail = [&](const QString &message) {
        result.exitCode = 2;
        result.error =
            QString("tonvik: %1\nTry 'tonvik --help' for more information.\n").arg(message);
        return result;
    };

    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(QString("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    if (parser.isSet(help)) {
        // The parser names the program after argv[0], or "<executable_name>" when no
        // application object exists yet (as here): it is "tonvik" either way.
        result.output = parser.helpText();
        const qsizetype from = result.output.indexOf(' ') + 1;
        result.output.replace(from, result.output.indexOf(' ', from) - from, "tonvik");
        return result;
    }
    if (parser.isSet(version)) {
        result.output = QString("tonvik %1\n").arg(TONVIK_VERSION);
        return result;
    }

    CommandLineOptions options;
    if (parser.isSet(soundFont)) {
        // Looked at as the bytes given: Qt's own file classes would read a name that is
        // not UTF-8 as another.
        options.soundFont = parser.value(soundFont);
        const QByteArray file = fileNameBytes(options.soundFont);
        struct stat st;
        if (::stat(file.constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
            ::access(file.constData(), R_OK) != 0)
            return fail(QString("cannot read the sound font '%1'").arg(options.soundFont));
        if (char *cwd = QDir::isRelativePath(options.soundFont) ? ::getcwd(nullptr, 0) : nullptr) {
            options.soundFont = QDir::cleanPath(fileNameFromBytes(cwd) + '/' + options.soundFont);
            std::free(cwd);
        }
    }
    if (parser.isSet(audioDriver)) {
        options.audioDriver = parser.value(audioDriver);
        if (!drivers.contains(options.audioDriver))
            return fail(QString("unknown audio driver '%1' (available: %2)")
                            .arg(options.audioDriver, drivers.join(", ")));
    }
    if (parser.isSet(latency)) {
        bool ok = false;
        options.latencyMs = parser.value(latency).toInt(&ok);
        if (!ok || options.latencyMs < 2 || options.latencyMs > 200)
            return fail(QString("--latency-ms takes a number of milliseconds from 2 to 200, not "
                                "'%1'")
                            .arg(parser.value(latency)));
    }
    options.soundInfo = parser.isSet(soundInfo);
    options.defaults = parser.isSet(defaults);
    options.midiOut = parser.value(midiOut);
    options.midiIn = parser.value(midiIn);
    if ((parser.isSet(midiOut) && options.midiOut.isEmpty()) ||
        (parser.isSet(midiIn) && options.midiIn.isEmpty()))
        return fail("a MIDI port name cannot be empty");
    options.audioIn = parser.value(audioIn);
    if (parser.isSet(audioIn) && options.audioIn.isEmpty())
        return fail("an audio input's name cannot be empty");
    if (parser.isSet(pitchTolerance)) {
        bool ok = false;
        options.pitchToleranceCents = parser.value(pitchTolerance).toInt(&ok);
        if (!ok || options.pitchToleranceCents < 10 || options.pitchToleranceCents > 100)
            return fail(QString("--pitch-tolerance takes a number of cents from 10 to 100, not "
                                "'%1'")
                            .arg(parser.value(pitchTolerance)));
    }
    options.listMidiPorts = parser.isSet(listPorts);
    options.progressDb = parser.value(progressDb);
    options.exportProgress = parser.value(exportProgress);
    if ((parser.isSet(progressDb) && options.progressDb.isEmpty()) ||
        (parser.isSet(exportProgress) && options.exportProgress.isEmpty()))
        return fail("a file name cannot be empty");
    result.options = options;
    return result;
}
