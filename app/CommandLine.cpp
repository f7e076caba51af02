#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QFileInfo>

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
    parser.addOptions({help, version, soundFont, audioDriver});

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
        result.output = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.output = QString("tonvik %1\n").arg(TONVIK_VERSION);
        return result;
    }

    CommandLineOptions options;
    if (parser.isSet(soundFont)) {
        options.soundFont = parser.value(soundFont);
        const QFileInfo file(options.soundFont);
        if (!file.isFile() || !file.isReadable())
            return fail(QString("cannot read the sound font '%1'").arg(options.soundFont));
        options.soundFont = file.absoluteFilePath();
    }
    if (parser.isSet(audioDriver)) {
        options.audioDriver = parser.value(audioDriver);
        if (!drivers.contains(options.audioDriver))
            return fail(QString("unknown audio driver '%1' (available: %2)")
                            .arg(options.audioDriver, drivers.join(", ")));
    }
    result.options = options;
    return result;
}
