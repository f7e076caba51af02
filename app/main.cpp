// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"
#include "app/VoiceAnswers.h"
#include "app/WindowRegistry.h"
#include "drill/MidiKeyEvent.h"
#include "progress/ProgressStore.h"
#include "sound/AudioEngine.h"
#include "sound/DataFiles.h"
#include "sound/FileNames.h"
#include "sound/KeptSettings.h"
#include "sound/MidiPorts.h"

#include <QApplication>
#include <QLoggingCategory>
#include <chrono>
#include <cstdio>
#include <thread>

// QT_LOGGING_RULES="tonvik.startup.debug=true": when the splash and the Melody window
// are first painted and the sound font is ready, on the system's monotonic clock (for
// the start-up benchmark, which launched the program at a known moment of it).
Q_LOGGING_CATEGORY(lcStartup, "tonvik.startup", QtInfoMsg)

namespace {

void logStartup(const char *what) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    qCDebug(lcStartup, "%s %.3f", what, std::chrono::duration<double, std::milli>(now).count());
}

class FirstPaints : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            const QString name = watched->objectName();
            for (const char *window : {"frmSplash", "formmelody"})
                if (name == window && !seen_.contains(name)) {
                    seen_ << name;
                    QMetaObject::invokeMethod(
                        this, [window] { logStartup(window); }, Qt::QueuedConnection);
                }
        }
        return false;
    }

  private:
    QStringList seen_;
};

} // namespace

