#include "app/CommandLine.h"
#include "app/WindowRegistry.h"
#include "sound/AudioEngine.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char *argv[]) {
    // The command line first: --help, --version and bad options need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLineResult cli = parseCommandLine(arguments, AudioEngine::availableDrivers());
    if (!cli.options) {
        std::fputs(qPrintable(cli.output), stdout);
        std::fputs(qPrintable(cli.error), stderr);
        return cli.exitCode;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("tonvik");
    QApplication::setApplicationVersion(TONVIK_VERSION);
    QApplication::setQuitOnLastWindowClosed(false);

    EngineConfig config;
    config.soundFont = cli.options->soundFont;
    config.audioDriver = cli.options->audioDriver;
    AudioEngine engine(config);
    MidiBackend::setCurrent(&engine);

    WindowRegistry windows;
    QObject::connect(&engine, &AudioEngine::silent, &windows, [&windows](const QString &reason) {
        std::fprintf(stderr, "tonvik: %s\n", qPrintable(reason));
        windows.showSoundProblem(reason);
    });
    QObject::connect(&windows, &WindowRegistry::finished, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    windows.showSplash();
    return app.exec();
}
