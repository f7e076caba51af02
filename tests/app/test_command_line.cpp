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
        const auto r = parse({"--soundfont", font.fileName(), "--audio-driver=oss"});
        QVERIFY(r.options);
        QCOMPARE(r.options->soundFont, QFileInfo(font.fileName()).absoluteFilePath());
        QCOMPARE(r.options->audioDriver, QString("oss"));
        const auto plain = parse({});
        QVERIFY(plain.options);
        QVERIFY(plain.options->soundFont.isEmpty());
        QVERIFY(plain.options->midiOut.isEmpty() && !plain.options->listMidiPorts);
        const auto midi = parse({"--midi-out", "synth:in", "--midi-in=keys", "--list-midi-ports"});
        QVERIFY(midi.options);
        QCOMPARE(midi.options->midiOut, QString("synth:in"));
        QCOMPARE(midi.options->midiIn, QString("keys"));
        QVERIFY(midi.options->listMidiPorts);
    }

    void badValuesExitWithTwo_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown driver")
            << QStringList{"--audio-driver", "coreaudio"}
            << "unknown audio driver 'coreaudio' (available: alsa, pulseaudio, oss)";
        QTest::newRow("missing font") << QStringList{"--soundfont", "/nonexistent/x.sf2"}
                                      << "cannot read the sound font '/nonexistent/x.sf2'";
        QTest::newRow("missing value") << QStringList{"--soundfont"} << "Missing value";
        QTest::newRow("unknown option") << QStringList{"--loud"} << "Unknown option";
        QTest::newRow("empty port") << QStringList{"--midi-out="} << "cannot be empty";
        QTest::newRow("stray argument")
            << QStringList{"song.mid"} << "unexpected argument 'song.mid'";
    }

    void badValuesExitWithTwo() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const auto r = parse(args);
        QVERIFY(!r.options);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.error.contains(message), qPrintable(r.error));
        QVERIFY(r.error.startsWith("tonvik: "));
    }
};

QTEST_MAIN(TestCommandLine)
#include "test_command_line.moc"