int main(int argc, char *argv[]) {
    // The command line first: --help, --version and bad options need no display.
    // File names are used as the bytes given, UTF-8 or not.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << fileNameFromBytes(argv[i]);
    const CommandLineResult cli = parseCommandLine(arguments, AudioEngine::availableDrivers());
    if (!cli.options) {
        std::fputs(qPrintable(cli.output), stdout);
        std::fputs(qPrintable(cli.error), stderr);
        return cli.exitCode;
    }
    const CommandLineOptions &options = *cli.options;
    if (options.listMidiPorts) {
        std::fputs(qPrintable(midiPortListing()), stdout);
        return 0;
    }
    // MIDI ports are looked up before anything is shown, so a wrong name costs nothing.
    std::optional<MidiPort> outPort, inPort;
    auto findPort = [](MidiPort::Direction direction, const QString &spec) {
        QString error;
        auto port = findMidiPort(listMidiPorts(direction), spec, &error);
        if (!port)
            std::fprintf(stderr, "tonvik: %s\n", qPrintable(error));
        return port;
    };
    if (!options.midiOut.isEmpty() && !(outPort = findPort(MidiPort::Output, options.midiOut)))
        return 2;
    if (!options.midiIn.isEmpty() && !(inPort = findPort(MidiPort::Input, options.midiIn)))
        return 2;

    QCoreApplication::setApplicationName("tonvik");
    QCoreApplication::setApplicationVersion(TONVIK_VERSION);
    if (!options.exportProgress.isEmpty()) { // no window: the store and a file
        QCoreApplication app(argc, argv);
        const ProgressStore store(options.progressDb.isEmpty() ? ProgressStore::defaultPath()
                                                               : options.progressDb);
        QString error;
        if (store.exportCsv(options.exportProgress, &error))
            return 0;
        std::fprintf(stderr, "tonvik: cannot export the answers: %s\n",
                     fileNameBytes(error).constData());
        // Writing over the store itself is a bad value; the rest failed while working.
        return store.isStoreFile(options.exportProgress) ? 2 : 1;
    }

    EngineConfig config;
    config.soundFont = options.soundFont;
    config.audioDriver = options.audioDriver;
    config.latencyMs = options.latencyMs;
    if (options.soundInfo) { // no window: the output, opened and described, and the sounds
        QCoreApplication app(argc, argv);
        AudioEngine engine(config);
        engine.waitForSoundFont();
        for (int i = 0; i < 300 && !engine.outputRunning() && engine.silentReason().isEmpty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QStringList sounds;
        for (const QString name : {"right.wav", "wrong.wav"}) {
            const QString path = findDataFile(name);
            sounds << (path.isEmpty() ? name + " not found" : path);
        }
        std::printf("%s\nfeedback sounds %s\n", qPrintable(engine.soundInfo()),
                    qPrintable(sounds.join(", ")));
        if (engine.outputRunning())
            return 0;
        std::fprintf(stderr, "tonvik: %s\n", qPrintable(engine.silentReason()));
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ProgressStore progress(options.progressDb.isEmpty() ? ProgressStore::defaultPath()
                                                        : options.progressDb);
    ProgressStore::setCurrent(&progress);
    // The settings of the run before, kept as they change; none with --defaults.
    std::optional<KeptSettings> kept;
    if (!options.defaults) {
        kept.emplace(KeptSettings::defaultPath());
        KeptSettings::setCurrent(&*kept);
    }

    AudioEngine engine(config);
    MidiBackend::setCurrent(&engine);

    if (lcStartup().isDebugEnabled()) {
        app.installEventFilter(new FirstPaints(&app));
        QObject::connect(&engine, &AudioEngine::soundFontReady, &app,
                         [] { logStartup("soundfont"); });
    }

    WindowRegistry windows;
    QObject::connect(&engine, &AudioEngine::silent, &windows, [&windows](const QString &reason) {
        std::fprintf(stderr, "tonvik: %s\n", qPrintable(reason));
        windows.showSoundProblem(reason);
    });
    QObject::connect(&engine, &AudioEngine::soundRestored, &windows, [&windows] {
        std::fprintf(stderr, "tonvik: The sound is back.\n");
        windows.showSoundProblem(QString());
    });
    QObject::connect(&windows, &WindowRegistry::finished, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    windows.follow(progress);

    // An external MIDI device: the windows' operations go to it; the feedback sounds
    // still play through the engine's audio output.
    QString error;
    std::unique_ptr<MidiPortOutput> midiOut;
    if (outPort) {
        if (!(midiOut = MidiPortOutput::open(*outPort, &error))) {
            std::fprintf(stderr, "tonvik: %s\n", qPrintable(error));
            return 2;
        }
        midiOut->setFallback(&engine);
        MidiBackend::setCurrent(midiOut.get());
        QObject::connect(midiOut.get(), &MidiPortOutput::lost, &windows,
                         [&windows](const QString &message) {
                             std::fprintf(stderr, "tonvik: %s\n", qPrintable(message));
                             windows.showSoundProblem(message);
                         });
    }
    // The MIDI keyboard: its notes go to the active window, as played on a keyboard.
    MidiKeyboard keyboard;
    if (inPort && !keyboard.choose(*inPort, &error)) {
        std::fprintf(stderr, "tonvik: %s\n", qPrintable(error));
        return 2;
    }
    QObject::connect(&keyboard, &MidiKeyboard::notePlayed, [](int note, bool on, qint64 ms) {
        MidiKeyEvent::post(played::NoteEvent{note, ms, on, played::Source::Keyboard});
    });
    QObject::connect(&keyboard, &MidiKeyboard::lost, &windows, [&windows](const QString &message) {
        std::fprintf(stderr, "tonvik: %s\n", qPrintable(message));
        windows.showSoundProblem(message);
    });

    // Answers sung or played: deaf to our own sound while it is heard.
    VoiceAnswers voice(windows, {[&engine] { return engine.audibleUntil(); },
                                 [&engine] { return engine.outputDb(); }});
    voice.listener().setTolerance(options.pitchToleranceCents);
    if (!options.audioIn.isEmpty())
        voice.listenTo(options.audioIn);

    windows.showSplash();
    const int status = app.exec();
    if (kept)
        kept->write();
    MidiBackend::setCurrent(&engine);
    // A frozen sound server can hold the audio worker for as long as it likes; the
    // program ends anyway.
    if (!engine.shutdown(std::chrono::seconds(3))) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
