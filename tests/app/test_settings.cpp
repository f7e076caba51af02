// SPDX-License-Identifier: GPL-3.0-or-later
// The settings of a run: the command line (help, version, clear refusals with exit
// code 2), and the "Settings" dialog, which shows the sound settings when it opens and
// stores what it shows when it closes, whichever way it is closed.
#include "app/CommandLine.h"
#include "app/OptionsForm.h"
#include "sound/FileNames.h"
#include "sound/SoundSettings.h"

#include <QComboBox>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryFile>
#include <QTest>
#include <unistd.h>

class TestSettings : public QObject {
    Q_OBJECT
    const QStringList drivers{"alsa", "pulseaudio", "oss"};

    CommandLineResult parse(QStringList args) {
        args.prepend("tonvik");
        return parseCommandLine(args, drivers);
    }
    static void closeBox(OptionsForm &form) {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.close();
    }

  private slots:
    void init() { variabiliglobali() = SoundSettings{}; }

    void instrumentAndChannelLists() {
        OptionsForm form;
        QCOMPARE(form.windowTitle(), QString("Settings"));
        QCOMPARE(form.comboinstr->count(), 128);
        QCOMPARE(form.comboinstr->currentText(), QString("24=Acoustic Guitar (nylon)"));
        for (int i = 0; i < 128; ++i)
            QVERIFY(form.comboinstr->itemText(i).startsWith(QString::number(i) + "="));
        QCOMPARE(form.Combochannel->count(), 16);
        QCOMPARE(form.Combochannel->itemText(15), QString("16"));
    }

    // The dialog shows the settings, and its close box stores what it shows: untouched,
    // the same; the last channel entry is channel 16; "Center" is pan 64, once closed.
    void closingStoresWhatItShows() {
        variabiliglobali() = {77, 100, 9, 3};
        OptionsForm form;
        QCOMPARE(form.Combochannel->currentText(), QString("9"));
        QCOMPARE(form.comboinstr->currentIndex(), 100);
        QCOMPARE(form.volumeslider->value(), 77);
        form.Combochannel->setCurrentIndex(15);
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        QCOMPARE(form.panslider->value(), 64);
        QCOMPARE(variabiliglobali().pan, 3);
        closeBox(form);
        const SoundSettings &s = variabiliglobali();
        QCOMPARE(QList<int>({s.volume, s.instrument, s.channel, s.pan}),
                 QList<int>({77, 100, 16, 64}));
    }

    void escapeAlsoStoresTheShownValues() {
        OptionsForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.volumeslider->setValue(60);
        form.comboinstr->setCurrentIndex(73);
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(!form.isVisible());
        QCOMPARE(variabiliglobali().volume, 60);
        QCOMPARE(variabiliglobali().instrument, 73);
    }
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
        const auto r =
            parse({"--soundfont", font.fileName(), "--audio-driver=oss", "--midi-out", "synth:in",
                   "--midi-in=keys", "--list-midi-ports", "--latency-ms", "12", "--sound-info"});
        QVERIFY(r.options);
        QVERIFY(r.options->latencyMs == 12 && r.options->soundInfo);
        QCOMPARE(r.options->soundFont, QFileInfo(font.fileName()).absoluteFilePath());
        QCOMPARE(r.options->audioDriver + r.options->midiOut + r.options->midiIn,
                 QString("osssynth:inkeys"));
        QVERIFY(r.options->listMidiPorts);
        const auto plain = parse({});
        QVERIFY(plain.options && plain.options->soundFont.isEmpty() &&
                plain.options->midiOut.isEmpty() && !plain.options->listMidiPorts);
        // A font whose name is not UTF-8 is that file, named by its own bytes.
        const QByteArray odd = QFile::encodeName(font.fileName()) + "\xff";
        QVERIFY(::link(QFile::encodeName(font.fileName()).constData(), odd.constData()) == 0);
        const auto named = parse({"--soundfont", fileNameFromBytes(odd)});
        ::unlink(odd.constData());
        QVERIFY(named.options && fileNameBytes(named.options->soundFont) == odd);
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
            {{"--latency-ms", "1"}, "from 2 to 200, not '1'"},
            {{"--latency-ms=fast"}, "from 2 to 200, not 'fast'"},
            {{"song.mid"}, "unexpected argument 'song.mid'"}};
        for (const auto &[args, message] : cases) {
            const auto r = parse(args);
            QVERIFY(!r.options && r.exitCode == 2);
            QVERIFY2(r.error.startsWith("tonvik: ") && r.error.contains(message),
                     qPrintable(r.error));
        }
    }
};

QTEST_MAIN(TestSettings)
#include "test_settings.moc"
