// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: help, version, and clear refusals with exit code 2.
#include "app/CommandLine.h"

#include <QTemporaryFile>
#include <QTest>

class TestCommandLine : public QObject {
    Q_OBJECT
    const QStringList drivers{"alsa", "pulseaudio", "oss"};

    CommandLineResult parse(QStringList args) {
        args.prepend("tonvik");
        return parseCommandLine(args, drivers);
    }

  private slots:
    void helpAndVersionAnswerAndExit() {
        const auto help = parse({"--help"});
        QVERIFY(!help.options);
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.output.startsWith("Usage: tonvik [options]\n"), qPrintable(help.output));
        QVERIFY(help.output.contains("--soundfont"));
        QVERIFY(help.output.contains("--audio-driver"));
        QVERIFY(help.output.simplified().contains("(alsa, pulseaudio, oss)"));
        const auto version = parse({"--version"});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.output, QString("tonvik 1.0\n"));
    }

    void goodValuesRun() {
        QTemporaryFile font;
        QVERIFY(font.open());
        const auto r = parse({"--soundfont", font.fileName(), "--audio-driver=oss", "--midi-out",
                              "synth:in", "--midi-in=keys", "--list-midi-ports"});
        QVERIFY(r.options);
        QCOMPARE(r.options->soundFont, QFileInfo(font.fileName()).absoluteFilePath());
        QCOMPARE(r.options->audioDriver + r.options->midiOut + r.options->midiIn,
                 QString("osssynth:inkeys"));
        QVERIFY(r.options->listMidiPorts);
        const auto plain = parse({});
        QVERIFY(plain.options && plain.options->soundFont.isEmpty() &&
                plain.options->midiOut.isEmpty() && !plain.options->listMidiPorts);
    }

    void badValuesExitWithTwo() {
        const std::pair<QStringList, QString> cases[] = {
            {{"--audio-driver", "coreaudio"},
             "unknown audio driver 'coreaudio' (available: alsa, pulseaudio, oss)"},
            {{"--soundfont", "/nonexistent/x.sf2"},
             "cannot read the sound font '/nonexistent/x.sf2'"},
            {{"--soundfont"}, "Missing value"},
            {{"--loud"}, "Unknown option"},
            {{"--midi-out="}, "cannot be empty"},
            {{"song.mid"}, "unexpected argument 'song.mid'"}};
        for (const auto &[args, message] : cases) {
            const auto r = parse(args);
            QVERIFY(!r.options && r.exitCode == 2);
            QVERIFY2(r.error.startsWith("tonvik: ") && r.error.contains(message),
                     qPrintable(r.error));
        }
    }
};

QTEST_MAIN(TestCommandLine)
#include "test_command_line.moc"
